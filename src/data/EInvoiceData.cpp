#include "data/EInvoiceData.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/Update.h"

namespace invarro::data {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit);
}
bool AllAlnum(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return IsDigit(c) || IsUpper(c); });
}
int Digit(char c) {
    return c - '0';
}

// Codes listed as one text of blank-separated entries, searched whole.
bool Listed(std::string_view list, std::string_view code) {
    if (code.empty() || code.find(' ') != std::string_view::npos) return false;
    for (size_t at = list.find(code); at != std::string_view::npos; at = list.find(code, at + 1)) {
        const bool startOk = at == 0 || list[at - 1] == ' ';
        const size_t end = at + code.size();
        if (startOk && (end == list.size() || list[end] == ' ')) return true;
    }
    return false;
}

constexpr std::string_view kCountries =
    "AD AE AF AG AI AL AM AO AQ AR AS AT AU AW AX AZ BA BB BD BE BF BG BH BI BJ BL BM BN BO BQ "
    "BR BS BT BV BW BY BZ CA CC CD CF CG CH CI CK CL CM CN CO CR CU CV CW CX CY CZ DE DJ DK DM "
    "DO DZ EC EE EG EH ER ES ET FI FJ FK FM FO FR GA GB GD GE GF GG GH GI GL GM GN GP GQ GR GS "
    "GT GU GW GY HK HM HN HR HT HU ID IE IL IM IN IO IQ IR IS IT JE JM JO JP KE KG KH KI KM KN "
    "KP KR KW KY KZ LA LB LC LI LK LR LS LT LU LV LY MA MC MD ME MF MG MH MK ML MM MN MO MP MQ "
    "MR MS MT MU MV MW MX MY MZ NA NC NE NF NG NI NL NO NP NR NU NZ OM PA PE PF PG PH PK PL PM "
    "PN PR PS PT PW PY QA RE RO RS RU RW SA SB SC SD SE SG SH SI SJ SK SL SM SN SO SR SS ST SV "
    "SX SY SZ TC TD TF TG TH TJ TK TL TM TN TO TR TT TV TW TZ UA UG UM US UY UZ VA VC VE VG VI "
    "VN VU WF WS YE YT ZA ZM ZW";

constexpr std::string_view kCurrencies =
    "AED AFN ALL AMD AOA ARS AUD AWG AZN BAM BBD BDT BGN BHD BIF BMD BND BOB BRL BSD BTN "
    "BWP BYN BZD CAD CDF CHF CLP CNY COP CRC CUP CVE CZK DJF DKK DOP DZD EGP ERN ETB EUR FJD "
    "FKP GBP GEL GHS GIP GMD GNF GTQ GYD HKD HNL HTG HUF IDR ILS INR IQD IRR ISK JMD JOD JPY "
    "KES KGS KHR KMF KPW KRW KWD KYD KZT LAK LBP LKR LRD LSL LYD MAD MDL MGA MKD MMK MNT MOP "
    "MRU MUR MVR MWK MXN MYR MZN NAD NGN NIO NOK NPR NZD OMR PAB PEN PGK PHP PKR PLN PYG QAR "
    "RON RSD RUB RWF SAR SBD SCR SDG SEK SGD SHP SLE SOS SRD SSP STN SVC SYP SZL THB TJS TMT "
    "TND TOP TRY TTD TWD TZS UAH UGX USD UYU UZS VES VND VUV WST XAF XCD XOF XPF YER ZAR ZMW";

constexpr std::string_view kUnits =
    "C62 H87 EA PR SET HUR MIN SEC DAY WEE MON ANN KGM GRM TNE MTR KMT CMT MMT MTK MTQ LTR MLT "
    "KWH MWH LS E48 NAR NPR PK BX ZZ XPK XBX XCT";

