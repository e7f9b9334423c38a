// The browser's row logic on real fileblocks: page fill, moves across page boundaries,
// bounds, the filter, typed characters, failures and the scroll bar.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "EngineFixture.h"
#include "storage/Browser.h"
#include "storage/BufferedRecords.h"
#include "storage/VarRecords.h"

namespace invarro::storage {
namespace {

constexpr int kRecLen = 40;

std::vector<std::string> Codes(int n, const char* prefix = "K") {
    std::vector<std::string> out;
    for (int i = 1; i <= n; ++i) {
        char b[16];
        std::snprintf(b, sizeof b, "%s%04d", prefix, i);
        out.push_back(b);
    }
    return out;
}

class BrowserTest : public EngineTest {
  protected:
    void TearDown() override {
        browser.reset();
        if (fb) CloseFileblock(fb);
        EngineTest::TearDown();
    }

    // One record per key text. Key 1 is unique on the text; key 2 allows duplicates and
    // holds the text's first character.
    void makeFile(const std::vector<std::string>& keys) {
        fb = createOpen(kRecLen, {{10, false}, {1, true}});
        for (const auto& k : keys)
            add(k);
    }
    int32_t add(const std::string& k) {
        std::string r = record(kRecLen, k);
        int32_t n = AddRecord(fb, r.data());
        EXPECT_TRUE(EngineOk);
        AddKey(fb, 1, n, k);
        AddKey(fb, 2, n, k.substr(0, 1));
        EXPECT_TRUE(EngineOk);
        recOf[k] = n;
        return n;
    }
    void remove(const std::string& k) {
        int32_t n = recOf.at(k);
        DeleteKey(fb, 1, n, k);
        DeleteKey(fb, 2, n, k.substr(0, 1));
        DeleteRecord(fb, n);
        ASSERT_TRUE(EngineOk);
        recOf.erase(k);
    }

    // A browser whose rows show the text of the record read into the buffer.
    Browser& open(int keyNo, int rows, std::string_view low = {}, std::string_view high = {}) {
        browser = std::make_unique<Browser>(fb, keyNo, buffer.data(), kRecLen, low, high);
        browser->SetRetryPause([this](int ms) { pauses.push_back(ms); });
        browser->SetRowsInView(rows);
        browser->OnBuildRow = [this](RowRecord& row) {
            ++builds;
            row.text = std::string(buffer.data() + 4);
            return 0;
        };
        return *browser;
    }

    std::vector<std::string> shown() const {
        std::vector<std::string> out;
        for (int i = 1; i <= browser->FilledRows(); ++i)
            out.push_back(browser->Row(i).text);
        return out;
    }
    std::string current() const { return browser->Row(browser->CurrentRow()).text; }
    static std::vector<std::string> slice(const std::vector<std::string>& v, size_t from,
                                          size_t n) {
        return std::vector<std::string>(v.begin() + long(from), v.begin() + long(from + n));
    }
    int indexCalls() const {
        return EngineOpCalls(EngineOp::FindKey) + EngineOpCalls(EngineOp::NextKey) +
               EngineOpCalls(EngineOp::PrevKey);
    }

