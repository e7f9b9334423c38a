#include "output/CStmnt.h"

#include <algorithm>
#include <cctype>

#include "data/Ansi.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/Update.h"
#include "output/EMail.h"
#include "output/InvDoc.h"
#include "output/Labelwiz.h"
#include "storage/BTree.h"

namespace invarro::output {

namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::Money;
using data::TrimmedText;

bool gBatchActive = false;

// Batch mode and the status window for the life of the object: every way out of the run
// turns batch mode off and closes the window.
class BatchScope {
  public:
    BatchScope(platform::Progress& progress, std::string title)
        : progress_(progress), title_(std::move(title)) {
        gBatchActive = true;
    }
    ~BatchScope() {
        close();
        gBatchActive = false;
    }
    BatchScope(const BatchScope&) = delete;
    BatchScope& operator=(const BatchScope&) = delete;
    void open() {
        if (open_) return;
        progress_.start(title_, 2);
        progress_.setLine(0, "Working...");
        open_ = true;
    }
    void close() {
        if (open_) progress_.finish();
        open_ = false;
    }

  private:
    platform::Progress& progress_;
    std::string title_;
    bool open_ = false;
};

char TypeLetter(const data::InvoiceRecord& r) {
    const std::string t = data::UpperText(data::TrimText(r.text(Invoice::TransType)));
    return t.empty() ? ' ' : t[0];
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string TypeWording(char type, const FormTexts& t) {
    switch (type) {
        case 'I':
            return CaptionWord(t.invoiceCaption);
        case 'Q':
            return CaptionWord(t.quoteCaption);
        case 'X':
            return "Partial Payment Made";
        case 'Z':
            return "Partial Payment Invoice";
        case 'D':
            return "Deposit on Account";
        case 'T':
            return "Deposit Offset Applied";
        case 'G':
            return "Repeat Billing";
        case 'R':
            return "Repeat Master";
        default:
            return {};
    }
}

std::string Shown(Money m) {
    return m.shownText();
}

// The cells a row is ordered by: sort date first, then the other cells in column order.
std::string OrderText(const StatementRow& r) {
    return Lower(r.sortDate + r.number + r.reference + Shown(r.total) + Shown(r.paid) +
                 Shown(r.balance) + std::string(1, r.type));
}

std::string PadRight(std::string s, size_t n) {
    const size_t len = data::CharCount(s);
    if (len < n) s.append(n - len, ' ');
    return s;
}

std::string PadLeft(const std::string& s, size_t n) {
    const size_t len = data::CharCount(s);
    return len < n ? std::string(n - len, ' ') + s : s;
}

}  // namespace

bool StatementPeriod::contains(const std::string& sortDate) const {
    if (!from && !to) return true;
    const auto d = data::ParseSortDate(sortDate);
    if (!d) return false;  // an undated row cannot be placed in a period
    if (from && data::DayNumber(*d) < data::DayNumber(*from)) return false;
    if (to && data::DayNumber(*d) > data::DayNumber(*to)) return false;
    return true;
}

Statement BuildStatement(const StatementFiles& files, std::string_view custNo, bool unpaidOnly,
                         const data::CompanyRecord& company, const StatementPeriod& period,
                         LabelQueue* batchLabels) {
    Statement s;
    s.unpaidOnly = unpaidOnly;
    s.custNo = TrimmedText(custNo);
    if (auto c = FindCustomerByNumber(files.customers, custNo)) {
        s.customerFound = true;
        s.custNo = TrimmedText(c->text(Customer::CustNo));
        s.name = TrimmedText(c->text(Customer::Name));
        s.address = {c->text(Customer::Name), c->text(Customer::BillAddr1),
                     c->text(Customer::BillAddr2), c->text(Customer::BillAddr3),
                     c->text(Customer::BillAddr4)};
        s.eMail = TrimmedText(c->text(Customer::EMail));
        s.mailSortCode = TrimmedText(c->text(Customer::MailSortCode));
        s.custType = TrimmedText(c->text(Customer::CustType));
        s.notesOnStatement = c->yes(Customer::NotesOnStatement);
        s.notes = TrimmedText(c->text(Customer::Notes));
        s.balance = c->money(Customer::Balance);
        s.aging = {c->money(Customer::Age0to30), c->money(Customer::Age31to60),
                   c->money(Customer::Age61to90), c->money(Customer::AgeOver90)};
        if (batchLabels) batchLabels->add(LabelEntry{s.custNo, s.name, s.mailSortCode, s.custType});
    }
    if (!files.invoices || s.custNo.empty()) return s;

    const FormTexts texts = ReadFormTexts(company);
    const data::DateOrder order =
        data::DateOrderFromCode(TrimmedText(company.text(Company::DateFormatCode)));
    data::InvoiceRecord probe;
    probe.setText(Invoice::CustNo, s.custNo);
    const std::string wanted = data::InvoiceKey(probe, 2);
    std::string key = wanted;
    int32_t recNo = storage::FindKeyAtOrAfter(files.invoices, 2, key);
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<Invoice>(files.invoices, recNo);
        if (!r) {
            s.readError = true;
            break;
        }
        const Money due = r->money(Invoice::BalanceDue);
        const std::string sortDate = TrimmedText(r->text(Invoice::SortDate));
        if (r->live() && data::IsReceivable(*r) && (!unpaidOnly || !due.isZero()) &&
            period.contains(sortDate)) {
            StatementRow row;
            row.type = TypeLetter(*r);
            row.sortDate = sortDate;
            row.date = data::UserDateFromSortDate(sortDate, order).value_or(sortDate);
            row.number = TrimmedText(r->text(Invoice::InvNo));
            row.reference = TrimmedText(r->text(Invoice::StmntNote));
            if (row.reference.empty()) row.reference = TypeWording(row.type, texts);
            row.total = r->money(Invoice::Total);
            row.paid = r->money(Invoice::Paid);
            row.balance = due;
            if (unpaidOnly && row.type == 'Z') row.paid = row.total - row.balance;
            s.totalSum += row.total;
            s.paidSum += row.paid;
            s.balanceSum += row.balance;
            s.rows.push_back(std::move(row));
        }
        storage::NextKey(files.invoices, 2, key, recNo);
    }
    if (!storage::EngineOk && storage::EngineError != storage::err::KeyNotFound &&
        storage::EngineError != storage::err::NoNextEntry)
        s.readError = true;
    std::stable_sort(
        s.rows.begin(), s.rows.end(),
        [](const StatementRow& a, const StatementRow& b) { return OrderText(a) < OrderText(b); });
    return s;
}