// IBAN lengths of the countries of the SEPA area.
struct IbanLength {
    const char* country;
    int length;
};
constexpr IbanLength kIbanLengths[] = {
    {"AD", 24}, {"AT", 20}, {"BE", 16}, {"BG", 22}, {"CH", 21}, {"CY", 28}, {"CZ", 24}, {"DE", 22},
    {"DK", 18}, {"EE", 20}, {"ES", 24}, {"FI", 18}, {"FR", 27}, {"GB", 22}, {"GI", 23}, {"GR", 27},
    {"HR", 21}, {"HU", 28}, {"IE", 22}, {"IS", 26}, {"IT", 27}, {"LI", 21}, {"LT", 20}, {"LU", 20},
    {"LV", 21}, {"MC", 27}, {"MT", 31}, {"NL", 18}, {"NO", 15}, {"PL", 28}, {"PT", 25}, {"RO", 24},
    {"SE", 24}, {"SI", 19}, {"SK", 24}, {"SM", 27}, {"VA", 22}};

// The remainder of the digits (letters as 10..35) divided by 97.
int Mod97(std::string_view s) {
    int r = 0;
    for (char c : s) {
        if (IsDigit(c)) {
            r = (r * 10 + Digit(c)) % 97;
        } else {
            const int v = c - 'A' + 10;
            r = (r * 100 + v) % 97;
        }
    }
    return r;
}

int Luhn(std::string_view digits) {
    int sum = 0;
    bool twice = false;
    for (size_t i = digits.size(); i-- > 0;) {
        int d = Digit(digits[i]);
        if (twice) {
            d *= 2;
            if (d > 9) d -= 9;
        }
        sum += d;
        twice = !twice;
    }
    return sum % 10;
}

int Weighted(std::string_view digits, std::initializer_list<int> weights) {
    int sum = 0;
    size_t i = 0;
    for (int w : weights)
        sum += Digit(digits[i++]) * w;
    return sum;
}

// The check of the number after the country prefix; nothing for a country whose rule is
// not known here.
std::optional<bool> CheckDigitsRight(std::string_view country, std::string_view n) {
    if (country == "DE") {
        if (n.size() != 9 || !AllDigits(n)) return false;
        int product = 10;
        for (int i = 0; i < 8; ++i) {
            int sum = (Digit(n[size_t(i)]) + product) % 10;
            if (sum == 0) sum = 10;
            product = (2 * sum) % 11;
        }
        int check = 11 - product;
        if (check == 10) check = 0;
        return check == Digit(n[8]);
    }
    if (country == "AT") {
        if (n.size() != 9 || n[0] != 'U' || !AllDigits(n.substr(1))) return false;
        const std::string_view d = n.substr(1);
        int sum = 0;
        for (int i = 0; i < 7; ++i) {
            int v = Digit(d[size_t(i)]) * (i % 2 == 0 ? 1 : 2);
            sum += v / 10 + v % 10;
        }
        return (10 - (sum + 4) % 10) % 10 == Digit(d[7]);
    }
    if (country == "BE") {
        std::string d(n);
        if (d.size() == 9) d = "0" + d;
        if (d.size() != 10 || !AllDigits(d) || (d[0] != '0' && d[0] != '1')) return false;
        const long first = std::stol(d.substr(0, 8));
        return 97 - first % 97 == std::stol(d.substr(8));
    }
    if (country == "FR") {
        if (n.size() != 11 || !AllDigits(n.substr(2))) return false;
        if (!AllDigits(n.substr(0, 2))) return AllAlnum(n.substr(0, 2));  // the newer letter keys
        const long siren = std::stol(std::string(n.substr(2)));
        return (12 + 3 * (siren % 97)) % 97 == std::stol(std::string(n.substr(0, 2)));
    }
    if (country == "IT") {
        if (n.size() != 11 || !AllDigits(n)) return false;
        return Luhn(n) == 0;
    }
    if (country == "LU") {
        if (n.size() != 8 || !AllDigits(n)) return false;
        return std::stol(std::string(n.substr(0, 6))) % 89 == std::stol(std::string(n.substr(6)));
    }
    if (country == "NL") {
        if (n.size() != 12 || n[9] != 'B' || !AllDigits(n.substr(0, 9)) || !AllDigits(n.substr(10)))
            return false;
        // The number of a person is checked over the whole identifier, that of a company
        // by the eleven test of its first nine digits.
        if (Mod97("NL" + std::string(n)) == 1) return true;
        const int sum = Weighted(n, {9, 8, 7, 6, 5, 4, 3, 2});
        return sum % 11 != 10 && sum % 11 == Digit(n[8]);
    }
    if (country == "DK") {
        if (n.size() != 8 || !AllDigits(n)) return false;
        return Weighted(n, {2, 7, 6, 5, 4, 3, 2, 1}) % 11 == 0;
    }
    if (country == "FI") {
        if (n.size() != 8 || !AllDigits(n)) return false;
        int check = 11 - Weighted(n, {7, 9, 10, 5, 8, 4, 2}) % 11;
        if (check == 11) check = 0;
        return check != 10 && check == Digit(n[7]);
    }
    if (country == "PL") {
        if (n.size() != 10 || !AllDigits(n)) return false;
        const int check = Weighted(n, {6, 5, 7, 2, 3, 4, 5, 6, 7}) % 11;
        return check != 10 && check == Digit(n[9]);
    }
    if (country == "PT") {
        if (n.size() != 9 || !AllDigits(n)) return false;
        int check = 11 - Weighted(n, {9, 8, 7, 6, 5, 4, 3, 2}) % 11;
        if (check >= 10) check = 0;
        return check == Digit(n[8]);
    }
    return std::nullopt;
}

}  // namespace

