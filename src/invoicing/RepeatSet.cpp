#include "invoicing/RepeatSet.h"

#include "data/Ansi.h"
#include "data/Keys.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "invoicing/InvManage.h"
#include "storage/BTree.h"

namespace invarro::invoicing {

namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Money;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;

std::string Upper(std::string_view text) {
    return data::UpperText(data::TrimText(text));
}

void Warn(platform::Prompter& prompter, std::string_view title, std::string_view text) {
    prompter.ask(
        Message{std::string(title), std::string(text), Icon::Warning, Buttons::Ok, Answer::Ok});
}

// A record with exactly this number is on file (key 1, compared trimmed and upper case).
bool NumberOnFile(storage::Fileblock* invoices, std::string_view number) {
    data::InvoiceRecord probe;
    probe.setText(Invoice::InvNo, number);
    std::string key = data::InvoiceKey(probe, 1);
    const std::string wanted = key;
    int32_t recNo = storage::FindKeyAtOrAfter(invoices, 1, key);
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<Invoice>(invoices, recNo);
        if (r && Upper(r->text(Invoice::InvNo)) == Upper(number)) return true;
        storage::NextKey(invoices, 1, key, recNo);
    }
    return false;
}

// The record with exactly this number (key 1), if any.
std::optional<data::InvoiceRecord> NumberedRecord(storage::Fileblock* invoices,
                                                  std::string_view number) {
    data::InvoiceRecord probe;
    probe.setText(Invoice::InvNo, number);
    std::string key = data::InvoiceKey(probe, 1);
    const std::string wanted = key;
    int32_t recNo = storage::FindKeyAtOrAfter(invoices, 1, key);
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<Invoice>(invoices, recNo);
        if (r && Upper(r->text(Invoice::InvNo)) == Upper(number)) return r;
        storage::NextKey(invoices, 1, key, recNo);
    }
    return std::nullopt;
}

// The master of this number (type R), by key 1.
std::optional<data::Found<Invoice>> FindMaster(storage::Fileblock* invoices,
                                               std::string_view number) {
    data::InvoiceRecord probe;
    probe.setText(Invoice::InvNo, number);
    std::string key = data::InvoiceKey(probe, 1);
    const std::string wanted = key;
    int32_t recNo = storage::FindKeyAtOrAfter(invoices, 1, key);
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<Invoice>(invoices, recNo);
        if (r && Upper(r->text(Invoice::InvNo)) == Upper(number) &&
            Upper(r->text(Invoice::TransType)) == "R")
            return data::Found<Invoice>{recNo, key, *r};
        storage::NextKey(invoices, 1, key, recNo);
    }
    return std::nullopt;
}

enum class Generated { Written, Skipped, AlreadyBilled };
Generated GenerateOne(SaveFiles& files, std::string_view listed, const data::Date& invoiceDate,
                      const std::string& reference, data::DateOrder order,
                      platform::Prompter& prompter, GenerationOutcome& out);

SetupResult SetUp(SaveFiles& files, int32_t recNo, const data::InvoiceRecord& asRead,
                  const RepeatSetupEntry& entry, data::DateOrder order,
                  platform::Prompter& prompter, const GenerationRun* first);

}  // namespace

// ------------------------------------------------------------------------ schedule

std::optional<data::Date> AddMonths(const data::Date& date, int months) {
    const int index = date.year * 12 + (date.month - 1) + months;
    data::Date d{index / 12, index % 12 + 1, 1};
    if (d.year < 1 || d.year > 9999) return std::nullopt;
    d.day = std::min(date.day, data::DaysInMonth(d.year, d.month));
    return d;
}

std::optional<data::Date> NextCreationDate(const data::Date& from, RepeatUnit unit, int every) {
    if (unit == RepeatUnit::Months) return AddMonths(from, every);
    const data::Date d = data::AddDays(from, every);
    if (!data::IsValidDate(d)) return std::nullopt;
    return d;
}

std::string StoredNextDue(const data::Date& d) {
    return data::FormatUserDate(d, data::DateOrder::MonthFirst);
}

