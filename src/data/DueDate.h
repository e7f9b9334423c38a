// When an invoice falls due by its payment terms. Terms are free texts ("Net 30 Days",
// "Due On Receipt"); where they name a number of days the due date follows from them.
#pragma once

#include <optional>
#include <string_view>

#include "data/Dates.h"

namespace invarro::data {

// The number of days payment terms give: the number after "Net" ("Net 30 Days", "2% 10 Net
// 30": 30), else a number followed by "day" or "days" ("Due in 14 days": 14); nothing when
// they name none ("Due On Receipt", "Credit Card - Visa").
std::optional<int> TermsDays(std::string_view terms);
// The day an invoice of this date and these terms falls due: the date itself without terms,
// the date plus the terms' days, and nothing when the terms name no number of days. The
// e-invoice and the documents' e-mails use this one rule.
std::optional<Date> PaymentDueDate(const Date& issued, std::string_view terms);

}  // namespace invarro::data
