#include "banking/BankLines.h"

#include <cstdio>
#include <map>

#include "data/Ansi.h"
#include "data/Keys.h"
#include "data/Posting.h"
#include "data/Update.h"
#include "storage/BTree.h"

namespace invarro::banking {

namespace {

using data::BankLine;

std::string CompactDate(const data::Date& d) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
    return buf;
}

data::Date DateOf(std::string_view s) {
    auto num = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n && i < s.size(); ++i)
            v = v * 10 + (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : 0);
        return v;
    };
    return {num(0, 4), num(4, 2), num(6, 2)};
}

uint64_t Fnv(std::string_view text, uint64_t h = 1469598103934665603ull) {
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// A walk along a key ended at the last entry rather than failing.
bool WalkEnded() {
    return storage::EngineOk || storage::EngineError == storage::err::KeyNotFound ||
           storage::EngineError == storage::err::NoNextEntry;
}

// The lines on file with the fingerprint; nothing when the index cannot be read.
std::optional<int32_t> CountWithFingerprint(storage::Fileblock* fb,
                                            const std::string& fingerprint) {
    data::BankLineRecord probe;
    probe.setText(BankLine::Fingerprint, fingerprint);
    std::string key = data::BankLineKey(probe.data(), 2);
    const std::string wanted = key;
    int32_t n = 0;
    int32_t recNo = storage::FindKeyAtOrAfter(fb, 2, key);
    while (storage::EngineOk && key == wanted) {
        ++n;
        storage::NextKey(fb, 2, key, recNo);
    }
    if (!WalkEnded()) return {};
    return n;
}

}  // namespace

std::string StateName(LineState state) {
    switch (state) {
        case LineState::New:
            return "new";
        case LineState::Matched:
            return "matched";
        case LineState::Posted:
            return "posted";
        case LineState::Ignored:
            return "ignored";
    }
    return "new";
}

std::optional<LineState> StateFromName(std::string_view name) {
    for (LineState s : {LineState::New, LineState::Matched, LineState::Posted, LineState::Ignored})
        if (StateName(s) == name) return s;
    return {};
}

std::string Fingerprint(const StatementLine& l) {
    std::string content;
    auto add = [&content](std::string_view part) {
        content += part;
        content += '\x1f';
    };
    add(data::UpperText(l.account));
    if (!l.bankId.empty()) {
        add("id");
        add(l.bankId);
    } else {
        add(CompactDate(l.bookDate));
        add(l.amount);
        add(l.currency);
        add(l.reference);
        add(l.endToEnd);
        add(l.payerName);
        add(l.payerIban);
        add(l.text);
        add(l.reversal ? "R" : "");
    }
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(Fnv(content)));
    return buf;
}

data::BankLineRecord RecordOf(const StatementLine& l) {
    data::BankLineRecord r = data::NewRecord<BankLine>();
    r.setText(BankLine::Account, l.account);
    r.setText(BankLine::BookDate, CompactDate(l.bookDate));
    r.setText(BankLine::ValueDate, l.valueDate);
    r.setText(BankLine::Amount, l.amount);
    r.setText(BankLine::Currency, l.currency);
    r.setText(BankLine::BankId, l.bankId);
    r.setText(BankLine::Reference, l.reference);
    r.setText(BankLine::EndToEnd, l.endToEnd);
    r.setText(BankLine::PayerName, l.payerName);
    r.setText(BankLine::PayerIban, l.payerIban);
    r.setText(BankLine::Text, l.text);
    r.setText(BankLine::Fingerprint, Fingerprint(l));
    r.setText(BankLine::State, std::string(1, char(LineState::New)));
    r.setText(BankLine::Reversal, l.reversal ? "Y" : "N");
    return r;
}

