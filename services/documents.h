#pragma once

#include <QString>

// The documents the program ships and hands to the desktop: the manual in
// the technician's language, the folder of all manuals and the folder of
// the fieldbus description files. Opening them is the window's business;
// this only says which file or folder it is, or that it is missing.
namespace Documents {

inline constexpr char kManualFolder[] = "Manual";
inline constexpr char kDriverFolder[] = "Driver";
// The manual opened when the chosen language has none of its own.
inline constexpr char kFallbackLanguage[] = "Italiano";

// Manual/<language>.pdf, else Manual/Italiano.pdf; empty when neither
// exists. A language that is not a plain file name (a path, "..") has no
// manual of its own: the settings file is not trusted to name files.
QString manualFor(const QString& language);

// The shipped folder `relative` (kManualFolder, kDriverFolder) when it
// exists; empty otherwise.
QString existingFolder(const QString& relative);

}  // namespace Documents
