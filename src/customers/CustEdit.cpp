#include "customers/CustEdit.h"

#include <cctype>
#include <cstdint>
#include <vector>

#include "data/Ansi.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "storage/BTree.h"

namespace invarro::customers {

namespace {

using data::Customer;
using data::CustomerRecord;
using data::Invoice;
using data::InvoiceLine;
using data::InvoiceRecord;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;

std::string Cut(std::string_view text, int width) {
    return data::FirstChars(text, std::size_t(width));
}

Message Problem(const std::string& title, const std::string& text) {
    return Message{title, text, Icon::Warning, Buttons::Ok, Answer::Ok};
}

// A company that has never had invoices has no invoice file: nothing to update then.
using data::ExistingFileblock;
using data::OpenExisting;

}  // namespace

CustomerEntry NewCustomerEntry(const data::CompanyRecord& company) {
    CustomerEntry e;
    e.number = data::TrimmedText(company.text(data::Company::NextCustNo));
    e.proposedNumber = e.number;
    e.balance = "0.00";
    e.taxExempt = "N";
    e.creditLimit = "0.00";
    e.terms = company.text(data::Company::DefTerms);
    return e;
}

CustomerEntry EntryFromRecord(const CustomerRecord& c) {
    CustomerEntry e;
    e.number = c.text(Customer::CustNo);
    e.name = c.text(Customer::Name);
    e.shortName = c.text(Customer::ShortName);
    e.custType = c.text(Customer::CustType);
    e.taxExempt = c.text(Customer::TaxExempt);
    std::string limit = c.text(Customer::CreditLimit);
    if (data::TrimText(limit).empty()) limit = "0.00";
    e.creditLimit = limit;
    e.terms = c.text(Customer::Terms);
    e.bill = {c.text(Customer::BillAddr1), c.text(Customer::BillAddr2), c.text(Customer::BillAddr3),
              c.text(Customer::BillAddr4)};
    e.ship = {c.text(Customer::ShipAddr1), c.text(Customer::ShipAddr2), c.text(Customer::ShipAddr3),
              c.text(Customer::ShipAddr4)};
    e.phone1 = c.text(Customer::Phone1);
    e.phone2 = c.text(Customer::Phone2);
    e.mailSortCode = c.text(Customer::MailSortCode);
    e.eMail = c.text(Customer::EMail);
    e.notes = c.text(Customer::Notes);
    e.creditHold = c.yes(Customer::CreditHold);
    e.notesOnInvoice = c.yes(Customer::NotesOnInvoice);
    e.notesOnStatement = c.yes(Customer::NotesOnStatement);
    e.balance = c.money(Customer::Balance).shownText();
    return e;
}

std::string ShortNameFor(std::string_view name) {
    const std::string n = data::TrimmedText(name);
    const std::size_t blank = n.find(' ');
    if (blank == std::string::npos) return Cut(n, width::kShortName);
    std::size_t i = 0;
    char32_t first = 0;
    data::NextUtf8(n, i, first);
    std::string out = n.substr(0, i);
    return out + Cut(std::string_view(n).substr(blank + 1), width::kShortName - 1);
}

void ApplyShortNameRule(CustomerEntry& entry) {
    if (data::TrimText(entry.shortName).empty()) entry.shortName = ShortNameFor(entry.name);
}

std::string NumberForCompare(std::string_view number) {
    return data::UpperText(data::TrimText(number));
}

std::optional<EntryProblem> CheckCustomerEntry(CustomerEntry& e, std::string_view startingNumber,
                                               storage::Fileblock* customers) {
    e.number = Cut(e.number, width::kNumber);
    e.name = Cut(e.name, width::kName);
    if (data::TrimText(e.number).empty())
        return EntryProblem{EntryField::Number,
                            Problem("Customer Number", "You must enter a customer number.")};
    if (data::TrimText(e.name).empty())
        return EntryProblem{EntryField::Name,
                            Problem("Customer Name", "You must enter a customer name.")};
    ApplyShortNameRule(e);
    if (!data::TrimText(e.eMail).empty() && e.eMail.find('@') == std::string::npos)
        return EntryProblem{EntryField::EMail,
                            Problem("Customer E-Mail Address",
                                    "The customer e-mail address does not have the @ sign "
                                    "included. Bad e-mail address.")};

    const std::string start = NumberForCompare(startingNumber);
    const std::string number = NumberForCompare(e.number);
    CustomerRecord probe;
    probe.setText(Customer::CustNo, e.number);
    if (auto found = data::FindAtOrAfter<Customer>(customers, 2, probe)) {
        if (NumberForCompare(found->record.text(Customer::CustNo)) == number && number != start)
            return EntryProblem{EntryField::Number,
                                Problem("Customer Number",
                                        "That customer number already exists. You will need to "
                                        "use a different number.")};
    }
    probe.setText(Customer::Name, e.name);
    if (auto found = data::FindAtOrAfter<Customer>(customers, 1, probe)) {
        // Names are compared as the unique name key holds them: two names that agree in
        // their first 30 characters cannot both be stored.
        if (found->key == data::CustomerKey(probe, 1) &&
            NumberForCompare(found->record.text(Customer::CustNo)) != start)
            return EntryProblem{EntryField::Name,
                                Problem("Duplicate Customer Name",
                                        "That customer name already exists. You should not "
                                        "enter the same customer name with a different "
                                        "customer number.")};
    }
    if (!data::ParseMoney(e.creditLimit))
        return EntryProblem{
            EntryField::CreditLimit,
            Problem("Credit Limit", "The CREDIT LIMIT amount has an invalid value.")};
    return std::nullopt;
}

CustomerRecord RecordFromEntry(const CustomerEntry& e, CustomerRecord r) {
    r.setText(Customer::CustNo, data::TrimmedText(e.number));
    r.setText(Customer::Name, e.name);
    r.setText(Customer::CustType, e.custType);
    r.setText(Customer::TaxExempt, data::UpperText(data::TrimmedText(e.taxExempt)));
    const data::Money limit = data::ParseMoney(e.creditLimit).value_or(data::Money());
    (void)r.setMoney(Customer::CreditLimit, limit);
    r.setText(Customer::Terms, e.terms);
    r.setText(Customer::BillAddr1, e.bill[0]);
    r.setText(Customer::BillAddr2, e.bill[1]);
    r.setText(Customer::BillAddr3, e.bill[2]);
    r.setText(Customer::BillAddr4, e.bill[3]);
    r.setText(Customer::ShipAddr1, e.ship[0]);
    r.setText(Customer::ShipAddr2, e.ship[1]);
    r.setText(Customer::ShipAddr3, e.ship[2]);
    r.setText(Customer::ShipAddr4, e.ship[3]);
    r.setText(Customer::Notes, e.notes);
    r.setText(Customer::Phone1, e.phone1);
    r.setText(Customer::Phone2, e.phone2);
    r.setText(Customer::ShortName, e.shortName);
    r.setYes(Customer::CreditHold, e.creditHold);
    r.setYes(Customer::NotesOnInvoice, e.notesOnInvoice);
    r.setYes(Customer::NotesOnStatement, e.notesOnStatement);
    r.setText(Customer::MailSortCode, e.mailSortCode);
    r.setText(Customer::EMail, e.eMail);
    return r;
}

CustomerRecord NewCustomerRecord(const CustomerEntry& entry) {
    CustomerRecord r;
    for (auto f : {Customer::Balance, Customer::Age0to30, Customer::Age31to60, Customer::Age61to90,
                   Customer::AgeOver90})
        (void)r.setMoney(f, data::Money());
    return RecordFromEntry(entry, r);
}

std::optional<std::string> NextCustomerNumber(std::string_view number) {
    std::string_view t = data::TrimText(number);
    int64_t value = 0;
    bool whole = !t.empty();
    std::size_t i = 0;
    bool negative = false;
    if (whole && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        i = 1;
        whole = t.size() > 1;
    }
    for (; whole && i < t.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(t[i])) || value > 99999999) {
            whole = false;
            break;
        }
        value = value * 10 + (t[i] - '0');
    }
    if (!whole) value = 0;
    if (negative) value = -value;
    std::string next = std::to_string(value + 1);
    if (int(next.size()) > width::kNumber) return std::nullopt;
    return next;
}

