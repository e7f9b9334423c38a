#include "storage/Browser.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <thread>
#include <type_traits>
#include <utility>

#include "storage/VarRecords.h"

#include "storage/BTree.h"

namespace invarro::storage {

namespace {

// The smallest key string greater than key (keys hold at most 30 bytes).
bool KeyAfter(const std::string& key, std::string& out) {
    if (key.size() < size_t(kMaxKeyLength)) {
        out = key;
        out.push_back('\0');
        return true;
    }
    out = key.substr(0, size_t(kMaxKeyLength));
    while (!out.empty() && uint8_t(out.back()) == 0xFF)
        out.pop_back();
    if (out.empty()) return false;
    out.back() = char(uint8_t(out.back()) + 1);
    return true;
}

// The greatest key string smaller than key.
bool KeyBefore(const std::string& key, std::string& out) {
    if (key.empty()) return false;
    out = key.substr(0, size_t(kMaxKeyLength));
    if (uint8_t(out.back()) == 0) {
        out.pop_back();
        return true;
    }
    out.back() = char(uint8_t(out.back()) - 1);
    out.resize(size_t(kMaxKeyLength), char(0xFF));
    return true;
}

// Cuts UTF-8 text to at most n characters without splitting one.
void CutText(std::string& text, size_t n) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((uint8_t(text[i]) & 0xC0) == 0x80) continue;  // continuation byte
        if (chars++ == n) {
            text.resize(i);
            return;
        }
    }
}

std::string CutKey(std::string_view key) {
    return std::string(key.substr(0, std::min(key.size(), size_t(kMaxKeyLength))));
}

}  // namespace

std::string BrowserErrorText(int errorClass, int32_t engineError) {
    char text[64];
    std::snprintf(text, sizeof text, "Class %d error.  Isam Error %d", errorClass,
                  int(engineError));
    return text;
}

BrowserError::BrowserError(int errorClass, int32_t engineError)
    : std::runtime_error(BrowserErrorText(errorClass, engineError)),
      errorClass_(errorClass),
      engineError_(engineError) {}

Browser::Browser(Fileblock* fb, int keyNo, void* recordBuffer, int32_t bufferLength,
                 std::string_view lowBound, std::string_view highBound, int rowCapacity)
    : fb_(fb),
      keyNo_(keyNo),
      buffer_(recordBuffer),
      bufferLength_(bufferLength),
      low_(CutKey(lowBound)),
      high_(CutKey(highBound)),
      capacity_(std::clamp(rowCapacity, 1, kBrowserMaxRows)),
      rowsInView_(capacity_),
      rows_(size_t(capacity_)) {
    if (recordBuffer == nullptr || bufferLength <= 0)
        throw std::invalid_argument("the browser needs a record buffer");
    pause_ = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    SetVariableRecordReader(nullptr);
}

// ---------------------------------------------------------------------- engine calls

// Runs an engine call, again after a pause while it reports a busy resource, and returns
// the class of its outcome.
template <class Call>
int Browser::retry(Call&& call) {
    for (int tries = 1;; ++tries) {
        call();
        int cls = EngineOk ? 0 : ErrorClass();
        if (cls != 0) lastEngineError_ = EngineError;
        if (cls != 2 || tries >= kRetryTries) return cls;
        pause_(kRetryPauseMs);
    }
}

// Reads one slot. A buffer shorter than the slot gets the slot's first bytes only.
void Browser::readFixed(Fileblock* fb, int32_t recNo, void* buffer, int32_t& length) {
    int32_t slot = RecordLength(fb);
    if (!EngineOk) return;
    if (length >= slot) {
        GetRecord(fb, recNo, buffer);
        length = EngineOk ? slot : 0;
        return;
    }
    scratch_.resize(size_t(slot));
    GetRecord(fb, recNo, scratch_.data());
    if (!EngineOk) {
        length = 0;
        return;
    }
    std::memcpy(buffer, scratch_.data(), size_t(length));
}

