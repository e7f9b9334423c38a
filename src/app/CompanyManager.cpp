#include "app/CompanyManager.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <system_error>

#include "data/Ansi.h"
#include "data/BooksAlone.h"
#include "data/Company.h"
#include "data/Dates.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Money.h"
#include "data/Open.h"
#include "data/OperationError.h"
#include "data/Posting.h"
#include "data/Replace.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "maintenance/BooksCopy.h"
#include "output/TextFile.h"
#include "storage/BTree.h"
#include "storage/FileIO.h"
#include "storage/Transaction.h"

namespace invarro::app {

namespace {

using data::Company;
namespace fs = std::filesystem;

// The rebuild's counters under a first line of its own.
class WorkingProgress : public platform::Progress {
  public:
    WorkingProgress(platform::Progress& inner, std::string first)
        : inner_(inner), first_(std::move(first)) {}
    void start(const std::string& title, int lines) override {
        inner_.start(title, lines + 1);
        inner_.setLine(0, first_);
    }
    void setLine(int index, const std::string& text) override { inner_.setLine(index + 1, text); }
    bool step() override { return inner_.step(); }
    void finish() override { inner_.finish(); }

  private:
    platform::Progress& inner_;
    std::string first_;
};

std::string PadRight(std::string_view utf8, size_t width) {
    std::string s(utf8);
    size_t n = data::CharCount(s);
    if (n > width) return data::FirstChars(s, width);
    s.append(width - n, ' ');
    return s;
}

std::string PadLeft(std::string_view utf8, size_t width) {
    size_t n = data::CharCount(utf8);
    if (n >= width) return std::string(utf8);
    return std::string(width - n, ' ') + std::string(utf8);
}

platform::Message Info(std::string title, std::string text,
                       platform::Icon icon = platform::Icon::Information) {
    return platform::Message{std::move(title), std::move(text), icon, platform::Buttons::Ok,
                             platform::Answer::Ok};
}

std::string EngineErrorText() {
    return std::to_string(storage::EngineError);
}

// The number of live records of a fileblock that exists; nothing when it cannot be opened.
std::optional<int32_t> LiveRecords(const std::string& name) {
    storage::Fileblock* fb = storage::OpenFileblock(name, true);
    if (!storage::EngineOk) return std::nullopt;
    int32_t n = storage::UsedRecordCount(fb);
    bool ok = storage::EngineOk;
    storage::CloseFileblock(fb);
    if (!ok) return std::nullopt;
    return n;
}

std::string TempNameBeside(const std::string& path) {
    return path + ".copy-" + std::to_string(::getpid());
}

// Copies from into a temporary file beside to, written through the engine's file layer and
// synced; gives its name, or nothing.
std::optional<std::string> CopyToTemp(const std::string& from, const std::string& to,
                                      std::string* error) {
    const std::string temp = TempNameBeside(to);
    data::RemoveFile(temp);
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (error) *error = errno == ENOENT ? "the file does not exist" : std::strerror(errno);
        return std::nullopt;
    }
    storage::OsFile out;
    bool ok = out.openNew(temp, 0600);
    int64_t at = 0;
    std::vector<char> buffer(size_t(1) << 16);
    while (ok) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = std::strerror(errno);
            ok = false;
            break;
        }
        if (n == 0) break;
        ok = out.write(at, buffer.data(), size_t(n));
        at += n;
    }
    ::close(in);
    ok = ok && out.sync() && out.close();
    if (!ok) {
        if (error && error->empty())
            *error = std::strerror(storage::OsError != 0 ? storage::OsError : EIO);
        storage::ResetStatus();
        out.closeQuietly();
        data::RemoveFile(temp);
        return std::nullopt;
    }
    return temp;
}

}  // namespace

storage::Fileblock* OpenCompanyFile(const std::string& folder, platform::Prompter& prompter,
                                    platform::Progress& progress) {
    WorkingProgress working(progress, "Working...");
    data::OpenRequest request;
    request.name = data::FileblockName(folder, data::FileKind::Company);
    request.kind = data::FileKind::Company;
    request.whenMissing =
        data::CreateMessage("I am going to create a new, empty company file.", "New Company");
    request.giveUp = data::GiveUpMessage("Unable to open company database");
    request.progress = &working;
    request.rebuildTitle = "Companies";
    return data::OpenBusinessFileblock(request, prompter).fb;
}

std::vector<data::ListColumn> CompanyListColumns() {
    return {{"Company Name", 35, false, kCompanyByName},
            {"Number", 6, false, kCompanyByNumber},
            {"Balance", 12, true, 0}};
}

