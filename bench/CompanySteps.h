// Steps of the whole-company benchmark that run whole commands or a peer program: the
// check of the books (in the process, and as invarro-cli runs it in a process of its own),
// and SQLite over the invoice file's records as the peer of the invoice file's rebuild
// (creating the indexes alone, and copying the rows and creating the indexes).
#pragma once

#include <string>

#include "data/Records.h"
#include "platform/Clock.h"

namespace invarro::bench {

// Runs the check of the books as invarro-cli's check does, timed as "books-check"; then
// invarro-cli itself (found beside this program) on the folder, timed as "cli-check" with
// the processor time of that process. The engine must be started; no fileblock of the
// company may be open.
void TimeBooksCheck(const std::string& folder, const data::CompanyRecord& company,
                    const platform::Clock& clock);

// SQLite's peer of the rebuild of the invoice file: the live records of the invoice file
// with their six key texts (as the engine builds them) in a table, loaded into two
// databases. In one the six indexes are created over the table, timed as
// "sqlite-create-invoice-indexes"; in the other the rebuild's whole work is done (the rows
// copied into a fresh table numbered 1..n, the old table dropped, the six indexes created),
// timed as "sqlite-copy-and-index-invoice-file". Prints "ratio rebuild-invoice-file R cpu C"
// and "ratio rebuild-invoice-file-same-work R cpu C": the rebuild's wall seconds over
// SQLite's, then the same for processor seconds. The engine must be started with the given
// number of buffers.
void CompareRebuildWithSqlite(const std::string& folder, const std::string& prefix, int buffers,
                              double rebuildWall, double rebuildCpu);

}  // namespace invarro::bench
