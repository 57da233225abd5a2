#include "app/cli/clipresentation.h"

#include "app/cli/clioutput.h"
#include "app/cli/cliterminal.h"

CliPresentation::CliPresentation(const CliOutput& out) : out_(out) {}

CliPresentation::~CliPresentation() = default;

void CliPresentation::showProgress(int maximum) {
    readOutMaximum = maximum;
    readOutPosition = 0;
    if (onReadOut)
        onReadOut();
    if (readOutBar)
        bar_ = std::make_unique<ProgressBar>(out_, QStringLiteral("Reading parameters"));
}

void CliPresentation::setProgress(int value) {
    readOutPosition = value;
    if (bar_)
        bar_->set(value, readOutMaximum);
}

void CliPresentation::closeProgress() {
    bar_.reset();
}

bool CliPresentation::domanda(const QString& text, int mode) {
    if (mode == 0)
        return CliTerminal::ask(QString(text).replace(QLatin1String("\r\n"), QLatin1String(" "))) ==
               CliTerminal::Answer::Yes;
    lastMessage = text;
    return false;
}

void CliPresentation::liveRefresh(const LiveResult& result) {
    if (onLive)
        onLive(result);
}
