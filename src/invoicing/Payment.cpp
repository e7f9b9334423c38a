#include "invoicing/Payment.h"

#include <algorithm>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/Posting.h"
#include "data/Update.h"
#include "invoicing/Receivables.h"
#include "storage/BTree.h"

namespace invarro::invoicing {

namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::Money;
using platform::Icon;

std::string TypeOf(const data::InvoiceRecord& r) {
    return data::UpperText(data::TrimText(r.text(Invoice::TransType)));
}
bool IsPaid(const data::InvoiceRecord& r) {
    return data::TrimText(r.text(Invoice::PaidFlag)) == "P";
}
std::string NumberOf(const data::InvoiceRecord& r) {
    return data::UpperText(data::TrimText(r.text(Invoice::InvNo)));
}
bool IsDepositNumber(std::string_view number) {
    return number.size() >= 2 && number.substr(0, 2) == "DP";
}

// Typed amounts lose their blanks and commas.
std::string Cleaned(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != ' ' && c != ',') out += c;
    return out;
}

void Show(platform::Prompter& prompter, std::string_view title, std::string_view text,
          Icon icon = Icon::Warning) {
    prompter.inform(std::string(title), std::string(text), icon);
}

// A storage failure of one item, named by its number.
void ShowItemFailure(platform::Prompter& prompter, std::string_view text, std::string_view number) {
    Show(prompter, kPaymentWizard, std::string(text) + "\nItem: " + std::string(number),
         Icon::Warning);
}

// Whether settling `amount` against a balance due of `due` would take it past zero (or
// the record owes nothing to settle).
bool PassesZero(Money due, Money amount) {
    if (due.isZero()) return true;
    if (due > Money()) return amount > due || amount < Money();
    return amount < due || amount > Money();
}

// Every live record whose number is exactly `number`, in invoice key 1 order.
std::vector<std::pair<int32_t, data::InvoiceRecord>> RecordsNumbered(storage::Fileblock* invoices,
                                                                     std::string_view number) {
    std::vector<std::pair<int32_t, data::InvoiceRecord>> out;
    data::InvoiceRecord probe;
    probe.setText(Invoice::InvNo, number);
    const std::string wanted = data::InvoiceKey(probe, 1);
    std::string key = wanted;
    int32_t recNo = storage::FindKeyAtOrAfter(invoices, 1, key);
    while (storage::EngineOk && key == wanted) {
        if (auto r = data::ReadBusinessRecord<Invoice>(invoices, recNo))
            out.emplace_back(recNo, *r);
        storage::NextKey(invoices, 1, key, recNo);
    }
    return out;
}

// The payment date on a record: invoice date (all its forms) and date paid.
void SetPaymentDate(data::InvoiceRecord& r, const data::Date& d, data::DateOrder order) {
    data::SetInvoiceDate(r, d, order);
    r.setText(Invoice::PaidDate, data::FormatSortDate(d));
}

struct Posting {
    SaveFiles& files;
    std::string custNo;
    std::string shortName;
    data::Date date;
    data::DateOrder order;
    std::string note;
    std::string counter;
    platform::Prompter& prompter;
    PostOutcome& outcome;

    void done(Money amount) {
        outcome.written += amount;
        ++outcome.posted;
    }
    // A write that failed: the whole payment is then taken back.
    bool writeFailed = false;
    void failed(std::string_view text, std::string_view number) {
        outcome.failed.emplace_back(number);
        writeFailed = true;
        ShowItemFailure(prompter, text, number);
    }

    void newDeposit(const PayItem& item) {
        const std::string next = NextDepositCounter(counter);
        const std::string number = "DP" + next;
        data::InvoiceRecord r = data::NewRecord<Invoice>();
        r.setText(Invoice::InvNo, number);
        r.setText(Invoice::TransType, "D");
        r.setText(Invoice::InvoiceStyle, "D");
        r.setText(Invoice::KeyCode, "Deposit");
        SetPaymentDate(r, date, order);
        r.setText(Invoice::CustNo, custNo);
        r.setText(Invoice::ShortName, shortName);
        r.setText(Invoice::StmntNote, note);
        r.setText(Invoice::CompanyNo, files.company.text(Company::CompanyNo));
        r.setText(Invoice::PrintedFlag, "N");
        r.setText(Invoice::RepeatEvery, "0");
        r.setText(Invoice::RepeatCreated, "0");
        const bool fits =
            r.setMoney(Invoice::Paid, item.amount) && r.setMoney(Invoice::BalanceDue, -item.amount);
        if (!fits || !data::AddBusinessRecord(files.invoices, r, prompter).ok()) {
            failed(kAddDepositFailed, kNewDeposit);
            return;
        }
        // The counter moves only with a deposit that is on file.
        counter = next;
        outcome.deposits.push_back(number);
        done(item.amount);
    }

