#include "data/Posting.h"

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
    if (outer_ || done_) return;
    done_ = true;
    if (started_) storage::RollbackTransaction();
    gOpen = nullptr;
    undo();
}

bool Posting::commit() {
    if (outer_) return started_;
    if (!started_ || done_) return false;
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

bool FinishBatch() {
    return storage::CheckpointJournal();
}

}  // namespace invarro::data
