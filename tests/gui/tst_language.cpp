// The running window under every shipped language: a first start in the
// stored language, every language chosen from the menu and back, the texts
// the program writes itself set again, nothing left in English, nothing cut
// off at the window's sizes.
#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

#include "base/texts.h"
#include "languagefiles.h"
#include "localizer/resourcestrings.h"
#include "window/aboutbox.h"
#include "window/calibrationpage.h"
#include "window/datawindow.h"
#include "window/homepage.h"
#include "window/languagetools.h"
#include "window/localization.h"
#include "window/localizeradapter.h"
#include "window/navigator.h"
#include "window/progresswindow.h"
#include "window/questionbox.h"
#include "window/searchdialog.h"
#include "window/splashscreen.h"
#include "window/statuspanels.h"
#include "window/topstrip.h"
#include "window/trafficwindow.h"
#include "windowfixture.h"

namespace {

// Texts that read the same in every language: names, units, acronyms and
// the few words the languages take over from English.
const QSet<QString> kSameEverywhere{"VELMORA",
                                    "OK",
                                    "NO",
                                    "Firmware",
                                    "Firmware:",
                                    "Modbus",
                                    "Slave",
                                    "Backup",
                                    "Setup",
                                    "Home",
                                    "Test",
                                    "Logger",
                                    "Docu",
                                    "Param",
                                    "Calib.",
                                    "In/Out",
                                    "Analog",
                                    "Reset",
                                    "Zero",
                                    "STOP",
                                    "MIN",
                                    "ON",
                                    "OFF",
                                    "On",
                                    "Off",
                                    "Tx OK",
                                    "OFFLINE",
                                    "mV/V:",
                                    "0 mV",
                                    "2mV",
                                    "0.00 mA",
                                    "CH: 1",
                                    "s",
                                    "File:",
                                    "Password",
                                    "Lime",
                                    "0 ALL:",
                                    "RS232/RS485-RS422",
                                    "TEST HARDWARE",
                                    "Status: Offline",
                                    "Offline",
                                    "Status:Offline",
                                    "Docu"};

// Words a language writes as English does (the about box's button is
// designed in Italian).
const QMap<QString, QSet<QString>> kDesignedInTheLanguage{
    {"Italiano", {"&Chiudi"}},
    {"Deutsch", {"Normal", "Orange", "Signal mV:", "Analog:", "START", "Pause"}},
    {"Español", {"Normal", "Manual"}},
    {"Français",
     {"Normal", "Orange", "Pause", "Tare", "Net", "NET", "STABLE", "Stable", "Mode", "Indigo",
      "Turquoise", "Rose", "Violet", "Information"}}};

bool hasLetter(const QString& t) {
    for (const QChar c : t)
        if (c.isLetter())
            return true;
    return false;
}

// Every English text of the program: its design texts and run-time texts.
QSet<QString> englishTexts() {
    QSet<QString> out;
    TFreeLocalizer l;
    l.loadContent(LanguageTools::languageTemplate(), "t.lng");
    for (const TResForm& f : l.ResForms())
        for (const QString& v : f.Values)
            out.insert(QString(v).replace('\r', '\n'));
    for (const ResourceStrings::Entry& e : ResourceStrings::table())
        out.insert(QString::fromUtf8(e.english));
    return out;
}

QString plain(QString t) {
    // A mnemonic's "&" is not drawn.
    t.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return t;
}

struct Finding {
    QString where;
    QString text;
};

// Every visible text of a window and whether it fits its control.
void walk(QWidget* window, QList<Finding>& texts, QStringList& cut) {
    auto widthOf = [](const QWidget* w, const QString& text) {
        int width = 0;
        for (const QString& line : plain(text).split('\n'))
            width = std::max(width, w->fontMetrics().horizontalAdvance(line));
        return width;
    };
    auto name = [window](const QObject* o) { return window->objectName() + "/" + o->objectName(); };
    if (!window->windowTitle().isEmpty())
        texts << Finding{window->objectName() + " title", window->windowTitle()};
    for (QObject* o : LocalizerAdapter::ownObjects(window)) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || !w->isVisible())
            continue;
        if (auto* l = qobject_cast<QLabel*>(w)) {
            if (l->text().isEmpty() || l->textFormat() == Qt::RichText)
                continue;
            texts << Finding{name(l), l->text()};
            if (!l->wordWrap() && widthOf(l, l->text()) > l->contentsRect().width() + 1)
                cut << QStringLiteral("%1 '%2' needs %3 px, has %4")
                           .arg(name(l), l->text())
                           .arg(widthOf(l, l->text()))
                           .arg(l->contentsRect().width());
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            if (b->text().isEmpty())
                continue;
            texts << Finding{name(b), b->text()};
            int room = b->width() - 6;
            auto* tool = qobject_cast<QToolButton*>(b);
            const bool under = tool && tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon;
            if (!b->icon().isNull() && !under)
                room -= b->iconSize().width() + 4;
            if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b))
                room -= 18;
            if (widthOf(b, b->text()) > room)
                cut << QStringLiteral("%1 '%2' needs %3 px, has %4")
                           .arg(name(b), b->text())
                           .arg(widthOf(b, b->text()))
                           .arg(room);
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            if (g->title().isEmpty())
                continue;
            texts << Finding{name(g), g->title()};
            if (widthOf(g, g->title()) > g->width() - 10)
                cut << QStringLiteral("%1 '%2' wider than its group").arg(name(g), g->title());
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < c->count(); ++i)
                texts << Finding{name(c) + "[" + QString::number(i) + "]", c->itemText(i)};
        }
    }
    if (auto* mw = qobject_cast<QMainWindow*>(window)) {
        for (QAction* a : mw->menuBar()->actions()) {
            texts << Finding{"menu", a->text()};
            if (a->menu())
                for (QAction* item : a->menu()->actions())
                    if (!item->isSeparator() && !item->data().isValid())
                        texts << Finding{"menu item", item->text()};
        }
    }
}

}  // namespace

