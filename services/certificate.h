#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

#include "services/verification.h"

class Session;

struct ReferenceWeight {
    QString value;        // as typed, in the scale's unit
    QString certificate;  // the weight's own certificate number
};

// Everything a calibration certificate states besides the readings. Texts
// are as the instrument reported them and the pages show them; an empty
// text is a value that was never read, and the certificate says so rather
// than invent one.
struct CertificateData {
    QDateTime when;
    QString technician;
    QString customer;
    QString tag;
    QString model;
    QString release;
    QString definitionFile;
    QString address;
    QString maximum;
    QString division;
    QString sensitivity;
    QString usedWeight;
    QString calibrationCount;
    QString calibrationDate;
    QList<ReferenceWeight> references;
    // Every setup entry by name, with its value as shown.
    QList<QPair<QString, QString>> setup;
};

namespace Certificate {

// A setup entry's value as the pages show it (the field text or the
// selected item); what no page shows as one text, as stored.
QString shownValue(Session& session, quint32 role, const QString& value);

// What the instrument reported, gathered from the session after its
// read-out: identification, address, the calibration page's fields and
// every setup entry. The job's free texts, the references and the date
// are the caller's.
CertificateData fromSession(Session& session);

// The scale division from the calibration page's box as shown ("0.5"),
// or nothing when the instrument has not reported one.
std::optional<double> divisionOf(Session& session);
// Decimals of the weight as shown.
int decimalsOf(Session& session);

// The document, in the language of tr_() now: a first page with the job,
// the instrument, the references, the verification and repeatability
// tables, the verdict and the signature line; a second with the setup
// entries. HTML for QTextDocument.
QString html(const CertificateData& data, const Verification& verification);

// The PDF (A4) written whole or not at all: a failure leaves no file
// and no earlier file changed. Needs a QGuiApplication.
bool writePdf(const CertificateData& data, const Verification& verification, const QString& path,
              QString* error);
// The CSV (Verification::csv), written whole or not at all.
bool writeCsv(const Verification& verification, const QString& path, QString* error);

}  // namespace Certificate
