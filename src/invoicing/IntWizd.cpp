#include "invoicing/IntWizd.h"

#include <algorithm>
#include <array>

#include "data/Ansi.h"
#include "data/Keys.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "invoicing/Receivables.h"
#include "storage/BTree.h"

namespace invarro::invoicing {

namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::Money;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;

void Warn(platform::Prompter& prompter, std::string_view title, std::string_view text) {
    prompter.ask(
        Message{std::string(title), std::string(text), Icon::Warning, Buttons::Ok, Answer::Ok});
}

std::string Upper(std::string_view text) {
    return data::UpperText(data::TrimText(text));
}

bool NumberTakenExactly(storage::Fileblock* invoices, std::string_view number) {
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

const char* const kChoiceCodes[] = {"3", "6", "9"};

// Why the run's charges would not fit the fields they are added to: the invoice's amounts,
// the customer's balance and aging period, the company's receivables ("" when they fit).
std::string FitProblem(const SaveFiles& files, const InterestScan& scan, const data::Date& date) {
    const AgingLimits limits = AgingLimitsOf(files.company).value_or(AgingLimits{});
    static constexpr std::array<data::FieldRef<Customer, data::FieldKind::Money>, 4> kPeriods = {
        Customer::Age0to30, Customer::Age31to60, Customer::Age61to90, Customer::AgeOver90};
    const auto period = kPeriods[std::size_t(
        std::clamp(AgingBucket(data::DaysBetween(date, files.today), limits), 0, 3))];
    Money total;
    for (const InterestRow& row : scan.rows) {
        const std::string who = "customer " + row.custNo;
        if (!row.charge.fits())
            return "the charge of " + row.charge.shownText() + " to " + who +
                   " is more than an invoice amount can hold";
        if (auto found = FindCustomer(files.customers, row.custNo)) {
            const data::CustomerRecord& c = found->record;
            if (!(c.money(Customer::Balance) + row.charge).fits() ||
                !(c.money(period) + row.charge).fits())
                return "the balance of " + who + " would be more than its field can hold";
        }
        total += row.charge;
    }
    if (!(files.company.money(Company::ARBalance) + total).fits())
        return "the company's receivables would be more than their field can hold";
    return "";
}

// The percentage as the report and the scan use it: without trailing zeros ("1.5").
std::string PlainPercent(data::Decimal d) {
    std::string t = d.text(4);
    while (!t.empty() && t.back() == '0')
        t.pop_back();
    if (!t.empty() && t.back() == '.') t.pop_back();
    return t;
}

}  // namespace

InterestSettings InterestSettingsOf(const data::CompanyRecord& company, const data::Date& today,
                                    data::DateOrder order) {
    InterestSettings s;
    const std::string choice = data::TrimmedText(company.text(Company::IntAgingChoice));
    s.agingChoice = choice == "6" ? 1 : choice == "9" ? 2 : 0;
    const std::string pct = data::TrimmedText(company.text(Company::IntPercent));
    s.percent = pct.size() < 2 ? "1.50" : pct;
    const std::string min = data::TrimmedText(company.text(Company::IntMinCharge));
    s.minimum = min.size() < 2 ? ".10" : min;
    s.markPrinted = company.byte(Company::IntMarkPrinted) != 0;
    s.terms = data::TrimmedText(company.text(Company::IntTerms));
    s.invoiceDate = data::FormatUserDate(today, order);
    return s;
}

std::string LastInterestRunText(const data::CompanyRecord& company) {
    return "Last Interest Invoices: " + data::TrimmedText(company.text(Company::LastDate3));
}

std::string AgingChoiceCaption(const data::CompanyRecord& company, int choice) {
    const auto f = choice == 0   ? Company::AgingDays1
                   : choice == 1 ? Company::AgingDays2
                                 : Company::AgingDays3;
    return "Over " + data::TrimmedText(company.text(f)) + " Days";
}

bool CheckFlatRate(std::string_view text, platform::Prompter& prompter) {
    if (text.find('-') != std::string_view::npos) {
        Warn(prompter, "Flat Rate Amount", kNegativeFlatRate);
        return false;
    }
    if (!data::ParseMoney(text, 6)) {
        Warn(prompter, "Invalid Flat Rate Amount", kFlatRateNotNumber);
        return false;
    }
    return true;
}

std::optional<data::Decimal> ParseInterestRate(std::string_view text) {
    const std::string_view t = data::TrimText(text);
    std::size_t digits = 0, decimals = 0;
    bool point = false;
    for (char c : t) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            ++digits;
            if (point && ++decimals > 3) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || digits > 12) return std::nullopt;
    const std::optional<data::Decimal> rate = data::ParseDecimal(t);
    if (!rate || *rate <= data::Decimal() || *rate > data::Decimal::FromInteger(100))
        return std::nullopt;
    return rate;
}

