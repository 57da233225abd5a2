// velmora-manual: turns one technician's manual written in Markdown into an
// A4 PDF, with Qt's own Markdown reader and PDF writer.
//
//   velmora-manual MANUAL.md OUTPUT.pdf
//
// Pictures are looked up relative to the manual's folder and scaled down to
// the width of the page. A picture that cannot be read fails the run and is
// named on stderr: a manual must never ship with a hole where a screenshot
// should be. The PDF is written through QSaveFile, so a failed run leaves the
// previous PDF as it was. It needs no display (it runs offscreen by default).

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QString>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextStream>
#include <QTextTable>
#include <QUrl>

#include <cstdio>
#include <utility>

namespace {

// A4 less the 2 cm margin QTextDocument::print() leaves on each side, in the
// 96-dpi pixels that picture widths in a document are measured in.
constexpr double kPageWidthMm = 210.0;
constexpr double kMarginMm = 20.0;
constexpr int kPictureWidthPx = int((kPageWidthMm - 2 * kMarginMm) / 25.4 * 96.0) - 8;

void complain(const QString& text) {
    std::fprintf(stderr, "velmora-manual: %s\n", text.toLocal8Bit().constData());
}

struct Picture {
    int position;
    int length;
    QTextImageFormat format;
};

// Loads every picture the manual names, registers it with the document and
// narrows the wide ones to the page. Returns the pictures that could not be
// read, as "name (path looked at)".
QStringList attachPictures(QTextDocument& doc, const QDir& base) {
    QStringList missing;
    QList<Picture> pictures;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid() && fragment.charFormat().isImageFormat())
                pictures.append({fragment.position(), fragment.length(),
                                 fragment.charFormat().toImageFormat()});
        }
    }
    for (Picture& picture : pictures) {
        const QString name = picture.format.name();
        const QUrl url(name);
        const QString path = url.isLocalFile() ? url.toLocalFile()
                                               : base.absoluteFilePath(url.path());
        QImage image(path);
        if (image.isNull()) {
            missing << QStringLiteral("%1 (looked for %2)").arg(name, QDir::cleanPath(path));
            continue;
        }
        doc.addResource(QTextDocument::ImageResource, QUrl(name), image);
        if (image.width() > kPictureWidthPx) {
            picture.format.setWidth(kPictureWidthPx);
            picture.format.setHeight(double(image.height()) * kPictureWidthPx / image.width());
            QTextCursor cursor(&doc);
            cursor.setPosition(picture.position);
            cursor.setPosition(picture.position + picture.length, QTextCursor::KeepAnchor);
            cursor.setCharFormat(picture.format);
        }
    }
    return missing;
}

// Tables get thin ruled cells, and every chapter after the first begins on
// a new page, so a printed chapter can be handed out on its own.
void shapeLayout(QTextDocument& doc) {
    QList<QTextFrame*> frames{doc.rootFrame()};
    while (!frames.isEmpty()) {
        QTextFrame* frame = frames.takeFirst();
        frames.append(frame->childFrames());
        if (auto* table = qobject_cast<QTextTable*>(frame)) {
            QTextTableFormat format = table->format();
            format.setBorder(0.75);
            format.setBorderBrush(QColor(0x80, 0x80, 0x80));
            format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            format.setBorderCollapse(true);
            format.setCellPadding(3);
            format.setCellSpacing(0);
            table->setFormat(format);
            // The header row stands out from the rows below it.
            for (int column = 0; column < table->columns(); ++column) {
                QTextTableCell cell = table->cellAt(0, column);
                QTextCharFormat shade = cell.format();
                shade.setBackground(QColor(0xE4, 0xEA, 0xF2));
                cell.setFormat(shade);
            }
        }
    }
    bool firstChapter = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() != 1)
            continue;
        if (firstChapter) {
            firstChapter = false;
            continue;
        }
        QTextBlockFormat format = block.blockFormat();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        QTextCursor(block).setBlockFormat(format);
    }
}

QString firstHeading(const QTextDocument& doc) {
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        if (block.blockFormat().headingLevel() == 1)
            return block.text();
    return {};
}

}  // namespace

int main(int argc, char* argv[]) {
    // The build runs this on machines without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a private runtime folder; a build machine's session may have
    // none, and the warning would be noise in every build.
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 2 || args.first().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: velmora-manual MANUAL.md OUTPUT.pdf\n");
        return 2;
    }
    const QString source = args.at(0);
    const QString target = args.at(1);

    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        complain(QStringLiteral("%1: %2").arg(source, input.errorString()));
        return 1;
    }
    const QString markdown = QString::fromUtf8(input.readAll());

    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);

    const QStringList missing = attachPictures(doc, QFileInfo(source).absoluteDir());
    if (!missing.isEmpty()) {
        for (const QString& picture : missing)
            complain(QStringLiteral("%1: picture not found: %2").arg(source, picture));
        complain(QStringLiteral("%1 not written").arg(target));
        return 1;
    }
    shapeLayout(doc);

    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile output(target);
    if (!output.open(QIODevice::WriteOnly)) {
        complain(QStringLiteral("%1: %2").arg(target, output.errorString()));
        return 1;
    }
    {
        QPdfWriter writer(&output);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        writer.setResolution(300);
        const QString title = firstHeading(doc);
        writer.setTitle(title.isEmpty() ? QFileInfo(source).completeBaseName() : title);
        writer.setCreator(QStringLiteral("velmora-manual"));
        // print() lays the document out on the page with 2 cm margins and
        // numbers the pages at the foot.
        doc.print(&writer);
    }
    if (!output.commit()) {
        complain(QStringLiteral("%1: %2").arg(target, output.errorString()));
        return 1;
    }
    return 0;
}