std::string CustomerFiles::prefix() const {
    return data::CompanyPrefix(company.ansi(data::Company::CompanyNo));
}

namespace {

// The company's row as the company fileblock holds it now; read inside a posting, it stays
// locked until the posting ends.
struct LockedCompany {
    ExistingFileblock file;
    std::optional<data::Found<data::Company>> found;
    LockedCompany(const std::string& folder, const data::CompanyRecord& company,
                  platform::Prompter& prompter) {
        OpenExisting(file, folder, data::FileKind::Company, {}, prompter);
        if (!file.fb) return;
        data::CompanyRecord probe;
        probe.setAnsi(data::Company::CompanyNo, company.ansi(data::Company::CompanyNo));
        found = data::FindAtOrAfter<data::Company>(file.fb, 1, probe);
        if (found && found->key != data::CompanyKey(probe, 1)) found.reset();
    }
};

}  // namespace

std::optional<std::string> LockedNextCustomerNumber(CustomerFiles& files,
                                                    platform::Prompter& prompter) {
    const LockedCompany company(files.folder, files.company, prompter);
    if (!company.found) return std::nullopt;
    return data::TrimmedText(company.found->record.text(data::Company::NextCustNo));
}

bool StoreNextCustomerNumber(const std::string& folder, data::CompanyRecord& company,
                             std::string_view next, platform::Prompter& prompter) {
    const LockedCompany locked(folder, company, prompter);
    if (!locked.found) return false;
    const auto& found = locked.found;
    data::CompanyRecord stored = found->record;
    stored.setText(data::Company::NextCustNo, next);
    if (!data::ChangeBusinessRecord(locked.file.fb, found->recNo, found->record, stored, prompter)
             .ok())
        return false;
    // Only the number changes in memory: the company in use keeps what start-up settled
    // there (the quote word, the caption of a company not yet set up, the background).
    company.setText(data::Company::NextCustNo, next);
    return true;
}