std::string CompactId(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == ' ' || c == '.' || c == '-' || c == '\t') continue;
        out += char(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string IbanProblem(std::string_view text) {
    const std::string iban = CompactId(text);
    if (iban.size() < 15 || iban.size() > 34 || !IsUpper(iban[0]) || !IsUpper(iban[1]) ||
        !IsDigit(iban[2]) || !IsDigit(iban[3]) || !AllAlnum(iban))
        return "The IBAN " + std::string(text) +
               " is not an IBAN: two letters, two check digits and the account.";
    for (const IbanLength& l : kIbanLengths)
        if (iban.compare(0, 2, l.country) == 0 && int(iban.size()) != l.length)
            return "The IBAN " + std::string(text) + " has " + std::to_string(iban.size()) +
                   " characters; an IBAN of " + l.country + " has " + std::to_string(l.length) +
                   ".";
    if (Mod97(iban.substr(4) + iban.substr(0, 4)) != 1)
        return "The check digits of the IBAN " + std::string(text) + " are wrong.";
    return {};
}

std::string BicProblem(std::string_view text) {
    const std::string bic = CompactId(text);
    if ((bic.size() != 8 && bic.size() != 11) || !AllAlnum(bic) ||
        !std::all_of(bic.begin(), bic.begin() + 4, IsUpper) ||
        !IsCountryCode(std::string_view(bic).substr(4, 2)))
        return "The BIC " + std::string(text) +
               " is not a BIC: 8 or 11 letters and digits, the 5th and 6th a country code.";
    return {};
}

std::string VatIdProblem(std::string_view text) {
    const std::string vat = CompactId(text);
    const std::string shown(text);
    if (vat.size() < 4 || !IsUpper(vat[0]) || !IsUpper(vat[1]) || !AllAlnum(vat) || vat.size() > 16)
        return "The VAT number " + shown +
               " is not a VAT number: the country's two letters and the number.";
    const std::string country = vat.substr(0, 2);
    if (country != "EL" && !IsCountryCode(country))
        return "The VAT number " + shown + " does not begin with a country code.";
    if (const auto right = CheckDigitsRight(country, std::string_view(vat).substr(2));
        right && !*right)
        return "The check digit of the VAT number " + shown + " is wrong.";
    return {};
}

bool IsCountryCode(std::string_view code) {
    return code.size() == 2 && Listed(kCountries, code);
}

bool IsCurrencyCode(std::string_view code) {
    return code.size() == 3 && Listed(kCurrencies, code);
}

std::string CurrencyFromSymbol(std::string_view symbol) {
    const std::string s = TrimmedText(symbol);
    if (s == "€") return "EUR";
    if (s == "£") return "GBP";
    if (s == "₹") return "INR";
    if (s == "₩") return "KRW";
    if (s == "₺") return "TRY";
    if (s == "₴") return "UAH";
    if (s == "₪") return "ILS";
    if (s == "₽") return "RUB";
    if (s == "₦") return "NGN";
    return {};
}

bool IsUnitCode(std::string_view code) {
    return code.size() >= 2 && code.size() <= 3 && Listed(kUnits, code);
}

std::string DefaultUnitCode(std::string_view description) {
    const std::string upper = UpperText(description);
    for (std::string_view word : {"HOUR", "HRLY", "PER HR", "/HR"})
        if (upper.find(word) != std::string::npos) return std::string(kHourUnitCode);
    return std::string(kDefaultUnitCode);
}

// ------------------------------------------------------------------ the company

char CategoryCode(ExemptCategory c) {
    switch (c) {
        case ExemptCategory::Exempt:
            return 'E';
        case ExemptCategory::NotSubject:
            return 'O';
        case ExemptCategory::ZeroRated:
            break;
    }
    return 'Z';
}

namespace {

std::string SectionOf(std::string_view companyNo) {
    return std::string(kEInvoiceSection) + " " + CompanyPrefix(companyNo);
}

}  // namespace

CompanyEInvoice ReadCompanyEInvoice(const IniFile& ini, std::string_view companyNo) {
    CompanyEInvoice e;
    if (CompanyPrefix(companyNo).empty()) return e;
    const std::string s = SectionOf(companyNo);
    auto get = [&](const char* key) { return ini.readString(s, key, ""); };
    e.on = ini.readInteger(s, "On", 0) != 0;
    e.vatId = get("VatId");
    e.taxRegistration = get("TaxRegistration");
    e.country = get("Country");
    e.electronicAddress = get("ElectronicAddress");
    e.currency = get("Currency");
    e.iban = get("IBAN");
    e.bic = get("BIC");
    const std::string category = get("Exempt");
    e.exempt = category == "E"   ? ExemptCategory::Exempt
               : category == "O" ? ExemptCategory::NotSubject
                                 : ExemptCategory::ZeroRated;
    e.exemptionReason = get("ExemptionReason");
    e.paper = get("Paper");
    return e;
}

CompanyEInvoice ReadCompanyEInvoice(const std::string& folder, const CompanyRecord& company) {
    return ReadCompanyEInvoice(IniFile(IniFilePath(folder)), company.text(Company::CompanyNo));
}

bool WriteCompanyEInvoice(IniFile& ini, std::string_view companyNo, const CompanyEInvoice& e,
                          std::string* error) {
    if (CompanyPrefix(companyNo).empty()) return true;
    return ini.write(SectionOf(companyNo),
                     {{"On", e.on ? "1" : "0"},
                      {"VatId", e.vatId},
                      {"TaxRegistration", e.taxRegistration},
                      {"Country", e.country},
                      {"ElectronicAddress", e.electronicAddress},
                      {"Currency", e.currency},
                      {"IBAN", e.iban},
                      {"BIC", e.bic},
                      {"Exempt", std::string(1, CategoryCode(e.exempt))},
                      {"ExemptionReason", e.exemptionReason},
                      {"Paper", e.paper}},
                     error);
}

std::string InvoiceCurrency(const CompanyEInvoice& e, const CompanyRecord& company) {
    if (!e.currency.empty()) return e.currency;
    return CurrencyFromSymbol(company.text(Company::CurrencySymbol));
}

PaperSize CompanyPaper(const CompanyEInvoice& e) {
    return ParsePaper(e.paper).value_or(PaperOfCountry(e.country));
}

PaperSize CompanyPaper(const std::string& folder, const CompanyRecord& company) {
    if (folder.empty()) return PaperOfCountry({});
    return CompanyPaper(ReadCompanyEInvoice(folder, company));
}

std::string CompanyEInvoiceProblem(const CompanyEInvoice& e) {
    if (!e.paper.empty() && !ParsePaper(e.paper))
        return "\"" + e.paper + "\" is not a paper size (A4 or Letter).";
    if (!e.vatId.empty())
        if (std::string p = VatIdProblem(e.vatId); !p.empty()) return p;
    if (!e.country.empty() && !IsCountryCode(e.country))
        return "\"" + e.country + "\" is not a two-letter country code (ISO 3166).";
    if (!e.currency.empty() && !IsCurrencyCode(e.currency))
        return "\"" + e.currency + "\" is not a currency code (ISO 4217, such as EUR).";
    if (!e.electronicAddress.empty() && !ParseElectronicAddress(e.electronicAddress))
        return "The electronic address " + e.electronicAddress +
               " is neither an e-mail address nor SCHEME:ID.";
    if (!e.iban.empty())
        if (std::string p = IbanProblem(e.iban); !p.empty()) return p;
    if (!e.bic.empty())
        if (std::string p = BicProblem(e.bic); !p.empty()) return p;
    if (!e.bic.empty() && e.iban.empty()) return "A BIC needs the IBAN of its account.";
    if (e.exempt == ExemptCategory::Exempt && TrimmedText(e.exemptionReason).empty())
        return "Exempt lines need the reason of the exemption.";
    if (e.on && e.country.empty()) return "An e-invoice needs the seller's country.";
    if (e.on && e.vatId.empty() && e.taxRegistration.empty())
        return "An e-invoice needs the seller's VAT number or tax number.";
    return {};
}

// ------------------------------------------------------------------ customers and products

std::optional<ElectronicAddress> ParseElectronicAddress(std::string_view text) {
    const std::string t = TrimmedText(text);
    const size_t at = t.find('@');
    if (at != std::string::npos) {
        if (at == 0 || at + 1 == t.size() || t.find(' ') != std::string::npos ||
            t.find('@', at + 1) != std::string::npos)
            return std::nullopt;
        return ElectronicAddress{"EM", t};
    }
    const size_t colon = t.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == t.size()) return std::nullopt;
    std::string scheme = CompactId(t.substr(0, colon));
    if (scheme.size() > 4 || !AllAlnum(scheme)) return std::nullopt;
    return ElectronicAddress{scheme, TrimmedText(t.substr(colon + 1))};
}