    // The payment record beside an invoice: type X (or T for a deposit being applied).
    data::InvoiceRecord paymentRecord(const data::InvoiceRecord& of, Money amount) const {
        data::InvoiceRecord x = of;
        x.setText(Invoice::TransType, IsDepositNumber(NumberOf(of)) ? "T" : "X");
        SetPaymentDate(x, date, order);
        (void)x.setMoney(Invoice::Paid, amount);
        x.setText(Invoice::Total, "0.00");
        x.setText(Invoice::Tax, "0.00");
        x.setText(Invoice::BalanceDue, "0.00");
        x.setText(Invoice::PaidFlag, "P");
        x.setText(Invoice::StmntNote, note);
        return x;
    }

    // Adds the payment record first and changes the invoice after, taking the record back
    // out when the change fails, so that an item is either wholly on file or not at all.
    bool addThenChange(const data::InvoiceRecord& payment, int32_t recNo,
                       const data::InvoiceRecord& asRead, const data::InvoiceRecord& updated,
                       std::string_view addFailed, std::string_view number) {
        auto added = data::AddBusinessRecord(files.invoices, payment, prompter);
        if (!added.ok()) {
            failed(addFailed, number);
            return false;
        }
        if (!data::ChangeBusinessRecord(files.invoices, recNo, asRead, updated, prompter).ok()) {
            failed(kModifyFailed, number);
            return false;
        }
        return true;
    }

    void partial(const PayItem& item) {
        auto records = RecordsNumbered(files.invoices, item.number);
        auto it = std::find_if(records.begin(), records.end(), [](const auto& r) {
            const std::string t = TypeOf(r.second);
            return t == "I" || t == "Z" || t == "G";
        });
        if (it == records.end()) {
            failed(kModifyFailed, item.number);
            return;
        }
        const auto& [recNo, invoice] = *it;
        const Money due = invoice.money(Invoice::BalanceDue);
        if (PassesZero(due, item.amount)) {
            refuse(item, due);
            return;
        }
        data::InvoiceRecord updated = invoice;
        (void)updated.setMoney(Invoice::BalanceDue, due - item.amount);
        if ((due - item.amount).isZero()) {
            updated.setText(Invoice::PaidFlag, "P");
            updated.setText(Invoice::PaidDate, data::FormatSortDate(date));
        }
        updated.setText(Invoice::TransType, "Z");

        data::InvoiceRecord x = data::NewRecord<Invoice>();
        x.setText(Invoice::InvNo, invoice.text(Invoice::InvNo));
        x.setText(Invoice::TransType, "X");
        x.setText(Invoice::KeyCode, "Partial");
        x.setText(Invoice::InvoiceStyle, invoice.text(Invoice::InvoiceStyle));
        x.setText(Invoice::TaxRate, invoice.text(Invoice::TaxRate));
        SetPaymentDate(x, date, order);
        x.setText(Invoice::CustNo, custNo);
        x.setText(Invoice::ShortName, shortName);
        x.setText(Invoice::StmntNote, note);
        x.setText(Invoice::PaidFlag, "P");
        x.setText(Invoice::CompanyNo, files.company.text(Company::CompanyNo));
        x.setText(Invoice::PrintedFlag, "N");
        x.setText(Invoice::RepeatEvery, "0");
        x.setText(Invoice::RepeatCreated, "0");
        (void)x.setMoney(Invoice::Paid, item.amount);
        if (addThenChange(x, recNo, invoice, updated, kAddPartialFailed, item.number))
            done(item.amount);
    }

