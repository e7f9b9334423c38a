#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "OutputFixture.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "output/Labelwiz.h"
#include "support/RecordingCanvas.h"

namespace invarro::output {
namespace {

using testing::CanvasOp;
using testing::ReadFileBytes;
using testing::RecordingCanvas;
using testing::TempDir;
using testing::WriteFileBytes;

LabelLayout SampleLayout() {
    LabelLayout l;
    l.description = "Avery 5160 – 30 per sheet";
    l.leftMargin = "40";
    l.topMargin = "150";
    l.columns = "3";
    l.rows = "10";
    l.labelWidth = "825";
    l.labelHeight = "300";
    l.font = Font{"Times New Roman", 11, Color{1, 2, 3}, kBold | kUnderline};
    l.useShipping = true;
    l.returnAddress = true;
    l.bitmapFile = "logo.bmp";
    l.lineBetween = true;
    l.lineWidth = "2";
    l.sendToCaption = "To:";
    return l;
}

unsigned Byte(const std::string& rec, std::size_t at) {
    return static_cast<unsigned char>(rec[at]);
}

TEST(LabelLayoutFile, EveryFieldLiesAtItsOffsetAndReadsBackUnchanged) {
    const LabelLayout l = SampleLayout();
    const std::string rec = EncodeLabelLayout(l);
    ASSERT_EQ(rec.size(), 444u);
    // The description's dash is one Windows-1252 byte.
    EXPECT_EQ(Byte(rec, 0), 25u);
    EXPECT_EQ(rec.substr(1, 25), "Avery 5160 \x96 30 per sheet");
    EXPECT_EQ(rec.substr(51, 3),
              "\x02"
              "40");
    EXPECT_EQ(rec.substr(55, 4),
              "\x03"
              "150");
    EXPECT_EQ(rec.substr(59, 2),
              "\x01"
              "3");
    EXPECT_EQ(rec.substr(61, 3),
              "\x02"
              "10");
    EXPECT_EQ(rec.substr(64, 4),
              "\x03"
              "825");
    EXPECT_EQ(rec.substr(69, 4),
              "\x03"
              "300");
    EXPECT_EQ(rec.substr(74, 16), "\x0FTimes New Roman");
    EXPECT_EQ(Byte(rec, 107), 0u);
    EXPECT_EQ(rec.substr(108, 4), std::string("\x0B\0\0\0", 4));
    EXPECT_EQ(rec.substr(112, 4), std::string("\x01\x02\x03\0", 4));
    EXPECT_EQ(Byte(rec, 116), 5u);
    EXPECT_EQ(Byte(rec, 117), 1u);
    EXPECT_EQ(Byte(rec, 118), 1u);
    EXPECT_EQ(rec.substr(119, 9), "\x08logo.bmp");
    EXPECT_EQ(Byte(rec, 426), 1u);
    EXPECT_EQ(rec.substr(427, 2),
              "\x01"
              "2");
    EXPECT_EQ(rec.substr(431, 4), "\x03To:");
    for (std::size_t reserved : {107u, 375u, 400u, 425u, 429u, 430u, 442u, 443u})
        EXPECT_EQ(Byte(rec, reserved), 0u) << reserved;

    TempDir dir;
    const std::string file = dir.file("sheet.LBL");
    ASSERT_TRUE(WriteLabelLayout(file, l));
    EXPECT_EQ(ReadFileBytes(file), rec);
    std::string error;
    auto back = ReadLabelLayout(file, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, l);
    EXPECT_EQ(EncodeLabelLayout(*back), rec);
}

TEST(LabelLayoutFile, WithoutReturnAddressTheBitmapIsABlankAndTheLineIsOff) {
    LabelLayout l = SampleLayout();
    l.returnAddress = false;
    const std::string rec = EncodeLabelLayout(l);
    EXPECT_EQ(rec.substr(119, 2), "\x01 ");
    EXPECT_EQ(Byte(rec, 426), 0u);
    auto back = DecodeLabelLayout(rec);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bitmapFile, "");
    EXPECT_FALSE(back->lineBetween);
}

TEST(LabelLayoutFile, LengthBytesBeyondTheirFieldStayInsideIt) {
    // Every byte 0xFF: each length says 255, each field must give its own width only.
    const std::string hostile(444, '\xFF');
    auto l = DecodeLabelLayout(hostile);
    ASSERT_TRUE(l);
    EXPECT_EQ(data::CharCount(l->description), 50u);
    EXPECT_EQ(data::CharCount(l->leftMargin), 3u);
    EXPECT_EQ(data::CharCount(l->topMargin), 3u);
    EXPECT_EQ(data::CharCount(l->columns), 1u);
    EXPECT_EQ(data::CharCount(l->rows), 2u);
    EXPECT_EQ(data::CharCount(l->labelWidth), 4u);
    EXPECT_EQ(data::CharCount(l->font.face), 32u);
    EXPECT_EQ(data::CharCount(l->bitmapFile), 255u);
    EXPECT_EQ(data::CharCount(l->lineWidth), 1u);
    EXPECT_EQ(data::CharCount(l->sendToCaption), 10u);
    EXPECT_EQ(l->font.size, 10) << "a size no font has";
    EXPECT_EQ(l->font.style, 15);
    // A layout that says nothing sensible still cannot be printed.
    RecordingCanvas canvas;
    auto r = PrintLabels(canvas, *l, {}, data::CompanyRecord{}, LabelPrintOptions{});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("whole number"), std::string::npos) << r.error;
    EXPECT_EQ(canvas.pagesBegun(), 0);
}

