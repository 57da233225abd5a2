// The language-file reader without widgets: the file format, the reports and
// the resource-string lookup.
#include <QtTest>

#include "base/texts.h"
#include "localizer/freelocalizer.h"
#include "localizer/resourcestrings.h"
#include "support/testhome.h"

namespace {

const QByteArray kSig = QByteArray(TFreeLocalizer::kSignature) + "\r\n";

struct Loaded {
    bool ok = false;
    QStringList errors;
};

Loaded load(TFreeLocalizer& l, const QByteArray& body, bool withSignature = true) {
    l.ErrorProcessing = epErrors;
    l.ClearErrors();
    Loaded r;
    r.ok = l.loadContent((withSignature ? kSig : QByteArray()) + body, QStringLiteral("t.lng"));
    r.errors = l.Errors();
    return r;
}

QString value(const TFreeLocalizer& l, const QString& form, const QString& prop) {
    const TResForm* f = l.section(form);
    if (!f)
        return QStringLiteral("<no section>");
    const qsizetype i = f->Props.indexOf(prop);
    return i < 0 ? QStringLiteral("<no property>") : f->Values[i];
}

int number(const char* english) {
    return ResourceStrings::numberOf(QString::fromUtf8(english));
}

}  // namespace

class TestLocalizer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void signature_data();
    void signature();
    void literals_data();
    void literals();
    void badLiteralStopsTheLoad_data();
    void badLiteralStopsTheLoad();
    void literalRoundTrip_data();
    void literalRoundTrip();
    void humanize_data();
    void humanize();
    void formSections();
    void reportedLines();
    void deletedComponentStopsTheLoad();
    void resourceStrings();
    void resourceStringsOutOfOrder();
    void resourceStringsKeptWithoutSection();
    void emptySectionDoesNotSwitchTranslationOff();
    void errorProcessingModes();
    void fileOnDiskAndHooks();
    void numbering();
    void textsLookup();
};

void TestLocalizer::signature_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::newRow("exact") << kSig + "[TForm1]\r\n" << true;
    QTest::newRow("LF ends") << QByteArray(TFreeLocalizer::kSignature) + "\n[TForm1]\n" << true;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF") + kSig << true;
    QTest::newRow("trailing blank") << QByteArray(TFreeLocalizer::kSignature) + " \r\n" << false;
    QTest::newRow("leading blank") << " " + kSig << false;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("signature on line 2") << "\r\n" + kSig << false;
    QTest::newRow("other case") << kSig.toLower() << false;
}

void TestLocalizer::signature() {
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    TFreeLocalizer l;
    const Loaded r = load(l, content, false);
    QCOMPARE(r.ok, ok);
    if (!ok) {
        QCOMPARE(r.errors, QStringList{QStringLiteral("Bad signature in language file \"t.lng\"")});
        QCOMPARE(l.languageFile(), QString());
    } else {
        QVERIFY(r.errors.isEmpty());
        QCOMPARE(l.languageFile(), QStringLiteral("t.lng"));
    }
}

void TestLocalizer::literals_data() {
    QTest::addColumn<QString>("literal");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "'Hello'"
                           << "Hello";
    QTest::newRow("doubled quote") << "'It''s'"
                                   << "It's";
    QTest::newRow("only a quote") << "''''"
                                  << "'";
    QTest::newRow("empty") << "''"
                           << "";
    QTest::newRow("codes joined") << "'First line'#13#10'second line'"
                                  << "First line\r\nsecond line";
    QTest::newRow("code first") << "#65'BC'"
                                << "ABC";
    QTest::newRow("code at end") << "'A'#66"
                                 << "AB";
    QTest::newRow("non-ASCII code") << "#176'C'" << QString::fromUtf8("°C");
    QTest::newRow("UTF-8 inside") << QString::fromUtf8("'Größe'") << QString::fromUtf8("Größe");
    QTest::newRow("blank separates lines") << "'one' 'two'"
                                           << "one\rtwo";
    QTest::newRow("blanks trimmed") << "'one'   'two'"
                                    << "one\rtwo";
    QTest::newRow("three lines") << "'a' 'b' 'c'"
                                 << "a\rb\rc";
    QTest::newRow("unquoted is empty") << "Hello"
                                       << "";
    QTest::newRow("unquoted then literal") << "x 'b'"
                                           << "b";
    QTest::newRow("equals inside") << "'a=b'"
                                   << "a=b";
}

