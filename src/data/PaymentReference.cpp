#include "data/PaymentReference.h"

#include "data/Ansi.h"

namespace invarro::data {

namespace {

constexpr char kInvoiceDigit = '1';
constexpr char kCustomerDigit = '2';
constexpr std::size_t kMaxBody = 21;     // ISO 11649: at most 21 characters after RF + check
constexpr std::size_t kQrLength = 27;    // 26 digits and the check digit
constexpr std::size_t kNumberWidth = 9;  // the longest invoice or customer number stored

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsUpperLetter(char c) {
    return c >= 'A' && c <= 'Z';
}

std::string WithoutBlanks(std::string_view text) {
    std::string s;
    for (char c : text)
        if (c != ' ') s += c;
    return s;
}

// The number part of the body: nothing when it is empty or has a character outside
// A-Z, 0-9.
std::optional<std::string> NumberPart(ReferenceKind kind, std::string_view number) {
    std::string n = kind == ReferenceKind::Invoice ? InvoiceNumberForCompare(TrimText(number))
                                                   : UpperText(TrimText(number));
    if (n.empty()) {
        if (kind == ReferenceKind::Customer || TrimText(number).empty()) return {};
        n = "0";  // a number of zeros only
    }
    for (char c : n)
        if (!IsDigit(c) && !IsUpperLetter(c)) return {};
    return n;
}

// The remainder modulo 97 of the digits the text stands for, letters counting A=10..Z=35.
int Mod97(std::string_view text) {
    int r = 0;
    for (char c : text) {
        if (IsDigit(c)) {
            r = (r * 10 + (c - '0')) % 97;
        } else {
            int v = c - 'A' + 10;
            r = (r * 100 + v) % 97;
        }
    }
    return r;
}

std::optional<std::string> Creditor(ReferenceKind kind, std::string_view number) {
    auto n = NumberPart(kind, number);
    if (!n) return {};
    std::string body = (kind == ReferenceKind::Invoice ? kInvoiceDigit : kCustomerDigit) + *n;
    if (body.size() > kMaxBody) return {};
    const int check = 98 - Mod97(body + "RF00");
    std::string ref = "RF";
    ref += char('0' + check / 10);
    ref += char('0' + check % 10);
    return ref + body;
}

std::optional<std::string> QrReference(ReferenceKind kind, std::string_view number) {
    auto n = NumberPart(kind, number);
    if (!n) return {};
    for (char c : *n)
        if (!IsDigit(c)) return {};
    if (kind == ReferenceKind::Customer && (*n)[0] == '0') return {};
    std::string digits(1, kind == ReferenceKind::Invoice ? kInvoiceDigit : kCustomerDigit);
    digits += std::string(kQrLength - 2 - n->size(), '0') + *n;
    return digits + *Mod10RecursiveDigit(digits);
}

std::optional<ReferenceTarget> TargetOfBody(std::string_view body) {
    if (body.size() < 2) return {};
    ReferenceTarget t;
    if (body[0] == kInvoiceDigit) {
        t.kind = ReferenceKind::Invoice;
        t.number = InvoiceNumberForCompare(body.substr(1));
        if (t.number.empty()) t.number = "0";
    } else if (body[0] == kCustomerDigit) {
        t.kind = ReferenceKind::Customer;
        t.number = std::string(body.substr(1));
    } else {
        return {};
    }
    if (t.number.size() > kNumberWidth) return {};
    return t;
}

}  // namespace

std::string InvoiceNumberForCompare(std::string_view number) {
    const std::string n = UpperText(TrimText(number));
    std::size_t i = 0;
    while (i < n.size() && n[i] == '0')
        ++i;
    return n.substr(i);
}

std::optional<std::string> InvoiceReference(std::string_view invNo) {
    return Creditor(ReferenceKind::Invoice, invNo);
}
std::optional<std::string> CustomerReference(std::string_view custNo) {
    return Creditor(ReferenceKind::Customer, custNo);
}
std::optional<std::string> InvoiceQrReference(std::string_view invNo) {
    return QrReference(ReferenceKind::Invoice, invNo);
}
std::optional<std::string> CustomerQrReference(std::string_view custNo) {
    return QrReference(ReferenceKind::Customer, custNo);
}

bool IsQrIban(std::string_view iban) {
    const std::string s = UpperText(WithoutBlanks(iban));
    if (s.size() != 21 || (s.substr(0, 2) != "CH" && s.substr(0, 2) != "LI")) return false;
    int iid = 0;
    for (std::size_t i = 4; i < 9; ++i) {
        if (!IsDigit(s[i])) return false;
        iid = iid * 10 + (s[i] - '0');
    }
    return iid >= 30000 && iid <= 31999;
}

std::optional<std::string> InvoiceReferenceFor(std::string_view iban, std::string_view invNo) {
    return IsQrIban(iban) ? InvoiceQrReference(invNo) : InvoiceReference(invNo);
}

std::optional<char> Mod10RecursiveDigit(std::string_view digits) {
    static constexpr int kTable[10] = {0, 9, 4, 6, 8, 2, 7, 1, 3, 5};
    int carry = 0;
    for (char c : digits) {
        if (!IsDigit(c)) return {};
        carry = kTable[(carry + (c - '0')) % 10];
    }
    return char('0' + (10 - carry) % 10);
}

std::string PrintedReference(std::string_view reference) {
    std::string out;
    if (reference.size() == kQrLength && IsQrReference(reference)) {
        out = std::string(reference.substr(0, 2));
        for (std::size_t i = 2; i < reference.size(); i += 5)
            out += " " + std::string(reference.substr(i, 5));
        return out;
    }
    for (std::size_t i = 0; i < reference.size(); i += 4) {
        if (i > 0) out += ' ';
        out += reference.substr(i, 4);
    }
    return out;
}

bool IsCreditorReference(std::string_view text) {
    const std::string s = UpperText(WithoutBlanks(text));
    if (s.size() < 5 || s.size() > 4 + kMaxBody) return false;
    if (s[0] != 'R' || s[1] != 'F' || !IsDigit(s[2]) || !IsDigit(s[3])) return false;
    for (std::size_t i = 4; i < s.size(); ++i)
        if (!IsDigit(s[i]) && !IsUpperLetter(s[i])) return false;
    return Mod97(s.substr(4) + s.substr(0, 4)) == 1;
}

bool IsQrReference(std::string_view text) {
    const std::string s = WithoutBlanks(text);
    if (s.size() != kQrLength) return false;
    auto check = Mod10RecursiveDigit(std::string_view(s).substr(0, kQrLength - 1));
    return check && *check == s.back();
}

std::optional<ReferenceTarget> ParseReference(std::string_view text) {
    const std::string s = UpperText(WithoutBlanks(text));
    if (IsCreditorReference(s)) return TargetOfBody(std::string_view(s).substr(4));
    if (IsQrReference(s)) {
        // The number follows the kind digit padded with zeros.
        std::size_t i = 1;
        while (i < kQrLength - 2 && s[i] == '0')
            ++i;
        return TargetOfBody(s.substr(0, 1) + s.substr(i, kQrLength - 1 - i));
    }
    return {};
}

}  // namespace invarro::data