TEST(LabelLayoutFile, FilesOfAnyOtherLengthAreRefusedByName) {
    TempDir dir;
    const std::string good = EncodeLabelLayout(SampleLayout());
    for (const std::string& bytes :
         {std::string(), good.substr(0, 443), good + '\0', good.substr(0, 10)}) {
        const std::string file = dir.file("bad.LBL");
        WriteFileBytes(file, bytes);
        std::string error;
        EXPECT_FALSE(ReadLabelLayout(file, &error)) << bytes.size();
        EXPECT_NE(error.find(file), std::string::npos) << error;
        EXPECT_NE(error.find("444"), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(ReadLabelLayout(dir.file("missing.LBL"), &error));
    EXPECT_NE(error.find("missing.LBL"), std::string::npos);
}

TEST(LastLabelFile, RemembersAPathInOneShortStringOf256Bytes) {
    TempDir dir;
    EXPECT_FALSE(ReadLastLabelPath(dir.path()));
    const std::string path = dir.path() + "/Étiquettes 5160.LBL";
    ASSERT_TRUE(WriteLastLabelPath(dir.path(), path));
    const std::string bytes = ReadFileBytes(dir.file("Lastlbl.DAT"));
    ASSERT_EQ(bytes.size(), 256u);
    EXPECT_EQ(Byte(bytes, 0), data::AnsiFromUtf8(path).size());
    EXPECT_EQ(ReadLastLabelPath(dir.path()), path);
    // A length byte that runs past the end of a short file reads what is there.
    WriteFileBytes(dir.file("Lastlbl.DAT"), "\xFF/tmp/x.LBL");
    EXPECT_EQ(ReadLastLabelPath(dir.path()), "/tmp/x.LBL");
    WriteFileBytes(dir.file("Lastlbl.DAT"), "");
    EXPECT_FALSE(ReadLastLabelPath(dir.path()));
    std::string error;
    EXPECT_FALSE(WriteLastLabelPath(dir.path(), "/" + std::string(300, 'a'), &error));
    EXPECT_FALSE(error.empty());
}

TEST(LabelLayoutChanges, OnlyThePrintingSettingsCount) {
    const LabelLayout a = SampleLayout();
    LabelLayout b = a;
    b.description = "Another name";
    b.font.size = 20;
    b.useShipping = false;
    EXPECT_FALSE(LayoutSettingsDiffer(a, b));
    b.topMargin = " 150 ";
    EXPECT_FALSE(LayoutSettingsDiffer(a, b));
    for (std::string LabelLayout::*field :
         {&LabelLayout::topMargin, &LabelLayout::leftMargin, &LabelLayout::columns,
          &LabelLayout::rows, &LabelLayout::labelWidth, &LabelLayout::labelHeight,
          &LabelLayout::bitmapFile, &LabelLayout::lineWidth, &LabelLayout::sendToCaption}) {
        LabelLayout c = a;
        c.*field += "9";
        EXPECT_TRUE(LayoutSettingsDiffer(a, c));
    }
    LabelLayout d = a;
    d.returnAddress = false;
    EXPECT_TRUE(LayoutSettingsDiffer(a, d));
}

// ------------------------------------------------------------------------ record lists

TEST(RecordList, FieldsSitInTheirColumnsAndComeBackTrimmed) {
    const LabelEntry full{"C100", std::string(35, 'N'), "SORTCODE-15CHAR", "Wholesale"};
    const std::string line = RecordListLine(full);
    EXPECT_EQ(line.substr(0, 9), "C100     ");
    EXPECT_EQ(line.substr(9, 35), std::string(35, 'N'));
    EXPECT_EQ(line[44], ' ');
    EXPECT_EQ(line.substr(45, 15), "SORTCODE-15CHAR");
    EXPECT_EQ(line.substr(61), "Wholesale" + std::string(16, ' '));
    EXPECT_EQ(line.size(), 86u);

    TempDir dir;
    const std::vector<LabelEntry> entries = {
        full,
        {"7", "Zoë Müller", "", "Retail"},
        {"123456789", std::string(40, 'L'), "ABCDEFGHIJKLMNOPQ", std::string(30, 'T')},
    };
    ASSERT_TRUE(WriteRecordList(dir.file("q.LST"), entries));
    const std::string bytes = ReadFileBytes(dir.file("q.LST"));
    EXPECT_NE(bytes.find("Zo\xEB M\xFCller"), std::string::npos) << "Windows-1252";
    EXPECT_NE(bytes.find("\r\n"), std::string::npos);
    auto back = ReadRecordList(dir.file("q.LST"));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 3u);
    EXPECT_EQ((*back)[0], full);
    EXPECT_EQ((*back)[1], entries[1]);
    // Longer values were cut to their columns.
    EXPECT_EQ((*back)[2], (LabelEntry{"12345678", std::string(35, 'L'), "ABCDEFGHIJKLMNO",
                                      std::string(25, 'T')}));
}

TEST(RecordList, ReadsShortAndForeignLinesWithoutHarm) {
    TempDir dir;
    WriteFileBytes(dir.file("x.LST"),
                   "\n   \nC9\nC10      Short name\r\n\xFF\xFE\n" + std::string(500, 'x') + "\n");
    std::string error;
    auto back = ReadRecordList(dir.file("x.LST"), &error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->size(), 4u);
    EXPECT_EQ((*back)[0], (LabelEntry{"C9", "", "", ""}));
    EXPECT_EQ((*back)[1], (LabelEntry{"C10", "Short name", "", ""}));
    EXPECT_EQ((*back)[3].custNo, "xxxxxxxx");
    EXPECT_FALSE(ReadRecordList(dir.file("none.LST"), &error));
}

// ------------------------------------------------------------------------ address export

TEST(AddressExport, QuotesFieldsThatHoldTheSeparatorOrAQuote) {
    data::CustomerRecord c = data::NewRecord<data::Customer>();
    c.setText(data::Customer::Name, "Bolt \"Big\" Works");
    c.setText(data::Customer::BillAddr1, "Suite 4, Floor 2");
    c.setText(data::Customer::BillAddr2, " x ");
    c.setText(data::Customer::BillAddr3, "  Springfield  ");
    c.setText(data::Customer::BillAddr4, "");
    EXPECT_EQ(AddressExportLine(c), "\"Bolt \"\"Big\"\" Works\",\"Suite 4, Floor 2\",Springfield");
    data::CustomerRecord empty = data::NewRecord<data::Customer>();
    empty.setText(data::Customer::Name, "A");
    EXPECT_EQ(AddressExportLine(empty), "");
}

TEST(AddressExport, ALineStopsAt200CharactersWithItsQuotesWhole) {
    data::CustomerRecord c = data::NewRecord<data::Customer>();
    c.setText(data::Customer::Name, std::string(35, 'N'));
    for (auto f : {data::Customer::BillAddr1, data::Customer::BillAddr2, data::Customer::BillAddr3,
                   data::Customer::BillAddr4})
        c.setText(f, std::string(17, '"') + "," + std::string(17, 'a'));
    const std::string line = AddressExportLine(c);
    EXPECT_LE(data::CharCount(line), 200u);
    EXPECT_EQ(line.back(), '"');
    // Every quoted field is still closed: an even number of quotes.
    EXPECT_EQ(std::count(line.begin(), line.end(), '"') % 2, 0);
}

// ------------------------------------------------------------------------ the queue

class LabelQueueFile : public CustomerFileTest {};

TEST_F(LabelQueueFile, LoadsInRecordOrderPassingDeletedRecordsAndMatchingNumbersWhole) {
    add(SampleCustomer("300", "Third"));
    const int32_t second = add(SampleCustomer("100", "First"));
    add(SampleCustomer("10", "Ten"));
    data::CustomerRecord gone = SampleCustomer("200", "Gone");
    const int32_t goneNo = add(gone);
    ASSERT_TRUE(data::DeleteBusinessRecord(customers, goneNo, gone, prompter).ok());
    (void)second;

    LabelQueue queue;
    EXPECT_EQ(AppendCustomers(customers, queue, [](const auto&) { return true; }), 3);
    ASSERT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue.entries()[0].custNo, "300");
    EXPECT_EQ(queue.entries()[1].custNo, "100");
    EXPECT_EQ(queue.entries()[2].custNo, "10");

    auto found = FindCustomerByNumber(customers, "10");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->text(data::Customer::Name), "Ten");
    EXPECT_FALSE(FindCustomerByNumber(customers, "1")) << "no match by prefix";
    EXPECT_FALSE(FindCustomerByNumber(customers, "200")) << "deleted";
    EXPECT_FALSE(FindCustomerByNumber(customers, ""));
    EXPECT_FALSE(FindCustomerByNumber(nullptr, "10"));
}

