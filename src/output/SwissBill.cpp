#include "output/SwissBill.h"

#include <array>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/PaymentReference.h"
#include "output/InvDoc.h"
#include "output/PageWriter.h"
#include "output/PaymentBlock.h"
#include "output/PaymentCode.h"
#include "output/PaymentQr.h"
#include "platform/Prompter.h"

namespace invarro::output {

namespace {

constexpr std::size_t kMaxName = 70;
constexpr std::size_t kMaxStreet = 70;
constexpr std::size_t kMaxBuilding = 16;
constexpr std::size_t kMaxPostCode = 16;
constexpr std::size_t kMaxTown = 35;
constexpr std::size_t kMaxMessage = 140;
constexpr std::size_t kMaxPayload = 997;
constexpr int64_t kMaxCents = 99999999999;  // 999999999.99
constexpr std::size_t kIbanLength = 21;     // CH and LI

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

std::string Joined(const std::vector<std::string>& words, std::size_t from, std::size_t to) {
    std::string s;
    for (std::size_t i = from; i < to; ++i)
        s += (s.empty() ? "" : " ") + words[i];
    return s;
}

bool SwissOrLiechtenstein(std::string_view country) {
    return country == "CH" || country == "LI";
}

// The postal code a word stands for in country: letters, digits and hyphens with at least
// one digit, starting with a digit unless behind a country prefix ("CH-8001"); four digits
// in Switzerland and Liechtenstein.
std::optional<std::string> PostCodeOf(std::string_view word, std::string_view country) {
    bool prefixed = false;
    if (word.size() > 3 && IsLetter(word[0]) && IsLetter(word[1]) && word[2] == '-') {
        word.remove_prefix(3);
        prefixed = true;
    }
    if (word.empty() || word.size() > kMaxPostCode) return {};
    if (!prefixed && !IsDigit(word[0])) return {};
    bool digit = false;
    for (char c : word) {
        if (!IsDigit(c) && !IsLetter(c) && c != '-') return {};
        digit = digit || IsDigit(c);
    }
    if (!digit) return {};
    if (SwissOrLiechtenstein(country)) {
        if (word.size() != 4) return {};
        for (char c : word)
            if (!IsDigit(c)) return {};
    } else if (!prefixed && word.size() < 3) {
        return {};  // a house number rather than a postal code
    }
    return std::string(word);
}

// The names a line below the town may give the country in.
bool NamesCountry(std::string_view line, std::string_view country) {
    static const std::vector<std::pair<std::string_view, std::vector<std::string_view>>> kNames = {
        {"CH", {"SWITZERLAND", "SCHWEIZ", "SUISSE", "SVIZZERA", "SVIZRA"}},
        {"LI", {"LIECHTENSTEIN", "FÜRSTENTUM LIECHTENSTEIN"}},
        {"DE", {"GERMANY", "DEUTSCHLAND", "ALLEMAGNE", "GERMANIA"}},
        {"AT", {"AUSTRIA", "ÖSTERREICH", "AUTRICHE"}},
        {"FR", {"FRANCE", "FRANKREICH", "FRANCIA"}},
        {"IT", {"ITALY", "ITALIEN", "ITALIE", "ITALIA"}},
    };
    const std::string upper = data::UpperText(line);
    if (upper == country) return true;
    for (const auto& [code, names] : kNames)
        if (code == country)
            for (std::string_view n : names)
                if (upper == n) return true;
    return false;
}

// One character of the text (UTF-8) as the bill may carry it: the standard's Latin set
// as it is, curly quotes and dashes as their plain forms, anything else as ".".
std::string Allowed(char32_t c) {
    auto utf8 = [](char32_t u) {
        std::string s;
        if (u < 0x80) {
            s += char(u);
        } else if (u < 0x800) {
            s += char(0xC0 | (u >> 6));
            s += char(0x80 | (u & 0x3F));
        } else {
            s += char(0xE0 | (u >> 12));
            s += char(0x80 | ((u >> 6) & 0x3F));
            s += char(0x80 | (u & 0x3F));
        }
        return s;
    };
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return " ";
    if (c < 0x7F || (c >= 0xA0 && c <= 0xFF)) return utf8(c);
    switch (c) {
        case 0x152:
        case 0x153:
        case 0x160:
        case 0x161:
        case 0x178:
        case 0x17D:
        case 0x17E:
        case 0x218:
        case 0x219:
        case 0x21A:
        case 0x21B:
        case 0x20AC:
            return utf8(c);
        case 0x2018:
        case 0x2019:
        case 0x201A:
            return "'";
        case 0x201C:
        case 0x201D:
        case 0x201E:
            return "\"";
        case 0x2013:
        case 0x2014:
            return "-";
        default:
            return ".";
    }
}

// The text trimmed, in the bill's character set, cut to n characters.
std::string Field(std::string_view text, std::size_t n) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        char32_t c = b;
        std::size_t len = 1;
        if (b >= 0xF0)
            len = 4, c = b & 0x07;
        else if (b >= 0xE0)
            len = 3, c = b & 0x0F;
        else if (b >= 0xC0)
            len = 2, c = b & 0x1F;
        else if (b >= 0x80)
            c = 0xFFFD;  // a stray continuation byte
        if (i + len > text.size()) len = 1, c = 0xFFFD;
        for (std::size_t k = 1; k < len; ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += Allowed(c);
        i += len;
    }
    return data::FirstChars(data::TrimText(out), n);
}

std::string Compact(std::string_view text) {
    std::string s;
    for (char c : text)
        if (c != ' ') s += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    return s;
}

bool Fail(std::string* problem, std::string why) {
    if (problem) *problem = std::move(why);
    return false;
}

bool AddressComplete(const SwissAddress& a, const std::string& who, std::string* problem) {
    if (data::TrimText(a.name).empty()) return Fail(problem, "The " + who + " has no name.");
    if (data::TrimText(a.postCode).empty() || data::TrimText(a.town).empty())
        return Fail(problem, "The " + who + "'s address has no postal code and town.");
    if (!data::IsCountryCode(a.country))
        return Fail(problem,
                    "The " + who + "'s country \"" + a.country + "\" is not an ISO country code.");
    return true;
}

void AddAddress(std::string& p, const std::optional<SwissAddress>& a) {
    if (!a) {
        p += std::string(7, '\n');
        return;
    }
    p += "S\n" + Field(a->name, kMaxName) + "\n" + Field(a->street, kMaxStreet) + "\n" +
         Field(a->building, kMaxBuilding) + "\n" + Field(a->postCode, kMaxPostCode) + "\n" +
         Field(a->town, kMaxTown) + "\n" + a->country + "\n";
}

std::string AmountText(data::Money amount, bool grouped) {
    const int64_t cents = amount.cents();
    std::string whole = std::to_string(cents / 100);
    if (grouped)
        for (int i = int(whole.size()) - 3; i > 0; i -= 3)
            whole.insert(std::size_t(i), " ");
    const int64_t rest = cents % 100;
    return whole + "." + char('0' + rest / 10) + char('0' + rest % 10);
}

}  // namespace