std::optional<data::Date> ParseNextDue(std::string_view stored) {
    return data::ParseUserDate(stored, data::DateOrder::MonthFirst);
}

std::string GeneratedNumber(std::string_view masterNo, int count) {
    return data::TrimmedText(masterNo) + "G" + std::to_string(count);
}

int StoredCount(std::string_view text) {
    auto n = data::WholeNumber(text);
    return n && *n > 0 ? int(*n) : 0;
}

// ------------------------------------------------------------------------- set-up

bool CheckRepeatSetup(const data::InvoiceRecord& record, platform::Prompter& prompter) {
    const std::string type = Upper(record.text(Invoice::TransType));
    if (type == "I" && record.money(Invoice::Paid) > Money()) {
        Warn(prompter, "Payment Acivity", kPaymentActivity);
        return false;
    }
    if (type != "I" && type != "R") {
        Warn(prompter, "Transaction Type", kWrongType);
        return false;
    }
    if (data::CharCount(data::TrimText(record.text(Invoice::InvNo))) >= 6) {
        Warn(prompter, kSetupHelp, kNumberTooLong);
        return false;
    }
    return true;
}

RepeatSetupEntry SetupEntryFor(const data::InvoiceRecord& record, data::DateOrder order) {
    RepeatSetupEntry e;
    e.invoiceLabel = "Invoice Number: " + data::TrimmedText(record.text(Invoice::InvNo));
    std::string date = data::TrimmedText(record.text(Invoice::InvDate));
    if (auto d = data::ParseSortDate(record.text(Invoice::SortDate)))
        date = data::FormatUserDate(*d, order);
    e.dateLabel = date;
    e.customerLabel = "Short Name: " + data::TrimmedText(record.text(Invoice::ShortName)) +
                      "      Customer#: " + data::TrimmedText(record.text(Invoice::CustNo));
    std::string every = data::TrimmedText(record.text(Invoice::RepeatEvery));
    if (every.empty()) every = "0";
    const int count = StoredCount(record.text(Invoice::RepeatCreated));
    if (Upper(record.text(Invoice::TransType)) == "R") {
        e.boxEnabled = false;
        e.generate = true;
        e.every = every;
        e.unit =
            Upper(record.text(Invoice::RepeatUnit)) == "M" ? RepeatUnit::Months : RepeatUnit::Days;
        auto next = ParseNextDue(record.text(Invoice::NextDue));
        e.nextDate = next ? data::FormatUserDate(*next, order)
                          : data::TrimmedText(record.text(Invoice::NextDue));
    } else {
        e.boxEnabled = true;
        e.generate = false;
        e.every = "1";
        e.unit = RepeatUnit::Months;
        e.nextDate = date;
    }
    e.panelVisible = count < 1;
    e.countLabel = "Invoices Generated to Date: " + std::to_string(count);
    return e;
}

SetupFocus CheckSetupEntry(const RepeatSetupEntry& entry, data::DateOrder order,
                           platform::Prompter& prompter) {
    const std::string every = data::TrimmedText(entry.every);
    const char* title = "Number of Days/Months";
    if (every.empty()) {
        Warn(prompter, title, kNeedInterval);
        return SetupFocus::Every;
    }
    auto n = data::WholeNumber(every);
    if (!n) {
        Warn(prompter, title, kIntervalNotNumber);
        return SetupFocus::Every;
    }
    // The box must be ticked for OK; the interval then runs from 1 to 999.
    if (!entry.generate || *n < 1) {
        Warn(prompter, title, kNeedInterval);
        return SetupFocus::Every;
    }
    if (*n > kMaxGenerated) {
        Warn(prompter, title, kIntervalNotNumber);
        return SetupFocus::Every;
    }
    const std::string date = data::TrimmedText(entry.nextDate);
    if (data::CharCount(date) < 10 || !data::ParseUserDate(date, order)) {
        Warn(prompter, "Start Date", kInvalidStartDate);
        return SetupFocus::NextDate;
    }
    return SetupFocus::None;
}