// Another program changed customers that are queued: the entries show them as on file now,
// in the same order; a customer deleted meanwhile keeps its entry, and one queued by hand
// under a number not on file stays as typed.
TEST_F(LabelQueueFile, QueuedEntriesAreReadAgainAsTheFileHoldsThemNow) {
    const int32_t first = add(SampleCustomer("100", "First"));
    const int32_t ten = add(SampleCustomer("10", "Ten"));
    add(SampleCustomer("1000", "Thousand"));
    LabelQueue queue;
    ASSERT_EQ(AppendCustomers(customers, queue, [](const auto&) { return true; }), 3);
    queue.add(LabelEntry{"77", "By hand", "S", "T"});
    const std::vector<LabelEntry> before = queue.entries();
    EXPECT_FALSE(RefreshQueueEntries(customers, queue));
    EXPECT_EQ(queue.entries(), before);

    data::CustomerRecord renamed = *FindCustomerByNumber(customers, "10");
    renamed.setText(data::Customer::Name, "Ten Renamed");
    renamed.setText(data::Customer::MailSortCode, "ZIP9");
    ASSERT_TRUE(data::ChangeBusinessRecord(customers, ten, *FindCustomerByNumber(customers, "10"),
                                           renamed, prompter)
                    .ok());
    data::CustomerRecord gone = *FindCustomerByNumber(customers, "100");
    ASSERT_TRUE(data::DeleteBusinessRecord(customers, first, gone, prompter).ok());
    EXPECT_TRUE(RefreshQueueEntries(customers, queue));
    ASSERT_EQ(queue.size(), 4u);
    EXPECT_EQ(queue.entries()[0], before[0]);  // deleted: as it was
    EXPECT_EQ(queue.entries()[1].custNo, "10");
    EXPECT_EQ(queue.entries()[1].name, "Ten Renamed");
    EXPECT_EQ(queue.entries()[1].sortCode, "ZIP9");
    EXPECT_EQ(queue.entries()[2], before[2]);
    EXPECT_EQ(queue.entries()[3], before[3]);
    // No file: nothing read, nothing changed.
    EXPECT_FALSE(RefreshQueueEntries(nullptr, queue));
    EXPECT_EQ(queue.entries()[1].name, "Ten Renamed");
}