std::optional<SwissAddress> ParseSwissAddress(std::string_view name,
                                              const std::vector<std::string>& lines,
                                              std::string_view country, AddressOwner owner,
                                              std::string* problem) {
    SwissAddress a;
    a.name = data::TrimmedText(name);
    a.country = data::UpperText(data::TrimText(country));
    if (a.name.empty()) return Fail(problem, "it has no name"), std::nullopt;
    if (!data::IsCountryCode(a.country))
        return Fail(problem, "its country is not set (an ISO code such as CH)"), std::nullopt;
    std::vector<std::string> ls;
    for (const std::string& l : lines)
        if (!data::TrimText(l).empty()) ls.push_back(data::TrimmedText(l));

    std::size_t town = ls.size();
    for (std::size_t i = ls.size(); i-- > 0;) {
        const std::vector<std::string> w = Words(ls[i]);
        if (w.size() >= 2 && PostCodeOf(w[0], a.country)) {
            town = i;
            a.postCode = *PostCodeOf(w[0], a.country);
            a.town = Joined(w, 1, w.size());
            break;
        }
    }
    if (town == ls.size())
        return Fail(problem, "no line gives its postal code and town (such as \"8001 Zürich\")"),
               std::nullopt;
    if (owner == AddressOwner::Customer)
        for (std::size_t i = town + 1; i < ls.size(); ++i)
            if (!NamesCountry(ls[i], a.country))
                return Fail(problem,
                            "the line \"" + ls[i] + "\" below the town is not its country"),
                       std::nullopt;
    if (town >= 2)
        return Fail(problem, "the line \"" + ls[0] + "\" has no field in a structured address"),
               std::nullopt;
    if (town == 1) {
        const std::vector<std::string> w = Words(ls[0]);
        auto numberLike = [](const std::string& s) {
            return IsDigit(s[0]) && s.size() <= kMaxBuilding;
        };
        if (w.size() >= 2 && numberLike(w.back())) {
            a.street = Joined(w, 0, w.size() - 1);
            a.building = w.back();
        } else if (w.size() >= 2 && numberLike(w.front())) {
            a.street = Joined(w, 1, w.size());
            a.building = w.front();
        } else {
            a.street = ls[0];
        }
    }
    return a;
}