    Fileblock* fb = nullptr;
    std::vector<char> buffer = std::vector<char>(kRecLen);
    std::unique_ptr<Browser> browser;
    std::map<std::string, int32_t> recOf;
    std::vector<int> pauses;
    int builds = 0;
};

TEST_F(BrowserTest, EmptyFileShowsNoRowsAndIgnoresMoves) {
    makeFile({});
    Browser& b = open(1, 10);
    b.JumpToKey("");
    EXPECT_EQ(b.FilledRows(), 0);
    EXPECT_EQ(b.CurrentRow(), 1);
    EXPECT_EQ(b.CurrentRecordNumber(), 0);
    EXPECT_EQ(b.CurrentKeyString(), "");
    EXPECT_EQ(b.MoveDown(), BrowseChange::None);
    EXPECT_EQ(b.MoveUp(), BrowseChange::None);
    EXPECT_EQ(b.PageDown(), BrowseChange::None);
    EXPECT_EQ(b.PageUp(), BrowseChange::None);
    b.LastPage();
    b.ScrollTo(30);
    EXPECT_EQ(b.FilledRows(), 0);
    EXPECT_EQ(b.ScrollPosition(), 0);
    bool unchanged = true;
    EXPECT_EQ(b.ReadCurrentRecord(unchanged), 1);
    EXPECT_FALSE(unchanged);
    EXPECT_EQ(builds, 0);
}

TEST_F(BrowserTest, PageFillKeepsTheScreenRowWhenTheIndexAllows) {
    auto keys = Codes(100);
    makeFile(keys);
    Browser& b = open(1, 20);
    b.JumpToKey("");
    ASSERT_EQ(shown(), slice(keys, 0, 20));
    ASSERT_TRUE(b.SetCurrentRow(10));

    b.JumpToKey("K0050");
    EXPECT_EQ(b.CurrentRow(), 10);
    EXPECT_EQ(shown(), slice(keys, 40, 20));
    EXPECT_EQ(b.CurrentKeyString(), "K0050");
    EXPECT_EQ(b.CurrentRecordNumber(), recOf["K0050"]);

    // Near the start the current entry moves up and the page is completed downwards.
    b.JumpToKey("K0003");
    EXPECT_EQ(b.CurrentRow(), 3);
    EXPECT_EQ(shown(), slice(keys, 0, 20));

    // Near the end the page still ends on the last entry.
    b.SetCurrentRow(10);
    b.JumpToKey("K0095");
    EXPECT_EQ(shown(), slice(keys, 80, 20));
    EXPECT_EQ(current(), "K0095");

    // A key between entries and one past the end.
    b.JumpToKey("K0050A");
    EXPECT_EQ(current(), "K0051");
    b.JumpToKey("ZZZ");
    EXPECT_EQ(current(), "K0100");
    EXPECT_EQ(b.CurrentRow(), 20);
}

TEST_F(BrowserTest, JumpInAShortIndexShowsEverythingFromTheTop) {
    auto keys = Codes(30);
    makeFile(keys);
    Browser& b = open(1, 20);
    b.JumpToKey("K0011");
    b.SetCurrentRow(10);
    ASSERT_EQ(b.CurrentRow(), 10);
    for (int i = 6; i <= 30; ++i)
        remove(keys[size_t(i - 1)]);

    b.JumpToKey("K0004");
    EXPECT_EQ(shown(), slice(keys, 0, 5));
    EXPECT_EQ(b.CurrentRow(), 4);
    EXPECT_EQ(current(), "K0004");
}

TEST_F(BrowserTest, RefreshAfterDeletingTheCurrentRecord) {
    auto keys = Codes(10);
    makeFile(keys);
    Browser& b = open(1, 5);
    b.JumpToKey("K0004");
    b.SetCurrentRow(2);
    b.JumpToKey("K0004");
    ASSERT_EQ(current(), "K0004");

    remove("K0004");
    b.Refresh();
    EXPECT_EQ(current(), "K0005");
    EXPECT_EQ(b.CurrentRow(), 2);
    EXPECT_EQ(shown(), (std::vector<std::string>{"K0003", "K0005", "K0006", "K0007", "K0008"}));

    b.LastPage();
    ASSERT_EQ(current(), "K0010");
    remove("K0010");
    b.Refresh();
    EXPECT_EQ(current(), "K0009");
    EXPECT_EQ(shown().back(), "K0009");

    // Deleting everything leaves an empty page.
    for (const char* k : {"K0001", "K0002", "K0003", "K0005", "K0006", "K0007", "K0008", "K0009"})
        remove(k);
    b.Refresh();
    EXPECT_EQ(b.FilledRows(), 0);
    EXPECT_EQ(b.CurrentRecordNumber(), 0);
}

// Walks the whole index with the given moves and checks that every page is a run of
// consecutive entries in index order.
TEST_F(BrowserTest, MovesAcrossPageBoundariesFollowTheIndexOrder) {
    auto keys = Codes(137);
    makeFile(keys);
    Browser& b = open(1, 9);
    auto pageIsARun = [&] {
        auto rows = shown();
        auto at = std::find(keys.begin(), keys.end(), rows.front());
        ASSERT_NE(at, keys.end());
        size_t from = size_t(at - keys.begin());
        ASSERT_LE(from + rows.size(), keys.size());
        EXPECT_EQ(rows, slice(keys, from, rows.size()));
        EXPECT_EQ(b.FilledRows(), 9);
    };

    b.FirstPage();
    std::vector<std::string> seen{current()};
    while (b.MoveDown() != BrowseChange::None) {
        seen.push_back(current());
        pageIsARun();
    }
    EXPECT_EQ(seen, keys);
    EXPECT_EQ(b.CurrentRow(), 9);

    std::vector<std::string> back{current()};
    while (b.MoveUp() != BrowseChange::None) {
        back.push_back(current());
        pageIsARun();
    }
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, keys);
    EXPECT_EQ(b.CurrentRow(), 1);

