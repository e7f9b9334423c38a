#include "data/Posting.h"

#include <chrono>
#include <random>
#include <thread>

#include "data/Texts.h"
#include "storage/Engine.h"
#include "storage/Transaction.h"

namespace invarro::data {

namespace {
Posting* gOpen = nullptr;
}

Posting* OpenPosting() {
    return gOpen;
}

Posting::Posting() {
    if (gOpen) {
        outer_ = gOpen;
        started_ = outer_->started_;
        return;
    }
    started_ = storage::BeginTransaction();
    if (!started_) {
        error_ = storage::EngineError;
        return;
    }
    gOpen = this;
}

Posting::~Posting() {
    if (!outer_ && started_ && !done_) rollback();
}

void Posting::onRollback(std::function<void()> undo) {
    root()->undo_.push_back(std::move(undo));
}

void Posting::afterCommit(std::function<void()> step) {
    root()->after_.push_back(std::move(step));
}

void Posting::undo() {
    // Undo steps run last to first, as they were registered over the posting.
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it)
        (*it)();
    undo_.clear();
    after_.clear();
}

void Posting::rollback() {
    if (outer_) {
        // Part of a larger posting: that one cannot be made whole any more.
        outer_->doomed_ = true;
        return;
    }
    if (done_) return;
    done_ = true;
    if (started_) storage::RollbackTransaction();
    gOpen = nullptr;
    undo();
}

bool Posting::commit() {
    if (outer_) return started_;
    if (!started_ || done_) return false;
    if (doomed_) {
        rollback();
        error_ = storage::err::TransactionState;
        return false;
    }
    done_ = true;
    gOpen = nullptr;
    const bool ok = storage::CommitTransaction();
    if (!ok) {
        error_ = storage::EngineError;
        // A commit refused by the engine has rolled the transaction back already.
        undo();
        return false;
    }
    undo_.clear();
    auto steps = std::move(after_);
    after_.clear();
    for (auto& step : steps)
        step();
    return true;
}

platform::Answer HeldMessages::ask(const platform::Message& message) {
    if (message.buttons == platform::Buttons::Ok) kept_.push_back(message);
    return message.defaultButton;
}

void HeldMessages::showOn(platform::Prompter& prompter) {
    auto kept = std::move(kept_);
    kept_.clear();
    for (const platform::Message& m : kept)
        prompter.ask(m);
}

namespace {

int64_t gReruns = 0;
int64_t gInDoubt = 0;

// The engine error of a commit whose connection to the server was lost on its way and
// whose outcome the server could not be asked for afterwards (the server backend's
// kCommitUnknown).
constexpr int32_t kCommitInDoubt = 10486;

// A short wait before an attempt is run again, longer with each attempt and random, so
// that two programs that met each other's locks do not meet again in step.
void WaitBeforeAttempt(int attempt) {
    static std::minstd_rand random{std::random_device{}()};
    std::uniform_int_distribution<int> ms(2, 10 * attempt + 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms(random)));
}

}  // namespace

int64_t PostingReruns() {
    return gReruns;
}

int64_t PostingsInDoubt() {
    return gInDoubt;
}

PostingRun RunPosting(platform::Prompter& prompter,
                      const std::function<bool(Posting&, platform::Prompter&)>& body,
                      int attempts) {
    PostingRun run;
    if (OpenPosting()) {
        Posting joined;
        run.attempts = 1;
        run.committed = body(joined, prompter) && joined.commit();
        if (!run.committed) {
            run.engineError = storage::EngineOk ? 0 : storage::EngineError;
            joined.rollback();
        }
        return run;
    }
    HeldMessages held;
    for (int round = 0;; ++round) {
        for (int attempt = 1; attempt <= attempts; ++attempt) {
            if (round > 0 || attempt > 1) {
                ++gReruns;
                WaitBeforeAttempt(attempt);
            }
            held.clear();
            ++run.attempts;
            const int64_t busyBefore = storage::BusyFailureCount();
            bool wanted = false;
            int32_t error = 0;
            {
                Posting posting;
                if (posting.started()) {
                    posting.setRerunnable();
                    wanted = body(posting, held);
                    if (wanted) {
                        if (posting.commit()) {
                            run.committed = true;
                            run.engineError = 0;
                            held.showOn(prompter);
                            return run;
                        }
                        error = posting.engineError();
                    } else {
                        error = storage::EngineOk ? 0 : storage::EngineError;
                        posting.rollback();
                    }
                } else {
                    error = posting.engineError();
                }
            }
            run.engineError = error;
            if (error == kCommitInDoubt) {
                // Never run again: the attempt may be in the books already.
                run.inDoubt = true;
                ++gInDoubt;
                held.showOn(prompter);
                return run;
            }
            const bool busy =
                storage::BusyFailureCount() != busyBefore || storage::ErrorClassOf(error) == 2;
            if (!busy) {
                // Given up by the body, or a failure that running again does not mend.
                held.showOn(prompter);
                return run;
            }
        }
        if (prompter.ask(platform::Message{std::string(kAppTitle), std::string(kCannotGetLock),
                                           platform::Icon::Information, platform::Buttons::YesNo,
                                           platform::Answer::Yes}) != platform::Answer::No) {
            run.busy = true;
            held.showOn(prompter);
            return run;
        }
    }
}

bool FinishBatch() {
    return storage::CheckpointJournal();
}

}  // namespace invarro::data
