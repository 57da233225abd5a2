#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file's content whole: the bytes go to a temporary file in the
// same folder, which is renamed over the target only once every byte is
// written. On any failure the old file stays as it was and no temporary is
// left behind. False with *error set when nothing was replaced.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);