int Browser::readRecord(int32_t recNo) {
    int32_t length = bufferLength_;
    if (variableLength_) {
        return retry([&] {
            length = bufferLength_;
            varReader_(fb_, recNo, buffer_, length);
        });
    }
    return retry([&] {
        length = bufferLength_;
        readFixed(fb_, recNo, buffer_, length);
    });
}

void Browser::SetVariableRecordReader(RecordReader reader) {
    if (reader) {
        varReader_ = std::move(reader);
    } else {
        varReader_ = [](Fileblock* f, int32_t recNo, void* buffer, int32_t& length) {
            ReadVariableRecord(f, recNo, static_cast<uint8_t*>(buffer), length);
        };
    }
}

int Browser::noEntry(bool forward) {
    lastEngineError_ = forward ? err::NoNextEntry : err::NoPrevEntry;
    return 1;
}

int Browser::locateKey(Seek how, const Entry& from, Entry& out) {
    auto find = [&](const std::string& key, int32_t recNo, int direction) {
        return retry([&] {
            out.key = key;
            out.recNo = recNo;
            FindKeyAndRecord(fb_, keyNo_, out.key, out.recNo, direction);
        });
    };
    switch (how) {
        case Seek::AtOrAfter:
            return find(from.key, from.recNo, +1);
        case Seek::AtOrBefore:
            return find(from.key, from.recNo, -1);
        case Seek::After: {
            // On an index with duplicates the entry after (key, n) is the first one at or
            // after (key, n + 1). A unique index ignores the record number and answers
            // with the entry itself; from then on it is searched by the next key string.
            if (!uniqueIndex_ && from.recNo < INT32_MAX) {
                int cls = find(from.key, from.recNo + 1, +1);
                if (cls != 0 || out.key != from.key || out.recNo != from.recNo) return cls;
                uniqueIndex_ = true;
            }
            std::string next;
            if (!KeyAfter(from.key, next)) return noEntry(true);
            return find(next, 0, +1);
        }
        case Seek::Before: {
            if (!uniqueIndex_ && from.recNo > INT32_MIN) {
                int cls = find(from.key, from.recNo - 1, -1);
                if (cls != 0 || out.key != from.key || out.recNo != from.recNo) return cls;
                uniqueIndex_ = true;
            }
            std::string prev;
            if (!KeyBefore(from.key, prev)) return noEntry(false);
            return find(prev, INT32_MAX, -1);
        }
    }
    return 4;
}

int Browser::locateRecord(Seek how, const Entry& from, Entry& out) {
    out.key.clear();
    int32_t start = 0;
    bool forward = how == Seek::AtOrAfter || how == Seek::After;
    switch (how) {
        case Seek::AtOrAfter:
            start = std::max(from.recNo, 1) - 1;
            break;
        case Seek::After:
            if (from.recNo == INT32_MAX) return noEntry(true);
            start = from.recNo;
            break;
        case Seek::AtOrBefore:
            start = from.recNo == INT32_MAX ? INT32_MAX : from.recNo + 1;
            break;
        case Seek::Before:
            start = from.recNo;
            break;
    }
    return retry(
        [&] { out.recNo = forward ? NextUsedRecord(fb_, start) : PrevUsedRecord(fb_, start); });
}

int Browser::locate(Seek how, const Entry& from, Entry& out) {
    return keyNo_ == 0 ? locateRecord(how, from, out) : locateKey(how, from, out);
}

bool Browser::inBounds(const std::string& key) const {
    if (keyNo_ == 0) return true;
    std::string_view k(key);
    if (!low_.empty() && CompareKeys(k.substr(0, std::min(k.size(), low_.size())), low_) < 0)
        return false;
    if (!high_.empty() && CompareKeys(k.substr(0, std::min(k.size(), high_.size())), high_) > 0)
        return false;
    return true;
}

// ---------------------------------------------------------------------- rows

void Browser::deferError(int cls, int32_t engineError) {
    if (cls > 1 && opDepth_ > 0 && deferredClass_ == 0) {
        deferredClass_ = cls;
        deferredError_ = engineError;
    }
}