SetupNotice SetupNoticeFor(const data::InvoiceRecord& record, const RepeatSetupEntry& entry,
                           data::DateOrder order, const data::Date& today) {
    SetupNotice n;
    n.converts = Upper(record.text(Invoice::TransType)) == "I";
    if (!n.converts) return n;
    const std::string number = data::TrimmedText(record.text(Invoice::InvNo));
    const std::string amount = record.money(Invoice::Total).shownText();
    n.firstNumber = GeneratedNumber(number, StoredCount(record.text(Invoice::RepeatCreated)) + 1);
    const auto first = data::ParseUserDate(data::TrimText(entry.nextDate), order);
    const std::string firstDate =
        first ? data::FormatUserDate(*first, order) : data::TrimmedText(entry.nextDate);
    n.dueNow = first && *first <= today;
    n.text = "Invoice " + number + " of " + amount +
             " becomes a repeat billing master. It is no longer a receivable until its first "
             "generated invoice takes its place: the balance of customer " +
             data::TrimmedText(record.text(Invoice::CustNo)) +
             " and the company's receivables fall by " + amount + ".\n\n";
    if (n.dueNow) {
        n.text += "The first invoice, " + n.firstNumber + " of " + amount + ", is due on " +
                  firstDate + ". Generate it now, dated " + data::FormatUserDate(today, order) +
                  "?\n\nYes: set up and generate it now. No: set up only; the Repeat Billing "
                  "Wizard generates it. Cancel: change nothing.";
    } else {
        n.text += "The first invoice, " + n.firstNumber + " of " + amount +
                  ", will be generated on " + firstDate +
                  " by the Repeat Billing Wizard.\n\nSet up the repeat billing?";
    }
    return n;
}

SetupChoice ConfirmRepeatSetup(const SetupNotice& notice, platform::Prompter& prompter) {
    if (!notice.converts) return SetupChoice::SetUp;
    if (!notice.dueNow)
        return prompter.yesNo(std::string(kSetupCaption), notice.text, Answer::Yes)
                   ? SetupChoice::SetUp
                   : SetupChoice::Cancel;
    switch (prompter.ask(Message{std::string(kSetupCaption), notice.text, Icon::Question,
                                 Buttons::YesNoCancel, Answer::Yes})) {
        case Answer::Yes:
            return SetupChoice::SetUpAndGenerate;
        case Answer::No:
            return SetupChoice::SetUp;
        default:
            return SetupChoice::Cancel;
    }
}

SetupResult ApplyRepeatSetup(SaveFiles& files, int32_t recNo, const data::InvoiceRecord& asRead,
                             const RepeatSetupEntry& entry, data::DateOrder order,
                             platform::Prompter& prompter) {
    return SetUp(files, recNo, asRead, entry, order, prompter, nullptr);
}

SetupResult ApplyRepeatSetupAndGenerate(SaveFiles& files, int32_t recNo,
                                        const data::InvoiceRecord& asRead,
                                        const RepeatSetupEntry& entry, data::DateOrder order,
                                        platform::Prompter& prompter, const GenerationRun& run) {
    return SetUp(files, recNo, asRead, entry, order, prompter, &run);
}