std::string StoredRateText(data::Decimal rate) {
    const std::string two = rate.text(2);
    return data::ParseDecimal(two) == rate ? two : rate.text(3);
}

std::optional<InterestSettingsProblem> CheckInterestSettings(const InterestSettings& s) {
    if (s.flat) {
        const std::string_view fee = data::TrimText(s.flatRate);
        if (fee.find('-') != std::string_view::npos)
            return InterestSettingsProblem{InterestField::FlatRate, std::string(kFlatRateTitle),
                                           std::string(kNegativeFlatRate)};
        const std::optional<Money> any = data::ParseMoney(fee, 20);
        if (!any)
            return InterestSettingsProblem{InterestField::FlatRate, "Invalid Flat Rate Amount",
                                           std::string(kFlatRateNotNumber)};
        if (any->isZero())
            return InterestSettingsProblem{InterestField::FlatRate, "Flat Rate Fee",
                                           std::string(kNoFlatRate)};
        if (!data::ParseMoney(fee, 6))
            return InterestSettingsProblem{InterestField::FlatRate, std::string(kFlatRateTitle),
                                           std::string(kBadFlatRate)};
        return std::nullopt;
    }
    if (!ParseInterestRate(s.percent))
        return InterestSettingsProblem{InterestField::Percent, std::string(kPercentTitle),
                                       std::string(kBadPercent)};
    const std::optional<Money> minimum = data::ParseMoney(s.minimum, 5);
    if (!minimum || *minimum < Money())
        return InterestSettingsProblem{InterestField::Minimum, std::string(kMinimumTitle),
                                       std::string(kBadMinimum)};
    return std::nullopt;
}

Money OverdueOf(const data::CustomerRecord& c, int agingChoice) {
    Money over = c.money(Customer::AgeOver90);
    if (agingChoice <= 1) over += c.money(Customer::Age61to90);
    if (agingChoice <= 0) over += c.money(Customer::Age31to60);
    // A credit in a newer period (a payment on account, a credit memo) is set against the
    // older ones: no one pays interest on more than he owes, nor on anything when he owes
    // nothing.
    const Money balance = c.money(Customer::Balance);
    if (balance <= Money()) return Money();
    return over < balance ? over : balance;
}

Money InterestCharge(Money overdue, const InterestSettings& s) {
    if (s.flat) return data::ParseMoney(s.flatRate, 6).value_or(Money());
    const data::Decimal pct = data::ParseDecimal(s.percent).value_or(data::Decimal());
    return data::PercentOf(overdue, pct);
}

InterestScan ScanCustomers(storage::Fileblock* customers, const InterestSettings& s) {
    InterestScan scan;
    const Money minimum = s.flat ? Money() : data::ParseMoney(s.minimum).value_or(Money());
    scan.percentUsed = PlainPercent(data::ParseDecimal(s.percent).value_or(data::Decimal()));
    if (s.flat) scan.feeUsed = data::ParseMoney(s.flatRate, 6).value_or(Money()).shownText();
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(customers, 2, key);
    while (storage::EngineOk) {
        if (auto c = data::ReadBusinessRecord<Customer>(customers, recNo)) {
            const Money overdue = OverdueOf(*c, s.agingChoice);
            if (overdue > Money()) {
                const Money charge = InterestCharge(overdue, s);
                if (charge >= minimum && charge > Money()) {
                    scan.rows.push_back(InterestRow{data::TrimmedText(c->text(Customer::Name)),
                                                    data::TrimmedText(c->text(Customer::CustNo)),
                                                    overdue,
                                                    charge,
                                                    {}});
                    scan.totalOverdue += overdue;
                    scan.totalCharge += charge;
                }
            }
        }
        storage::NextKey(customers, 2, key, recNo);
    }
    return scan;
}

std::optional<InterestScan> ScanInterest(const InterestBooks& books, InterestSettings& s,
                                         platform::Prompter& prompter) {
    if (s.flat && data::TrimText(s.flatRate).empty()) s.flatRate = "0.00";
    if (const auto problem = CheckInterestSettings(s)) {
        Warn(prompter, problem->title, problem->text);
        return std::nullopt;
    }
    auto date = data::ParseUserDate(s.invoiceDate, books.order);
    if (!date) {
        Warn(prompter, "Invoice Date", kInvalidInvoiceDate);
        return std::nullopt;
    }
    // What is overdue on the invoice date: the customers are aged as of that day first.
    platform::FixedClock asOf(platform::LocalDateTime{date->year, date->month, date->day, 0, 0, 0});
    if (!books.ageAsOf(asOf)) return std::nullopt;

    ShortOpen customers(books.folder, data::FileKind::Customer, books.prefix, prompter);
    if (!customers.fb) return std::nullopt;
    InterestScan scan = ScanCustomers(customers.fb, s);
    if (scan.rows.empty())
        prompter.ask(Message{std::string(kInterestCaption), std::string(kNoRecordsWereFound),
                             Icon::Information, Buttons::Ok, Answer::Ok});
    return scan;
}

