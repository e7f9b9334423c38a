// A posting: one change of the books (records with the balances, counters and schedules
// derived from them) made all together or not at all.
//
// A Posting opens an engine transaction; every record written while it lives, through
// the record-update protocol (data/Update.h), belongs to it, in any fileblock of the data
// folder. commit() makes it durable; a Posting that goes out of scope without a commit,
// or whose commit fails, is rolled back, and the undo steps registered with it restore
// what the program holds in memory (the company in use, a window's copy of a record).
// Steps registered with afterCommit run only once the posting is durable (a label added
// to the queue, a side file rewritten).
//
// A Posting made while another is open joins it: its commit does nothing, the outermost
// one decides, and its undo and after-commit steps go to the outermost. The protocol's
// own calls outside any Posting are each a transaction of their own.
//
// A commit syncs the journal once; the files themselves are synced when the journal is
// checkpointed: when it grows large, when the program is idle, before anything reads or
// replaces whole files, and when the engine stops. Closing a fileblock does not
// checkpoint: its files stay open, with their locks, until then. A batch run calls
// FinishBatch at its end, so that its files are synced before it reports.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/Prompter.h"

namespace invarro::data {

class Posting {
  public:
    Posting();
    Posting(const Posting&) = delete;
    Posting& operator=(const Posting&) = delete;
    ~Posting();

    // False when the transaction could not be started (another is open in a way that
    // cannot be joined, or the engine is not started); nothing is written then.
    bool started() const { return started_; }
    bool joined() const { return outer_ != nullptr; }
    // Makes the posting durable. False when it could not: nothing of it is in the books
    // (see engineError), the undo steps have run.
    bool commit();
    // Drops the posting now (the undo steps run). A posting that joined another cannot be
    // dropped alone: the outermost one then fails to commit and is dropped whole.
    void rollback();
    int32_t engineError() const { return error_; }
    // Whether this posting is run by RunPosting, which runs it again when it meets a lock:
    // the record-update protocol then fails a busy step at once instead of asking.
    bool rerunnable() const { return root()->rerunnable_; }
    void setRerunnable() { root()->rerunnable_ = true; }

    void onRollback(std::function<void()> undo);
    void afterCommit(std::function<void()> step);
    // What value holds now comes back if the posting is rolled back.
    template <class T>
    void keep(T& value) {
        onRollback([&value, saved = value]() { value = saved; });
    }

  private:
    Posting* root() { return outer_ ? outer_ : this; }
    const Posting* root() const { return outer_ ? outer_ : this; }
    void undo();

    Posting* outer_ = nullptr;
    bool started_ = false;
    bool done_ = false;
    bool doomed_ = false;
    bool rerunnable_ = false;
    int32_t error_ = 0;
    std::vector<std::function<void()>> undo_;
    std::vector<std::function<void()>> after_;
};

// The Posting open now (the outermost), or null.
Posting* OpenPosting();

// Messages of a posting body, kept until the posting has ended: nothing waits for a person
// while the books are locked for the posting. A message with an OK button alone is kept and
// shown afterwards (those of an attempt that is run again are dropped with it); a question
// gets its default answer at once.
class HeldMessages : public platform::Prompter {
  public:
    platform::Answer ask(const platform::Message& message) override;
    // Shows the kept messages on prompter, in their order, and forgets them.
    void showOn(platform::Prompter& prompter);
    void clear() { kept_.clear(); }
    const std::vector<platform::Message>& kept() const { return kept_; }

  private:
    std::vector<platform::Message> kept_;
};

// What RunPosting did.
struct PostingRun {
    bool committed = false;   // the body asked for the commit and it was made
    int attempts = 0;         // how many times the body ran
    int32_t engineError = 0;  // the failure of the last attempt (0: the body gave up alone)
    bool busy = false;        // given up because the books stayed locked
    // The commit was on its way when the connection to the server was lost, and whether it
    // was made could not be learnt: neither count it as done nor run it again unlooked.
    bool inDoubt = false;
};

// Runs body as one posting. The body writes through the record-update protocol, shows
// messages only on the prompter it is given (they are shown on prompter once the posting
// has been committed or rolled back), and returns true to commit, false to roll back.
// When an attempt meets a lock or a busy journal (an engine operation failed busy, or the
// commit did), it is rolled back whole and the body runs again after a short random wait,
// up to `attempts` times; then "Cannot get a lock.  Abort?" is asked, and No gives it as
// many attempts again. The body must therefore read what it changes inside the posting
// and keep what it changes in memory with Posting::keep.
// Inside an open posting the body runs once, joined to it, with prompter itself: the
// outermost posting decides.
PostingRun RunPosting(platform::Prompter& prompter,
                      const std::function<bool(Posting&, platform::Prompter&)>& body,
                      int attempts = 5);
// RunPosting for a body that returns its result and stops by throwing its error (an
// OperationError or the like) when it cannot go on. The result of the committed attempt is
// returned; when no attempt was committed, the last attempt's error is thrown again (after
// the kept messages were shown), or Error(failed) when the body did not throw (the commit
// failed).
template <class Error, class Body>
auto RunPostingOrThrow(platform::Prompter& prompter, std::string_view failed, Body&& body) {
    using Result = std::invoke_result_t<Body&, Posting&, platform::Prompter&>;
    Result result{};
    std::exception_ptr error;
    const PostingRun run = RunPosting(prompter, [&](Posting& posting, platform::Prompter& held) {
        error = nullptr;
        try {
            result = body(posting, held);
            return true;
        } catch (...) {
            error = std::current_exception();
            return false;
        }
    });
    if (run.committed) return result;
    if (error) std::rethrow_exception(error);
    throw Error(std::string(failed));
}

// Attempts run again by RunPosting in this program so far.
int64_t PostingReruns();
// Postings of RunPosting in this program whose commit was left in doubt (see PostingRun).
int64_t PostingsInDoubt();

// Ends a batch run: committed postings still waiting in the journal are made durable in
// their files. False with the engine status when that fails.
bool FinishBatch();

}  // namespace invarro::data
