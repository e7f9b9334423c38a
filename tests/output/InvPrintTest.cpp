// The invoice document on the recording canvas: positions of the page layout, the kinds,
// page breaks, the fit of totals and footer, the receipt format and one print request.

#include <gtest/gtest.h>

#include <algorithm>

#include "DocumentFixture.h"
#include "data/EInvoiceData.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/PaymentReference.h"
#include "data/SideFiles.h"
#include "output/InvPrint.h"
#include "output/PaymentQr.h"
#include "support/RecordingCanvas.h"

namespace invarro::output {
namespace {

using data::Company;
using testing::CanvasOp;
using testing::RecordingCanvas;

const platform::FixedClock kClock({2024, 3, 3, 14, 5, 9});

// Every text with something visible must lie on the page and clear of every other text of
// its page.
void ExpectNoOverlapOnPage(const RecordingCanvas& c) {
    std::vector<CanvasOp> texts;
    for (const CanvasOp& t : c.texts())
        if (t.text.find_first_not_of(' ') != std::string::npos) texts.push_back(t);
    for (size_t i = 0; i < texts.size(); ++i) {
        const CanvasOp& a = texts[i];
        EXPECT_GE(a.x, 0) << a.text;
        EXPECT_GE(a.y, 0) << a.text;
        EXPECT_LE(a.x2, c.pageWidth()) << a.text;
        EXPECT_LE(a.y2, c.pageHeight()) << a.text;
        for (size_t j = 0; j < i; ++j) {
            const CanvasOp& b = texts[j];
            if (a.page != b.page) continue;
            const bool apart = a.x2 <= b.x || b.x2 <= a.x || a.y2 <= b.y || b.y2 <= a.y;
            EXPECT_TRUE(apart) << "\"" << a.text << "\" (" << a.x << "," << a.y << ") over \""
                               << b.text << "\" (" << b.x << "," << b.y << ") on page " << a.page;
        }
    }
}

class LayoutTest : public DocumentTest {
  protected:
    FormContext form() { return FormContext{company, dir.path()}; }
    RecordingCanvas print(const std::string& no, DocumentKind kind) {
        RecordingCanvas c;
        InvoiceDocument d = assemble(no);
        EXPECT_TRUE(PrintDocument(c, d, kind, form()));
        EXPECT_TRUE(c.faults().empty());
        EXPECT_EQ(c.documentsEnded(), 1);
        return c;
    }
    static int Y(const RecordingCanvas& c, const std::string& text) {
        const CanvasOp* op = c.findText(text);
        EXPECT_NE(op, nullptr) << text;
        return op ? op->y : -1;
    }
    static int X(const RecordingCanvas& c, const std::string& text) {
        const CanvasOp* op = c.findText(text);
        EXPECT_NE(op, nullptr) << text;
        return op ? op->x : -1;
    }
};

TEST_F(LayoutTest, InvoiceLaidOutAsTheForm) {
    sampleInvoice();
    RecordingCanvas c = print("1043", DocumentKind::Invoice);
    auto begin = c.ops(CanvasOp::Kind::Begin);
    ASSERT_EQ(begin.size(), 1u);
    EXPECT_EQ(begin[0].text, "Invoice - 1043");
    EXPECT_EQ(begin[0].info.author, "Northside Supply");
    EXPECT_EQ(begin[0].info.subject, "INVOICE 1043");
    EXPECT_EQ(c.pagesBegun(), 1);

    // The page box in the box colour, from the box top to the page's edge.
    auto rects = c.ops(CanvasOp::Kind::Rectangle);
    ASSERT_FALSE(rects.empty());
    EXPECT_EQ(rects[0].x, 2);
    EXPECT_EQ(rects[0].y, 0);
    EXPECT_EQ(rects[0].x2, 2157);
    EXPECT_EQ(rects[0].y2, 2792);

    // Caption and large number centred in the right half, in the caption font.
    const CanvasOp* caption = c.findText("INVOICE");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->x, 1478);
    EXPECT_EQ(caption->y, 160);
    EXPECT_EQ(caption->font.size, 20);
    EXPECT_EQ(X(c, "1043"), 1538);
    EXPECT_EQ(Y(c, "1043"), 280);
    // Company block at the left margin, then the customer blocks.
    EXPECT_EQ(Y(c, "Northside Supply"), 80);
    EXPECT_EQ(Y(c, "Salina, KS 67401"), 80 + 2 * 48);
    EXPECT_EQ(Y(c, "Harborview Dental Group"), 512);
    EXPECT_EQ(X(c, "Deliver To:"), 1079);
    EXPECT_EQ(Y(c, "Deliver To:"), 512);
    EXPECT_EQ(Y(c, "Dock 2"), 512 + 3 * 40);
    // Info rows.
    EXPECT_EQ(Y(c, "Date: 03/03/2024"), 792);
    EXPECT_EQ(X(c, "Number: 1043"), 879);
    EXPECT_EQ(X(c, "Account Number: 100"), 1438);
    EXPECT_EQ(Y(c, "Payment Terms: Net 30 Days"), 832);
    EXPECT_EQ(Y(c, "Reference: PO 7781"), 872);
    // Headings and the first row in their columns.
    EXPECT_EQ(Y(c, "Code"), 952);
    EXPECT_EQ(X(c, "Code"), 239);
    EXPECT_EQ(X(c, "Quantity"), 679 - 160);
    EXPECT_EQ(X(c, "TONER-12"), 239);
    EXPECT_EQ(Y(c, "TONER-12"), 1032);
    EXPECT_EQ(X(c, "2"), 659);
    EXPECT_EQ(X(c, "Toner cartridge, black"), 719);
    EXPECT_EQ(X(c, "450.00"), 1459);
    EXPECT_EQ(X(c, "900.00"), 1799);
    EXPECT_EQ(Y(c, "Delivered Tuesday"), 1112);
    // A comment row has no price, mark or extension.
    const auto texts = c.texts();
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const CanvasOp& t) { return t.y == 1112 && !t.text.empty(); }),
              1);
    // Totals: every amount ends on the right edge of the extension column, and every
    // currency symbol stands in one column before the widest amount.
    EXPECT_EQ(X(c, "Total:"), 1359);
    EXPECT_EQ(Y(c, "Total:"), 1192);
    EXPECT_EQ(Y(c, "8.25% Sales Tax"), 1232);
    EXPECT_EQ(Y(c, "Grand Total:"), 1272);
    EXPECT_EQ(X(c, "Paid Amount:"), 1359);
    EXPECT_EQ(Y(c, "Paid Amount:"), 1312);
    EXPECT_EQ(Y(c, "Balance Due:"), 1352);
    std::vector<int> symbolRows, amountRows;
    for (const CanvasOp& t : texts) {
        if (t.y < 1192 || t.y > 1352) continue;
        if (t.text == "$") {
            EXPECT_EQ(t.x, 1919 - 8 * 20 - 20 - 20) << t.y;  // "1,082.50", a blank, "$"
            symbolRows.push_back(t.y);
        } else if (t.x2 == 1919) {
            amountRows.push_back(t.y);
        }
    }
    EXPECT_EQ(symbolRows, (std::vector<int>{1192, 1232, 1272, 1312, 1352}));
    EXPECT_EQ(amountRows, symbolRows);
    EXPECT_EQ(c.findText("1,082.50")->y, 1272);
    EXPECT_EQ(c.findText("0.00")->y, 1312);
    EXPECT_EQ(c.findTextContaining("Paid Date"), nullptr);
    // Aging footer at the page foot.
    EXPECT_EQ(Y(c, "Total Account Balance: 1,450.75"), 2794 - 64 - 32);
    EXPECT_EQ(Y(c, "Current:     1,000.00"), 2794 - 64);
    // With the page box, text keeps a sixteenth of an inch (254 / 16) plus the box's line
    // inside the paper's edge, though the form's left margin is 0.
    const int inside = 2 + 1 + 254 / 16;
    EXPECT_EQ(X(c, "Current:     1,000.00"), inside);
    EXPECT_EQ(X(c, "Northside Supply"), inside);
    EXPECT_EQ(X(c, "Date: 03/03/2024"), inside);
    EXPECT_EQ(X(c, "31-60:       450.75"), 539 + inside);
    EXPECT_EQ(X(c, "Over 90:         0.00"), 539 * 3 + inside);
    ExpectNoOverlapOnPage(c);
}

