// The command lines of the desktop program and of the storage engine's companion tool, each
// described once for its --help and its manual page. invarro-cli's own is CliDoc() in
// cli/Cli.h, written from its verb table.
#pragma once

#include "cli/Manual.h"

namespace invarro::cli {

ProgramDoc DesktopDoc();
ProgramDoc FbtoolDoc();

}  // namespace invarro::cli