std::string CompanyListHeader() {
    std::string s =
        PadRight("Company Name", 35) + " " + PadRight("Number", 6) + " " + PadLeft("Balance", 12);
    return PadRight(s, 128);
}

std::string CompanyRowText(const data::CompanyRecord& company) {
    std::string s = PadRight(company.text(Company::Name), 35) + " " +
                    PadRight(company.text(Company::CompanyNo), 6) + " " +
                    PadLeft(company.money(Company::ARBalance).shownText(), 12);
    return PadRight(s, 128);
}

std::string CompanyCountText(int32_t count) {
    return "Companies: " + std::to_string(count);
}

std::optional<CompanyAt> FindCompanyByNumber(storage::Fileblock* companies,
                                             std::string_view number) {
    data::CompanyRecord probe;
    probe.setText(Company::CompanyNo, data::TrimText(number));
    auto found = data::FindAtOrAfter<Company>(companies, 1, probe);
    if (!found) return std::nullopt;
    if (data::CompanyKey(found->record, 1) != data::CompanyKey(probe, 1)) return std::nullopt;
    return CompanyAt{found->recNo, found->record};
}

bool SameCompanyNumber(std::string_view a, std::string_view b) {
    auto na = data::WholeNumber(a), nb = data::WholeNumber(b);
    if (na && nb) return *na == *nb;
    return data::UpperText(data::TrimText(a)) == data::UpperText(data::TrimText(b));
}

int32_t AddCompany(storage::Fileblock* companies, const data::CompanyRecord& company,
                   platform::Prompter& prompter) {
    data::UpdateResult r = data::AddBusinessRecord(companies, company, prompter);
    if (!r.ok()) throw data::OperationError("Add operation failed");
    return r.recNo;
}

namespace {

// A mail password taken out of a company record leaves the company file at once: the
// committed change would otherwise wait in memory over the file until the next checkpoint,
// and the file keep the password until then.
void WriteOutRemovedPassword(const data::CompanyRecord& before, const data::CompanyRecord& after) {
    if (!before.text(Company::EMailPassword).empty() && after.text(Company::EMailPassword).empty())
        storage::CheckpointJournal();
}

}  // namespace

bool ChangeCompany(storage::Fileblock* companies, int32_t recNo, const data::CompanyRecord& asRead,
                   const data::CompanyRecord& edited, platform::Prompter& prompter) {
    data::UpdateResult r = data::ChangeBusinessRecord(companies, recNo, asRead, edited, prompter);
    if (r.status == data::UpdateStatus::ChangedElsewhere) return false;
    if (!r.ok()) throw data::OperationError("Modify Company failed");
    WriteOutRemovedPassword(asRead, edited);
    return true;
}

std::vector<std::string> CompanyFileNames(const std::string& folder, std::string_view prefix) {
    std::vector<std::string> names;
    for (char letter : {'P', 'C', 'N', 'I', 'M', 'E', 'B'})
        for (const char* ext : {".DAT", ".IX"})
            names.push_back(data::JoinPath(folder, std::string(prefix) + letter + ext));
    return names;
}

std::vector<std::string> DeleteCompanyFiles(const std::string& folder, std::string_view prefix) {
    std::vector<std::string> left;
    // Without a valid number there are no company files to go (and "P.DAT" is nobody's).
    if (data::CompanyPrefix(prefix).empty()) return left;
    if (maintenance::BooksOnBackend(folder)) {
        for (const data::FileKind kind : data::kCompanyFileOrder) {
            if (kind == data::FileKind::Company) continue;
            const std::string name = data::FileblockName(folder, kind, data::CompanyPrefix(prefix));
            if (!storage::FileblockExists(name)) continue;
            storage::DeleteFileblock(name);
            if (!storage::EngineOk) left.push_back(name);
        }
        return left;
    }
    for (const std::string& name : CompanyFileNames(folder, data::CompanyPrefix(prefix))) {
        std::error_code ec;
        if (!fs::exists(name, ec)) continue;
        if (!data::RemoveFile(name)) left.push_back(name);
    }
    return left;
}