TEST_F(LabelQueueFile, ALoadPassesOverTheCustomersQueuedAlready) {
    add(SampleCustomer("100", "First"));
    add(SampleCustomer("10", "Ten"));
    add(SampleCustomer("1000", "Thousand"));
    LabelQueue queue;
    queue.add(LabelEntry{"10", "Ten", "", ""});  // by hand, before the load
    const auto all = [](const auto&) { return true; };
    EXPECT_EQ(AppendCustomers(customers, queue, all), 2);
    EXPECT_EQ(AppendCustomers(customers, queue, all), 0);
    ASSERT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue.entries()[0].custNo, "10");
    EXPECT_EQ(queue.entries()[1].custNo, "100");
    EXPECT_EQ(queue.entries()[2].custNo, "1000");
    // A number is matched whole: "10" queued does not keep out "100" or "1000".
    EXPECT_TRUE(queue.contains("1000"));
    EXPECT_FALSE(queue.contains("1"));
}

TEST_F(LabelQueueFile, AgingAndFilterLoadsPickTheirCustomers) {
    data::CustomerRecord a = SampleCustomer("1", "Current only");
    a.setText(data::Customer::Age0to30, "12.00");
    a.setText(data::Customer::MailSortCode, "north-East");
    data::CustomerRecord b = SampleCustomer("2", "Old debt");
    b.setText(data::Customer::AgeOver90, "-5.00");
    b.setText(data::Customer::CustType, "Wholesale");
    data::CustomerRecord c = SampleCustomer("3", "Paid up");
    add(a);
    add(b);
    add(c);
    auto load = [&](auto test) {
        LabelQueue q;
        AppendCustomers(customers, q, test);
        std::string numbers;
        for (const auto& e : q.entries())
            numbers += e.custNo;
        return numbers;
    };
    EXPECT_EQ(load([](const auto& r) { return HasAgingBalance(r, 0); }), "1");
    EXPECT_EQ(load([](const auto& r) { return HasAgingBalance(r, 1); }), "");
    EXPECT_EQ(load([](const auto& r) { return HasAgingBalance(r, 3); }), "2");
    EXPECT_FALSE(HasAgingBalance(a, 4));
    EXPECT_EQ(load([](const auto& r) { return MatchesLabelFilter(r, "EAST"); }), "1");
    EXPECT_EQ(load([](const auto& r) { return MatchesLabelFilter(r, "sale"); }), "2");
    EXPECT_EQ(load([](const auto& r) { return MatchesLabelFilter(r, "nowhere"); }), "");
}

