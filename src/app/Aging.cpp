#include "app/Aging.h"

#include <functional>
#include <memory>

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/Posting.h"
#include "data/SideFiles.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "storage/BTree.h"
#include "storage/Engine.h"

namespace invarro::app {

namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::Money;
using invoicing::AgingBucket;
using invoicing::AgingBuckets;
using invoicing::AgingCustomerOf;
using invoicing::AgingLimits;
using invoicing::AgingLimitsOf;
using invoicing::SumOf;

bool EndOfScan() {
    return storage::EngineError == storage::err::NoMoreRecords;
}
std::string EngineText(const std::string& what) {
    return what + " (error " + std::to_string(storage::EngineError) + ")";
}

data::OpenResult OpenForAging(const std::string& folder, const std::string& prefix,
                              data::FileKind kind, platform::Prompter& prompter,
                              platform::Progress& progress) {
    data::OpenRequest request;
    request.name = data::FileblockName(folder, kind, prefix);
    request.kind = kind;
    request.giveUp = data::GiveUpMessage("Unable to open databases: ");
    request.giveUpWithError = true;
    request.progress = &progress;
    return data::OpenBusinessFileblock(request, prompter);
}

// Every customer's sums in one pass over the invoice file in record order, instead of one
// index walk per customer: the customer numbers are gathered first (as AgingCustomerOf
// gives them), and an invoice of a number no customer has is left alone, as the walk
// would never reach it.
struct AllCustomersAging {
    std::unordered_map<std::string, AgingBuckets> byCustomer;
    bool ok = true;
    std::string error;
};
AllCustomersAging AgeAllInvoices(storage::Fileblock* customers, storage::Fileblock* invoices,
                                 const AgingLimits& limits, const data::Date& today,
                                 data::DateOrder order, invoicing::AgingTally& tally,
                                 platform::Prompter& prompter) {
    AllCustomersAging all;
    for (int32_t rec = storage::NextUsedRecord(customers, 0); storage::EngineOk;
         rec = storage::NextUsedRecord(customers, rec)) {
        data::CustomerRecord customer;
        storage::GetRecord(customers, rec, customer.data());
        if (!storage::EngineOk) {
            all.ok = false;
            all.error = EngineText("Cannot read customer record " + std::to_string(rec));
            return all;
        }
        if (customer.live())
            all.byCustomer.try_emplace(
                AgingCustomerOf(data::TrimText(customer.ansi(Customer::CustNo))));
    }
    if (!EndOfScan()) {
        all.ok = false;
        all.error = EngineText("Cannot read the customer file");
        return all;
    }
    for (int32_t rec = storage::NextUsedRecord(invoices, 0); storage::EngineOk;
         rec = storage::NextUsedRecord(invoices, rec)) {
        data::InvoiceRecord inv;
        storage::GetRecord(invoices, rec, inv.data());
        if (!storage::EngineOk) {
            all.ok = false;
            all.error = EngineText("Cannot read invoice record " + std::to_string(rec));
            return all;
        }
        auto sums = all.byCustomer.find(AgingCustomerOf(data::InvoiceKey(inv, 2)));
        if (sums == all.byCustomer.end()) continue;
        if (!invoicing::AgeInvoiceRecord(invoices, rec, inv, limits, today, order, sums->second,
                                         tally, prompter, &all.error)) {
            all.ok = false;
            return all;
        }
    }
    if (!EndOfScan()) {
        all.ok = false;
        all.error = EngineText("Cannot read the invoice file");
    }
    return all;
}

// Writes the company record's last-aging date and receivables total into the open company
// file (none: there is no company file).
bool StoreCompanyAging(storage::Fileblock* companies, const Session& session,
                       const std::string& today, Money total, platform::Prompter& prompter,
                       std::string* error) {
    if (!companies) return true;
    data::CompanyRecord probe;
    probe.setAnsi(Company::CompanyNo, session.company.ansi(Company::CompanyNo));
    auto found = data::FindAtOrAfter<Company>(companies, 1, probe);
    if (!found || found->key != data::CompanyKey(probe, 1)) return true;
    const data::CompanyRecord asRead = found->record;
    data::CompanyRecord& r = found->record;
    r.setText(Company::LastAgingDate, today);
    if (!r.setMoney(Company::ARBalance, total)) {
        *error = "The receivables total " + total.shownText() + " is too large to be stored.";
        return false;
    }
    data::UpdateResult written =
        data::ChangeBusinessRecord(companies, found->recNo, asRead, r, prompter);
    if (!written.ok()) {
        storage::EngineError = written.engineError;
        *error = EngineText("Cannot write the company record");
        return false;
    }
    return true;
}

// The company record as the company file holds it, read inside the aging's posting: on a
// server the read locks the record until the aging commits, so of two programs starting at
// once the second waits here and then finds the first one's aging date.
std::optional<data::CompanyRecord> CompanyAsStored(storage::Fileblock* companies,
                                                   const Session& session) {
    if (!companies) return std::nullopt;
    data::CompanyRecord probe;
    probe.setAnsi(Company::CompanyNo, session.company.ansi(Company::CompanyNo));
    auto found = data::FindAtOrAfter<Company>(companies, 1, probe);
    if (!found || found->key != data::CompanyKey(probe, 1)) return std::nullopt;
    return found->record;
}

// The files of the aging, opened before its posting, so that a question about a file (a
// defective index to rebuild) is asked before anything is locked, and closed when it goes.
struct AgingFiles {
    data::OpenResult customers;
    data::OpenResult invoices;
    storage::Fileblock* companies = nullptr;
    std::string error;  // why the company file could not be opened
    AgingFiles() = default;
    AgingFiles(const AgingFiles&) = delete;
    AgingFiles& operator=(const AgingFiles&) = delete;
    ~AgingFiles() {
        for (storage::Fileblock* fb : {customers.fb, invoices.fb, companies})
            if (fb) storage::CloseFileblock(fb);
    }
    // False when a file could not be opened (its message has been shown, or error says why).
    bool open(const Session& session, const std::string& prefix, platform::Prompter& prompter,
              platform::Progress& progress) {
        const std::string name = data::FileblockName(session.folder, data::FileKind::Company);
        if (storage::FileblockExists(name)) {
            data::OpenRequest request;
            request.name = name;
            request.kind = data::FileKind::Company;
            request.progress = &progress;
            const data::OpenResult opened = data::OpenBusinessFileblock(request, prompter);
            if (!opened) {
                error = "Cannot open the company file (error " +
                        std::to_string(opened.engineError) + ")";
                return false;
            }
            companies = opened.fb;
        }
        customers =
            OpenForAging(session.folder, prefix, data::FileKind::Customer, prompter, progress);
        if (!customers) return false;
        invoices =
            OpenForAging(session.folder, prefix, data::FileKind::Invoice, prompter, progress);
        return bool(invoices);
    }
};

// One attempt of the aging's posting, into outcome: false (with outcome.error) when it
// cannot be made. The run at start is once a day whoever starts first: one that finds
// today's aging in the company file takes it and changes nothing (true, with the status
// NotNeeded).
bool AgeInPosting(Session& session, bool forced, const data::Date& today, const AgingLimits& limits,
                  const AgingFiles& files, data::Posting& posting, platform::Prompter& prompter,
                  platform::Progress& progress, const std::shared_ptr<std::string>& copyError,
                  AgingOutcome& outcome) {
    const std::string todayText = session.todayText(today);
    if (!forced) {
        const std::optional<data::CompanyRecord> stored = CompanyAsStored(files.companies, session);
        if (stored && data::TrimText(stored->text(Company::LastAgingDate)) == todayText) {
            posting.keep(session.company);
            session.company.setText(Company::LastAgingDate, todayText);
            // Read from the same field, so it fits.
            (void)session.company.setMoney(Company::ARBalance, stored->money(Company::ARBalance));
            outcome.status = AgingStatus::NotNeeded;
            return true;
        }
    }
    storage::Fileblock* customers = files.customers.fb;
    invoicing::AgingTally tally;
    AllCustomersAging all = AgeAllInvoices(customers, files.invoices.fb, limits, today,
                                           session.dateOrder, tally, prompter);
    outcome.invoicesAged = tally.invoicesAged;
    outcome.datesRepaired = tally.datesRepaired;
    outcome.undatable = std::move(tally.undatable);
    if (!all.ok) {
        outcome.error = all.error;
        return false;
    }
    for (int32_t rec = storage::NextUsedRecord(customers, 0); storage::EngineOk;
         rec = storage::NextUsedRecord(customers, rec)) {
        data::CustomerRecord customer;
        storage::GetRecord(customers, rec, customer.data());
        if (!storage::EngineOk) {
            outcome.error = EngineText("Cannot read customer record " + std::to_string(rec));
            return false;
        }
        if (!customer.live()) continue;
        const data::CustomerRecord asRead = customer;
        if (data::TrimText(customer.text(Customer::ShortName)).empty())
            customer.setText(Customer::ShortName, kNoShortName);

        AgingBuckets aged{};
        auto sums =
            all.byCustomer.find(AgingCustomerOf(data::TrimText(customer.ansi(Customer::CustNo))));
        if (sums != all.byCustomer.end()) aged = sums->second;
        const Money balance = SumOf(aged);
        bool fits = customer.setMoney(Customer::Age0to30, aged[0]) &&
                    customer.setMoney(Customer::Age31to60, aged[1]) &&
                    customer.setMoney(Customer::Age61to90, aged[2]) &&
                    customer.setMoney(Customer::AgeOver90, aged[3]) &&
                    customer.setMoney(Customer::Balance, balance);
        if (!fits) {
            outcome.error = "The aging amounts of customer " +
                            std::string(data::TrimText(customer.text(Customer::CustNo))) +
                            " are too large to be stored.";
            return false;
        }
        data::UpdateResult written =
            data::ChangeBusinessRecord(customers, rec, asRead, customer, prompter);
        if (!written.ok()) {
            storage::EngineError = written.engineError;
            outcome.error = EngineText("Cannot write customer record " + std::to_string(rec));
            return false;
        }
        for (size_t i = 0; i < 4; ++i)
            outcome.totals[i] += aged[i];
        ++outcome.customers;
        progress.setLine(1, "Customers: " + std::to_string(outcome.customers));
        progress.step();
    }
    if (!EndOfScan()) {
        outcome.error = EngineText("Cannot read the customer file");
        return false;
    }

    outcome.total = SumOf(outcome.totals);
    data::CompanyRecord updated = session.company;
    updated.setText(Company::LastAgingDate, todayText);
    if (!updated.setMoney(Company::ARBalance, outcome.total)) {
        outcome.error =
            "The receivables total " + outcome.total.shownText() + " is too large to be stored.";
        return false;
    }
    if (!StoreCompanyAging(files.companies, session, todayText, outcome.total, prompter,
                           &outcome.error))
        return false;
    // The company in use and its copy follow the books once they hold the aging (when the
    // aging is part of a larger posting, once that one is written).
    posting.afterCommit([&session, updated, copyError] {
        session.company = updated;
        data::WriteLastCompany(session.folder, session.company, copyError.get());
    });
    return true;
}

}  // namespace

