#include "invoicing/InvManage.h"

#include <vector>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/OperationError.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "invoicing/InvList.h"
#include "invoicing/Receivables.h"
#include "storage/BTree.h"

namespace invarro::invoicing {

namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Memo;
using data::Money;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;

// A number as keys compare it: trimmed and upper case.
std::string Number(std::string_view ansi) {
    return data::UpperAnsi(data::TrimText(ansi));
}

void Refuse(platform::Prompter& prompter, const std::string& title, const std::string& text) {
    prompter.ask(Message{title, text, Icon::Warning, Buttons::Ok, Answer::Ok});
}
void Note(platform::Prompter& prompter, const std::string& title, const std::string& text) {
    prompter.ask(Message{title, text, Icon::Information, Buttons::Ok, Answer::Ok});
}
bool Confirm(platform::Prompter& prompter, const std::string& title, const std::string& text) {
    return prompter.ask(Message{title, text, Icon::Question, Buttons::YesNo, Answer::No}) ==
           Answer::Yes;
}

bool IsQuoteOrMaster(char type) {
    return type == 'Q' || type == 'R';
}

// The company in use as the company fileblock holds it, with its record number.
struct StoredCompany {
    data::ExistingFileblock file;
    int32_t recNo = 0;
    data::CompanyRecord record;
};
bool ReadStoredCompany(const InvoiceFiles& files, StoredCompany& out,
                       platform::Prompter& prompter) {
    data::OpenExisting(out.file, files.folder, data::FileKind::Company, {}, prompter);
    if (!out.file.fb) return false;
    data::CompanyRecord probe;
    probe.setAnsi(Company::CompanyNo, files.company.ansi(Company::CompanyNo));
    auto found = data::FindAtOrAfter<Company>(out.file.fb, 1, probe);
    if (!found || found->key != data::CompanyKey(probe, 1)) return false;
    out.recNo = found->recNo;
    out.record = found->record;
    return true;
}

// The customer of an invoice in the customer file, with its record number.
struct StoredCustomer {
    data::ExistingFileblock file;
    int32_t recNo = 0;
    std::optional<data::CustomerRecord> record;
};
void ReadStoredCustomer(const InvoiceFiles& files, const data::InvoiceRecord& invoice,
                        StoredCustomer& out, platform::Prompter& prompter) {
    data::OpenExisting(out.file, files.folder, data::FileKind::Customer, files.prefix(), prompter);
    if (!out.file.fb) return;
    data::CustomerRecord probe;
    probe.setAnsi(Customer::CustNo, invoice.ansi(Invoice::CustNo));
    auto found = data::FindAtOrAfter<Customer>(out.file.fb, 2, probe);
    if (!found || Number(found->key) != Number(invoice.ansi(Invoice::CustNo))) return;
    out.recNo = found->recNo;
    out.record = found->record;
}

data::FieldRef<Customer, data::FieldKind::Money> BucketField(int bucket) {
    switch (bucket) {
        case 0:
            return Customer::Age0to30;
        case 1:
            return Customer::Age31to60;
        case 2:
            return Customer::Age61to90;
        default:
            return Customer::AgeOver90;
    }
}

DeleteOutcome DeleteInvoiceBody(data::Posting& posting, InvoiceFiles& files, int32_t recNo,
                                const data::InvoiceRecord& inv, platform::Prompter& prompter,
                                const platform::Clock& clock);

}  // namespace

std::string InvoiceFiles::prefix() const {
    return data::CompanyPrefix(company.ansi(Company::CompanyNo));
}

// ------------------------------------------------------------------ edit

bool IsPaidItem(const data::InvoiceRecord& inv) {
    return Number(inv.ansi(Invoice::PaidFlag)) == "P" && inv.money(Invoice::Paid) > Money();
}

bool InvoiceNumberEditable(std::string_view invNo) {
    return data::UpperText(invNo).find('G') == std::string::npos;
}

bool CheckBeforeEdit(const data::InvoiceRecord& inv, const data::CompanyRecord& company,
                     platform::Prompter& prompter) {
    const char type = TypeCode(inv);
    if (company.yes(Company::AuditTrail)) {
        Refuse(prompter, "Audit Trail",
               "The audit trail feature is turned on. Unable to modify record.");
        return false;
    }
    if (type == 'Z' || type == 'X') {
        Refuse(prompter, "Partial Payments",
               "This record is part of a partial-payment record and may not be edited.");
        return false;
    }
    if (type == 'R')
        Note(prompter, "Please Note",
             "This is a repeat billing master record. Changes to this record will be reflected "
             "in future generated invoices.");
    if (IsPaidItem(inv)) {
        Refuse(prompter, "Paid Item",
               "This record has been paid. You may not edit this record. You can use the "
               "Invoice-View menu option to look at this invoice.");
        return false;
    }
    if (type == 'D') {
        Refuse(prompter, "Deposit on Account",
               "This record is a deposit. You may not edit this record, however, you can delete "
               "it.");
        return false;
    }
    if (type == 'T') {
        Refuse(prompter, "Deposit Taken",
               "This record is a deposit which has been previously offset (taken). Unable to "
               "edit this record.");
        return false;
    }
    if (type == 'I' && inv.yes(Invoice::PrintedFlag) &&
        !Confirm(prompter, "Printed Invoice",
                 "This invoice has been printed. Are you sure you want to edit this record?"))
        return false;
    return true;
}

