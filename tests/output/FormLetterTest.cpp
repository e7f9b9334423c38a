#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "OutputFixture.h"
#include "output/FormLetter.h"
#include "output/RtfReader.h"
#include "support/RecordingProgress.h"

namespace invarro::output {
namespace {

const std::map<std::string, std::string> kValues = {
    {"KRCSTNO", "C-7"},
    {"KRCSTNOTES", "private notes"},
    {"KRCSTNAME", "Ann KRCSTNOTES"},
    {"KRCMPNAME", "Harbor KRCMPNAME"},
    {"KRCSTADD2", ""},
    {"KRCSTLPMT", "01/02/2026 "},
};

TEST(MergeText, MatchesWholeWordsOnlyAndInTheirLetterCase) {
    EXPECT_EQ(MergeText("No. KRCSTNO, notes: KRCSTNOTES.", kValues),
              "No. C-7, notes: private notes.");
    EXPECT_EQ(MergeText("krcstno Krcstno KRCSTNOx XKRCSTNO KRCSTNO_1 KRCSTNO1", kValues),
              "krcstno Krcstno KRCSTNOx XKRCSTNO KRCSTNO_1 KRCSTNO1");
    // Accented letters are part of a word; dashes, quotes and tabs are not.
    EXPECT_EQ(MergeText("éKRCSTNO KRCSTNOé —KRCSTNO— “KRCSTNO”\tKRCSTNO", kValues),
              "éKRCSTNO KRCSTNOé —C-7— “C-7”\tC-7");
    EXPECT_EQ(MergeText("", kValues), "");
    EXPECT_EQ(MergeText("KRCSTNO", kValues), "C-7");
}

TEST(MergeText, InsertedValuesAreNeverScannedAgain) {
    EXPECT_EQ(MergeText("Dear KRCSTNAME, from KRCMPNAME", kValues),
              "Dear Ann KRCSTNOTES, from Harbor KRCMPNAME");
    EXPECT_EQ(MergeText("[KRCSTADD2] KRCSTLPMT|", kValues), "[] 01/02/2026 |");
}

TEST(MergeLetter, ValuesTakeTheFormatOfTheirCodeAndTheLetterStaysAsItWas) {
    const Font plain{"Arial", 11, kBlack, 0};
    const Font bold{"Arial", 11, kBlack, kBold};
    RtfDocument letter;
    RtfParagraph p;
    p.alignment = Alignment::Right;
    p.runs = {RtfRun{"Dear ", plain}, RtfRun{"KRCSTNAME", bold}, RtfRun{", no. KRCST", plain},
              RtfRun{"NO!", bold}};
    letter.paragraphs.push_back(p);
    RtfParagraph only;
    only.runs = {RtfRun{"KRCSTADD2", bold}};
    letter.paragraphs.push_back(only);
    const RtfDocument before = letter;

    const RtfDocument merged = MergeLetter(letter, kValues);
    EXPECT_EQ(letter, before);
    ASSERT_EQ(merged.paragraphs.size(), 2u);
    const auto& runs = merged.paragraphs[0].runs;
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].text, "Dear ");
    EXPECT_EQ(runs[1].text, "Ann KRCSTNOTES");
    EXPECT_TRUE(runs[1].font.bold());
    // A code split over two runs is one word; its value takes the first run's format.
    EXPECT_EQ(runs[2].text, ", no. C-7");
    EXPECT_FALSE(runs[2].font.bold());
    EXPECT_EQ(runs[3].text, "!");
    EXPECT_EQ(merged.paragraphs[0].alignment, Alignment::Right);
    // A line whose only code is empty stays a line in its format.
    ASSERT_EQ(merged.paragraphs[1].runs.size(), 1u);
    EXPECT_EQ(merged.paragraphs[1].runs[0].text, "");
    EXPECT_TRUE(merged.paragraphs[1].runs[0].font.bold());
}

TEST(MergeLetter, LineEndsInsideAValueBreakTheLine) {
    RtfDocument letter = PlainTextDocument({"Notes: KRCSTNOTES"}, Font{});
    const RtfDocument merged = MergeLetter(letter, {{"KRCSTNOTES", "one\r\ntwo\rthree"}});
    EXPECT_EQ(DocumentText(merged), "Notes: one\ntwo\nthree");
}

TEST(MergeCodes, TheReferenceListAndTheValuesOfACustomer) {
    const auto& refs = MergeCodeReferences();
    ASSERT_EQ(refs.size(), 30u);
    EXPECT_EQ(refs.front(), "KRCMPADD1 - Default Company Address Line 1");
    EXPECT_EQ(refs[12], "KRCSTAOV90 - Customer Aging Amount (Category 4)");
    EXPECT_EQ(refs.back(), "KRCSTTYPE - Customer Type");
    EXPECT_EQ(MergeCodes().size(), 31u);

    data::CompanyRecord company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
    company.setText(data::Company::Name, " Harbor Light ");
    company.setText(data::Company::CoAddr5, "Line five");
    data::CustomerRecord c = SampleCustomer("42", "Zoë Müller");
    c.setText(data::Customer::Balance, "1234.5");
    c.setText(data::Customer::AgeOver90, "-20.00");
    c.setText(data::Customer::LastPayDate, "03/04/2026");
    c.setText(data::Customer::Notes, "  keep  ");
    const auto v = MergeValues(c, company);
    EXPECT_EQ(v.size(), MergeCodes().size());
    for (const auto& code : MergeCodes())
        EXPECT_TRUE(v.count(code)) << code;
    EXPECT_EQ(v.at("KRCSTNO"), "42");
    EXPECT_EQ(v.at("KRCSTNAME"), "Zoë Müller");
    EXPECT_EQ(v.at("KRCSTBAL"), "1,234.50");
    EXPECT_EQ(v.at("KRCSTAOV90"), "-20.00");
    EXPECT_EQ(v.at("KRCSTACUR"), "0.00");
    EXPECT_EQ(v.at("KRCSTNOTES"), "keep");
    EXPECT_EQ(v.at("KRCSTLPMT"), "03/04/2026");
    EXPECT_EQ(v.at("KRCSTADD3"), "Town 42");
    EXPECT_EQ(v.at("KRCSTSHP1"), "Dock 42");
    EXPECT_EQ(v.at("KRCMPNAME"), "Harbor Light");
    EXPECT_EQ(v.at("KRCMPADD5"), "Line five");
}