DeleteOutcome DeleteCompany(const std::string& folder, storage::Fileblock* companies, int32_t recNo,
                            const data::CompanyRecord& company, std::string_view numberInUse,
                            const std::function<bool()>& passwordCheck,
                            platform::Prompter& prompter) {
    if (passwordCheck && !passwordCheck()) return DeleteOutcome::PasswordRefused;
    const std::string number = data::TrimmedText(company.text(Company::CompanyNo));
    if (SameCompanyNumber(number, numberInUse)) {
        prompter.ask(Info("Delete Company",
                          "You are trying to delete the current default company. You need to "
                          "have another company open to delete this one.",
                          platform::Icon::Warning));
        return DeleteOutcome::InUse;
    }
    if (!prompter.yesNo("Please Confirm",
                        "If you delete this company, all invoices and payments will also be "
                        "removed. ALL company data will be deleted! Data for other companies "
                        "will NOT be removed. Continue?",
                        platform::Answer::No, platform::Icon::Warning))
        return DeleteOutcome::Declined;
    // On a server the company goes only while nobody else works in the books.
    const data::BooksAlone alone(folder);
    if (!alone.granted()) {
        prompter.ask(Info("Delete Company", alone.refusal(), platform::Icon::Warning));
        return DeleteOutcome::InUse;
    }

    // A deleted record's bytes stay in the file (and in every backup of it) until the slot
    // is used again: its mail password is blanked first.
    data::CompanyRecord deleted = company;
    if (!company.text(Company::EMailPassword).empty()) {
        deleted.setText(Company::EMailPassword, "");
        if (!data::ChangeBusinessRecord(companies, recNo, company, deleted, prompter).ok())
            throw data::OperationError("Delete operation failed");
    }
    data::UpdateResult r = data::DeleteBusinessRecord(companies, recNo, deleted, prompter);
    if (!r.ok()) throw data::OperationError("Delete operation failed");
    WriteOutRemovedPassword(company, deleted);

    std::vector<std::string> left = DeleteCompanyFiles(folder, number);
    if (!left.empty()) {
        std::string text = "The company was removed, but these of its files could not be deleted:";
        for (const auto& name : left)
            text += "\n" + name;
        prompter.ask(Info("Delete Company", text, platform::Icon::Warning));
    }
    return DeleteOutcome::Deleted;
}

std::optional<CompanyListOrder> AskCompanyListOrder(platform::Prompter& prompter) {
    platform::Answer a = prompter.ask(platform::Message{
        "Company List",
        "The companies will be sorted by name. Would you rather sort by company number?",
        platform::Icon::Question, platform::Buttons::YesNoCancel, platform::Answer::No});
    if (a == platform::Answer::Cancel) return std::nullopt;
    if (a == platform::Answer::Yes)
        return CompanyListOrder{kCompanyByNumber, "Company List by Number"};
    return CompanyListOrder{kCompanyByName, "Company List by Name"};
}

std::vector<std::string> CompanyListLines(storage::Fileblock* companies, int keyNo,
                                          const platform::LocalDateTime& now,
                                          platform::Progress& progress) {
    const std::string rule(80, '-');
    std::vector<std::string> lines;
    lines.push_back("Invarro Company List");
    lines.push_back("Date: " + data::FormatLongDateTime(now));
    lines.push_back(rule);

    progress.start("Company List", 1);
    progress.setLine(0, "Preparing list...");
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(companies, keyNo, key);
    while (storage::EngineOk && recNo > 0) {
        auto company = data::ReadBusinessRecord<Company>(companies, recNo);
        if (company && !data::TrimText(company->text(Company::CompanyNo)).empty()) {
            lines.push_back(PadRight(company->text(Company::Name), 35) + "    Number: " +
                            PadRight(company->text(Company::CompanyNo), 5) + "    A/R: " +
                            PadRight(company->money(Company::ARBalance).shownText(), 12));
            lines.push_back(rule);
        }
        if (!progress.step()) break;
        storage::NextKey(companies, keyNo, key, recNo);
    }
    progress.finish();
    for (auto& line : lines)
        if (data::CharCount(line) > output::kTextListWidth)
            line = data::FirstChars(line, output::kTextListWidth);
    return lines;
}

// ---------------------------------------------------------------------------------------

std::string CopyDialogTitle(CopyMode mode) {
    return mode == CopyMode::Customers ? "Copy Customers to Another Company"
                                       : "Copy Products to Another Company";
}

std::string CopyDialogText(CopyMode mode, std::string_view numberInUse) {
    std::string what = mode == CopyMode::Customers ? "customers" : "products";
    return "This option will copy the current " + what + " for this company (number " +
           data::TrimmedText(numberInUse) + ") to the company number you enter below.";
}