    // Page Down keeps the screen row; the last page ends on the last entry.
    b.SetCurrentRow(4);
    int pages = 0;
    while (b.PageDown() != BrowseChange::None) {
        pageIsARun();
        EXPECT_EQ(b.CurrentRow(), 4);
        ++pages;
    }
    EXPECT_EQ(pages, 15);  // 128 entries after the first page, 9 at a time
    EXPECT_EQ(shown().back(), "K0137");
    while (b.PageUp() != BrowseChange::None)
        pageIsARun();
    EXPECT_EQ(shown().front(), "K0001");

    b.LastPage();
    EXPECT_EQ(b.CurrentRow(), 9);
    EXPECT_EQ(shown(), slice(keys, 128, 9));
    for (int i = 1; i <= b.FilledRows(); ++i)
        EXPECT_EQ(b.Row(i).key, b.Row(i).text) << "row built from another record";
}

TEST_F(BrowserTest, DuplicateKeysAndRecordOrderAreWalkedCompletely) {
    // Key 2 holds only the first letter: many equal keys, ordered by record number.
    std::vector<std::string> keys;
    for (int i = 0; i < 90; ++i)
        keys.push_back(std::string(1, char('A' + i % 3)) + Codes(90)[size_t(i)]);
    makeFile(keys);
    std::vector<std::string> byGroup;
    for (char g : {'A', 'B', 'C'})
        for (const auto& k : keys)
            if (k[0] == g) byGroup.push_back(k);

    Browser& b = open(2, 7);
    b.FirstPage();
    std::vector<std::string> seen{current()};
    while (b.MoveDown() != BrowseChange::None)
        seen.push_back(current());
    EXPECT_EQ(seen, byGroup);
    std::vector<std::string> back{current()};
    while (b.MoveUp() != BrowseChange::None)
        back.push_back(current());
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, byGroup);

    // Record-number order skips deleted records.
    remove(keys[4]);
    remove(keys[5]);
    Browser& r = open(0, 7);
    r.FirstPage();
    std::vector<std::string> live{current()};
    while (r.MoveDown() != BrowseChange::None)
        live.push_back(current());
    std::vector<std::string> expected = keys;
    expected.erase(expected.begin() + 4, expected.begin() + 6);
    EXPECT_EQ(live, expected);
    EXPECT_EQ(r.CurrentKeyString(), "");
    r.LastPage();
    EXPECT_EQ(current(), keys.back());
    r.PageUp();
    EXPECT_EQ(shown(), slice(expected, expected.size() - 14, 7));
}

TEST_F(BrowserTest, BoundsLimitTheEntriesShown) {
    auto keys = Codes(40);
    makeFile(keys);
    // The high bound compares the first characters only: "K002" admits K0020..K0029.
    Browser& b = open(1, 6, "K0012", "K002");
    b.FirstPage();
    EXPECT_EQ(shown().front(), "K0012");
    b.LastPage();
    EXPECT_EQ(shown().back(), "K0029");
    EXPECT_EQ(b.MoveDown(), BrowseChange::None);
    EXPECT_EQ(b.PageDown(), BrowseChange::None);
    b.FirstPage();
    EXPECT_EQ(b.MoveUp(), BrowseChange::None);
    std::vector<std::string> seen{current()};
    while (b.MoveDown() != BrowseChange::None)
        seen.push_back(current());
    EXPECT_EQ(seen, slice(keys, 11, 18));

    b.JumpToKey("A");
    EXPECT_EQ(current(), "K0012");
    b.JumpToKey("K0035");
    EXPECT_EQ(current(), "K0029");
    EXPECT_TRUE(b.TypeCharacter(U'Z'));
    EXPECT_EQ(current(), "K0029");
}