TEST(AgingButtons, CaptionsFallBackToTheDaysAndBadDaysAreNamed) {
    data::CompanyRecord co = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
    co.setText(data::Company::AgingCaption1, "Current:");
    co.setText(data::Company::AgingCaption2, "");
    co.setText(data::Company::AgingCaption3, "");
    co.setText(data::Company::AgingDays1, "30");
    co.setText(data::Company::AgingDays2, "45");
    co.setText(data::Company::AgingDays3, "90");
    EXPECT_EQ(AgingButtonCaptions(co),
              (std::vector<std::string>{"Current:", "45", "90", "Over 90"}));
    // The fourth button is the period past the third limit, never the third period's own
    // caption behind "Over" ("Over 61-90:").
    co.setText(data::Company::AgingCaption2, "31-45:");
    co.setText(data::Company::AgingCaption3, "61-90:");
    EXPECT_EQ(AgingButtonCaptions(co),
              (std::vector<std::string>{"Current:", "31-45:", "61-90:", "Over 90:"}));
    EXPECT_FALSE(BadAgingDaysMessage(co));
    co.setText(data::Company::AgingDays2, "4x");
    EXPECT_EQ(BadAgingDaysMessage(co),
              "Category 2 has a bad value in your aging days (Company Setup). Unable to process.");
    co.setText(data::Company::AgingDays1, "");
    EXPECT_EQ(BadAgingDaysMessage(co)->substr(0, 10), "Category 1");
}

// ------------------------------------------------------------------------ printing

TEST(LabelValues, StartAndCopiesBelowOneOrWithALeadingZeroAreOne) {
    EXPECT_EQ(StartOrCopiesValue("7"), 7);
    EXPECT_EQ(StartOrCopiesValue(" 12 "), 12);
    for (const char* one : {"", "0", "05", "-3", "abc", "1"})
        EXPECT_EQ(StartOrCopiesValue(one), 1) << one;
}

class LabelSheet : public ::testing::Test {
  protected:
    LabelLayout plain() {
        LabelLayout l;
        l.description = "Three across";
        l.leftMargin = "40";
        l.topMargin = "100";
        l.columns = "3";
        l.rows = "10";
        l.labelWidth = "700";
        l.labelHeight = "250";
        l.font = Font{"Arial", 10, kBlack, 0};
        return l;
    }
    static data::CustomerRecord Cust(int i) {
        return SampleCustomer(std::to_string(i), "Customer " + std::to_string(i));
    }
    // The top left of each label: where each customer name was drawn.
    std::vector<CanvasOp> names() const {
        std::vector<CanvasOp> out;
        for (const CanvasOp& op : canvas.texts())
            if (op.text.rfind("Customer ", 0) == 0 && op.text.find("Street") == std::string::npos)
                out.push_back(op);
        return out;
    }

    // A 300-dot canvas: the layouts' dots are its own units.
    RecordingCanvas canvas{2550, 3300, 300};
    data::CompanyRecord company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
};

TEST_F(LabelSheet, StartAtLabelFiveOnThreeAcrossBeginsInRowTwoColumnTwo) {
    LabelPrintOptions o;
    o.start = 5;
    auto r = PrintLabels(canvas, plain(), {Cust(1), Cust(2), Cust(3)}, company, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.printed, 3);
    auto n = names();
    ASSERT_EQ(n.size(), 3u);
    EXPECT_EQ(n[0].x, 40 + 700);
    EXPECT_EQ(n[0].y, 100 + 250);
    EXPECT_EQ(n[1].x, 40 + 1400);
    EXPECT_EQ(n[1].y, 350);
    EXPECT_EQ(n[2].x, 40);
    EXPECT_EQ(n[2].y, 600);
    EXPECT_TRUE(canvas.faults().empty());
}