namespace {

// The set-up's posting: the invoice (or master) is read inside it, so that on a server it
// stays locked until the posting ends; throws InvoiceError when it cannot be made.
SetupResult SetUpBody(SaveFiles& files, int32_t recNo, const data::InvoiceRecord& asRead,
                      const RepeatSetupEntry& entry, data::DateOrder order,
                      platform::Prompter& prompter, const GenerationRun* first) {
    auto current = data::ReadBusinessRecord<Invoice>(files.invoices, recNo);
    if (!current || Upper(current->text(Invoice::InvNo)) != Upper(asRead.text(Invoice::InvNo)))
        throw InvoiceError(std::string(kModifyFailed));
    const data::InvoiceRecord before = *current;
    const bool wasInvoice = Upper(before.text(Invoice::TransType)) == "I";
    const Money open = before.money(Invoice::Total) - before.money(Invoice::Paid);

    data::InvoiceRecord master = before;
    master.setText(Invoice::TransType, "R");
    master.setText(Invoice::RepeatEvery, std::to_string(*data::WholeNumber(entry.every)));
    master.setText(Invoice::RepeatUnit, entry.unit == RepeatUnit::Months ? "M" : "D");
    if (data::TrimText(master.text(Invoice::RepeatCreated)).empty())
        master.setText(Invoice::RepeatCreated, "0");
    (void)master.setMoney(Invoice::BalanceDue, Money());
    master.setText(Invoice::NextDue,
                   StoredNextDue(*data::ParseUserDate(data::TrimText(entry.nextDate), order)));
    // A master is not a receivable: nothing of it is paid or open.
    master.setText(Invoice::PaidFlag, " ");
    master.setText(Invoice::PaidDate, " ");

    data::UpdateResult changed =
        data::ChangeBusinessRecord(files.invoices, recNo, before, master, prompter);
    if (!changed.ok()) throw InvoiceError(std::string(kModifyFailed));

    SetupResult result;
    result.recNo = recNo;
    result.record = master;
    result.converted = wasInvoice;
    if (!wasInvoice) return result;

    if (!open.isZero()) {
        CustomerPosting p;
        p.leaving = open;
        p.oldDate = before.text(Invoice::InvDate);
        PostToCustomer(files, before.text(Invoice::CustNo), p, order, prompter);
        PostToCompany(files, -open, {}, false, prompter);
    }
    const std::string number = master.text(Invoice::InvNo);
    for (auto& [lineRecNo, line] : StoredLines(files.lines, number)) {
        data::InvoiceLineRecord restyled = line;
        restyled.setText(InvoiceLine::LineStyle, "R");
        if (!data::ChangeBusinessRecord(files.lines, lineRecNo, line, restyled, prompter).ok())
            throw InvoiceError(std::string(kModifyFailed));
        ++result.lines;
    }
    if (first) {
        // The first invoice takes the master's place among the receivables in the same
        // posting: if it cannot be written, the invoice stays as it was.
        const auto date = data::ParseUserDate(first->invoiceDate, order);
        GenerationOutcome out;
        if (!date || GenerateOne(files, number, *date, first->reference, order, prompter, out) !=
                         Generated::Written)
            throw InvoiceError("The first invoice of " + data::TrimmedText(number) +
                               " could not be generated; the repeat billing was not set up.");
        result.generated = out.written.front().number;
        if (auto advanced = data::ReadBusinessRecord<Invoice>(files.invoices, recNo))
            result.record = *advanced;
    }
    return result;
}

// The master, its lines, the balances the invoice leaves and its first invoice are one
// posting, run again whole when it meets a lock; its messages come after it.
SetupResult SetUp(SaveFiles& files, int32_t recNo, const data::InvoiceRecord& asRead,
                  const RepeatSetupEntry& entry, data::DateOrder order,
                  platform::Prompter& prompter, const GenerationRun* first) {
    return data::RunPostingOrThrow<InvoiceError>(
        prompter, kModifyFailed, [&](data::Posting& posting, platform::Prompter& held) {
            posting.keep(files.company);
            return SetUpBody(files, recNo, asRead, entry, order, held, first);
        });
}

}  // namespace

// ------------------------------------------------------------------------- search

std::vector<DueMaster> FindDueMasters(storage::Fileblock* invoices, const data::Date& through,
                                      data::DateOrder order) {
    std::vector<DueMaster> due;
    std::string key = "R";
    int32_t recNo = storage::FindKeyAtOrAfter(invoices, 5, key);
    while (storage::EngineOk && !key.empty() && key[0] == 'R') {
        auto r = data::ReadBusinessRecord<Invoice>(invoices, recNo);
        if (r && Upper(r->text(Invoice::TransType)) == "R") {
            auto next = ParseNextDue(r->text(Invoice::NextDue));
            if (next && *next <= through) {
                DueMaster m;
                m.recNo = recNo;
                m.number = data::TrimmedText(r->text(Invoice::InvNo));
                m.shortName = data::TrimmedText(r->text(Invoice::ShortName));
                m.total = r->money(Invoice::Total);
                m.nextDue = data::FormatUserDate(*next, order);
                m.custNo = data::TrimmedText(r->text(Invoice::CustNo));
                m.created = StoredCount(r->text(Invoice::RepeatCreated));
                due.push_back(m);
            }
        }
        storage::NextKey(invoices, 5, key, recNo);
    }
    return due;
}