TEST_F(BrowserTest, FilterSkipsEntriesInBothDirectionsAndReportsItsProgress) {
    auto keys = Codes(60);
    makeFile(keys);
    Browser& b = open(1, 5);
    std::vector<std::pair<int, bool>> working;
    int filterCalls = 0;
    b.OnPerformFilter = [&](RowRecord& row, bool& useIt) {
        ++filterCalls;
        // The record of the entry is in the buffer when the filter runs.
        EXPECT_EQ(std::string(buffer.data() + 4), row.key);
        useIt = std::stoi(row.key.substr(1)) % 3 == 0;
        return 0;
    };
    b.OnShowFilterWorking = [&](int state, bool rejected) {
        working.emplace_back(state, rejected);
    };
    b.FirstPage();
    EXPECT_EQ(b.FilledRows(), 5);  // the filter is off until enabled
    working.clear();

    b.SetFilterEnabled(true);
    EXPECT_EQ(shown(), (std::vector<std::string>{"K0003", "K0006", "K0009", "K0012", "K0015"}));
    ASSERT_GE(working.size(), 3u);
    EXPECT_EQ(working.front().first, -1);
    EXPECT_EQ(working[1].first, 0);
    EXPECT_EQ(working.back(), std::make_pair(1, false));

    std::vector<std::string> seen{current()};
    while (b.MoveDown() != BrowseChange::None)
        seen.push_back(current());
    EXPECT_EQ(seen.size(), 20u);
    EXPECT_EQ(seen.back(), "K0060");
    b.LastPage();
    b.PageUp();
    EXPECT_EQ(shown(), (std::vector<std::string>{"K0033", "K0036", "K0039", "K0042", "K0045"}));

    // Switching off reports the end of filtering and shows every entry again.
    working.clear();
    b.SetFilterEnabled(false);
    ASSERT_FALSE(working.empty());
    EXPECT_EQ(working.front(), std::make_pair(1, false));
    EXPECT_EQ(b.FilledRows(), 5);
    EXPECT_EQ(shown().front(), "K0041");  // K0045 keeps its screen row

    b.SetFilterEnabled(true);
    b.OnPerformFilter = [&](RowRecord&, bool& useIt) {
        useIt = false;
        return 0;
    };
    builds = 0;
    b.Refresh();
    EXPECT_EQ(b.FilledRows(), 0);
    EXPECT_EQ(b.CurrentRecordNumber(), 0);
    EXPECT_EQ(b.MoveDown(), BrowseChange::None);
    EXPECT_EQ(builds, 0);
}

TEST_F(BrowserTest, TypedCharactersJumpToTheFirstKeyAtOrAfterThem) {
    // Windows-1252 keys, as the key builders write them.
    makeFile({"4YOU", "ADAMS", "MILLER", "SCHMIDT", "SMITH", "ZIMMER", "\xC4RGER", "\xD6ZT\xDCRK",
              "\xDF"});
    Browser& b = open(1, 3);
    b.FirstPage();
    // The windows upper-case the character before it reaches the browser.
    EXPECT_TRUE(b.TypeCharacter(U'S'));
    EXPECT_EQ(current(), "SCHMIDT");
    EXPECT_TRUE(b.TypeCharacter(U'4'));
    EXPECT_EQ(current(), "4YOU");
    EXPECT_TRUE(b.TypeCharacter(U'N'));
    EXPECT_EQ(current(), "SCHMIDT");
    EXPECT_TRUE(b.TypeCharacter(U'\u00D6'));  // Ö
    EXPECT_EQ(current(), "\xD6ZT\xDCRK");
    EXPECT_TRUE(b.TypeCharacter(U'\u00C4'));  // Ä
    EXPECT_EQ(current(), "\xC4RGER");
    // Without upper-casing the lower-case letter sorts after every upper-case key.
    EXPECT_TRUE(b.TypeCharacter(U's'));
    EXPECT_EQ(current(), "\xC4RGER");
    EXPECT_TRUE(b.TypeCharacter(U'\u00FC'));  // ü: past the end, the last entry
    EXPECT_EQ(current(), "\xDF");

    b.TypeCharacter(U'M');
    const std::string before = current();
    const int buildsBefore = builds;
    for (char32_t c : {U'-', U'+', U' ', U'!', U'\u00E9', U'\u00C9', U'\u20AC', U'\n'})
        EXPECT_FALSE(b.TypeCharacter(c)) << int(c);
    EXPECT_EQ(current(), before);
    EXPECT_EQ(builds, buildsBefore);
}