int Browser::buildRow(RowRecord& row) {
    int result = 0;
    if (OnBuildRow) {
        result = OnBuildRow(row);
    } else {
        row.text = kNoBuildRowText;
    }
    CutText(row.text, size_t(kRowTextMax));
    row.built = true;
    row.changed = true;
    row.status = int16_t(result == 0 ? 0 : -result);
    if (result != 0) deferError(result, EngineError);
    return result;
}

// Fetches one entry: positions in the index, reads the record, lets the filter skip it
// and builds the row. Returns 0 with the row, 1 when there is no further entry that way
// (or the next one lies outside the bounds), or the class of a failure.
int Browser::fetch(Seek how, const Entry& from, RowRecord& out) {
    const bool forward = how == Seek::AtOrAfter || how == Seek::After;
    Entry probe = from;
    Seek seek = how;
    for (;;) {
        Entry got;
        int cls = locate(seek, probe, got);
        if (cls != 0) return cls;
        if (!inBounds(got.key)) return noEntry(forward);
        RowRecord row;
        row.key = got.key;
        row.recNo = got.recNo;
        row.changed = true;
        int readClass = readRecord(got.recNo);
        if (readClass != 0) {
            // The entry stays on the page, marked, so that the rows keep the index order.
            row.status = int16_t(-readClass);
            row.text = BrowserErrorText(readClass, lastEngineError_);
            deferError(readClass, lastEngineError_);
            out = std::move(row);
            return 0;
        }
        if (filterEnabled_ && OnPerformFilter) {
            bool useIt = true;
            int result = OnPerformFilter(row, useIt);
            ++filterCalls_;
            if (OnShowFilterWorking) OnShowFilterWorking(filterCalls_ == 1 ? -1 : 0, !useIt);
            if (result > 1) deferError(result, EngineError);
            if (!useIt) {
                probe = std::move(got);
                seek = forward ? Seek::After : Seek::Before;
                continue;
            }
        }
        buildRow(row);
        out = std::move(row);
        return 0;
    }
}

// Fetches up to count entries in one direction, the first by `first` from `from`, the rest
// each from the one before. Returns 0 when all came, 1 when the direction ended early.
int Browser::fetchRun(Seek first, const Entry& from, int count, std::vector<RowRecord>& out) {
    const bool forward = first == Seek::AtOrAfter || first == Seek::After;
    Entry at = from;
    Seek seek = first;
    for (int i = 0; i < count; ++i) {
        RowRecord row;
        int cls = fetch(seek, at, row);
        if (cls != 0) return cls;
        at = {row.key, row.recNo};
        seek = forward ? Seek::After : Seek::Before;
        out.push_back(std::move(row));
    }
    return 0;
}

void Browser::throwIfFailed(int cls) {
    if (cls <= 1) return;
    lastClass_ = cls;
    throw BrowserError(cls, lastEngineError_);
}

void Browser::beginOperation() {
    if (opDepth_++ == 0) {
        filterCalls_ = 0;
        deferredClass_ = 0;
        deferredError_ = 0;
    }
}

void Browser::endOperation(bool ok) {
    if (--opDepth_ > 0) return;
    if (filterCalls_ > 0 && OnShowFilterWorking) OnShowFilterWorking(1, false);
    filterCalls_ = 0;
    int cls = deferredClass_;
    deferredClass_ = 0;
    if (ok && cls > 1) {
        lastClass_ = cls;
        lastEngineError_ = deferredError_;
        throw BrowserError(cls, deferredError_);
    }
}

template <class Body>
auto Browser::operation(Body&& body) {
    beginOperation();
    using Result = decltype(body());
    if constexpr (std::is_void_v<Result>) {
        try {
            body();
        } catch (...) {
            endOperation(false);
            throw;
        }
        endOperation(true);
    } else {
        Result result{};
        try {
            result = body();
        } catch (...) {
            endOperation(false);
            throw;
        }
        endOperation(true);
        return result;
    }
}

