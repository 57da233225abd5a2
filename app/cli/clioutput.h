#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// Exit codes of velmora-cli.
enum CliExit {
    kExitOk = 0,
    kExitInstrument = 1,  // no answer, refused value, link lost
    kExitUsage = 2,
    kExitFile = 3,
    kExitInterrupted = 130,  // Ctrl+C or SIGTERM, after a clean stop
};

// A command's failure: the exit code and one sentence for stderr.
struct CliError {
    CliError(int c, QString m, QJsonObject d = {})
        : code(c), message(std::move(m)), details(std::move(d)) {}
    int code = kExitInstrument;
    QString message;
    QJsonObject details;  // merged into the JSON error document
};

// Results go to stdout (text, or one JSON document per line); progress,
// notes, questions and errors go to stderr.
class CliOutput {
public:
    CliOutput(bool json, bool quiet);

    bool json() const { return json_; }
    bool quiet() const { return quiet_; }
    static bool stdoutIsTerminal();
    static bool stderrIsTerminal();

    // A result line in text mode; nothing in JSON mode.
    void line(const QString& text) const;
    // Columns padded to their widest cell; text mode only.
    void table(const QStringList& header, const QList<QStringList>& rows) const;
    // One JSON document on a line of its own; JSON mode only.
    void document(const QJsonObject& object) const;
    // A note for the person at the terminal; silenced by -q.
    void note(const QString& text) const;
    // A warning that must be seen even under -q.
    void warn(const QString& text) const;
    // The failure sentence on stderr, and in JSON mode its document.
    void error(const CliError& e) const;

    static void writeOut(const QByteArray& bytes);
    static void writeErr(const QByteArray& bytes);
    // stdout could not be written (the reader went away: watch | head).
    static bool outputClosed();

private:
    bool json_;
    bool quiet_;
};

// A one-line progress bar on stderr, drawn only when stderr is a terminal
// and -q is off; finish() clears the line.
class ProgressBar {
public:
    ProgressBar(const CliOutput& out, const QString& label);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void set(int value, int maximum);
    void finish();
    bool enabled() const { return enabled_; }

private:
    QString label_;
    bool enabled_;
    bool drawn_ = false;
    int lastWidth_ = -1;
};