TEST_F(BrowserTest, ResizingKeepsTheCurrentEntryVisible) {
    auto keys = Codes(50);
    makeFile(keys);
    Browser& b = open(1, 20);
    b.JumpToKey("K0021");
    b.SetCurrentRow(15);
    ASSERT_EQ(current(), "K0035");

    b.SetRowsInView(6);
    EXPECT_EQ(b.FilledRows(), 6);
    EXPECT_EQ(current(), "K0035");
    EXPECT_EQ(b.CurrentRow(), 6);

    b.SetRowsInView(12);
    EXPECT_EQ(current(), "K0035");
    EXPECT_EQ(b.CurrentRow(), 6);
    EXPECT_EQ(shown(), slice(keys, 29, 12));

    b.SetRowsInView(1);
    EXPECT_EQ(shown(), std::vector<std::string>{"K0035"});
    b.SetRowsInView(1000);  // cut to the capacity
    EXPECT_EQ(b.RowsInView(), kBrowserMaxRows);
    EXPECT_EQ(b.FilledRows(), 50);
    EXPECT_EQ(current(), "K0035");
    b.SetRowsInView(0);
    EXPECT_EQ(b.RowsInView(), 1);
}

TEST_F(BrowserTest, OneRowMoveCostsOneIndexStepOneReadOneFilterAndOneBuild) {
    auto keys = Codes(500);
    makeFile(keys);
    for (int keyNo : {1, 2, 0}) {
        Browser& b = open(keyNo, 10);
        int filters = 0;
        b.OnPerformFilter = [&](RowRecord&, bool& useIt) {
            ++filters;
            useIt = true;
            return 0;
        };
        b.SetFilterEnabled(true);
        b.JumpToKey("");
        b.SetCurrentRow(10);
        b.MoveDown();  // a unique index learns here that it ignores record numbers
        for (int i = 0; i < 20; ++i) {
            ClearFaults();
            builds = filters = 0;
            ASSERT_EQ(b.MoveDown(), BrowseChange::ScrolledUp);
            EXPECT_EQ(keyNo == 0 ? 0 : indexCalls(), keyNo == 0 ? 0 : 1) << keyNo;
            EXPECT_EQ(EngineOpCalls(EngineOp::GetRecord), 1);
            EXPECT_EQ(filters, 1);
            EXPECT_EQ(builds, 1);
        }
        for (int i = 0; i < 9; ++i)
            b.MoveUp();
        ClearFaults();
        builds = filters = 0;
        ASSERT_EQ(b.MoveUp(), BrowseChange::ScrolledDown);
        EXPECT_EQ(keyNo == 0 ? 0 : indexCalls(), keyNo == 0 ? 0 : 1);
        EXPECT_EQ(EngineOpCalls(EngineOp::GetRecord), 1);
        EXPECT_EQ(builds, 1);
        // Moving the highlight inside the page touches nothing.
        ClearFaults();
        b.MoveDown();
        EXPECT_EQ(indexCalls() + EngineOpCalls(EngineOp::GetRecord), 0);
    }
}

