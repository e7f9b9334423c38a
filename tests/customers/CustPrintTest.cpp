// The customer card and the envelope, laid out on the recording canvas.

#include <gtest/gtest.h>

#include <algorithm>

#include "customers/CustEdit.h"
#include "customers/CustPrint.h"
#include "data/Company.h"
#include "support/RecordingCanvas.h"

namespace invarro::customers {
namespace {

using data::Company;
using data::Customer;
using testing::CanvasOp;
using testing::RecordingCanvas;

data::CustomerRecord Sample() {
    CustomerEntry e;
    e.number = "100";
    e.name = "Harborview Dental Group";
    e.shortName = "HDental";
    e.custType = "Medical Office";
    e.taxExempt = "N";
    e.creditLimit = "5000";
    e.terms = "Net 30 Days";
    e.bill = {"1420 Marina Blvd", "Suite 200", "San Leandro, CA 94577", ""};
    e.ship = {"Receiving", "1420 Marina Blvd", "Dock 2", "San Leandro, CA 94577"};
    e.phone1 = "(510) 555-0142";
    e.phone2 = "(510) 555-0143";
    e.eMail = "ap@harborviewdental.com";
    e.mailSortCode = "WEST";
    e.notes = "Order toner quarterly.";
    data::CustomerRecord r = NewCustomerRecord(e);
    r.setText(Customer::Balance, "1234.50");
    r.setText(Customer::Age0to30, "1000.00");
    r.setText(Customer::AgeOver90, "234.50");
    return r;
}

data::CompanyRecord SampleCompany() {
    data::CompanyRecord c = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
    c.setText(Company::Name, "Northside Supply");
    c.setText(Company::CoAddr1, "500 Depot Street");
    c.setText(Company::CoAddr2, "Salina, KS 67401");
    c.setText(Company::CoAddr3, "(785) 555-0123");
    c.setText(Company::CoAddr4, "www.northside-demo.com");
    return c;
}

const platform::FixedClock kClock({2024, 3, 3, 14, 5, 0});

TEST(CustomerCard, OnePageWithHeadingRuleAndEveryField) {
    RecordingCanvas canvas;
    data::CompanyRecord company = SampleCompany();
    ASSERT_TRUE(PrintCustomerCard(canvas, Sample(), company, kClock));
    EXPECT_TRUE(canvas.faults().empty());
    EXPECT_EQ(canvas.pagesBegun(), 1);
    EXPECT_EQ(canvas.documentsEnded(), 1);
    auto begin = canvas.ops(CanvasOp::Kind::Begin);
    ASSERT_EQ(begin.size(), 1u);
    EXPECT_EQ(begin[0].text, "Print: Harborview Dental Group");
    EXPECT_EQ(begin[0].info.title, "Print: Harborview Dental Group");

    // Without form margins the card keeps half an inch from the edges.
    const CanvasOp* heading = canvas.findText("Customer: Harborview Dental Group");
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(heading->x, 127);
    EXPECT_EQ(heading->y, 127);
    EXPECT_EQ(heading->font.size, 20);
    EXPECT_EQ(heading->font.face, "Arial");
    auto rules = canvas.ops(CanvasOp::Kind::Line);
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].pen.width, 3);
    EXPECT_EQ(rules[0].x, 127);
    EXPECT_EQ(rules[0].x2, 2159 - 127);
    EXPECT_GT(rules[0].y, heading->y);

    for (std::string text : {"Customer Number: 100",
                             "Short Name: HDental",
                             "Customer Type: Medical Office",
                             "Credit Limit: 5,000.00",
                             "Payment Terms: Net 30 Days",
                             "Tax Exempt: No",
                             "Account Balance: 1,234.50",
                             "Current: 1,000.00",
                             "31-60: 0.00",
                             "61-90: 0.00",
                             "Over 90: 234.50",
                             "Billing Address:",
                             "Shipping Address:",
                             "Suite 200",
                             "Dock 2",
                             "Phone 1: (510) 555-0142",
                             "Phone 2: (510) 555-0143",
                             "E-mail: ap@harborviewdental.com",
                             "Mail List Sort Code: WEST",
                             "Notes / Comments:",
                             "Order toner quarterly.",
                             "Printed: Sunday, March 3, 2024, 02:05 PM"}) {
        const CanvasOp* op = canvas.findText(text);
        ASSERT_NE(op, nullptr) << text;
        EXPECT_EQ(op->font.size, 10) << text;
        EXPECT_GT(op->y, rules[0].y) << text;
    }
    // Lines are one text height apart.
    const int h = canvas.findText("Short Name: HDental")->y;
    EXPECT_EQ(canvas.findText("Customer Type: Medical Office")->y - h, 40);
    EXPECT_EQ(canvas.findText("Billing Address:")->y, canvas.findText("Shipping Address:")->y);

    RecordingCanvas exempt;
    data::CustomerRecord c = Sample();
    c.setText(Customer::TaxExempt, "Y");
    ASSERT_TRUE(PrintCustomerCard(exempt, c, company, kClock));
    EXPECT_NE(exempt.findText("Tax Exempt: Yes"), nullptr);
}