TEST_F(LayoutTest, PackingSlipHidesPricesAndSubtotals) {
    sampleInvoice();
    addLine("1043", 4, "", "", "Sub-Total", "", "", "1000.00");
    addLine("1043", 5, "", "1", "10% DISCOUNT for members", "-100.00", "N", "-100.00");
    RecordingCanvas c = print("1043", DocumentKind::PackingSlip);
    EXPECT_EQ(c.ops(CanvasOp::Kind::Begin)[0].text, "Packing Slip - 1043");
    EXPECT_NE(c.findText("PACKING SLIP"), nullptr);
    for (const std::string& s : c.textStrings()) {
        EXPECT_EQ(s.find("450.00"), std::string::npos) << s;
        EXPECT_EQ(s.find("900.00"), std::string::npos) << s;
        EXPECT_EQ(s.find("Sub-Total"), std::string::npos) << s;
        EXPECT_EQ(s.find("DISCOUNT"), std::string::npos) << s;
        EXPECT_EQ(s.find("Total Account Balance"), std::string::npos) << s;
        EXPECT_EQ(s.find("Balance Due"), std::string::npos) << s;
    }
    const auto strings = c.textStrings();
    auto hidden = std::count(strings.begin(), strings.end(), "xxxxxxxxxx");
    EXPECT_EQ(hidden, 4);  // price and extension of the two priced rows
    EXPECT_EQ(Y(c, "This is a packing slip. Please pay from invoice."), 1152 + 20 + 20 + 80);
}

TEST_F(LayoutTest, QuoteHasNoPaymentRowsNorAging) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "Q9", .type = 'Q', .total = "54.00", .tax = "4.00", .paidDate = "2024/03/09"});
    addLine("Q9", 1, "", "5", "Widget", "10.00", "Y", "50.00");
    RecordingCanvas c = print("Q9", KindOfDocument(assemble("Q9")));
    EXPECT_NE(c.findText("Q U O T E"), nullptr);
    EXPECT_NE(c.findText("Quote Total:"), nullptr);
    EXPECT_EQ(c.findText("Grand Total:"), nullptr);
    EXPECT_EQ(c.findTextContaining("Paid"), nullptr);
    EXPECT_EQ(c.findText("Balance Due:"), nullptr);
    EXPECT_EQ(c.findTextContaining("Total Account Balance"), nullptr);
}