std::string CustomerEInvoiceProblem(const CustomerEInvoice& c) {
    if (!c.country.empty() && !IsCountryCode(c.country))
        return "\"" + c.country + "\" is not a two-letter country code (ISO 3166).";
    if (!c.vatId.empty())
        if (std::string p = VatIdProblem(c.vatId); !p.empty()) return p;
    if (!c.electronicAddress.empty() && !ParseElectronicAddress(c.electronicAddress))
        return "The electronic address " + c.electronicAddress +
               " is neither an e-mail address nor SCHEME:ID.";
    return {};
}

EInvoiceRecord CustomerEInvoiceRecord(std::string_view custNo, const CustomerEInvoice& c) {
    EInvoiceRecord r = NewRecord<EInvoice>();
    r.setText(EInvoice::Kind, "C");
    r.setText(EInvoice::Code, TrimmedText(custNo));
    r.setText(EInvoice::Country, c.country);
    r.setText(EInvoice::VatId, c.vatId);
    r.setText(EInvoice::BuyerReference, c.buyerReference);
    r.setText(EInvoice::ElectronicAddress, c.electronicAddress);
    return r;
}

CustomerEInvoice CustomerEInvoiceOf(const EInvoiceRecord& r) {
    return {TrimmedText(r.text(EInvoice::Country)), TrimmedText(r.text(EInvoice::VatId)),
            TrimmedText(r.text(EInvoice::BuyerReference)),
            TrimmedText(r.text(EInvoice::ElectronicAddress))};
}