namespace {

// Whether a customer with this number is on file (the number compared as the editor does).
bool CustomerNumberTaken(storage::Fileblock* customers, std::string_view number) {
    CustomerRecord probe;
    probe.setText(Customer::CustNo, number);
    auto found = data::FindAtOrAfter<Customer>(customers, 2, probe);
    return found &&
           NumberForCompare(found->record.text(Customer::CustNo)) == NumberForCompare(number);
}

// One attempt of adding a customer. The company's row is read first and stays locked until
// the posting ends, so that two people adding customers at once take turns: a number
// proposed from the counter is the stored counter's (the next free one after it when
// someone typed it by hand), and a number typed by hand is checked against the customers
// on file while the counter is held.
int32_t AddCustomerBody(CustomerFiles& files, CustomerEntry& entry, bool& renumbered,
                        platform::Prompter& prompter) {
    const LockedCompany locked(files.folder, files.company, prompter);
    const auto& company = locked.found;
    if (!storage::EngineOk && storage::ErrorClass() == 2)
        throw CustomerError(std::string(kAddFailed));
    const bool proposed = !entry.proposedNumber.empty() &&
                          NumberForCompare(entry.number) == NumberForCompare(entry.proposedNumber);
    if (proposed && company) {
        std::string number = data::TrimmedText(company->record.text(data::Company::NextCustNo));
        if (number.empty()) number = "1";
        for (int tries = 0; tries < 1000 && CustomerNumberTaken(files.customers, number); ++tries)
            if (auto next = NextCustomerNumber(number)) number = *next;
        if (NumberForCompare(number) != NumberForCompare(entry.number)) {
            entry.number = number;
            renumbered = true;
        }
    }
    if (CustomerNumberTaken(files.customers, entry.number)) {
        prompter.ask(Problem("Customer Number",
                             "That customer number already exists. You will need to use a "
                             "different number."));
        throw CustomerError(std::string(kAddFailed));
    }
    data::UpdateResult r =
        data::AddBusinessRecord(files.customers, NewCustomerRecord(entry), prompter);
    if (!r.ok()) throw CustomerError(std::string(kAddFailed));
    const std::optional<std::string> next = NextCustomerNumber(entry.number);
    bool counterSaved = company.has_value();
    if (next && company) {
        data::CompanyRecord stored = company->record;
        stored.setText(data::Company::NextCustNo, *next);
        counterSaved = data::ChangeBusinessRecord(locked.file.fb, company->recNo, company->record,
                                                  stored, prompter)
                           .ok();
    }
    // Only the number changes in memory: the company in use keeps what start-up settled
    // there (the quote word, the caption of a company not yet set up, the background).
    if (next) files.company.setText(data::Company::NextCustNo, *next);
    if (next && !counterSaved) {
        // A lock met: the posting runs again whole. Otherwise the customer is stored and
        // only the proposal for the next one could not be kept.
        if (storage::ErrorClass() == 2) throw CustomerError(std::string(kAddFailed));
        prompter.inform("Next Customer Number",
                        "The customer was added, but the next customer number could not be "
                        "saved in the company file.",
                        Icon::Warning);
    }
    return r.recNo;
}

}  // namespace