std::string InterestDoneQuestion(int created) {
    return std::to_string(created) +
           " invoices were created. Would you like to send a report to the printer?";
}

namespace {

// One attempt of the interest run. The company's row is read first, inside the posting:
// the numbers come from its counter, held until the posting ends, never from the company
// in memory. False with failure set (or an engine failure) when nothing is to be written.
bool InterestBody(data::Posting& posting, SaveFiles& files, InterestScan& scan,
                  const InterestSettings& s, const data::Date& date, data::DateOrder order,
                  InterestOutcome& out, std::string& failure, platform::Prompter& prompter) {
    posting.keep(files.company);
    posting.keep(scan.rows);
    const data::CompanyRecord stored = LockedCompanyRow(files, prompter);
    long n = data::WholeNumber(stored.text(Company::NextInvNo)).value_or(0);
    if (n < 1) n = 1;
    bool anyWritten = false;
    auto giveUp = [&](const std::string& text) {
        failure = text;
        return false;
    };
    for (InterestRow& row : scan.rows) {
        auto customer = FindCustomer(files.customers, row.custNo);
        if (!customer) {
            Warn(prompter, data::kAppTitle, kLateFeeAddFailed);
            continue;
        }
        // The next plain number whose "I" number is free and fits.
        std::string number = std::to_string(n) + "I";
        while (NumberTakenExactly(files.invoices, number))
            number = std::to_string(++n) + "I";
        if (number.size() > std::size_t(width::kNumber)) {
            Warn(prompter, data::kAppTitle, kLateFeeAddFailed);
            break;
        }
        const data::CustomerRecord& c = customer->record;
        data::InvoiceRecord h = data::NewRecord<Invoice>();
        h.setText(Invoice::InvNo, number);
        h.setText(Invoice::TransType, "I");
        h.setText(Invoice::PrintedFlag, s.markPrinted ? "Y" : "");
        h.setText(Invoice::KeyCode, "Interest");
        h.setText(Invoice::CustNo, c.text(Customer::CustNo));
        h.setText(Invoice::ShortName, c.text(Customer::ShortName));
        h.setText(Invoice::CompanyNo, files.company.text(Company::CompanyNo));
        data::SetInvoiceDate(h, date, order);
        h.setText(Invoice::InvNotes, s.notes);
        h.setText(Invoice::Terms, s.terms);
        h.setText(Invoice::StmntNote, s.stmntNote);
        h.setText(Invoice::InvoiceStyle, "P");
        (void)h.setMoney(Invoice::Net, row.charge);
        (void)h.setMoney(Invoice::Total, row.charge);
        (void)h.setMoney(Invoice::BalanceDue, row.charge);
        h.setText(Invoice::PaidFlag, " ");
        h.setText(Invoice::RepeatEvery, "0");
        h.setText(Invoice::RepeatCreated, "0");
        if (!data::AddBusinessRecord(files.invoices, h, prompter).ok())
            return giveUp(std::string(kLateFeeAddFailed));
        row.invoice = number;
        anyWritten = true;
        ++out.created;
        out.lastNumber = number;
        const LineRow line{"",
                           "1",
                           std::string(kDefaultInterestText),
                           row.charge.storedText(),
                           "N",
                           row.charge.storedText()};
        if (!data::AddBusinessRecord(files.lines, LineRecordFor(h, 1, line, "P"), prompter).ok())
            return giveUp(std::string(kInterestLineFailed));
        try {
            CustomerPosting p;
            p.entering = row.charge;
            p.newDate = h.text(Invoice::InvDate);
            p.lastInvNo = number;
            PostToCustomer(files, row.custNo, p, order, prompter);
            out.charged += row.charge;
        } catch (const InvoiceError&) {
            return giveUp("The balance of customer " + row.custNo +
                          " could not be updated; no interest was charged.");
        }
        ++n;
    }

    const std::string runDate = data::FormatUserDate(date, order);
    const std::string nextText = std::to_string(n);
    const std::string lastText = std::to_string(n - 1);
    PostToCompany(files, out.charged, {}, false, prompter, [&](data::CompanyRecord& c) {
        if (anyWritten) {
            c.setText(Company::LastInvNo, lastText);
            c.setText(Company::NextInvNo, nextText);
        }
        c.setText(Company::IntAgingChoice,
                  kChoiceCodes[s.agingChoice < 0 || s.agingChoice > 2 ? 0 : s.agingChoice]);
        // Kept in the form the fields hold ("1.50", "0.10"); a rate a flat-fee run did not
        // use stays as it was stored.
        if (const auto rate = ParseInterestRate(s.percent))
            c.setText(Company::IntPercent, StoredRateText(*rate));
        if (const auto minimum = data::ParseMoney(s.minimum, 5))
            c.setText(Company::IntMinCharge, minimum->storedText());
        c.setByte(Company::IntMarkPrinted, s.markPrinted ? 1 : 0);
        c.setText(Company::IntTerms, s.terms);
        c.setText(Company::LastDate3, runDate);
    });
    return true;
}

}  // namespace

