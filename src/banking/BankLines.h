// The company's stored bank lines (fileblock "<no>B"): each line of a statement stored
// once, with its state and the payment it became.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "banking/Statement.h"
#include "data/Records.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::banking {

enum class LineState : char { New = 'N', Matched = 'M', Posted = 'P', Ignored = 'I' };
std::string StateName(LineState state);  // "new", "matched", "posted", "ignored"
std::optional<LineState> StateFromName(std::string_view name);

struct StoredLine {
    int32_t recNo = 0;
    StatementLine line;
    LineState state = LineState::New;
    std::string paidInvNo;  // the (first) invoice the payment settled, or the deposit
    std::string custNo;     // the customer the line was confirmed or posted for
    std::string note;       // the proposal's reason, or why a proposal went stale
    std::string serial;
};

// What identifies the line on a second import: the bank's id within the account where it
// has one, else every part of its content. 16 hexadecimal digits.
std::string Fingerprint(const StatementLine& line);

data::BankLineRecord RecordOf(const StatementLine& line);
StoredLine StoredLineOf(int32_t recNo, const data::BankLineRecord& record);

struct StoreOutcome {
    bool ok = false;             // false: nothing was stored
    std::vector<int32_t> added;  // the record numbers of the new lines, in file order
    int duplicates = 0;          // lines already stored (or twice in the file with one id)
};

// Stores the lines not yet stored, in one posting: a line with a bank id once per account
// and id; lines without one by content, only as many of identical lines as the file holds
// beyond those already stored (two identical lines on one day are both kept, and the
// same file again adds nothing). importedOn is yyyymmdd.
StoreOutcome StoreLines(storage::Fileblock* bankLines, const std::vector<StatementLine>& lines,
                        const std::string& importedOn, platform::Prompter& prompter);

// Every stored line in booking date order; nothing when the file cannot be read to its end.
std::optional<std::vector<StoredLine>> AllLines(storage::Fileblock* bankLines);
std::optional<StoredLine> ReadLine(storage::Fileblock* bankLines, int32_t recNo);

// Changes the state of a line (and its customer, invoice and note) through the
// record-update protocol; inside a Posting it is part of it. False when the write failed
// or the line changed since it was read.
bool ChangeLine(storage::Fileblock* bankLines, const StoredLine& asRead, const StoredLine& updated,
                platform::Prompter& prompter);

}  // namespace invarro::banking