EInvoiceRecord ProductUnitRecord(std::string_view prodCode, std::string_view unitCode) {
    EInvoiceRecord r = NewRecord<EInvoice>();
    r.setText(EInvoice::Kind, "P");
    r.setText(EInvoice::Code, TrimmedText(prodCode));
    r.setText(EInvoice::UnitCode, unitCode);
    return r;
}

std::optional<std::pair<int32_t, EInvoiceRecord>> FindEInvoiceRecord(storage::Fileblock* fb,
                                                                     char kind,
                                                                     std::string_view code) {
    if (!fb) return std::nullopt;
    EInvoiceRecord probe;
    probe.setText(EInvoice::Kind, std::string(1, kind));
    probe.setText(EInvoice::Code, TrimmedText(code));
    auto found = FindAtOrAfter<EInvoice>(fb, 1, probe);
    // The entry found at or after the probe is the record itself only when its key is the
    // probe's.
    if (!found || EInvoiceKey(probe.data(), 1) != found->key) return std::nullopt;
    return std::pair{found->recNo, found->record};
}

bool StoreEInvoiceRecord(storage::Fileblock* fb, const EInvoiceRecord& record, bool remove,
                         platform::Prompter& prompter) {
    const std::string code = record.text(EInvoice::Code);
    const char kind = record.text(EInvoice::Kind).empty() ? 'C' : record.text(EInvoice::Kind)[0];
    const auto stored = FindEInvoiceRecord(fb, kind, code);
    if (remove) {
        if (!stored) return true;
        return DeleteBusinessRecord(fb, KindOfLayout<EInvoice>(), stored->first,
                                    stored->second.data(), prompter)
            .ok();
    }
    if (!stored) return AddBusinessRecord(fb, record, prompter).ok();
    return ChangeBusinessRecord(fb, stored->first, stored->second, record, prompter).ok();
}