std::optional<std::string> CheckCopyDestination(std::string_view entry,
                                                std::string_view numberInUse,
                                                platform::Prompter& prompter) {
    auto n = data::WholeNumber(entry);
    if (!n) {
        prompter.ask(Info(std::string(data::kAppTitle),
                          "That is not a valid company number. It must be numeric only.",
                          platform::Icon::Warning));
        return std::nullopt;
    }
    if (*n < 1 || *n > data::kMaxCompanyNo) {
        prompter.ask(Info("Invalid Company Number",
                          "The Company number must be between 0 and 32001.",
                          platform::Icon::Warning));
        return std::nullopt;
    }
    if (SameCompanyNumber(std::to_string(*n), numberInUse)) {
        prompter.ask(Info("Default Company",
                          "You are trying to copy the product file to the current default "
                          "company. Enter a different company number to copy the products to.",
                          platform::Icon::Warning));
        return std::nullopt;
    }
    // "05" names company 5: its files are "5P.DAT" and "5P.IX".
    return data::CompanyPrefix(int(*n));
}

bool CopyFileReplacing(const std::string& from, const std::string& to, std::string* error) {
    auto temp = CopyToTemp(from, to, error);
    if (!temp) return false;
    // The copy is durable before it takes the name, and the name before success.
    if (!storage::RenameFile(*temp, to) || !storage::SyncFolder(storage::FolderOf(to))) {
        if (error) *error = std::strerror(storage::OsError != 0 ? storage::OsError : EIO);
        storage::ResetStatus();
        data::RemoveFile(*temp);
        return false;
    }
    return true;
}

bool CopyEInvoiceRecords(const std::string& folder, char kind, std::string_view sourcePrefix,
                         std::string_view destinationPrefix, platform::Prompter& prompter) {
    data::ExistingFileblock source;
    data::OpenExisting(source, folder, data::FileKind::EInvoice, sourcePrefix, prompter);
    if (!source.ok) return false;
    const std::string target =
        data::FileblockName(folder, data::FileKind::EInvoice, destinationPrefix);
    if (!source.fb && !storage::FileblockExists(target)) return true;
    std::vector<data::EInvoiceRecord> copied;
    for (int32_t r = source.fb ? storage::NextUsedRecord(source.fb, 0) : 0;
         r > 0 && storage::EngineOk; r = storage::NextUsedRecord(source.fb, r))
        if (auto rec = data::ReadBusinessRecord<data::EInvoice>(source.fb, r))
            if (data::TrimmedText(rec->text(data::EInvoice::Kind)) == std::string(1, kind))
                copied.push_back(*rec);
    data::OpenRequest request;
    request.name = target;
    request.kind = data::FileKind::EInvoice;
    data::OpenResult open = data::OpenBusinessFileblock(request, prompter);
    if (!open) return false;
    bool ok = true;
    {
        data::Posting posting;
        ok = posting.started();
        // The destination's records of this kind are replaced by the source's.
        std::vector<std::pair<int32_t, data::EInvoiceRecord>> old;
        for (int32_t r = storage::NextUsedRecord(open.fb, 0); ok && r > 0 && storage::EngineOk;
             r = storage::NextUsedRecord(open.fb, r))
            if (auto rec = data::ReadBusinessRecord<data::EInvoice>(open.fb, r))
                if (data::TrimmedText(rec->text(data::EInvoice::Kind)) == std::string(1, kind))
                    old.emplace_back(r, *rec);
        for (const auto& [r, rec] : old)
            ok = ok && data::DeleteBusinessRecord(open.fb, data::KindOf(data::FileKind::EInvoice),
                                                  r, rec.data(), prompter)
                           .ok();
        for (const data::EInvoiceRecord& rec : copied)
            ok = ok && data::AddBusinessRecord(open.fb, rec, prompter).ok();
        ok = ok && posting.commit();
    }
    storage::CloseFileblock(open.fb);
    return ok;
}

namespace {

// Both files are copied beside their destination first and put in place together.
bool CopyFileblockFiles(const std::string& folder, const std::string& source,
                        const std::string& target, const std::string& title,
                        const std::string& failText, platform::Prompter& prompter) {
    // The copies are of whole files: what the journal still holds is in them first.
    storage::CheckpointJournal();
    storage::ResetStatus();
    const std::string from[2] = {storage::DataFileName(source), storage::IndexFileName(source)};
    const std::string to[2] = {storage::DataFileName(target), storage::IndexFileName(target)};
    std::optional<std::string> temp[2];
    bool failed = false;
    for (int i = 0; i < 2; ++i) {
        std::string error;
        temp[i] = CopyToTemp(from[i], to[i], &error);
        if (!temp[i]) {
            failed = true;
            prompter.ask(
                Info(title, failText + "\n" + from[i] + ": " + error, platform::Icon::Error));
        }
    }
    if (!failed) {
        std::string error;
        if (!data::ReplaceFilesTogether(folder, {{to[0], *temp[0], ""}, {to[1], *temp[1], ""}}, {},
                                        &error)) {
            failed = true;
            prompter.ask(Info(title, failText + "\n" + error, platform::Icon::Error));
        }
    }
    for (auto& t : temp) {
        std::error_code ec;
        if (t) fs::remove(*t, ec);
    }
    return !failed;
}

}  // namespace