class TestLanguage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void firstStartInTheStoredLanguage();
    void languageMenu();
    void formTranslationsStayWithoutResourceStrings();
    void everyLanguageAndBack();
    void runTimeTextsSetAgain();
    void offlineDefaultsAfterAChange();
    void statusBarAndTopStripWhole();

private:
    QAction* item(WindowFixture& f, const QString& name);
    QStringList languages_;
};

void TestLanguage::initTestCase() {
    languages_ = shippedLanguages();
    QVERIFY2(languages_.contains("English") && languages_.contains("Italiano"),
             qPrintable(languages_.join(',')));
}

QAction* TestLanguage::item(WindowFixture& f, const QString& name) {
    for (QAction* a : f.form->languageMenu()->actions())
        if (a->data().toString() == name)
            return a;
    return nullptr;
}

void TestLanguage::firstStartInTheStoredLanguage() {
    WindowFixture f;
    copyLanguages(f.home);
    // No settings file: the default names Italiano.
    QVERIFY(f.start());
    QVERIFY(item(f, "Italiano")->isChecked());
    TFreeLocalizer it;
    QVERIFY(it.setLanguageFile(shippedLanguageFile("Italiano")));
    // Every design text of the main window as the file says; the window's
    // own run-time texts in Italian too.
    const TResForm* form = it.section("TForm1");
    QVERIFY(form);
    for (qsizetype i = 0; i < form->Props.size(); ++i)
        QCOMPARE(LocalizerAdapter::property(f.form.get(), form->Props[i]),
                 QString(form->Values[i]).replace('\r', '\n'));
    QCOMPARE(tr_("Ready"), it.lookup("Ready"));
    QCOMPARE(f.control<QComboBox>("CBMode1")->itemText(1), it.lookup("Gross"));
    QCOMPARE(f.form->strip().setupButton()->text(), it.lookup("Setup"));
    QCOMPARE(f.control<QLabel>("lbtipopeso")->text(), it.lookup("Net"));
    // A window built later is translated when built.
    auto* box = new TFbox(f.form.get());
    QCOMPARE(
        box->findChild<QPushButton*>("btSI")->text(),
        QString(it.section("TFbox")->Values[it.section("TFbox")->Props.indexOf("btSI.Caption")]));
    delete box;
}