bool AgingDueToday(const Session& session, const platform::Clock& clock) {
    return std::string(data::TrimText(session.company.text(Company::LastAgingDate))) !=
           session.todayText(data::Today(clock));
}

std::optional<AgingBuckets> StoredAging(const Session& session) {
    const std::string prefix = session.companyPrefix();
    if (prefix.empty()) return std::nullopt;
    const std::string name = data::FileblockName(session.folder, data::FileKind::Customer, prefix);
    if (!storage::FileblockExists(name)) return std::nullopt;
    storage::Fileblock* customers = storage::OpenFileblock(name, true);
    if (!customers || !storage::EngineOk) return std::nullopt;
    AgingBuckets sums{};
    for (int32_t rec = storage::NextUsedRecord(customers, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(customers, rec)) {
        data::CustomerRecord c;
        storage::GetRecord(customers, rec, c.data());
        if (!storage::EngineOk) break;
        if (!c.live()) continue;
        sums[0] += c.money(Customer::Age0to30);
        sums[1] += c.money(Customer::Age31to60);
        sums[2] += c.money(Customer::Age61to90);
        sums[3] += c.money(Customer::AgeOver90);
    }
    const bool read = EndOfScan();
    storage::CloseFileblock(customers);
    if (!read) return std::nullopt;
    return sums;
}

bool ShowsChartAtStart(const Session& session, const AgingBuckets& buckets) {
    return session.company.byte(Company::ShowAgingChart) != 0 && !SumOf(buckets).isZero();
}

AgingOutcome RunAging(Session& session, bool forced, const platform::Clock& clock,
                      platform::Prompter& prompter, platform::Progress& progress,
                      const RunHooks& hooks) {
    AgingOutcome outcome;
    auto limits = AgingLimitsOf(session.company);
    if (!limits) {
        prompter.ask(platform::Message{
            std::string(data::kAppTitle), std::string(invoicing::kBadAgingDays),
            platform::Icon::Warning, platform::Buttons::Ok, platform::Answer::Ok});
        outcome.status = AgingStatus::BadDays;
        return outcome;
    }
    if (session.company.money(Company::ARBalance).isZero() && !forced) {
        outcome.status = AgingStatus::NotNeeded;
        return outcome;
    }

    const data::Date today = data::Today(clock);
    const std::string prefix = session.companyPrefix();
    outcome.status = AgingStatus::Failed;

    auto showAging = [&] {
        progress.start(std::string(kAgingTitle), 3);
        progress.setLine(0, std::string(kAgingLine));
    };
    showAging();
    // A rebuild of a defective index on the way uses the same window for its counters;
    // when it is done the window goes back to the aging instead of closing.
    struct BackToAging : platform::Progress {
        platform::Progress& window;
        std::function<void()> restore;
        BackToAging(platform::Progress& w, std::function<void()> r)
            : window(w), restore(std::move(r)) {}
        void start(const std::string& title, int lines) override { window.start(title, lines); }
        void setLine(int i, const std::string& text) override { window.setLine(i, text); }
        bool step() override { return window.step(); }
        void finish() override { restore(); }
    } rebuildWindow(progress, showAging);
    hooks.setStatus(std::string(kAgingStatus));
    auto finish = [&](AgingOutcome& o) -> AgingOutcome {
        progress.finish();
        hooks.setStatus(std::string(kReady));
        if (o.status == AgingStatus::Failed && !o.error.empty())
            prompter.ask(data::GiveUpMessage(o.error));
        return o;
    };
    if (prefix.empty()) {
        outcome.error = "The company in use has no valid company number.";
        return finish(outcome);
    }

    {
        BusyScope busy(hooks);
        AgingFiles files;
        if (!files.open(session, prefix, prompter, rebuildWindow)) {
            outcome.error = files.error;
            return finish(outcome);
        }
        // Every customer's aging, the dates mended on the way and the company's receivables
        // are one posting: a run that fails or is stopped changes nothing, and one that meets
        // a lock runs again whole, its messages shown once it has ended.
        bool wanted = false;
        auto copyError = std::make_shared<std::string>();
        const data::PostingRun run =
            data::RunPosting(prompter, [&](data::Posting& posting, platform::Prompter& held) {
                outcome = AgingOutcome{};
                outcome.status = AgingStatus::Failed;
                wanted = AgeInPosting(session, forced, today, *limits, files, posting, held,
                                      progress, copyError, outcome);
                return wanted;
            });
        if (!run.committed) {
            if (wanted)
                outcome.error = "The aging could not be written (error " +
                                std::to_string(run.engineError) + "); nothing was changed.";
            else if (outcome.error.empty() && run.engineError != 0)
                outcome.error =
                    "Cannot start the aging (error " + std::to_string(run.engineError) + ")";
            outcome.status = AgingStatus::Failed;
            return finish(outcome);
        }
        if (outcome.status == AgingStatus::NotNeeded) return finish(outcome);
        if (!copyError->empty()) {
            outcome.error = *copyError;
            outcome.status = AgingStatus::Failed;
            return finish(outcome);
        }
    }

    outcome.status = AgingStatus::Done;
    outcome.showChart =
        forced ? !outcome.total.isZero() : ShowsChartAtStart(session, outcome.totals);
    finish(outcome);
    if (!outcome.undatable.empty()) {
        std::string list;
        for (const std::string& n : outcome.undatable)
            list += (list.empty() ? "" : ", ") + n;
        prompter.ask(platform::Message{
            std::string(kAgingTitle),
            "These invoices have no readable date; their balances were aged as current: " + list,
            platform::Icon::Warning, platform::Buttons::Ok, platform::Answer::Ok});
    }
    return outcome;
}

// ------------------------------------------------------------------------- the chart

namespace {

// a * b / c rounded half away from zero; c > 0.
int64_t ScaledRound(int64_t a, int64_t b, int64_t c) {
    const int64_t n = a * b;
    const int64_t q = n / c, r = n % c;
    if (2 * std::llabs(r) >= c) return n < 0 ? q - 1 : q + 1;
    return q;
}

}  // namespace

ChartBars AgingChartBars(const AgingBuckets& buckets, int frameHeight) {
    ChartBars bars;
    int64_t largest = 0, smallest = 0;  // the range always includes 0
    for (Money m : buckets) {
        largest = std::max(largest, m.cents());
        smallest = std::min(smallest, m.cents());
    }
    const int64_t range = largest - smallest;
    if (range == 0 || frameHeight <= 0) return bars;
    bars.baseLine = int(ScaledRound(-smallest, frameHeight, range));
    for (size_t i = 0; i < 4; ++i) {
        const int64_t cents = buckets[i].cents();
        int h = int(ScaledRound(cents, frameHeight, range));
        if (cents > 0 && h < 4) h = 4;
        if (cents < 0 && h > -4) h = -4;
        bars.heights[i] = h;
    }
    return bars;
}

std::string AgingBarHint(const std::string& label, Money amount) {
    std::string l(data::TrimText(label));
    return l.empty() ? amount.shownText() : l + " " + amount.shownText();
}

std::string AgingChartHint(const std::array<std::string, 4>& labels, const AgingBuckets& buckets) {
    std::string hint;
    for (size_t i = 0; i < 4; ++i)
        hint += AgingBarHint(labels[i], buckets[i]) + "\n";
    return hint + "Total A/R: " + SumOf(buckets).shownText();
}

}  // namespace invarro::app