std::string SwissReferenceType(const SwissBill& bill) {
    if (bill.reference.empty()) return "NON";
    return data::IsQrIban(bill.iban) ? "QRR" : "SCOR";
}

std::optional<std::string> SwissBillPayload(const SwissBill& bill, std::string* problem) {
    const std::string iban = data::CompactId(bill.iban);
    if (iban.size() != kIbanLength || !SwissOrLiechtenstein(iban.substr(0, 2)) ||
        !data::IbanProblem(iban).empty())
        return Fail(problem, "The IBAN " + bill.iban +
                                 " is not a Swiss or Liechtenstein IBAN with right check digits."),
               std::nullopt;
    const std::string reference = Compact(bill.reference);
    if (data::IsQrIban(iban)) {
        if (!data::IsQrReference(reference) || reference.size() != 27)
            return Fail(problem, "A QR-IBAN is paid with a QR reference of 27 digits."),
                   std::nullopt;
    } else if (!reference.empty() && !data::IsCreditorReference(reference)) {
        return Fail(problem,
                    "An IBAN other than a QR-IBAN takes an RF creditor reference or "
                    "none."),
               std::nullopt;
    }
    if (bill.amount.cents() < 1 || bill.amount.cents() > kMaxCents)
        return Fail(problem, "The amount must be from 0.01 to 999999999.99."), std::nullopt;
    if (bill.currency != "CHF" && bill.currency != "EUR")
        return Fail(problem, "A QR-bill is in CHF or EUR, not \"" + bill.currency + "\"."),
               std::nullopt;
    if (!AddressComplete(bill.creditor, "creditor", problem)) return {};
    if (bill.debtor && !AddressComplete(*bill.debtor, "debtor", problem)) return {};

    std::string p = "SPC\n0200\n1\n" + iban + "\n";
    AddAddress(p, bill.creditor);
    p += std::string(7, '\n');  // the ultimate creditor, for future use
    p += AmountText(bill.amount, false) + "\n" + bill.currency + "\n";
    AddAddress(p, bill.debtor);
    p += SwissReferenceType(bill) + "\n" + reference + "\n" + Field(bill.message, kMaxMessage) +
         "\nEPD";
    if (data::CharCount(p) > kMaxPayload)
        return Fail(problem, "The QR-bill's code would hold more than 997 characters."),
               std::nullopt;
    return p;
}

bool SendsSwissBills(std::string_view country) {
    return SwissOrLiechtenstein(data::UpperText(data::TrimText(country)));
}

SwissBillOutcome InvoiceSwissBill(const std::string& folder, const data::CompanyRecord& company,
                                  const data::CompanyEInvoice& settings, const InvoiceDocument& doc,
                                  std::string_view customerCountry) {
    using data::Company;
    SwissBillOutcome out;
    if (!SendsSwissBills(settings.country) || data::CompactId(settings.iban).empty()) return out;
    if (!folder.empty() &&
        PaymentCodesOff(data::IniFile(data::IniFilePath(folder)), company.text(Company::CompanyNo)))
        return out;
    if (!DocumentToBePaid(doc)) return out;
    const std::string number = data::TrimmedText(doc.number);
    auto refuse = [&](const std::string& why) {
        out.problem = "No QR-bill for invoice " + number + ": " + why;
        return out;
    };

    SwissBill bill;
    bill.iban = settings.iban;
    bill.amount = doc.balanceDue;
    bill.currency = data::InvoiceCurrency(settings, company);
    std::string why;
    const std::vector<std::string> coLines = {
        company.text(Company::CoAddr1), company.text(Company::CoAddr2),
        company.text(Company::CoAddr3), company.text(Company::CoAddr4),
        company.text(Company::CoAddr5)};
    auto creditor = ParseSwissAddress(company.text(Company::Name), coLines, settings.country,
                                      AddressOwner::Company, &why);
    if (!creditor) return refuse("the company's address cannot be read: " + why + ".");
    bill.creditor = *creditor;
    const std::string_view debtorCountry = data::TrimText(customerCountry).empty()
                                               ? std::string_view(settings.country)
                                               : customerCountry;
    bill.debtor = ParseSwissAddress(doc.billTo[0], {doc.billTo.begin() + 1, doc.billTo.end()},
                                    debtorCountry, AddressOwner::Customer, &why);
    if (!bill.debtor) return refuse("the customer's address cannot be read: " + why + ".");

    if (data::IsQrIban(bill.iban)) {
        auto qrr = data::InvoiceQrReference(number);
        if (!qrr)
            return refuse(
                "the invoice number has characters a QR reference cannot carry "
                "(digits only), and the QR-IBAN needs one.");
        bill.reference = *qrr;
    } else {
        bill.reference = data::InvoiceReference(number).value_or(std::string());
    }
    bill.message = "Invoice " + number;
    if (!SwissBillPayload(bill, &why)) return refuse(why);
    out.bill = std::move(bill);
    return out;
}