std::string DueListHeader() {
    return data::PadRight("Master#", 9) + " " + data::PadRight("Short Name", 10) + " " +
           data::PadLeft("Invoice Total", 12) + " " + data::PadRight("Next Due", 10) + " " +
           data::PadRight("Customer#", 9) + " " + data::PadLeft("Created", 7);
}

std::string DueListLine(const DueMaster& m) {
    return data::PadRight(m.number, 9) + " " + data::PadRight(m.shortName, 10) + " " +
           data::PadLeft(m.total.shownText(), 12) + " " + data::PadRight(m.nextDue, 10) + " " +
           data::PadRight(m.custNo, 9) + " " + data::PadLeft(std::to_string(m.created), 5);
}

std::string DueSummary(const std::vector<DueMaster>& due) {
    Money sum;
    for (const DueMaster& m : due)
        sum += m.total;
    return "There are " + std::to_string(due.size()) + " invoices selected totaling " +
           sum.shownText() + ".";
}

std::string LastRunText(const data::CompanyRecord& company) {
    return "Last generated invoices were dated: " +
           data::TrimmedText(company.text(Company::LastRepeatRunDate));
}

// --------------------------------------------------------------------- generation

std::string GenerationMessage(int invoices, int monthly, int daily) {
    return std::to_string(invoices) + " invoices were generated. " + std::to_string(monthly) +
           " Monthly Setups and " + std::to_string(daily) + " Daily Setups.";
}

