// ISO 20022 bank-to-customer statements (camt.053) and debit/credit notifications
// (camt.054) in versions .001.02, .001.04 and .001.08, read with an XML parser.
#pragma once

#include <string_view>

#include "banking/Statement.h"

namespace invarro::banking {

// Whether the bytes are a camt.053 or camt.054 document of a version read here.
bool LooksLikeCamt(std::string_view bytes);

// The booked lines of every statement or notification in the document. The sign comes
// from the credit/debit indicator; a reversal (RvslInd) is marked and keeps the sign the
// bank booked. An entry with several transaction details (a batch) gives one line per
// detail with its own amount; an entry with one detail gives one line with the amount
// booked on the account (after any charges). Pending (PDNG) and information-only (INFO)
// entries are counted and left out. Without a booking date the value date counts, and
// without either the date the message was made. The bank id is the entry's AcctSvcrRef (a batch's
// details add their own, else their position).
ReadResult ReadCamt(std::string_view bytes);

}  // namespace invarro::banking