SwissBillOutcome InvoiceSwissBill(const std::string& folder, const data::CompanyRecord& company,
                                  const InvoiceDocument& doc) {
    const data::CompanyEInvoice settings = data::ReadCompanyEInvoice(folder, company);
    if (!SendsSwissBills(settings.country)) return {};
    // The document was read already: nothing to ask a second time.
    struct Silent : platform::Prompter {
        platform::Answer ask(const platform::Message& m) override { return m.defaultButton; }
    } silent;
    const std::string prefix = data::CompanyPrefix(company.text(data::Company::CompanyNo));
    const data::CustomerEInvoice customer =
        folder.empty() ? data::CustomerEInvoice{}
                       : data::ReadCustomerEInvoice(folder, prefix, doc.account, silent);
    return InvoiceSwissBill(folder, company, settings, doc, customer.country);
}

// ------------------------------------------------------------------ the page

namespace {

// Tenths of a millimetre in device units.
int Units(const Canvas& canvas, int tenths) {
    return (tenths * canvas.resolutionX() + 127) / 254;
}

// The address as the bill prints it: what the code carries, without the country.
std::vector<std::string> AddressLines(const SwissAddress& a) {
    std::vector<std::string> lines = {Field(a.name, kMaxName)};
    std::string street = Field(a.street, kMaxStreet);
    const std::string building = Field(a.building, kMaxBuilding);
    if (!building.empty()) street += (street.empty() ? "" : " ") + building;
    if (!street.empty()) lines.push_back(street);
    lines.push_back(Field(a.postCode, kMaxPostCode) + " " + Field(a.town, kMaxTown));
    return lines;
}

// Draws the headings and values of an information column from top, each value wrapped to
// width; returns the row below.
struct Section {
    std::string heading;
    std::vector<std::string> values;
};

int DrawSections(Canvas& canvas, int left, int top, int width, int headingSize, int valueSize,
                 const std::vector<Section>& sections) {
    const Font heading{"Arial", headingSize, kBlack, kBold};
    const Font value{"Arial", valueSize, kBlack, 0};
    int y = top;
    for (const Section& s : sections) {
        canvas.setFont(heading);
        canvas.textOut(left, y, s.heading);
        y += LineHeight(canvas);
        canvas.setFont(value);
        for (const std::string& v : s.values)
            for (const std::string& line : WrapText(canvas, v, width)) {
                canvas.textOut(left, y, line);
                y += LineHeight(canvas);
            }
        y += LineHeight(canvas) / 2;  // the standard's blank of half a line between sections
    }
    return y;
}

void DrawCross(Canvas& canvas, int cx, int cy) {
    // The Swiss cross: a black square inside a white border, the cross of the flag's
    // proportions (arms 6 units wide, the whole cross 20 of the flag's 32) in white.
    const int outer = Units(canvas, swiss::kCrossSide);
    const int border = Units(canvas, 5);
    const int black = outer - 2 * border;
    const int arm = black * 6 / 32;
    const int span = black * 20 / 32;
    const int x = cx - outer / 2, y = cy - outer / 2;
    FillBox(canvas, x, y, x + outer, y + outer, kWhite);
    FillBox(canvas, x + border, y + border, x + border + black, y + border + black, kBlack);
    FillBox(canvas, cx - arm / 2, cy - span / 2, cx - arm / 2 + arm, cy - span / 2 + span, kWhite);
    FillBox(canvas, cx - span / 2, cy - arm / 2, cx - span / 2 + span, cy - arm / 2 + arm, kWhite);
}

}  // namespace

std::optional<QrMatrix> SwissQrMatrix(const std::string& payload) {
    auto matrix = EncodeQr(payload, QrLevel::M);
    // Versions 7 to 13 have an alignment pattern in the very middle, where the cross
    // covers it; a reader that samples the grid by it then misreads the whole code. From
    // version 14 to 20 the middle lies between alignment patterns.
    if (matrix && QrVersion(*matrix) >= 7 && QrVersion(*matrix) <= 13)
        matrix = EncodeQr(payload, QrLevel::M, 14);
    return matrix;
}

