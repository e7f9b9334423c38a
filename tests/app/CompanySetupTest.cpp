// The set-up dialog's logic: which control stores what where, the checks of "&Save" with
// the field and tab they point at, and the headers dialog's fields and colour files.

#include <gtest/gtest.h>

#include <set>

#include "app/CompanySetup.h"
#include "data/Ansi.h"
#include "data/SideFiles.h"
#include "support/TempDir.h"

namespace invarro::app {
namespace {

using data::Company;
using data::CompanyRecord;

// The stored bytes of a text field: length byte and characters.
std::string Stored(const CompanyRecord& r, int field) {
    const data::FieldDef& f = Company::kFields[size_t(field)];
    return data::ReadAnsiText(r.data(), f);
}

CompanyRecord InUse() {
    CompanyRecord r = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
    r.setText(Company::Name, "Harbor Supply");
    r.setText(Company::CompanyNo, "1");
    r.setText(Company::EMailAddress, "office@harbor.example");
    return r;
}

CompanySetupForm EditForm(const CompanyRecord& r, std::string inUse = "1") {
    return CompanySetupForm(CompanySetupForm::Mode::Edit, r, std::move(inUse), nullptr);
}

TEST(SetupControls, EveryControlNamedOnceAndEveryFieldEditedOnce) {
    std::set<std::string_view> names;
    std::set<int> fields;
    for (const auto& list : {CompanySetupControls(), HeaderControls()}) {
        for (const SetupControl& c : list) {
            EXPECT_TRUE(names.insert(c.name).second) << c.name;
            EXPECT_TRUE(fields.insert(c.field).second) << c.name;
            if (c.rule == SetupRule::RadioPair) {
                EXPECT_TRUE(names.insert(c.second).second);
            }
            if (!c.isBox()) {
                EXPECT_GT(c.limit(), 0) << c.name;
            }
        }
    }
    for (const SetupControl& c : CompanySetupControls()) {
        bool known = false;
        for (std::string_view t : kSetupTabs)
            known = known || t == c.tab;
        EXPECT_TRUE(known) << c.name << " on " << c.tab;
    }
    // Limits the dialog gives beyond the field widths.
    EXPECT_EQ(FindSetupControl("EMPort")->limit(), 5);
    EXPECT_EQ(FindSetupControl("PushAddr")->limit(), 3);
    EXPECT_EQ(FindSetupControl("CName")->limit(), 35);
    EXPECT_EQ(FindSetupControl("SM4")->limit(), 78);
    EXPECT_TRUE(FindSetupControl("NumCpys")->digitsOnly);
    // The number must reach the numeric check, so it takes any character.
    EXPECT_FALSE(FindSetupControl("CoNumb")->digitsOnly);
    EXPECT_EQ(FindSetupControl("nothing"), nullptr);
}

TEST(SetupControls, LoadingAndStoringUnchangedKeepsTheRecord) {
    CompanyRecord r = InUse();
    r.setText(Company::DateFormatCode, "D");
    r.setText(Company::DefInvoiceStyle, "M");
    r.setText(Company::EnvOrientation, "L");
    r.setText(Company::LineStyle, "L");
    r.setByte(Company::PrintLogo, 1);
    r.setText(Company::LogoFile, "logo.bmp");
    CompanyRecord stored = r;
    StoreControls(CompanySetupControls(), LoadControls(CompanySetupControls(), r), stored);
    StoreControls(HeaderControls(), LoadControls(HeaderControls(), r), stored);
    for (const data::FieldDef& f : Company::kFields)
        EXPECT_EQ(data::FieldValueText(stored.data(), f), data::FieldValueText(r.data(), f))
            << f.name;
}

TEST(SetupControls, BoxesBecomeBytesOrLetters) {
    CompanyRecord r = InUse();
    ControlValues v = LoadControls(CompanySetupControls(), r);
    v.checked["CalcTaxes"] = false;
    v.checked["DefToEMail"] = true;
    v.checked["LandSCB"] = true;
    v.checked["UseShipAdd"] = false;
    v.checked["MMDDYY"] = false;
    v.checked["DDMMYY"] = true;
    v.checked["DProd"] = false;
    v.checked["DMemo"] = true;
    v.checked["TCBitmaps"] = false;
    v.text["ComboBox1"] = "solid";
    StoreControls(CompanySetupControls(), v, r);
    EXPECT_EQ(r.data()[871], 0);  // CalcTaxes
    EXPECT_EQ(r.data()[281], 0);  // UseBackground
    EXPECT_EQ(Stored(r, Company::DefaultToEMail_), "Y");
    EXPECT_EQ(Stored(r, Company::EnvOrientation_), "L");
    EXPECT_EQ(Stored(r, Company::EnvAddress_), "B");
    EXPECT_EQ(Stored(r, Company::DateFormatCode_), "D");
    EXPECT_EQ(Stored(r, Company::DefInvoiceStyle_), "M");
    EXPECT_EQ(Stored(r, Company::LineStyle_), "L");

    v.checked["CalcTaxes"] = true;
    v.checked["DefToEMail"] = false;
    v.checked["LandSCB"] = false;
    v.checked["UseShipAdd"] = true;
    v.checked["MMDDYY"] = true;
    v.text["ComboBox1"] = "dots";
    StoreControls(CompanySetupControls(), v, r);
    EXPECT_EQ(r.data()[871], 1);
    EXPECT_EQ(Stored(r, Company::DefaultToEMail_), "N");
    EXPECT_EQ(Stored(r, Company::EnvOrientation_), "P");
    EXPECT_EQ(Stored(r, Company::EnvAddress_), "S");
    EXPECT_EQ(Stored(r, Company::DateFormatCode_), "M");
    EXPECT_EQ(Stored(r, Company::LineStyle_), "D");
}

TEST(SetupControls, EntriesAreStoredByTheirRules) {
    CompanyRecord r = InUse();
    ControlValues v = LoadControls(CompanySetupControls(), r);
    struct Case {
        const char* control;
        const char* typed;
        int field;
        const char* stored;
    };
    const Case cases[] = {
        {"TaxCRate", "", Company::DefTaxRate_, "0.000"},
        {"TaxCRate", " 8.125 ", Company::DefTaxRate_, "8.125"},
        {"NumCpys", "7", Company::NumCopies_, "1"},
        {"NumCpys", "5", Company::NumCopies_, "5"},
        {"NumCpys", "", Company::NumCopies_, "1"},
        {"PushAddr", "", Company::AddrShiftRight_, "0"},
        {"PushAddr", "12", Company::AddrShiftRight_, "12"},
        {"MaskEdit1", "", Company::FormLineSpacing_, "8"},
        {"MaskEdit1", "12", Company::FormLineSpacing_, "12"},
        {"EMlogin", "  mail user  ", Company::EMailLogin_, "mail user"},
        // A password is kept exactly as typed: blanks at its ends are part of it.
        {"EMpword", " s3cret ", Company::EMailPassword_, " s3cret "},
        {"CAVal1", "", Company::AgingDays1_, "0"},
        {"SM1", "  Thank you!  ", Company::SalesMsg1_, "  Thank you!  "},
        {"CName", "A company name that is longer than thirty-five characters", Company::Name_,
         "A company name that is longer than "},
        // Cut by characters of the record's code page, not by bytes of UTF-8.
        {"CAdd1", "Müller & Söhne Straße 12, 80331 München, Bayern", Company::CoAddr1_,
         "M\xFCller & S\xF6hne Stra\xDF"
         "e 12, 80331 M\xFCn"},
    };
    for (const Case& c : cases) {
        v.text[c.control] = c.typed;
        StoreControls(CompanySetupControls(), v, r);
        EXPECT_EQ(Stored(r, c.field), c.stored) << c.control << " \"" << c.typed << "\"";
    }
}

TEST(SetupControls, PortAndQuoteWordAreProposedWhenEmpty) {
    CompanyRecord r = InUse();
    r.setText(Company::EMailPort, "");
    r.setText(Company::QuoteCaption, "  ");
    CompanySetupForm form = EditForm(r);
    EXPECT_EQ(form.initialValues().textOf("EMPort"), "25");
    EXPECT_EQ(form.working().text(Company::QuoteCaption), "Q U O T E");
    r.setText(Company::QuoteCaption, "Estimate");
    EXPECT_EQ(EditForm(r).working().text(Company::QuoteCaption), "Estimate");
}

struct SaveCase {
    const char* what;
    std::function<void(ControlValues&)> change;
    const char* message;  // nullptr: saved
    const char* title;
    const char* focus;
    std::string_view tab;
};

TEST(SetupSave, ChecksInOrderWithTheirFieldAndTab) {
    const char* range = "The Company number must be between 0 and 32001.";
    const char* numeric = "The company number field is numeric and valid values are 1 to 32000.";
    const char* aging2 =
        "The aging days for category 2 must be greater than category 1 by at least 2 days.";
    const char* aging3 =
        "The aging days for category 3 must be greater than category 2 by at least 2 days.";
    auto number = [](const char* n) { return [n](ControlValues& v) { v.text["CoNumb"] = n; }; };
    auto aging = [](const char* a, const char* b, const char* c) {
        return [=](ControlValues& v) {
            v.text["CAVal1"] = a;
            v.text["CAVal2"] = b;
            v.text["CAVal3"] = c;
        };
    };
    const SaveCase cases[] = {
        {"32000", number("32000"), nullptr, "", "", {}},
        {"32001", number("32001"), range, "Invalid Company Number", "CoNumb", kTabAddress},
        {"0", number("0"), range, "Invalid Company Number", "CoNumb", kTabAddress},
        {"empty number", number(""), range, "Invalid Company Number", "CoNumb", kTabAddress},
        {"12a", number("12a"), numeric, "Invalid Company Number", "CoNumb", kTabAddress},
        {"30/31/90", aging("30", "31", "90"), aging2, "Aging Category 2", "CAVal2", kTabEnvelopes},
        {"30/60/61", aging("30", "60", "61"), aging3, "Aging Category 3", "CAVal3", kTabEnvelopes},
        {"30/32/34", aging("30", "32", "34"), nullptr, "", "", {}},
        {"e-mail without @",
         [](ControlValues& v) { v.text["CEmailAdd"] = "office.harbor.example"; },
         "Your company e-mail address does not have the @ sign included. Bad e-mail address.",
         "Company E-Mail Address", "CEmailAdd", kTabEMail},
        {"empty e-mail", [](ControlValues& v) { v.text["CEmailAdd"] = ""; }, nullptr, "", "", {}},
        {"blank name", [](ControlValues& v) { v.text["CName"] = "   "; },
         "A company name is required.", "Invalid Company Name", "CName", kTabAddress},
    };
    for (const SaveCase& c : cases) {
        CompanyRecord r = InUse();
        r.setText(Company::CompanyNo, "3");
        CompanySetupForm form(CompanySetupForm::Mode::Add, r, "1",
                              [](std::string_view) { return false; });
        ControlValues v = form.initialValues();
        c.change(v);
        SetupSaveResult s = form.save(v);
        if (!c.message) {
            EXPECT_TRUE(s.ok) << c.what << ": " << (s.message ? s.message->text : "");
            continue;
        }
        ASSERT_FALSE(s.ok) << c.what;
        EXPECT_EQ(s.message->text, c.message) << c.what;
        EXPECT_EQ(s.message->title, c.title) << c.what;
        EXPECT_EQ(s.focusControl, c.focus) << c.what;
        EXPECT_EQ(s.tab, c.tab) << c.what;
        // Nothing is stored while a check fails.
        EXPECT_EQ(form.working().text(Company::CompanyNo), "3") << c.what;
    }
}

TEST(SetupSave, SettledEntriesAreWrittenBackAndStored) {
    CompanyRecord r = InUse();
    CompanySetupForm form(CompanySetupForm::Mode::Add, r, "1",
                          [](std::string_view) { return false; });
    ControlValues v = form.initialValues();
    v.text["CoNumb"] = " 007 ";
    v.text["CAVal1"] = " ";
    v.text["CAVal2"] = "30";
    v.text["CAVal3"] = "60";
    v.text["CName"] = "Lakeside Bakery";
    v.checked["UseBmpCB"] = false;
    v.text["BmpNameText"] = "logo.bmp";
    SetupSaveResult s = form.save(v);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(v.textOf("CoNumb"), "7");
    EXPECT_EQ(v.textOf("CAVal1"), "0");
    EXPECT_EQ(form.working().text(Company::CompanyNo), "7");
    EXPECT_EQ(form.working().text(Company::AgingDays1), "0");
    EXPECT_EQ(form.working().text(Company::Name), "Lakeside Bakery");
    // Without the logo its file name is not kept.
    EXPECT_EQ(form.working().text(Company::LogoFile), "");
    EXPECT_FALSE(s.reloadCompanyInUse);
}

TEST(SetupSave, NumberInUseRefusedWhenAddingOnly) {
    int asked = 0;
    auto exists = [&](std::string_view n) {
        ++asked;
        return n == "2";
    };
    CompanyRecord r = InUse();
    r.setText(Company::CompanyNo, "02");
    CompanySetupForm add(CompanySetupForm::Mode::Add, r, "1", exists);
    ControlValues v = add.initialValues();
    SetupSaveResult s = add.save(v);
    ASSERT_FALSE(s.ok);
    EXPECT_EQ(s.message->text, "This Company number already exists. Enter another number.");
    EXPECT_EQ(s.message->title, "Company Number");
    EXPECT_EQ(s.focusControl, "CoNumb");
    EXPECT_EQ(asked, 1);

    asked = 0;
    CompanySetupForm edit(CompanySetupForm::Mode::Edit, r, "1", exists);
    v = edit.initialValues();
    EXPECT_TRUE(edit.save(v).ok);
    EXPECT_EQ(asked, 0);
}

TEST(SetupSave, EditingTheCompanyInUseAsksForItsReload) {
    CompanyRecord r = InUse();
    CompanySetupForm same = EditForm(r, " 1 ");
    ControlValues v = same.initialValues();
    EXPECT_TRUE(same.save(v).reloadCompanyInUse);
    CompanySetupForm other = EditForm(r, "4");
    v = other.initialValues();
    EXPECT_FALSE(other.save(v).reloadCompanyInUse);
}

TEST(SetupForm, TitlesHelpTopicsAndNumberField) {
    CompanySetupForm add(CompanySetupForm::Mode::Add, InUse(), "1", nullptr);
    EXPECT_EQ(add.title(), "New Company");
    EXPECT_TRUE(add.numberEditable());
    CompanySetupForm edit = EditForm(InUse());
    EXPECT_EQ(edit.title(), "Edit Company");
    EXPECT_FALSE(edit.numberEditable());

    EXPECT_EQ(SetupHelpTopic("E-Mail"), "E-Mail Mode");
    EXPECT_EQ(SetupHelpTopic("Sales Message"), "Invoice Options");
    EXPECT_EQ(SetupHelpTopic("Invoices"), "Invoice Options");
    EXPECT_EQ(SetupHelpTopic("Address/Taxes"), "Address and Tax Rate Settings");
    EXPECT_EQ(SetupHelpTopic("anything"), "Address and Tax Rate Settings");
    EXPECT_EQ(SetupHelpTopic("Envelopes/Aging"), "Envelope Setup");
    EXPECT_EQ(SetupHelpTopic("Forms Setup"), "Form Setup Options");
    EXPECT_EQ(SetupHelpTopic("General"), "General Options");
    EXPECT_EQ(SetupHelpTopic("System Graphics"), "System Graphics");
}

TEST(SetupForm, MissingBackgroundIsFoundInTheDataFolder) {
    testing::TempDir dir;
    CompanyRecord r = InUse();
    r.setText(Company::BackgroundFile, "background.bmp");
    EXPECT_TRUE(EditForm(r).backgroundMissing(dir.path()));
    testing::WriteFileBytes(dir.file("background.bmp"), "BM");
    EXPECT_FALSE(EditForm(r).backgroundMissing(dir.path()));
    r.setText(Company::BackgroundFile, dir.file("background.bmp"));
    EXPECT_FALSE(EditForm(r).backgroundMissing("/nonexistent"));
    r.setText(Company::BackgroundFile, "");
    EXPECT_FALSE(EditForm(r).backgroundMissing(dir.path()));
    EXPECT_EQ(CompanySetupForm::BackgroundMissingMessage().text,
              "Background bitmap image no longer exists. Use the Graphics tab to select another "
              "bitmap if desired.");
}

TEST(SetupFonts, FontButtonsWriteTheirFields) {
    CompanyRecord r = InUse();
    WriteSetupFont(r, SetupFont::Editor, {"Georgia", 14, 0x123456, data::style::Italic});
    WriteSetupFont(r, SetupFont::Manager, {"DejaVu Sans Mono", 9, 0x00FF00, 0});
    WriteSetupFont(r, SetupFont::Envelope, {"Times New Roman", 12, 0, data::style::Bold});
    EXPECT_EQ(r.text(Company::EditorFontName), "Georgia");
    EXPECT_EQ(r.int32(Company::EditorFontSize), 14);
    EXPECT_EQ(r.int32(Company::EditorFontColor), 0x123456);
    EXPECT_EQ(r.style(Company::EditorFontStyle), data::style::Italic);
    EXPECT_EQ(r.text(Company::MgrFontName), "DejaVu Sans Mono");
    EXPECT_EQ(r.int32(Company::MgrFontColor), 0x00FF00);
    EXPECT_EQ(r.text(Company::EnvFontName), "Times New Roman");
    EXPECT_EQ(r.style(Company::EnvFontStyle), data::style::Bold);
    EXPECT_EQ(ReadSetupFont(r, SetupFont::Editor).size, 14);

    WriteFormFont(r, 5, {"A face name far longer than thirty-two characters", 11, 0xFF, 3});
    data::FontSetting f = ReadFormFont(r, 5);
    EXPECT_EQ(f.name, "A face name far longer than thir");
    EXPECT_EQ(f.size, 11);
    EXPECT_EQ(f.colour, 0xFF);
    EXPECT_EQ(f.style, 3);
    EXPECT_EQ(FormFontCaption(0), "Form Body Text");
    EXPECT_EQ(FormFontCaption(5), "Sales Message");
}

TEST(HeaderDialog, CaptionsCutToTheirLimits) {
    const std::map<std::string_view, int> limits = {
        {"InvCapData", 25}, {"StmntCapData", 25}, {"PackSHeadData", 25}, {"FCHeadData", 25},
        {"QuoteEB", 25},    {"EBShipCap", 25},    {"PrCdhead", 15},      {"QuanHead", 15},
        {"Edit8", 15},      {"ExtHead", 15},      {"DescHead", 32},      {"MemoHeadr", 80},
        {"StmntNote", 80}};
    ASSERT_EQ(HeaderControls().size(), limits.size());
    CompanyRecord r = InUse();
    ControlValues v;
    for (const SetupControl& c : HeaderControls()) {
        EXPECT_EQ(c.limit(), limits.at(c.name)) << c.name;
        v.text[std::string(c.name)] = std::string(100, 'x');
    }
    StoreControls(HeaderControls(), v, r);
    for (const SetupControl& c : HeaderControls())
        EXPECT_EQ(Stored(r, c.field), std::string(size_t(limits.at(c.name)), 'x')) << c.name;
}

TEST(HeaderDialog, ColourFilesHoldOnlyTheColour) {
    testing::TempDir dir;
    EXPECT_EQ(ReadHeaderColours(dir.path()).shading, 0);  // missing: black
    ASSERT_TRUE(WriteHeaderColours(dir.path(), {0x00C0C0, 0x112233}));
    const std::string shade = testing::ReadFileBytes(dir.file("Shadeclr.fnt"));
    const std::string box = testing::ReadFileBytes(dir.file("InvBoxClr.fnt"));
    ASSERT_EQ(shade.size(), 48u);
    ASSERT_EQ(box.size(), 48u);
    EXPECT_EQ(shade.substr(40, 4), std::string("\xC0\xC0\x00\x00", 4));
    EXPECT_EQ(box.substr(40, 4), std::string("\x33\x22\x11\x00", 4));
    EXPECT_EQ(shade.substr(0, 40), std::string(40, '\0'));
    EXPECT_EQ(shade.substr(44), std::string(4, '\0'));
    HeaderColours back = ReadHeaderColours(dir.path());
    EXPECT_EQ(back.shading, 0x00C0C0);
    EXPECT_EQ(back.box, 0x112233);
}

}  // namespace
}  // namespace invarro::app
