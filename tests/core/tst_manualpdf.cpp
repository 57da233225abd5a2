// The technician's manuals as the build renders them to Manual/<language>.pdf,
// and the renderer itself on small manuals of known content.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

const QString kManualSource = QStringLiteral(VELMORA_SOURCE_DIR "/docs/manual");
const QString kManualBuilt = QStringLiteral(VELMORA_BUILD_DIR "/Manual");

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Qt's PDF writer keeps object dictionaries uncompressed, so pages and
// pictures can be counted in the file itself.
int pageCount(const QByteArray& pdf) {
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    return int(QString::fromLatin1(pdf).count(page));
}

// A picture with transparency is two image objects, the picture and its
// alpha mask; the mask is named by the picture's /SMask.
int pictureCount(const QByteArray& pdf) {
    static const QRegularExpression image(QStringLiteral("/Subtype\\s*/Image\\b"));
    static const QRegularExpression mask(QStringLiteral("/SMask\\s+\\d+\\s+\\d+\\s+R"));
    const QString text = QString::fromLatin1(pdf);
    return int(text.count(image) - text.count(mask));
}

// The distinct pictures a manual names.
QSet<QString> picturesNamed(const QString& markdownPath) {
    static const QRegularExpression picture(QStringLiteral("!\\[[^\\]]*\\]\\(([^)\\s]+)\\)"));
    QSet<QString> names;
    const QString text = QString::fromUtf8(readAll(markdownPath));
    for (auto it = picture.globalMatch(text); it.hasNext();)
        names.insert(QDir::cleanPath(QFileInfo(markdownPath).absolutePath() + QLatin1Char('/') +
                                     it.next().captured(1)));
    return names;
}

struct Run {
    int exitCode = -1;
    QString errors;
};

Run render(const QString& markdown, const QString& pdf) {
    QProcess p;
    p.setProgram(QStringLiteral(VELMORA_MANUAL_TOOL));
    p.setArguments({markdown, pdf});
    p.start();
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardError())};
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(content);
}

}  // namespace

class TestManualPdf : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void builtManuals_data();
    void builtManuals();
    void popplerReadsThem_data();
    void popplerReadsThem();
    void picturesAreEmbedded();
    void missingPictureFailsAndKeepsOldPdf();
};

void TestManualPdf::builtManuals_data() {
    QTest::addColumn<QString>("language");
    const QStringList sources = QDir(kManualSource).entryList({QStringLiteral("*.md")});
    QVERIFY2(sources.contains(QStringLiteral("English.md")), qPrintable(kManualSource));
    QVERIFY(sources.contains(QStringLiteral("Italiano.md")));
    for (const QString& md : sources)
        QTest::newRow(qPrintable(md)) << QFileInfo(md).completeBaseName();
}

// Every manual is rendered, is a whole PDF of several pages, holds each
// picture it names, and is no older than its text and pictures.
void TestManualPdf::builtManuals() {
    QFETCH(QString, language);
    const QString md = kManualSource + QLatin1Char('/') + language + QStringLiteral(".md");
    const QString pdfPath = kManualBuilt + QLatin1Char('/') + language + QStringLiteral(".pdf");
    QVERIFY2(QFileInfo::exists(pdfPath), qPrintable(pdfPath + QStringLiteral(" was not built")));
    const QByteArray pdf = readAll(pdfPath);
    QVERIFY(pdf.startsWith("%PDF-"));
    QVERIFY(pdf.trimmed().endsWith("%%EOF"));
    QVERIFY2(pageCount(pdf) > 3, qPrintable(QString::number(pageCount(pdf))));

    const QSet<QString> pictures = picturesNamed(md);
    QVERIFY(pictures.size() >= 10);
    QCOMPARE(pictureCount(pdf), int(pictures.size()));

    const QDateTime built = QFileInfo(pdfPath).lastModified();
    QVERIFY2(built >= QFileInfo(md).lastModified(), "the PDF is older than its manual");
    for (const QString& picture : pictures) {
        QVERIFY2(QFileInfo::exists(picture), qPrintable(picture));
        QVERIFY2(built >= QFileInfo(picture).lastModified(), qPrintable(picture));
    }
}

void TestManualPdf::popplerReadsThem_data() {
    builtManuals_data();
}

