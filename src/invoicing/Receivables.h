// The age rule of receivables: how old an invoice is, the four aging periods of the
// company, and a customer's sums of open invoices in those periods. Every aging in the
// program (the daily run, payments, deletions, interest, statements, reports) counts this
// way.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/Money.h"
#include "data/Records.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::invoicing {

inline constexpr std::string_view kBadAgingDays =
    "There is a bad value in your aging days (Company Setup). Unable to calculate aging.";

// The last day of the first three periods; the fourth holds everything older.
struct AgingLimits {
    int d1 = 30;
    int d2 = 60;
    int d3 = 90;
};
// The company's AgingDays1..3; nothing when one is empty or not a whole number.
std::optional<AgingLimits> AgingLimitsOf(const data::CompanyRecord& company);
// The period (0..3) of an invoice that is ageDays whole days old.
int AgingBucket(int ageDays, const AgingLimits& limits);

using AgingBuckets = std::array<data::Money, 4>;
data::Money SumOf(const AgingBuckets& buckets);

// The four period labels: the company's three captions and "Over " d3 ": ".
std::array<std::string, 4> AgingLabels(const data::CompanyRecord& company);

// The date an invoice is aged from: its invoice date as the company writes dates, or,
// when that cannot be read, rebuilt from its month, day and year fields, or its sort date.
struct InvoiceAgingDate {
    std::optional<data::Date> date;
    bool rebuilt = false;  // InvDate was unreadable and the parts gave a date
};
InvoiceAgingDate AgingDateOf(const data::InvoiceRecord& record, data::DateOrder order);

// The age of an invoice in whole days: from its aging date to today. Nothing when the
// record has no readable date at all.
std::optional<int> InvoiceAgeDays(const data::InvoiceRecord& record, data::DateOrder order,
                                  const data::Date& today);

// Whether a record can be a receivable at all (quotes and repeat masters never are).
using data::IsReceivable;

// The customer number an invoice record is filed under, as invoice key 2 holds it
// (trimmed, upper case): the record belongs to the customer whose number reads the same.
std::string AgingCustomerOf(std::string_view key2);

// What an aging met on its way.
struct AgingTally {
    int invoicesAged = 0;
    int datesRepaired = 0;               // invoice dates rebuilt and written back
    std::vector<std::string> undatable;  // invoices without any readable date
};
// Adds invoice record recNo (read as inv) to its customer's sums: a live receivable with a
// balance due, in the period of its age. A record without any readable date counts as
// current and is named in the tally. An invoice date that had to be rebuilt from the other
// date fields is written back through the record-update protocol (within the posting open
// now, if any). False with error set when that write fails.
bool AgeInvoiceRecord(storage::Fileblock* invoices, int32_t recNo, data::InvoiceRecord& inv,
                      const AgingLimits& limits, const data::Date& today, data::DateOrder order,
                      AgingBuckets& buckets, AgingTally& tally, platform::Prompter& prompter,
                      std::string* error);

// The customer's four sums from scratch: every receivable record of the customer
// (invoice key 2) with a balance due, in the period of its age counted from its invoice
// date to today. A record without any readable date counts as current; a date rebuilt on
// the way is written back. Nothing when the invoice file cannot be read or written.
std::optional<AgingBuckets> CustomerAgingBuckets(storage::Fileblock* invoices,
                                                 std::string_view custNo, const AgingLimits& limits,
                                                 const data::Date& today, data::DateOrder order,
                                                 platform::Prompter& prompter);

}  // namespace invarro::invoicing