void TestLocalizer::literals() {
    QFETCH(QString, literal);
    QFETCH(QString, text);
    QCOMPARE(TFreeLocalizer::decodeLiteral(literal), text);
    // The same through a property line, where the value follows the first "=".
    TFreeLocalizer l;
    const Loaded r = load(l, "[TForm1]\r\nLabel1.Caption=" + literal.toUtf8() + "\r\n");
    QVERIFY(r.ok);
    QCOMPARE(value(l, QStringLiteral("TForm1"), QStringLiteral("Label1.Caption")), text);
}

void TestLocalizer::badLiteralStopsTheLoad_data() {
    QTest::addColumn<QString>("literal");
    QTest::newRow("unclosed quote") << "'Hello";
    QTest::newRow("unclosed after doubled") << "'It''";
    QTest::newRow("hash without digits") << "'a'#";
    QTest::newRow("hash then letter") << "#x";
    QTest::newRow("letter after code") << "#13a";
    QTest::newRow("blank after code") << "'a'#13 'b'";
    QTest::newRow("code beyond Unicode") << "#1114112";
    QTest::newRow("surrogate code") << "#55296";
    QTest::newRow("huge code") << "#99999999999999999999";
}

void TestLocalizer::badLiteralStopsTheLoad() {
    QFETCH(QString, literal);
    QVERIFY_THROWS_EXCEPTION(ETmlError, TFreeLocalizer::decodeLiteral(literal));
    TFreeLocalizer l;
    const Loaded r =
        load(l, "[TForm1]\r\nLabel1.Caption='before'\r\nLabel2.Caption=" + literal.toUtf8() +
                    "\r\nLabel3.Caption='after'\r\n");
    QVERIFY(!r.ok);
    QCOMPARE(r.errors, QStringList{QStringLiteral("Error while loading language file \"t.lng\"\r\n"
                                                  "Bad decoded string: \"") +
                                   literal + QLatin1Char('"')});
    // What was read before stays; nothing after; the file is not the language.
    QCOMPARE(value(l, QStringLiteral("TForm1"), QStringLiteral("Label1.Caption")), "before");
    QCOMPARE(l.section(QStringLiteral("TForm1"))->Props.size(), 1);
    QCOMPARE(l.languageFile(), QString());
}

void TestLocalizer::literalRoundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "Calibration";
    QTest::newRow("quotes") << "It's 'quoted'";
    QTest::newRow("line break") << "two\nlines";
    QTest::newRow("tab and break") << "a\tb\n\nc";
    QTest::newRow("empty") << "";
    QTest::newRow("non-ASCII") << QString::fromUtf8("0÷20mA Größe ±");
    QTest::newRow("leading blank") << " Setup ";
}

void TestLocalizer::literalRoundTrip() {
    QFETCH(QString, text);
    QString form = TFreeLocalizer::decodeLiteral(TFreeLocalizer::encodeLiteral(text));
    QCOMPARE(form.replace(QLatin1Char('\r'), QLatin1Char('\n')), text);
    QString res = TFreeLocalizer::decodeLiteral(TFreeLocalizer::encodeLiteral(text, true));
    QCOMPARE(res.replace(QStringLiteral("\r\n"), QStringLiteral("\n")), text);
}

