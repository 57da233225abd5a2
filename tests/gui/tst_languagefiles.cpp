// The translator's side: the template, the checker, the shipped files, and
// the widget adapter that applies property paths.
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "languagefiles.h"
#include "localizer/resourcestrings.h"
#include "support/testhome.h"
#include "window/aboutbox.h"
#include "window/datawindow.h"
#include "window/languagetools.h"
#include "window/localizeradapter.h"
#include "window/progresswindow.h"
#include "window/questionbox.h"
#include "window/searchdialog.h"
#include "window/splashscreen.h"
#include "window/tform1.h"
#include "window/trafficwindow.h"
#include "window/weightchart.h"

namespace {

QString velmora() {
    return QStringLiteral(VELMORA_BUILD_DIR "/velmora");
}

QByteArray sig() {
    return QByteArray(TFreeLocalizer::kSignature) + "\r\n";
}

// A small window of the kinds of control the adapter knows.
class TFtest : public QWidget {
    Q_OBJECT
public:
    TFtest() {
        setObjectName(QStringLiteral("Ftest"));
        label = new QLabel(QStringLiteral("Label"), this);
        label->setObjectName(QStringLiteral("Label1"));
        group = new QGroupBox(QStringLiteral("Group"), this);
        group->setObjectName(QStringLiteral("GB1"));
        button = new QPushButton(QStringLiteral("Button"), group);
        button->setObjectName(QStringLiteral("Button1"));
        edit = new QLineEdit(QStringLiteral("text"), group);
        edit->setObjectName(QStringLiteral("Edit1"));
        box = new QComboBox(this);
        box->setObjectName(QStringLiteral("CB1"));
        box->addItems({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
        box->setCurrentIndex(1);
        chart = new WeightChart(this);
        chart->setObjectName(QStringLiteral("Chart1"));
    }
    QLabel* label;
    QGroupBox* group;
    QPushButton* button;
    QLineEdit* edit;
    QComboBox* box;
    WeightChart* chart;
};

}  // namespace

class TestLanguageFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void adapterPaths();
    void adapterUnknownPaths();
    void templateReproducesTheDesignTexts();
    void shippedFilesCheckClean_data();
    void shippedFilesCheckClean();
    void checkerReportsProblems();

private:
    TestHome* home_ = nullptr;
};

void TestLanguageFiles::initTestCase() {
    home_ = new TestHome;
}

void TestLanguageFiles::adapterPaths() {
    TFtest w;
    QString error;
    auto set = [&](const char* path, const QString& value) {
        return LocalizerAdapter::setProperty(&w, QString::fromLatin1(path), value, &error);
    };
    QVERIFY(set("Caption", "Finestra"));
    QCOMPARE(w.windowTitle(), "Finestra");
    QVERIFY(set("Label1.Caption", "two\rlines"));
    QCOMPARE(w.label->text(), "two\nlines");
    QVERIFY(set("GB1.Caption", "Gruppo"));
    QCOMPARE(w.group->title(), "Gruppo");
    // Nested in the group, or named straight from the window.
    QVERIFY(set("GB1.Button1.Caption", "Pulsante"));
    QCOMPARE(w.button->text(), "Pulsante");
    QVERIFY(set("Edit1.Text", "testo"));
    QCOMPARE(w.edit->text(), "testo");
    QVERIFY(set("Edit1.TextHint", "suggerimento"));
    QCOMPARE(w.edit->placeholderText(), "suggerimento");
    QVERIFY(set("Button1.Hint", "aiuto"));
    QCOMPARE(w.button->toolTip(), "aiuto");
    QVERIFY(set("Chart1.Title.Text", "Peso"));
    QCOMPARE(w.chart->chart()->title(), "Peso");
    QVERIFY(set("Label1.Font.Name", "DejaVu Serif"));
    QCOMPARE(w.label->font().family(), "DejaVu Serif");
    QVERIFY(set("Label1.toolTip", "by Qt's name"));
    QCOMPARE(w.label->toolTip(), "by Qt's name");

    // Items in place: the selection stays, no change handler runs.
    QSignalSpy changed(w.box, &QComboBox::currentIndexChanged);
    QVERIFY(set("CB1.Items", "uno\rdue\rtre"));
    QCOMPARE(w.box->count(), 3);
    QCOMPARE(w.box->currentIndex(), 1);
    QCOMPARE(w.box->currentText(), "due");
    QVERIFY(set("CB1.Items", "uno\r\ndue\r\ntre\r\nquattro"));
    QCOMPARE(w.box->itemText(3), "quattro");
    QVERIFY(set("CB1.Items", "solo"));
    QCOMPARE(w.box->count(), 1);
    QVERIFY(set("CB1.(0).Text", "primo"));
    QCOMPARE(w.box->itemText(0), "primo");
    QCOMPARE(changed.count(), 0);
    QVERIFY(error.isEmpty());

    // What a template lists of this window: texts with a letter.
    const QList<LocalizerAdapter::Text> texts = LocalizerAdapter::texts(&w);
    QStringList paths;
    for (const auto& t : texts)
        paths << t.path;
    QVERIFY(paths.contains("Label1.Caption"));
    QVERIFY(paths.contains("GB1.Caption"));
    QVERIFY(paths.contains("Button1.Caption"));
    QVERIFY(paths.contains("Edit1.Text"));
    QVERIFY(!paths.contains("CB1.Items"));  // the program fills its lists
    w.edit->setText("12.5");
    LocalizerAdapter::markRunTime(w.label);
    paths.clear();
    for (const auto& t : LocalizerAdapter::texts(&w))
        paths << t.path;
    QVERIFY(!paths.contains("Edit1.Text"));
    QVERIFY(!paths.contains("Label1.Caption"));
}

void TestLanguageFiles::adapterUnknownPaths() {
    TFtest w;
    const QString before = w.label->text();
    const QStringList bad{"Label9.Caption",
                          "Label1.Nothing",
                          "Label1",
                          "CB1.(7).Text",
                          "CB1.(x).Text",
                          "Label1.Title.Text",
                          "Edit1.Caption",
                          "Label1.Font.Colour",
                          ".",
                          "",
                          "Label1..Caption",
                          "Chart1.Title.Name"};
    for (const QString& path : bad) {
        QString error;
        QVERIFY2(!LocalizerAdapter::setProperty(&w, path, "x", &error), qPrintable(path));
        QCOMPARE(error, QStringLiteral("Unknown property \"%1\" found in component \"Ftest\".\r\n"
                                       "Remove it from language file")
                            .arg(path));
    }
    QString error;
    QVERIFY(!LocalizerAdapter::setProperty(&w, "Label1.Font.Size", "huge", &error));
    QVERIFY(
        error.startsWith("Translation error of property \"Label1.Font.Size\" in component "
                         "\"Ftest\"\r\n"));
    QCOMPARE(w.label->text(), before);
}

void TestLanguageFiles::templateReproducesTheDesignTexts() {
    const QByteArray text = LanguageTools::languageTemplate();
    QVERIFY(text.startsWith(sig()));
    TFreeLocalizer l;
    l.ErrorProcessing = epErrors;
    QVERIFY(l.loadContent(text, "template.lng"));
    QCOMPARE(l.Errors(), QStringList());

    // Fresh windows; each section's values are their texts, and applying
    // the section changes none of them.
    TForm1 form;
    auto* box = new TFbox(&form);
    auto* about = new TFAbout(&form);
    TPbar pbar;
    TSplashScreen splash;
    const QList<QWidget*> windows{&form, box,     &form.searchDialog(), about,
                                  &pbar, &splash, &form.dataWindow(),   &form.trafficWindow()};
    QStringList sections;
    for (const TResForm& f : l.ResForms())
        sections << f.Name;
    QCOMPARE(sections, (QStringList{"TForm1", "TFbox", "TFSearch", "TFAbout", "TPbar",
                                    "TSplashScreen", "TFdata", "TrafficWindow"}));
    int properties = 0;
    for (QWidget* w : windows) {
        const TResForm* f = l.section(LocalizerAdapter::sections(w).last());
        QVERIFY(f);
        const QList<LocalizerAdapter::Text> before = LocalizerAdapter::texts(w);
        QCOMPARE(f->Props.size(), before.size());
        for (qsizetype i = 0; i < f->Props.size(); ++i) {
            QCOMPARE(f->Props[i], before[i].path);
            QCOMPARE(QString(f->Values[i]).replace('\r', '\n'), before[i].value);
            QString error;
            QVERIFY2(LocalizerAdapter::setProperty(w, f->Props[i], f->Values[i], &error),
                     qPrintable(error));
            ++properties;
        }
        const QList<LocalizerAdapter::Text> after = LocalizerAdapter::texts(w);
        for (qsizetype i = 0; i < before.size(); ++i)
            QCOMPARE(after[i].value, before[i].value);
    }
    QVERIFY(properties > 150);
    // The main window's menus and a control of every page are in it.
    for (const char* path :
         {"Language1.Caption", "Search1.Caption", "testMode.Caption", "GBPage1.Caption",
          "GBPage13.Caption", "lbcaldate.Caption", "BtSetup.Caption"})
        QVERIFY2(l.section("TForm1")->Props.contains(path), path);
    // Every run-time text, under its number, in the English of the program.
    const QList<TResStringer::ResString> strings = l.resStringer().resStrings();
    QCOMPARE(strings.size(), ResourceStrings::table().size());
    for (qsizetype i = 0; i < strings.size(); ++i) {
        QCOMPARE(strings[i].number, ResourceStrings::table()[i].number);
        QCOMPARE(QString(strings[i].value).replace("\r\n", "\n"),
                 QString::fromUtf8(ResourceStrings::table()[i].english));
    }
    // English.lng is the template with its texts.
    if (QFile::exists(shippedLanguageFile("English"))) {
        TFreeLocalizer en;
        QVERIFY(en.setLanguageFile(shippedLanguageFile("English")));
        QCOMPARE(en.ResForms().size(), l.ResForms().size());
        for (qsizetype i = 0; i < l.ResForms().size(); ++i) {
            QCOMPARE(en.ResForms()[i].Props, l.ResForms()[i].Props);
            QCOMPARE(en.ResForms()[i].Values, l.ResForms()[i].Values);
        }
        QCOMPARE(en.resStringer().count(), l.resStringer().count());
    }
}

void TestLanguageFiles::shippedFilesCheckClean_data() {
    QTest::addColumn<QString>("name");
    for (const QString& n : shippedLanguages())
        QTest::newRow(qPrintable(n)) << n;
}

void TestLanguageFiles::shippedFilesCheckClean() {
    QFETCH(QString, name);
    const LanguageTools::CheckResult r = LanguageTools::checkLanguage(shippedLanguageFile(name));
    QVERIFY2(r.problems.isEmpty(), qPrintable(r.problems.join("\n")));
    // Complete: as many texts as the template has.
    TFreeLocalizer l;
    QVERIFY(l.loadContent(LanguageTools::languageTemplate(), "t.lng"));
    int templateProps = 0;
    for (const TResForm& f : l.ResForms())
        templateProps += int(f.Props.size());
    QCOMPARE(r.formProperties, templateProps);
    QCOMPARE(r.resourceStrings, int(ResourceStrings::table().size()));
    // A flag of its own.
    QVERIFY(QFile::exists(sourceDir() + "/languages/" + name + ".bmp"));
}

void TestLanguageFiles::checkerReportsProblems() {
    home_->write("Bad.lng", sig() +
                                "[TForm1]\r\n"
                                "Label404.Caption='nothing'\r\n"
                                "(!)GBPage1.Caption='Calibration'\r\n"
                                "[TFnothing]\r\n"
                                "X.Caption='x'\r\n"
                                "[RESOURCESTRINGS]\r\n"
                                "6_Ready='Pronto'\r\n"
                                "2_Black='Nero'\r\n"
                                "99_Unknown='?'\r\n");
    const LanguageTools::CheckResult r = LanguageTools::checkLanguage(home_->file("Bad.lng"));
    QCOMPARE(r.problems.size(), 5);
    QVERIFY(r.problems[0].startsWith("Untranslated line in language file:"));
    QVERIFY(r.problems[1].startsWith(
        "Unknown property \"Label404.Caption\" found in component \"Form1\""));
    QCOMPARE(r.problems[2], "Unknown window \"TFnothing\" in language file");
    QVERIFY(r.problems[3].startsWith("Resource string 2 out of order"));
    QCOMPARE(r.problems[4], "Unknown resource string 99 in language file");
    QCOMPARE(r.summary(), "2 form properties, 3 resource strings, 5 problems");

    // The command line: each problem, the summary, the exit code.
    QProcess p;
    p.start(velmora(), {"--check-language", home_->file("Bad.lng")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 1);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.endsWith("2 form properties, 3 resource strings, 5 problems\n"), qPrintable(out));
    QVERIFY(out.contains("Unknown window \"TFnothing\""));

    home_->write("Deleted.lng", sig() + "[TForm1]\r\n[(x)Panel3]\r\n");
    p.start(velmora(), {"--check-language", home_->file("Deleted.lng")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).contains("Deleted component"));

    p.start(velmora(), {"--check-language", home_->file("Missing.lng")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 1);

    if (QFile::exists(shippedLanguageFile("English"))) {
        p.start(velmora(), {"--check-language", shippedLanguageFile("English")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).endsWith(" 0 problems\n"));
    }
    p.start(velmora(), {"--language-template"});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardOutput(), LanguageTools::languageTemplate());
}

QTEST_MAIN(TestLanguageFiles)
#include "tst_languagefiles.moc"