TEST_F(BrowserTest, BusyEngineCallsAreRetriedEvery30Milliseconds) {
    auto keys = Codes(30);
    makeFile(keys);
    Browser& b = open(1, 5);
    b.FirstPage();
    b.SetCurrentRow(5);

    for (int i = 0; i < 2; ++i)
        InjectFault(EngineOp::FindKey, 1, err::ScanReadError);  // class 2
    InjectFault(EngineOp::GetRecord, 1, err::ReadOnly);         // class 2
    ASSERT_EQ(b.MoveDown(), BrowseChange::ScrolledUp);
    EXPECT_EQ(current(), "K0006");
    EXPECT_EQ(b.Row(5).status, 0);
    EXPECT_EQ(pauses, (std::vector<int>{30, 30, 30}));

    // 33 busy answers in a row give up; the page stays as it was.
    ClearFaults();
    pauses.clear();
    for (int i = 0; i < kRetryTries; ++i)
        InjectFault(EngineOp::FindKey, 1, err::ScanReadError);
    auto before = shown();
    try {
        b.MoveDown();
        FAIL() << "no error raised";
    } catch (const BrowserError& e) {
        EXPECT_STREQ(e.what(), "Class 2 error.  Isam Error 10390");
        EXPECT_EQ(e.errorClass(), 2);
    }
    EXPECT_EQ(pauses.size(), size_t(kRetryTries - 1));
    EXPECT_EQ(EngineOpCalls(EngineOp::FindKey), kRetryTries);
    EXPECT_EQ(shown(), before);
    EXPECT_EQ(b.CurrentRow(), 5);
    EXPECT_EQ(b.LastErrorClass(), 2);
    // The next try works again.
    EXPECT_EQ(b.MoveDown(), BrowseChange::ScrolledUp);
    EXPECT_EQ(current(), "K0007");
}

TEST_F(BrowserTest, FailedStepsNeverLeaveThePageHalfBuilt) {
    auto keys = Codes(40);
    makeFile(keys);
    Browser& b = open(1, 5);
    b.FirstPage();
    b.SetCurrentRow(3);
    const auto before = shown();

    // An index failure on the fourth of five entries of Page Down.
    ClearFaults();
    InjectFault(EngineOp::FindKey, 4, err::OsOther);
    EXPECT_THROW(b.PageDown(), BrowserError);
    EXPECT_EQ(shown(), before);
    EXPECT_EQ(b.CurrentRow(), 3);
    EXPECT_TRUE(pauses.empty());  // class 4 is not retried

    ClearFaults();
    InjectFault(EngineOp::FindKey, 4, err::OsOther);  // on the rows above the jump target
    EXPECT_THROW(b.JumpToKey("K0020"), BrowserError);
    EXPECT_EQ(shown(), before);

    // A record that cannot be read keeps its place with a negative status; the rest of
    // the page is built and the error is raised once the page is complete.
    ClearFaults();
    InjectFault(EngineOp::GetRecord, 2, err::ShortRead);
    try {
        b.JumpToKey("K0020");
        FAIL() << "no error raised";
    } catch (const BrowserError& e) {
        EXPECT_STREQ(e.what(), "Class 4 error.  Isam Error 10070");
    }
    EXPECT_EQ(b.FilledRows(), 5);
    EXPECT_EQ(b.Row(3).key, "K0020");
    int bad = 0;
    for (int i = 1; i <= 5; ++i) {
        if (b.Row(i).status < 0) {
            ++bad;
            EXPECT_EQ(b.Row(i).status, -4);
            EXPECT_EQ(b.Row(i).text, "Class 4 error.  Isam Error 10070");
            EXPECT_FALSE(b.Row(i).built);
        } else {
            EXPECT_EQ(b.Row(i).key, b.Row(i).text);
        }
    }
    EXPECT_EQ(bad, 1);
    // A refresh reads it again.
    b.Refresh();
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(b.Row(i).status, 0);

    // The build handler's error class marks its row the same way.
    b.OnBuildRow = [](RowRecord& row) {
        row.text = row.key;
        return row.key == "K0021" ? 4 : 0;
    };
    EXPECT_THROW(b.Refresh(), BrowserError);
    EXPECT_EQ(b.Row(4).status, -4);
    EXPECT_EQ(b.FilledRows(), 5);
}

