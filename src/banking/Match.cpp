#include "banking/Match.h"

#include <algorithm>
#include <set>

#include "data/Ansi.h"
#include "data/Keys.h"
#include "data/PaymentReference.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"

namespace invarro::banking {

namespace {

using data::Customer;
using data::Invoice;
using data::Money;

constexpr std::size_t kMaxSumInvoices = 20;
constexpr std::size_t kMaxCredits = 5;  // the customer's oldest open credits tried

bool IsAlnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Whether text[at] ends a word: no letter or digit, and not a separator inside a number
// such as a date or an amount ("15.12.2024", "1,190.00").
bool Boundary(const std::string& text, std::size_t at, int step) {
    const char c = text[at];
    if (IsAlnum(c)) return false;
    if (c != '.' && c != ',' && c != '/' && c != ':' && c != '-') return true;
    const std::ptrdiff_t beyond = std::ptrdiff_t(at) + step;
    return beyond < 0 || std::size_t(beyond) >= text.size() ||
           !std::isdigit(static_cast<unsigned char>(text[std::size_t(beyond)]));
}

// Whether the number stands as a whole word in the upper-case text, with any leading
// zeros the invoice editor ignores.
bool HoldsNumber(const std::string& text, const std::string& core) {
    if (core.empty()) return false;
    for (std::size_t p = text.find(core); p != std::string::npos; p = text.find(core, p + 1)) {
        const std::size_t end = p + core.size();
        if (end < text.size() && !Boundary(text, end, 1)) continue;
        std::size_t b = p;
        while (b > 0 && text[b - 1] == '0')
            --b;
        if (b > 0 && !Boundary(text, b - 1, -1)) continue;
        return true;
    }
    return false;
}

std::string Money2(Money m) {
    return m.shownText();
}

std::string List(const std::vector<const OpenInvoice*>& invoices) {
    std::string s;
    for (std::size_t i = 0; i < invoices.size(); ++i) {
        if (i > 0) s += i + 1 == invoices.size() ? " and " : ", ";
        s += invoices[i]->number;
    }
    return s;
}

// Every non-empty combination of the customer's oldest open credits, with its sum (below
// zero).
std::vector<std::pair<std::vector<const OpenInvoice*>, Money>> CreditCombinations(
    const MatchBooks& books, const std::string& custNo) {
    std::vector<const OpenInvoice*> credits;
    for (const OpenInvoice& c : books.credits)
        if (c.custNo == custNo && credits.size() < kMaxCredits) credits.push_back(&c);
    std::vector<std::pair<std::vector<const OpenInvoice*>, Money>> all;
    for (unsigned mask = 1; mask < (1u << credits.size()); ++mask) {
        std::pair<std::vector<const OpenInvoice*>, Money> c;
        for (std::size_t i = 0; i < credits.size(); ++i)
            if (mask & (1u << i)) {
                c.first.push_back(credits[i]);
                c.second += credits[i]->due;
            }
        all.push_back(std::move(c));
    }
    return all;
}

// Adds the credits, applied whole, to the proposal and says so.
void ApplyCredits(Proposal& p, const std::vector<const OpenInvoice*>& credits, std::string& why) {
    for (const OpenInvoice* c : credits)
        p.invoices.push_back({c->number, c->due, false});
    why += credits.size() == 1 ? "; less the customer's credit " : "; less the customer's credits ";
    why += List(credits);
}

// The proposal for one invoice named by the rule: whole, partial or with a deposit. An
// amount below the balance that is the balance less one combination of the customer's
// open credits (and only one) pays the invoice whole with those credits applied.
Proposal ForInvoice(Rule rule, const OpenInvoice& inv, Money amount, std::string why,
                    const MatchBooks& books) {
    Proposal p;
    p.rule = rule;
    p.custNo = inv.custNo;
    std::vector<std::vector<const OpenInvoice*>> fits;
    if (amount < inv.due)
        for (const auto& [credits, sum] : CreditCombinations(books, inv.custNo))
            if (inv.due + sum == amount) fits.push_back(credits);
    if (fits.size() == 1) {
        p.invoices.push_back({inv.number, inv.due, false});
        ApplyCredits(p, fits.front(), why);
    } else if (amount < inv.due) {
        p.invoices.push_back({inv.number, amount, true});
        why += "; a partial payment (" + Money2(inv.due - amount) + " stays due)";
    } else {
        p.invoices.push_back({inv.number, inv.due, false});
        if (inv.due < amount) {
            p.deposit = amount - inv.due;
            why += "; " + Money2(p.deposit) + " more than due goes on account as a deposit";
        }
    }
    p.why = std::move(why);
    return p;
}

// The customers the line names by IBAN or payer name.
std::set<std::string> NamedCustomers(const StatementLine& line, const MatchBooks& books,
                                     std::string& how) {
    std::set<std::string> found;
    if (auto it = books.ibanCustomer.find(CompactIban(line.payerIban));
        !line.payerIban.empty() && it != books.ibanCustomer.end()) {
        found.insert(it->second);
        how = "the payer's IBAN was seen on payments of customer " + it->second;
        return found;
    }
    const std::string payer = NormalizedName(line.payerName);
    if (payer.size() < 3) return found;
    for (const auto& [custNo, name] : books.customerNames) {
        const std::string n = NormalizedName(name);
        if (n.empty()) continue;
        // Banks cut long names: a start of at least 10 characters counts.
        const bool same = n == payer ||
                          (payer.size() >= 10 && n.rfind(payer, 0) == 0 &&
                           n.size() > payer.size() && n[payer.size()] == ' ') ||
                          (n.size() >= 10 && payer.rfind(n, 0) == 0 && payer[n.size()] == ' ');
        if (same) found.insert(custNo);
    }
    if (found.size() == 1) how = "the payer's name is the customer's";
    return found;
}

// The sets of invoices (indexes into `invoices`) whose dues add up to the amount; at most
// two are looked for.
void Sums(const std::vector<const OpenInvoice*>& invoices, std::size_t from, Money left,
          std::vector<std::size_t>& chosen, std::vector<std::vector<std::size_t>>& found) {
    if (found.size() > 1) return;
    if (left.isZero() && !chosen.empty()) {
        found.push_back(chosen);
        return;
    }
    for (std::size_t i = from; i < invoices.size(); ++i) {
        if (invoices[i]->due > left) continue;
        chosen.push_back(i);
        Sums(invoices, i + 1, left - invoices[i]->due, chosen, found);
        chosen.pop_back();
        if (found.size() > 1) return;
    }
}

}  // namespace

bool Proposal::exact() const {
    return (rule == Rule::Reference || rule == Rule::InvoiceNumber) && invoices.size() == 1 &&
           !invoices.front().partial && deposit.isZero();
}

std::string NormalizedName(std::string_view name) {
    static const std::pair<const char*, const char*> kSpelled[] = {
        {"Ä", "AE"}, {"Ö", "OE"}, {"Ü", "UE"}, {"ä", "AE"}, {"ö", "OE"}, {"ü", "UE"}, {"ß", "SS"},
        {"Æ", "AE"}, {"æ", "AE"}, {"Ø", "OE"}, {"ø", "OE"}, {"Å", "AA"}, {"å", "AA"}, {"Œ", "OE"},
        {"œ", "OE"}, {"é", "E"},  {"è", "E"},  {"ê", "E"},  {"ë", "E"},  {"É", "E"},  {"È", "E"},
        {"á", "A"},  {"à", "A"},  {"â", "A"},  {"Á", "A"},  {"À", "A"},  {"í", "I"},  {"ì", "I"},
        {"î", "I"},  {"ï", "I"},  {"ó", "O"},  {"ò", "O"},  {"ô", "O"},  {"ú", "U"},  {"ù", "U"},
        {"û", "U"},  {"ç", "C"},  {"Ç", "C"},  {"ñ", "N"},  {"Ñ", "N"},  {"š", "S"},  {"Š", "S"},
        {"ž", "Z"},  {"Ž", "Z"},  {"č", "C"},  {"Č", "C"},  {"ł", "L"},  {"Ł", "L"},  {"ý", "Y"}};
    std::string out;
    bool blank = true;
    for (std::size_t i = 0; i < name.size();) {
        std::string_view piece;
        std::size_t used = 1;
        for (const auto& [from, to] : kSpelled) {
            const std::string_view f(from);
            if (name.substr(i, f.size()) == f) {
                piece = to;
                used = f.size();
                break;
            }
        }
        const char c = name[i];
        if (piece.empty() && std::isalnum(static_cast<unsigned char>(c))) {
            out += char(std::toupper(static_cast<unsigned char>(c)));
            blank = false;
        } else if (!piece.empty()) {
            out += piece;
            blank = false;
        } else if (!blank) {
            out += ' ';
            blank = true;
        }
        i += used;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::optional<MatchBooks> LoadBooks(storage::Fileblock* invoices, storage::Fileblock* customers,
                                    storage::Fileblock* bankLines, std::string currency) {
    MatchBooks books;
    books.currency = std::move(currency);
    for (int32_t r = storage::NextUsedRecord(invoices, 0); r > 0 && storage::EngineOk;
         r = storage::NextUsedRecord(invoices, r)) {
        auto rec = data::ReadBusinessRecord<Invoice>(invoices, r);
        if (!rec) return {};
        const Money due = rec->money(Invoice::BalanceDue);
        if (data::TrimText(rec->text(Invoice::PaidFlag)) == "P" || due.isZero() ||
            !data::IsReceivable(*rec))
            continue;
        (due > Money() ? books.open : books.credits)
            .push_back({data::TrimmedText(rec->text(Invoice::InvNo)),
                        data::TrimmedText(rec->text(Invoice::CustNo)), due,
                        data::TrimmedText(rec->text(Invoice::SortDate))});
    }
    if (customers)
        for (int32_t r = storage::NextUsedRecord(customers, 0); r > 0 && storage::EngineOk;
             r = storage::NextUsedRecord(customers, r)) {
            auto rec = data::ReadBusinessRecord<Customer>(customers, r);
            if (!rec) return {};
            books.customerNames[data::TrimmedText(rec->text(Customer::CustNo))] =
                data::TrimmedText(rec->text(Customer::Name));
        }
    if (bankLines) {
        auto lines = AllLines(bankLines);
        if (!lines) return {};
        for (const StoredLine& s : *lines)
            if (s.state == LineState::Posted && !s.custNo.empty() && !s.line.payerIban.empty())
                books.ibanCustomer[CompactIban(s.line.payerIban)] = s.custNo;
    }
    auto oldestFirst = [](const OpenInvoice& a, const OpenInvoice& b) {
        return a.sortDate != b.sortDate ? a.sortDate < b.sortDate : a.number < b.number;
    };
    std::sort(books.open.begin(), books.open.end(), oldestFirst);
    std::sort(books.credits.begin(), books.credits.end(), oldestFirst);
    return books;
}

Proposal Propose(const StatementLine& line, const MatchBooks& books) {
    Proposal none;
    auto refuse = [&none](std::string why) {
        none.why = std::move(why);
        return none;
    };
    if (line.reversal) return refuse("a reversal: never posted by itself");
    auto cents = CentsOf(line.amount);
    if (!cents) return refuse("the amount has digits beyond the cent");
    if (*cents <= Money()) return refuse("a debit: never posted by itself");
    if (books.currency.empty() || line.currency != books.currency)
        return refuse("in " + line.currency + ", not in the books' currency");
    const Money amount = *cents;

    auto openByNumber = [&books](std::string_view number) -> const OpenInvoice* {
        const OpenInvoice* found = nullptr;
        const std::string core = invoicing::NumberForCompare(number);
        for (const OpenInvoice& inv : books.open)
            if (invoicing::NumberForCompare(inv.number) == core) {
                if (found) return nullptr;  // two open records with equal numbers
                found = &inv;
            }
        return found;
    };

    // 1. A structured reference, in its field or in the text.
    std::string customerByReference;
    std::string note;
    for (const std::string& candidate : {line.reference, line.endToEnd}) {
        auto target = data::ParseReference(candidate);
        if (!target) continue;
        if (target->kind == data::ReferenceKind::Customer) {
            customerByReference = target->number;
            continue;
        }
        if (const OpenInvoice* inv = openByNumber(target->number))
            return ForInvoice(Rule::Reference, *inv, amount,
                              "the reference " + candidate + " names invoice " + inv->number,
                              books);
        note = "the reference " + candidate + " names invoice " + target->number +
               ", which is not open";
    }

    // 2. Invoice numbers as whole words.
    const std::string text = data::UpperText(line.text + " " + line.endToEnd);
    std::vector<const OpenInvoice*> named;
    for (const OpenInvoice& inv : books.open)
        if (HoldsNumber(text, invoicing::NumberForCompare(inv.number))) named.push_back(&inv);
    if (named.size() == 1)
        return ForInvoice(Rule::InvoiceNumber, *named.front(), amount,
                          "the text names invoice " + named.front()->number, books);
    if (named.size() > 1) {
        Money sum;
        bool oneCustomer = true;
        for (const OpenInvoice* inv : named) {
            sum += inv->due;
            oneCustomer = oneCustomer && inv->custNo == named.front()->custNo;
        }
        if (oneCustomer && sum == amount) {
            Proposal p;
            p.rule = Rule::InvoiceNumber;
            p.custNo = named.front()->custNo;
            for (const OpenInvoice* inv : named)
                p.invoices.push_back({inv->number, inv->due, false});
            p.why =
                "the text names invoices " + List(named) + ", whose balances add up to the amount";
            return p;
        }
    }

    // 3. The customer's open invoices that add up to the amount.
    std::string how;
    std::set<std::string> customers;
    if (!customerByReference.empty()) {
        customers.insert(customerByReference);
        how = "the reference names customer " + customerByReference;
    } else {
        customers = NamedCustomers(line, books, how);
    }
    if (customers.size() > 1)
        return refuse(note.empty() ? "the payer's name fits several customers" : note);
    if (customers.size() == 1) {
        const std::string custNo = *customers.begin();
        std::vector<const OpenInvoice*> oldest;
        for (const OpenInvoice& inv : books.open)
            if (inv.custNo == custNo && oldest.size() < kMaxSumInvoices) oldest.push_back(&inv);
        std::vector<std::size_t> chosen;
        std::vector<std::vector<std::size_t>> sets;
        Sums(oldest, 0, amount, chosen, sets);
        // Without a set that fits alone, the sets that fit with the customer's credits
        // applied: the amount plus the credits.
        std::vector<const OpenInvoice*> credits;
        if (sets.empty())
            for (const auto& [combination, sum] : CreditCombinations(books, custNo)) {
                const std::size_t before = sets.size();
                Sums(oldest, 0, amount - sum, chosen, sets);
                if (sets.size() > before) credits = combination;
                if (sets.size() > 1) break;
            }
        if (sets.size() == 1) {
            Proposal p;
            p.rule = Rule::CustomerSum;
            p.custNo = custNo;
            std::vector<const OpenInvoice*> paid;
            for (std::size_t i : sets.front()) {
                paid.push_back(oldest[i]);
                p.invoices.push_back({oldest[i]->number, oldest[i]->due, false});
            }
            p.why = how +
                    (paid.size() == 1 ? "; the amount is the balance of invoice "
                                      : "; the balances of invoices ") +
                    List(paid) + (paid.size() == 1 ? "" : " add up to the amount");
            if (!credits.empty()) ApplyCredits(p, credits, p.why);
            return p;
        }
        if (sets.size() > 1)
            return refuse(how +
                          ", but more than one set of its open invoices adds up to the amount");
        return refuse(how + ", but no set of its open invoices adds up to the amount");
    }
    return refuse(note.empty() ? "nothing names an open invoice or a customer" : note);
}

const StoredLine* ReturnedPayment(const StoredLine& line, const std::vector<StoredLine>& all) {
    const std::string amount = line.line.amount;
    if (amount.empty() || (amount.front() != '-' && !line.line.reversal)) return nullptr;
    const std::string credit = amount.front() == '-' ? amount.substr(1) : amount;
    const StoredLine* found = nullptr;
    for (const StoredLine& s : all) {
        if (s.state != LineState::Posted || s.recNo == line.recNo) continue;
        if (s.line.amount != credit || s.line.currency != line.line.currency ||
            CompactIban(s.line.account) != CompactIban(line.line.account) ||
            line.line.bookDate < s.line.bookDate)
            continue;
        const bool samePayer =
            !line.line.payerIban.empty()
                ? CompactIban(s.line.payerIban) == CompactIban(line.line.payerIban)
                : !line.line.payerName.empty() &&
                      NormalizedName(s.line.payerName) == NormalizedName(line.line.payerName);
        if (samePayer && (!found || !(s.line.bookDate < found->line.bookDate))) found = &s;
    }
    return found;
}

}  // namespace invarro::banking
