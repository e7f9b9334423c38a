#include "invoicing/Receivables.h"

#include "data/Ansi.h"
#include "data/Keys.h"
#include "data/Update.h"
#include "storage/BTree.h"

namespace invarro::invoicing {

namespace {

using data::Company;
using data::Invoice;
using data::Money;

std::optional<int> WholeDays(std::string_view text) {
    std::string_view t = data::TrimText(text);
    if (t.empty() || t.size() > 6) return std::nullopt;
    int v = 0;
    for (char ch : t) {
        if (ch < '0' || ch > '9') return std::nullopt;
        v = v * 10 + (ch - '0');
    }
    return v;
}

std::string EngineText(const std::string& what) {
    return what + " (error " + std::to_string(storage::EngineError) + ")";
}

bool EndOfKey() {
    return storage::EngineError == storage::err::KeyNotFound ||
           storage::EngineError == storage::err::NoNextEntry;
}

}  // namespace

std::optional<AgingLimits> AgingLimitsOf(const data::CompanyRecord& company) {
    auto d1 = WholeDays(company.text(Company::AgingDays1));
    auto d2 = WholeDays(company.text(Company::AgingDays2));
    auto d3 = WholeDays(company.text(Company::AgingDays3));
    if (!d1 || !d2 || !d3) return std::nullopt;
    return AgingLimits{*d1, *d2, *d3};
}

int AgingBucket(int ageDays, const AgingLimits& limits) {
    if (ageDays <= limits.d1) return 0;
    if (ageDays <= limits.d2) return 1;
    if (ageDays <= limits.d3) return 2;
    return 3;
}

Money SumOf(const AgingBuckets& buckets) {
    Money sum;
    for (Money m : buckets)
        sum += m;
    return sum;
}

std::array<std::string, 4> AgingLabels(const data::CompanyRecord& company) {
    return {company.text(Company::AgingCaption1), company.text(Company::AgingCaption2),
            company.text(Company::AgingCaption3),
            "Over " + std::string(data::TrimText(company.text(Company::AgingDays3))) + ": "};
}

InvoiceAgingDate AgingDateOf(const data::InvoiceRecord& inv, data::DateOrder order) {
    InvoiceAgingDate d;
    d.date = data::ParseUserDate(inv.text(Invoice::InvDate), order);
    if (d.date) return d;
    auto m = WholeDays(inv.text(Invoice::InvMonth));
    auto day = WholeDays(inv.text(Invoice::InvDay));
    auto y = WholeDays(inv.text(Invoice::InvYear));
    if (m && day && y) {
        data::Date parts{*y, *m, *day};
        if (data::IsValidDate(parts)) {
            d.date = parts;
            d.rebuilt = true;
            return d;
        }
    }
    d.date = data::ParseSortDate(inv.text(Invoice::SortDate));
    return d;
}

std::optional<int> InvoiceAgeDays(const data::InvoiceRecord& record, data::DateOrder order,
                                  const data::Date& today) {
    InvoiceAgingDate date = AgingDateOf(record, order);
    if (!date.date) return std::nullopt;
    return data::DaysBetween(*date.date, today);
}

std::string AgingCustomerOf(std::string_view key2) {
    return data::UpperAnsi(data::TrimText(key2));
}

bool AgeInvoiceRecord(storage::Fileblock* invoices, int32_t recNo, data::InvoiceRecord& inv,
                      const AgingLimits& limits, const data::Date& today, data::DateOrder order,
                      AgingBuckets& buckets, AgingTally& tally, platform::Prompter& prompter,
                      std::string* error) {
    const Money due = inv.money(Invoice::BalanceDue);
    if (!inv.live() || !IsReceivable(inv) || due.isZero()) return true;
    InvoiceAgingDate date = AgingDateOf(inv, order);
    int bucket = 0;
    if (date.date) {
        if (date.rebuilt) {
            const data::InvoiceRecord asRead = inv;
            inv.setText(Invoice::InvDate, data::FormatUserDate(*date.date, order));
            const data::UpdateResult written =
                data::ChangeBusinessRecord(invoices, recNo, asRead, inv, prompter);
            if (!written.ok()) {
                storage::EngineError = written.engineError;
                *error = EngineText("Cannot write invoice record " + std::to_string(recNo));
                return false;
            }
            ++tally.datesRepaired;
        }
        bucket = AgingBucket(data::DaysBetween(*date.date, today), limits);
    } else {
        // Without any date the balance still belongs to the receivables; it is counted as
        // current and the user is told which invoice it is.
        tally.undatable.push_back(std::string(data::TrimText(inv.text(Invoice::InvNo))));
    }
    buckets[size_t(bucket)] += due;
    ++tally.invoicesAged;
    return true;
}

std::optional<AgingBuckets> CustomerAgingBuckets(storage::Fileblock* invoices,
                                                 std::string_view custNo, const AgingLimits& limits,
                                                 const data::Date& today, data::DateOrder order,
                                                 platform::Prompter& prompter) {
    data::InvoiceRecord probe;
    probe.setText(Invoice::CustNo, custNo);
    std::string key = data::InvoiceKey(probe, 2);
    const std::string wanted = AgingCustomerOf(probe.ansi(Invoice::CustNo));

    AgingBuckets buckets{};
    AgingTally tally;
    std::string error;
    int32_t recNo = storage::FindKeyAtOrAfter(invoices, 2, key);
    while (storage::EngineOk && AgingCustomerOf(key) == wanted) {
        data::InvoiceRecord inv;
        storage::GetRecord(invoices, recNo, inv.data());
        if (!storage::EngineOk) return std::nullopt;
        if (!AgeInvoiceRecord(invoices, recNo, inv, limits, today, order, buckets, tally, prompter,
                              &error))
            return std::nullopt;
        storage::NextKey(invoices, 2, key, recNo);
    }
    if (!storage::EngineOk && !EndOfKey()) return std::nullopt;
    return buckets;
}

}  // namespace invarro::invoicing
