#pragma once

#include <QString>

// The application event log "logfile.txt" in the program folder: one dated
// line per event, CR LF, rotated to "logfile.bak" at program start when it
// has grown past 50000 bytes. Callable from any thread; a mutex keeps two
// lines from ever interleaving.
class EventLog {
public:
    static constexpr qint64 kRotateAbove = 50000;
    static constexpr const char* kStartMessage = "Applicazione: Avvio";

    // Appends "date time - message". Returns false when the file could not be
    // created, opened or written; the line is then lost and lastError() says why.
    static bool log(const QString& message);
    static QString lastError();

    static QString logPath();
    static QString backupPath();
};
