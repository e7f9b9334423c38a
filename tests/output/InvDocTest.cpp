// The assembled invoice document as data: header, customer, lines or memo, totals and
// the wordings of each kind; the printed mark; file names from record text.

#include <gtest/gtest.h>

#include "DocumentFixture.h"

namespace invarro::output {
namespace {

using data::Invoice;

TEST_F(DocumentTest, LineItemInvoiceWithCustomerTotalsAndShownNumbers) {
    sampleInvoice();
    InvoiceDocument d = assemble(" 1043 ");
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.number, "1043");
    EXPECT_EQ(d.date, "03/03/2024");
    EXPECT_EQ(d.account, "100");
    EXPECT_EQ(d.terms, "Net 30 Days");
    EXPECT_EQ(d.reference, "PO 7781");
    EXPECT_EQ(d.billTo[0], "Harborview Dental Group");
    EXPECT_EQ(d.billTo[4], "San Leandro, CA 94577");
    EXPECT_EQ(d.shipTo[2], "Dock 2");
    EXPECT_EQ(d.transType, 'I');
    EXPECT_EQ(KindOfDocument(d), DocumentKind::Invoice);
    EXPECT_EQ(InvoiceDocument::Padded(d.net), "    1,000.00");
    EXPECT_EQ(InvoiceDocument::Padded(d.grandTotal), "    1,082.50");
    EXPECT_EQ(InvoiceDocument::Padded(d.balanceDue), "    1,082.50");
    EXPECT_EQ(d.taxRate, "8.25");
    EXPECT_EQ(d.accountBalance.shownText(), "1,450.75");
    EXPECT_EQ(d.aging[1].shownText(), "450.75");
    ASSERT_EQ(d.lines.size(), 3u);
    EXPECT_EQ(d.lines[0].code, "TONER-12");
    EXPECT_EQ(d.lines[0].quantity, "2");
    EXPECT_EQ(d.lines[0].price, "450.00");
    EXPECT_EQ(d.lines[0].extension, "900.00");
    // Quantities and prices keep the decimals they were stored with.
    EXPECT_EQ(d.lines[1].quantity, "10.5");
    EXPECT_EQ(d.lines[1].price, "9.5238");
    EXPECT_EQ(d.lines[2].description, "Delivered Tuesday");
    EXPECT_TRUE(d.lines[2].extension.empty());
}

// The stored description of a sub-total or discount line holds 32 characters and cuts the
// last digits of a large amount; the document writes these texts again from the amounts
// of the lines above them, so every amount reads whole.
TEST_F(DocumentTest, SubTotalAndDiscountTextsAreWrittenWholeFromTheAmounts) {
    company.setText(data::Company::CurrencySymbol, "$");
    Header h;
    h.no = "1050";
    h.total = "1221.40";
    h.tax = "34.65";
    h.taxRate = "5.5";
    addHeader(h);
    addLine("1050", 1, "PRINT", "1", "Brochures", "700.00", "Y", "700.00");
    addLine("1050", 2, "CONSULT", "1", "Consulting", "617.50", "N", "617.50");
    addLine("1050", 3, "SUB-TOTAL", "", "*** Sub-Total SUB-TOTAL $1,317.5", "", "", "");
    addLine("1050", 4, "DISCOUNT10", "1", "10% Discount on taxed $700.00", "-70.00", "Y", "-70.00");
    addLine("1050", 5, "DISCOUNT10", "1", "10% Discount on untaxed $617.50", "-61.75", "N",
            "-61.75");
    addLine("1050", 6, "", "", "Thank you", "", " ", "0.00");
    addLine("1050", 7, "ONE", "1", "One more", "3000.00", "N", "3000.00");
    addLine("1050", 8, "DISCOUNT5", "1", "5% Discount on $3,000.00", "-150.00", "N", "-150.00");
    addLine("1050", 9, "SUB-TOTAL", "", "*** Sub-Total SUB-TOTAL $2,850.0", "", "", "");
    const InvoiceDocument doc = assemble("1050");
    ASSERT_EQ(doc.lines.size(), 9u);
    EXPECT_EQ(doc.lines[2].description, "*** Sub-Total SUB-TOTAL $1,317.50");
    EXPECT_EQ(doc.lines[3].description, "10% Discount on taxed $700.00");
    EXPECT_EQ(doc.lines[4].description, "10% Discount on untaxed $617.50");
    EXPECT_EQ(doc.lines[7].description, "5% Discount on $3,000.00");
    // The sub-total counts the discount pair and the lines after the previous sub-total.
    EXPECT_EQ(doc.lines[8].description, "*** Sub-Total SUB-TOTAL $2,718.25");
    // Everything else stays as stored.
    EXPECT_EQ(doc.lines[5].description, "Thank you");
    EXPECT_EQ(doc.lines[3].extension, "-70.00");
}

// A discount line of an invoice saved before discounts were shared, or one whose
// percentage cannot be read, keeps reading as it did.
TEST_F(DocumentTest, OlderDiscountLinesReadAsTheyDid) {
    std::vector<DocumentLine> lines(5);
    lines[0] = {"A", "1", "Taxed", "100.00", "Y", "100.00", {}};
    lines[1] = {"B", "1", "Untaxed", "50.00", "N", "50.00", {}};
    lines[2] = {"DISCOUNT10", "1", "10% Discount on $150.00", "-15.00", "Y", "-15.00", {}};
    lines[3] = {"DISCOUNTX", "1", "Loyalty", "0.00", "Y", "0.00", {}};
    // An untaxed half with no taxed one above it names the whole base.
    lines[4] = {"DISCOUNT5", "1", "5% Discount on untaxed $0.00", "0.00", "N", "0.00", {}};
    WriteSpecialLineTexts(lines, "EUR ");
    EXPECT_EQ(lines[2].description, "10% Discount on EUR 150.00");
    EXPECT_EQ(lines[3].description, "Loyalty");
    EXPECT_EQ(lines[4].description, "5% Discount on EUR 0.00");
}

TEST_F(DocumentTest, UnknownNumberIsNotFound) {
    sampleInvoice();
    EXPECT_FALSE(assemble("104").found);
    EXPECT_FALSE(assemble("").found);
}

TEST_F(DocumentTest, NumbersThatPadAlikeKeepTheirOwnLinesAndMemo) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "0123", .total = "10.00"});
    addHeader({.no = "123", .total = "20.00"});
    addLine("0123", 1, "A", "1", "Line of 0123", "10.00", "N", "10.00");
    addLine("123", 1, "B", "1", "Line of 123", "20.00", "N", "20.00");
    addLine("1234", 1, "C", "1", "Line of 1234", "5.00", "N", "5.00");
    InvoiceDocument a = assemble("0123");
    InvoiceDocument b = assemble("123");
    ASSERT_EQ(a.lines.size(), 1u);
    EXPECT_EQ(a.lines[0].description, "Line of 0123");
    EXPECT_EQ(a.grandTotal.shownText(), "10.00");
    ASSERT_EQ(b.lines.size(), 1u);
    EXPECT_EQ(b.lines[0].description, "Line of 123");
    EXPECT_EQ(b.grandTotal.shownText(), "20.00");

    addHeader({.no = "12", .total = "5.00", .style = 'M'});
    addMemo("123", {"Memo of 123"});
    prompter.expect(std::string(kMemoMissing));
    InvoiceDocument m = assemble("12");
    EXPECT_TRUE(m.memoMissing);
    EXPECT_TRUE(m.memo.empty());
}