CopyOutcome CopyToCompany(const std::string& folder, CopyMode mode, std::string_view sourcePrefix,
                          std::string_view destinationPrefix, platform::Prompter& prompter) {
    const bool customers = mode == CopyMode::Customers;
    const data::FileKind kind = customers ? data::FileKind::Customer : data::FileKind::Product;
    const std::string title = CopyDialogTitle(mode);

    if (customers) {
        const std::string invoices =
            data::FileblockName(folder, data::FileKind::Invoice, destinationPrefix);
        if (storage::FileblockExists(invoices)) {
            auto count = LiveRecords(invoices);
            if (!count) {
                prompter.ask(Info(title,
                                  "The invoice file of company " + std::string(destinationPrefix) +
                                      " cannot be read (error " + EngineErrorText() +
                                      "). Nothing was copied.",
                                  platform::Icon::Error));
                return CopyOutcome::Refused;
            }
            if (*count > 0) {
                prompter.ask(Info(
                    "Invoices and Customers Exist",
                    "The destination company has invoices on file. Overwritting those customers "
                    "is not supported. Use the EXPORT and IMPORT features in the Customer Manager "
                    "to export these customers, then open the destination company and import "
                    "them.",
                    platform::Icon::Warning));
                return CopyOutcome::Refused;
            }
        }
    } else {
        const std::string products = data::FileblockName(folder, kind, destinationPrefix);
        if (storage::FileblockExists(products)) {
            // A product file that cannot be opened may still hold products: ask all the same.
            auto count = LiveRecords(products);
            if ((!count || *count > 0) &&
                !prompter.yesNo("Products Exist",
                                "Warning! Products exist in the destination company. If you "
                                "continue, those products will be overwritten with these "
                                "products. Continue?",
                                platform::Answer::No, platform::Icon::Warning))
                return CopyOutcome::Declined;
        }
    }

    // The destination fileblock becomes a copy of the source's; in files the data file and
    // the index are put in place together, so that they always belong together.
    const std::string source = data::FileblockName(folder, kind, sourcePrefix);
    const std::string target = data::FileblockName(folder, kind, destinationPrefix);
    const std::string failText =
        customers ? "Unable to copy customers." : "Unable to copy products.";
    bool failed = false;
    if (maintenance::BooksOnBackend(folder)) {
        // On a server the fileblock is copied slot for slot, the destination's kept aside
        // until the copy is made.
        std::string error;
        if (!maintenance::ReplaceFileblock(source, target, &error)) {
            prompter.ask(Info(title, failText + "\n" + error, platform::Icon::Error));
            return CopyOutcome::Failed;
        }
    } else {
        failed = !CopyFileblockFiles(folder, source, target, title, failText, prompter);
    }
    if (failed) return CopyOutcome::Failed;
    // The e-invoicing data of what was copied goes along (customers' or products' records
    // only: the destination keeps its records of the other kind).
    if (!CopyEInvoiceRecords(folder, customers ? 'C' : 'P', sourcePrefix, destinationPrefix,
                             prompter)) {
        prompter.ask(Info(title,
                          failText + "\nThe e-invoicing data could not be copied (error " +
                              EngineErrorText() + ").",
                          platform::Icon::Error));
        return CopyOutcome::Failed;
    }

    if (customers)
        prompter.ask(Info("Please Note Customer Balances!",
                          "The customer balances were also transferred to the new company. After "
                          "you enter your first invoice in the new company, run the Aging Chart "
                          "on the Tools Menu to re-calculate customer balances."));
    prompter.ask(Info("Copy Complete",
                      "The required files have been copied to specified company. To use it, open "
                      "that company or create a new company using the company number you "
                      "entered."));
    return CopyOutcome::Copied;
}

// ---------------------------------------------------------------------------------------

std::optional<data::CompanyRecord> CompanyAfterManager(const std::string& folder,
                                                       const CompanyManagerResult& result,
                                                       std::string_view numberInUse) {
    std::string number;
    if (result.chosenNumber)
        number = *result.chosenNumber;
    else if (result.inUseEdited)
        number = std::string(numberInUse);
    else
        return std::nullopt;

    storage::Fileblock* fb =
        storage::OpenFileblock(data::FileblockName(folder, data::FileKind::Company), true);
    if (!storage::EngineOk) return std::nullopt;
    auto found = FindCompanyByNumber(fb, number);
    storage::CloseFileblock(fb);
    if (!found) return std::nullopt;
    return found->record;
}

}  // namespace invarro::app
