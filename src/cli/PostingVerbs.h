// The posting verbs of invarro-cli: a new invoice as the invoice editor saves it, and a
// payment as the Payment Wizard posts it.
#pragma once

#include "cli/Command.h"

namespace invarro::cli {

int InvoiceNew(Context& ctx, const Args& args);
int Payment(Context& ctx, const Args& args);

}  // namespace invarro::cli
