#pragma once

#include <QString>
#include <functional>

// Questions for the person at the terminal: the question on stderr, the
// answer a line on stdin. Waiting lets events run, so the link's replies
// and a Ctrl+C are handled while nobody has answered yet.
namespace CliTerminal {

enum class Answer { Yes, No, NoAnswer };

// NoAnswer when stdin ends (nothing to ask) or on Ctrl+C.
Answer ask(const QString& question);

// Runs events until `done` holds or timeoutMs passes (-1: no limit).
bool pumpUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace CliTerminal