void Browser::commit(std::vector<RowRecord>&& rows, int current) {
    const int n = std::min(int(rows.size()), capacity_);
    for (int i = 0; i < n; ++i) {
        rows_[size_t(i)] = std::move(rows[size_t(i)]);
        rows_[size_t(i)].changed = true;
    }
    for (int i = n; i < filled_; ++i) {
        rows_[size_t(i)] = RowRecord{};
        rows_[size_t(i)].changed = true;
    }
    filled_ = n;
    current_ = n == 0 ? 1 : std::clamp(current, 1, n);
    filledOnce_ = true;
}

void Browser::pageEvent(const PageHandler& handler) {
    if (handler) handler();
}

Browser::Entry Browser::currentEntry() const {
    if (filled_ == 0) return lowStart();
    const RowRecord& r = rows_[size_t(current_ - 1)];
    return {r.key, r.recNo};
}

Browser::Entry Browser::lowStart() const {
    if (keyNo_ == 0) return {"", 0};
    return {low_, 0};
}

Browser::Entry Browser::highStart() const {
    if (keyNo_ == 0) return {"", INT32_MAX};
    std::string high = high_;
    high.resize(size_t(kMaxKeyLength), char(0xFF));
    return {high, INT32_MAX};
}

// Puts the first acceptable entry at or after target on screen row screenRow (or, when
// there is none, the one before target) and fills the rows around it.
BrowseChange Browser::fillAround(const Entry& target, int screenRow) {
    screenRow = std::clamp(screenRow, 1, rowsInView_);
    pageEvent(OnPreCompletePage);
    RowRecord anchor;
    int cls = fetch(Seek::AtOrAfter, target, anchor);
    throwIfFailed(cls);
    if (cls == 1) {
        cls = fetch(Seek::Before, target, anchor);
        throwIfFailed(cls);
        if (cls == 1) {
            commit({}, 1);
            lastClass_ = 1;
            pageEvent(OnPostCompletePage);
            return BrowseChange::Page;
        }
    }
    const Entry at{anchor.key, anchor.recNo};
    const int wantBelow = rowsInView_ - screenRow;
    std::vector<RowRecord> below;
    cls = fetchRun(Seek::After, at, wantBelow, below);
    throwIfFailed(cls);
    const bool endReached = int(below.size()) < wantBelow;
    std::vector<RowRecord> above;
    if (endReached || screenRow != 1) {
        cls = fetchRun(Seek::Before, at, rowsInView_ - 1 - int(below.size()), above);
        throwIfFailed(cls);
    }
    // Near the start of the index fewer rows came above than asked for: the page is then
    // completed downwards.
    int total = int(above.size()) + 1 + int(below.size());
    if (total < rowsInView_ && !endReached) {
        const Entry last = below.empty() ? at : Entry{below.back().key, below.back().recNo};
        cls = fetchRun(Seek::After, last, rowsInView_ - total, below);
        throwIfFailed(cls);
    }
    std::vector<RowRecord> page;
    page.reserve(size_t(rowsInView_));
    for (auto it = above.rbegin(); it != above.rend(); ++it)
        page.push_back(std::move(*it));
    page.push_back(std::move(anchor));
    for (auto& r : below)
        page.push_back(std::move(r));
    commit(std::move(page), int(above.size()) + 1);
    lastClass_ = 0;
    pageEvent(OnPostCompletePage);
    return BrowseChange::Page;
}

// ---------------------------------------------------------------------- set-up

void Browser::SetKeyNumber(int keyNo) {
    if (keyNo < 0 || keyNo > KeyCountOf(fb_)) {
        lastClass_ = 4;
        lastEngineError_ = err::BadKeyNumber;
        throw BrowserError(4, err::BadKeyNumber);
    }
    keyNo_ = keyNo;
    uniqueIndex_ = false;
    if (filledOnce_) FirstPage();
}

void Browser::SetRowsInView(int rows) {
    rows = std::clamp(rows, 1, capacity_);
    if (rows == rowsInView_) return;
    const int screenRow = std::min(current_, rows);
    const Entry keep = currentEntry();
    const bool wasEmpty = filled_ == 0;
    rowsInView_ = rows;
    if (!filledOnce_) return;
    if (wasEmpty) {
        FirstPage();
        return;
    }
    operation([&] { fillAround(keep, screenRow); });
}

