#include "app/cli/clioutput.h"

#include <poll.h>
#include <unistd.h>
#include <QJsonDocument>
#include <algorithm>
#include <cstdio>

CliOutput::CliOutput(bool json, bool quiet) : json_(json), quiet_(quiet) {}

bool CliOutput::stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}
bool CliOutput::stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

namespace {
bool g_outputClosed = false;
}  // namespace

void CliOutput::writeOut(const QByteArray& bytes) {
    if (g_outputClosed)
        return;
    const size_t n = std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    if (n != static_cast<size_t>(bytes.size()) || std::fflush(stdout) != 0)
        g_outputClosed = true;
}

bool CliOutput::outputClosed() {
    // A pipe whose reader has gone reports an error before anything is
    // written to it, so a quiet watch notices too.
    if (!g_outputClosed) {
        pollfd p{STDOUT_FILENO, 0, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLNVAL)))
            g_outputClosed = true;
    }
    return g_outputClosed;
}

void CliOutput::writeErr(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

void CliOutput::line(const QString& text) const {
    if (!json_)
        writeOut(text.toLocal8Bit() + '\n');
}

void CliOutput::table(const QStringList& header, const QList<QStringList>& rows) const {
    if (json_)
        return;
    QList<qsizetype> widths;
    auto measure = [&](const QStringList& row) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (widths.size() <= c)
                widths.append(0);
            widths[c] = std::max(widths[c], row[c].size());
        }
    };
    measure(header);
    for (const QStringList& row : rows)
        measure(row);
    auto format = [&](const QStringList& row) {
        QString out;
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c + 1 < row.size())
                out += row[c].leftJustified(widths[c] + 2);
            else
                out += row[c];
        }
        return out;
    };
    if (!header.isEmpty())
        line(format(header));
    for (const QStringList& row : rows)
        line(format(row));
}

void CliOutput::document(const QJsonObject& object) const {
    if (json_)
        writeOut(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

void CliOutput::note(const QString& text) const {
    if (!quiet_)
        writeErr(text.toLocal8Bit() + '\n');
}

void CliOutput::warn(const QString& text) const {
    writeErr(QByteArray("velmora-cli: ") + text.toLocal8Bit() + '\n');
}

void CliOutput::error(const CliError& e) const {
    writeErr(QByteArray("velmora-cli: ") + e.message.toLocal8Bit() + '\n');
    if (json_) {
        QJsonObject o = e.details;
        o.insert(QStringLiteral("error"), e.message);
        o.insert(QStringLiteral("exitCode"), e.code);
        document(o);
    }
}

// ---------------------------------------------------------------- ProgressBar

ProgressBar::ProgressBar(const CliOutput& out, const QString& label)
    : label_(label), enabled_(!out.quiet() && CliOutput::stderrIsTerminal()) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::set(int value, int maximum) {
    if (!enabled_)
        return;
    if (maximum < 0) {
        finish();
        return;
    }
    constexpr int kWidth = 30;
    const int m = std::max(1, maximum);
    const int v = std::clamp(value, 0, m);
    const int filled = v * kWidth / m;
    // Redraw only when the bar or the count changes.
    const int key = filled * 100000 + v;
    if (drawn_ && key == lastWidth_)
        return;
    lastWidth_ = key;
    const QString bar =
        QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char('.'));
    CliOutput::writeErr(
        QStringLiteral("\r%1 [%2] %3/%4\x1b[K").arg(label_, bar).arg(v).arg(maximum).toLocal8Bit());
    drawn_ = true;
}

void ProgressBar::finish() {
    if (drawn_)
        CliOutput::writeErr("\r\x1b[K");
    drawn_ = false;
    lastWidth_ = -1;
}