TEST_F(BrowserTest, ReadCurrentRecordReportsChangesAndDeletions) {
    auto keys = Codes(10);
    makeFile(keys);
    Browser& b = open(1, 5);
    b.JumpToKey("K0003");
    bool unchanged = false;
    EXPECT_EQ(b.ReadCurrentRecord(unchanged), 0);
    EXPECT_TRUE(unchanged);
    EXPECT_EQ(std::string(buffer.data() + 4), "K0003");

    std::string r = record(kRecLen, "K0003 NEW");
    PutRecord(fb, recOf["K0003"], r.data());
    EXPECT_EQ(b.ReadCurrentRecord(unchanged), 0);
    EXPECT_FALSE(unchanged);
    EXPECT_EQ(current(), "K0003 NEW");
    EXPECT_TRUE(b.Row(b.CurrentRow()).changed);

    // Deleted behind the browser's back: not to be edited or deleted again.
    DeleteRecord(fb, recOf["K0003"]);
    EXPECT_EQ(b.ReadCurrentRecord(unchanged), 1);
    EXPECT_FALSE(unchanged);

    b.JumpToKey("K0005");
    InjectFault(EngineOp::GetRecord, 1, err::OsOther);
    EXPECT_EQ(b.ReadCurrentRecord(unchanged), 4);
    EXPECT_LT(b.Row(b.CurrentRow()).status, 0);
}

TEST_F(BrowserTest, RowTextsAreCutAndHaveADefault) {
    makeFile(Codes(3));
    Browser& b = open(1, 5);
    b.OnBuildRow = nullptr;
    b.FirstPage();
    EXPECT_EQ(current(), "You do not have an OnBuildRow event defined");
    EXPECT_TRUE(b.Row(1).built);
    b.OnBuildRow = [](RowRecord& row) {
        row.text.assign(300, 'x');
        return 0;
    };
    b.Refresh();
    EXPECT_EQ(b.Row(1).text.size(), size_t(kRowTextMax));
}

TEST_F(BrowserTest, KeyNumberSwitchesTheOrder) {
    makeFile({"B2", "A1", "C3", "B1"});
    Browser& b = open(1, 5);
    b.FirstPage();
    EXPECT_EQ(shown(), (std::vector<std::string>{"A1", "B1", "B2", "C3"}));
    b.SetKeyNumber(0);
    EXPECT_EQ(shown(), (std::vector<std::string>{"B2", "A1", "C3", "B1"}));
    b.SetKeyNumber(2);
    EXPECT_EQ(shown(), (std::vector<std::string>{"A1", "B2", "B1", "C3"}));
    EXPECT_EQ(b.KeyNumber(), 2);
    try {
        b.SetKeyNumber(3);
        FAIL();
    } catch (const BrowserError& e) {
        EXPECT_STREQ(e.what(), "Class 4 error.  Isam Error 10164");
    }
    EXPECT_EQ(b.KeyNumber(), 2);
    EXPECT_EQ(b.FilledRows(), 4);
}

TEST_F(BrowserTest, VariableLengthFlagReadsThroughItsReader) {
    makeFile(Codes(5));
    Browser& b = open(1, 5);
    std::vector<int32_t> asked;
    b.SetVariableRecordReader([&](Fileblock*, int32_t recNo, void* buf, int32_t& length) {
        asked.push_back(length);
        std::string r = record(kRecLen, "VAR" + std::to_string(recNo));
        std::memcpy(buf, r.data(), size_t(length));
        EngineOk = true;
    });
    b.FirstPage();
    EXPECT_EQ(current(), "K0001");  // the flag is off
    EXPECT_TRUE(asked.empty());
    b.SetVariableLength(true);
    b.Refresh();
    EXPECT_EQ(current(), "VAR1");
    EXPECT_EQ(asked.size(), 5u);
    EXPECT_EQ(asked.front(), kRecLen);
}

