// The Swiss QR-bill: the payment part with its receipt that a company in Switzerland or
// Liechtenstein puts on its own page after an invoice, and the "Swiss QR Code" in it
// (SPC, version 0200) that a Swiss banking app scans.
//
// Addresses are structured only (type S). The company's and the customer's address lines
// are read into the fields as follows: the lines are trimmed and blank ones dropped; the
// postal code and town line is the last line that starts with a postal code (a word of
// letters and digits with at least one digit, starting with a digit or behind a two-letter
// country prefix "CH-"; four digits for Switzerland and Liechtenstein) followed by the
// town; the line just above it, if any, is the street with the building number as its
// last word (or its first, "12 rue des Arts") when that word starts with a digit. Above
// the street nothing may stand: a line the bill has no field for gives no bill rather than
// an address with a line dropped. Below the town the company's lines are its phone, e-mail
// and web address and are left out; a customer's may only name the country.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/EInvoiceData.h"
#include "data/Money.h"
#include "data/Records.h"
#include "output/Canvas.h"
#include "output/PaymentQr.h"

namespace invarro::output {

struct InvoiceDocument;

struct SwissAddress {
    std::string name;      // at most 70 characters
    std::string street;    // at most 70
    std::string building;  // at most 16
    std::string postCode;  // at most 16
    std::string town;      // at most 35
    std::string country;   // ISO 3166 two letters
    bool operator==(const SwissAddress&) const = default;
};

// Whom an address belongs to: the company's lines may go on below the town (phone,
// e-mail), a customer's may not.
enum class AddressOwner { Company, Customer };

// The structured address of the name and address lines in country, or nothing (and why
// in *problem) when the lines do not read as one.
std::optional<SwissAddress> ParseSwissAddress(std::string_view name,
                                              const std::vector<std::string>& lines,
                                              std::string_view country, AddressOwner owner,
                                              std::string* problem = nullptr);

struct SwissBill {
    std::string iban;  // CH or LI; a QR-IBAN asks for a QR reference
    SwissAddress creditor;
    data::Money amount;    // 0.01 to 999999999.99
    std::string currency;  // CHF or EUR
    std::optional<SwissAddress> debtor;
    std::string reference;  // 27-digit QR reference, RF creditor reference, or empty
    std::string message;    // unstructured, at most 140 characters
};

// The reference type the bill's payload names: QRR, SCOR or NON.
std::string SwissReferenceType(const SwissBill& bill);

// The payload of the Swiss QR Code, its elements one to a line in the standard's order
// (empty ones kept), ending with the trailer "EPD": header (SPC, 0200, 1), the IBAN, the
// creditor (S, name, street, building, postal code, town, country), seven empty lines of
// the ultimate creditor, amount and currency, the debtor (or seven empty lines), the
// reference type and reference, the message. Texts are cut to their fields' lengths and
// characters outside the character set the standard allows are written as "." (curly
// quotes and dashes as their plain forms). Nothing (and why in *problem) when the IBAN is
// not a Swiss or Liechtenstein one with right check digits, the reference does not fit
// the IBAN (a QR-IBAN with a QR reference, any other with an RF reference or none), the
// amount or currency is out of range, or an address lacks its name, postal code, town or
// country.
std::optional<std::string> SwissBillPayload(const SwissBill& bill, std::string* problem = nullptr);

// What becomes of the QR-bill of an invoice.
struct SwissBillOutcome {
    std::optional<SwissBill> bill;
    // Why there is none although the company is Swiss and the invoice is to be paid
    // ("" when there is a bill or none is due).
    std::string problem;
};

// The countries whose companies send QR-bills.
bool SendsSwissBills(std::string_view country);

// The bill of the invoice document: only for a company whose country (from its
// e-invoicing settings) is CH or LI, with an IBAN, payment codes not switched off, and
// an invoice (types I, Z, G) not paid with a balance due above zero; in CHF or EUR. A
// QR-IBAN takes the invoice's QR reference, another IBAN its RF reference (or none, when
// the number cannot be carried); the message is "Invoice <number>". The customer's country
// is the one of its e-invoicing record, else the company's.
SwissBillOutcome InvoiceSwissBill(const std::string& folder, const data::CompanyRecord& company,
                                  const data::CompanyEInvoice& settings, const InvoiceDocument& doc,
                                  std::string_view customerCountry);
// The same, reading the settings and the customer's country from the company in folder.
SwissBillOutcome InvoiceSwissBill(const std::string& folder, const data::CompanyRecord& company,
                                  const InvoiceDocument& doc);

// The bill's measures, in tenths of a millimetre from the top left corner of the bill.
namespace swiss {
inline constexpr int kWidth = 2100;
inline constexpr int kHeight = 1050;
inline constexpr int kReceiptWidth = 620;
inline constexpr int kMargin = 50;
inline constexpr int kCodeLeft = kReceiptWidth + kMargin;  // 67 mm
inline constexpr int kCodeTop = 170;                       // the title's 7 mm below the margin
inline constexpr int kCodeSide = 460;
inline constexpr int kCrossSide = 70;
inline constexpr int kInfoLeft = 1180;  // the payment part's information column
}  // namespace swiss

// The modules of the bill's code: error correction M, in a version whose middle, where
// the Swiss cross lies, holds no alignment pattern (a version from 14 up where the
// smallest that holds the payload is 7 to 13).
std::optional<QrMatrix> SwissQrMatrix(const std::string& payload);

// Draws the bill with its top left corner at (x, y) in device units: the dashed lines to
// cut along (above the bill and between receipt and payment part) with scissors, the
// receipt and the payment part with their titles, headings and values in Arial (titles
// 11 pt bold; headings 6 and 8 pt bold, values 8 and 10 pt), and the code 46 mm square with
// the Swiss cross (7 mm) in its middle, error correction M. False (nothing drawn) when the
// payload cannot be built.
bool DrawSwissBill(Canvas& canvas, int x, int y, const SwissBill& bill);

}  // namespace invarro::output