// ------------------------------------------------------------------ delete

bool IsUsedDeposit(const data::InvoiceRecord& inv) {
    // A deposit keeps its amount in Paid; once it is applied its balance is settled and
    // its paid flag set, while the T record carries the application.
    return TypeCode(inv) == 'D' && inv.money(Invoice::Paid) > Money() &&
           (Number(inv.ansi(Invoice::PaidFlag)) == "P" || inv.money(Invoice::BalanceDue).isZero());
}

int DeleteInvoiceLines(storage::Fileblock* lines, std::string_view invNo,
                       platform::Prompter& prompter) {
    data::InvoiceLineRecord probe;
    probe.setText(InvoiceLine::InvNo, invNo);
    const std::string wanted = Number(probe.ansi(InvoiceLine::InvNo));
    // The entries of exactly this number, gathered before anything is deleted. Lines of
    // other invoices whose numbers merely begin with this one ("123" for "12") sort after
    // them and end the walk.
    std::vector<int32_t> recNos;
    std::string key = data::InvoiceLineKey(probe, 2);
    int32_t recNo = storage::FindKeyAtOrAfter(lines, 2, key);
    while (storage::EngineOk && Number(key) == wanted) {
        recNos.push_back(recNo);
        storage::NextKey(lines, 2, key, recNo);
    }
    // The walk ends at the first other key or at the end of the index; anything else is
    // a failure of the index itself.
    if (!storage::EngineOk && storage::ErrorClass() != 1)
        throw data::OperationError(std::string(kDeleteLinesFailed));
    int count = 0;
    for (int32_t rec : recNos) {
        auto line = data::ReadBusinessRecord<InvoiceLine>(lines, rec);
        if (!line) {
            // An entry whose record is already gone does not stop the other lines from
            // going; a record that cannot be read does.
            if (!storage::EngineOk) throw data::OperationError(std::string(kDeleteLinesFailed));
            continue;
        }
        if (Number(line->ansi(InvoiceLine::InvNo)) != wanted) continue;
        if (!data::DeleteBusinessRecord(lines, rec, *line, prompter).ok())
            throw data::OperationError(std::string(kDeleteLinesFailed));
        ++count;
    }
    return count;
}

bool DeleteInvoiceMemo(storage::Fileblock* memos, std::string_view invNo,
                       platform::Prompter& prompter) {
    data::MemoRecord probe;
    probe.setText(Memo::InvNo, invNo);
    auto found = data::FindAtOrAfter<Memo>(memos, 1, probe);
    if (!found || Number(found->key) != Number(probe.ansi(Memo::InvNo))) return true;
    return data::DeleteBusinessRecord(memos, found->recNo, found->record, prompter).ok();
}

std::optional<data::CustomerRecord> FindInvoiceCustomer(const InvoiceFiles& files,
                                                        const data::InvoiceRecord& invoice,
                                                        platform::Prompter& prompter) {
    StoredCustomer c;
    ReadStoredCustomer(files, invoice, c, prompter);
    return c.record;
}

DeleteOutcome DeleteInvoice(InvoiceFiles& files, int32_t recNo, const data::InvoiceRecord& inv,
                            platform::Prompter& prompter, const platform::Clock& clock) {
    DeleteOutcome out;
    const char type = TypeCode(inv);
    const std::string number = data::TrimmedText(inv.text(Invoice::InvNo));

    if (files.company.yes(Company::AuditTrail)) {
        Refuse(prompter, "Audit Trail",
               "The audit trail feature is turned on. Unable to delete record.");
        return out;
    }
    if (type == 'Z' || type == 'X') {
        Refuse(prompter, "Partial Payment Item",
               "This record is associated with a partial payment (type X or Z). Unable to "
               "delete this item.");
        return out;
    }
    // An applied deposit and its application belong together with the invoices they
    // paid, which stay paid: deleting either would move the customer's balance alone.
    if (IsUsedDeposit(inv)) {
        Refuse(prompter, "Deposit on Account",
               "This deposit on account has been applied to invoices (type T), which stay "
               "paid by it. Unable to delete this item.");
        return out;
    }
    if (type == 'T') {
        Refuse(prompter, "Deposit Taken",
               "This record applies a deposit on account (type D) to invoices, which stay paid "
               "by it. Unable to delete this item.");
        return out;
    }
    if (!inv.money(Invoice::Paid).isZero())
        Note(prompter, "Please Note",
             "This record has payment activity. If you delete this record the payment data "
             "will also be removed.");
    if (type == 'R')
        Note(prompter, "Please Note",
             "This is a repeat billing master record. If you delete this master record, no "
             "further invoices will be generated.");
    if (type == 'D' &&
        !Confirm(prompter, "Please Confirm",
                 "You are about to delete a payment you posted as a Deposit on Account. Are "
                 "you sure?"))
        return out;
    if (!Confirm(prompter, "Delete Invoice#: " + number,
                 "Are you sure you want to delete this record?"))
        return out;

    // The record, its lines and memo, the customer's balance and aging and the company's
    // receivables go together or not at all.
    return data::RunPostingOrThrow<data::OperationError>(
        prompter, kDeleteFailed, [&](data::Posting& posting, platform::Prompter& held) {
            return DeleteInvoiceBody(posting, files, recNo, inv, held, clock);
        });
}

