#include "data/Company.h"

#include "data/Ansi.h"
#include "data/Money.h"
#include "data/Update.h"

namespace invarro::data {

namespace {

using C = Company;

// Pure blue with red in the low byte.
constexpr int32_t kBlue = 0xFF0000;

SetupProblem Problem(SetupField field, std::string tab, std::string title, std::string text) {
    return SetupProblem{
        field, std::move(tab),
        platform::Message{std::move(title), std::move(text), platform::Icon::Warning,
                          platform::Buttons::Ok, platform::Answer::Ok}};
}

}  // namespace

CompanyRecord NewCompanyRecord(const CompanyRecord& inUse, int companyCount) {
    CompanyRecord r = inUse;
    r.clearStatus();
    r.setText(C::Name, "");
    r.setText(C::CompanyNo, std::to_string(companyCount + 1));
    (void)r.setMoney(C::ARBalance, Money());
    for (auto f : {C::CoAddr1, C::CoAddr2, C::CoAddr3, C::CoAddr4, C::CoAddr5})
        r.setText(f, "");
    r.setText(C::EditorFontName, "Arial");
    r.setInt32(C::EditorFontSize, 10);
    r.setInt32(C::EditorFontColor, kBlue);
    r.setStyle(C::EditorFontStyle, style::Bold);
    r.setByte(C::UseBackground, 1);
    r.setText(C::BackgroundFile, "background.bmp");
    for (auto f : {C::SalesMsg1, C::SalesMsg2, C::SalesMsg3, C::SalesMsg4})
        r.setText(f, "");
    r.setText(C::NextInvNo, "1000");
    r.setText(C::DefInvQty, "1.00");
    r.setByte(C::PrintDuplicate, 0);
    r.setByte(C::CalcTaxes, 1);
    r.setText(C::DefTaxRate, "0.000");
    r.setText(C::DefTerms, "Net 30 Days");
    r.setText(C::DateFormatCode, "M");
    r.setYes(C::InvNoPrefix, false);
    r.setText(C::NextCustNo, "1");
    r.setText(C::LastAgingDate, " ");
    r.setText(C::DefInvoiceStyle, "P");
    r.setByte(C::AutoCopyBilling, 1);
    r.setText(C::MgrFontName, "Courier New");
    r.setInt32(C::MgrFontSize, 10);
    r.setInt32(C::MgrFontColor, 0);
    r.setStyle(C::MgrFontStyle, 0);
    r.setByte(C::PrintLogo, 0);
    r.setText(C::LogoFile, "");
    r.setText(C::StmntNote, " ");
    r.setByte(C::PrintPackSlip, 0);
    r.setByte(C::PrintFileCopy, 0);
    r.setByte(C::ShowHints, 1);
    r.setText(C::LastDate3, " ");
    r.setText(C::LastBatchStmntDate, " ");
    r.setText(C::LastRepeatRunDate, " ");
    r.setText(C::NumCopies, "1");
    r.setText(C::AddrShiftRight, "0");
    r.setYes(C::PrintReturnAddr, true);
    r.setYes(C::NoCoNameOnForm, false);
    r.setYes(C::AuditTrail, false);
    for (auto f : {C::EMailAddress, C::EMailLogin, C::EMailHost, C::EMailPassword})
        r.setText(f, "");
    r.setYes(C::DefaultToEMail, false);
    r.setText(C::ShipToCaption, "Deliver To:");
    r.setYes(C::EMailLines, true);
    r.setYes(C::NoBigInvNo, false);
    r.setYes(C::EMailInclNoAddr, false);
    r.setText(C::CurrencySymbol, "$");
    r.setYes(C::ReceiptPrinter, false);
    r.setYes(C::TotalQuantity, false);
    r.setText(C::LineStyle, "D");
    r.setText(C::FormLineSpacing, "8");
    r.setText(C::EMailPort, "25");
    r.setText(C::AgingDays1, "30");
    r.setText(C::AgingDays2, "60");
    r.setText(C::AgingDays3, "90");
    r.setText(C::AgingCaption1, "Current:");
    r.setText(C::AgingCaption2, "31-60:");
    r.setText(C::AgingCaption3, "61-90:");
    return r;
}

CompanyRecord FirstCompanyBase() {
    CompanyRecord r = NewRecord<Company>();
    r.setByte(C::FormVerticalLines, 1);
    r.setByte(C::FormHorizontalLines, 1);
    r.setText(C::LineWidth, "1");
    r.setByte(C::BoxStatements, 1);
    r.setByte(C::BoxInvoices, 1);
    r.setByte(C::PrintCustAging, 1);
    r.setByte(C::PrintSalesMsg, 1);
    r.setByte(C::PrintProdCodes, 1);
    r.setText(C::BoxTop, "0");
    r.setText(C::FormTopMargin, "0");
    r.setText(C::FormLeftMargin, "0");
    r.setText(C::InvoiceCaption, "INVOICE");
    r.setText(C::StatementCaption, "STATEMENT");
    r.setText(C::PackSlipCaption, "PACKING SLIP");
    r.setText(C::FileCopyCaption, "FILE COPY");
    r.setText(C::CodeHeading, "Code");
    r.setText(C::QtyHeading, "Quantity");
    r.setText(C::DescHeading, "Description");
    r.setText(C::PriceHeading, "Unit Price");
    r.setText(C::ExtHeading, "Extension");
    r.setText(C::TaxHeading, "Tax");
    r.setText(C::MaxLines, "20");
    r.setFont(C::FormFonts1, {"Arial", 10, 0, 0});
    r.setFont(C::FormFonts2, {"Arial", 20, 0, style::Bold});
    r.setFont(C::FormFonts3, {"Arial", 12, 0, style::Bold});
    r.setFont(C::FormFonts4, {"Arial", 10, 0, 0});
    r.setFont(C::FormFonts5, {"Arial", 8, 0, 0});
    r.setFont(C::FormFonts6, {"Arial", 10, 0, style::Italic});
    r.setText(C::EnvFontName, "Arial");
    r.setInt32(C::EnvFontSize, 12);
    r.setText(C::EnvOrientation, "P");
    r.setText(C::EnvAddress, "B");
    r.setYes(C::LabelQueueOnInvoice, false);
    r.setYes(C::LabelQueueOnBatch, false);
    r.setYes(C::BackupOnExit, false);
    return r;
}

std::string StoredNumCopies(std::string_view typed) {
    std::string_view t = TrimText(typed);
    if (t == "2" || t == "3" || t == "4" || t == "5") return std::string(t);
    return "1";
}

SetupCheck CheckCompanySetup(CompanySetupEntry& e, std::string_view numberInUse,
                             const std::function<bool(std::string_view)>& numberExists) {
    SetupCheck check;
    if (!e.eMailAddress.empty() && e.eMailAddress.find('@') == std::string::npos) {
        check.problem = Problem(
            SetupField::EMailAddress, "E-Mail", "Company E-Mail Address",
            "Your company e-mail address does not have the @ sign included. Bad e-mail address.");
        return check;
    }
    if (TrimText(e.name).empty()) {
        check.problem = Problem(SetupField::Name, "Address/Taxes", "Invalid Company Name",
                                "A company name is required.");
        return check;
    }

    if (TrimText(e.number).empty()) e.number.assign(1, '0');
    auto number = WholeNumber(e.number);
    if (!number) {
        check.problem =
            Problem(SetupField::Number, "Address/Taxes", "Invalid Company Number",
                    "The company number field is numeric and valid values are 1 to 32000.");
        return check;
    }
    if (*number < 1 || *number > kMaxCompanyNo) {
        check.problem = Problem(SetupField::Number, "Address/Taxes", "Invalid Company Number",
                                "The Company number must be between 0 and 32001.");
        return check;
    }
    // "01" and " 1" are company 1: written the one way, so that the duplicate check
    // and the file names see the same number.
    e.number = std::to_string(*number);
    if (e.numberEnabled && numberExists && numberExists(e.number)) {
        check.problem = Problem(SetupField::Number, "Address/Taxes", "Company Number",
                                "This Company number already exists. Enter another number.");
        return check;
    }

    std::string* days[3] = {&e.agingDays1, &e.agingDays2, &e.agingDays3};
    long value[3] = {};
    const SetupField fields[3] = {SetupField::AgingDays1, SetupField::AgingDays2,
                                  SetupField::AgingDays3};
    for (int i = 0; i < 3; ++i) {
        std::string t(TrimText(*days[i]));
        *days[i] = t.empty() ? "0" : t;
        auto v = WholeNumber(*days[i]);
        if (!v || *v < 0) {
            std::string n = std::to_string(i + 1);
            check.problem =
                Problem(fields[i], "Envelopes/Aging", "Aging Category " + n,
                        "The aging days for category " + n + " must be a whole number of days.");
            return check;
        }
        value[i] = *v;
    }
    if (value[1] < value[0] + 2) {
        check.problem = Problem(
            SetupField::AgingDays2, "Envelopes/Aging", "Aging Category 2",
            "The aging days for category 2 must be greater than category 1 by at least 2 days.");
        return check;
    }
    if (value[2] < value[1] + 2) {
        check.problem = Problem(
            SetupField::AgingDays3, "Envelopes/Aging", "Aging Category 3",
            "The aging days for category 3 must be greater than category 2 by at least 2 days.");
        return check;
    }

    auto inUse = WholeNumber(numberInUse);
    check.reloadCompanyInUse = inUse && *inUse == *number;
    return check;
}

bool CompanyNumberExists(storage::Fileblock* companies, std::string_view number) {
    CompanyRecord probe;
    probe.setText(C::CompanyNo, number);
    auto found = FindAtOrAfter<Company>(companies, 1, probe);
    if (!found) return false;
    return UpperText(TrimText(found->record.text(C::CompanyNo))) == UpperText(TrimText(number));
}

}  // namespace invarro::data
