// Windows-1252 text, the one upper-casing function, and field access through the
// layout tables.

#include <gtest/gtest.h>

#include "data/Ansi.h"
#include "data/Records.h"

namespace invarro::data {
namespace {

// The layout check must catch what would corrupt records.
constexpr std::array<FieldDef, 2> kOverlap{
    {{"A", 4, FieldKind::Text, 8}, {"B", 12, FieldKind::Byte, 0}}};
constexpr std::array<FieldDef, 2> kTouching{
    {{"A", 4, FieldKind::Text, 8}, {"B", 13, FieldKind::Int32, 0}}};
constexpr std::array<FieldDef, 1> kOnStatus{{{"A", 2, FieldKind::Byte, 0}}};
constexpr std::array<FieldDef, 1> kPastEnd{{{"A", 20, FieldKind::Int32, 0}}};
constexpr std::array<FieldDef, 1> kFontPastEnd{{{"A", 4, FieldKind::Font, 0}}};
constexpr std::array<FieldDef, 1> kWideYesNo{{{"A", 4, FieldKind::YesNo, 2}}};
constexpr std::array<FieldDef, 2> kSameName{
    {{"A", 4, FieldKind::Byte, 0}, {"A", 5, FieldKind::Byte, 0}}};
static_assert(!LayoutFits(kOverlap, 30));
static_assert(LayoutFits(kTouching, 30));
static_assert(!LayoutFits(kTouching, 16));
static_assert(!LayoutFits(kOnStatus, 30));
static_assert(!LayoutFits(kPastEnd, 23));
static_assert(LayoutFits(kPastEnd, 24));
static_assert(!LayoutFits(kFontPastEnd, 51));
static_assert(!LayoutFits(kWideYesNo, 30));
static_assert(!LayoutFits(kSameName, 30));

std::string Bytes(const uint8_t* p, size_t n) {
    return std::string(reinterpret_cast<const char*>(p), n);
}

TEST(Ansi, ConvertsBetweenUtf8AndWindows1252) {
    EXPECT_EQ(AnsiFromUtf8("Café €5 “q” Œ"),
              "Caf\xE9 \x80"
              "5 \x93q\x94 \x8C");
    EXPECT_EQ(Utf8FromAnsi("Caf\xE9 \x80\x9F\xA0"), "Café €Ÿ\u00A0");
    // No Windows-1252 form, malformed or cut-off UTF-8: one "?" each.
    EXPECT_EQ(AnsiFromUtf8("日本 \xC3 a\xE2\x82"), "?? ? a?");
    // The undefined bytes survive the round trip.
    std::string odd = "\x81\x8D\x8F\x90\x9D";
    EXPECT_EQ(AnsiFromUtf8(Utf8FromAnsi(odd)), odd);
    for (int b = 1; b < 256; ++b) {
        std::string one(1, char(b));
        EXPECT_EQ(AnsiFromUtf8(Utf8FromAnsi(one)), one) << b;
    }
}

TEST(Ansi, UpperCasesWindows1252Letters) {
    EXPECT_EQ(UpperText("acme àéîõü ÿšœž"), "ACME ÀÉÎÕÜ ŸŠŒŽ");
    // No single-byte upper case: ß, µ; ÷ is not a letter.
    EXPECT_EQ(UpperText("ßµ÷"), "ßµ÷");
    EXPECT_EQ(UpperAnsi("a\xE9\xFF\xF7"), "A\xC9\x9F\xF7");
    // Characters outside Windows-1252 are left as they are.
    EXPECT_EQ(UpperText("日x"), "日X");
}

TEST(Ansi, TrimRemovesEverythingBelow33AtBothEnds) {
    EXPECT_EQ(TrimText(std::string("\t\r\n \0 a b\x1F  ", 12)), "a b");
    EXPECT_EQ(TrimText("   "), "");
    // A no-break space (160) is a character, not a blank.
    EXPECT_EQ(TrimText("\xA0x\xA0"), "\xA0x\xA0");
}

TEST(Fields, TextIsStoredAsLengthByteAndAnsiCharactersCutToWidth) {
    CustomerRecord c;
    c.setText(Customer::Name, "Café Müller");
    const uint8_t* p = c.data() + 13;
    EXPECT_EQ(p[0], 11);
    EXPECT_EQ(Bytes(p + 1, 11), "Caf\xE9 M\xFCller");
    EXPECT_EQ(c.text(Customer::Name), "Café Müller");

    c.setText(Customer::CustNo, "1234567890");
    EXPECT_EQ(c.data()[4], 8);
    EXPECT_EQ(c.text(Customer::CustNo), "12345678");
    // The neighbouring field is untouched.
    EXPECT_EQ(c.data()[13], 11);

    // A shorter value clears the field's room after its length.
    c.setText(Customer::CustNo, "XY");
    EXPECT_EQ(Bytes(c.data() + 4, 9), std::string("\x02XY\0\0\0\0\0\0", 9));
    EXPECT_EQ(c.text(Customer::CustNo), "XY");
    EXPECT_EQ(c.data()[13], 11);
}

TEST(Fields, AShortenedFieldLeavesNoTraceOfTheEarlierValue) {
    CompanyRecord c;
    c.setText(Company::EMailPassword, "Tr0ub4dor&3-horse-battery");
    c.setText(Company::EMailHost, "smtp.example.com");
    const CompanyRecord before = c;
    c.setText(Company::EMailPassword, "pw");
    const FieldDef& f = Company::kFields[size_t(Company::EMailPassword_)];
    const std::string room = Bytes(c.data() + f.offset, size_t(f.width) + 1);
    EXPECT_EQ(room, std::string("\x02pw") + std::string(size_t(f.width) - 2, '\0'));
    EXPECT_EQ(Bytes(c.data(), c.size()).find("Tr0ub"), std::string::npos);
    EXPECT_EQ(c.text(Company::EMailHost), "smtp.example.com");
    // The empty text clears the whole field.
    c.setText(Company::EMailPassword, "");
    EXPECT_EQ(Bytes(c.data() + f.offset, size_t(f.width) + 1),
              std::string(size_t(f.width) + 1, '\0'));
    // Outside the field nothing moved.
    for (size_t i = 0; i < c.size(); ++i) {
        if (i < size_t(f.offset) || i > size_t(f.offset + f.width)) {
            EXPECT_EQ(c.data()[i], before.data()[i]) << i;
        }
    }
}

TEST(Fields, SameValuesLooksPastOldTailsButNotPastValues) {
    CustomerRecord a;
    a.setText(Customer::Name, "Acme");
    CustomerRecord written = a;
    // An earlier write that left "Corporation"'s tail after "Acme".
    const FieldDef& name = Customer::kFields[size_t(Customer::Name_)];
    std::memcpy(written.data() + name.offset + 1 + 4, "oration", 7);
    EXPECT_FALSE(written == a);
    EXPECT_EQ(written.text(Customer::Name), "Acme");
    EXPECT_TRUE(written.sameValues(a));
    EXPECT_TRUE(a.sameValues(written));

    CustomerRecord other = written;
    other.setText(Customer::Name, "Acmf");
    EXPECT_FALSE(other.sameValues(written));
    // A non-text field and a byte outside every field still count.
    CustomerRecord status = a;
    status.data()[0] = 1;
    EXPECT_FALSE(status.sameValues(a));
    CustomerRecord length = a;
    length.data()[name.offset] = 3;
    EXPECT_FALSE(length.sameValues(a));
}

TEST(Fields, DamagedLengthByteReadsAtMostTheWidth) {
    ProductRecord p;
    p.setText(Product::ProdCode, "ABCDEFGHIJ");
    p.data()[4] = 200;
    EXPECT_EQ(p.text(Product::ProdCode), "ABCDEFGHIJ");
}

TEST(Fields, YesNoByteInt32AndStyle) {
    CompanyRecord c;
    c.setYes(Company::AuditTrail, true);
    EXPECT_EQ(Bytes(c.data() + 2156, 2), "\x01Y");
    c.setYes(Company::AuditTrail, false);
    EXPECT_EQ(Bytes(c.data() + 2156, 2), "\x01N");
    EXPECT_FALSE(c.yes(Company::AuditTrail));
    c.setText(Company::AuditTrail, "y");
    EXPECT_TRUE(c.yes(Company::AuditTrail));

    c.setInt32(Company::MgrFontColor, -2);
    EXPECT_EQ(Bytes(c.data() + 1000, 4), "\xFE\xFF\xFF\xFF");
    EXPECT_EQ(c.int32(Company::MgrFontColor), -2);
    c.setInt32(Company::EditorFontSize, 0x01020304);
    EXPECT_EQ(Bytes(c.data() + 272, 4), "\x04\x03\x02\x01");

    c.setStyle(Company::EnvFontStyle, style::Bold | style::StrikeOut);
    EXPECT_EQ(c.data()[2096], 9);
    c.setByte(Company::ShowHints, 1);
    EXPECT_EQ(c.data()[1573], 1);
}

TEST(Fields, FontBlockLayout) {
    CompanyRecord c;
    c.data()[1632 + 47] = 0x55;  // stale byte inside the block
    FontSetting f{"Times New Roman Extra Condensed Bold Italic", 14, 0x00FF00, style::Italic};
    c.setFont(Company::FormFonts2, f);
    const uint8_t* b = c.data() + 1632;
    EXPECT_EQ(b[0], 32);
    EXPECT_EQ(Bytes(b + 1, 32), "Times New Roman Extra Condensed ");
    EXPECT_EQ(Bytes(b + 33, 3), std::string(3, '\0'));
    EXPECT_EQ(ReadInt32(b + 36), 14);
    EXPECT_EQ(ReadInt32(b + 40), 0x00FF00);
    EXPECT_EQ(b[44], style::Italic);
    EXPECT_EQ(Bytes(b + 45, 3), std::string(3, '\0'));
    // The neighbours are untouched.
    EXPECT_EQ(c.data()[1631], 0);
    EXPECT_EQ(c.data()[1680], 0);
    FontSetting back = c.font(Company::FormFonts2);
    EXPECT_EQ(back.name, "Times New Roman Extra Condensed ");
    EXPECT_EQ(back.size, 14);
    EXPECT_EQ(back.colour, 0x00FF00);
    EXPECT_EQ(back.style, style::Italic);
}

TEST(Fields, MoneyFieldsRefuseAmountsTooLongForThem) {
    CustomerRecord c;
    ASSERT_TRUE(c.setMoney(Customer::CreditLimit, Money::FromCents(150)));
    EXPECT_EQ(c.text(Customer::CreditLimit), "1.50");
    // 11 characters: too long for text(10), fits the balance's text(12).
    Money big = Money::FromCents(9999999999);
    EXPECT_FALSE(c.setMoney(Customer::CreditLimit, big));
    EXPECT_EQ(c.text(Customer::CreditLimit), "1.50");
    ASSERT_TRUE(c.setMoney(Customer::Balance, big));
    EXPECT_EQ(c.text(Customer::Balance), "99999999.99");
    EXPECT_EQ(c.money(Customer::Balance), big);
    // Stored text with blanks and commas reads as its amount; rubbish as 0.
    c.setText(Customer::Age0to30, " 1,234.50 ");
    EXPECT_EQ(c.money(Customer::Age0to30).cents(), 123450);
    c.setText(Customer::Age0to30, "abc");
    EXPECT_EQ(c.money(Customer::Age0to30).cents(), 0);
}

TEST(Fields, NewRecordsHoldZeroAmountsAndNoFlags) {
    CustomerRecord c = NewRecord<Customer>();
    for (auto f : {Customer::Balance, Customer::CreditLimit, Customer::Age0to30,
                   Customer::Age31to60, Customer::Age61to90, Customer::AgeOver90})
        EXPECT_EQ(c.text(f), "0.00");
    for (auto f : {Customer::TaxExempt, Customer::NotesOnInvoice, Customer::NotesOnStatement,
                   Customer::CreditHold})
        EXPECT_EQ(c.text(f), "N");
    EXPECT_EQ(c.text(Customer::Name), "");
    EXPECT_EQ(c.status(), 0);
    InvoiceRecord inv = NewRecord<Invoice>();
    EXPECT_EQ(inv.text(Invoice::BalanceDue), "0.00");
    EXPECT_EQ(inv.text(Invoice::PrintedFlag), "N");
    EXPECT_EQ(inv.text(Invoice::PaidFlag), "");  // a plain text field
    // Reserved bytes stay zero.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.data()) + 906, 102),
              std::string(102, '\0'));
}

TEST(Fields, MemoKeepsTwentyFiveLinesOfSeventyFourCharacters) {
    std::vector<std::string> lines;
    for (int i = 1; i <= 30; ++i)
        lines.push_back(std::string(80, char('A' + i % 26)) + std::to_string(i));
    MemoRecord m;
    SetMemoLines(m, lines);
    auto back = MemoLines(m);
    ASSERT_EQ(back.size(), 25u);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(back[size_t(i)], lines[size_t(i)].substr(0, 74)) << i;
    EXPECT_EQ(m.data()[14 + 75 * 24], 74);
    EXPECT_EQ(m.data()[1889], 0);

    // Fewer lines empty the rest.
    SetMemoLines(m, {"one", "", "three"});
    EXPECT_EQ(MemoLines(m), (std::vector<std::string>{"one", "", "three"}));
    EXPECT_EQ(m.data()[14 + 75 * 3], 0);
}

TEST(Fields, InvoiceDateFillsItsPartsWhateverTheDateOrder) {
    for (DateOrder order : {DateOrder::MonthFirst, DateOrder::DayFirst}) {
        InvoiceRecord inv;
        SetInvoiceDate(inv, Date{2024, 3, 3}, order);
        EXPECT_EQ(inv.text(Invoice::InvMonth), "03");
        EXPECT_EQ(inv.text(Invoice::InvDay), "03");
        EXPECT_EQ(inv.text(Invoice::InvYear), "2024");
        EXPECT_EQ(inv.text(Invoice::SortDate), "2024/03/03");
    }
    InvoiceRecord inv;
    SetInvoiceDate(inv, Date{2024, 12, 1}, DateOrder::DayFirst);
    EXPECT_EQ(inv.text(Invoice::InvDate), "01/12/2024");
    EXPECT_EQ(inv.text(Invoice::InvMonth), "12");
    EXPECT_EQ(inv.text(Invoice::SortDate), "2024/12/01");
    SetInvoiceDate(inv, Date{2024, 12, 1}, DateOrder::MonthFirst);
    EXPECT_EQ(inv.text(Invoice::InvDate), "12/01/2024");
}

}  // namespace
}  // namespace invarro::data
