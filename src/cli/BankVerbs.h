// The bank verbs of invarro-cli: importing a statement file and listing the stored lines.
#pragma once

#include "cli/Command.h"

namespace invarro::cli {

int BankImport(Context& ctx, const Args& args);
int BankList(Context& ctx, const Args& args);

}  // namespace invarro::cli