void Browser::SetFilterEnabled(bool on) {
    if (on == filterEnabled_) return;
    filterEnabled_ = on;
    if (!on && OnShowFilterWorking) OnShowFilterWorking(1, false);
    if (filledOnce_) Refresh();
}

void Browser::MarkPainted() {
    for (int i = 0; i < capacity_; ++i)
        rows_[size_t(i)].changed = false;
}

int32_t Browser::CurrentRecordNumber() const {
    return filled_ == 0 ? 0 : rows_[size_t(current_ - 1)].recNo;
}

std::string Browser::CurrentKeyString() const {
    return filled_ == 0 ? std::string() : rows_[size_t(current_ - 1)].key;
}

// ---------------------------------------------------------------------- movements

BrowseChange Browser::FirstPage() {
    return operation([&] {
        pageEvent(OnPreCompletePage);
        std::vector<RowRecord> page;
        int cls = fetchRun(Seek::AtOrAfter, lowStart(), rowsInView_, page);
        throwIfFailed(cls);
        commit(std::move(page), 1);
        lastClass_ = 0;
        pageEvent(OnPostCompletePage);
        return BrowseChange::Page;
    });
}

BrowseChange Browser::LastPage() {
    return operation([&] {
        pageEvent(OnPreCompletePage);
        std::vector<RowRecord> page;
        int cls = fetchRun(Seek::AtOrBefore, highStart(), rowsInView_, page);
        throwIfFailed(cls);
        std::reverse(page.begin(), page.end());
        const int n = int(page.size());
        commit(std::move(page), n);
        lastClass_ = 0;
        pageEvent(OnPostCompletePage);
        return BrowseChange::Page;
    });
}

BrowseChange Browser::MoveDown() {
    return operation([&] {
        lastClass_ = 0;
        if (filled_ == 0) {
            lastClass_ = 1;
            return BrowseChange::None;
        }
        if (current_ < filled_) {
            ++current_;
            return BrowseChange::Highlight;
        }
        const RowRecord& lastRow = rows_[size_t(filled_ - 1)];
        RowRecord row;
        int cls = fetch(Seek::After, {lastRow.key, lastRow.recNo}, row);
        throwIfFailed(cls);
        if (cls == 1) {
            lastClass_ = 1;
            return BrowseChange::None;
        }
        if (filled_ < rowsInView_) {
            rows_[size_t(filled_)] = std::move(row);
            ++filled_;
            current_ = filled_;
            return BrowseChange::Highlight;
        }
        std::rotate(rows_.begin(), rows_.begin() + 1, rows_.begin() + filled_);
        rows_[size_t(filled_ - 1)] = std::move(row);
        current_ = filled_;
        return BrowseChange::ScrolledUp;
    });
}

BrowseChange Browser::MoveUp() {
    return operation([&] {
        lastClass_ = 0;
        if (filled_ == 0) {
            lastClass_ = 1;
            return BrowseChange::None;
        }
        if (current_ > 1) {
            --current_;
            return BrowseChange::Highlight;
        }
        const RowRecord& firstRow = rows_[0];
        RowRecord row;
        int cls = fetch(Seek::Before, {firstRow.key, firstRow.recNo}, row);
        throwIfFailed(cls);
        if (cls == 1) {
            lastClass_ = 1;
            return BrowseChange::None;
        }
        if (filled_ < rowsInView_) ++filled_;
        std::rotate(rows_.begin(), rows_.begin() + filled_ - 1, rows_.begin() + filled_);
        rows_[0] = std::move(row);
        current_ = 1;
        return BrowseChange::ScrolledDown;
    });
}

