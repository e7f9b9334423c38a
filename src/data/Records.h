// The six business record kinds, byte by byte, and the helpers that fill their derived
// fields (invoice date parts, line numbers and line keys, memo lines).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/Layout.h"

namespace invarro::data {

// One company of the installation: identity, counters and every setting.
#define INVARRO_COMPANY_FIELDS(X)          \
    X(Name, 4, Text, 35)                   \
    X(CompanyNo, 40, Text, 5)              \
    X(ARBalance, 46, Money, 10)            \
    X(CoAddr1, 57, Text, 35)               \
    X(CoAddr2, 93, Text, 35)               \
    X(CoAddr3, 129, Text, 35)              \
    X(CoAddr4, 165, Text, 35)              \
    X(CoAddr5, 201, Text, 35)              \
    X(EditorFontName, 237, Text, 32)       \
    X(EditorFontSize, 272, Int32, 0)       \
    X(EditorFontColor, 276, Int32, 0)      \
    X(EditorFontStyle, 280, Style, 0)      \
    X(UseBackground, 281, Byte, 0)         \
    X(BackgroundFile, 282, Text, 250)      \
    X(SalesMsg1, 533, Text, 78)            \
    X(SalesMsg2, 612, Text, 78)            \
    X(SalesMsg3, 691, Text, 78)            \
    X(SalesMsg4, 770, Text, 78)            \
    X(NextInvNo, 849, Text, 9)             \
    X(DefInvQty, 859, Text, 9)             \
    X(PrintDuplicate, 869, Byte, 0)        \
    X(DefaultPrintFlag, 870, Byte, 0)      \
    X(CalcTaxes, 871, Byte, 0)             \
    X(DefTaxRate, 874, Text, 6)            \
    X(DefTerms, 881, Text, 35)             \
    X(DateFormatCode, 917, Text, 1)        \
    X(InvNoPrefix, 919, YesNo, 1)          \
    X(NextCustNo, 921, Text, 8)            \
    X(LastAgingDate, 933, Text, 10)        \
    X(ShowAgingChart, 944, Byte, 0)        \
    X(DefInvoiceStyle, 951, Text, 1)       \
    X(AutoCopyBilling, 953, Byte, 0)       \
    X(MgrFontName, 954, Text, 40)          \
    X(MgrFontSize, 996, Int32, 0)          \
    X(MgrFontColor, 1000, Int32, 0)        \
    X(MgrFontStyle, 1004, Style, 0)        \
    X(FormVerticalLines, 1005, Byte, 0)    \
    X(FormHorizontalLines, 1006, Byte, 0)  \
    X(LineWidth, 1007, Text, 1)            \
    X(BoxStatements, 1009, Byte, 0)        \
    X(BoxInvoices, 1010, Byte, 0)          \
    X(PrintCustAging, 1011, Byte, 0)       \
    X(UseShading, 1012, Byte, 0)           \
    X(LetterheadStyle, 1013, Byte, 0)      \
    X(PrintSalesMsg, 1014, Byte, 0)        \
    X(PrintProdCodes, 1015, Byte, 0)       \
    X(MoveTotalsDown, 1016, Byte, 0)       \
    X(BoxTop, 1017, Text, 2)               \
    X(FormTopMargin, 1020, Text, 2)        \
    X(FormLeftMargin, 1023, Text, 2)       \
    X(PrintLogo, 1026, Byte, 0)            \
    X(LogoFile, 1027, Text, 250)           \
    X(InvoiceCaption, 1278, Text, 25)      \
    X(StatementCaption, 1304, Text, 25)    \
    X(PackSlipCaption, 1330, Text, 25)     \
    X(FileCopyCaption, 1356, Text, 25)     \
    X(CodeHeading, 1382, Text, 15)         \
    X(QtyHeading, 1398, Text, 15)          \
    X(DescHeading, 1414, Text, 32)         \
    X(PriceHeading, 1447, Text, 15)        \
    X(ExtHeading, 1463, Text, 15)          \
    X(TaxHeading, 1479, Text, 10)          \
    X(StmntNote, 1490, Text, 80)           \
    X(PrintPackSlip, 1571, Byte, 0)        \
    X(PrintFileCopy, 1572, Byte, 0)        \
    X(ShowHints, 1573, Byte, 0)            \
    X(LastInvNo, 1574, Text, 9)            \
    X(FormFonts1, 1584, Font, 0)           \
    X(FormFonts2, 1632, Font, 0)           \
    X(FormFonts3, 1680, Font, 0)           \
    X(FormFonts4, 1728, Font, 0)           \
    X(FormFonts5, 1776, Font, 0)           \
    X(FormFonts6, 1824, Font, 0)           \
    X(MemoHeading, 1872, Text, 80)         \
    X(MaxLines, 1953, Text, 2)             \
    X(LastDate3, 1956, Text, 10)           \
    X(LastBatchStmntDate, 1967, Text, 10)  \
    X(LastRepeatRunDate, 1978, Text, 10)   \
    X(IntMarkPrinted, 2000, Byte, 0)       \
    X(IntTerms, 2001, Text, 35)            \
    X(IntAgingChoice, 2037, Text, 1)       \
    X(IntMinCharge, 2039, Text, 5)         \
    X(IntPercent, 2045, Text, 6)           \
    X(EnvFontName, 2052, Text, 32)         \
    X(EnvFontSize, 2088, Int32, 0)         \
    X(EnvFontColor, 2092, Int32, 0)        \
    X(EnvFontStyle, 2096, Style, 0)        \
    X(EnvLineSpacing, 2100, Text, 3)       \
    X(EnvLeftMargin, 2104, Text, 4)        \
    X(EnvTopMargin, 2109, Text, 4)         \
    X(EnvSendAddrLeft, 2114, Text, 4)      \
    X(EnvOrientation, 2119, Text, 1)       \
    X(EnvAddress, 2121, Text, 1)           \
    X(LabelQueueOnInvoice, 2123, YesNo, 1) \
    X(LabelQueueOnBatch, 2125, YesNo, 1)   \
    X(NumCopies, 2127, Text, 1)            \
    X(AddrShiftRight, 2129, Text, 10)      \
    X(PrintReturnAddr, 2140, YesNo, 1)     \
    X(NoCoNameOnForm, 2153, YesNo, 1)      \
    X(AuditTrail, 2156, YesNo, 1)          \
    X(EMailAddress, 2159, Text, 50)        \
    X(EMailLogin, 2210, Text, 50)          \
    X(EMailHost, 2261, Text, 50)           \
    X(EMailPassword, 2312, Text, 50)       \
    X(DefaultToEMail, 2363, YesNo, 1)      \
    X(EMailAuth, 2426, Text, 121)          \
    X(ShipToCaption, 2548, Text, 25)       \
    X(QuoteCaption, 2574, Text, 25)        \
    X(EMailLines, 2611, YesNo, 1)          \
    X(NoBigInvNo, 2613, YesNo, 1)          \
    X(EMailInclNoAddr, 2615, YesNo, 1)     \
    X(BackupOnExit, 2617, YesNo, 1)        \
    X(CurrencySymbol, 2619, Text, 1)       \
    X(ReceiptPrinter, 2621, YesNo, 1)      \
    X(TotalQuantity, 2623, YesNo, 1)       \
    X(DepositCounter, 2636, Text, 6)       \
    X(LineStyle, 2656, Text, 1)            \
    X(FormLineSpacing, 2658, Text, 2)      \
    X(EMailPort, 2667, Text, 6)            \
    X(AgingDays1, 2674, Text, 3)           \
    X(AgingDays2, 2678, Text, 3)           \
    X(AgingDays3, 2682, Text, 3)           \
    X(AgingCaption1, 2690, Text, 10)       \
    X(AgingCaption2, 2701, Text, 10)       \
    X(AgingCaption3, 2712, Text, 10)
INVARRO_DEFINE_LAYOUT(Company, "CompanyRecord", 2736, INVARRO_COMPANY_FIELDS);

#define INVARRO_CUSTOMER_FIELDS(X)     \
    X(CustNo, 4, Text, 8)              \
    X(Name, 13, Text, 35)              \
    X(Balance, 49, Money, 12)          \
    X(LastPayDate, 62, Text, 10)       \
    X(LastInvNo, 73, Text, 9)          \
    X(CustType, 83, Text, 25)          \
    X(TaxExempt, 109, YesNo, 1)        \
    X(CreditLimit, 111, Money, 10)     \
    X(Terms, 122, Text, 35)            \
    X(BillAddr1, 158, Text, 35)        \
    X(BillAddr2, 194, Text, 35)        \
    X(BillAddr3, 230, Text, 35)        \
    X(BillAddr4, 266, Text, 35)        \
    X(Phone1, 302, Text, 25)           \
    X(ShipAddr1, 328, Text, 35)        \
    X(ShipAddr2, 364, Text, 35)        \
    X(ShipAddr3, 400, Text, 35)        \
    X(ShipAddr4, 436, Text, 35)        \
    X(Phone2, 472, Text, 25)           \
    X(Age0to30, 498, Money, 10)        \
    X(Age31to60, 509, Money, 10)       \
    X(Age61to90, 520, Money, 10)       \
    X(AgeOver90, 531, Money, 10)       \
    X(Notes, 542, Text, 240)           \
    X(NotesOnInvoice, 783, YesNo, 1)   \
    X(NotesOnStatement, 785, YesNo, 1) \
    X(ShortName, 800, Text, 10)        \
    X(MailSortCode, 811, Text, 15)     \
    X(CreditHold, 853, YesNo, 1)       \
    X(EMail, 855, Text, 50)
INVARRO_DEFINE_LAYOUT(Customer, "CustomerRecord", 1008, INVARRO_CUSTOMER_FIELDS);

// Invoices, quotes, repeat masters, payment and deposit records.
#define INVARRO_INVOICE_FIELDS(X)   \
    X(InvNo, 4, Text, 9)            \
    X(TransType, 14, Text, 1)       \
    X(KeyCode, 16, Text, 8)         \
    X(CustNo, 25, Text, 8)          \
    X(CompanyNo, 34, Text, 5)       \
    X(InvDate, 40, Text, 10)        \
    X(PrintedFlag, 51, YesNo, 1)    \
    X(InvMonth, 53, Text, 2)        \
    X(InvDay, 56, Text, 2)          \
    X(InvYear, 59, Text, 4)         \
    X(SortDate, 64, Text, 10)       \
    X(InvNotes, 75, Text, 80)       \
    X(Terms, 156, Text, 35)         \
    X(StmntNote, 192, Text, 35)     \
    X(InvoiceStyle, 228, Text, 1)   \
    X(ShortName, 230, Text, 10)     \
    X(Net, 241, Money, 10)          \
    X(Tax, 252, Money, 10)          \
    X(Total, 263, Money, 10)        \
    X(Paid, 274, Money, 10)         \
    X(BalanceDue, 285, Money, 10)   \
    X(PaidDate, 296, Text, 10)      \
    X(RepeatUnit, 307, Text, 1)     \
    X(PaidFlag, 309, Text, 1)       \
    X(NextDue, 311, Text, 10)       \
    X(RepeatEvery, 322, Text, 3)    \
    X(RepeatCreated, 326, Text, 11) \
    X(TaxRate, 338, Text, 6)        \
    X(EMailedOn, 345, Text, 14)
INVARRO_DEFINE_LAYOUT(Invoice, "InvoiceRecord", 360, INVARRO_INVOICE_FIELDS);

#define INVARRO_INVOICE_LINE_FIELDS(X) \
    X(LineText, 4, Text, 65)           \
    X(LineStyle, 70, Text, 1)          \
    X(LineNo, 72, Text, 5)             \
    X(InvNo, 78, Text, 9)              \
    X(LineDate, 88, Text, 10)          \
    X(ProdCode, 99, Text, 10)          \
    X(CustNo, 110, Text, 8)            \
    X(ShortName, 119, Text, 10)        \
    X(LineKey, 130, Text, 11)
INVARRO_DEFINE_LAYOUT(InvoiceLine, "InvoiceLineRecord", 156, INVARRO_INVOICE_LINE_FIELDS);

#define INVARRO_MEMO_FIELDS(X)    \
    X(InvNo, 4, Text, 9)          \
    X(MemoLine1, 14, Text, 74)    \
    X(MemoLine2, 89, Text, 74)    \
    X(MemoLine3, 164, Text, 74)   \
    X(MemoLine4, 239, Text, 74)   \
    X(MemoLine5, 314, Text, 74)   \
    X(MemoLine6, 389, Text, 74)   \
    X(MemoLine7, 464, Text, 74)   \
    X(MemoLine8, 539, Text, 74)   \
    X(MemoLine9, 614, Text, 74)   \
    X(MemoLine10, 689, Text, 74)  \
    X(MemoLine11, 764, Text, 74)  \
    X(MemoLine12, 839, Text, 74)  \
    X(MemoLine13, 914, Text, 74)  \
    X(MemoLine14, 989, Text, 74)  \
    X(MemoLine15, 1064, Text, 74) \
    X(MemoLine16, 1139, Text, 74) \
    X(MemoLine17, 1214, Text, 74) \
    X(MemoLine18, 1289, Text, 74) \
    X(MemoLine19, 1364, Text, 74) \
    X(MemoLine20, 1439, Text, 74) \
    X(MemoLine21, 1514, Text, 74) \
    X(MemoLine22, 1589, Text, 74) \
    X(MemoLine23, 1664, Text, 74) \
    X(MemoLine24, 1739, Text, 74) \
    X(MemoLine25, 1814, Text, 74)
INVARRO_DEFINE_LAYOUT(Memo, "MemoRecord", 1892, INVARRO_MEMO_FIELDS);

#define INVARRO_PRODUCT_FIELDS(X) \
    X(ProdCode, 4, Text, 10)      \
    X(Description, 15, Text, 32)  \
    X(Taxable, 59, Byte, 0)       \
    X(SellPrice, 60, Money, 10)   \
    X(ProdNotes, 82, Text, 150)   \
    X(SetupDate, 233, Text, 10)   \
    X(ChangedDate, 244, Text, 10)
INVARRO_DEFINE_LAYOUT(Product, "ProductRecord", 300, INVARRO_PRODUCT_FIELDS);

// E-invoicing data of a customer (Kind "C", Code the customer number) or of a product
// (Kind "P", Code the product code), in the company's fileblock beside the customer and
// product files, so that those keep their layouts.
#define INVARRO_EINVOICE_FIELDS(X)      \
    X(Kind, 4, Text, 1)                 \
    X(Code, 6, Text, 10)                \
    X(Country, 17, Text, 2)             \
    X(VatId, 20, Text, 20)              \
    X(BuyerReference, 41, Text, 60)     \
    X(ElectronicAddress, 102, Text, 80) \
    X(UnitCode, 183, Text, 3)
INVARRO_DEFINE_LAYOUT(EInvoice, "EInvoiceRecord", 256, INVARRO_EINVOICE_FIELDS);

// One line of a bank statement, stored once per company: the account, the booking date
// (yyyymmdd), the amount exactly as the bank wrote it (sign, dot, up to five decimals)
// with its currency, the payer, the references and the text, and what became of it.
// Fingerprint identifies the line for a second import: the bank's own id within the
// account where the statement has one, else the line's content.
#define INVARRO_BANKLINE_FIELDS(X) \
    X(Account, 4, Text, 34)        \
    X(BookDate, 39, Text, 8)       \
    X(ValueDate, 48, Text, 8)      \
    X(Amount, 57, Text, 20)        \
    X(Currency, 78, Text, 3)       \
    X(BankId, 82, Text, 60)        \
    X(Reference, 143, Text, 35)    \
    X(EndToEnd, 179, Text, 35)     \
    X(PayerName, 215, Text, 70)    \
    X(PayerIban, 286, Text, 34)    \
    X(Text, 321, Text, 140)        \
    X(Fingerprint, 462, Text, 16)  \
    X(State, 479, Text, 1)         \
    X(PaidInvNo, 481, Text, 9)     \
    X(CustNo, 491, Text, 8)        \
    X(Reversal, 500, YesNo, 1)     \
    X(Note, 502, Text, 80)         \
    X(ImportedOn, 583, Text, 8)    \
    X(Serial, 592, Text, 10)
INVARRO_DEFINE_LAYOUT(BankLine, "BankLineRecord", 640, INVARRO_BANKLINE_FIELDS);

using CompanyRecord = Record<Company>;
using CustomerRecord = Record<Customer>;
using InvoiceRecord = Record<Invoice>;
using InvoiceLineRecord = Record<InvoiceLine>;
using MemoRecord = Record<Memo>;
using ProductRecord = Record<Product>;
using EInvoiceRecord = Record<EInvoice>;
using BankLineRecord = Record<BankLine>;

// A new record: zero-filled, its amounts "0.00" and its yes/no flags "N".
template <class L>
Record<L> NewRecord() {
    Record<L> r;
    for (const FieldDef& f : L::kFields) {
        if (f.kind == FieldKind::Money)
            WriteAnsiText(r.data(), f, "0.00");
        else if (f.kind == FieldKind::YesNo)
            WriteAnsiText(r.data(), f, "N");
    }
    return r;
}

// The k-th memo line field, k = 1..25.
inline constexpr int kMemoLines = 25;
inline constexpr int kMemoLineWidth = 74;
constexpr FieldRef<Memo, FieldKind::Text> MemoLineField(int k) {
    return FieldRef<Memo, FieldKind::Text>{Memo::MemoLine1_ + k - 1};
}
static_assert(Memo::MemoLine25_ - Memo::MemoLine1_ == kMemoLines - 1);
static_assert(Memo::kFields[Memo::MemoLine25_].offset == 14 + 75 * 24);

// The memo text: the first 25 lines, each cut to 74 characters; the remaining line
// fields are emptied.
void SetMemoLines(MemoRecord& memo, const std::vector<std::string>& lines);
// The 25 stored lines, trailing empty lines dropped.
std::vector<std::string> MemoLines(const MemoRecord& memo);

// The invoice date as user date, its month, day and year parts and its sort date.
void SetInvoiceDate(InvoiceRecord& invoice, const Date& date, DateOrder order);

// Whether a record can be a receivable at all: quotes and repeat masters never are,
// whatever their balance due says.
bool IsReceivable(const InvoiceRecord& record);

// Invoice lines are numbered 1..99 in grid order.
inline constexpr int kMaxInvoiceLines = 99;
// "07" for row 7, "12" for row 12.
std::string LineNoText(int row);
// The invoice number trimmed and padded on the left with "0" to 9 characters, followed
// by the line number: "00000012307" for line "07" of invoice "123".
std::string LineKeyText(std::string_view invNo, std::string_view lineNo);

}  // namespace invarro::data