void TestLanguage::languageMenu() {
    WindowFixture f;
    copyLanguages(f.home);
    // A language without a flag gets noflag.bmp; one in lower case sorts
    // among the others.
    f.home.write("klingon.lng", QByteArray(TFreeLocalizer::kSignature) + "\r\n");
    f.home.write("Zulu.LNG", QByteArray(TFreeLocalizer::kSignature) + "\r\n");
    QFile german(shippedLanguageFile("Deutsch"));
    QVERIFY(german.open(QIODevice::ReadOnly));
    f.home.write("Tedesco.LNG", german.readAll());
    QVERIFY(f.start());
    QStringList captions;
    for (QAction* a : f.form->languageMenu()->actions()) {
        captions << a->text();
        QVERIFY2(!a->icon().isNull(), qPrintable(a->text()));
        QVERIFY(a->isCheckable());
        QVERIFY(a->actionGroup() && a->actionGroup()->isExclusive());
    }
    QStringList expected = languages_;
    expected << "klingon"
             << "Tedesco"
             << "Zulu";
    std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    QCOMPARE(captions, expected);
    // Checking one unchecks the other; the setting follows.
    f.form->langClick(item(f, "English"));
    QVERIFY(item(f, "English")->isChecked());
    QVERIFY(!item(f, "Italiano")->isChecked());
    QCOMPARE(f.session().settings().lingua, "English");
    QCOMPARE(f.control<QLabel>("lbcaldate")->text(), "Last calibration:");
    // A language whose file says nothing keeps the texts in force.
    f.form->langClick(item(f, "klingon"));
    QCOMPARE(f.session().settings().lingua, "klingon");
    QCOMPARE(f.control<QLabel>("lbcaldate")->text(), "Last calibration:");
    // The same language again loads its file again.
    f.control<QLabel>("lbcaldate")->setText("changed");
    f.form->langClick(item(f, "English"));
    f.form->langClick(item(f, "English"));
    QCOMPARE(f.control<QLabel>("lbcaldate")->text(), "Last calibration:");
    // A file with an upper-case extension is listed, and loads.
    f.form->langClick(item(f, "Tedesco"));
    QCOMPARE(f.session().settings().lingua, "Tedesco");
    TFreeLocalizer de;
    QVERIFY(de.setLanguageFile(shippedLanguageFile("Deutsch")));
    QCOMPARE(f.control<QLabel>("lbcaldate")->text(),
             de.section("TForm1")->Values[de.section("TForm1")->Props.indexOf("lbcaldate.Caption")]);
    QVERIFY(f.control<QLabel>("lbcaldate")->text() != "Last calibration:");
}

void TestLanguage::formTranslationsStayWithoutResourceStrings() {
    // A language written from the file format alone: the form sections and
    // only the original 33 resource strings (the German file cut there).
    QFile german(shippedLanguageFile("Deutsch"));
    QVERIFY(german.open(QIODevice::ReadOnly));
    QByteArray cut;
    for (const QByteArray& line : german.readAll().split('\n')) {
        const int n = line.left(line.indexOf('_')).toInt();
        if (n <= 33)
            cut += line + '\n';
    }
    WindowFixture f;
    copyLanguages(f.home);
    f.home.write("Svenska.lng", cut);
    fdati s;
    s.porta = "NO";
    s.lingua = "Svenska";
    f.home.write(SettingsFile::kFileName, SettingsFile::serialize(s));
    QVERIFY(f.start());
    TFreeLocalizer de;
    QVERIFY(de.setLanguageFile(shippedLanguageFile("Deutsch")));
    const TResForm* form = de.section("TForm1");
    auto formText = [&](const char* prop) { return form->Values[form->Props.indexOf(prop)]; };
    // Texts set again at run time keep the form section's translation.
    QCOMPARE(f.form->languageMenu()->title(), formText("Language1.Caption"));
    QCOMPARE(f.form->findChild<QAction*>("Exit1")->text(), formText("Exit1.Caption"));
    QVERIFY(f.form->languageMenu()->title() != "Language");
    // One of the 33 is the file's own.
    QCOMPARE(tr_("Ready"), de.lookup("Ready"));

    // The checker passes the file and lists what it leaves in English.
    const LanguageTools::CheckResult r = LanguageTools::checkLanguage(f.home.file("Svenska.lng"));
    QVERIFY2(r.problems.isEmpty(), qPrintable(r.problems.join('\n')));
    QVERIFY(r.leftInEnglish.contains("121_DataLoggerStopped"));
    QVERIFY(!r.leftInEnglish.contains("131_Language"));  // the form's translation stands
    QVERIFY(!r.leftInEnglish.contains("6_Ready"));
    const LanguageTools::CheckResult full = LanguageTools::checkLanguage(shippedLanguageFile("Deutsch"));
    QCOMPARE(full.leftInEnglish, QStringList());
}

