#include "app/CompanySetup.h"

#include <array>
#include <filesystem>

#include "data/Ansi.h"
#include "data/Files.h"
#include "data/SideFiles.h"

namespace invarro::app {

namespace {

using data::Company;
using R = SetupRule;

constexpr SetupControl Edit(std::string_view name, int field, std::string_view tab,
                            SetupRule rule = R::Text, int maxLength = 0, bool digits = false) {
    return SetupControl{name, field, rule, tab, maxLength, digits};
}
constexpr SetupControl Digits(std::string_view name, int field, std::string_view tab, int length,
                              SetupRule rule = R::Trimmed) {
    return SetupControl{name, field, rule, tab, length, true};
}
constexpr SetupControl Box(std::string_view name, int field, std::string_view tab,
                           SetupRule rule = R::ByteBox) {
    return SetupControl{name, field, rule, tab};
}
constexpr SetupControl Letter(std::string_view name, int field, std::string_view tab,
                              std::string_view on, std::string_view off) {
    return SetupControl{name, field, R::LetterBox, tab, 0, false, on, off};
}
constexpr SetupControl Radio(std::string_view name, std::string_view second, int field,
                             std::string_view tab, std::string_view on, std::string_view off) {
    return SetupControl{name, field, R::RadioPair, tab, 0, false, on, off, second};
}

constexpr auto kAddr = kTabAddress;
constexpr auto kMail = kTabEMail;
constexpr auto kEnv = kTabEnvelopes;
constexpr auto kForms = kTabForms;
constexpr auto kGen = kTabGeneral;
constexpr auto kInv = kTabInvoices;
constexpr auto kSales = kTabSalesMessage;
constexpr auto kGfx = kTabGraphics;

const std::array kSetupControls = {
    // Address/Taxes
    Edit("CName", Company::Name_, kAddr),
    Edit("CoNumb", Company::CompanyNo_, kAddr, R::Trimmed),
    Edit("CAdd1", Company::CoAddr1_, kAddr),
    Edit("CAdd2", Company::CoAddr2_, kAddr),
    Edit("CAdd3", Company::CoAddr3_, kAddr),
    Edit("CAdd4", Company::CoAddr4_, kAddr),
    Edit("ExtraAdd1", Company::CoAddr5_, kAddr),
    Edit("TaxCRate", Company::DefTaxRate_, kAddr, R::TaxRate),
    Box("CalcTaxes", Company::CalcTaxes_, kAddr),
    Edit("TaxName", Company::TaxHeading_, kAddr),
    Edit("SCurrSym", Company::CurrencySymbol_, kAddr),
    // E-Mail
    Edit("CEmailAdd", Company::EMailAddress_, kMail, R::Trimmed),
    Edit("EMlogin", Company::EMailLogin_, kMail, R::Trimmed),
    Edit("CEMailHost", Company::EMailHost_, kMail, R::Trimmed),
    Edit("EMpword", Company::EMailPassword_, kMail, R::Text),
    Digits("EMPort", Company::EMailPort_, kMail, 5, R::Port),
    Box("DefToEMail", Company::DefaultToEMail_, kMail, R::YesNoBox),
    Box("CBEMailLines", Company::EMailLines_, kMail, R::YesNoBox),
    Box("EMInclCust", Company::EMailInclNoAddr_, kMail, R::YesNoBox),
    // Envelopes/Aging
    Digits("ELineSpace", Company::EnvLineSpacing_, kEnv, 3),
    Digits("LMarSet", Company::EnvLeftMargin_, kEnv, 4),
    Digits("TopMarSet", Company::EnvTopMargin_, kEnv, 4),
    Digits("SendAddLeft", Company::EnvSendAddrLeft_, kEnv, 4),
    Letter("LandSCB", Company::EnvOrientation_, kEnv, "L", "P"),
    Letter("UseShipAdd", Company::EnvAddress_, kEnv, "S", "B"),
    Box("PCoAddr", Company::PrintReturnAddr_, kEnv, R::YesNoBox),
    Digits("CAVal1", Company::AgingDays1_, kEnv, 3, R::AgingDays),
    Digits("CAVal2", Company::AgingDays2_, kEnv, 3, R::AgingDays),
    Digits("CAVal3", Company::AgingDays3_, kEnv, 3, R::AgingDays),
    Edit("CACap1", Company::AgingCaption1_, kEnv),
    Edit("CACap2", Company::AgingCaption2_, kEnv),
    Edit("CACap3", Company::AgingCaption3_, kEnv),
    // Forms Setup
    Box("HorLCB", Company::FormVerticalLines_, kForms),
    Box("VLineCB", Company::FormHorizontalLines_, kForms),
    Digits("LineWidthVal", Company::LineWidth_, kForms, 1),
    Box("SBoxCB", Company::BoxStatements_, kForms),
    Box("IBoxCB", Company::BoxInvoices_, kForms),
    Box("CAgeCB", Company::PrintCustAging_, kForms),
    Box("ShadeCB", Company::UseShading_, kForms),
    Box("CheckBox5", Company::LetterheadStyle_, kForms),
    Box("SMsgCB", Company::PrintSalesMsg_, kForms),
    Box("PConICB", Company::PrintProdCodes_, kForms),
    Box("MoveDwnCB", Company::MoveTotalsDown_, kForms),
    Digits("BigBxTop", Company::BoxTop_, kForms, 2),
    Digits("TopFormMar", Company::FormTopMargin_, kForms, 2),
    Digits("LeftFormMar", Company::FormLeftMargin_, kForms, 2),
    Digits("MaxLines", Company::MaxLines_, kForms, 2),
    Box("UseBmpCB", Company::PrintLogo_, kForms),
    Edit("BmpNameText", Company::LogoFile_, kForms),
    Edit("ComboBox1", Company::LineStyle_, kForms, R::LineStyle, 5),
    Digits("MaskEdit1", Company::FormLineSpacing_, kForms, 2, R::EightIfEmpty),
    Digits("PushAddr", Company::AddrShiftRight_, kForms, 3, R::ZeroIfEmpty),
    Box("CNameOnForm", Company::NoCoNameOnForm_, kForms, R::YesNoBox),
    Box("BigInvNo", Company::NoBigInvNo_, kForms, R::YesNoBox),
    Box("QuanTot", Company::TotalQuantity_, kForms, R::YesNoBox),
    Box("CBRctPrin", Company::ReceiptPrinter_, kForms, R::YesNoBox),
    Box("PSlip", Company::PrintPackSlip_, kForms),
    Box("FileCpy", Company::PrintFileCopy_, kForms),
    Digits("NumCpys", Company::NumCopies_, kForms, 1, R::NumCopies),
    // General
    Radio("MMDDYY", "DDMMYY", Company::DateFormatCode_, kGen, "M", "D"),
    Box("SHints", Company::ShowHints_, kGen),
    Box("AuditCB", Company::AuditTrail_, kGen, R::YesNoBox),
    Box("CBbu", Company::BackupOnExit_, kGen, R::YesNoBox),
    Box("ACBillAdd", Company::AutoCopyBilling_, kGen),
    Box("CpyToLQue", Company::LabelQueueOnInvoice_, kGen, R::YesNoBox),
    Box("BatchLabels", Company::LabelQueueOnBatch_, kGen, R::YesNoBox),
    // Invoices
    Edit("NextIno", Company::NextInvNo_, kInv, R::Trimmed),
    Edit("DefInvQuan", Company::DefInvQty_, kInv, R::Trimmed),
    Box("PrintDupOnInv", Company::PrintDuplicate_, kInv),
    Box("PFlag", Company::DefaultPrintFlag_, kInv),
    Edit("DFTerms", Company::DefTerms_, kInv),
    Box("YYMMonInv", Company::InvNoPrefix_, kInv, R::YesNoBox),
    Edit("CNxtCustNo", Company::NextCustNo_, kInv, R::Trimmed),
    Radio("DProd", "DMemo", Company::DefInvoiceStyle_, kInv, "P", "M"),
    // Sales Message
    Edit("SM1", Company::SalesMsg1_, kSales),
    Edit("SM2", Company::SalesMsg2_, kSales),
    Edit("SM3", Company::SalesMsg3_, kSales),
    Edit("SM4", Company::SalesMsg4_, kSales),
    // System Graphics
    Box("TCBitmaps", Company::UseBackground_, kGfx),
    Edit("PicName", Company::BackgroundFile_, kGfx),
};

const std::array kHeaderControls = {
    Edit("InvCapData", Company::InvoiceCaption_, {}),
    Edit("StmntCapData", Company::StatementCaption_, {}),
    Edit("PackSHeadData", Company::PackSlipCaption_, {}),
    Edit("FCHeadData", Company::FileCopyCaption_, {}),
    Edit("QuoteEB", Company::QuoteCaption_, {}),
    Edit("EBShipCap", Company::ShipToCaption_, {}),
    Edit("PrCdhead", Company::CodeHeading_, {}),
    Edit("QuanHead", Company::QtyHeading_, {}),
    Edit("DescHead", Company::DescHeading_, {}),
    Edit("Edit8", Company::PriceHeading_, {}),
    Edit("ExtHead", Company::ExtHeading_, {}),
    Edit("MemoHeadr", Company::MemoHeading_, {}),
    Edit("StmntNote", Company::StmntNote_, {}),
};

const data::FieldDef& FieldOf(const SetupControl& c) {
    return Company::kFields[size_t(c.field)];
}

std::string StoredText(const SetupControl& c, const ControlValues& v) {
    const std::string entry = v.textOf(c.name);
    switch (c.rule) {
        case R::Text:
            return entry;
        case R::Trimmed:
        case R::Port:
            return data::TrimmedText(entry);
        case R::TaxRate: {
            std::string t = data::TrimmedText(entry);
            return t.empty() ? "0.000" : t;
        }
        case R::AgingDays:
        case R::ZeroIfEmpty: {
            std::string t = data::TrimmedText(entry);
            return t.empty() ? "0" : t;
        }
        case R::EightIfEmpty: {
            std::string t = data::TrimmedText(entry);
            return t.empty() ? "8" : t;
        }
        case R::NumCopies:
            return data::StoredNumCopies(entry);
        case R::ByteBox:
            break;
        case R::YesNoBox:
            return v.isChecked(c.name) ? "Y" : "N";
        case R::LetterBox:
        case R::RadioPair:
            return std::string(v.isChecked(c.name) ? c.on : c.off);
        case R::LineStyle:
            return data::TrimmedText(entry) == kLineStyleDots ? "D" : "L";
    }
    return entry;
}

// The font fields behind each of the set-up dialog's font buttons.
struct FontFields {
    int name, size, colour, style;
};
FontFields FontFieldsOf(SetupFont which) {
    switch (which) {
        case SetupFont::Editor:
            return {Company::EditorFontName_, Company::EditorFontSize_, Company::EditorFontColor_,
                    Company::EditorFontStyle_};
        case SetupFont::Manager:
            return {Company::MgrFontName_, Company::MgrFontSize_, Company::MgrFontColor_,
                    Company::MgrFontStyle_};
        case SetupFont::Envelope:
            break;
    }
    return {Company::EnvFontName_, Company::EnvFontSize_, Company::EnvFontColor_,
            Company::EnvFontStyle_};
}

constexpr data::FieldRef<Company, data::FieldKind::Font> kFormFonts[kFormFontCount] = {
    Company::FormFonts1, Company::FormFonts2, Company::FormFonts3,
    Company::FormFonts4, Company::FormFonts5, Company::FormFonts6};

}  // namespace

std::string_view SetupHelpTopic(std::string_view tab) {
    if (tab == kTabEMail) return "E-Mail Mode";
    if (tab == kTabSalesMessage || tab == kTabInvoices) return "Invoice Options";
    if (tab == kTabEnvelopes) return "Envelope Setup";
    if (tab == kTabForms) return "Form Setup Options";
    if (tab == kTabGeneral) return "General Options";
    if (tab == kTabGraphics) return "System Graphics";
    return "Address and Tax Rate Settings";
}

int SetupControl::limit() const {
    if (maxLength > 0) return maxLength;
    return Company::kFields[size_t(field)].width;
}

std::span<const SetupControl> CompanySetupControls() {
    return kSetupControls;
}

std::span<const SetupControl> HeaderControls() {
    return kHeaderControls;
}

const SetupControl* FindSetupControl(std::string_view name) {
    for (const auto& list : {CompanySetupControls(), HeaderControls()})
        for (const SetupControl& c : list)
            if (c.name == name) return &c;
    return nullptr;
}

std::string ControlValues::textOf(std::string_view name) const {
    auto it = text.find(name);
    return it == text.end() ? std::string() : it->second;
}

bool ControlValues::isChecked(std::string_view name) const {
    auto it = checked.find(name);
    return it != checked.end() && it->second;
}

ControlValues LoadControls(std::span<const SetupControl> controls,
                           const data::CompanyRecord& record) {
    ControlValues v;
    for (const SetupControl& c : controls) {
        const data::FieldDef& f = FieldOf(c);
        std::string name(c.name);
        if (c.rule == R::ByteBox) {
            v.checked[name] = record.data()[f.offset] != 0;
            continue;
        }
        const std::string stored = data::Utf8FromAnsi(data::ReadAnsiText(record.data(), f));
        switch (c.rule) {
            case R::YesNoBox:
                v.checked[name] =
                    data::TrimmedText(stored) == "Y" || data::TrimmedText(stored) == "y";
                break;
            case R::LetterBox:
                v.checked[name] = data::UpperText(data::TrimmedText(stored)) == c.on;
                break;
            case R::RadioPair: {
                // Anything but the second value counts as the first ("M" unless "D").
                const bool first = data::UpperText(data::TrimmedText(stored)) != c.off;
                v.checked[name] = first;
                v.checked[std::string(c.second)] = !first;
                break;
            }
            case R::LineStyle:
                v.text[name] = std::string(data::TrimmedText(stored) == "D" ? kLineStyleDots
                                                                            : kLineStyleSolid);
                break;
            case R::Port:
                v.text[name] = data::TrimmedText(stored).empty() ? "25" : stored;
                break;
            default:
                v.text[name] = stored;
                break;
        }
    }
    return v;
}

void StoreControls(std::span<const SetupControl> controls, const ControlValues& values,
                   data::CompanyRecord& record) {
    for (const SetupControl& c : controls) {
        const data::FieldDef& f = FieldOf(c);
        if (c.rule == R::ByteBox) {
            record.data()[f.offset] = values.isChecked(c.name) ? 1 : 0;
            continue;
        }
        data::WriteAnsiText(record.data(), f, data::AnsiFromUtf8(StoredText(c, values)));
    }
}

data::FontSetting ReadSetupFont(const data::CompanyRecord& record, SetupFont which) {
    const FontFields ff = FontFieldsOf(which);
    const uint8_t* p = record.data();
    data::FontSetting font;
    font.name = data::Utf8FromAnsi(data::ReadAnsiText(p, Company::kFields[size_t(ff.name)]));
    font.size = data::ReadInt32(p + Company::kFields[size_t(ff.size)].offset);
    font.colour = data::ReadInt32(p + Company::kFields[size_t(ff.colour)].offset);
    font.style = p[Company::kFields[size_t(ff.style)].offset];
    return font;
}

void WriteSetupFont(data::CompanyRecord& record, SetupFont which, const data::FontSetting& font) {
    const FontFields ff = FontFieldsOf(which);
    uint8_t* p = record.data();
    data::WriteAnsiText(p, Company::kFields[size_t(ff.name)], data::AnsiFromUtf8(font.name));
    data::WriteInt32(p + Company::kFields[size_t(ff.size)].offset, font.size);
    data::WriteInt32(p + Company::kFields[size_t(ff.colour)].offset, font.colour & 0xFFFFFF);
    p[Company::kFields[size_t(ff.style)].offset] = font.style & 0x0F;
}

std::string_view FormFontCaption(int index) {
    static constexpr std::string_view kCaptions[kFormFontCount] = {
        "Form Body Text",   "Caption Headers", "Company Address",
        "Customer Address", "Aging Analysis",  "Sales Message"};
    return index >= 0 && index < kFormFontCount ? kCaptions[index] : std::string_view();
}

data::FontSetting ReadFormFont(const data::CompanyRecord& record, int index) {
    return record.font(kFormFonts[index]);
}

void WriteFormFont(data::CompanyRecord& record, int index, const data::FontSetting& font) {
    data::FontSetting f = font;
    f.colour &= 0xFFFFFF;
    f.style &= 0x0F;
    record.setFont(kFormFonts[index], f);
}

std::string PicturePath(const std::string& folder, std::string_view name) {
    const std::string n = data::TrimmedText(name);
    if (n.empty()) return {};
    if (std::filesystem::path(n).is_absolute()) return n;
    return data::JoinPath(folder, n);
}

// ---------------------------------------------------------------------------------------

CompanySetupForm::CompanySetupForm(Mode mode, const data::CompanyRecord& record,
                                   std::string numberInUse,
                                   std::function<bool(std::string_view)> numberExists)
    : mode_(mode),
      working_(record),
      numberInUse_(std::move(numberInUse)),
      numberExists_(std::move(numberExists)) {
    // The quote word is proposed when the company has none.
    if (data::TrimText(working_.text(Company::QuoteCaption)).empty())
        working_.setText(Company::QuoteCaption, kQuoteCaptionProposal);
}

std::string_view CompanySetupForm::title() const {
    return mode_ == Mode::Add ? "New Company" : "Edit Company";
}

ControlValues CompanySetupForm::initialValues() const {
    return LoadControls(CompanySetupControls(), working_);
}

bool CompanySetupForm::backgroundMissing(const std::string& folder) const {
    const std::string path = PicturePath(folder, working_.text(Company::BackgroundFile));
    return !path.empty() && !data::FileExists(path);
}

platform::Message CompanySetupForm::BackgroundMissingMessage() {
    return platform::Message{"Edit Company",
                             "Background bitmap image no longer exists. Use the Graphics tab to "
                             "select another bitmap if desired.",
                             platform::Icon::Information, platform::Buttons::Ok,
                             platform::Answer::Ok};
}

SetupSaveResult CompanySetupForm::save(ControlValues& values) {
    SetupSaveResult result;
    data::CompanySetupEntry entry;
    entry.eMailAddress = data::TrimmedText(values.textOf("CEmailAdd"));
    entry.name = values.textOf("CName");
    entry.number = values.textOf("CoNumb");
    entry.numberEnabled = numberEditable();
    entry.agingDays1 = values.textOf("CAVal1");
    entry.agingDays2 = values.textOf("CAVal2");
    entry.agingDays3 = values.textOf("CAVal3");

    data::SetupCheck check = data::CheckCompanySetup(entry, numberInUse_, numberExists_);
    values.text["CoNumb"] = entry.number;
    if (check.problem) {
        static constexpr std::string_view kFocus[] = {"CEmailAdd", "CName",  "CoNumb",
                                                      "CAVal1",    "CAVal2", "CAVal3"};
        result.message = check.problem->message;
        result.focusControl = std::string(kFocus[int(check.problem->field)]);
        result.tab = check.problem->tab;
        return result;
    }
    values.text["CAVal1"] = entry.agingDays1;
    values.text["CAVal2"] = entry.agingDays2;
    values.text["CAVal3"] = entry.agingDays3;

    StoreControls(CompanySetupControls(), values, working_);
    // Without the logo the logo's file name is not kept.
    if (working_.byte(Company::PrintLogo) == 0) working_.setText(Company::LogoFile, "");
    result.ok = true;
    result.reloadCompanyInUse = check.reloadCompanyInUse;
    return result;
}

HeaderColours ReadHeaderColours(const std::string& folder) {
    HeaderColours c;
    c.shading = data::ReadColourFile(data::JoinPath(folder, data::kShadeColourFile));
    c.box = data::ReadColourFile(data::JoinPath(folder, data::kBoxColourFile));
    return c;
}

bool WriteHeaderColours(const std::string& folder, const HeaderColours& colours,
                        std::string* error) {
    bool ok = data::WriteColourFile(data::JoinPath(folder, data::kShadeColourFile),
                                    colours.shading & 0xFFFFFF, error);
    std::string second;
    if (!data::WriteColourFile(data::JoinPath(folder, data::kBoxColourFile), colours.box & 0xFFFFFF,
                               ok ? error : &second))
        ok = false;
    return ok;
}

}  // namespace invarro::app
