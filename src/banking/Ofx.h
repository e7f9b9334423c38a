// OFX bank statements, version 1 (SGML: a header of NAME:VALUE lines, elements without
// closing tags) and version 2 (XML), read by a tag reader of the program's own so that
// amounts come from the file's text exactly as the bank wrote them.
#pragma once

#include <string_view>

#include "banking/Statement.h"

namespace invarro::banking {

bool LooksLikeOfx(std::string_view bytes);

// Every STMTTRN of every bank or card statement: DTPOSTED the booking date, TRNAMT the
// signed amount, FITID the bank id, NAME (or PAYEE's NAME) the other party, MEMO the text
// (an RF reference in it is the reference); the account is the statement's ACCTID and the
// currency its CURDEF (or the transaction's CURRENCY/ORIGCURRENCY when given). Text that
// is not UTF-8 is read as Windows-1252.
ReadResult ReadOfx(std::string_view bytes);

}  // namespace invarro::banking
