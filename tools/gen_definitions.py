#!/usr/bin/env python3
"""Writes the shipped definition files in Config/ from the tables below.

Register offsets are laid out in order by each entry's register count, so the
setup section starts at offset 1 and the data section is one contiguous block.
"""
import os

U8, U16, S16, U32, S32 = 1, 2, 3, 4, 5
REGS = {U8: 1, U16: 1, S16: 1, U32: 2, S32: 2}

SETUP_COMMON = [
    ("DIVIS", U16), ("UNIT", U16), ("DECPT", U16), ("SETP1", U32), ("SETP2", U32),
    ("PEAK", U16), ("CMDREG", U16), ("CMDARG", U32), ("TSTMODE", U16), ("TSTANA", U16),
    ("MAXWGT", U32), ("SENS", U16), ("USEDWGT", U32), ("PRETARE", U32), ("FMODE", U16),
    ("FILTER", U16), ("MOTION", U16), ("AUTOZ", U16), ("ZTRACK", U16), ("ZBAND", U16),
    ("OUT1CFG", U16), ("HYST1", U16), ("TIMER1", U16), ("DELAY1", U16), ("OUT2CFG", U16),
    ("HYST2", U16), ("TIMER2", U16), ("DELAY2", U16), ("BAUD", U16), ("PROTO", U16),
    ("ADDR", U16), ("RESPT", U16), ("FRAME", U16), ("FBPROT", U16), ("FBADDR", U16),
    ("FBBAUD", U16), ("ANAFS", U32), ("ANAMODE", U16), ("ANARANGE", U16), ("ANAZREG", U16),
    ("ANAFREG", U16), ("ANAZERO", S32),
]
SETUP_FULL = SETUP_COMMON + [
    ("ZEROALL", U16), ("IP1", U8), ("IP2", U8), ("IP3", U8), ("IP4", U8),
    ("MASK1", U8), ("MASK2", U8), ("MASK3", U8), ("MASK4", U8),
]
DATA_LIVE = [("NETW", U32), ("GROSSW", U32), ("ADPTS", S32), ("SIGNAL", U32)]
DATA_FULL = DATA_LIVE + [("INWORD", U16), ("OUTWORD", U16)]
DATA_12 = DATA_LIVE + [("INWORD", U16), ("OUTWORD", U16), ("ANAOUT", U16), ("TEMP", U16),
                       ("SUPPLY", U16), ("ERRCODE", U16), ("TARE", U16), ("CALCNT", U16),
                       ("UPTIME", U16), ("LASTCMD", U16), ("SERNO", U16)]
CAL_HEAD = [("CALZERO", U32), ("CALSPAN", U32), ("CALFLAG", U16), ("CALWGT", U32)]
CAL_FULL = CAL_HEAD + [("ADCOFS", U16), ("ADCGAIN", U16)] + \
    [(f"ANA{k}{p}", U16) for k in range(1, 5) for p in ("Z", "F")] + \
    [(f"LIN{k}", U16) for k in range(1, 12)]
CAL_12 = CAL_HEAD + [("ADCOFS", U16), ("ADCGAIN", U16)] + \
    [(f"ANA{k}{p}", U16) for k in range(1, 4) for p in ("Z", "F")] + \
    [(f"LIN{k}", U16) for k in range(1, 5)]


def section(entries, first_offset):
    lines, off = [], first_offset
    for name, t in entries:
        lines.append(f"{name}={t}{off + 1}")
        off += REGS[t]
    return lines


def write(name, setup, data, cal):
    lines = ["[SETUP]=0"] + section(setup, 1)
    lines += ["[DATA]=256"] + section(data, 0)
    lines += ["[CALIBRA]=24576"] + section(cal, 1)
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "..", "Config", name)
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("ascii"))
    print(path, len(setup), len(data), len(cal))


assert len(SETUP_FULL) == 51 and len(DATA_FULL) == 6 and len(CAL_FULL) == 25
assert len(SETUP_COMMON) == 42 and len(DATA_12) == 15 and len(CAL_12) == 16
write("DATV0000.def", SETUP_FULL, DATA_FULL, CAL_FULL)
write("DATV1218.def", SETUP_COMMON, DATA_12, CAL_12)
write("DATV3512.def", SETUP_FULL, DATA_FULL, CAL_FULL)