TEST_F(LayoutTest, CreditDuplicateAndFileCopyCaptions) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "CR5", .total = "-40.00", .printed = true});
    company.setByte(Company::PrintDuplicate, 1);
    RecordingCanvas inv = print("CR5", DocumentKind::Invoice);
    EXPECT_NE(inv.findText("C  R  E  D  I  T"), nullptr);
    ASSERT_NE(inv.findText("** Duplicate Invoice **"), nullptr);
    // The mark goes under the large number, never over it.
    EXPECT_GE(Y(inv, "** Duplicate Invoice **"), Y(inv, "CR5") + 80);
    ExpectNoOverlapOnPage(inv);

    RecordingCanvas fcp = print("CR5", DocumentKind::FileCopy);
    EXPECT_NE(fcp.findText("FILE COPY"), nullptr);
    EXPECT_EQ(fcp.findText("** Duplicate Invoice **"), nullptr);
    EXPECT_EQ(fcp.ops(CanvasOp::Kind::Begin)[0].text, "File Copy - CR5");

    company.setByte(Company::PrintDuplicate, 0);
    EXPECT_EQ(print("CR5", DocumentKind::Invoice).findText("** Duplicate Invoice **"), nullptr);
    company.setText(Company::NoBigInvNo, "Y");
    EXPECT_EQ(print("CR5", DocumentKind::Invoice).findText("CR5"), nullptr);
}

TEST_F(LayoutTest, TaxRowOnlyWithANameOrATax) {
    sampleInvoice();
    addHeader({.no = "7", .total = "10.00"});
    company.setText(Company::TaxHeading, "");
    RecordingCanvas c = print("7", DocumentKind::Invoice);
    EXPECT_EQ(Y(c, "Grand Total:"), Y(c, "Total:") + 40);
    RecordingCanvas taxed = print("1043", DocumentKind::Invoice);
    EXPECT_EQ(Y(taxed, "Grand Total:"), Y(taxed, "Total:") + 80);
    EXPECT_NE(taxed.findText("8.25% "), nullptr);
}

TEST_F(LayoutTest, MoveDownTotalsForBlankLines) {
    sampleInvoice();
    const int plain = Y(print("1043", DocumentKind::Invoice), "Total:");
    company.setByte(Company::MoveTotalsDown, 1);
    company.setText(Company::MaxLines, "20");
    EXPECT_EQ(Y(print("1043", DocumentKind::Invoice), "Total:"), plain + 18 * 40);
    // A number of lines that would push the totals over the footer moves them only as
    // far as they fit.
    company.setText(Company::MaxLines, "99");
    RecordingCanvas c = print("1043", DocumentKind::Invoice);
    EXPECT_EQ(c.pagesBegun(), 1);
    ExpectNoOverlapOnPage(c);
}

TEST_F(LayoutTest, QuantityTotalAndPaidDate) {
    sampleInvoice();
    addHeader({.no = "P1", .total = "20.00", .paid = "20.00", .paidDate = "2024/03/20"});
    addLine("P1", 1, "", "1,200.5", "Bolts", "0.01", "N", "12.01");
    addLine("P1", 2, "", "3", "Sub-total", "", "", "12.01");
    company.setText(Company::TotalQuantity, "Y");
    RecordingCanvas c = print("P1", DocumentKind::Invoice);
    EXPECT_NE(c.findText("1,200.5"), nullptr);
    EXPECT_NE(c.findText("Total Quantity: 1,200.50"), nullptr);
    // The paid date stands at the left anchor on the row of the paid amount.
    EXPECT_EQ(Y(c, "Paid Date: 03/20/2024"), Y(c, "Paid Amount:"));
    EXPECT_LT(X(c, "Paid Date: 03/20/2024") + c.textWidth("Paid Date: 03/20/2024"),
              X(c, "Paid Amount:"));
    ExpectNoOverlapOnPage(c);
}

