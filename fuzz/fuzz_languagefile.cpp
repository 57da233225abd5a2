// Language-file loading on arbitrary content, with every option set the
// input chooses. A load must end (completely or with its reports), never
// crash; a complete load is the current language; every literal the writer
// produces for a decoded value decodes back to it.
#include <cstddef>
#include <cstdint>

#include "fuzzhome.h"
#include "localizer/freelocalizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Half the inputs get the signature for free, so the fuzzer spends its
    // time past the first line.
    const bool sign = size > 0 && (data[0] & 1);
    const QByteArray file =
        sign ? QByteArray(TFreeLocalizer::kSignature) + "\r\n" + content : content;

    TFreeLocalizer l;
    l.ErrorProcessing = epErrors;
    int screens = 0;
    l.setAutoTranslate(true);
    l.TranslateScreen = [&screens] { ++screens; };
    const bool ok = l.loadContent(file, QStringLiteral("fuzz.lng"));
    FUZZ_CHECK(ok == (l.languageFile() == QLatin1String("fuzz.lng")));
    FUZZ_CHECK(screens == (ok ? 1 : 0));
    FUZZ_CHECK(ok || !l.Errors().isEmpty());

    for (const TResForm& f : l.ResForms()) {
        FUZZ_CHECK(f.Props.size() == f.Values.size());
        for (const QString& p : f.Props)
            FUZZ_CHECK(!p.isEmpty() && !p.contains(QLatin1Char('{')));
        for (const QString& v : f.Values)
            FUZZ_CHECK(TFreeLocalizer::decodeLiteral(TFreeLocalizer::encodeLiteral(v)) ==
                       QString(v).replace(QLatin1Char('\n'), QLatin1Char('\r')));
    }
    // With itself as the design, every form text falls back to itself.
    const QHash<QString, QString> self = l.fallbacksFrom(l);
    for (auto it = self.cbegin(); it != self.cend(); ++it)
        FUZZ_CHECK(QString(it.value())
                       .replace(QLatin1String("\r\n"), QLatin1String("\n"))
                       .replace(QLatin1Char('\r'), QLatin1Char('\n')) == it.key());
    // A lookup never answers with another number's entry.
    const QList<TResStringer::ResString> strings = l.resStringer().resStrings();
    for (int n = 1; n <= 40; ++n) {
        const QString v = l.resStringer().lookup(n, QStringLiteral("\x01builtin"));
        if (v == QLatin1String("\x01builtin"))
            continue;
        bool matches = false;
        for (const TResStringer::ResString& r : strings)
            matches = matches || (r.hasNumber && r.number == n && r.value == v);
        FUZZ_CHECK(matches);
    }
    return 0;
}
