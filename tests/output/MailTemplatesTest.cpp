// The templates of document e-mails: merge fields at their edges (terms without days, a
// zero balance, names that would break a header), what is kept in the INI file, and which
// text a message gets.

#include "output/MailTemplates.h"

#include <gtest/gtest.h>

#include "data/Company.h"
#include "data/SideFiles.h"
#include "support/TempDir.h"

namespace invarro::output {
namespace {

using data::Company;

class MailTemplatesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(Company::CompanyNo, "1");
        company.setText(Company::Name, "Northside Supply");
        company.setText(Company::QuoteCaption, "E S T I M A T E");
        company.setText(Company::CurrencySymbol, "$");
        doc.found = true;
        doc.number = "1043";
        doc.date = "01/31/2024";
        doc.account = "100";
        doc.terms = "Net 30 Days";
        doc.billTo = {"Harborview Dental Group", "12 Pier Road", "", "", ""};
        doc.grandTotal = data::Money::FromCents(10825);
        doc.balanceDue = data::Money::FromCents(10825);
    }
    MailFields values(DocumentKind kind = DocumentKind::Invoice) {
        return InvoiceMergeValues(doc, kind, company);
    }

    testing::TempDir dir;
    data::CompanyRecord company;
    InvoiceDocument doc;
};

TEST_F(MailTemplatesTest, TheCoverLetterOfAnInvoiceNamesNumberAmountAndDueDate) {
    const MailTemplate t = CoverLetter(MailKind::Invoice);
    EXPECT_EQ(MergeSubject(t.subject, values()), "Invoice 1043 from Northside Supply: $108.25");
    EXPECT_EQ(MergeBody(t.body, values()),
              (std::vector<std::string>{"Dear Harborview Dental Group,", "",
                                        "Please find attached our Invoice 1043 of 01/31/2024 for "
                                        "$108.25.",
                                        "Balance due: $108.25", "Due date: 03/01/2024", "",
                                        "Thank you for your business.", "", "Northside Supply"}));
    // A quote is called as the company calls it, and has no balance or due date.
    const MailTemplate q = CoverLetter(MailKind::Quote);
    EXPECT_EQ(MergeSubject(q.subject, values(DocumentKind::Quote)),
              "Estimate 1043 from Northside Supply: $108.25");
    EXPECT_EQ(values(DocumentKind::Quote).at("Due Date"), "");
    EXPECT_EQ(values(DocumentKind::Quote).at("Balance Due"), "");
}

TEST_F(MailTemplatesTest, FieldsAtTheirEdges) {
    // Terms that name no number of days: no due date, and the line that says it is left out.
    doc.terms = "Due On Receipt";
    std::vector<std::string> body =
        MergeBody("Total {Amount}\nDue by {Due Date}.\nThanks", values());
    EXPECT_EQ(body, (std::vector<std::string>{"Total $108.25", "Thanks"}));
    // Without terms the invoice is due on its date.
    doc.terms = "";
    EXPECT_EQ(values().at("Due Date"), "01/31/2024");
    // A paid invoice: a zero balance is a value like any other.
    doc.balanceDue = data::Money::FromCents(0);
    EXPECT_EQ(MergeBody("Still owed: {Balance Due}", values()),
              std::vector<std::string>{"Still owed: $0.00"});
    // Day-first companies get day-first due dates.
    company.setText(Company::DateFormatCode, "D");
    doc.date = "31/01/2024";
    doc.terms = "Net 10 Days";
    EXPECT_EQ(values().at("Due Date"), "10/02/2024");
    // An unreadable invoice date gives no due date rather than a wrong one.
    doc.date = "31/13/2024";
    EXPECT_EQ(values().at("Due Date"), "");
    // Unknown or unclosed braces stay as typed; a field may stand twice.
    EXPECT_EQ(MergeSubject("{Number} {Nonsense} {Number} {Amount", values()),
              "1043 {Nonsense} 1043 {Amount");
    // A template ending in a line break has no empty last line; CR LF is a line break.
    EXPECT_EQ(MergeBody("a\r\nb\n", values()), (std::vector<std::string>{"a", "b"}));
}

