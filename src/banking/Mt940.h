// SWIFT MT940 account statements as German and other European banks write them: :25:
// account, :61: statement lines, :86: information with the ?00..?63 subfields.
#pragma once

#include <string_view>

#include "banking/Statement.h"

namespace invarro::banking {

bool LooksLikeMt940(std::string_view bytes);

// Every :61: line with its :86: information. The sign follows the mark: C credit, D debit,
// RC (reversal of a credit) a debit and RD a credit, both marked as reversals. The booking
// date is the entry date (MMDD) where given, in the year that puts it nearest the value
// date (so a line valued 31 December and booked 2 January is booked in the new year).
// The bank's reference after "//" is the bank id. In :86: the purpose (?20..?29 then
// ?60..?63) is joined and split at its SEPA tags: SVWZ+ is the text, EREF+ the end-to-end
// id, KREF+ adds to the text; an RF reference in EREF or the text is the reference. ?32
// and ?33 are the other party's name, ?31 its account. Text that is not UTF-8 is read as
// Windows-1252.
ReadResult ReadMt940(std::string_view bytes);

}  // namespace invarro::banking