void TestLocalizer::humanize_data() {
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QByteArray>("formValue");
    QTest::addColumn<QString>("formText");
    QTest::addColumn<QByteArray>("resValue");
    QTest::addColumn<QString>("resText");
    QTest::newRow("off: literal") << QByteArray() << QByteArray("'a\\b'") << "a\\b"
                                  << QByteArray("'x'#13#10'y'") << "x\r\ny";
    QTest::newRow("not 1 is off") << QByteArray("Humanize=yes\r\n") << QByteArray("'a'") << "a"
                                  << QByteArray("'b'") << "b";
    QTest::newRow("on, default markers") << QByteArray("Humanize=1\r\n") << QByteArray("one\\two")
                                         << "one\rtwo" << QByteArray("one\\two") << "one\r\ntwo";
    QTest::newRow("on, plain text keeps quotes")
        << QByteArray("Humanize=1\r\n") << QByteArray("It's") << "It's" << QByteArray("'q'")
        << "'q'";
    QTest::newRow("divider") << QByteArray("Humanize=1\r\nHumanizeDivider=|\r\n")
                             << QByteArray("a|b\\c") << "a\rb\nc" << QByteArray("a|b") << "a\r\nb";
    QTest::newRow("separate CR and CRLF markers")
        << QByteArray("Humanize=1\r\nHumanizedCR=^\r\nHumanizedCRLF=~\r\nHumanizedLF=%\r\n")
        << QByteArray("a^b~c%d") << "a\rb\r\nc\nd" << QByteArray("a^b~c") << "a\rb\r\nc";
    QTest::newRow("markers ignored while off")
        << QByteArray("HumanizeDivider=|\r\n") << QByteArray("'a|b'") << "a|b"
        << QByteArray("'a|b'") << "a|b";
    QTest::newRow("empty marker stands for nothing")
        << QByteArray("Humanize=1\r\nHumanizedCR=\r\nHumanizedCRLF=\r\nHumanizedLF=\r\n")
        << QByteArray("ab") << "ab" << QByteArray("ab") << "ab";
    QTest::newRow("key in other case")
        << QByteArray("humanize=1\r\n") << QByteArray("a\\b") << "a\rb" << QByteArray("c") << "c";
}

void TestLocalizer::humanize() {
    QFETCH(QByteArray, options);
    QFETCH(QByteArray, formValue);
    QFETCH(QString, formText);
    QFETCH(QByteArray, resValue);
    QFETCH(QString, resText);
    TFreeLocalizer l;
    // Options are found anywhere, here also after the sections.
    const Loaded r =
        load(l, "[TForm1]\r\nLabel1.Caption=" + formValue +
                    "\r\n[RESOURCESTRINGS]\r\n7_TxOK=" + resValue + "\r\n[END]\r\n" + options);
    QVERIFY2(r.ok, qPrintable(r.errors.join(QLatin1Char('|'))));
    QCOMPARE(value(l, QStringLiteral("TForm1"), QStringLiteral("Label1.Caption")), formText);
    QCOMPARE(l.resStringer().lookup(7, QStringLiteral("Tx OK")), resText);
}

void TestLocalizer::formSections() {
    TFreeLocalizer l;
    const Loaded r = load(l,
                          "; a comment\r\n"
                          "Label0.Caption='outside any section'\r\n"
                          "\r\n"
                          "[TForm1]\r\n"
                          "  Label1.Caption = 'Peso'  \r\n"
                          "Label2.Caption{TLabel}='Tara'\r\n"
                          "Chart1.Title.Text='a=b'\r\n"
                          "(comment) ignored\r\n"
                          "NoValue\r\n"
                          "[TFbox]\r\n"
                          "btSI.Caption='SI'\r\n"
                          "[TForm1]\r\n"
                          "Label9.Caption='second TForm1 section'\r\n");
    QVERIFY(r.ok);
    QVERIFY(r.errors.isEmpty());
    QCOMPARE(l.ResForms().size(), 3);
    const TResForm& f = l.ResForms()[0];
    QCOMPARE(f.Name, "TForm1");
    QCOMPARE(f.Props,
             (QStringList{"Label1.Caption", "Label2.Caption", "Chart1.Title.Text", "NoValue"}));
    QCOMPARE(f.Values, (QStringList{"Peso", "Tara", "a=b", ""}));
    QCOMPARE(value(l, "TFbox", "btSI.Caption"), "SI");
    QCOMPARE(l.propertyLinesRead(), 6);
    // A new load discards every form section.
    QVERIFY(load(l, "[TFAbout]\r\n").ok);
    QCOMPARE(l.ResForms().size(), 1);
    QCOMPARE(l.section("TForm1"), nullptr);
}