std::string SelectedCountText(const Statement& s) {
    return "There are " + std::to_string(s.rows.size()) + " records selected.";
}

std::vector<StatementGridRow> StatementGrid(const Statement& s,
                                            const data::CompanyRecord& company) {
    const bool dayFirst =
        data::DateOrderFromCode(TrimmedText(company.text(Company::DateFormatCode))) ==
        data::DateOrder::DayFirst;
    std::vector<StatementGridRow> grid;
    grid.push_back({dayFirst ? "Dy/Mo/Year" : "Mo/Dy/Year", "Invoice#", "Reference/Comment",
                    "Total Amount", "Paid Amount", "Balance Due", "C"});
    for (const StatementRow& r : s.rows)
        grid.push_back({r.date, r.number, r.reference, Shown(r.total), Shown(r.paid),
                        Shown(r.balance), std::string(1, r.type)});
    const std::string cur = ReadFormTexts(company).currency;
    grid.push_back({"", "", std::string(kAccountTotals), cur + Shown(s.totalSum),
                    cur + Shown(s.paidSum), cur + Shown(s.balanceSum), ""});
    return grid;
}

// ------------------------------------------------------------------------ e-mail text

std::string StatementMail::recipientText() const {
    std::string out;
    for (const std::string& r : recipients) {
        if (!out.empty()) out += ",";
        out += r;
    }
    return out;
}