void TestLanguage::everyLanguageAndBack() {
    WindowFixture f;
    copyLanguages(f.home);
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    QTRY_VERIFY_WITH_TIMEOUT(f.session().link().parametri_caricati.load(), 20000);
    const QSet<QString> english = englishTexts();

    QStringList order = languages_;
    order << languages_.first();
    QStringList problems;
    for (const QString& lang : order) {
        QAction* a = item(f, lang);
        QVERIFY(a);
        f.form->langClick(a);
        // The windows a technician opens, built now or earlier.
        f.form->showAbout();
        auto* about = f.form->findChild<TFAbout*>();
        auto* box = new TFbox(f.form.get());
        box->show();
        auto* pbar = new TPbar(f.form.get());
        pbar->show();
        TSplashScreen splash;
        splash.show();
        f.form->searchDialog().show();
        f.form->dataWindow().show();
        f.form->trafficWindow().show();
        QList<Finding> texts;
        QStringList cut;
        for (int page = 0; page <= 13; ++page) {
            if (!f.form->navigator().openPage(page))
                continue;
            QCoreApplication::processEvents();
            walk(f.form.get(), texts, cut);
        }
        for (QWidget* w : QList<QWidget*>{about, box, pbar, &splash, &f.form->searchDialog(),
                                          &f.form->dataWindow(), &f.form->trafficWindow()})
            walk(w, texts, cut);
        for (const QString& c : cut)
            problems << lang + ": cut off: " + c;
        if (lang != QLatin1String("English")) {
            QSet<QString> reported;
            for (const Finding& t : texts) {
                const QString text = plain(t.text);
                if (!hasLetter(text) || kSameEverywhere.contains(t.text) ||
                    kDesignedInTheLanguage.value(lang).contains(t.text) ||
                    reported.contains(t.where))
                    continue;
                if (english.contains(t.text) || english.contains(text)) {
                    problems << lang + ": still English: " + t.where + " '" + t.text + "'";
                    reported.insert(t.where);
                }
            }
        }
        about->close();
        delete box;
        delete pbar;
        f.form->searchDialog().hide();
        f.form->dataWindow().hide();
        f.form->trafficWindow().hide();
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    // Back at the first language, its values again on the pages.
    QCOMPARE(f.session().settings().lingua, languages_.first());
    QVERIFY(f.session().link().online);
}

void TestLanguage::runTimeTextsSetAgain() {
    WindowFixture f;
    copyLanguages(f.home);
    f.home.write("Cal_log.txt", "41\r\nFriday 01/05/2026 08:30\r\n");
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    QTRY_VERIFY_WITH_TIMEOUT(f.session().link().parametri_caricati.load(), 20000);
    auto* mode1 = f.control<QComboBox>("CBMode1");
    auto* unit = f.control<QComboBox>("CBUnit");
    const int modeIndex = mode1->currentIndex();
    const int unitIndex = unit->currentIndex();
    QVERIFY(modeIndex >= 0 && unitIndex >= 0);
    const int writes = int(f.sim->traffic().size());

    f.form->navigator().openPage(1);
    f.form->langClick(item(f, "English"));
    // The lists in English, the instrument's values selected again, nothing
    // written for it.
    QCOMPARE(mode1->itemText(0), "Net");
    QCOMPARE(mode1->currentIndex(), modeIndex);
    QCOMPARE(unit->currentIndex(), unitIndex);
    QCOMPARE(f.form->strip().setupButton()->text(), "Home");
    QCOMPARE(f.control<QLabel>("lbtipopeso")->text(), f.form->home().viewText());
    QCOMPARE(f.control<QLabel>("lbtipopeso")->text(), "Net");
    // The log panel from the file, not the translated design texts.
    QCOMPARE(f.control<QLabel>("lbnumcalib")->text(), "41");
    QCOMPARE(f.control<QLabel>("lbdatecalib")->text(), "Friday 01/05/2026 08:30");
    QTRY_COMPARE_WITH_TIMEOUT(f.form->statusBarPanels().panelText(0).startsWith("Status:"), true,
                              5000);

    f.form->langClick(item(f, "Italiano"));
    TFreeLocalizer it;
    QVERIFY(it.setLanguageFile(shippedLanguageFile("Italiano")));
    QCOMPARE(mode1->itemText(0), it.lookup("Net"));
    QCOMPARE(mode1->currentIndex(), modeIndex);
    QCOMPARE(f.control<QLabel>("lbdatecalib")->text(), "Friday 01/05/2026 08:30");
    QCOMPARE(f.control<QLabel>("lbtipopeso")->text(), it.lookup("Net"));
    QCOMPARE(f.control<QAbstractButton>("btTara")->text(), it.lookup("Tare"));
    // Showing values again is not changing them: no write went out.
    for (qsizetype i = writes; i < f.sim->traffic().size(); ++i) {
        const int fn = f.sim->traffic()[i].value("function").toInt();
        QVERIFY2(fn != 6 && fn != 16, "a language change wrote to the instrument");
    }
}

void TestLanguage::offlineDefaultsAfterAChange() {
    WindowFixture f;
    copyLanguages(f.home);
    f.writeSettings("NO");
    QVERIFY(f.start());
    QVERIFY(!f.session().link().online);
    f.form->langClick(item(f, "English"));
    QCOMPARE(f.control<QComboBox>("CBUnit")->currentText(), "1");
    QCOMPARE(f.control<QComboBox>("CBBaud1")->currentText(), "38400");
    QCOMPARE(f.control<QComboBox>("CbFilter")->currentIndex(), 5);
    QCOMPARE(f.control<QComboBox>("CBMode1")->currentText(), "Net");
    QCOMPARE(f.control<QComboBox>("CBtipologPC")->currentIndex(), 0);
    QCOMPARE(f.form->strip().setupButton()->text(), "Setup");
}

// The status bar and the top strip carry texts the program writes while it
// runs: every state's words in every language and layout, the firmware and
// other captions as an instrument reports them.
void TestLanguage::statusBarAndTopStripWhole() {
    WindowFixture f;
    copyLanguages(f.home);
    QVERIFY2(f.startSim(), qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    QVERIFY(f.start());
    QTRY_VERIFY_WITH_TIMEOUT(f.session().link().parametri_caricati.load(), 20000);
    StatusPanels& sb = f.form->statusBarPanels();
    TopStrip& strip = f.form->strip();
    QStringList problems;
    for (const QString& lang : languages_) {
        f.form->langClick(item(f, lang));
        QStringList states{"Status: Offline"};
        for (const char* word : {"Ready", "Tx OK", "Error in RX data", "Setting Error"})
            states << QStringLiteral("Status:") + tr_(word);
        const QStringList saves{tr_("TEST mode"), tr_("Some data are not saved! (Click Here)"),
                                tr_("Data saved successfully"), "Offline"};
        for (const int layout : {int(Navigator::Compact), int(Navigator::Setup)}) {
            f.form->navigator().form_style(layout);
            QCoreApplication::processEvents();
            const QString where = QStringLiteral("%1, layout %2: ").arg(lang).arg(layout);
            QVERIFY(sb.isVisible());
            for (const QString& state : states)
                for (const QString& save : saves) {
                    sb.setPanelText(0, state);
                    sb.setPanelText(1, save);
                    for (int panel = 0; panel < 2; ++panel) {
                        const QString text = panel == 0 ? state : save;
                        const QRect r = sb.panelRect(panel);
                        const QFont font = sb.panelFont(panel);
                        const int needed = QFontMetrics(font).horizontalAdvance(text);
                        if (r.right() >= sb.width() + 1 ||
                            needed > r.width() - 2 - StatusPanels::kTextMargins ||
                            font.pixelSize() < StatusPanels::kMinPixelSize)
                            problems << where + QStringLiteral("status panel %1 '%2' (with '%3')")
                                                    .arg(panel)
                                                    .arg(text, panel == 0 ? save : state);
                    }
                }
            // The strip's labels, as far as the window shows them.
            const QRect shown = f.form->centralWidget()->rect();
            for (QLabel* l : strip.findChildren<QLabel*>()) {
                if (!l->isVisible() || l->text().isEmpty() || l->wordWrap() ||
                    l->textFormat() == Qt::RichText || l->pixmap().toImage().width() > 0)
                    continue;
                const QRect on = QRect(l->mapTo(f.form->centralWidget(), QPoint(0, 0)), l->size());
                if (!shown.intersects(on))
                    continue;
                const int needed = l->fontMetrics().horizontalAdvance(plain(l->text()));
                if (needed > l->contentsRect().width() + 1)
                    problems << where + QStringLiteral("%1 '%2' needs %3 px, has %4")
                                            .arg(l->objectName(), l->text())
                                            .arg(needed)
                                            .arg(l->contentsRect().width());
            }
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