TEST_F(DocumentTest, LinesComeInRowOrderWhateverTheFileOrder) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "77", .total = "3.00"});
    addLine("77", 3, "", "1", "third", "1.00", "N", "1.00");
    addLine("77", 1, "", "1", "first", "1.00", "N", "1.00");
    addLine("77", 2, "", "1", "second", "1.00", "N", "1.00");
    InvoiceDocument d = assemble("77");
    ASSERT_EQ(d.lines.size(), 3u);
    EXPECT_EQ(d.lines[0].description, "first");
    EXPECT_EQ(d.lines[2].description, "third");
}

TEST_F(DocumentTest, PartialPaymentsAddUpButTheHeaderIsTheInvoicesOwn) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "500", .type = 'Z', .total = "100.00", .tax = "8.00"});
    // Payment records carry the number, the payment's date and no terms.
    addHeader({.no = "500", .type = 'X', .paid = "30.00", .date = "04/10/2024", .terms = ""});
    addHeader({.no = "500",
               .type = 'X',
               .paid = "70.00",
               .date = "05/01/2024",
               .terms = "",
               .paidDate = "2024/05/01"});
    InvoiceDocument d = assemble("500");
    EXPECT_EQ(d.transType, 'Z');
    EXPECT_EQ(d.date, "03/03/2024");
    EXPECT_EQ(d.terms, "Net 30 Days");
    EXPECT_EQ(d.paid.shownText(), "100.00");
    EXPECT_EQ(d.balanceDue.shownText(), "0.00");
    EXPECT_EQ(d.net.shownText(), "92.00");
    // The paid date is the invoice's: empty on the Z record.
    EXPECT_TRUE(d.paidDate.empty());
}