BrowseChange Browser::PageDown() {
    return operation([&] {
        lastClass_ = 0;
        if (filled_ == 0) {
            lastClass_ = 1;
            return BrowseChange::None;
        }
        const RowRecord& lastRow = rows_[size_t(filled_ - 1)];
        std::vector<RowRecord> more;
        int cls = fetchRun(Seek::After, {lastRow.key, lastRow.recNo}, rowsInView_, more);
        throwIfFailed(cls);
        if (more.empty()) {
            lastClass_ = 1;
            return BrowseChange::None;
        }
        pageEvent(OnPreCompletePage);
        const int total = filled_ + int(more.size());
        const int drop = std::max(0, total - rowsInView_);
        std::vector<RowRecord> page;
        page.reserve(size_t(rowsInView_));
        for (int i = drop; i < filled_; ++i)
            page.push_back(std::move(rows_[size_t(i)]));
        for (auto& r : more)
            page.push_back(std::move(r));
        commit(std::move(page), current_);
        pageEvent(OnPostCompletePage);
        return BrowseChange::Page;
    });
}

BrowseChange Browser::PageUp() {
    return operation([&] {
        lastClass_ = 0;
        if (filled_ == 0) {
            lastClass_ = 1;
            return BrowseChange::None;
        }
        const RowRecord& firstRow = rows_[0];
        std::vector<RowRecord> more;
        int cls = fetchRun(Seek::Before, {firstRow.key, firstRow.recNo}, rowsInView_, more);
        throwIfFailed(cls);
        if (more.empty()) {
            lastClass_ = 1;
            return BrowseChange::None;
        }
        pageEvent(OnPreCompletePage);
        std::vector<RowRecord> page;
        page.reserve(size_t(rowsInView_));
        for (auto it = more.rbegin(); it != more.rend(); ++it)
            page.push_back(std::move(*it));
        for (int i = 0; i < filled_ && int(page.size()) < rowsInView_; ++i)
            page.push_back(std::move(rows_[size_t(i)]));
        commit(std::move(page), current_);
        pageEvent(OnPostCompletePage);
        return BrowseChange::Page;
    });
}

void Browser::JumpToKey(std::string_view key, int32_t recNo) {
    operation([&] {
        Entry target{CutKey(key), recNo};
        if (keyNo_ == 0) {
            target.key.clear();
        } else {
            const Entry low = lowStart(), high = highStart();
            if (CompareKeys(target.key, low.key) < 0) target = low;
            if (CompareKeys(target.key, high.key) > 0) target = high;
        }
        fillAround(target, current_);
    });
}

bool Browser::TypeCharacter(char32_t ch) {
    char byte;
    if ((ch >= U'0' && ch <= U'9') || (ch >= U'A' && ch <= U'Z') || (ch >= U'a' && ch <= U'z')) {
        byte = char(ch);
    } else {
        // Keys hold Windows-1252 text.
        switch (ch) {
            case U'\u00C4':  // Ä
            case U'\u00D6':  // Ö
            case U'\u00DC':  // Ü
            case U'\u00DF':  // ß
            case U'\u00E4':  // ä
            case U'\u00F6':  // ö
            case U'\u00FC':  // ü
                byte = char(uint8_t(ch));
                break;
            default:
                return false;
        }
    }
    JumpToKey(std::string(1, byte), 0);
    return true;
}

void Browser::Refresh() {
    operation([&] { fillAround(currentEntry(), current_); });
}

bool Browser::SetCurrentRow(int row) {
    if (filled_ == 0) return false;
    row = std::clamp(row, 1, filled_);
    if (row == current_) return false;
    current_ = row;
    return true;
}

int Browser::ReadCurrentRecord(bool& unchanged) {
    unchanged = false;
    if (filled_ == 0) {
        lastClass_ = 1;
        return 1;
    }
    RowRecord& row = rows_[size_t(current_ - 1)];
    int cls = readRecord(row.recNo);
    lastClass_ = cls;
    if (cls != 0) {
        row.status = int16_t(-cls);
        row.changed = true;
        return cls;
    }
    // A record deleted since the row was built carries its deleted-chain link where a
    // live record holds 0.
    if (bufferLength_ >= 4) {
        uint8_t mark[4];
        std::memcpy(mark, buffer_, 4);
        if (mark[0] | mark[1] | mark[2] | mark[3]) {
            lastClass_ = 1;
            return 1;
        }
    }
    const std::string before = row.text;
    const int16_t statusBefore = row.status;
    int result = buildRow(row);
    unchanged = row.text == before && statusBefore == row.status;
    row.changed = !unchanged;
    lastClass_ = result;
    return result;
}