StatementMail EmailStatementText(const Statement& s, const data::CompanyRecord& company,
                                 const data::Date& today) {
    StatementMail m;
    const std::string caption = TrimmedText(company.text(Company::StatementCaption));
    const std::string own = TrimmedText(company.text(Company::EMailAddress));
    m.from = own;
    if (!UsableAddressList(s.eMail)) {
        m.badAddress = true;
        m.subject = "BAD CUSTOMER E-MAIL: " + s.name;
        m.recipients = {own};
    } else {
        m.subject = caption + " - " + s.name;
        m.recipients = SplitAddressList(AddressListRule(s.eMail));
    }

    const data::DateOrder order =
        data::DateOrderFromCode(TrimmedText(company.text(Company::DateFormatCode)));
    const std::string rule = company.yes(Company::EMailLines) ? std::string(80, '-') : "";
    std::vector<std::string>& b = m.body;
    b.push_back(TrimmedText(company.text(Company::Name)) + PadLeft(caption, 35));
    for (auto f :
         {Company::CoAddr1, Company::CoAddr2, Company::CoAddr3, Company::CoAddr4, Company::CoAddr5})
        b.push_back(TrimmedText(company.text(f)));
    b.push_back(rule);
    for (const std::string& line : s.address)
        if (!data::TrimText(line).empty()) b.push_back(TrimmedText(line));
    b.push_back(rule);
    b.push_back("Statement Date: " + data::FormatUserDate(today, order));
    b.push_back("Account Number: " + s.custNo);
    b.push_back(TrimmedText(company.text(Company::StmntNote)));
    b.push_back(rule);
    for (const StatementRow& r : s.rows) {
        b.push_back("*** Date: " + PadRight(r.date, 10) +
                    "   Invoice Number: " + PadRight(r.number, 9));
        b.push_back("Description: " + r.reference);
        b.push_back("Total: " + Shown(r.total));
        b.push_back("Paid: " + Shown(r.paid));
        b.push_back("Balance: " + Shown(r.balance));
        b.push_back("");
    }
    const std::string cur = ReadFormTexts(company).currency;
    b.push_back(rule);
    b.push_back("Total Charges: " + cur + Shown(s.totalSum));
    b.push_back("Total Payments: " + cur + Shown(s.paidSum));
    b.push_back("Total Balance Due: " + cur + Shown(s.balanceSum));
    b.push_back(rule);
    if (company.byte(Company::PrintSalesMsg)) {
        if (s.notesOnStatement) {
            if (!s.notes.empty()) b.push_back(s.notes);
        } else {
            for (auto f :
                 {Company::SalesMsg1, Company::SalesMsg2, Company::SalesMsg3, Company::SalesMsg4})
                b.push_back(TrimmedText(company.text(f)));
        }
    }
    if (company.byte(Company::PrintCustAging)) {
        const auto captions = AgingCaptions(company);
        b.push_back("");
        b.push_back("Account Status:");
        for (size_t i = 0; i < 3; ++i)
            b.push_back(captions[i] + " " + Shown(s.aging[i]));
        b.push_back("Over " + TrimmedText(company.text(Company::AgingDays3)) + ": " +
                    Shown(s.aging[3]));
    }
    return m;
}

// ------------------------------------------------------------------------ batch

bool TakesCustomer(const data::CustomerRecord& c, const BatchSelection& sel) {
    if (sel.excludeEmail) {
        const size_t len = data::CharCount(data::TrimText(c.text(Customer::EMail)));
        if (sel.emailMode && len == 0) return false;
        if (!sel.emailMode && len > 1) return false;
    }
    const Money balance = c.money(Customer::Balance);
    if (sel.skipNegative && balance < Money()) return false;
    const bool a60 = !c.money(Customer::Age31to60).isZero();
    const bool a90 = !c.money(Customer::Age61to90).isZero();
    const bool over = !c.money(Customer::AgeOver90).isZero();
    switch (sel.balance) {
        case BalanceTest::NonZero:
            return !balance.isZero();
        case BalanceTest::Over30:
            return a60 || a90 || over;
        case BalanceTest::Over60:
            return a90 || over;
        case BalanceTest::Over90:
            return over;
    }
    return false;
}

std::optional<std::vector<std::string>> SelectStatementCustomers(
    const StatementFiles& files, const BatchSelection& sel, const data::CompanyRecord& company) {
    std::vector<std::string> out;
    if (!files.customers) return std::nullopt;
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(files.customers, 1, key);
    while (storage::EngineOk) {
        auto c = data::ReadBusinessRecord<Customer>(files.customers, recNo);
        if (!c) return std::nullopt;
        if (c->live() && TakesCustomer(*c, sel)) {
            const std::string no = TrimmedText(c->text(Customer::CustNo));
            bool take = true;
            if (sel.period.from || sel.period.to)
                take = BuildStatement(files, no, sel.unpaidOnly, company, sel.period).hasActivity();
            if (take) out.push_back(no);
        }
        storage::NextKey(files.customers, 1, key, recNo);
    }
    if (storage::EngineError != storage::err::KeyNotFound &&
        storage::EngineError != storage::err::NoNextEntry)
        return std::nullopt;
    return out;
}