TEST_F(DocumentTest, PaidDateInTheCompanyDateOrder) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "9", .total = "5.00", .paid = "5.00", .paidDate = "2024/03/14"});
    EXPECT_EQ(assemble("9").paidDate, "03/14/2024");
    company.setText(data::Company::DateFormatCode, "D");
    EXPECT_EQ(assemble("9").paidDate, "14/03/2024");
}

TEST_F(DocumentTest, KindsCaptionsAndLabels) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "Q1", .type = 'Q', .total = "10.00"});
    addHeader({.no = "CR1", .total = "-25.00"});
    addHeader({.no = "R1", .type = 'R', .total = "10.00"});
    addHeader({.no = "G1", .type = 'G', .total = "10.00"});
    const FormTexts t = ReadFormTexts(company);

    InvoiceDocument q = assemble("Q1");
    EXPECT_EQ(KindOfDocument(q), DocumentKind::Quote);
    EXPECT_EQ(DocumentCaption(q, DocumentKind::Quote, t), "Q U O T E");
    EXPECT_EQ(QuoteTotalLabel(t), "Quote Total:");
    EXPECT_EQ(PrintJobTitle(q, DocumentKind::Quote), "Quote - Q1");
    EXPECT_EQ(InvoicePdfName(q, DocumentKind::Quote), "Quote-Q1.pdf");

    InvoiceDocument cr = assemble("CR1");
    EXPECT_EQ(DocumentCaption(cr, DocumentKind::Invoice, t), "C  R  E  D  I  T");
    // Only the invoice kind turns into a credit.
    EXPECT_EQ(DocumentCaption(cr, DocumentKind::FileCopy, t), "FILE COPY");
    EXPECT_EQ(DocumentCaption(cr, DocumentKind::PackingSlip, t), "PACKING SLIP");

    InvoiceDocument r = assemble("R1");
    EXPECT_EQ(DocumentCaption(r, DocumentKind::Invoice, t), "REPEAT MASTER SETUP");
    InvoiceDocument g = assemble("G1");
    EXPECT_EQ(g.transType, 'G');
    EXPECT_EQ(DocumentCaption(g, DocumentKind::Invoice, t), "INVOICE");
    EXPECT_EQ(PrintJobTitle(g, DocumentKind::PackingSlip), "Packing Slip - G1");
    EXPECT_EQ(PrintJobTitle(g, DocumentKind::FileCopy), "File Copy - G1");
}

TEST_F(DocumentTest, TaxRowAndItsLabel) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "1", .total = "10.00"});
    addHeader({.no = "2", .total = "10.80", .tax = "0.80", .taxRate = "8.0"});
    FormTexts t = ReadFormTexts(company);
    InvoiceDocument one = assemble("1");
    // Without a rate of its own the document takes the company's.
    EXPECT_EQ(one.taxRate, "0.000");
    InvoiceDocument two = assemble("2");
    EXPECT_EQ(TaxLabel(two, t), "8.0% Sales Tax");
    EXPECT_TRUE(ShowsTaxRow(one, t));
    t.taxName.clear();
    EXPECT_FALSE(ShowsTaxRow(one, t));
    EXPECT_TRUE(ShowsTaxRow(two, t));
}