void TestLocalizer::reportedLines() {
    TFreeLocalizer l;
    const Loaded r = load(l,
                          "[TForm1]\r\n"
                          "(x)Label1.Caption='old'\r\n"
                          "(!)Label2.Caption='Weight'\r\n"
                          "Label3.Caption='kept'\r\n"
                          "[RESOURCESTRINGS]\r\n"
                          "(x)5_Old='x'\r\n"
                          "(!)6_Ready='Ready'\r\n"
                          "abc_Name='x'\r\n"
                          "7_TxOK='Tx ok'\r\n");
    QVERIFY(r.ok);
    QCOMPARE(r.errors,
             (QStringList{
                 "Obsolete line in language file:\r\n\"(x)Label1.Caption='old'\"\r\nYou have to "
                 "remove it!",
                 "Untranslated line in language file:\r\n\"(!)Label2.Caption='Weight'\"\r\nYou "
                 "have to translate it!",
                 "Obsolete line in language file:\r\n\"(x)5_Old='x'\"\r\nYou have to delete it!",
                 "Untranslated line in language file:\r\n\"(!)6_Ready='Ready'\"\r\nYou have to "
                 "translate it!",
                 "Bad resource ID in language file: \"abc\""}));
    // Reported lines are not applied; the bad ID is still an entry.
    QCOMPARE(l.section("TForm1")->Props, QStringList{"Label3.Caption"});
    QCOMPARE(l.resourceEntriesRead(), 2);
    QCOMPARE(l.resStringer().lookup(7, "Tx OK"), "Tx ok");

    // An empty path is a bad line and stops the load.
    const Loaded bad = load(l, "[TForm1]\r\n{x}='a'\r\nLabel1.Caption='b'\r\n");
    QVERIFY(!bad.ok);
    QCOMPARE(bad.errors, QStringList{"Bad line in language file: \"{x}='a'\""});
    QCOMPARE(l.section("TForm1")->Props.size(), 0);
}

void TestLocalizer::deletedComponentStopsTheLoad() {
    TFreeLocalizer l;
    QVERIFY(load(l, "[TForm1]\r\nLabel1.Caption='first'\r\n").ok);
    const QString before = l.languageFile();
    bool translated = false;
    l.setAutoTranslate(true);
    l.TranslateScreen = [&translated] { translated = true; };
    const Loaded r = load(l,
                          "[TForm1]\r\n"
                          "Label1.Caption='a'\r\n"
                          "[(x)Panel9]\r\n"
                          "Label2.Caption='b'\r\n"
                          "[RESOURCESTRINGS]\r\n"
                          "7_TxOK='never read'\r\n");
    QVERIFY(!r.ok);
    QCOMPARE(r.errors, QStringList{"Deleted component in language file:\r\n\"[(x)Panel9]\"\r\n"
                                   "You have to remove it!"});
    QCOMPARE(value(l, "TForm1", "Label1.Caption"), "a");
    QCOMPARE(l.ResForms().size(), 1);
    QCOMPARE(l.resStringer().lookup(7, "Tx OK"), "Tx OK");
    QCOMPARE(l.languageFile(), before);
    QVERIFY(!translated);
}

void TestLocalizer::resourceStrings() {
    TFreeLocalizer l;
    const Loaded r = load(l,
                          "[RESOURCESTRINGS]\r\n"
                          "; comment\r\n"
                          "\r\n"
                          "6_Ready='Pronto'\r\n"
                          "7_TxOK='Tx OK'\r\n"
                          "8_Name_with_underscores='Errore'#13#10'dati'\r\n"
                          "9=no name='x'\r\n"
                          "33_Error='Errore!!'\r\n"
                          "[TForm1]\r\n"
                          "Label1.Caption='after the section'\r\n");
    QVERIFY2(r.ok, qPrintable(r.errors.join('|')));
    QCOMPARE(l.resourceEntriesRead(), 5);
    QCOMPARE(l.resStringer().lookup(6, "Ready"), "Pronto");
    QCOMPARE(l.resStringer().lookup(8, "x"), "Errore\r\ndati");
    // No "_": the number ends at "="; the unquoted start decodes to nothing.
    QCOMPARE(l.resStringer().lookup(9, "builtin"), "x");
    QCOMPARE(l.resStringer().lookup(33, "Error!!"), "Errore!!");
    QCOMPARE(l.resStringer().lookup(34, "builtin"), "builtin");
    QCOMPARE(l.resStringer().lookup(1, "builtin"), "builtin");
    // The section ends at the next "[" line, which opens its own section.
    QCOMPARE(value(l, "TForm1", "Label1.Caption"), "after the section");
    // Lookups by English text, with the widgets' line breaks.
    QCOMPARE(l.lookup("Ready"), "Pronto");
    QCOMPARE(l.lookup("Error in RX data"), "Errore\ndati");
    QCOMPARE(l.lookup("Not a text of the program"), "Not a text of the program");
    l.setTranslateResourceStrings(false);
    QCOMPARE(l.lookup("Ready"), "Ready");
    l.setTranslateResourceStrings(true);
    QCOMPARE(l.lookup("Ready"), "Pronto");
    // Lower-case header.
    QVERIFY(load(l, "[resourcestrings]\r\n6_Ready='Bereit'\r\n").ok);
    QCOMPARE(l.lookup("Ready"), "Bereit");
}

