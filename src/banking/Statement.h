// Bank statement lines as read from a bank's file, before they are stored: one credit or
// debit of the company's account with the amount exactly as the bank wrote it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/Money.h"

namespace invarro::banking {

struct StatementLine {
    std::string account;    // the statement's account: IBAN, or the bank's account id
    data::Date bookDate{};  // booking date
    std::string valueDate;  // yyyymmdd, or empty
    std::string amount;     // exact signed decimal with a dot: "-1234.5", "0.00125"
    std::string currency;   // ISO 4217
    std::string bankId;     // the bank's own id of the line within the account, or empty
    std::string reference;  // structured reference (RF, QRR, other creditor reference)
    std::string endToEnd;   // the payer's end-to-end id
    std::string payerName;  // the other party: payer of a credit, payee of a debit
    std::string payerIban;
    std::string text;       // unstructured remittance text
    bool reversal = false;  // the bank reverses an earlier line
    bool operator==(const StatementLine&) const = default;
};

enum class StatementFormat { Camt, Mt940, Csv };

struct ReadResult {
    std::vector<StatementLine> lines;
    bool ok = true;
    int errorLine = 0;  // the line of the file where reading failed (0: the file as a whole)
    std::string error;
    // Lines not booked yet (pending or information only) that were left out.
    int pending = 0;
};

// A result that failed at the line for the reason, with no lines.
ReadResult ReadFailure(int line, std::string why);

// An amount as written by a bank, in canonical form: an optional "-", digits without
// leading zeros (one "0" before the point), and the decimals as written. decimalComma
// takes "," as the decimal mark and "." as thousands separator (and the other way round
// without). Every form of negative banks write is read: -1.000,00  (12.34)  1.234,56-
// and the minus sign U+2212. Nothing when it is not an amount.
std::optional<std::string> CanonicalAmount(std::string_view text, bool decimalComma);
// The amount in whole cents; nothing when it has a non-zero digit beyond the cent.
std::optional<data::Money> CentsOf(std::string_view canonicalAmount);
// Negated canonical amount ("0" stays unsigned).
std::string Negated(const std::string& canonicalAmount);

// The first ISO 11649 reference in the text, blanks inside it allowed as printed; empty
// when there is none.
std::string FindCreditorReference(const std::string& text);

// "2024-12-31".
std::string IsoDate(const data::Date& date);
// An IBAN or account in upper case without blanks or other separators.
std::string CompactIban(std::string_view text);

// Text in the bank's code page made UTF-8: valid UTF-8 stays, anything else is read as
// Windows-1252 (which covers ISO-8859-1 for every printable character).
std::string ToUtf8(std::string_view bytes);

}  // namespace invarro::banking
