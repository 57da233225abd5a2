#pragma once

#include <QMutex>
#include <QString>
#include <functional>

// Every text the user reads (except the fixed "Status:" prefix and the log
// lines) is looked up through tr_(), keyed by its English form. Until a
// language is loaded the English text itself is returned.
namespace Texts {

using Lookup = std::function<QString(const char* english)>;

namespace detail {
inline QMutex& mutex() {
    static QMutex m;
    return m;
}
inline Lookup& current() {
    static Lookup lookup;
    return lookup;
}
}  // namespace detail

// Installs the translator; an empty function restores English.
inline void setLookup(Lookup lookup) {
    QMutexLocker lock(&detail::mutex());
    detail::current() = std::move(lookup);
}

}  // namespace Texts

inline QString tr_(const char* english) {
    Texts::Lookup lookup;
    {
        // Copied out so that a translator may itself call tr_() without deadlock.
        QMutexLocker lock(&Texts::detail::mutex());
        lookup = Texts::detail::current();
    }
    if (lookup)
        return lookup(english);
    return QString::fromUtf8(english);
}