// Keeps every letter it is given; can be told to fail.
class RecordingSink : public LetterSink {
  public:
    explicit RecordingSink(std::string scratch) : scratch_(std::move(scratch)) {}
    bool printLetter(const RtfDocument& letter, const std::string& title,
                     std::string* error) override {
        scratchSeen = scratchSeen && std::filesystem::exists(scratch_);
        if (failAt == int(letters.size())) {
            *error = "The printer is out of paper.";
            return false;
        }
        letters.push_back(letter);
        titles.push_back(title);
        return true;
    }
    std::vector<RtfDocument> letters;
    std::vector<std::string> titles;
    int failAt = -1;
    bool scratchSeen = true;

  private:
    std::string scratch_;
};

class FormLetterRun : public CustomerFileTest {
  protected:
    void SetUp() override {
        CustomerFileTest::SetUp();
        add(SampleCustomer("1", "Ann KRCSTNOTES"));
        add(SampleCustomer("2", "Bob"));
        add(SampleCustomer("3", "Cleo"));
        letter =
            PlainTextDocument({"Dear KRCSTNAME,", "", "krcstname stays. KRCSTNOTES", "KRCMPNAME"},
                              Font{"Arial", 12, kBlack, 0});
        queue = {{"3", "", "", ""}, {"1", "", "", ""}, {"2", "", "", ""}};
    }
    std::string scratch() const { return dir.file("KRLetter.TMP"); }

    RtfDocument letter;
    std::vector<LabelEntry> queue;
    testing::RecordingProgress progress;
};

TEST_F(FormLetterRun, ThreeCustomersGiveThreeDocumentsAndTheLetterIsUnchanged) {
    const RtfDocument before = letter;
    RecordingSink sink(scratch());
    auto r = PrintFormLetters(dir.path(), letter, "Reminder.RTF", queue, customers, company, sink,
                              progress);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.printed, 3);
    ASSERT_EQ(sink.letters.size(), 3u);
    EXPECT_EQ(DocumentText(sink.letters[0]), "Dear Cleo,\n\nkrcstname stays. \nHarbor Light Print");
    EXPECT_EQ(DocumentText(sink.letters[1]),
              "Dear Ann KRCSTNOTES,\n\nkrcstname stays. \nHarbor Light Print");
    EXPECT_EQ(DocumentText(sink.letters[2]).substr(0, 9), "Dear Bob,");
    EXPECT_EQ(sink.titles, (std::vector<std::string>(3, "Reminder.RTF")));
    EXPECT_EQ(sink.letters[0].paragraphs[0].runs[0].font.size, 12);
    EXPECT_EQ(letter, before);
    EXPECT_TRUE(sink.scratchSeen) << "each copy comes from the scratch file";
    EXPECT_FALSE(std::filesystem::exists(scratch()));
    EXPECT_NE(
        std::find(progress.shown.begin(), progress.shown.end(), "Processing letter 3 of 3..."),
        progress.shown.end());
}

TEST_F(FormLetterRun, CustomersNoLongerOnFileArePassedOverAndNamed) {
    queue.insert(queue.begin() + 1, LabelEntry{"99", "Gone", "", ""});
    RecordingSink sink(scratch());
    auto r = PrintFormLetters(dir.path(), letter, "L", queue, customers, company, sink, progress);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.printed, 3);
    EXPECT_EQ(r.missing, (std::vector<std::string>{"99"}));
}

TEST_F(FormLetterRun, AFailedLetterStopsTheRunAndTheScratchFileGoes) {
    RecordingSink sink(scratch());
    sink.failAt = 1;
    auto r = PrintFormLetters(dir.path(), letter, "L", queue, customers, company, sink, progress);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.printed, 1);
    EXPECT_EQ(r.error, "The printer is out of paper.");
    EXPECT_FALSE(std::filesystem::exists(scratch()));
}

TEST_F(FormLetterRun, AScratchFileThatCannotBeWrittenStopsBeforePrinting) {
    RecordingSink sink(scratch());
    auto r = PrintFormLetters(dir.file("no/such/folder"), letter, "L", queue, customers, company,
                              sink, progress);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(sink.letters.empty());
    EXPECT_NE(r.error.find("KRLetter.TMP"), std::string::npos) << r.error;
}

}  // namespace
}  // namespace invarro::output
