#pragma once

#include <QString>

// The folder that holds every file the program reads and writes (Config/,
// ISetup.dat, logfile.txt, Cal_log.txt, language files...). It is the
// executable's folder unless --home or VELMORA_HOME names another one.
namespace ProgramFolder {

QString path();
void setPath(const QString& folder);
// Absolute path of a file or folder inside the program folder.
QString file(const QString& relative);
// Absolute path of a file or folder the program ships and only reads
// (language files and flags, Manual/, Driver/, AvrProg/, Update). For now
// the same folder as file(); an installed program keeps these apart from
// the technician's own files.
QString shipped(const QString& relative);

}  // namespace ProgramFolder