TEST_F(MailTemplatesTest, NamesThatWouldBreakAHeaderStayOnTheSubjectLine) {
    doc.billTo[0] = "M\xC3\xBCller & \"S\xC3\xB6hne\"\r\nBcc: thief@evil.test";
    company.setText(Company::Name, "O'Brien, Smith\t& Co.");
    const std::string subject =
        MergeSubject("Invoice {Number}\nfor {Customer} from {Company}", values());
    EXPECT_EQ(subject.find_first_of("\r\n\t"), std::string::npos) << subject;
    EXPECT_EQ(subject,
              "Invoice 1043 for M\xC3\xBCller & \"S\xC3\xB6hne\" Bcc: thief@evil.test from "
              "O'Brien, Smith & Co.");
    // In the body the name stays on its line too.
    EXPECT_EQ(MergeBody("Dear {Customer},", values()).size(), 1u);
    // A subject of nothing but empty fields is empty, not blanks.
    EXPECT_EQ(MergeSubject("  {Due Date}  ", MailFields{{"Due Date", ""}}), "");
}

TEST_F(MailTemplatesTest, StatementsMergeTheCustomersBalance) {
    Statement s;
    s.custNo = "100";
    s.name = "Harborview Dental Group";
    s.balance = data::Money::FromCents(-2500);
    const MailFields v = StatementMergeValues(s, company, {2024, 3, 20});
    const MailTemplate t = CoverLetter(MailKind::Statement);
    EXPECT_EQ(MergeSubject(t.subject, v),
              "Statement for Harborview Dental Group from Northside Supply");
    EXPECT_EQ(MergeBody(t.body, v)[2],
              "Please find attached your statement of account of 03/20/2024.");
    EXPECT_EQ(MergeBody(t.body, v)[3], "Balance due: $-25.00");
    EXPECT_EQ(v.at("Number"), "");
    EXPECT_EQ(v.at("Account"), "100");
}

TEST_F(MailTemplatesTest, TemplatesAreKeptPerCompanyAndTheStandardTextIsNotStored) {
    data::IniFile ini(data::IniFilePath(dir.path()));
    const MailTemplate own{" Rechnung {Number} ",
                           "Guten Tag,\n\n  eingerückt \\ mit Backslash\\n\n\nGrüße\n"};
    ASSERT_TRUE(WriteMailTemplate(ini, "1", MailKind::Invoice, own));
    // Saved unchanged, the cover letter is the standard text, not a template of its own.
    ASSERT_TRUE(WriteMailTemplate(ini, "1", MailKind::Quote, CoverLetter(MailKind::Quote)));
    ASSERT_TRUE(WriteMailTemplate(ini, "2", MailKind::Statement, own));
    const MailTexts texts = ReadMailTexts(dir.path(), company);
    ASSERT_TRUE(texts.invoice);
    EXPECT_EQ(*texts.invoice, own);  // blanks, backslashes and empty lines come back
    EXPECT_FALSE(texts.quote);
    EXPECT_FALSE(texts.statement);  // company 2's is its own
    // The text a message gets: the company's own; else the cover letter with a PDF, and
    // the document as text (nothing here) without one.
    EXPECT_EQ(TemplateFor(texts, MailKind::Invoice, false), own);
    EXPECT_EQ(TemplateFor(texts, MailKind::Quote, true), CoverLetter(MailKind::Quote));
    EXPECT_EQ(TemplateFor(texts, MailKind::Quote, false), std::nullopt);
    // Emptied, it is the standard text again.
    ASSERT_TRUE(WriteMailTemplate(ini, "1", MailKind::Invoice, MailTemplate{" ", "\n"}));
    EXPECT_FALSE(ReadMailTexts(dir.path(), company).invoice);
}

}  // namespace
}  // namespace invarro::output