bool StoreEInvoiceRecord(const std::string& folder, std::string_view prefix,
                         const EInvoiceRecord& record, bool remove, platform::Prompter& prompter) {
    const std::string name = FileblockName(folder, FileKind::EInvoice, prefix);
    if (remove && !storage::FileblockExists(name)) return true;
    OpenRequest request;
    request.name = name;
    request.kind = FileKind::EInvoice;
    OpenResult open = OpenBusinessFileblock(request, prompter);
    if (!open) return false;
    const bool ok = StoreEInvoiceRecord(open.fb, record, remove, prompter);
    storage::CloseFileblock(open.fb);
    return ok;
}

std::string ReadProductUnitCode(const std::string& folder, std::string_view prefix,
                                std::string_view prodCode, platform::Prompter& prompter) {
    ExistingFileblock fb;
    OpenExisting(fb, folder, FileKind::EInvoice, prefix, prompter);
    const auto found = FindEInvoiceRecord(fb.fb, 'P', prodCode);
    return found ? TrimmedText(found->second.text(EInvoice::UnitCode)) : std::string();
}

CustomerEInvoice ReadCustomerEInvoice(const std::string& folder, std::string_view prefix,
                                      std::string_view custNo, platform::Prompter& prompter) {
    ExistingFileblock fb;
    OpenExisting(fb, folder, FileKind::EInvoice, prefix, prompter);
    const auto found = FindEInvoiceRecord(fb.fb, 'C', custNo);
    return found ? CustomerEInvoiceOf(found->second) : CustomerEInvoice{};
}

}  // namespace invarro::data
