#include "banking/Post.h"

#include "data/Ansi.h"
#include "data/Posting.h"
#include "invoicing/Payment.h"

namespace invarro::banking {

namespace {

using data::Money;

PostResult Result(PostStatus status, std::string why) {
    PostResult r;
    r.status = status;
    r.why = std::move(why);
    return r;
}

// One attempt of posting a bank line, inside its posting: the line and the customer's
// open items are read inside it, so that they stay locked until it ends and two people
// posting the same line cannot both post it.
PostResult PostLineBody(invoicing::SaveFiles& files, storage::Fileblock* bankLines, int32_t recNo,
                        const Proposal& proposal, platform::Prompter& prompter) {
    auto stored = ReadLine(bankLines, recNo);
    if (!stored) return Result(PostStatus::Failed, "the bank line cannot be read");
    if (stored->state == LineState::Posted)
        return Result(PostStatus::Refused, "the line is posted already");
    if (stored->state == LineState::Ignored)
        return Result(PostStatus::Refused, "the line is ignored");
    if (!proposal.found() || proposal.custNo.empty())
        return Result(PostStatus::Refused, "the line has no customer and invoices to pay");
    auto amount = CentsOf(stored->line.amount);
    if (stored->line.reversal || !amount || *amount <= Money())
        return Result(PostStatus::Refused, "only credits in whole cents are posted");
    Money allocated = proposal.deposit;
    for (const Allocation& a : proposal.invoices)
        allocated += a.amount;
    if (allocated != *amount || proposal.deposit < Money())
        return Result(PostStatus::Refused, "the payment (" + allocated.shownText() +
                                               ") is not the line's amount (" +
                                               amount->shownText() + ")");

    const data::DateOrder order =
        data::DateOrderFromCode(files.company.text(data::Company::DateFormatCode));
    auto open = invoicing::OpenItems(files.invoices, proposal.custNo, order);
    if (!open) return Result(PostStatus::Failed, "the invoices cannot be read");
    std::vector<invoicing::PayItem> items;
    std::string stale;
    for (const Allocation& a : proposal.invoices) {
        const invoicing::PayItem* item = nullptr;
        for (const invoicing::PayItem& i : *open)
            if (data::UpperText(i.number) == data::UpperText(a.invNo)) item = &i;
        if (!item || item->amount < a.amount || (!a.partial && item->amount != a.amount) ||
            (a.partial && item->amount == a.amount) || a.amount.isZero() ||
            (a.amount < Money() && a.partial)) {
            stale = "invoice " + a.invNo + " no longer has the balance the proposal paid";
            break;
        }
        invoicing::PayItem paid = *item;
        paid.amount = a.amount;
        paid.fromPartial = item->partial;
        paid.partial = a.partial;
        items.push_back(paid);
    }
    if (!stale.empty()) {
        StoredLine updated = *stored;
        updated.state = LineState::New;
        updated.note = data::FirstChars("Proposal went stale: " + stale, 80);
        ChangeLine(bankLines, *stored, updated, prompter);
        return Result(PostStatus::Stale, stale);
    }
    const std::string payDate = data::FormatUserDate(stored->line.bookDate, order);
    if (!proposal.deposit.isZero()) {
        invoicing::PayItem deposit;
        deposit.number = std::string(invoicing::kNewDeposit);
        const std::string f = payDate;
        deposit.date = f.size() == 10 ? f.substr(0, 6) + f.substr(8, 2) : f;
        deposit.amount = proposal.deposit;
        items.push_back(deposit);
    }

    const std::string note = data::FirstChars("Bank payment " + payDate, 35);
    invoicing::PostOutcome outcome =
        invoicing::PostPayment(files, proposal.custNo, payDate, note, items, prompter);
    if (!outcome.failed.empty() || outcome.posted != int(items.size()))
        return Result(PostStatus::Failed, "the payment could not be posted whole");
    StoredLine updated = *stored;
    updated.state = LineState::Posted;
    updated.custNo = proposal.custNo;
    updated.paidInvNo = proposal.invoices.empty()
                            ? (outcome.deposits.empty() ? "" : outcome.deposits.front())
                            : proposal.invoices.front().invNo;
    updated.note = data::FirstChars(proposal.why, 80);
    if (!ChangeLine(bankLines, *stored, updated, prompter))
        return Result(PostStatus::Failed, "the bank line could not be marked posted");
    PostResult r = Result(PostStatus::Posted, proposal.why);
    if (!outcome.deposits.empty()) r.depositNo = outcome.deposits.front();
    return r;
}

}  // namespace

PostResult PostLine(invoicing::SaveFiles& files, storage::Fileblock* bankLines, int32_t recNo,
                    const Proposal& proposal, platform::Prompter& prompter) {
    // The payment and the line marked posted are one posting, run again whole when it meets
    // another program's lock; a stale proposal's note on the line is written too.
    PostResult result;
    const data::PostingRun run =
        data::RunPosting(prompter, [&](data::Posting&, platform::Prompter& held) {
            result = PostLineBody(files, bankLines, recNo, proposal, held);
            return result.status == PostStatus::Posted || result.status == PostStatus::Stale;
        });
    if (!run.committed && result.status == PostStatus::Posted)
        return Result(PostStatus::Failed, "the payment could not be posted whole");
    return result;
}

}  // namespace invarro::banking