TEST(CustomerCard, FormMarginsAndLongNotes) {
    data::CompanyRecord company = SampleCompany();
    company.setText(Company::FormLeftMargin, "90");
    company.setText(Company::FormTopMargin, "50");
    data::CustomerRecord c = Sample();
    std::string notes;
    while (notes.size() < 230)
        notes += "Deliveries to the rear door before noon. ";
    notes += "Supercalifragilisticexpialidociousanddeliveries";
    c.setText(Customer::Notes, notes);
    RecordingCanvas canvas;
    ASSERT_TRUE(PrintCustomerCard(canvas, c, company, kClock));
    const CanvasOp* heading = canvas.findTextContaining("Customer: ");
    EXPECT_EQ(heading->x, 180);
    EXPECT_EQ(heading->y, 200);
    // The notes are wrapped inside the margins, and no character is lost.
    const int notesY = canvas.findText("Notes / Comments:")->y;
    const int printedY = canvas.findTextContaining("Printed: ")->y;
    std::string joined;
    int count = 0;
    for (const CanvasOp& op : canvas.texts()) {
        if (op.y <= notesY || op.y >= printedY) continue;
        EXPECT_LE(op.x + canvas.textWidth(op.text), 2159 - 180) << op.text;
        joined += (joined.empty() ? "" : " ") + op.text;
        ++count;
    }
    EXPECT_GT(count, 2);
    std::string stored = c.text(Customer::Notes);
    auto squeeze = [](std::string s) {
        s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
        return s;
    };
    EXPECT_EQ(squeeze(joined), squeeze(stored));
}

TEST(CustomerCard, ACanvasThatCannotStartPrintsNothing) {
    RecordingCanvas canvas;
    canvas.failBegin("no printer");
    EXPECT_FALSE(PrintCustomerCard(canvas, Sample(), SampleCompany(), kClock));
    EXPECT_TRUE(canvas.texts().empty());
}

TEST(Envelope, ReturnAddressAndShippingAddressAtTheSettings) {
    data::CompanyRecord company = SampleCompany();
    company.setText(Company::EnvLineSpacing, "50");
    company.setText(Company::EnvLeftMargin, "100");
    company.setText(Company::EnvTopMargin, "80");
    company.setText(Company::EnvSendAddrLeft, "900");
    company.setText(Company::EnvOrientation, "L");
    company.setText(Company::EnvAddress, "S");
    company.setYes(Company::PrintReturnAddr, true);
    company.setText(Company::EnvFontName, "Times New Roman");
    company.setInt32(Company::EnvFontSize, 14);
    company.setInt32(Company::EnvFontColor, 0x800000);
    company.setStyle(Company::EnvFontStyle, output::kItalic);
    RecordingCanvas canvas;
    ASSERT_TRUE(PrintEnvelope(canvas, Sample(), company));
    EXPECT_TRUE(canvas.faults().empty());

    auto begin = canvas.ops(CanvasOp::Kind::Begin);
    ASSERT_EQ(begin.size(), 1u);
    EXPECT_EQ(begin[0].text, "Envelope");
    EXPECT_EQ(begin[0].orientation, output::Orientation::Landscape);
    EXPECT_EQ(canvas.ops(CanvasOp::Kind::Orientation).back().orientation,
              output::Orientation::Portrait);

    struct At {
        std::string text;
        int x, y;
    };
    for (const At& a :
         {At{"Northside Supply", 100, 80}, At{"500 Depot Street", 100, 130},
          At{"Salina, KS 67401", 100, 180}, At{"(785) 555-0123", 100, 230},
          At{"www.northside-demo.com", 100, 280}, At{"Harborview Dental Group", 900, 480},
          At{"Receiving", 900, 530}, At{"1420 Marina Blvd", 900, 580}, At{"Dock 2", 900, 630},
          At{"San Leandro, CA 94577", 900, 680}}) {
        const CanvasOp* op = canvas.findText(a.text);
        ASSERT_NE(op, nullptr) << a.text;
        EXPECT_EQ(op->x, a.x) << a.text;
        EXPECT_EQ(op->y, a.y) << a.text;
        EXPECT_EQ(op->font.face, "Times New Roman");
        EXPECT_EQ(op->font.size, 14);
        EXPECT_EQ(op->font.color, (output::Color{0, 0, 0x80}));
        EXPECT_TRUE(op->font.italic());
    }
    EXPECT_EQ(canvas.findText("Suite 200"), nullptr);
}

TEST(Envelope, BillingAddressWithoutReturnAddress) {
    data::CompanyRecord company = SampleCompany();
    company.setText(Company::EnvLineSpacing, "40");
    company.setText(Company::EnvSendAddrLeft, "700");
    company.setYes(Company::PrintReturnAddr, false);
    RecordingCanvas canvas;
    ASSERT_TRUE(PrintEnvelope(canvas, Sample(), company));
    EXPECT_EQ(canvas.findText("Northside Supply"), nullptr);
    EXPECT_EQ(canvas.ops(CanvasOp::Kind::Begin)[0].orientation, output::Orientation::Portrait);
    EXPECT_EQ(canvas.findText("Harborview Dental Group")->y, 320);
    EXPECT_EQ(canvas.findText("Suite 200")->y, 400);
    EXPECT_EQ(canvas.findText("Suite 200")->x, 700);
    // The fourth billing line is empty but keeps its place.
    EXPECT_EQ(canvas.texts().size(), 5u);
    EXPECT_EQ(canvas.texts().back().y, 480);
}

TEST(Envelope, NoLineSpacingFallsBackToTheFontHeight) {
    data::CompanyRecord company = SampleCompany();
    company.setText(Company::EnvLineSpacing, "");
    company.setYes(Company::PrintReturnAddr, true);
    RecordingCanvas canvas;
    ASSERT_TRUE(PrintEnvelope(canvas, Sample(), company));
    // Arial 12 on the recording canvas: 48 units a line.
    EXPECT_EQ(canvas.findText("500 Depot Street")->y, 48);
    EXPECT_EQ(canvas.findText("Harborview Dental Group")->y, 8 * 48);
}

}  // namespace
}  // namespace invarro::customers