// A second reader that is not Qt: only where poppler-utils are installed.
void TestManualPdf::popplerReadsThem() {
    QFETCH(QString, language);
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    const QString pdfimages = QStandardPaths::findExecutable(QStringLiteral("pdfimages"));
    if (pdfinfo.isEmpty() || pdfimages.isEmpty())
        QSKIP("poppler-utils are not installed");
    const QString pdfPath = kManualBuilt + QLatin1Char('/') + language + QStringLiteral(".pdf");

    QProcess info;
    info.start(pdfinfo, {pdfPath});
    QVERIFY(info.waitForFinished(30000));
    QCOMPARE(info.exitCode(), 0);
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    const QRegularExpressionMatch pages =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(infoText);
    QVERIFY2(pages.hasMatch(), qPrintable(infoText));
    QCOMPARE(pages.captured(1).toInt(), pageCount(readAll(pdfPath)));
    // A4 is 595 by 842 points.
    QVERIFY2(QRegularExpression(QStringLiteral("Page size:\\s+595[.0-9]* x 84[12]")).match(infoText).hasMatch(),
             qPrintable(infoText));

    QProcess images;
    images.start(pdfimages, {QStringLiteral("-list"), pdfPath});
    QVERIFY(images.waitForFinished(30000));
    QCOMPARE(images.exitCode(), 0);
    int shown = 0;
    const QStringList lines = QString::fromUtf8(images.readAllStandardOutput()).split('\n');
    for (const QString& line : lines) {
        const QStringList cols = line.simplified().split(' ');
        if (cols.size() > 3 && cols.at(2) == QLatin1String("image"))
            ++shown;
    }
    const QString md = kManualSource + QLatin1Char('/') + language + QStringLiteral(".md");
    QCOMPARE(shown, int(picturesNamed(md).size()));
}

// The count of pictures is the renderer's, not the counting's: a manual
// without pictures has none, one with a picture used twice has it once, and
// one with two pictures has two.
void TestManualPdf::picturesAreEmbedded() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pages = QStringLiteral(VELMORA_SOURCE_DIR "/docs/pages/");
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("manual")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("pages")));
    QVERIFY(QFile::copy(pages + QStringLiteral("page0.png"), dir.filePath("pages/a.png")));
    QVERIFY(QFile::copy(pages + QStringLiteral("page1.png"), dir.filePath("pages/b.png")));

    const struct {
        const char* name;
        QByteArray markdown;
        int pictures;
    } cases[] = {
        {"none", "# Title\n\nText only.\n", 0},
        {"twice", "# Title\n\n![one](../pages/a.png)\n\nAgain:\n\n![again](../pages/a.png)\n", 1},
        {"two", "# Title\n\n![one](../pages/a.png)\n\n# Next\n\n![two](../pages/b.png)\n", 2},
    };
    for (const auto& c : cases) {
        const QString md = dir.filePath(QStringLiteral("manual/%1.md").arg(c.name));
        const QString pdf = dir.filePath(QStringLiteral("out/%1.pdf").arg(c.name));
        writeFile(md, c.markdown);
        const Run run = render(md, pdf);
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        const QByteArray bytes = readAll(pdf);
        QVERIFY2(bytes.startsWith("%PDF-"), c.name);
        QVERIFY2(pictureCount(bytes) == c.pictures, c.name);
    }
    // Each chapter after the first starts a page.
    QCOMPARE(pageCount(readAll(dir.filePath("out/two.pdf"))), 2);
}

// A picture that cannot be found names itself and fails the run; the PDF
// of the last good run stays as it was, and none is made where none was.
void TestManualPdf::missingPictureFailsAndKeepsOldPdf() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString md = dir.filePath(QStringLiteral("English.md"));
    const QString pdf = dir.filePath(QStringLiteral("English.pdf"));
    writeFile(md, "# Manual\n\nSee:\n\n![The page](../pages/no-such-page.png)\n");

    Run run = render(md, pdf);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errors.contains(QStringLiteral("picture not found")), qPrintable(run.errors));
    QVERIFY2(run.errors.contains(QStringLiteral("../pages/no-such-page.png")),
             qPrintable(run.errors));
    QVERIFY(!QFileInfo::exists(pdf));

    writeFile(pdf, "previous good manual");
    writeFile(dir.filePath(QStringLiteral("broken.png")), "not a picture");
    writeFile(md, "# Manual\n\n![broken](broken.png)\n");
    run = render(md, pdf);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errors.contains(QStringLiteral("broken.png")), qPrintable(run.errors));
    QCOMPARE(readAll(pdf), QByteArray("previous good manual"));
}

QTEST_GUILESS_MAIN(TestManualPdf)
#include "tst_manualpdf.moc"
