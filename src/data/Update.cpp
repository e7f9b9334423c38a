#include "data/Update.h"

#include <optional>

#include <cstring>
#include <string>
#include <vector>

#include "data/Posting.h"
#include "data/Texts.h"
#include "storage/BTree.h"
#include "storage/Transaction.h"

namespace invarro::data {

namespace {

using platform::Answer;
using platform::Icon;
using platform::Prompter;
using storage::EngineError;
using storage::EngineOk;
using storage::Fileblock;

// One add, change or delete: the engine calls with their lock-conflict retry, the write
// lock, and the first error met.
class Session {
  public:
    Session(Fileblock* fb, const RecordKind& kind, Prompter& prompter)
        : fb_(fb), kind_(kind), prompter_(prompter) {}

    // Runs one engine call. While it fails with a lock conflict the user is asked whether
    // to abort; No runs it again. Any other failure ends it at once. Inside a posting that
    // is run again when it meets a lock, nobody is asked: the step fails, the posting is
    // rolled back and runs again whole.
    template <class Call>
    bool call(Call engineCall) {
        for (;;) {
            engineCall();
            if (EngineOk) return true;
            int32_t e = EngineError;
            if (storage::ErrorClass() != 2 || rerunnable() ||
                abort(kCannotGetLock, Icon::Information)) {
                note(e);
                return false;
            }
        }
    }

    // The write lock, asked for again while it is refused and the user does not abort
    // (refused at once inside a posting that is run again); then the fileblock must hold
    // records of this kind.
    bool lock() {
        for (;;) {
            storage::LockFileblock(fb_);
            if (EngineOk) break;
            note(EngineError);
            if (rerunnable() || abort(kFilesInUse, Icon::Question)) return false;
        }
        int32_t len = storage::RecordLength(fb_);
        if (!EngineOk) {
            note(EngineError);
            return false;
        }
        if (len != kind_.recordLength) {
            note(storage::err::RecordTooShort);
            return false;
        }
        return true;
    }

    UpdateResult finish(UpdateStatus status, int32_t recNo = 0) {
        storage::UnlockFileblock(fb_);
        UpdateResult r;
        r.status = status;
        r.recNo = status == UpdateStatus::Failed ? 0 : recNo;
        r.engineError = status == UpdateStatus::Failed ? error_ : 0;
        return r;
    }

    std::vector<std::string> keysOf(const uint8_t* record) const {
        std::vector<std::string> keys;
        for (int k = 1; k <= kind_.keyCount(); ++k)
            keys.push_back(kind_.buildKey(record, k));
        return keys;
    }

    bool addKey(int k, int32_t recNo, const std::string& key) {
        return call([&] { storage::AddKey(fb_, k, recNo, key); });
    }
    bool deleteKey(int k, int32_t recNo, const std::string& key) {
        return call([&] { storage::DeleteKey(fb_, k, recNo, key); });
    }

    // Reads record recNo into stored and checks that it is live and still expected (the
    // copy the caller began with). Otherwise gives the result to return: Failed, or
    // ChangedElsewhere with "The record has changed in the meantime." shown.
    std::optional<UpdateResult> readStored(int32_t recNo, const uint8_t* expected,
                                           std::vector<uint8_t>& stored) {
        stored.assign(size_t(kind_.recordLength), 0);
        if (!call([&] { storage::GetRecord(fb_, recNo, stored.data()); }))
            return finish(UpdateStatus::Failed);
        if (ReadInt32(stored.data()) != 0) return finish(UpdateStatus::Failed);
        if (std::memcmp(stored.data(), expected, stored.size()) != 0) {
            UpdateResult r = finish(UpdateStatus::ChangedElsewhere, recNo);
            prompter_.inform(std::string(kAppTitle), std::string(kRecordChanged));
            return r;
        }
        return std::nullopt;
    }

    // A failure that the caller has dealt with is not the result of the operation.
    void forgetError() { error_ = 0; }

  private:
    static bool rerunnable() {
        const Posting* open = OpenPosting();
        return open && open->rerunnable();
    }
    bool abort(std::string_view text, Icon icon) {
        return prompter_.ask(platform::Message{std::string(kAppTitle), std::string(text), icon,
                                               platform::Buttons::YesNo, Answer::Yes}) ==
               Answer::Yes;
    }
    void note(int32_t e) {
        if (error_ == 0) error_ = e;
    }

