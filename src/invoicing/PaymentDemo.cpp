#include "invoicing/PaymentDemo.h"

#include <algorithm>
#include <map>
#include <vector>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Open.h"
#include "data/Update.h"
#include "invoicing/Payment.h"

namespace invarro::invoicing {

namespace {

using data::Company;
using data::Invoice;
using data::Money;

// The demo answers every question with its default.
class DemoPrompter : public platform::Prompter {
  public:
    platform::Answer ask(const platform::Message& m) override { return m.defaultButton; }
};

struct OpenInvoice {
    std::string number;
    data::Date date;
    Money due;
};

// One payment of the plan: its date and the items it settles. An item numbered "DP" is
// the deposit of the customer's earlier payment being applied.
struct PlannedPayment {
    data::Date date;
    std::vector<PayItem> items;
    std::string note;
};

PayItem Item(const std::string& number, Money amount, bool partial = false) {
    PayItem i;
    i.number = number;
    i.amount = amount;
    i.partial = partial;
    return i;
}

}  // namespace

DemoPaymentsResult AddDemoPayments(const std::string& folder, data::CompanyRecord& company,
                                   const data::Date& today) {
    DemoPrompter quiet;
    DemoPaymentsResult result;
    const std::string prefix = data::CompanyPrefix(company.text(Company::CompanyNo));
    data::ExistingFileblock customers;
    data::ExistingFileblock invoices;
    data::OpenExisting(customers, folder, data::FileKind::Customer, prefix, quiet);
    data::OpenExisting(invoices, folder, data::FileKind::Invoice, prefix, quiet);
    if (!customers.fb || !invoices.fb) {
        result.error = "the invoice files of company " + prefix + " cannot be opened";
        return result;
    }
    const data::DateOrder order = data::DateOrderFromCode(company.text(Company::DateFormatCode));

    // The open invoices of every customer, oldest first.
    std::map<std::string, std::vector<OpenInvoice>> open;
    for (int32_t rec = storage::NextUsedRecord(invoices.fb, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(invoices.fb, rec)) {
        auto r = data::ReadBusinessRecord<Invoice>(invoices.fb, rec);
        if (!r) continue;
        const std::string type = data::TrimmedText(r->text(Invoice::TransType));
        const Money due = r->money(Invoice::BalanceDue);
        if ((type != "I" && type != "G") || data::TrimText(r->text(Invoice::PaidFlag)) == "P" ||
            due <= Money())
            continue;
        auto date = data::ParseUserDate(r->text(Invoice::InvDate), order);
        if (!date) continue;
        open[data::UpperText(data::TrimText(r->text(Invoice::CustNo)))].push_back(
            {data::TrimmedText(r->text(Invoice::InvNo)), *date, due});
    }
    std::vector<std::string> people;
    for (int32_t rec = storage::NextUsedRecord(customers.fb, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(customers.fb, rec))
        if (auto c = data::ReadBusinessRecord<data::Customer>(customers.fb, rec))
            people.push_back(data::UpperText(data::TrimText(c->text(data::Customer::CustNo))));

    SaveFiles files{folder, company, invoices.fb, nullptr, nullptr, customers.fb, today};
    int check = 1040;
    int j = 0;               // counts the open invoices of all customers
    bool applied = false;    // one deposit is applied, by the first customer who can
    bool onAccount = false;  // one customer pays into account more than his newest bills
    for (std::size_t k = 0; k < people.size(); ++k) {
        std::vector<OpenInvoice>& list = open[people[k]];
        std::sort(list.begin(), list.end(),
                  [](const OpenInvoice& a, const OpenInvoice& b) { return a.date < b.date; });
        std::vector<PlannedPayment> plan;
        Money olderOpen;    // what stays open of the invoices older than 30 days
        Money currentOpen;  // and of the newer ones
        // The newest invoice of the first customer who has a recent one is settled with a
        // deposit paid on it.
        const bool withDeposit = k >= 1 && !applied && !list.empty() &&
                                 data::DaysBetween(list.back().date, today) <= 30 &&
                                 list.back().due > Money::FromCents(200);
        for (const OpenInvoice& o : list) {
            if (withDeposit && &o == &list.back()) continue;
            // Most older invoices are paid in full, some in part; a share of each age stays
            // open, so that every aging period keeps cases.
            const int age = data::DaysBetween(o.date, today);
            const int r = j++;
            bool full = false;
            bool part = false;
            if (age > 100) {
                full = r % 16 >= 2;
                part = r % 16 == 1;
            } else if (age > 60) {
                full = r % 4 >= 2;
                part = r % 4 == 1;
            } else if (age > 30) {
                full = r % 4 == 3;
                part = r % 4 == 2;
            } else {
                full = r % 7 == 0;
            }
            const data::Date on =
                std::max(o.date, std::min(data::AddDays(o.date, 18 + r % 9), today));
            const std::string note = "Check " + std::to_string(check++);
            Money left = o.due;
            if (full) {
                plan.push_back({on, {Item(o.number, o.due)}, note});
                left = Money();
            } else if (part && o.due > Money::FromCents(100)) {
                const Money paid = Money::FromCents(o.due.cents() * 2 / 5);
                plan.push_back({on, {Item(o.number, paid, true)}, note});
                left = o.due - paid;
            }
            (age > 30 ? olderOpen : currentOpen) += left;
        }
        // A payment on account of more than the newest bills of a customer who still owes
        // older ones: the current period holds a credit, and what is overdue is more than
        // the customer's balance (interest is charged on the balance at most).
        if (k >= 1 && !withDeposit && !onAccount && olderOpen > Money::FromCents(40000)) {
            onAccount = true;
            const Money paid = currentOpen + Money::FromCents(olderOpen.cents() / 4);
            plan.push_back({data::AddDays(today, -5),
                            {Item(std::string(kNewDeposit), paid)},
                            "Payment on account"});
        }
        // A deposit on account that stays open; and one that is applied later.
        if (k == 0) {
            PayItem d = Item(std::string(kNewDeposit), Money::FromCents(25000));
            plan.push_back({data::AddDays(today, -12), {d}, "Advance for spring work"});
        }
        if (withDeposit) {
            const OpenInvoice& o = list.back();
            applied = true;
            const Money half = Money::FromCents(o.due.cents() / 2);
            const data::Date on = std::max(o.date, data::AddDays(today, -20));
            plan.push_back({on, {Item(std::string(kNewDeposit), half)}, "Deposit on order"});
            plan.push_back({std::min(data::AddDays(on, 6), today),
                            {Item(o.number, o.due), Item("DP", -half)},
                            "Balance with deposit"});
        }
        std::stable_sort(
            plan.begin(), plan.end(),
            [](const PlannedPayment& a, const PlannedPayment& b) { return a.date < b.date; });
        std::string lastDeposit;
        for (PlannedPayment& p : plan) {
            for (PayItem& i : p.items)
                if (i.number == "DP") {
                    if (lastDeposit.empty()) continue;
                    i.number = lastDeposit;
                    ++result.depositsApplied;
                }
            std::erase_if(p.items, [](const PayItem& i) { return i.number == "DP"; });
            if (p.items.empty()) continue;
            PostOutcome o = PostPayment(files, people[k], data::FormatUserDate(p.date, order),
                                        p.note, p.items, quiet);
            if (!o.failed.empty()) {
                result.error = "a demo payment of customer " + people[k] + " was not posted";
                return result;
            }
            ++result.payments;
            for (const PayItem& i : p.items) {
                if (i.isNewDeposit())
                    ++result.deposits;
                else if (i.partial)
                    ++result.partial;
                else if (i.amount > Money())
                    ++result.paidInFull;
            }
            if (!o.deposits.empty()) lastDeposit = o.deposits.back();
        }
    }
    result.ok = true;
    return result;
}

}  // namespace invarro::invoicing
