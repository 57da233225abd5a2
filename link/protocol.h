#pragma once

#include <QtGlobal>

// The instrument's protocol in one place: the Modbus functions it serves, the
// command codes written to its command register, and the parameter roles the
// configurator addresses by name. Every layer, the command line and the
// virtual instrument take their numbers from here.
namespace proto {

enum Function : quint8 {
    kReadCoils = 0x01,
    kReadInputs = 0x02,
    kReadHolding = 0x03,
    kReadInputRegisters = 0x04,
    kWriteCoil = 0x05,
    kWriteRegister = 0x06,
    kReadStatus = 0x07,
    kWriteMultiple = 0x10,
};
// Set in the function byte of an exception reply.
constexpr quint8 kExceptionBit = 0x80;

// Exception codes.
constexpr int kIllegalFunction = 0x01;
constexpr int kIllegalAddress = 0x02;
constexpr int kIllegalValue = 0x03;

// Written to the register of kRoleCommand.
enum Command : quint8 {
    kCmdNone = 0x00,
    kCmdTare = 0x01,
    kCmdZero = 0x02,
    kCmdPeakReset = 0x03,
    kCmdCalibrationZero = 0x10,
    kCmdAcquire = 0x11,
    kCmdCalibrationResetArm = 0x12,
    kCmdCalibrationReset = 0x13,
    kCmdAdcZero = 0x14,
    kCmdAdcFullScale = 0x15,
    kCmdFactoryReset = 0x18,
    kCmdSave = 0x20,
    kCmdCalibrationRestored = 0x30,
};

// Parameter roles used by the link, the session, the command line and the
// virtual instrument.
enum Role : int {
    kRoleDivision = 0,
    kRoleSetpoint1 = 3,
    kRoleSetpoint2 = 4,
    kRolePeak = 5,
    kRoleCommand = 6,
    // The reset selector on the factory page and the known weight on the
    // calibration page: one register, two uses.
    kRoleKnownWeight = 7,
    kRoleTestMode = 8,
    kRoleAnalogTest = 9,
    kRoleMaximum = 10,
    kRoleNetWeight = 51,
};

// Registers an entry of this parameter type takes on the wire; 0 for a
// type the instrument does not hold.
constexpr int registerCount(quint8 type) {
    switch (type) {
        case 1:
        case 2:
        case 3:
            return 1;
        case 4:
        case 5:
        case 6:
            return 2;
        default:
            return 0;
    }
}

// The request body's first two bytes.
constexpr int kAddressByte = 0;
constexpr int kFunctionByte = 1;

}  // namespace proto