    Fileblock* fb_;
    const RecordKind& kind_;
    Prompter& prompter_;
    int32_t error_ = 0;
};

// A call outside any posting is a posting of its own: written whole and durable, or not
// at all. One that meets a lock (a record, or the folder's journal held by another
// program) runs again; the messages of the step are shown once it has ended.
template <class Op>
UpdateResult OnePosting(Prompter& prompter, Op op) {
    if (storage::InTransaction()) return op(prompter);
    UpdateResult r;
    const PostingRun run = RunPosting(prompter, [&](Posting&, Prompter& held) {
        r = op(held);
        return r.status == UpdateStatus::Done;
    });
    if (r.status == UpdateStatus::Done && !run.committed) {
        r.status = UpdateStatus::Failed;
        r.recNo = 0;
    }
    if (r.status == UpdateStatus::Failed && run.engineError != 0) r.engineError = run.engineError;
    return r;
}

std::vector<uint8_t> LiveCopy(const void* record, int length) {
    const auto* p = static_cast<const uint8_t*>(record);
    std::vector<uint8_t> copy(p, p + length);
    std::memset(copy.data(), 0, 4);
    return copy;
}

UpdateResult AddBusinessRecordNow(Fileblock* fb, const RecordKind& kind, const void* record,
                                  Prompter& prompter) {
    Session s(fb, kind, prompter);
    if (!s.lock()) return s.finish(UpdateStatus::Failed);
    std::vector<uint8_t> rec = LiveCopy(record, kind.recordLength);
    int32_t recNo = 0;
    if (!s.call([&] { recNo = storage::AddRecord(fb, rec.data()); }))
        return s.finish(UpdateStatus::Failed);
    std::vector<std::string> keys = s.keysOf(rec.data());
    for (int k = 1; k <= kind.keyCount(); ++k) {
        if (s.addKey(k, recNo, keys[size_t(k - 1)])) continue;
        // Take back what was added, so that neither the record nor a key stays behind.
        for (int j = k - 1; j >= 1; --j)
            s.deleteKey(j, recNo, keys[size_t(j - 1)]);
        s.call([&] { storage::DeleteRecord(fb, recNo); });
        return s.finish(UpdateStatus::Failed);
    }
    return s.finish(UpdateStatus::Done, recNo);
}

UpdateResult AddUnkeyedRecordNow(Fileblock* fb, const RecordKind& kind, const void* record,
                                 Prompter& prompter) {
    Session s(fb, kind, prompter);
    if (!s.lock()) return s.finish(UpdateStatus::Failed);
    std::vector<uint8_t> rec = LiveCopy(record, kind.recordLength);
    int32_t recNo = 0;
    if (!s.call([&] { recNo = storage::AddRecord(fb, rec.data()); }))
        return s.finish(UpdateStatus::Failed);
    return s.finish(UpdateStatus::Done, recNo);
}

UpdateResult ChangeBusinessRecordNow(Fileblock* fb, const RecordKind& kind, int32_t recNo,
                                     const void* asRead, const void* updated, Prompter& prompter) {
    size_t len = size_t(kind.recordLength);
    if (SameValues(static_cast<const uint8_t*>(asRead), static_cast<const uint8_t*>(updated), len,
                   kind.fields)) {
        UpdateResult r;
        r.status = UpdateStatus::Unchanged;
        r.recNo = recNo;
        return r;
    }
    Session s(fb, kind, prompter);
    if (!s.lock()) return s.finish(UpdateStatus::Failed);
    std::vector<uint8_t> stored;
    if (auto r = s.readStored(recNo, static_cast<const uint8_t*>(asRead), stored)) return *r;

    std::vector<uint8_t> rec = LiveCopy(updated, kind.recordLength);
    std::vector<std::string> oldKeys = s.keysOf(stored.data());
    std::vector<std::string> newKeys = s.keysOf(rec.data());
    std::vector<int> changed;
    // Puts back the old entries of every key changed so far.
    auto restore = [&] {
        for (auto it = changed.rbegin(); it != changed.rend(); ++it) {
            size_t i = size_t(*it - 1);
            s.addKey(*it, recNo, oldKeys[i]);
            s.deleteKey(*it, recNo, newKeys[i]);
        }
    };
    for (int k = 1; k <= kind.keyCount(); ++k) {
        size_t i = size_t(k - 1);
        if (oldKeys[i] == newKeys[i]) continue;
        if (!s.addKey(k, recNo, newKeys[i])) {
            restore();
            return s.finish(UpdateStatus::Failed);
        }
        if (!s.deleteKey(k, recNo, oldKeys[i])) {
            s.deleteKey(k, recNo, newKeys[i]);
            restore();
            return s.finish(UpdateStatus::Failed);
        }
        changed.push_back(k);
    }
    if (!s.call([&] { storage::PutRecord(fb, recNo, rec.data()); })) {
        restore();
        return s.finish(UpdateStatus::Failed);
    }
    return s.finish(UpdateStatus::Done, recNo);
}

UpdateResult DeleteBusinessRecordNow(Fileblock* fb, const RecordKind& kind, int32_t recNo,
                                     const void* record, Prompter& prompter) {
    Session s(fb, kind, prompter);
    if (!s.lock()) return s.finish(UpdateStatus::Failed);
    // The keys come from the record as stored, and only when it is still the one the
    // caller saw: keys built from an older copy could name another record's entry.
    std::vector<uint8_t> stored;
    if (auto r = s.readStored(recNo, LiveCopy(record, kind.recordLength).data(), stored)) return *r;
    std::vector<std::string> keys = s.keysOf(stored.data());
    // A failed step puts back the keys already deleted: the record is either gone with
    // all its keys or still there with all of them.
    std::vector<int> removed;
    auto restore = [&] {
        for (auto it = removed.rbegin(); it != removed.rend(); ++it)
            s.addKey(*it, recNo, keys[size_t(*it - 1)]);
    };
    for (int k = 1; k <= kind.keyCount(); ++k) {
        const std::string& key = keys[size_t(k - 1)];
        if (!kind.keys[size_t(k - 1)].duplicates) {
            // On a unique index the entry with this key goes whatever record it names:
            // delete it only when it is this record's.
            std::string probe = key;
            int32_t owner = recNo;
            storage::FindKeyAndRecord(fb, k, probe, owner, 0);
            if (!EngineOk || owner != recNo) continue;  // not there: nothing to delete
        }
        if (s.deleteKey(k, recNo, key)) {
            removed.push_back(k);
            continue;
        }
        if (EngineError == storage::err::NoSuchEntry) {
            // The entry is missing already (an index out of step): the record can still go.
            s.forgetError();
            continue;
        }
        restore();
        return s.finish(UpdateStatus::Failed);
    }
    if (!s.call([&] { storage::DeleteRecord(fb, recNo); })) {
        restore();
        return s.finish(UpdateStatus::Failed);
    }
    return s.finish(UpdateStatus::Done, recNo);
}

}  // namespace

UpdateResult AddBusinessRecord(Fileblock* fb, const RecordKind& kind, const void* record,
                               Prompter& prompter) {
    return OnePosting(prompter,
                      [&](Prompter& p) { return AddBusinessRecordNow(fb, kind, record, p); });
}

UpdateResult AddUnkeyedRecord(Fileblock* fb, const RecordKind& kind, const void* record,
                              Prompter& prompter) {
    return OnePosting(prompter,
                      [&](Prompter& p) { return AddUnkeyedRecordNow(fb, kind, record, p); });
}

UpdateResult ChangeBusinessRecord(Fileblock* fb, const RecordKind& kind, int32_t recNo,
                                  const void* asRead, const void* updated, Prompter& prompter) {
    return OnePosting(prompter, [&](Prompter& p) {
        return ChangeBusinessRecordNow(fb, kind, recNo, asRead, updated, p);
    });
}

UpdateResult DeleteBusinessRecord(Fileblock* fb, const RecordKind& kind, int32_t recNo,
                                  const void* record, Prompter& prompter) {
    return OnePosting(
        prompter, [&](Prompter& p) { return DeleteBusinessRecordNow(fb, kind, recNo, record, p); });
}

}  // namespace invarro::data