void TestLocalizer::resourceStringsOutOfOrder() {
    TFreeLocalizer l;
    QVERIFY(load(l,
                 "[RESOURCESTRINGS]\r\n"
                 "1_A='uno'\r\n"
                 "2_B='due'\r\n"
                 "9_C='nove'\r\n"
                 "3_D='tre'\r\n"
                 "4_E='quattro'\r\n"
                 "5_F='cinque'\r\n"
                 "6_G='sei'\r\n")
                .ok);
    // Halving over a list that is not sorted misses entries; they fall back
    // to the built-in text instead of giving another entry's value.
    int found = 0;
    const QStringList expected{"uno", "due", "tre", "quattro", "cinque", "sei"};
    for (int n = 1; n <= 6; ++n) {
        const QString v = l.resStringer().lookup(n, "builtin");
        QVERIFY(v == "builtin" || v == expected[n - 1]);
        found += v != "builtin";
    }
    QVERIFY(found < 6);
    QCOMPARE(l.resStringer().lookup(3, "builtin"), "builtin");
}

void TestLocalizer::resourceStringsKeptWithoutSection() {
    TFreeLocalizer l;
    QVERIFY(load(l, "[RESOURCESTRINGS]\r\n6_Ready='Pronto'\r\n").ok);
    QVERIFY(load(l, "[TForm1]\r\nLabel1.Caption='x'\r\n").ok);
    QCOMPARE(l.lookup("Ready"), "Pronto");
    QVERIFY(load(l, "[RESOURCESTRINGS]\r\n7_TxOK='Gesendet'\r\n").ok);
    QCOMPARE(l.lookup("Ready"), "Ready");
    QCOMPARE(l.lookup("Tx OK"), "Gesendet");
}

void TestLocalizer::emptySectionDoesNotSwitchTranslationOff() {
    TFreeLocalizer l;
    QVERIFY(load(l, "[RESOURCESTRINGS]\r\n").ok);
    QCOMPARE(l.lookup("Ready"), "Ready");
    // The next language's texts are in force again.
    QVERIFY(load(l, "[RESOURCESTRINGS]\r\n6_Ready='Listo'\r\n").ok);
    QCOMPARE(l.lookup("Ready"), "Listo");
}

void TestLocalizer::errorProcessingModes() {
    const QByteArray obsolete =
        kSig + "[TForm1]\r\n(x)Label1.Caption='a'\r\nLabel2.Caption='b'\r\n";
    TFreeLocalizer l;
    l.ErrorProcessing = epSilent;
    QVERIFY(l.loadContent(obsolete, "t.lng"));
    QVERIFY(l.Errors().isEmpty());
    QCOMPARE(value(l, "TForm1", "Label2.Caption"), "b");

    QStringList shown;
    l.ErrorProcessing = epMessage;
    l.MessageHook = [&shown](const QString& t) { shown << t; };
    QVERIFY(l.loadContent(obsolete, "t.lng"));
    QCOMPARE(shown.size(), 1);

    l.ErrorProcessing = epException;
    QVERIFY_THROWS_EXCEPTION(ETmlError, l.loadContent(obsolete, "t.lng"));
    QVERIFY_THROWS_EXCEPTION(ETmlError,
                             l.loadContent(kSig + "[TForm1]\r\nA.Caption='\r\n", "t.lng"));

    l.ErrorProcessing = epErrors;
    QVERIFY(l.loadContent(obsolete, "t.lng"));
    QVERIFY(l.loadContent(obsolete, "t.lng"));
    QCOMPARE(l.Errors().size(), 2);
    l.ClearErrors();
    QVERIFY(l.Errors().isEmpty());
}