TEST_F(LayoutTest, NinetyNineLinesContinueOnFollowingPages) {
    addCustomer("100", "Harborview Dental Group", {"1 Main St"}, {"Dock"});
    addHeader({.no = "1099", .total = "99.00"});
    for (int r = 1; r <= 99; ++r)
        addLine("1099", r, "P" + std::to_string(r), "1", "Item " + std::to_string(r), "1.00", "N",
                "1.00");
    RecordingCanvas c = print("1099", DocumentKind::Invoice);
    EXPECT_EQ(c.pagesBegun(), 3);
    const CanvasOp* cont = c.findText("Continued on page number 2 ...");
    ASSERT_NE(cont, nullptr);
    EXPECT_EQ(cont->page, 1);
    EXPECT_EQ(cont->x, 1079 - cont->x2 / 2 + cont->x / 2);
    // Each page names the invoice and says which of how many pages it is.
    for (int p = 1; p <= 3; ++p) {
        const CanvasOp* line = c.findText("1099 - page number " + std::to_string(p) + " of 3");
        ASSERT_NE(line, nullptr) << p;
        EXPECT_EQ(line->page, p);
        EXPECT_EQ(line->font, FormFontOf(company, FormFont::CompanyAddress));
    }
    EXPECT_NE(c.findText("Continued on page number 3 ..."), nullptr);
    // Rows 1-35 on page 1, the next rows on page 2 under their own headings.
    EXPECT_EQ(c.findText("Item 35")->page, 1);
    EXPECT_EQ(c.findText("Item 36")->page, 2);
    EXPECT_EQ(c.findText("Item 36")->y, 1032);
    int headings = 0, bigNumbers = 0;
    for (const CanvasOp& t : c.texts()) {
        if (t.text == "Code") ++headings;
        if (t.text == "1099") ++bigNumbers;
    }
    EXPECT_EQ(headings, 3);
    EXPECT_EQ(bigNumbers, 1);  // the large number on page 1 only
    EXPECT_EQ(c.findText("Balance Due:")->page, 3);
    EXPECT_EQ(c.findText("Total Account Balance: 1,450.75")->page, 3);
    for (int p = 1; p <= 3; ++p) {
        const auto page = c.textStrings(p);
        EXPECT_NE(std::find(page.begin(), page.end(), "Account Number: 100"), page.end());
    }
    ExpectNoOverlapOnPage(c);
}

TEST_F(LayoutTest, LongMemoInLargeFontsNeverRunsIntoTheFooter) {
    addCustomer("100", "Harborview Dental Group", {"1 Main St", "Town"});
    addHeader({.no = "M25", .total = "2500.00", .tax = "0.00", .style = 'M'});
    std::vector<std::string> memo;
    for (int k = 1; k <= 25; ++k)
        memo.push_back("Memo line " + std::to_string(k) + " of the consulting work done");
    addMemo("M25", memo);
    company.setInt32(Company::EditorFontSize, 14);
    company.setFont(Company::FormFonts1, {"Arial", 14, 0, 0});
    company.setFont(Company::FormFonts4, {"Arial", 14, 0, 0});
    company.setFont(Company::FormFonts6, {"Arial", 14, 0, 0});
    company.setText(Company::SalesMsg1, "Thank you for your business");
    company.setText(Company::MemoHeading, "Services");
    RecordingCanvas c = print("M25", DocumentKind::Invoice);
    EXPECT_EQ(c.pagesBegun(), 2);
    const CanvasOp* line = c.findText("Memo line 1 of the consulting work done");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->font.size, 16);
    EXPECT_EQ(c.findText("Memo line 25 of the consulting work done")->page, 2);
    EXPECT_NE(c.findText("Continued on page number 2 ..."), nullptr);
    const CanvasOp* due = c.findText("Balance Due:");
    ASSERT_NE(due, nullptr);
    EXPECT_EQ(due->page, 2);
    EXPECT_LT(due->y2, c.findText("Total Account Balance: 1,450.75")->y);
    ExpectNoOverlapOnPage(c);
}

TEST_F(LayoutTest, TotalsThatDoNotFitGoToANewPage) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "F1", .total = "34.00"});
    // Rows that end just above the page-break line leave no room for totals and footer.
    for (int r = 1; r <= 34; ++r)
        addLine("F1", r, "", "1", "Row " + std::to_string(r), "1.00", "N", "1.00");
    company.setFont(Company::FormFonts5, {"Arial", 14, 0, 0});
    RecordingCanvas c = print("F1", DocumentKind::Invoice);
    EXPECT_EQ(c.pagesBegun(), 2);
    EXPECT_EQ(c.findText("Row 34")->page, 1);
    EXPECT_EQ(c.findText("Total:")->page, 2);
    ExpectNoOverlapOnPage(c);
}

// The payment code of an invoice to pay in euro: at least 2 cm, under the totals on their
// page, above the footer, and clear of every text but its caption below it.
TEST_F(LayoutTest, ThePaymentCodeStandsClearOfEverythingTheLayoutPrints) {
    euroAccount();
    addCustomer("100", "Harborview Dental Group", {"1 Main St", "Town"});
    addHeader({.no = "F1", .total = "34.00"});
    for (int r = 1; r <= 30; ++r)
        addLine("F1", r, "", "1", "Row " + std::to_string(r), "1.00", "N", "1.00");
    addHeader({.no = "M25", .total = "2500.00", .style = 'M'});
    std::vector<std::string> memo;
    for (int k = 1; k <= 25; ++k)
        memo.push_back("Memo line " + std::to_string(k) + " of the consulting work done");
    addMemo("M25", memo);
    company.setFont(Company::FormFonts5, {"Arial", 14, 0, 0});
    company.setText(Company::SalesMsg1, "Thank you for your business");
    company.setByte(Company::PrintSalesMsg, 1);
    for (const char* no : {"F1", "M25"}) {
        RecordingCanvas c = print(no, DocumentKind::Invoice);
        const CanvasOp* code = nullptr;
        for (const CanvasOp& r : c.ops(CanvasOp::Kind::Rectangle))
            if (!code && r.brush.style == BrushStyle::Solid && r.brush.color == kWhite) code = &r;
        ASSERT_NE(code, nullptr) << no;
        EXPECT_GE(code->x2 + 1 - code->x, MinimumQrSide(c)) << no;
        EXPECT_EQ(code->x2 - code->x, code->y2 - code->y) << no;
        const CanvasOp* due = c.findText("Balance Due:");
        const CanvasOp* footer = c.findTextContaining("Total Account Balance:");
        const CanvasOp* caption = c.findText(std::string(kEpcCaption));
        ASSERT_TRUE(due && footer && caption) << no;
        EXPECT_EQ(code->page, due->page) << no;
        EXPECT_GT(code->y, due->y2) << no;
        EXPECT_EQ(footer->page, code->page);
        EXPECT_LT(caption->y2, footer->y) << no;
        EXPECT_GE(caption->y, code->y2) << no;
        for (const CanvasOp& t : c.texts()) {
            if (t.page != code->page || t.text.find_first_not_of(' ') == std::string::npos)
                continue;
            const bool apart =
                t.x2 <= code->x || code->x2 < t.x || t.y2 <= code->y || code->y2 < t.y;
            EXPECT_TRUE(apart) << no << ": \"" << t.text << "\" under the code";
        }
        EXPECT_NE(c.findText("Reference: " + data::PrintedReference(*data::InvoiceReference(no))),
                  nullptr)
            << no;
        ExpectNoOverlapOnPage(c);
    }
}

