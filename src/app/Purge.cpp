#include "app/Purge.h"

#include "data/Ansi.h"
#include "data/BooksAlone.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/OperationError.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "invoicing/InvManage.h"
#include "storage/BTree.h"
#include "storage/Engine.h"

namespace invarro::app {

namespace {

using data::Invoice;
using data::InvoiceLine;
using data::Memo;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;

std::string Number(std::string_view ansi) {
    return data::UpperAnsi(data::TrimText(ansi));
}

void Tell(platform::Prompter& prompter, std::string title, std::string text, Icon icon) {
    prompter.ask(Message{std::move(title), std::move(text), icon, Buttons::Ok, Answer::Ok});
}

// Dated before the cut-off. A record without a readable sort date is not "older" than
// any date and stays.
bool Older(const data::InvoiceRecord& inv, const data::Date& cutOff) {
    auto d = data::ParseSortDate(inv.text(Invoice::SortDate));
    return d && *d < cutOff;
}

data::OpenResult Open(const Session& session, data::FileKind kind, platform::Prompter& prompter) {
    data::OpenRequest request;
    request.name = data::FileblockName(session.folder, kind, session.companyPrefix());
    request.kind = kind;
    request.giveUp = data::GiveUpMessage("Unable to open databases: ");
    request.giveUpWithError = true;
    return data::OpenBusinessFileblock(request, prompter);
}

// Deletes every line record of the invoice number; false after a failed deletion.
// Deletes every line of exactly this invoice; an index entry whose record is already gone
// does not leave the invoice's other lines behind.
bool DeleteLines(storage::Fileblock* lines, const std::string& invNoAnsi,
                 platform::Prompter& prompter) {
    try {
        invoicing::DeleteInvoiceLines(lines, data::Utf8FromAnsi(invNoAnsi), prompter);
        return true;
    } catch (const data::OperationError& e) {
        Tell(prompter, std::string(data::kAppTitle), e.what(), Icon::Error);
        return false;
    }
}

// Deletes the memo of the invoice number when there is one; false after a failure.
bool DeleteMemo(storage::Fileblock* memos, const std::string& invNoAnsi,
                platform::Prompter& prompter) {
    data::MemoRecord probe;
    probe.setAnsi(Memo::InvNo, invNoAnsi);
    std::string key = data::MemoKey(probe, 1);
    int32_t recNo = storage::FindKeyAtOrAfter(memos, 1, key);
    if (!storage::EngineOk) {
        // No memo at or after the number is no failure: another record of the same
        // number (a payment record) may already have taken it away.
        if (storage::EngineError == storage::err::KeyNotFound) return true;
        Tell(prompter, std::string(data::kAppTitle), "Memo search failed", Icon::Error);
        return false;
    }
    auto memo = data::ReadBusinessRecord<Memo>(memos, recNo);
    if (!memo) {
        Tell(prompter, std::string(data::kAppTitle), "Memo search failed", Icon::Error);
        return false;
    }
    if (Number(memo->ansi(Memo::InvNo)) != Number(invNoAnsi)) return true;
    if (!data::DeleteBusinessRecord(memos, recNo, *memo, prompter).ok()) {
        Tell(prompter, std::string(data::kAppTitle), "Memo record deletion failed", Icon::Error);
        return false;
    }
    return true;
}

}  // namespace

data::Date PurgePreset(const data::Date& today) {
    return data::Date{today.year - 5, today.month, 1};
}

PurgeOutcome PurgePaidRecords(Session& session, const platform::Clock& clock,
                              platform::Prompter& prompter, DatePickerPort& calendar,
                              const RunHooks& hooks) {
    PurgeOutcome outcome;
    if (session.companyPrefix().empty()) {
        // Without a valid company number there are no files to purge, and opening them
        // would create files that belong to no company.
        prompter.ask(data::GiveUpMessage(
            "No company is in use. Choose or set up a company in the Company Manager first."));
        return outcome;
    }
    if (prompter.ask(Message{"Delete Paid Records",
                             "This will remove PAID records older than the date you select. Once "
                             "removed, they will no longer appear on any reports or system "
                             "options. We suggest you leave 5 years on file. Be sure to backup "
                             "your files and print reports before you remove data. Continue?",
                             Icon::Question, Buttons::YesNo, Answer::No}) != Answer::Yes)
        return outcome;
    auto cutOff = calendar.pickDate("Delete Date Selection", PurgePreset(data::Today(clock)));
    if (!cutOff) return outcome;
    const std::string shown = data::FormatUserDate(*cutOff, session.dateOrder);
    if (prompter.ask(Message{"Warning - Please Confirm",
                             "All paid records older than " + shown + " will be removed. Continue?",
                             Icon::Warning, Buttons::YesNo, Answer::No}) != Answer::Yes)
        return outcome;
    // On a server the purge runs only while nobody else works in the books.
    const data::BooksAlone alone(session.folder);
    if (!alone.granted()) {
        prompter.ask(data::GiveUpMessage(alone.refusal()));
        outcome.status = PurgeStatus::Failed;
        return outcome;
    }
    hooks.setStatus("Removing Records...");
    outcome.status = PurgeStatus::Failed;

    data::OpenResult invoices = Open(session, data::FileKind::Invoice, prompter);
    if (!invoices) {
        hooks.setStatus(std::string("Ready."));
        return outcome;
    }

    // Pass 1: nothing goes while an unpaid record lies in the period.
    {
        BusyScope busy(hooks);
        for (int32_t rec = storage::NextUsedRecord(invoices.fb, 0); storage::EngineOk && rec > 0;
             rec = storage::NextUsedRecord(invoices.fb, rec)) {
            auto inv = data::ReadBusinessRecord<Invoice>(invoices.fb, rec);
            // A record that cannot be read might be unpaid: stop before anything goes.
            if (!inv) break;
            if (!Older(*inv, *cutOff)) continue;
            if (std::string(data::TrimText(inv->text(Invoice::BalanceDue))) != "0.00") {
                outcome.unpaidInvoice = std::string(data::TrimText(inv->text(Invoice::InvNo)));
                break;
            }
        }
    }
    if (outcome.unpaidInvoice.empty() && storage::EngineError != storage::err::NoMoreRecords) {
        // The scan stopped early: what it did not see may be unpaid.
        const int32_t error = storage::EngineError;
        storage::CloseFileblock(invoices.fb);
        Tell(prompter, std::string(data::kAppTitle),
             "Unable to read the invoice file: " + std::to_string(error), Icon::Error);
        hooks.setStatus("Ready.");
        return outcome;
    }
    if (!outcome.unpaidInvoice.empty()) {
        storage::CloseFileblock(invoices.fb);
        Tell(prompter, "Invoice#: " + outcome.unpaidInvoice,
             "There are invoices which remain unpaid in the period you selected. Unable to "
             "remove old records at this time. Wait until the invoices are all paid.",
             Icon::Warning);
        outcome.status = PurgeStatus::Unpaid;
        hooks.setStatus("Ready.");
        return outcome;
    }

    data::OpenResult lines = Open(session, data::FileKind::InvoiceLine, prompter);
    data::OpenResult memos =
        lines ? Open(session, data::FileKind::Memo, prompter) : data::OpenResult{};
    if (!lines || !memos) {
        if (lines) storage::CloseFileblock(lines.fb);
        storage::CloseFileblock(invoices.fb);
        hooks.setStatus("Ready.");
        return outcome;
    }

    // Pass 2: the paid records of the period with their lines and memos, as one posting:
    // a purge that fails or is stopped removes nothing; one that meets another program's
    // lock runs again whole.
    bool committed = false;
    {
        BusyScope busy(hooks);
        const auto attempt = [&](data::Posting&, platform::Prompter& held) {
            outcome.removed = 0;
            outcome.failures = 0;
            for (int32_t rec = storage::NextUsedRecord(invoices.fb, 0);
                 storage::EngineOk && rec > 0; rec = storage::NextUsedRecord(invoices.fb, rec)) {
                auto inv = data::ReadBusinessRecord<Invoice>(invoices.fb, rec);
                if (!inv || !Older(*inv, *cutOff)) continue;
                if (std::string(data::TrimText(inv->text(Invoice::PaidFlag))) != "P") continue;
                const std::string invNo = inv->ansi(Invoice::InvNo);
                if (!data::DeleteBusinessRecord(invoices.fb, rec, *inv, held).ok() ||
                    !DeleteLines(lines.fb, invNo, held) ||
                    (Number(inv->ansi(Invoice::InvoiceStyle)) == "M" &&
                     !DeleteMemo(memos.fb, invNo, held))) {
                    ++outcome.failures;
                    return false;
                }
                ++outcome.removed;
            }
            return true;
        };
        committed = data::RunPosting(prompter, attempt).committed;
    }
    storage::CloseFileblock(memos.fb);
    storage::CloseFileblock(lines.fb);
    storage::CloseFileblock(invoices.fb);
    if (!committed) {
        outcome.removed = 0;
        // The books lost to others after the connection went: said plainly (the purge is
        // one posting, so nothing of it was made).
        const std::string lost = alone.lost();
        Tell(prompter, std::string(data::kAppTitle),
             lost.empty() ? std::string("Delete Failed.")
                          : lost +
                                " Nothing was removed; purge again when you have the books "
                                "to yourself.",
             Icon::Error);
        hooks.setStatus("Ready.");
        return outcome;
    }

    outcome.status = PurgeStatus::Done;
    const std::string n = std::to_string(outcome.removed);
    Tell(prompter, "Records Removed", n + " paid records older than " + shown + " were removed.",
         Icon::Information);
    hooks.setStatus(n + " records were removed.");
    return outcome;
}

}  // namespace invarro::app