TEST_F(LabelSheet, TwoCopiesOfSixteenOnThirtyPerSheetBreakThePageOnce) {
    std::vector<data::CustomerRecord> sixteen;
    for (int i = 1; i <= 16; ++i)
        sixteen.push_back(Cust(i));
    LabelPrintOptions o;
    o.copies = 2;
    auto r = PrintLabels(canvas, plain(), sixteen, company, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.printed, 32);
    EXPECT_EQ(r.pages, 2);
    EXPECT_EQ(canvas.ops(CanvasOp::Kind::NewPage).size(), 1u);
    auto n = names();
    ASSERT_EQ(n.size(), 32u);
    EXPECT_EQ(n[0].text, "Customer 1");
    EXPECT_EQ(n[1].text, "Customer 1");
    EXPECT_EQ(n[29].page, 1);
    EXPECT_EQ(n[29].x, 40 + 1400);
    EXPECT_EQ(n[29].y, 100 + 9 * 250);
    // The 31st label opens the second sheet at its first label.
    EXPECT_EQ(n[30].page, 2);
    EXPECT_EQ(n[30].text, "Customer 16");
    EXPECT_EQ(n[30].x, 40);
    EXPECT_EQ(n[30].y, 100);
    EXPECT_EQ(canvas.documentsEnded(), 1);
}

TEST_F(LabelSheet, AStartBeyondOneSheetIsRefusedAndNothingPrints) {
    LabelPrintOptions o;
    o.start = 31;
    auto r = PrintLabels(canvas, plain(), {Cust(1)}, company, o);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.printed, 0);
    EXPECT_NE(r.error.find("1 to 30"), std::string::npos) << r.error;
    EXPECT_TRUE(canvas.ops().empty());
    o.start = 30;
    EXPECT_TRUE(PrintLabels(canvas, plain(), {Cust(1)}, company, o).ok);
}

TEST_F(LabelSheet, AnEmptyLayoutFieldStopsBeforeThePrinter) {
    for (std::string LabelLayout::*field :
         {&LabelLayout::description, &LabelLayout::topMargin, &LabelLayout::leftMargin,
          &LabelLayout::columns, &LabelLayout::rows, &LabelLayout::labelWidth,
          &LabelLayout::labelHeight}) {
        LabelLayout l = plain();
        l.*field = "  ";
        auto r = PrintLabels(canvas, l, {Cust(1)}, company, LabelPrintOptions{});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.substr(0, 42), "You have an empty layout definition field.");
    }
    LabelLayout zero = plain();
    zero.columns = "0";
    EXPECT_FALSE(PrintLabels(canvas, zero, {Cust(1)}, company, LabelPrintOptions{}).ok);
    EXPECT_TRUE(canvas.ops().empty());
}

TEST_F(LabelSheet, AddressLinesKeepTheirPlacesAndShippingIsChosen) {
    const int h = 10 * 4;  // the recording canvas's line height at 10 points
    auto r = PrintLabels(canvas, plain(), {Cust(1)}, company, LabelPrintOptions{});
    ASSERT_TRUE(r.ok);
    const CanvasOp* town = canvas.findText("Town 1");
    ASSERT_TRUE(town);
    EXPECT_EQ(town->y, 100 + 3 * h) << "line 3 stays on line 3 below an empty line 2";
    EXPECT_EQ(canvas.findText("Country")->y, 100 + 4 * h);
    EXPECT_EQ(canvas.texts().size(), 5u);

    canvas.clear();
    LabelLayout ship = plain();
    ship.useShipping = true;
    ASSERT_TRUE(PrintLabels(canvas, ship, {Cust(1)}, company, LabelPrintOptions{}).ok);
    EXPECT_TRUE(canvas.findText("Dock 1"));
    EXPECT_FALSE(canvas.findText("Town 1"));
}