int32_t AddCustomer(CustomerFiles& files, CustomerEntry& entry, platform::Prompter& prompter) {
    bool renumbered = false;
    const int32_t recNo = data::RunPostingOrThrow<CustomerError>(
        prompter, kAddFailed, [&](data::Posting& posting, platform::Prompter& held) {
            posting.keep(files.company);
            posting.keep(entry.number);
            renumbered = false;
            return AddCustomerBody(files, entry, renumbered, held);
        });
    if (renumbered)
        prompter.inform(std::string(data::kAppTitle), std::string(kSavedAsCustomer) + entry.number);
    return recNo;
}

RenumberResult RenumberInvoices(const std::string& folder, std::string_view prefix,
                                std::string_view oldNumber, std::string_view newNumber,
                                platform::Prompter& prompter, storage::Fileblock* heldInvoices,
                                storage::Fileblock* heldLines) {
    RenumberResult result;
    ExistingFileblock opened;
    storage::Fileblock* invoices = heldInvoices;
    if (!invoices) {
        OpenExisting(opened, folder, data::FileKind::Invoice, prefix, prompter);
        if (!opened.ok) {
            result.ok = false;
            return result;
        }
        invoices = opened.fb;
    }
    if (!invoices) return result;
    ExistingFileblock openedLines;
    storage::Fileblock* lines = heldLines;
    bool linesOpened = heldLines != nullptr;

    const std::string oldKey = NumberForCompare(oldNumber);
    const std::string newText = data::TrimmedText(newNumber);
    InvoiceRecord probe;
    probe.setText(Invoice::CustNo, oldNumber);
    const std::string key = data::InvoiceKey(probe, 2);
    for (;;) {
        // Each changed invoice leaves the old number's entries, so the next one is always
        // the first entry at the old key.
        auto found = data::FindAtOrAfter<Invoice>(invoices, 2, probe);
        if (!found || found->key != key) break;
        InvoiceRecord changed = found->record;
        changed.setText(Invoice::CustNo, newText);
        if (!data::ChangeBusinessRecord(invoices, found->recNo, found->record, changed, prompter)
                 .ok()) {
            result.ok = false;
            break;
        }
        ++result.invoices;

        if (!linesOpened) {
            OpenExisting(openedLines, folder, data::FileKind::InvoiceLine, prefix, prompter);
            linesOpened = true;
            if (!openedLines.ok) {
                result.ok = false;
                break;
            }
            lines = openedLines.fb;
        }
        if (!lines) continue;
        // The lines of this invoice (line key 2) that still name the old customer.
        data::InvoiceLineRecord lineProbe;
        lineProbe.setAnsi(InvoiceLine::InvNo, found->record.ansi(Invoice::InvNo));
        std::string lineKey = data::InvoiceLineKey(lineProbe, 2);
        std::vector<int32_t> recNos;
        std::string k = lineKey;
        int32_t rec = storage::FindKeyAtOrAfter(lines, 2, k);
        while (storage::EngineOk && k == lineKey) {
            recNos.push_back(rec);
            storage::NextKey(lines, 2, k, rec);
        }
        for (int32_t n : recNos) {
            auto line = data::ReadBusinessRecord<InvoiceLine>(lines, n);
            if (!line || NumberForCompare(line->text(InvoiceLine::CustNo)) != oldKey) continue;
            data::InvoiceLineRecord moved = *line;
            moved.setText(InvoiceLine::CustNo, newText);
            if (!data::ChangeBusinessRecord(lines, n, *line, moved, prompter).ok()) {
                result.ok = false;
                return result;
            }
            ++result.lines;
        }
    }
    return result;
}

Message RenumberedMessage(int invoices) {
    return Message{"Customer Number Changed",
                   "This customer has " + std::to_string(invoices) +
                       " invoices(s) on file. All have been changed to reflect the new "
                       "customer number.",
                   Icon::Information, Buttons::Ok, Answer::Ok};
}

