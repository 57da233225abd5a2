#include "services/atomicfile.h"

#include <QSaveFile>

#include "base/texts.h"

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    auto fail = [&] {
        if (error)
            *error = tr_("%1 not written: %2").arg(path, file.errorString());
        // Without this a failed flush still lets commit() rename a short
        // temporary over the target (seen with a full disk on Qt 6.4).
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    if (file.write(bytes) != bytes.size() || !file.flush())
        return fail();
    if (!file.commit()) {
        if (error)
            *error = tr_("%1 not written: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