TEST_F(LayoutTest, ShadingWithoutSpacingStillEnds) {
    sampleInvoice();
    company.setByte(Company::UseShading, 1);
    company.setText(Company::FormLineSpacing, "0");
    company.setText(Company::LineStyle, "L");
    ASSERT_TRUE(
        data::WriteColourFile(data::JoinPath(dir.path(), data::kShadeColourFile), 0x00C0C0C0));
    RecordingCanvas c = print("1043", DocumentKind::Invoice);
    std::vector<CanvasOp> hatch;
    for (const CanvasOp& l : c.ops(CanvasOp::Kind::Line))
        if (l.pen.width == 1 && l.pen.color == Color{0xC0, 0xC0, 0xC0}) hatch.push_back(l);
    ASSERT_GE(hatch.size(), 2u);
    EXPECT_EQ(hatch[1].y - hatch[0].y, 8);  // the usual spacing
    EXPECT_EQ(hatch[0].pen.style, PenStyle::Solid);
    // The info box from y0 - m to y0 + 3 lh + m and the footer box are shaded.
    EXPECT_EQ(hatch[0].y, 792 - 20 + 8);
}

TEST_F(LayoutTest, ShipCaptionOnlyWithAShipAddress) {
    addCustomer("100", "Harborview Dental Group", {"1 Main St"}, {"X"});
    addHeader({.no = "S1", .total = "1.00"});
    EXPECT_EQ(print("S1", DocumentKind::Invoice).findText("Deliver To:"), nullptr);
}

TEST_F(LayoutTest, NoteReplacesTheSalesMessage) {
    sampleInvoice();
    company.setText(Company::SalesMsg1, "Thank you!");
    EXPECT_NE(print("1043", DocumentKind::Invoice).findText("Thank you!"), nullptr);
    company.setByte(Company::PrintSalesMsg, 0);
    EXPECT_EQ(print("1043", DocumentKind::Invoice).findText("Thank you!"), nullptr);
}

TEST_F(LayoutTest, ANoteWiderThanHalfThePageIsBrokenInsideIt) {
    sampleInvoice();
    InvoiceDocument d = assemble("1043");
    d.noteOnInvoice = true;
    d.note = std::string(70, 'x') + "\nThank you";
    RecordingCanvas c;
    ASSERT_TRUE(PrintDocument(c, d, DocumentKind::Invoice, form()));
    const CanvasOp* rest = c.findText(std::string(70 - 53, 'x'));
    ASSERT_NE(rest, nullptr) << "53 characters fill half the page";
    EXPECT_NE(c.findText(std::string(53, 'x')), nullptr);
    const CanvasOp* thanks = c.findText("Thank you");
    ASSERT_NE(thanks, nullptr);
    EXPECT_EQ(thanks->y - rest->y, rest->y - c.findText(std::string(53, 'x'))->y);
}

TEST_F(LayoutTest, LogoAtTheLeftMarginPushesTheAddressesDown) {
    sampleInvoice();
    const std::string logo = dir.file("logo.bmp");
    company.setByte(Company::PrintLogo, 1);
    company.setText(Company::LogoFile, "logo.bmp");
    company.setText(Company::FormLeftMargin, "30");
    RecordingCanvas c;
    c.addImage(logo, 300, 500);
    InvoiceDocument d = assemble("1043");
    ASSERT_TRUE(PrintDocument(c, d, DocumentKind::Invoice, form()));
    auto images = c.ops(CanvasOp::Kind::Image);
    ASSERT_EQ(images.size(), 1u);
    // 254 units per inch against 96 on screen: 2 device units per pixel, at half size.
    EXPECT_EQ(images[0].x, 30);
    EXPECT_EQ(images[0].x2, 30 + 300);
    EXPECT_EQ(images[0].y2, 80 + 500);
    EXPECT_EQ(X(c, "Northside Supply"), 30 + 325);
    EXPECT_GE(Y(c, "Harborview Dental Group"), images[0].y2);
    ExpectNoOverlapOnPage(c);
    // A logo that cannot be read is left out.
    company.setText(Company::LogoFile, "missing.bmp");
    RecordingCanvas none = print("1043", DocumentKind::Invoice);
    EXPECT_TRUE(none.ops(CanvasOp::Kind::Image).empty());
    EXPECT_EQ(X(none, "Northside Supply"), 30);
}