RenumberResult ChangeCustomer(CustomerFiles& files, int32_t recNo, const CustomerRecord& asRead,
                              const CustomerEntry& entry, std::string_view startingNumber,
                              platform::Prompter& prompter) {
    const CustomerRecord updated = RecordFromEntry(entry, asRead);
    // The customer and, with a new number, every invoice and line of it are one posting:
    // no invoice is ever left on a number that no customer has.
    const RenumberResult r = data::RunPostingOrThrow<CustomerError>(
        prompter, kModifyFailed, [&](data::Posting&, platform::Prompter& held) {
            if (!data::ChangeBusinessRecord(files.customers, recNo, asRead, updated, held).ok())
                throw CustomerError(std::string(kModifyFailed));
            RenumberResult moved;
            if (NumberForCompare(entry.number) != NumberForCompare(startingNumber))
                moved = RenumberInvoices(files.folder, files.prefix(), startingNumber, entry.number,
                                         held, files.heldInvoices, files.heldLines);
            if (!moved.ok) throw CustomerError(std::string(kModifyFailed));
            return moved;
        });
    if (r.invoices > 0) prompter.ask(RenumberedMessage(r.invoices));
    return r;
}

bool CustomerHasInvoices(const std::string& folder, std::string_view prefix,
                         std::string_view number, platform::Prompter& prompter,
                         storage::Fileblock* heldInvoices) {
    ExistingFileblock opened;
    storage::Fileblock* invoices = heldInvoices;
    if (!invoices) {
        OpenExisting(opened, folder, data::FileKind::Invoice, prefix, prompter);
        // An invoice file that cannot be read might hold invoices: do not let the customer
        // go.
        if (!opened.ok) return true;
        invoices = opened.fb;
    }
    if (!invoices) return false;
    InvoiceRecord probe;
    probe.setText(Invoice::CustNo, number);
    auto found = data::FindAtOrAfter<Invoice>(invoices, 2, probe);
    return found &&
           NumberForCompare(found->record.text(Invoice::CustNo)) == NumberForCompare(number);
}

namespace {

constexpr std::string_view kDeleteTitle = "Delete Customer";
constexpr std::string_view kHasBalance = "This customer has a balance due. Unable to delete.";
constexpr std::string_view kHasInvoices =
    "This customer has invoices on file and may not be deleted. You can mark this customer as "
    "inactive, otherwise, wait until you remove their paid invoices, then delete.";

// Why the customer may not be deleted (shown under kDeleteTitle); empty when it may.
std::string_view DeleteRefusal(const CustomerFiles& files, const CustomerRecord& customer,
                               platform::Prompter& prompter) {
    if (!customer.money(Customer::Balance).isZero()) return kHasBalance;
    if (CustomerHasInvoices(files.folder, files.prefix(), customer.text(Customer::CustNo), prompter,
                            files.heldInvoices))
        return kHasInvoices;
    return {};
}

}  // namespace

bool DeleteCustomer(CustomerFiles& files, int32_t recNo, const CustomerRecord& customer,
                    platform::Prompter& prompter) {
    if (const std::string_view refusal = DeleteRefusal(files, customer, prompter);
        !refusal.empty()) {
        prompter.inform(std::string(kDeleteTitle), std::string(refusal), Icon::Warning);
        return false;
    }
    const std::string number = customer.text(Customer::CustNo);
    if (!prompter.yesNo("Delete Customer#: " + number,
                        "Are you sure you want to delete this customer?", Answer::No))
        return false;
    // The customer's e-invoicing data goes with it, so that a later customer of that number
    // starts without it. A file of that data that cannot be opened is passed over.
    data::ExistingFileblock einvoice;
    data::OpenExisting(einvoice, files.folder, data::FileKind::EInvoice, files.prefix(), prompter);
    // The customer is read again inside the posting (locking it on a server, so that no
    // invoice is posted to it meanwhile): a balance or an invoice that came since the list
    // was read refuses the delete as above, after the posting.
    return data::RunPostingOrThrow<CustomerError>(
        prompter, kDeleteFailed, [&](data::Posting&, platform::Prompter& held) {
            const auto stored = data::ReadBusinessRecord<Customer>(files.customers, recNo);
            if (stored && stored->text(Customer::CustNo) == number) {
                if (const std::string_view refusal = DeleteRefusal(files, *stored, held);
                    !refusal.empty()) {
                    held.inform(std::string(kDeleteTitle), std::string(refusal), Icon::Warning);
                    return false;
                }
            }
            if (!data::DeleteBusinessRecord(files.customers, recNo, customer, held).ok())
                throw CustomerError(std::string(kDeleteFailed));
            if (einvoice.fb &&
                !data::StoreEInvoiceRecord(einvoice.fb, data::CustomerEInvoiceRecord(number, {}),
                                           true, held))
                throw CustomerError(std::string(kDeleteFailed));
            return true;
        });
}

}  // namespace invarro::customers