TEST_F(LabelSheet, TheReturnAddressComesFirstWithPictureLineAndCaption) {
    company.setText(data::Company::Name, "Harbor Light");
    company.setText(data::Company::CoAddr1, "1420 Water St");
    LabelLayout l = plain();
    l.returnAddress = true;
    l.bitmapFile = "logo.bmp";
    l.lineBetween = true;
    l.lineWidth = "3";
    l.sendToCaption = "To:";
    TempDir dir;
    canvas.addImage(dir.file("logo.bmp"), 100, 60);
    LabelPrintOptions o;
    o.dataFolder = dir.path();
    o.screenDpi = 150;  // the recording canvas has 300 dots per inch: a scale of 2
    ASSERT_TRUE(PrintLabels(canvas, l, {Cust(1)}, company, o).ok);
    const int h = 40;
    auto images = canvas.ops(CanvasOp::Kind::Image);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].x, 40);
    EXPECT_EQ(images[0].x2, 40 + 100);
    EXPECT_EQ(images[0].y2, 100 + 60);
    const int o2 = 100 + 25;
    EXPECT_EQ(canvas.findText("Harbor Light")->x, 40 + o2);
    EXPECT_EQ(canvas.findText("1420 Water St")->y, 100 + h);
    auto lines = canvas.ops(CanvasOp::Kind::Line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].pen.width, 3);
    EXPECT_EQ(lines[0].x, 40 - 25);
    EXPECT_EQ(lines[0].y, 100 + 5 * h + 20);
    EXPECT_EQ(lines[0].x2, 40 + 70 * 8);
    const CanvasOp* caption = canvas.findText("To:");
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->x, 40);
    EXPECT_EQ(caption->y, 100 + 6 * h);
    const CanvasOp* name = canvas.findText("Customer 1");
    EXPECT_EQ(name->x, 40 + canvas.textWidth("To:X"));
    EXPECT_EQ(name->y, 100 + 6 * h);

    // A picture that is gone leaves the company text at the label's edge.
    canvas.clear();
    l.bitmapFile = "gone.bmp";
    ASSERT_TRUE(PrintLabels(canvas, l, {Cust(1)}, company, o).ok);
    EXPECT_TRUE(canvas.ops(CanvasOp::Kind::Image).empty());
    EXPECT_EQ(canvas.findText("Harbor Light")->x, 40);
}

// The demo's sheet, 30 labels of 2 5/8 by 1 inch measured at 300 dots per inch, on a
// canvas of another resolution: every label at its measure scaled to the canvas, three
// columns of ten that fill the sheet, and the text no larger than its points make it.
TEST_F(LabelSheet, ASheetKeepsTheSizeItWasMeasuredInOnAnyResolution) {
    LabelLayout l = plain();
    l.leftMargin = "15";
    l.topMargin = "115";
    l.labelWidth = "825";
    l.labelHeight = "300";
    std::vector<data::CustomerRecord> thirty;
    for (int i = 1; i <= 30; ++i)
        thirty.push_back(Cust(i));
    for (int resolution : {1200, 254, 600}) {
        SCOPED_TRACE(resolution);
        RecordingCanvas c(resolution * 8, resolution * 10, resolution);
        LabelPrintOptions o;  // measured at 300 dots per inch unless told otherwise
        const auto r = PrintLabels(c, l, thirty, company, o);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.pages, 1);
        std::vector<CanvasOp> n;
        for (const CanvasOp& op : c.texts())
            if (op.text.rfind("Customer ", 0) == 0 && op.text.find("Street") == std::string::npos)
                n.push_back(op);
        ASSERT_EQ(n.size(), 30u);
        auto at = [&](int dots) { return int(std::lround(dots * resolution / 300.0)); };
        for (int k = 0; k < 30; ++k) {
            const int column = k % 3, row = k / 3;
            EXPECT_EQ(n[size_t(k)].x, at(15 + column * 825)) << k;
            EXPECT_EQ(n[size_t(k)].y, at(115 + row * 300)) << k;
        }
        // The last label's text ends above the sheet's foot: 115 dots + ten rows.
        EXPECT_LT(n.back().y, at(115 + 10 * 300));
        EXPECT_GT(n.back().x, at(2 * 825));
    }
    // A layout measured on a 600-dot printer keeps its inches.
    RecordingCanvas c(1200 * 8, 1200 * 10, 1200);
    LabelPrintOptions o;
    o.dotsPerInch = 600;
    ASSERT_TRUE(PrintLabels(c, l, {Cust(1), Cust(2)}, company, o).ok);
    EXPECT_EQ(c.findText("Customer 2")->x, (15 + 825) * 2);
    EXPECT_EQ(c.findText("Customer 1")->y, 115 * 2);
}

