// The data an electronic invoice needs beyond the books: the seller's tax identity,
// currency and bank account (kept per company in the INI file), the customers' country,
// VAT number, buyer reference and electronic address, and the products' unit codes (kept
// in the company's e-invoicing fileblock "<no>E", one record per customer or product).
// Also the checks of those values: VAT numbers and IBANs by their check digits, BICs,
// ISO country and currency codes, unit codes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "data/IniFile.h"
#include "data/Paper.h"
#include "data/Records.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::data {

// ------------------------------------------------------------------ checks

// Text with blanks, dots and hyphens removed and letters in upper case: the form VAT
// numbers and IBANs are checked and written in.
std::string CompactId(std::string_view text);

// Why the IBAN is not one ("" when it is): two letters, two check digits and up to 30
// letters or digits, the country's length where it is known, and the check digits
// (ISO 7064 MOD 97-10) right.
std::string IbanProblem(std::string_view iban);
// Why the BIC is not one ("" when it is): 8 or 11 letters and digits, the 5th and 6th a
// country code.
std::string BicProblem(std::string_view bic);
// Why the VAT number is not one ("" when it is): a country prefix and the number, with
// the check digit verified for the countries whose rule is known (AT, BE, DE, DK, FI,
// FR, IT, LU, NL, PL, PT) and the form checked for the others.
std::string VatIdProblem(std::string_view vatId);
// ISO 3166-1 two-letter country codes (and "EL", Greece's VAT prefix, is not one).
bool IsCountryCode(std::string_view code);
// ISO 4217 currency codes in use.
bool IsCurrencyCode(std::string_view code);
// The currency a one-character currency symbol stands for when it names one currency
// only ("€" EUR, "£" GBP); "" for "$", "¥", "kr" and the others shared by several.
std::string CurrencyFromSymbol(std::string_view symbolUtf8);
// UN/ECE Recommendation 20 unit codes that invoices use (pieces, hours, days, weights,
// lengths, areas, volumes, energy, lump sums, ...).
bool IsUnitCode(std::string_view code);
inline constexpr std::string_view kDefaultUnitCode = "C62";
inline constexpr std::string_view kHourUnitCode = "HUR";
// The unit code of a product that has none stored: HUR for an hourly rate (its
// description speaks of hours), else C62 (one piece).
std::string DefaultUnitCode(std::string_view description);

// ------------------------------------------------------------------ the company

// The VAT category of the lines that are not taxed: zero-rated, exempt (with its reason)
// or not subject to VAT.
enum class ExemptCategory { ZeroRated, Exempt, NotSubject };
char CategoryCode(ExemptCategory c);

struct CompanyEInvoice {
    bool on = false;                // "E-invoice": PDFs carry the XML
    std::string vatId;              // the seller's VAT number, with its country prefix
    std::string taxRegistration;    // or the local tax number
    std::string country;            // ISO 3166 two letters
    std::string electronicAddress;  // an e-mail address, or "SCHEME:ID" (e.g. "0088:4000...")
    std::string currency;           // ISO 4217; empty: from the currency symbol
    std::string iban;
    std::string bic;
    ExemptCategory exempt = ExemptCategory::ZeroRated;
    std::string exemptionReason;  // for Exempt
    std::string paper;            // "A4" or "Letter"; empty: the country's paper
    bool operator==(const CompanyEInvoice&) const = default;
};

inline constexpr std::string_view kEInvoiceSection = "E-Invoice";
inline constexpr std::string_view kEInvoiceOption = "E-invoice";

// The settings of the company in the INI file: section "E-Invoice <number>", one key each
// (On, VatId, TaxRegistration, Country, ElectronicAddress, Currency, IBAN, BIC, Exempt,
// ExemptionReason, Paper). Missing keys are empty, the setting off, the category Z.
CompanyEInvoice ReadCompanyEInvoice(const IniFile& ini, std::string_view companyNo);
CompanyEInvoice ReadCompanyEInvoice(const std::string& folder, const CompanyRecord& company);
bool WriteCompanyEInvoice(IniFile& ini, std::string_view companyNo, const CompanyEInvoice& e,
                          std::string* error = nullptr);
// The currency the e-invoices are written in: the chosen one, else the one the currency
// symbol stands for; "" when neither names one.
std::string InvoiceCurrency(const CompanyEInvoice& e, const CompanyRecord& company);
// The paper the company's own PDF files are laid out on: the one chosen, else the
// country's.
PaperSize CompanyPaper(const CompanyEInvoice& e);
PaperSize CompanyPaper(const std::string& folder, const CompanyRecord& company);
// The first problem of the settings as Company Options checks them on OK ("" when there
// is none): each value given must be well formed; the VAT number and IBAN by their check
// digits.
std::string CompanyEInvoiceProblem(const CompanyEInvoice& e);

// ------------------------------------------------------------------ customers and products

struct CustomerEInvoice {
    std::string country;
    std::string vatId;
    std::string buyerReference;
    std::string electronicAddress;
    bool empty() const {
        return country.empty() && vatId.empty() && buyerReference.empty() &&
               electronicAddress.empty();
    }
    bool operator==(const CustomerEInvoice&) const = default;
};
// The first problem of the customer's values as the customer editor checks them on OK.
std::string CustomerEInvoiceProblem(const CustomerEInvoice& c);
// An electronic address as the standard writes it: its scheme ("EM" for an e-mail
// address, else the part before ":") and the identifier. Nothing when it is neither.
struct ElectronicAddress {
    std::string scheme;
    std::string id;
};
std::optional<ElectronicAddress> ParseElectronicAddress(std::string_view text);

EInvoiceRecord CustomerEInvoiceRecord(std::string_view custNo, const CustomerEInvoice& c);
CustomerEInvoice CustomerEInvoiceOf(const EInvoiceRecord& r);
EInvoiceRecord ProductUnitRecord(std::string_view prodCode, std::string_view unitCode);

// The stored record of a customer ('C') or product ('P') in the open e-invoicing
// fileblock: its number and contents, or nothing.
std::optional<std::pair<int32_t, EInvoiceRecord>> FindEInvoiceRecord(storage::Fileblock* fb,
                                                                     char kind,
                                                                     std::string_view code);
// Stores the record as the only one of its kind and code: added, changed, or (when
// remove) deleted; through the record-update protocol, so inside a Posting it is part of
// it. False when a write failed.
bool StoreEInvoiceRecord(storage::Fileblock* fb, const EInvoiceRecord& record, bool remove,
                         platform::Prompter& prompter);

// The same through the company's fileblock in folder, opened for the call (and created
// when a record is to be stored; removing from a folder without one does nothing).
bool StoreEInvoiceRecord(const std::string& folder, std::string_view prefix,
                         const EInvoiceRecord& record, bool remove, platform::Prompter& prompter);
// A product's unit code as stored ("" when none is).
std::string ReadProductUnitCode(const std::string& folder, std::string_view prefix,
                                std::string_view prodCode, platform::Prompter& prompter);

// The customer's values and a product's unit code read from the company's fileblock
// when it is there (it is opened and closed for the call; empty values otherwise).
CustomerEInvoice ReadCustomerEInvoice(const std::string& folder, std::string_view prefix,
                                      std::string_view custNo, platform::Prompter& prompter);

}  // namespace invarro::data