InterestOutcome GenerateInterest(SaveFiles& files, InterestScan& scan, const InterestSettings& s,
                                 data::DateOrder order, platform::Prompter& prompter) {
    InterestOutcome out;
    const auto date = data::ParseUserDate(s.invoiceDate, order);
    if (!date) {
        Warn(prompter, "Invoice Date", kInvalidInvoiceDate);
        return out;
    }
    // Nothing is written for a run that cannot be written whole.
    if (const auto problem = CheckInterestSettings(s)) {
        out.refused = problem->text;
        Warn(prompter, problem->title, problem->text);
        return out;
    }
    if (const std::string problem = FitProblem(files, scan, *date); !problem.empty()) {
        out.refused = "No interest invoice was written: " + problem + ".";
        Warn(prompter, kInterestCaption, out.refused);
        return out;
    }
    // The whole run is one posting: every interest invoice with its line and its charge to
    // the customer, and the company's receivables, numbering and settings. A run that is
    // stopped or fails leaves nothing charged, so running it again charges each customer
    // once. It runs again whole when it meets another program's lock.
    std::string failure;
    InterestOutcome written;
    const data::PostingRun run =
        data::RunPosting(prompter, [&](data::Posting& posting, platform::Prompter& held) {
            failure.clear();
            written = InterestOutcome{};
            try {
                return InterestBody(posting, files, scan, s, *date, order, written, failure, held);
            } catch (const InvoiceError& e) {
                failure = e.what();
                return false;
            }
        });
    if (!run.committed) {
        if (failure.empty())
            failure = "The interest run could not be written (error " +
                      std::to_string(run.engineError) + "); no interest was charged.";
        Warn(prompter, data::kAppTitle, failure);
        return out;
    }
    written.written = true;
    return written;
}

std::vector<std::string> InterestReportLines(const InterestScan& scan, const InterestSettings& s,
                                             const data::CompanyRecord& company,
                                             const platform::LocalDateTime& now) {
    std::vector<std::string> out;
    out.push_back(std::string(kInterestReportTitle) + " - " +
                  data::TrimmedText(company.text(Company::Name)));
    out.push_back("Date: " + data::FormatLongDateTime(now));
    out.push_back("");
    const std::string date = data::TrimmedText(s.invoiceDate);
    if (s.flat)
        out.push_back("Created Invoices Dated: " + date + " and charged a flat rate of " +
                      scan.feeUsed + " as fee.");
    else
        out.push_back("Created Invoices Dated: " + date + " and charged " + scan.percentUsed +
                      " percent interest.");
    out.push_back("");
    auto line = [](const std::string& name, const std::string& no, const std::string& overdue,
                   const std::string& charge, const std::string& inv) {
        return data::PadRight(data::FirstChars(name, 30), 30) + " " +
               data::PadRight(data::FirstChars(no, 9), 9) + " " + data::PadLeft(overdue, 13) + " " +
               data::PadLeft(charge, 13) + "  " + inv;
    };
    out.push_back(line("Customer Name", "Customer#", "Overdue", "Interest Chg.", "Invoice#"));
    out.push_back(std::string(85, '-'));
    for (const InterestRow& r : scan.rows)
        out.push_back(
            line(r.name, r.custNo, r.overdue.shownText(), r.charge.shownText(), r.invoice));
    out.push_back(std::string(85, '-'));
    out.push_back(
        line("Totals:", "", scan.totalOverdue.shownText(), scan.totalCharge.shownText(), ""));
    for (std::string& l : out)
        l = data::FirstChars(l, 85);
    return out;
}

}  // namespace invarro::invoicing