void TestLocalizer::fileOnDiskAndHooks() {
    TestHome home(false);
    home.write("Deutsch.lng", kSig + "[RESOURCESTRINGS]\r\n6_Ready='Bereit'\r\n");
    TFreeLocalizer l;
    l.ErrorProcessing = epErrors;
    QStringList calls;
    l.BeforeLanguageLoad = [&calls](TFreeLocalizer&, const QString& o, const QString& n) {
        calls << "before " + QFileInfo(o).fileName() + " " + QFileInfo(n).fileName();
    };
    l.AfterLanguageLoad = [&calls](TFreeLocalizer&, const QString& f) {
        calls << "after " + QFileInfo(f).fileName();
    };
    int screens = 0;
    l.TranslateScreen = [&screens] { ++screens; };

    // ".lng" is added; the folder goes in front.
    l.LanguageDir = home.path();
    QVERIFY(l.setLanguageFile("Deutsch"));
    QCOMPARE(l.languageFile(), home.file("Deutsch.lng"));
    QCOMPARE(screens, 0);  // AutoTranslate off
    l.setAutoTranslate(true);
    QVERIFY(l.setLanguageFile("Deutsch.lng"));
    QCOMPARE(screens, 1);
    QCOMPARE(calls, (QStringList{"before  Deutsch.lng", "after Deutsch.lng",
                                 "before Deutsch.lng Deutsch.lng", "after Deutsch.lng"}));

    QVERIFY(!l.setLanguageFile("Missing"));
    QCOMPARE(l.Errors().size(), 1);
    QVERIFY(l.Errors()[0].startsWith("Error while loading language file \"" +
                                     home.file("Missing.lng") + "\"\r\n"));
    QCOMPARE(l.languageFile(), home.file("Deutsch.lng"));
    QCOMPARE(screens, 1);
    QCOMPARE(l.lookup("Ready"), "Bereit");
}

void TestLocalizer::numbering() {
    const QList<ResourceStrings::Entry>& t = ResourceStrings::table();
    // The first 33 are the original messages, 1 to 33 in their order.
    QCOMPARE(number("File exist, overwrite it?"), 1);
    QCOMPARE(number("Ready"), 6);
    QCOMPARE(number("Setup"), 15);
    QCOMPARE(number("Home"), 16);
    QCOMPARE(number("not Available"), 30);
    QCOMPARE(number("Error!!"), 33);
    QCOMPARE(number("About.."), 100);
    QCOMPARE(number("no such text"), 0);
    for (int n = 1; n <= 33; ++n)
        QCOMPARE(t[n - 1].number, n);
    QSet<QString> english;
    QSet<QString> names;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (i > 0)
            QVERIFY(t[i].number > t[i - 1].number);
        // From 100 on without gaps up to 287, but for the one number retired
        // (198); later texts come in blocks, with gaps between them.
        if (i == 33)
            QCOMPARE(t[i].number, 100);
        else if (i > 33 && t[i].number <= 287)
            QCOMPARE(t[i].number, t[i - 1].number == 197 ? 199 : t[i - 1].number + 1);
        QVERIFY(!english.contains(t[i].english));
        QVERIFY(!names.contains(t[i].name));
        english.insert(t[i].english);
        names.insert(t[i].name);
        QCOMPARE(ResourceStrings::entry(t[i].number), &t[i]);
    }
    QCOMPARE(ResourceStrings::entry(50), nullptr);
}

void TestLocalizer::textsLookup() {
    QCOMPARE(tr_("Ready"), "Ready");
    {
        TFreeLocalizer l;
        l.hookTexts();
        QVERIFY(load(l, "[RESOURCESTRINGS]\r\n6_Ready='Pronto'\r\n").ok);
        QCOMPARE(tr_("Ready"), "Pronto");
        QCOMPARE(tr_("Tx OK"), "Tx OK");
    }
    QCOMPARE(tr_("Ready"), "Ready");
}

QTEST_GUILESS_MAIN(TestLocalizer)
#include "tst_localizer.moc"