    void whole(const PayItem& item) {
        auto records = RecordsNumbered(files.invoices, item.number);
        if (records.empty()) {
            failed(kModifyFailed, item.number);
            return;
        }
        const auto& [recNo, first] = records.front();
        const Money due = first.money(Invoice::BalanceDue);
        if (PassesZero(due, item.amount)) {
            refuse(item, due);
            return;
        }
        if (item.amount != due) {
            // Less than the record owes: it can only be a partial payment of an invoice.
            const std::string t = TypeOf(first);
            if (t == "I" || t == "Z" || t == "G") {
                partial(item);
                return;
            }
            refuse(item, due);
            return;
        }
        const bool deposit = IsDepositNumber(NumberOf(first));
        data::InvoiceRecord updated = first;
        updated.setText(Invoice::PaidFlag, "P");
        updated.setText(Invoice::PaidDate, data::FormatSortDate(date));
        updated.setText(Invoice::BalanceDue, "0.00");
        if (!data::TrimText(note).empty()) updated.setText(Invoice::StmntNote, note);
        if (first.money(Invoice::Paid).isZero()) {
            (void)updated.setMoney(Invoice::Paid, item.amount);
            if (!data::ChangeBusinessRecord(files.invoices, recNo, first, updated, prompter).ok()) {
                failed(kModifyFailed, item.number);
                return;
            }
            done(item.amount);
            return;
        }
        // The record already carries a payment: an offsetting record takes this one.
        updated.setText(Invoice::TransType, deposit ? "D" : "Z");
        if (!addThenChange(paymentRecord(first, item.amount), recNo, first, updated,
                           kAddRegularFailed, item.number))
            return;
        done(item.amount);
        // Any other unpaid record of the number is settled with it.
        for (std::size_t i = 1; i < records.size(); ++i) {
            const auto& [otherNo, other] = records[i];
            if (IsPaid(other)) continue;
            data::InvoiceRecord settled = other;
            settled.setText(Invoice::PaidFlag, "P");
            settled.setText(Invoice::BalanceDue, "0.00");
            settled.setText(Invoice::PaidDate, data::FormatSortDate(date));
            settled.setText(Invoice::TransType, deposit ? "D" : "Z");
            if (!data::ChangeBusinessRecord(files.invoices, otherNo, other, settled, prompter).ok())
                failed(kModifyFailed, item.number);
        }
    }

    void refuse(const PayItem& item, Money due) {
        outcome.failed.push_back(item.number);
        Show(prompter, kPaymentWizard,
             "Item " + item.number + " has a balance due of " + due.shownText() +
                 ". A payment of " + item.amount.shownText() +
                 " would take it past zero, so it was not posted.");
    }
};

