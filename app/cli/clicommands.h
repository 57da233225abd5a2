#pragma once

#include "app/cli/cliargs.h"
#include "app/cli/clioutput.h"

// Runs the command the options name and returns the exit code. Every
// failure is reported on stderr (and as a JSON document under --json).
int runCliCommand(const CliOptions& options, const CliOutput& out);

// The commands; each throws CliError on failure and returns the exit code
// of a success.
namespace CliCommands {

int ports(const CliOptions& o, const CliOutput& out);
int search(const CliOptions& o, const CliOutput& out);
int info(const CliOptions& o, const CliOutput& out);
int read(const CliOptions& o, const CliOutput& out);
int get(const CliOptions& o, const CliOutput& out);
int set(const CliOptions& o, const CliOutput& out);
int save(const CliOptions& o, const CliOutput& out);
int backup(const CliOptions& o, const CliOutput& out);
int restore(const CliOptions& o, const CliOutput& out);
int diff(const CliOptions& o, const CliOutput& out);
int watch(const CliOptions& o, const CliOutput& out);
int log(const CliOptions& o, const CliOutput& out);
int trace(const CliOptions& o, const CliOutput& out);
int verify(const CliOptions& o, const CliOutput& out);

}  // namespace CliCommands
