// Posting a bank line as the payment it pays: through the Payment Wizard's posting, the
// payment and the line's new state in one posting, so a line is posted whole or not at
// all and never twice.
#pragma once

#include <string>

#include "banking/Match.h"
#include "invoicing/InvEdit.h"
#include "platform/Prompter.h"

namespace invarro::banking {

enum class PostStatus {
    Posted,
    Stale,    // the proposal no longer fits the books: the line is back to "new" with why
    Refused,  // the line cannot be posted (already posted, a debit, amounts that differ)
    Failed,   // a write failed: nothing of it is on file
};

struct PostResult {
    PostStatus status = PostStatus::Failed;
    std::string why;
    std::string depositNo;  // the deposit written for an overpayment
};

// Posts the stored line recNo as the payment the proposal describes, dated the line's
// booking date. The proposal is checked against the books first: each invoice must still
// be open with at least the amount allocated (exactly it for a whole payment), and the
// allocations and deposit must add up to the line's amount.
PostResult PostLine(invoicing::SaveFiles& files, storage::Fileblock* bankLines, int32_t recNo,
                    const Proposal& proposal, platform::Prompter& prompter);

}  // namespace invarro::banking