TEST(LabelResolution, KeptBesideTheLayoutByFileNameAndRefusedWhenUnusable) {
    TempDir dir;
    data::IniFile ini(dir.file("invarro.ini"));
    EXPECT_EQ(ReadLabelResolution(ini, dir.file("Sheet.LBL")), 300);
    std::string error;
    ASSERT_TRUE(WriteLabelResolution(ini, dir.file("Sheet.LBL"), 600, &error)) << error;
    EXPECT_FALSE(WriteLabelResolution(ini, dir.file("Other.LBL"), 20, &error));
    EXPECT_FALSE(error.empty());
    // Read back from the file, under the file name, whatever the folder it is opened from.
    const data::IniFile again(dir.file("invarro.ini"));
    EXPECT_EQ(ReadLabelResolution(again, "/elsewhere/Sheet.LBL"), 600);
    EXPECT_EQ(ReadLabelResolution(again, dir.file("Other.LBL")), 300);
    // A name that would break the INI line is kept all the same.
    ASSERT_TRUE(WriteLabelResolution(ini, dir.file("a=b [x].LBL"), 203));
    EXPECT_EQ(ReadLabelResolution(data::IniFile(dir.file("invarro.ini")), "a=b [x].LBL"), 203);
    EXPECT_EQ(ReadLabelResolution(data::IniFile(dir.file("invarro.ini")), dir.file("Sheet.LBL")),
              600);
    // A value typed into the file by hand that no printer has is not used.
    ASSERT_TRUE(ini.writeString(kLabelResolutionSection, "Bad.LBL", "0"));
    EXPECT_EQ(ReadLabelResolution(data::IniFile(dir.file("invarro.ini")), "Bad.LBL"), 300);
}

TEST(LabelMeasures, DotsReadAsInchesOrMillimetres) {
    EXPECT_EQ(LabelMeasureText(825, 300, false), "2.75 in");
    EXPECT_EQ(LabelMeasureText(56, 300, false), "0.19 in");
    EXPECT_EQ(LabelMeasureText(0, 300, false), "0.00 in");
    EXPECT_EQ(LabelMeasureText(300, 300, true), "25.4 mm");
    EXPECT_EQ(LabelMeasureText(825, 600, true), "34.9 mm");
    // An unusable resolution reads as the usual 300.
    EXPECT_EQ(LabelMeasureText(300, 0, false), "1.00 in");
}

TEST(CalibrationRuler, MarksEveryFiftyDotsOfTheLayoutsResolutionWithReadableNumbers) {
    for (int resolution : {254, 1200}) {
        SCOPED_TRACE(resolution);
        RecordingCanvas canvas(resolution * 17 / 2, resolution * 11, resolution);
        auto dpi = PrintCalibrationRuler(canvas);
        ASSERT_TRUE(dpi);
        EXPECT_EQ(*dpi, 300);
        // 11 inches down and 8.5 across in 300-dot units.
        EXPECT_TRUE(canvas.findText("100"));
        EXPECT_TRUE(canvas.findText("3200"));
        // A mark every 50 dots: a sixth of an inch apart on any canvas.
        const auto lines = canvas.ops(CanvasOp::Kind::Line);
        EXPECT_GE(lines.size(), 2u + 3300 / 50 + 2550 / 50);
        // The numbers across the page, under its base line two thirds down, stand apart,
        // each after its own mark, up to 8.5 inches.
        const int base = resolution * 11 * 2 / 3;
        std::vector<CanvasOp> across;
        for (const CanvasOp& op : canvas.texts())
            if (op.y > base && op.y < base + resolution / 4) across.push_back(op);
        ASSERT_FALSE(across.empty());
        // 2500 is left out where it would run past the edge of the printable area.
        EXPECT_TRUE(across.back().text == "2500" || across.back().text == "2400")
            << across.back().text;
        ASSERT_GT(across.size(), 20u);
        for (size_t i = 1; i < across.size(); ++i)
            EXPECT_LT(across[i - 1].x2, across[i].x) << across[i - 1].text;
        for (const CanvasOp& op : canvas.texts())
            EXPECT_LE(op.x2, canvas.pageWidth()) << op.text;
    }
    RecordingCanvas at600(600 * 8, 600 * 10, 600);
    EXPECT_EQ(PrintCalibrationRuler(at600, 600), 600);
    EXPECT_TRUE(at600.findText("5900"));  // ten inches of 600 dots down the page
    EXPECT_FALSE(at600.findText("6000"));
    EXPECT_FALSE(at600.findText("150"));  // numbered every 100 only

    RecordingCanvas failing;
    failing.failBegin("no printer");
    std::string error;
    EXPECT_FALSE(PrintCalibrationRuler(failing, 300, &error));
    EXPECT_EQ(error, "no printer");
}

}  // namespace
}  // namespace invarro::output