StoredLine StoredLineOf(int32_t recNo, const data::BankLineRecord& r) {
    StoredLine s;
    s.recNo = recNo;
    auto t = [&r](auto field) { return data::TrimmedText(r.text(field)); };
    s.line.account = t(BankLine::Account);
    s.line.bookDate = DateOf(t(BankLine::BookDate));
    s.line.valueDate = t(BankLine::ValueDate);
    s.line.amount = t(BankLine::Amount);
    s.line.currency = t(BankLine::Currency);
    s.line.bankId = t(BankLine::BankId);
    s.line.reference = t(BankLine::Reference);
    s.line.endToEnd = t(BankLine::EndToEnd);
    s.line.payerName = t(BankLine::PayerName);
    s.line.payerIban = t(BankLine::PayerIban);
    s.line.text = t(BankLine::Text);
    s.line.reversal = r.yes(BankLine::Reversal);
    const std::string state = t(BankLine::State);
    s.state = LineState::New;
    for (LineState known :
         {LineState::New, LineState::Matched, LineState::Posted, LineState::Ignored})
        if (!state.empty() && state[0] == char(known)) s.state = known;
    s.paidInvNo = t(BankLine::PaidInvNo);
    s.custNo = t(BankLine::CustNo);
    s.note = t(BankLine::Note);
    s.serial = t(BankLine::Serial);
    return s;
}

namespace {

// One attempt of storing a statement's lines, inside its posting; true to keep them.
bool StoreLinesBody(storage::Fileblock* fb, const std::vector<StatementLine>& lines,
                    const std::string& importedOn, platform::Prompter& prompter,
                    StoreOutcome& out) {
    // How many of each fingerprint are on file, and how many this file has given so far.
    std::map<std::string, int32_t> stored, seen;
    int32_t serial = storage::UsedRecordCount(fb);
    if (!storage::EngineOk) return false;
    for (const StatementLine& l : lines) {
        const std::string fp = Fingerprint(l);
        if (!stored.count(fp)) {
            auto n = CountWithFingerprint(fb, fp);
            if (!n) return false;
            stored[fp] = *n;
        }
        const int32_t nth = ++seen[fp];
        const bool byId = !l.bankId.empty();
        if ((byId && stored[fp] + nth > 1) || (!byId && nth <= stored[fp])) {
            ++out.duplicates;
            continue;
        }
        data::BankLineRecord r = RecordOf(l);
        r.setText(BankLine::ImportedOn, importedOn);
        char buf[12];
        std::snprintf(buf, sizeof buf, "%010d", ++serial);
        r.setText(BankLine::Serial, buf);
        data::UpdateResult added = data::AddBusinessRecord(fb, r, prompter);
        if (!added.ok()) return false;
        out.added.push_back(added.recNo);
    }
    return true;
}

}  // namespace

StoreOutcome StoreLines(storage::Fileblock* fb, const std::vector<StatementLine>& lines,
                        const std::string& importedOn, platform::Prompter& prompter) {
    StoreOutcome out;
    const data::PostingRun run =
        data::RunPosting(prompter, [&](data::Posting&, platform::Prompter& held) {
            out = StoreOutcome{};
            return StoreLinesBody(fb, lines, importedOn, held, out);
        });
    if (!run.committed) {
        out.added.clear();
        return out;
    }
    out.ok = true;
    return out;
}

std::optional<std::vector<StoredLine>> AllLines(storage::Fileblock* fb) {
    std::vector<StoredLine> all;
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(fb, 1, key);
    while (storage::EngineOk) {
        auto r = data::ReadBusinessRecord<BankLine>(fb, recNo);
        if (!r) return {};
        all.push_back(StoredLineOf(recNo, *r));
        storage::NextKey(fb, 1, key, recNo);
    }
    if (!WalkEnded()) return {};
    return all;
}

std::optional<StoredLine> ReadLine(storage::Fileblock* fb, int32_t recNo) {
    auto r = data::ReadBusinessRecord<BankLine>(fb, recNo);
    if (!r) return {};
    return StoredLineOf(recNo, *r);
}

bool ChangeLine(storage::Fileblock* fb, const StoredLine& asRead, const StoredLine& updated,
                platform::Prompter& prompter) {
    auto current = data::ReadBusinessRecord<BankLine>(fb, asRead.recNo);
    if (!current) return false;
    data::BankLineRecord changed = *current;
    changed.setText(BankLine::State, std::string(1, char(updated.state)));
    changed.setText(BankLine::PaidInvNo, updated.paidInvNo);
    changed.setText(BankLine::CustNo, updated.custNo);
    changed.setText(BankLine::Note, updated.note);
    // The line must still be as it was read: a state changed elsewhere is not overwritten.
    if (StoredLineOf(asRead.recNo, *current).state != asRead.state) return false;
    return data::ChangeBusinessRecord(fb, asRead.recNo, *current, changed, prompter).ok();
}

}  // namespace invarro::banking