// ------------------------------------------------------------------ receipt

// ------------------------------------------------------------------------ payment block

class PaymentLayoutTest : public LayoutTest {
  protected:
    // The seller's VAT number, tax number, IBAN and BIC, as Company Options keeps them.
    void keepSellerDetails() {
        data::CompanyEInvoice e;
        e.vatId = "DE123456788";
        e.taxRegistration = "27/123/45678";
        e.country = "DE";
        e.iban = "DE41500105170123456789";
        e.bic = "INGDDEFFXXX";
        keepEInvoiceSettings(e);
    }
};

TEST_F(PaymentLayoutTest, TheSellersIdentityAndBankStandUnderTheTotalsOfInvoicesOnly) {
    sampleInvoice();
    {
        // A company without them prints none.
        RecordingCanvas c = print("1043", DocumentKind::Invoice);
        EXPECT_EQ(c.findTextContaining("VAT ID"), nullptr);
        EXPECT_EQ(c.findTextContaining("IBAN"), nullptr);
    }
    keepSellerDetails();
    RecordingCanvas c = print("1043", DocumentKind::Invoice);
    const int due = Y(c, "Balance Due:");
    const int vat = Y(c, "VAT ID: DE123456788");
    EXPECT_GT(vat, due + 40);                              // a row and a half below the balance due
    EXPECT_EQ(X(c, "VAT ID: DE123456788"), X(c, "Code"));  // at the table's left edge
    EXPECT_EQ(Y(c, "Tax No.: 27/123/45678"), vat + 40);
    EXPECT_EQ(Y(c, "IBAN: DE41 5001 0517 0123 4567 89"), vat + 80);
    EXPECT_EQ(Y(c, "BIC: INGDDEFFXXX"), vat + 120);
    EXPECT_LT(Y(c, "BIC: INGDDEFFXXX") + 40, Y(c, "Total Account Balance: 1,450.75"));
    ExpectNoOverlapOnPage(c);

    // A file copy asks for payment as the invoice does; a quote names the seller but asks
    // for none; a packing slip is no invoice.
    EXPECT_NE(print("1043", DocumentKind::FileCopy).findText("BIC: INGDDEFFXXX"), nullptr);
    RecordingCanvas quote = print("1043", DocumentKind::Quote);
    EXPECT_NE(quote.findText("VAT ID: DE123456788"), nullptr);
    EXPECT_EQ(quote.findTextContaining("IBAN"), nullptr);
    RecordingCanvas slip = print("1043", DocumentKind::PackingSlip);
    EXPECT_EQ(slip.findTextContaining("VAT ID"), nullptr);

    // The receipt format lists the same lines at its end.
    RecordingCanvas receipt(600, 2400, 254);
    ASSERT_TRUE(PrintReceipt(receipt, assemble("1043"), DocumentKind::Invoice, form(), kClock));
    EXPECT_GT(Y(receipt, "VAT ID: DE123456788"), Y(receipt, "Balance Due:"));
    EXPECT_NE(receipt.findText("IBAN: DE41 5001 0517 0123 4567 89"), nullptr);
}

TEST_F(PaymentLayoutTest, TotalsAndTheBlockMoveToANewPageTogetherRatherThanOverTheFooter) {
    keepSellerDetails();
    addCustomer("100", "Harborview Dental Group");
    // From rows that leave room for both to rows that leave room for neither.
    for (int rows = 22; rows <= 34; ++rows) {
        SCOPED_TRACE(rows);
        const std::string no = "P" + std::to_string(rows);
        addHeader({.no = no, .total = std::to_string(rows) + ".00"});
        for (int r = 1; r <= rows; ++r)
            addLine(no, r, "", "1", "Row " + std::to_string(r), "1.00", "N", "1.00");
        RecordingCanvas c = print(no, DocumentKind::Invoice);
        const CanvasOp* due = c.findText("Balance Due:");
        const CanvasOp* bic = c.findText("BIC: INGDDEFFXXX");
        ASSERT_NE(due, nullptr);
        ASSERT_NE(bic, nullptr);
        EXPECT_EQ(bic->page, due->page);
        EXPECT_EQ(bic->page, c.pagesBegun());
        const CanvasOp* footer = nullptr;
        for (const CanvasOp& t : c.texts())
            if (t.page == bic->page && t.text.rfind("Total Account Balance", 0) == 0) footer = &t;
        ASSERT_NE(footer, nullptr);
        EXPECT_LE(bic->y2, footer->y);
        ExpectNoOverlapOnPage(c);
    }
}