namespace {

// Reads the company and the customer inside the posting, so that both stay locked while
// the receivables move; an invoice changed meanwhile (a payment posted to it) stops the
// deletion with "The record has changed in the meantime.".
DeleteOutcome DeleteInvoiceBody(data::Posting& posting, InvoiceFiles& files, int32_t recNo,
                                const data::InvoiceRecord& inv, platform::Prompter& prompter,
                                const platform::Clock& clock) {
    DeleteOutcome out;
    const char type = TypeCode(inv);
    const std::string number = data::TrimmedText(inv.text(Invoice::InvNo));
    posting.keep(files.company);
    // The customer and the company are read before anything is deleted, so that the
    // receivables are not left without a way to update them.
    const bool movesBalances = !IsQuoteOrMaster(type);
    StoredCustomer customer;
    StoredCompany company;
    if (movesBalances) {
        if (!ReadStoredCompany(files, company, prompter))
            throw data::OperationError(std::string(kDeleteFailed));
        ReadStoredCustomer(files, inv, customer, prompter);
    }

    if (!data::DeleteBusinessRecord(files.invoices, recNo, inv, prompter).ok())
        throw data::OperationError(std::string(kDeleteFailed));

    if (movesBalances) {
        const Money due = inv.money(Invoice::Total) - inv.money(Invoice::Paid);
        bool customerOk = true;
        if (customer.record) {
            data::CustomerRecord updated = *customer.record;
            const data::DateOrder order =
                data::DateOrderFromCode(files.company.text(Company::DateFormatCode));
            // The period the aging put the amount in: its own count of the invoice's age.
            const int age = InvoiceAgeDays(inv, order, data::Today(clock)).value_or(0);
            const AgingLimits limits = AgingLimitsOf(files.company).value_or(AgingLimits{});
            const auto bucket = BucketField(AgingBucket(age, limits));
            customerOk =
                updated.setMoney(Customer::Balance, updated.money(Customer::Balance) - due) &&
                updated.setMoney(bucket, updated.money(bucket) - due) &&
                data::ChangeBusinessRecord(customer.file.fb, customer.recNo, *customer.record,
                                           updated, prompter)
                    .ok();
        }
        data::CompanyRecord updatedCompany = company.record;
        const Money receivables = company.record.money(Company::ARBalance) - due;
        const bool companyOk = updatedCompany.setMoney(Company::ARBalance, receivables) &&
                               data::ChangeBusinessRecord(company.file.fb, company.recNo,
                                                          company.record, updatedCompany, prompter)
                                   .ok();
        // Only the total changes in memory: the company in use keeps what start-up settled.
        if (companyOk) (void)files.company.setMoney(Company::ARBalance, receivables);
        // A balance that cannot be written stops the deletion; a customer who is not on
        // file has no balance to change, and the record still goes.
        if (customer.record && !customerOk) {
            Refuse(prompter, std::string(data::kAppTitle),
                   "The balance of customer " + data::TrimmedText(inv.text(Invoice::CustNo)) +
                       " could not be updated.");
            throw data::OperationError(std::string(kDeleteFailed));
        }
        if (!companyOk) {
            Refuse(prompter, std::string(data::kAppTitle),
                   "The receivables total of the company could not be updated.");
            throw data::OperationError(std::string(kDeleteFailed));
        }
        out.balancesChanged = customer.record.has_value();
        if (!customer.record && customer.file.ok)
            Refuse(prompter, std::string(data::kAppTitle),
                   "Customer " + data::TrimmedText(inv.text(Invoice::CustNo)) +
                       " of this record was not found. Its balance was not changed.");
        else if (!customer.record) {
            Refuse(prompter, std::string(data::kAppTitle),
                   "The balance of customer " + data::TrimmedText(inv.text(Invoice::CustNo)) +
                       " could not be updated.");
            throw data::OperationError(std::string(kDeleteFailed));
        }
    }

    out.memo = Number(inv.ansi(Invoice::InvoiceStyle)) == "M";
    out.lines = DeleteInvoiceLines(files.lines, inv.text(Invoice::InvNo), prompter);
    if (out.memo && !DeleteInvoiceMemo(files.memos, inv.text(Invoice::InvNo), prompter))
        throw data::OperationError(std::string(kDeleteMemoFailed));
    out.deleted = true;
    out.message = DeletedMessage(number, out.memo, out.lines);
    return out;
}

}  // namespace

}  // namespace invarro::invoicing