std::array<std::string, 4> BalanceOptionCaptions(const data::CompanyRecord& c) {
    auto orDays = [&](auto caption, auto days) {
        const std::string t = TrimmedText(c.text(caption));
        return t.empty() ? TrimmedText(c.text(days)) : t;
    };
    return {"All non-zero balances", orDays(Company::AgingCaption2, Company::AgingDays2),
            orDays(Company::AgingCaption3, Company::AgingDays3),
            "Over " + TrimmedText(c.text(Company::AgingDays3))};
}

std::optional<int> BatchSize(std::string_view typed, int count) {
    const std::string_view t = data::TrimText(typed);
    if (t.empty()) return std::nullopt;
    long value = 0;
    for (char ch : t) {
        if (!std::isdigit(static_cast<unsigned char>(ch))) return std::nullopt;
        value = std::min(100000L, value * 10 + (ch - '0'));
    }
    return int(std::clamp<long>(value, 1, std::max(1, count)));
}

bool StatementBatchActive() {
    return gBatchActive;
}

BatchOutcome RunStatementBatch(const StatementFiles& files, const BatchRun& run,
                               const data::CompanyRecord& company, LabelQueue* labels,
                               platform::Prompter& prompter, platform::Progress& progress,
                               const BatchHooks& hooks) {
    BatchOutcome out;
    const int count = int(run.customers.size());
    if (count == 0) return out;
    const int b = std::clamp(run.batchSize, 1, count);
    LabelQueue* queue = company.yes(Company::LabelQueueOnBatch) ? labels : nullptr;
    const std::string mode(run.emailMode ? kEMailModeTitle : kPrinterModeTitle);

    BatchScope window(progress, mode);
    window.open();
    int cycle = 0;
    for (int k = 1; k <= count; ++k) {
        const Statement s = BuildStatement(files, run.customers[size_t(k - 1)], run.unpaidOnly,
                                           company, run.period, queue);
        progress.setLine(1, (run.emailMode ? "E-Mailing Statement " : "Printing Statement ") +
                                std::to_string(k) + " ...");
        if (!hooks.render || !hooks.render(s)) return out;
        ++out.done;
        ++cycle;
        if (hooks.status)
            hooks.status("Spooling statement " + std::to_string(k) + " of " +
                         std::to_string(count) + " (batches of " + std::to_string(b) + ") ...");
        if (!progress.step()) {
            prompter.inform(std::string(kBatchTitle), std::string(kBatchCanceled),
                            platform::Icon::Information);
            out.canceled = true;
            return out;
        }
        if (cycle == b && k < count) {
            window.close();
            prompter.inform("Batch Job Pause...",
                            "Pausing batch job. Select Yes when ready to continue...",
                            platform::Icon::Information);
            const bool goOn = prompter.yesNo(
                "Batch Job Pause...",
                std::to_string(b) + " statements processed during this cycle. There are " +
                    std::to_string(count - k) + " statements remaining. Do you want to continue?");
            if (!goOn) {
                prompter.inform(std::string(kBatchTitle), std::string(kBatchCanceled),
                                platform::Icon::Information);
                out.canceled = true;
                return out;
            }
            cycle = 0;
            window.open();
        }
    }
    out.completed = true;
    return out;
}

bool StoreLastBatchDate(const std::string& folder, data::CompanyRecord& company,
                        const data::Date& today, platform::Prompter& prompter) {
    const data::DateOrder order =
        data::DateOrderFromCode(TrimmedText(company.text(Company::DateFormatCode)));
    const std::string date = data::FormatUserDate(today, order);
    data::ExistingFileblock companies;
    data::OpenExisting(companies, folder, data::FileKind::Company, {}, prompter);
    if (!companies.fb) return false;
    data::CompanyRecord probe;
    probe.setAnsi(Company::CompanyNo, company.ansi(Company::CompanyNo));
    auto found = data::FindAtOrAfter<Company>(companies.fb, 1, probe);
    if (!found || found->key != data::CompanyKey(probe, 1)) return false;
    data::CompanyRecord changed = found->record;
    changed.setText(Company::LastBatchStmntDate, date);
    if (!data::ChangeBusinessRecord(companies.fb, found->recNo, found->record, changed, prompter)
             .ok())
        return false;
    company.setText(Company::LastBatchStmntDate, date);
    return true;
}

}  // namespace invarro::output