// The posting of a payment: the items in list order, then the customer and the company.
// True when every one of them was written.
bool PaymentBody(SaveFiles& files, std::string_view custNo, const data::Date& date,
                 data::DateOrder order, const std::string& note, const std::vector<PayItem>& items,
                 platform::Prompter& prompter, PostOutcome& outcome) {
    // The customer as the file holds it now.
    std::optional<data::ExistingFileblock> opened;
    storage::Fileblock* customers = files.customers;
    if (!customers) {
        opened.emplace();
        data::OpenExisting(*opened, files.folder, data::FileKind::Customer, files.prefix(),
                           prompter);
        customers = opened->fb;
    }
    std::optional<data::Found<Customer>> customer;
    if (customers) {
        data::CustomerRecord probe;
        probe.setText(Customer::CustNo, custNo);
        customer = data::FindAtOrAfter<Customer>(customers, 2, probe);
        if (customer && customer->key != data::CustomerKey(probe, 2)) customer.reset();
    }

    // The company file, and the company as it holds it now when a deposit takes its number
    // from the counter: read before any deposit is written, so that the counter is held
    // from there to the end of the posting and two payments never take the same number.
    data::ExistingFileblock companies;
    std::optional<data::Found<Company>> company;
    storage::Fileblock* companyFile = files.companies;
    auto readCompany = [&] {
        if (!companyFile) {
            data::OpenExisting(companies, files.folder, data::FileKind::Company, {}, prompter);
            companyFile = companies.fb;
        }
        if (!companyFile) return;
        data::CompanyRecord probe;
        probe.setAnsi(Company::CompanyNo, files.company.ansi(Company::CompanyNo));
        company = data::FindAtOrAfter<Company>(companyFile, 1, probe);
        if (company && company->key != data::CompanyKey(probe, 1)) company.reset();
    };
    const bool deposits = std::any_of(items.begin(), items.end(),
                                      [](const PayItem& item) { return item.isNewDeposit(); });
    if (deposits) {
        readCompany();
        if (!company) {
            Show(prompter, kPaymentWizard, kModifyFailed);
            return false;
        }
    }

    Posting p{
        files,
        std::string(custNo),
        customer ? customer->record.text(Customer::ShortName) : std::string(),
        date,
        order,
        note,
        company ? data::TrimmedText(company->record.text(Company::DepositCounter)) : std::string(),
        prompter,
        outcome};
    for (const PayItem& item : items) {
        if (p.writeFailed) break;  // the payment is taken back whole
        if (item.isNewDeposit())
            p.newDeposit(item);
        else if (item.partial)
            p.partial(item);
        else
            p.whole(item);
    }
    if (p.writeFailed) return false;

    // The customer: balance by what was written, last payment, aging from its records.
    if (customer) {
        data::CustomerRecord updated = customer->record;
        bool ok =
            updated.setMoney(Customer::Balance, updated.money(Customer::Balance) - outcome.written);
        if (outcome.posted > 0)
            updated.setText(Customer::LastPayDate, data::FormatUserDate(date, order));
        const AgingLimits limits = AgingLimitsOf(files.company).value_or(AgingLimits{});
        auto buckets =
            CustomerAgingBuckets(files.invoices, custNo, limits, files.today, order, prompter);
        if (buckets) {
            ok = updated.setMoney(Customer::Age0to30, (*buckets)[0]) &&
                 updated.setMoney(Customer::Age31to60, (*buckets)[1]) &&
                 updated.setMoney(Customer::Age61to90, (*buckets)[2]) &&
                 updated.setMoney(Customer::AgeOver90, (*buckets)[3]) && ok;
        }
        ok = ok && buckets.has_value();
        outcome.customerUpdated =
            ok && data::ChangeBusinessRecord(customers, customer->recNo, customer->record, updated,
                                             prompter)
                      .ok();
    }
    if (!outcome.customerUpdated) {
        Show(prompter, kPaymentWizard, kModifyFailed);
        return false;
    }

    // The company: receivables and, when deposits were written, the deposit counter, in
    // the file and in memory.
    if (!company) readCompany();
    if (company) {
        data::CompanyRecord updated = company->record;
        const Money ar = updated.money(Company::ARBalance) - outcome.written;
        if (updated.setMoney(Company::ARBalance, ar)) {
            if (!outcome.deposits.empty()) updated.setText(Company::DepositCounter, p.counter);
            if (data::ChangeBusinessRecord(companyFile, company->recNo, company->record, updated,
                                           prompter)
                    .ok()) {
                (void)files.company.setMoney(Company::ARBalance, ar);
                files.company.setText(Company::DepositCounter,
                                      updated.text(Company::DepositCounter));
                outcome.companyUpdated = true;
            }
        }
    }
    if (!outcome.companyUpdated) Show(prompter, kPaymentWizard, kModifyFailed);
    return outcome.companyUpdated;
}

}  // namespace

std::string PayItem::text() const {
    std::string t = data::PadRight(data::FirstChars(number, 9), 9) + " " +
                    data::PadRight(data::FirstChars(date, 8), 8) + " " +
                    data::PadLeft(amount.shownText(), 12);
    if (partial) t += "P";
    return t;
}

std::string ListDate(const data::InvoiceRecord& record, data::DateOrder order) {
    auto d = data::ParseUserDate(record.text(Invoice::InvDate), order);
    if (!d) d = data::ParseSortDate(record.text(Invoice::SortDate));
    if (!d) return data::FirstChars(record.text(Invoice::InvDate), 8);
    const std::string full = data::FormatUserDate(*d, order);  // "mm/dd/yyyy"
    return full.substr(0, 6) + full.substr(8, 2);
}

std::optional<std::vector<PayItem>> OpenItems(storage::Fileblock* invoices, std::string_view custNo,
                                              data::DateOrder order) {
    std::vector<PayItem> items;
    data::InvoiceRecord probe;
    probe.setText(Invoice::CustNo, custNo);
    const std::string wanted = data::InvoiceKey(probe, 2);
    std::string key = wanted;
    int32_t recNo = storage::FindKeyAtOrAfter(invoices, 2, key);
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<Invoice>(invoices, recNo);
        if (!r) return std::nullopt;
        const Money due = r->money(Invoice::BalanceDue);
        if (!IsPaid(*r) && !due.isZero() && IsReceivable(*r)) {
            PayItem item;
            item.number = data::TrimmedText(r->text(Invoice::InvNo));
            item.date = ListDate(*r, order);
            item.sortDate = r->text(Invoice::SortDate);
            item.amount = due;
            item.partial = item.fromPartial = TypeOf(*r) == "Z";
            items.push_back(item);
        }
        storage::NextKey(invoices, 2, key, recNo);
    }
    if (!storage::EngineOk && storage::EngineError != storage::err::KeyNotFound &&
        storage::EngineError != storage::err::NoNextEntry)
        return std::nullopt;
    std::sort(items.begin(), items.end(),
              [](const PayItem& a, const PayItem& b) { return a.text() < b.text(); });
    return items;
}