TEST_F(BrowserTest, VariableLengthFlagAssemblesChainedRecords) {
    // Sections of 24 bytes hold records of 38 bytes in three sections each.
    const std::string vname = name("VAR");
    KeyDescriptor k[] = {{4, false}};
    CreateFileblock(vname, 24, 1, k);
    Fileblock* vfb = OpenFileblock(vname, false);
    ASSERT_TRUE(EngineOk);
    BufferedWriter w;
    w.open(vfb);
    std::vector<int32_t> first;
    for (int i = 1; i <= 3; ++i) {
        std::string rec =
            std::string(4, '\0') + "V00" + std::to_string(i) + std::string(30, char('a' + i));
        first.push_back(AppendVariableRecord(w, reinterpret_cast<const uint8_t*>(rec.data()),
                                             int32_t(rec.size())));
    }
    ASSERT_TRUE(w.flush());
    for (int i = 1; i <= 3; ++i)
        AddKey(vfb, 1, first[size_t(i - 1)], "V00" + std::to_string(i));
    std::vector<char> buf(100, '\0');
    {
        Browser b(vfb, 1, buf.data(), int32_t(buf.size()));
        b.SetVariableLength(true);
        b.OnBuildRow = [&](RowRecord& row) {
            row.text.assign(buf.data() + 4, 34);
            return 0;
        };
        b.SetRowsInView(5);
        b.FirstPage();
        EXPECT_EQ(b.FilledRows(), 3);
        EXPECT_EQ(b.Row(2).text, "V002" + std::string(30, 'c'));
        EXPECT_EQ(b.CurrentRecordNumber(), first[0]);
    }
    CloseFileblock(vfb);
}

TEST_F(BrowserTest, AShortRecordBufferReceivesOnlyWhatFits) {
    makeFile(Codes(3));
    std::vector<char> small(12, '#');
    Browser b(fb, 1, small.data(), 10);
    std::string seen;
    b.OnBuildRow = [&](RowRecord& row) {
        row.text.assign(small.data() + 4, 6);
        return 0;
    };
    b.SetRowsInView(3);
    b.FirstPage();
    EXPECT_EQ(b.Row(2).text, std::string("K0002\0", 6));
    EXPECT_EQ(small[10], '#');
    EXPECT_EQ(small[11], '#');
    EXPECT_THROW(Browser(fb, 1, nullptr, 10), std::invalid_argument);
}

TEST_F(BrowserTest, ScrollPositionRunsFromTopToBottomInIndexOrder) {
    for (int n : {1, 2, 3, 5, 12, 40, 64, 200, 2500}) {
        SCOPED_TRACE(n);
        if (fb) CloseFileblock(fb);
        DeleteFileblock(name());
        recOf.clear();
        auto keys = Codes(n);
        makeFile(keys);
        for (int keyNo : {1, 0}) {
            Browser& b = open(keyNo, 10);
            b.FirstPage();
            EXPECT_EQ(b.ScrollPosition(), 0);
            int last = 0;
            const int stride = n > 300 ? 97 : 1;
            for (int i = 0; i < n; i += stride) {
                int pos = b.ScrollPositionOf(keyNo ? keys[size_t(i)] : "", recOf[keys[size_t(i)]]);
                EXPECT_GE(pos, last) << "entry " << i;
                EXPECT_LE(pos, kScrollRange);
                last = pos;
            }
            b.LastPage();
            EXPECT_EQ(b.ScrollPosition(), n == 1 ? 0 : kScrollRange);
        }
    }
}

TEST_F(BrowserTest, ThumbPositionsResolveToEntriesInOrder) {
    auto keys = Codes(3000);
    makeFile(keys);
    Browser& b = open(1, 10);
    b.JumpToKey("K1500");
    b.ScrollTo(0);
    EXPECT_EQ(shown().front(), "K0001");
    EXPECT_EQ(b.CurrentRow(), 1);
    b.ScrollTo(kScrollRange);
    EXPECT_EQ(shown().back(), "K3000");
    EXPECT_EQ(b.CurrentRow(), 10);

    b.SetCurrentRow(5);
    std::string previous;
    for (int p = 1; p < kScrollRange; ++p) {
        b.ScrollTo(p);
        EXPECT_EQ(b.CurrentRow(), 5);
        EXPECT_NEAR(b.ScrollPosition(), p, 1) << p;
        EXPECT_GT(current(), previous) << p;
        previous = current();
    }
    // Half way down the bar lies about half way through the index.
    b.ScrollTo(32);
    int at = std::stoi(current().substr(1));
    EXPECT_GT(at, 1300);
    EXPECT_LT(at, 1700);
}

}  // namespace
}  // namespace invarro::storage
