// The application's rebuild of business fileblocks: the engine's recovery sequence with
// the kind's own key builder, its counters shown in the progress window.
#pragma once

#include <string>

#include "data/Fileblocks.h"
#include "platform/Progress.h"

namespace invarro::data {

inline constexpr const char* kRebuildTitle = "Rebuild Status";

// Rebuilds one fileblock (restructure, then reindex with the delete flag set), showing
// "Key number: %d", "Records read: %d" and "Records written: %d" every 50 records read in
// a progress window with the given title. Returns true on success; the engine status
// tells why otherwise.
bool RebuildBusinessFileblock(const std::string& name, const RecordKind& kind,
                              platform::Progress& progress,
                              const std::string& title = kRebuildTitle);

// Rebuilds every fileblock of a company that exists, in the order company, customers,
// invoices, invoice lines, memos, products. Stops at the first failure.
bool RebuildCompanyFiles(const std::string& folder, std::string_view companyPrefix,
                         platform::Progress& progress);

}  // namespace invarro::data