std::string NextDepositCounter(std::string_view counter) {
    long value = 15000;
    const std::string_view t = data::TrimText(counter);
    if (!t.empty() && t.size() <= 6 &&
        std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
        value = std::stol(std::string(t));
    ++value;
    if (value > 999998) value = 5000;
    return std::to_string(value);
}

// ------------------------------------------------------------------------ the window's state

PaymentBox::PaymentBox(const data::CompanyRecord& company, const data::Date& today)
    : order_(data::DateOrderFromCode(company.text(Company::DateFormatCode))), today_(today) {}

bool PaymentBox::chooseCustomer(const data::CustomerRecord& customer, storage::Fileblock* invoices,
                                platform::Prompter& prompter) {
    customer_ = customer;
    hasCustomer_ = true;
    left.clear();
    right.clear();
    payDate = data::FormatUserDate(today_, order_);
    paidText_ = "0.00";
    note.clear();
    auto items = OpenItems(invoices, customer.text(Customer::CustNo), order_);
    if (items) left = *items;
    if (customer.money(Customer::Balance) <= Money())
        Show(prompter, "Please Note", kNoBalanceDue, Icon::Information);
    return items.has_value();
}

void PaymentBox::paidAmountTyped(const std::string& text, platform::Prompter& prompter) {
    paidText_ = text;
    const std::string t = Cleaned(text);
    if (t.empty()) return;
    if (t.find('-') != std::string::npos) {
        Show(prompter, "Paid Amount", kNegativePayment);
        return;
    }
    // A whole number, or one whose first character that is not a digit is the point.
    const auto bad = std::find_if(t.begin(), t.end(), [](char c) { return c < '0' || c > '9'; });
    if (bad != t.end() && *bad != '.') {
        Show(prompter, "Invalid Payment Amount", kPaymentNotNumeric);
        return;
    }
    auto paid = paidAmount();
    if (paid && hasCustomer_ && *paid == customer_.money(Customer::Balance) && !left.empty()) {
        for (PayItem& item : left)
            right.push_back(item);
        left.clear();
    }
}

std::optional<Money> PaymentBox::paidAmount() const {
    return data::ParseMoney(Cleaned(paidText_));
}

Money PaymentBox::posted() const {
    Money sum;
    for (const PayItem& item : right)
        sum += item.amount;
    return sum;
}

bool PaymentBox::postEnabled() const {
    auto paid = paidAmount();
    return paid && !right.empty() && *paid == posted();
}

void PaymentBox::sortLeft() {
    std::stable_sort(left.begin(), left.end(),
                     [](const PayItem& a, const PayItem& b) { return a.text() < b.text(); });
}

void PaymentBox::putLeft(PayItem item) {
    if (item.partial && !item.isNewDeposit()) {
        // A partial payment returns to its invoice: to the item still open on the left, or
        // together with the rest of the invoice when that was moved right.
        auto same = [&](const PayItem& o) { return o.number == item.number; };
        auto l = std::find_if(left.begin(), left.end(), same);
        if (l != left.end()) {
            l->amount += item.amount;
            sortLeft();
            return;
        }
        auto r = std::find_if(right.begin(), right.end(),
                              [&](const PayItem& o) { return same(o) && !o.partial; });
        if (r != right.end()) {
            item.amount += r->amount;
            right.erase(r);
        }
        item.partial = item.fromPartial;
    }
    left.push_back(item);
    sortLeft();
}

bool PaymentBox::moveRight(std::size_t index, platform::Prompter& prompter) {
    if (left.empty()) {
        Show(prompter, kPaymentWizard, kNothingToMoveRight);
        return false;
    }
    if (index >= left.size()) return false;
    right.push_back(left[index]);
    left.erase(left.begin() + std::ptrdiff_t(index));
    return true;
}

bool PaymentBox::moveAllRight(platform::Prompter& prompter) {
    if (left.empty()) {
        Show(prompter, kPaymentWizard, kNothingToMoveRight);
        return false;
    }
    for (PayItem& item : left)
        right.push_back(item);
    left.clear();
    return true;
}

bool PaymentBox::moveLeft(std::size_t index, platform::Prompter& prompter) {
    if (right.empty()) {
        Show(prompter, kPaymentWizard, kNothingToMoveLeft);
        return false;
    }
    if (index >= right.size()) return false;
    PayItem item = right[index];
    right.erase(right.begin() + std::ptrdiff_t(index));
    putLeft(item);
    return true;
}

bool PaymentBox::moveAllLeft(platform::Prompter& prompter) {
    if (right.empty()) {
        Show(prompter, kPaymentWizard, kNothingToMoveLeft);
        return false;
    }
    // Partial payments last, so that each finds the rest of its invoice on the left.
    std::vector<PayItem> items = right;
    right.clear();
    std::stable_partition(items.begin(), items.end(), [](const PayItem& i) { return !i.partial; });
    for (PayItem& item : items)
        putLeft(item);
    return true;
}

bool PaymentBox::partialEnabled(std::size_t leftIndex) const {
    return leftIndex < left.size() && left[leftIndex].amount > Money() &&
           !left[leftIndex].isNewDeposit();
}

std::string PaymentBox::partialLabel(std::size_t leftIndex) const {
    if (leftIndex >= left.size()) return {};
    return "Invoice: " + left[leftIndex].number + "   Date: " + left[leftIndex].date;
}

std::string PaymentBox::depositLabel() const {
    return "Invoice: DEPOSIT     Date: " + payDate;
}

std::optional<Money> PaymentBox::checkPartialAmount(std::size_t leftIndex, const std::string& text,
                                                    platform::Prompter& prompter) const {
    auto amount = data::ParseMoney(Cleaned(text));
    if (!amount || *amount <= Money()) {
        Show(prompter, "Payment Amount", kAmountNotAboveZero);
        return std::nullopt;
    }
    if (leftIndex >= left.size() || *amount >= left[leftIndex].amount) {
        Show(prompter, "Partial Payment Amount", kPartialNotBelowDue);
        return std::nullopt;
    }
    return amount;
}

std::optional<Money> PaymentBox::CheckDepositAmount(const std::string& text,
                                                    platform::Prompter& prompter) {
    auto amount = data::ParseMoney(Cleaned(text));
    if (!amount || *amount <= Money()) {
        Show(prompter, "Payment Amount", kAmountNotAboveZero);
        return std::nullopt;
    }
    return amount;
}

void PaymentBox::partialPayment(std::size_t leftIndex, Money amount) {
    if (leftIndex >= left.size()) return;
    PayItem paid = left[leftIndex];
    paid.amount = amount;
    paid.partial = true;
    right.push_back(paid);
    left[leftIndex].amount -= amount;
    sortLeft();
}

void PaymentBox::addDeposit(Money amount) {
    PayItem item;
    item.number = std::string(kNewDeposit);
    const std::string full = payDate;
    auto d = data::ParseUserDate(payDate, order_);
    if (d) {
        const std::string f = data::FormatUserDate(*d, order_);
        item.date = f.substr(0, 6) + f.substr(8, 2);
    } else {
        item.date = data::FirstChars(full, 8);
    }
    item.amount = amount;
    right.push_back(item);
}

// ------------------------------------------------------------------------------- posting

PostOutcome PostPayment(SaveFiles& files, std::string_view custNo, const std::string& payDate,
                        const std::string& note, const std::vector<PayItem>& items,
                        platform::Prompter& prompter) {
    PostOutcome outcome;
    const data::DateOrder order =
        data::DateOrderFromCode(files.company.text(Company::DateFormatCode));
    auto date = data::ParseUserDate(payDate, order);
    if (!date) {
        outcome.dateValid = false;
        Show(prompter, "Payment Date", kBadPaymentDate);
        return outcome;
    }

    // Every item, the customer's balance, last payment and aging and the company's
    // receivables and deposit counter are written together or not at all: one posting,
    // run again whole when it meets a lock, its messages shown once it has ended.
    bool allWritten = false;
    bool ran = false;
    const data::PostingRun run =
        data::RunPosting(prompter, [&](data::Posting& posting, platform::Prompter& held) {
            ran = true;
            outcome = PostOutcome{};
            posting.keep(files.company);
            allWritten = PaymentBody(files, custNo, *date, order, note, items, held, outcome);
            return allWritten;
        });
    if (run.committed) return outcome;
    // Nothing of it is on file: the items stay to be posted again.
    PostOutcome none;
    none.failed.reserve(items.size());
    for (const PayItem& item : items)
        none.failed.push_back(item.isNewDeposit() ? std::string(kNewDeposit) : item.number);
    if (allWritten || !ran) Show(prompter, kPaymentWizard, kModifyFailed);
    return none;
}

}  // namespace invarro::invoicing