namespace {

// One generated invoice did not go on file: why, shown to the user.
struct ItemFailed {
    std::string text;
};

// Generates the next invoice of the master of this number, dated invoiceDate, in one
// posting (joining one that is open): the invoice with its lines or memo, the master's
// schedule, the customer's balance and the company's receivables. What cannot be done is
// shown and nothing of it is written.
Generated GenerateOneBody(SaveFiles& files, std::string_view listed, const data::Date& invoiceDate,
                          const std::string& reference, data::DateOrder order,
                          platform::Prompter& prompter, GenerationOutcome& out) {
    auto found = FindMaster(files.invoices, listed);
    if (!found) {
        out.skipped.push_back(data::TrimmedText(listed));
        return Generated::Skipped;
    }
    const data::InvoiceRecord master = found->record;
    const std::string masterNo = data::TrimmedText(master.text(Invoice::InvNo));
    const bool monthly = Upper(master.text(Invoice::RepeatUnit)) == "M";
    const int every = StoredCount(master.text(Invoice::RepeatEvery));
    const int count = StoredCount(master.text(Invoice::RepeatCreated)) + 1;
    const std::string number = GeneratedNumber(masterNo, count);
    // A master billed for this invoice date already (by a run that was stopped after
    // it) is not billed for it again: running a stopped run again ends as one whole run.
    if (count > 1) {
        const auto last = NumberedRecord(files.invoices, GeneratedNumber(masterNo, count - 1));
        data::InvoiceRecord dated;
        data::SetInvoiceDate(dated, invoiceDate, order);
        if (last && Upper(last->text(Invoice::TransType)) == "G" &&
            last->text(Invoice::SortDate) == dated.text(Invoice::SortDate)) {
            out.alreadyBilled.push_back(masterNo);
            return Generated::AlreadyBilled;
        }
    }
    auto nextDue = ParseNextDue(master.text(Invoice::NextDue));
    std::optional<data::Date> advanced;
    if (nextDue && every >= 1)
        advanced =
            NextCreationDate(*nextDue, monthly ? RepeatUnit::Months : RepeatUnit::Days, every);

    // Checks before anything is written.
    std::string refusal;
    if (count > kMaxGenerated || data::CharCount(number) > std::size_t(kInvoiceNumberWidth))
        refusal = "Master " + masterNo + " was skipped: it has generated " +
                  std::to_string(count - 1) + " invoices and its next number " + number +
                  " would not fit the invoice number.";
    else if (!advanced)
        refusal = "Master " + masterNo +
                  " was skipped: its interval or next scheduled date is not valid.";
    else if (NumberOnFile(files.invoices, number))
        refusal =
            "Master " + masterNo + " was skipped: invoice number " + number + " already exists.";
    if (!refusal.empty()) {
        Warn(prompter, kNoneDueTitle, refusal);
        out.skipped.push_back(masterNo);
        return Generated::Skipped;
    }

    data::InvoiceRecord updated = master;
    updated.setText(Invoice::NextDue, StoredNextDue(*advanced));
    updated.setText(Invoice::RepeatCreated, std::to_string(count));

    data::InvoiceRecord header = updated;
    header.setText(Invoice::InvNo, number);
    header.setText(Invoice::TransType, "G");
    (void)header.setMoney(Invoice::BalanceDue, master.money(Invoice::Total));
    data::SetInvoiceDate(header, invoiceDate, order);
    header.setText(Invoice::InvNotes, reference);
    header.setText(Invoice::StmntNote, data::FirstChars(reference, 35));
    header.setText(Invoice::PrintedFlag, "N");
    header.setText(Invoice::PaidFlag, " ");
    header.setText(Invoice::EMailedOn, "");
    const Money total = header.money(Invoice::Total);

    // The invoice with its lines or memo, the master's schedule, the customer's balance
    // and the company's receivables: one posting per generated invoice, so that a run
    // that is stopped goes on from the first master whose schedule did not move.
    try {
        data::Posting posting;
        if (!posting.started()) throw ItemFailed{std::string(kHeaderAddFailed)};
        posting.keep(files.company);
        if (!data::AddBusinessRecord(files.invoices, header, prompter).ok())
            throw ItemFailed{std::string(kHeaderAddFailed)};
        if (Upper(master.text(Invoice::InvoiceStyle)) == "M") {
            auto memo = StoredMemo(files.memos, masterNo);
            if (!memo) {
                Warn(prompter, data::kAppTitle, kMemoMissing);
            } else {
                data::MemoRecord copy = memo->second;
                copy.setText(data::Memo::InvNo, number);
                if (!data::AddBusinessRecord(files.memos, copy, prompter).ok())
                    throw ItemFailed{std::string(kMemoAddFailed2)};
            }
        }
        for (const auto& [lineRecNo, line] : StoredLines(files.lines, masterNo)) {
            data::InvoiceLineRecord copy = line;
            const std::string lineNo = data::TrimmedText(line.text(InvoiceLine::LineNo));
            copy.setText(InvoiceLine::InvNo, number);
            copy.setText(InvoiceLine::LineDate, header.text(Invoice::SortDate));
            copy.setText(InvoiceLine::LineStyle, "G");
            copy.setText(InvoiceLine::LineNo, lineNo);
            copy.setText(InvoiceLine::LineKey, data::LineKeyText(number, lineNo));
            if (!data::AddBusinessRecord(files.lines, copy, prompter).ok())
                throw ItemFailed{std::string(kDetailAddFailed)};
        }
        if (!data::ChangeBusinessRecord(files.invoices, found->recNo, master, updated, prompter)
                 .ok())
            throw ItemFailed{"The schedule of master " + masterNo +
                             " could not be advanced; invoice " + number + " was not kept."};
        CustomerPosting p;
        p.entering = total;
        p.newDate = header.text(Invoice::InvDate);
        p.lastInvNo = number;
        try {
            PostToCustomer(files, header.text(Invoice::CustNo), p, order, prompter);
            PostToCompany(files, total, {}, false, prompter);
        } catch (const InvoiceError&) {
            throw ItemFailed{"The balance of customer " +
                             data::TrimmedText(header.text(Invoice::CustNo)) +
                             " could not be updated; invoice " + number + " was not kept."};
        }
        if (!posting.commit())
            throw ItemFailed{"Invoice " + number + " of master " + masterNo +
                             " could not be written (error " +
                             std::to_string(posting.engineError()) + ")."};
    } catch (const ItemFailed& failed) {
        Warn(prompter, data::kAppTitle, failed.text);
        out.skipped.push_back(masterNo);
        return Generated::Skipped;
    }
    (monthly ? out.monthly : out.daily) += 1;
    out.written.push_back(GeneratedInvoice{masterNo, number, total});
    out.sum += total;
    return Generated::Written;
}

// The same as one posting that runs again when it meets a lock: the master is read inside
// it, so that of two runs at once the second finds the master billed for this date by the
// first, and what the attempt shows is shown once it has ended.
Generated GenerateOne(SaveFiles& files, std::string_view listed, const data::Date& invoiceDate,
                      const std::string& reference, data::DateOrder order,
                      platform::Prompter& prompter, GenerationOutcome& out) {
    Generated result = Generated::Skipped;
    GenerationOutcome part;
    const data::PostingRun run =
        data::RunPosting(prompter, [&](data::Posting& posting, platform::Prompter& held) {
            part = GenerationOutcome{};
            posting.keep(files.company);
            result = GenerateOneBody(files, listed, invoiceDate, reference, order, held, part);
            return result == Generated::Written;
        });
    if (result == Generated::Written && !run.committed) {
        const std::string master = data::TrimmedText(listed);
        Warn(prompter, data::kAppTitle,
             "Invoice " + (part.written.empty() ? std::string() : part.written.front().number) +
                 " of master " + master + " could not be written (error " +
                 std::to_string(run.engineError) + ").");
        out.skipped.push_back(master);
        return Generated::Skipped;
    }
    out.written.insert(out.written.end(), part.written.begin(), part.written.end());
    out.skipped.insert(out.skipped.end(), part.skipped.begin(), part.skipped.end());
    out.alreadyBilled.insert(out.alreadyBilled.end(), part.alreadyBilled.begin(),
                             part.alreadyBilled.end());
    out.monthly += part.monthly;
    out.daily += part.daily;
    out.sum += part.sum;
    return result;
}

}  // namespace