TEST_F(DocumentTest, BlankCaptionsOfAnOlderCompanyGetTheUsualWords) {
    for (auto f :
         {data::Company::InvoiceCaption, data::Company::PackSlipCaption,
          data::Company::FileCopyCaption, data::Company::CodeHeading, data::Company::QtyHeading,
          data::Company::DescHeading, data::Company::PriceHeading, data::Company::ExtHeading})
        company.setText(f, "");
    company.setText(data::Company::QuoteCaption, " ");
    FormTexts t = ReadFormTexts(company);
    EXPECT_EQ(t.invoiceCaption, "INVOICE");
    EXPECT_EQ(t.packSlipCaption, "PACKING SLIP");
    EXPECT_EQ(t.fileCopyCaption, "FILE COPY");
    EXPECT_EQ(t.quoteCaption, "Quote");
    EXPECT_EQ(t.codeHeading, "Product Code");
    EXPECT_EQ(t.qtyHeading, "Quantity");
    EXPECT_EQ(t.descHeading, "Description");
    EXPECT_EQ(t.priceHeading, "Unit Price");
    EXPECT_EQ(t.extHeading, "Amount");
}

TEST_F(DocumentTest, MemoInvoiceKeepsItsLinesInPlace) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "M7", .total = "300.00", .style = 'M'});
    addMemo("M7", {"Consulting, March", "", "Second paragraph"});
    InvoiceDocument d = assemble("m7");
    ASSERT_TRUE(d.isMemo());
    ASSERT_EQ(d.memo.size(), 25u);
    EXPECT_EQ(d.memo[0], "Consulting, March");
    EXPECT_EQ(d.memo[1], "");
    EXPECT_EQ(d.memo[2], "Second paragraph");
    EXPECT_TRUE(d.lines.empty());
}

TEST_F(DocumentTest, DepositRecordAssemblesWithoutLines) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "DP15001", .type = 'D', .total = "0.00", .paid = "250.00", .style = 'D'});
    InvoiceDocument d = assemble("DP15001");
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.transType, 'D');
    EXPECT_EQ(d.style, 'D');
    EXPECT_EQ(d.balanceDue.shownText(), "-250.00");
    EXPECT_TRUE(d.lines.empty());
}

TEST_F(DocumentTest, MarkInvoicePrintedMarksTheInvoiceNotItsPayments) {
    addCustomer("100", "Harborview Dental Group");
    const int32_t z = addHeader({.no = "600", .type = 'Z', .total = "100.00"});
    const int32_t x = addHeader({.no = "600", .type = 'X', .paid = "30.00"});
    const int32_t other = addHeader({.no = "6000", .total = "5.00"});
    InvoiceDocument d = assemble("600");
    EXPECT_TRUE(MarkInvoicePrinted(files.invoices, d, prompter));
    EXPECT_TRUE(header(z).yes(Invoice::PrintedFlag));
    EXPECT_FALSE(header(x).yes(Invoice::PrintedFlag));
    EXPECT_FALSE(header(other).yes(Invoice::PrintedFlag));
    EXPECT_TRUE(assemble("600").printed);

    const int32_t e = addHeader({.no = "601", .total = "5.00"});
    EXPECT_TRUE(
        MarkInvoicePrinted(files.invoices, assemble("601"), prompter, std::string("03/04/2024")));
    EXPECT_EQ(header(e).text(Invoice::EMailedOn), "03/04/2024");
    // An invoice printed already is left as it is: the stamp stays.
    EXPECT_TRUE(
        MarkInvoicePrinted(files.invoices, assemble("601"), prompter, std::string("09/09/2024")));
    EXPECT_EQ(header(e).text(Invoice::EMailedOn), "03/04/2024");

    const int32_t q = addHeader({.no = "602", .type = 'Q', .total = "5.00"});
    EXPECT_TRUE(MarkInvoicePrinted(files.invoices, assemble("602"), prompter));
    EXPECT_FALSE(header(q).yes(Invoice::PrintedFlag));
}

TEST(DocumentFileNames, RecordTextCannotLeaveTheFolder) {
    InvoiceDocument d;
    d.number = "2024/01";
    EXPECT_EQ(InvoicePdfName(d, DocumentKind::Invoice), "Invoice-2024-01.pdf");
    EXPECT_EQ(SafeFileName("a\\b:c*d?e\"f<g>h|i"), "a-b-c-d-e-f-g-h-i");
    EXPECT_EQ(SafeFileName(std::string("x\ty\x01z\x7f", 6)), "x-y-z-");
    EXPECT_EQ(SafeFileName(".."), "--");
    EXPECT_EQ(SafeFileName("Müller 7"), "Müller 7");
    EXPECT_EQ(SafeFileName("a\xC2\x85z"), "a-z");  // a control character beyond ASCII
    EXPECT_EQ(PdfFolder("/data"), "/data/pdf");
}

}  // namespace
}  // namespace invarro::output
