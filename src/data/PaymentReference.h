// Structured payment references: the ISO 11649 creditor reference ("RF" + two check
// digits + up to 21 letters and digits) and the Swiss QR reference (27 digits, the last a
// MOD 10 recursive check digit), both a pure function of an invoice or customer number,
// so nothing is stored and the reference reads back to the number it came from.
//
// The mapping, one for both forms:
// - the body is a kind digit followed by the number: 1 for an invoice, 2 for a customer,
//   so invoice and customer references never collide;
// - an invoice number is taken as the duplicate check compares it (trimmed, upper case,
//   leading zeros removed; a number of zeros only is "0"), so "0123" and "123" give one
//   reference; a customer number is taken trimmed and upper-cased;
// - in the QR reference the number follows the kind digit padded with zeros to 25 digits;
//   a customer number starting with 0 would lose its zeros there and gets none;
// - a number with a character outside A-Z and 0-9 (outside 0-9 for the QR reference)
//   gets no reference at all: documents then print none rather than a wrong one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace invarro::data {

enum class ReferenceKind { Invoice, Customer };

// An invoice number as the editor's duplicate check compares it: trimmed, upper case,
// leading zeros removed ("012" and "12" are one number).
std::string InvoiceNumberForCompare(std::string_view number);

// The ISO 11649 reference in electronic form ("RF18I123" style, no blanks), or nothing
// when the number cannot be carried.
std::optional<std::string> InvoiceReference(std::string_view invNo);
std::optional<std::string> CustomerReference(std::string_view custNo);
// The Swiss QR reference (27 digits), or nothing.
std::optional<std::string> InvoiceQrReference(std::string_view invNo);
std::optional<std::string> CustomerQrReference(std::string_view custNo);

// A reference in print: groups of four characters from the left ("RF18 5390 0754 7034");
// a QR reference in the Swiss grouping of two then fives ("21 00000 00003 13947 14300 09017").
std::string PrintedReference(std::string_view reference);

// Whether the text is an ISO 11649 reference with right check digits (blanks ignored, any
// letter case).
bool IsCreditorReference(std::string_view text);
// Whether the text is a QR reference: 27 digits (blanks ignored), the last the check digit.
bool IsQrReference(std::string_view text);
// The MOD 10 recursive check digit of a digit string; nothing for any other character.
std::optional<char> Mod10RecursiveDigit(std::string_view digits);

// Whether the IBAN (blanks allowed) is a Swiss or Liechtenstein QR-IBAN, which is paid
// with a QR reference: its institution id (the 5th to 9th character) from 30000 to 31999.
bool IsQrIban(std::string_view iban);
// The reference an invoice's payment code carries for a payment to the IBAN: the QR
// reference for a QR-IBAN, else the RF reference; nothing when the number cannot be
// carried.
std::optional<std::string> InvoiceReferenceFor(std::string_view iban, std::string_view invNo);

// What a reference read from a bank line names.
struct ReferenceTarget {
    ReferenceKind kind = ReferenceKind::Invoice;
    std::string number;  // the invoice number without leading zeros, or the customer number
    bool operator==(const ReferenceTarget&) const = default;
};
// Reads an RF or QR reference back to what it names. Nothing for text that is neither,
// a wrong check digit, or a body outside the mapping (unknown kind digit, empty number,
// number longer than the field).
std::optional<ReferenceTarget> ParseReference(std::string_view text);

}  // namespace invarro::data
