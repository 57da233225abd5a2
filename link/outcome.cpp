#include "link/outcome.h"

QString Outcome::text() const {
    switch (kind) {
        case Kind::Answered:
            return QStringLiteral("answered");
        case Kind::Refused:
            return QStringLiteral("refused (code %1)").arg(exceptionCode);
        case Kind::NoAnswer:
            return QStringLiteral("no answer");
        case Kind::Damaged:
            return QStringLiteral("damaged reply");
        case Kind::NotSent:
            break;
    }
    switch (reason) {
        case Reason::Offline:
            return QStringLiteral("not sent (offline)");
        case Reason::LockHeld:
            return QStringLiteral("not sent (line busy)");
        case Reason::NoRegister:
            return QStringLiteral("not sent (no register)");
        case Reason::PortGone:
            return QStringLiteral("not sent (no port)");
        case Reason::None:
            break;
    }
    return QStringLiteral("not sent");
}
