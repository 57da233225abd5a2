#include "window/languagetools.h"

#include <QFile>
#include <memory>

#include "localizer/freelocalizer.h"
#include "localizer/resourcestrings.h"
#include "window/aboutbox.h"
#include "window/datawindow.h"
#include "window/localization.h"
#include "window/localizeradapter.h"
#include "window/progresswindow.h"
#include "window/questionbox.h"
#include "window/searchdialog.h"
#include "window/splashscreen.h"
#include "window/tform1.h"
#include "window/trafficwindow.h"

namespace {

// The windows are built with their design texts and the program's English,
// whatever language the process has loaded.
class EnglishWhileAlive {
public:
    EnglishWhileAlive()
        : l_(Localization::localizer()),
          auto_(l_.autoTranslate()),
          strings_(l_.translateResourceStrings()) {
        l_.setAutoTranslate(false);
        l_.setTranslateResourceStrings(false);
    }
    ~EnglishWhileAlive() {
        l_.setAutoTranslate(auto_);
        l_.setTranslateResourceStrings(strings_);
    }

private:
    TFreeLocalizer& l_;
    bool auto_;
    bool strings_;
};

// Every window of the program, built as a start would build it, before any
// language is applied.
struct AllWindows {
    std::unique_ptr<TForm1> form = std::make_unique<TForm1>();
    std::unique_ptr<TSplashScreen> splash = std::make_unique<TSplashScreen>();
    std::unique_ptr<TPbar> pbar = std::make_unique<TPbar>();
    TFbox* box = new TFbox(form.get());
    TFAbout* about = new TFAbout(form.get());

    QList<QWidget*> list() const {
        return {form.get(), box,          &form->searchDialog(), about,
                pbar.get(), splash.get(), &form->dataWindow(),   &form->trafficWindow()};
    }
    QWidget* bySection(const QString& name) const {
        for (QWidget* w : list())
            if (LocalizerAdapter::sections(w).contains(name))
                return w;
        return nullptr;
    }
};

void line(QByteArray& out, const QString& text) {
    out += text.toUtf8();
    out += "\r\n";
}

}  // namespace

namespace LanguageTools {

QByteArray languageTemplate() {
    const EnglishWhileAlive english;
    AllWindows windows;
    QByteArray out;
    line(out, QString::fromLatin1(TFreeLocalizer::kSignature));
    line(out, QStringLiteral("; Velmora %1: the design texts of every window and every run-time "
                             "text.")
                  .arg(QStringLiteral(VELMORA_VERSION)));
    line(out, QStringLiteral("; Values are quoted literals: 'text', '' for a quote inside, #13 "
                             "for a line break."));
    line(out, QStringLiteral("; Translate between the quotes; keep the paths, the numbers and "
                             "the order."));
    for (QWidget* w : windows.list()) {
        line(out, QString());
        line(out, QLatin1Char('[') + LocalizerAdapter::sections(w).last() + QLatin1Char(']'));
        for (const LocalizerAdapter::Text& t : LocalizerAdapter::texts(w))
            line(out, t.path + QLatin1Char('=') + TFreeLocalizer::encodeLiteral(t.value));
    }
    line(out, QString());
    line(out, QString::fromLatin1(TFreeLocalizer::kResourceStrings));
    for (const ResourceStrings::Entry& e : ResourceStrings::table())
        line(out, QString::number(e.number) + QLatin1Char('_') + QString::fromLatin1(e.name) +
                      QLatin1Char('=') +
                      TFreeLocalizer::encodeLiteral(QString::fromUtf8(e.english), true));
    return out;
}

QString CheckResult::summary() const {
    return QStringLiteral("%1 form properties, %2 resource strings, %3 problems")
        .arg(formProperties)
        .arg(resourceStrings)
        .arg(problems.size());
}

CheckResult checkLanguage(const QString& file) {
    CheckResult r;
    TFreeLocalizer l;
    l.ErrorProcessing = epErrors;
    l.setLanguageFile(file);
    r.problems = l.Errors();
    r.formProperties = l.propertyLinesRead();
    r.resourceStrings = l.resourceEntriesRead();

    const EnglishWhileAlive english;
    AllWindows windows;
    for (const TResForm& f : l.ResForms()) {
        QWidget* w = windows.bySection(f.Name);
        if (!w) {
            r.problems << QStringLiteral("Unknown window \"%1\" in language file").arg(f.Name);
            continue;
        }
        for (qsizetype i = 0; i < f.Props.size(); ++i) {
            QString error;
            if (!LocalizerAdapter::setProperty(w, f.Props[i], f.Values[i], &error))
                r.problems << error;
        }
    }
    int previous = 0;
    for (const TResStringer::ResString& s : l.resStringer().resStrings()) {
        if (!s.hasNumber)
            continue;  // reported by the reader
        if (s.number <= previous)
            r.problems << QStringLiteral(
                              "Resource string %1 out of order in language file "
                              "(after %2): it would not be found")
                              .arg(s.number)
                              .arg(previous);
        else if (!ResourceStrings::entry(s.number))
            r.problems
                << QStringLiteral("Unknown resource string %1 in language file").arg(s.number);
        previous = std::max(previous, s.number);
    }

    TFreeLocalizer design;
    design.designFallbacks = false;
    if (design.loadContent(languageTemplate(), QStringLiteral("template.lng"))) {
        for (const TResForm& f : design.ResForms()) {
            const TResForm* own = l.section(f.Name);
            for (qsizetype i = 0; i < f.Props.size(); ++i)
                if (!own || !own->Props.contains(f.Props[i]))
                    r.leftInEnglish << QStringLiteral("[%1] %2").arg(f.Name, f.Props[i]);
        }
        const QHash<QString, QString> fallbacks = l.fallbacksFrom(design);
        for (const ResourceStrings::Entry& e : ResourceStrings::table()) {
            const QString english = QString::fromUtf8(e.english);
            if (!l.resStringer().has(e.number) && !fallbacks.contains(english))
                r.leftInEnglish << QStringLiteral("%1_%2").arg(e.number).arg(
                    QString::fromLatin1(e.name));
        }
    }
    return r;
}

}  // namespace LanguageTools