GenerationOutcome GenerateRepeatInvoices(SaveFiles& files, const std::vector<DueMaster>& due,
                                         const GenerationRun& run, data::DateOrder order,
                                         platform::Prompter& prompter,
                                         const std::function<void(int)>& step) {
    GenerationOutcome out;
    const auto invoiceDate = data::ParseUserDate(run.invoiceDate, order);
    int done = 0;
    for (const DueMaster& listed : due) {
        if (invoiceDate)
            GenerateOne(files, listed.number, *invoiceDate, run.reference, order, prompter, out);
        else
            out.skipped.push_back(listed.number);
        ++done;
        if (step) step(done);
    }

    // Each invoice is durable already; the run's date goes with the journal's checkpoint.
    data::FinishBatch();
    const std::string runDate = invoiceDate ? data::FormatUserDate(*invoiceDate, order)
                                            : data::TrimmedText(run.invoiceDate);
    // The company row is read inside the posting that writes it, so that another run
    // writing it meanwhile is waited for rather than taken for a change by hand.
    const data::PostingRun stored =
        data::RunPosting(prompter, [&](data::Posting& posting, platform::Prompter& held) {
            posting.keep(files.company);
            try {
                PostToCompany(files, Money(), {}, false, held, [&](data::CompanyRecord& c) {
                    c.setText(Company::LastRepeatRunDate, runDate);
                });
                return true;
            } catch (const InvoiceError&) {
                return false;
            }
        });
    if (!stored.committed) throw InvoiceError(std::string(kModifyFailed));
    out.message = GenerationMessage(int(out.written.size()), out.monthly, out.daily);
    return out;
}

}  // namespace invarro::invoicing