bool DrawSwissBill(Canvas& canvas, int x, int y, const SwissBill& bill) {
    const auto payload = SwissBillPayload(bill);
    if (!payload) return false;
    const auto matrix = SwissQrMatrix(*payload);
    if (!matrix) return false;
    const Pen pen = canvas.pen();
    const Brush brush = canvas.brush();
    const Font font = canvas.font();
    auto u = [&](int tenths) { return Units(canvas, tenths); };

    // Where to cut: above the bill and between receipt and payment part, with scissors.
    canvas.setPen(Pen{1, kBlack, PenStyle::Dotted});
    canvas.moveTo(x, y);
    canvas.lineTo(x + u(swiss::kWidth), y);
    canvas.moveTo(x + u(swiss::kReceiptWidth), y);
    canvas.lineTo(x + u(swiss::kReceiptWidth), y + u(swiss::kHeight));
    canvas.setFont(Font{"DejaVu Sans", 10, kBlack, 0});
    const std::string scissors = "\u2702";
    const int sh = canvas.textHeight(scissors), sw = canvas.textWidth(scissors);
    canvas.setBrush(Brush{BrushStyle::Solid, kWhite});
    canvas.textOut(x + u(swiss::kMargin), y - sh / 2, scissors);
    canvas.textOut(x + u(swiss::kReceiptWidth) - sw / 2, y + u(swiss::kMargin) + u(100), scissors);
    canvas.setBrush(Brush{BrushStyle::Clear, kWhite});

    const std::string account = GroupedIban(data::CompactId(bill.iban));
    std::vector<std::string> payTo = AddressLines(bill.creditor);
    payTo.insert(payTo.begin(), account);
    const std::string reference =
        bill.reference.empty() ? std::string() : data::PrintedReference(Compact(bill.reference));
    const Font title{"Arial", 11, kBlack, kBold};

    // The receipt.
    const int rx = x + u(swiss::kMargin);
    canvas.setFont(title);
    canvas.textOut(rx, y + u(swiss::kMargin), "Receipt");
    std::vector<Section> receipt = {{"Account / Payable to", payTo}};
    if (!reference.empty()) receipt.push_back({"Reference", {reference}});
    if (bill.debtor) receipt.push_back({"Payable by", AddressLines(*bill.debtor)});
    const int receiptWidth = u(swiss::kReceiptWidth - 2 * swiss::kMargin);
    DrawSections(canvas, rx, y + u(120), receiptWidth, 6, 8, receipt);
    const std::string amount = AmountText(bill.amount, true);
    auto amountSection = [&](int left, int amountLeft, int headingSize, int valueSize) {
        const int top = y + u(680);
        canvas.setFont(Font{"Arial", headingSize, kBlack, kBold});
        canvas.textOut(left, top, "Currency");
        canvas.textOut(amountLeft, top, "Amount");
        const int below = top + LineHeight(canvas);
        canvas.setFont(Font{"Arial", valueSize, kBlack, 0});
        canvas.textOut(left, below, bill.currency);
        canvas.textOut(amountLeft, below, amount);
    };
    amountSection(rx, rx + u(120), 6, 8);
    canvas.setFont(Font{"Arial", 6, kBlack, kBold});
    const std::string acceptance = "Acceptance point";
    canvas.textOut(x + u(swiss::kReceiptWidth - swiss::kMargin) - canvas.textWidth(acceptance),
                   y + u(820), acceptance);

    // The payment part.
    const int px = x + u(swiss::kCodeLeft);
    canvas.setFont(title);
    canvas.textOut(px, y + u(swiss::kMargin), "Payment part");
    const int side = u(swiss::kCodeSide);
    const int cx = px, cy = y + u(swiss::kCodeTop);
    FillBox(canvas, cx, cy, cx + side, cy + side, kWhite);
    FillQrModules(canvas, cx, cy, *matrix,
                  [side, w = matrix->width](int i) { return int(int64_t(i) * side / w); });
    DrawCross(canvas, cx + side / 2, cy + side / 2);
    amountSection(px, px + u(140), 8, 10);
    std::vector<Section> info = {{"Account / Payable to", payTo}};
    if (!reference.empty()) info.push_back({"Reference", {reference}});
    if (!bill.message.empty())
        info.push_back({"Additional information", {Field(bill.message, kMaxMessage)}});
    if (bill.debtor) info.push_back({"Payable by", AddressLines(*bill.debtor)});
    DrawSections(canvas, x + u(swiss::kInfoLeft), y + u(swiss::kMargin),
                 u(swiss::kWidth - swiss::kInfoLeft - swiss::kMargin), 8, 10, info);

    canvas.setPen(pen);
    canvas.setBrush(brush);
    canvas.setFont(font);
    return true;
}

}  // namespace invarro::output