// A short memo invoice keeps its totals low on the page; with the payment block under
// them the sales message still has its place.
TEST_F(PaymentLayoutTest, AMemoInvoiceKeepsItsSalesMessageUnderTheBlock) {
    keepSellerDetails();
    addCustomer("100", "Harborview Dental Group", {"1 Main St", "Town"});
    company.setText(Company::SalesMsg1, "Thank you for your business");
    for (const int lines : {3, 10}) {
        SCOPED_TRACE(lines);
        const std::string no = "M" + std::to_string(lines);
        addHeader({.no = no, .total = "2500.00", .tax = "0.00", .style = 'M'});
        std::vector<std::string> memo;
        for (int k = 1; k <= lines; ++k)
            memo.push_back("Memo line " + std::to_string(k) + " of the consulting work done");
        addMemo(no, memo);
        RecordingCanvas c = print(no, DocumentKind::Invoice);
        const CanvasOp* bic = c.findText("BIC: INGDDEFFXXX");
        const CanvasOp* message = c.findText("Thank you for your business");
        ASSERT_NE(bic, nullptr);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->page, bic->page);
        EXPECT_LT(bic->y2, message->y);
        EXPECT_GT(
            bic->y,
            c.findText("Memo line " + std::to_string(lines) + " of the consulting work done")->y);
        ExpectNoOverlapOnPage(c);
    }
}

TEST(PaymentBlock, LinesInOrderAndARoomForAPaymentCodeAtTheRight) {
    PaymentDetails d;
    EXPECT_TRUE(PaymentLines(d).empty());
    d.iban = "de41 5001 0517 0123 4567 89";
    d.bic = "INGDDEFFXXX";
    d.reference = "RF18 5390 0754 7034";
    d.vatId = "DE123456788";
    EXPECT_EQ(PaymentLines(d),
              (std::vector<std::string>{"VAT ID: DE123456788", "IBAN: DE41 5001 0517 0123 4567 89",
                                        "BIC: INGDDEFFXXX", "Reference: RF18 5390 0754 7034"}));
    d.bank = false;
    EXPECT_EQ(PaymentLines(d), std::vector<std::string>{"VAT ID: DE123456788"});
    EXPECT_EQ(GroupedIban("GB29NWBK60161331926819"), "GB29 NWBK 6016 1331 9268 19");
    EXPECT_EQ(GroupedIban(""), "");

    RecordingCanvas c;
    ASSERT_TRUE(c.beginDocument("block"));
    c.setFont(Font{"Arial", 10});
    d.bank = true;
    PaymentBlock block(d);
    EXPECT_EQ(block.height(c), 4 * 40);
    // A payment code taller than the lines makes the block as tall as the code, drawn
    // top-aligned at the right edge.
    int codeLeft = -1, codeTop = -1;
    block.setCodeArea({300, [&](Canvas& canvas, int left, int top, int side) {
                           codeLeft = left;
                           codeTop = top;
                           canvas.rectangle(left, top, left + side, top + side);
                       }});
    EXPECT_EQ(block.height(c), 300);
    EXPECT_EQ(block.draw(c, 100, 500, 1900), 800);
    EXPECT_EQ(codeLeft, 1600);
    EXPECT_EQ(codeTop, 500);
    EXPECT_LT(c.findText("IBAN: DE41 5001 0517 0123 4567 89")->x2, codeLeft);
    EXPECT_GT(block.width(c), 300);
    // Nothing to show and no code: no room taken.
    PaymentBlock none(PaymentDetails{});
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none.height(c), 0);
    EXPECT_EQ(none.draw(c, 100, 500, 1900), 500);
    ASSERT_TRUE(c.endDocument());
}

// A sheet as narrow as A4 is against the table: the description gives way so that the
// table keeps clear of the page box on both sides.
TEST_F(LayoutTest, OnANarrowerSheetTheTableKeepsClearOfTheBox) {
    sampleInvoice();
    for (const int width : {1700, 1690, 1720}) {
        SCOPED_TRACE(width);
        RecordingCanvas c(width, 2794, 254);
        ASSERT_TRUE(PrintDocument(c, assemble("1043"), DocumentKind::Invoice, form()));
        const int clear = 2 + 1 + 254 / 16;
        EXPECT_GE(X(c, "Code"), clear);
        EXPECT_LE(c.findText("Extension")->x2, width - clear);
        EXPECT_LE(c.findText("900.00")->x2, width - clear);
        // The column rules stand inside the text's margin too.
        for (const CanvasOp& line : c.ops(CanvasOp::Kind::Line)) {
            if (line.x == line.x2) {
                EXPECT_LE(line.x, width - clear) << line.y;
            }
        }
        // The description still starts after the quantity and ends before the price.
        EXPECT_LT(c.findText("Toner cartridge, black")->x2, c.findText("450.00")->x);
        ExpectNoOverlapOnPage(c);
    }
}

TEST_F(LayoutTest, ReceiptInOneNarrowColumn) {
    sampleInvoice();
    RecordingCanvas c(600, 2400, 254);
    InvoiceDocument d = assemble("1043");
    ASSERT_TRUE(PrintReceipt(c, d, DocumentKind::Invoice, form(), kClock));
    EXPECT_TRUE(c.faults().empty());
    EXPECT_EQ(c.ops(CanvasOp::Kind::Begin)[0].text, "Invoice - 1043");
    const CanvasOp* caption = c.findText("INVOICE");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->x, (600 - 280) / 2);
    // Blank address lines are skipped: line 3 of the bill-to is empty.
    EXPECT_EQ(Y(c, "San Leandro, CA 94577"), Y(c, "Suite 200") + 40);
    EXPECT_EQ(X(c, "Suite 200"), 1);
    EXPECT_NE(c.findText("Time: 2:05:09 PM"), nullptr);
    EXPECT_EQ(Y(c, "Toner cartridge, black"), Y(c, "Code: TONER-12") + 40);
    EXPECT_EQ(Y(c, "2 @ 450.00"), Y(c, "Code: TONER-12") + 80);
    // The extension and mark end one "X" width from the right edge.
    EXPECT_EQ(c.findText("900.00 Y")->x2, 600 - 20);
    EXPECT_EQ(Y(c, "Code: PAPER"), Y(c, "Code: TONER-12") + 120);
    const CanvasOp* due = c.findText("$1,082.50");
    ASSERT_NE(due, nullptr);
    EXPECT_EQ(due->x2, 600);
    EXPECT_EQ(X(c, "Balance Due:"), 1);
    ExpectNoOverlapOnPage(c);
}