// ---------------------------------------------------------------------- scroll bar

uint32_t Browser::countForScroll() {
    int32_t n = keyNo_ == 0 ? UsedRecordCount(fb_) : KeyCount(fb_, keyNo_);
    if (!EngineOk) {
        lastEngineError_ = EngineError;
        throwIfFailed(std::max(ErrorClass(), 2));
    }
    return n < 0 ? 0 : uint32_t(n);
}

int Browser::ScrollPositionOf(const std::string& key, int32_t recNo) {
    const uint32_t a = uint32_t(kScrollRange);
    const uint32_t n = countForScroll();
    if (n <= 1) return 0;
    // Few entries would crowd the thumb into the middle of the bar: the estimate is asked
    // on a longer scale and shifted back, so that the first entry sits at 0 and the last
    // at the end.
    const uint32_t d = a / n;
    uint32_t e;
    if (d > 33)
        e = 4 * a;
    else if (d == 0)
        e = 2;
    else if (d == 1)
        e = a / (a / 4);
    else if (d == 2)
        e = a / (a / 8);
    else if (d <= 4)
        e = a / (a / 10);
    else if (d <= 10)
        e = a / (a / 25);
    else if (d <= 20)
        e = a / (a / 50);
    else if (d <= 25)
        e = a;
    else
        e = 2 * a;
    e = std::max<uint32_t>(e, 2);
    const uint32_t scale = a + (e & ~1u);
    uint32_t pos = 0;
    int cls = retry([&] {
        pos = keyNo_ == 0 ? ApproxRecordPosition(fb_, recNo, scale)
                          : ApproxKeyPosition(fb_, keyNo_, key, recNo, scale);
    });
    throwIfFailed(cls);
    if (cls == 1) return 0;
    pos = pos > e / 2 ? pos - e / 2 : 0;
    return int(std::min(pos, a));
}

int Browser::ScrollPosition() {
    if (filled_ == 0) return 0;
    const RowRecord& r = rows_[size_t(current_ - 1)];
    return ScrollPositionOf(r.key, r.recNo);
}

BrowseChange Browser::ScrollTo(int position) {
    if (position <= 0) return FirstPage();
    if (position >= kScrollRange) return LastPage();
    return operation([&] {
        // Candidate positions on a fine scale; each is turned into an entry and that
        // entry's scroll position is compared with the one asked for.
        const uint32_t scale = 65535;
        auto entryAt = [&](uint32_t candidate, Entry& e) {
            int cls = retry([&] {
                if (keyNo_ == 0) {
                    e.key.clear();
                    e.recNo = ApproxRecordAtPosition(fb_, candidate, scale);
                } else {
                    ApproxKeyAtPosition(fb_, keyNo_, candidate, scale, e.key, e.recNo);
                }
            });
            throwIfFailed(cls);
            return cls == 0;
        };
        Entry lowE, highE, best;
        int lowPos = 0, highPos = 0;
        bool haveLow = false, haveHigh = false, found = false;
        uint32_t lo = 0, hi = scale;
        while (hi - lo > 1) {
            const uint32_t mid = lo + (hi - lo) / 2;
            Entry e;
            if (!entryAt(mid, e)) return fillAround(lowStart(), current_);  // empty index
            const int q = ScrollPositionOf(e.key, e.recNo);
            if (q == position) {
                best = std::move(e);
                found = true;
                break;
            }
            if (q < position) {
                lo = mid;
                lowE = std::move(e);
                lowPos = q;
                haveLow = true;
            } else {
                hi = mid;
                highE = std::move(e);
                highPos = q;
                haveHigh = true;
            }
        }
        if (!found) {
            if (!haveLow) {
                entryAt(lo, lowE);
                lowPos = ScrollPositionOf(lowE.key, lowE.recNo);
            }
            if (!haveHigh) {
                entryAt(hi, highE);
                highPos = ScrollPositionOf(highE.key, highE.recNo);
            }
            best = position - lowPos <= highPos - position ? lowE : highE;
        }
        return fillAround(best, current_);
    });
}

}  // namespace invarro::storage