TEST_F(LayoutTest, ReceiptBreaksPagesAndPrintsSlips) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "R30", .total = "30.00"});
    for (int r = 1; r <= 30; ++r)
        addLine("R30", r, "", "1", "Row " + std::to_string(r), "1.00", "N", "1.00");
    RecordingCanvas c(600, 2400, 254);
    InvoiceDocument d = assemble("R30");
    ASSERT_TRUE(PrintReceipt(c, d, DocumentKind::PackingSlip, form(), kClock));
    EXPECT_GE(c.pagesBegun(), 2);
    for (const CanvasOp& t : c.texts())
        EXPECT_LE(t.y, 2400 - 7 * 40 + 3 * 40) << t.text;
    EXPECT_NE(c.findText("This is a packing slip."), nullptr);
    EXPECT_EQ(c.findText("Total:"), nullptr);
    EXPECT_NE(c.findText("1 @ xxxxxxxxxx"), nullptr);
    ExpectNoOverlapOnPage(c);
}

// ------------------------------------------------------------------ print request

TEST_F(LayoutTest, PrintRequestMarksInvoicesButNotPackingSlips) {
    sampleInvoice();
    RecordingCanvas c;
    PrintOutcome slip = PrintInvoice(files, {.number = "1043", .packingSlipOnly = true}, form(), c,
                                     prompter, kClock);
    EXPECT_TRUE(slip.printed);
    EXPECT_EQ(slip.status, "Packing Slip for invoice 1043 sent to printer.");
    EXPECT_FALSE(assemble("1043").printed);

    PrintOutcome inv = PrintInvoice(files, {.number = "1043"}, form(), c, prompter, kClock);
    EXPECT_TRUE(inv.printed);
    EXPECT_EQ(inv.status, "Invoice 1043 sent to printer.");
    EXPECT_TRUE(assemble("1043").printed);

    PrintOutcome missing = PrintInvoice(files, {.number = "1"}, form(), c, prompter, kClock);
    EXPECT_FALSE(missing.found);
    EXPECT_FALSE(missing.printed);
}

TEST_F(LayoutTest, PrintRequestFollowedBySlipAndCopiesAndLabel) {
    sampleInvoice();
    company.setByte(Company::PrintPackSlip, 1);
    company.setByte(Company::PrintFileCopy, 1);
    company.setText(Company::NumCopies, "2");
    company.setText(Company::ReceiptPrinter, "Y");
    company.setText(Company::LabelQueueOnBatch, "Y");
    RecordingCanvas c;
    LabelQueue labels;
    PrintOutcome out = PrintInvoice(files, {.number = "1043", .batch = true}, form(), c, prompter,
                                    kClock, &labels);
    ASSERT_TRUE(out.printed);
    std::vector<std::string> jobs;
    for (const CanvasOp& b : c.ops(CanvasOp::Kind::Begin))
        jobs.push_back(b.text);
    EXPECT_EQ(jobs, (std::vector<std::string>{"Invoice - 1043", "Packing Slip - 1043",
                                              "File Copy - 1043", "File Copy - 1043"}));
    // The receipt format serves the invoice; slip and copies take the page layout.
    EXPECT_NE(c.findTextContaining("Time: "), nullptr);
    EXPECT_NE(c.findText("PACKING SLIP"), nullptr);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels.entries()[0],
              (LabelEntry{"100", "Harborview Dental Group", "WEST", "Retail"}));

    // A single packing slip brings nothing after it; a request outside a batch queues no
    // label.
    c.clear();
    PrintInvoice(files, {.number = "1043", .packingSlipOnly = true}, form(), c, prompter, kClock,
                 &labels);
    EXPECT_EQ(c.ops(CanvasOp::Kind::Begin).size(), 1u);
    c.clear();
    PrintInvoice(files, {.number = "1043"}, form(), c, prompter, kClock, &labels);
    EXPECT_EQ(labels.size(), 1u);
}

TEST_F(LayoutTest, RefusedPrinterLeavesTheInvoiceUnprinted) {
    sampleInvoice();
    RecordingCanvas c;
    c.failBegin("The printer could not be started.");
    PrintOutcome out = PrintInvoice(files, {.number = "1043"}, form(), c, prompter, kClock);
    EXPECT_FALSE(out.printed);
    EXPECT_EQ(out.error, "The printer could not be started.");
    EXPECT_FALSE(assemble("1043").printed);
}

}  // namespace
}  // namespace invarro::output
