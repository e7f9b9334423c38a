// The record-update protocol: every add, change and delete of a business record writes
// the record and all its keys together under the write lock, retries lock conflicts at
// the user's choice, and leaves the files as they were when a step fails.
//
// What a posting (data/Posting.h) may call:
//   - writes: AddBusinessRecord, AddUnkeyedRecord (imports that reindex afterwards),
//     ChangeBusinessRecord and DeleteBusinessRecord below, and nothing else. Each joins the
//     posting open at the moment, or is a posting of its own when none is open. No file
//     outside storage/ and data/ calls the engine's AddRecord, PutRecord, DeleteRecord,
//     AddKey or DeleteKey on a business file.
//   - reads: ReadBusinessRecord and FindAtOrAfter below, and the engine's own find and
//     browse calls (GetRecord, FindKeyAtOrAfter, FindKeyAndRecord, NextKey, PrevKey,
//     NextUsedRecord, ...), which change nothing.
// Side files (LastCo.Dat, the INI file, colour files) are no business records and are not
// written through this protocol.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "data/Fileblocks.h"
#include "platform/Prompter.h"
#include "storage/BTree.h"
#include "storage/Engine.h"

namespace invarro::data {

enum class UpdateStatus {
    Done,              // written
    Unchanged,         // a change with nothing changed: nothing was written
    ChangedElsewhere,  // the stored record differs from the copy the edit began with
    Failed,            // an engine step failed or the user gave up; files as before
};

struct UpdateResult {
    UpdateStatus status = UpdateStatus::Failed;
    int32_t recNo = 0;        // the new record's number after an add
    int32_t engineError = 0;  // the engine error of the step that failed (0 if none)
    bool ok() const { return status == UpdateStatus::Done || status == UpdateStatus::Unchanged; }
};

// Adds the record (its status word written as 0) and its keys.
UpdateResult AddBusinessRecord(storage::Fileblock* fb, const RecordKind& kind, const void* record,
                               platform::Prompter& prompter);
// Adds the record (its status word written as 0) without any key, under the write lock
// and with the lock-conflict retry. For imports, which rebuild the indexes afterwards.
UpdateResult AddUnkeyedRecord(storage::Fileblock* fb, const RecordKind& kind, const void* record,
                              platform::Prompter& prompter);
// Replaces record recNo, read as asRead when the edit began, with updated. Shows
// "The record has changed in the meantime." when the stored record is no longer asRead.
UpdateResult ChangeBusinessRecord(storage::Fileblock* fb, const RecordKind& kind, int32_t recNo,
                                  const void* asRead, const void* updated,
                                  platform::Prompter& prompter);
// Deletes record recNo and the keys built from record.
UpdateResult DeleteBusinessRecord(storage::Fileblock* fb, const RecordKind& kind, int32_t recNo,
                                  const void* record, platform::Prompter& prompter);

template <class L>
UpdateResult AddBusinessRecord(storage::Fileblock* fb, const Record<L>& record,
                               platform::Prompter& prompter) {
    return AddBusinessRecord(fb, KindOfLayout<L>(), record.data(), prompter);
}
template <class L>
UpdateResult AddUnkeyedRecord(storage::Fileblock* fb, const Record<L>& record,
                              platform::Prompter& prompter) {
    return AddUnkeyedRecord(fb, KindOfLayout<L>(), record.data(), prompter);
}
template <class L>
UpdateResult ChangeBusinessRecord(storage::Fileblock* fb, int32_t recNo, const Record<L>& asRead,
                                  const Record<L>& updated, platform::Prompter& prompter) {
    return ChangeBusinessRecord(fb, KindOfLayout<L>(), recNo, asRead.data(), updated.data(),
                                prompter);
}
template <class L>
UpdateResult DeleteBusinessRecord(storage::Fileblock* fb, int32_t recNo, const Record<L>& record,
                                  platform::Prompter& prompter) {
    return DeleteBusinessRecord(fb, KindOfLayout<L>(), recNo, record.data(), prompter);
}

// Reads live record recNo; nothing when the read fails or the slot is deleted.
template <class L>
std::optional<Record<L>> ReadBusinessRecord(storage::Fileblock* fb, int32_t recNo);

// Find by key: the first entry of key keyNo at or after the key built from probe (a
// record holding only the searched fields). Gives the record number and the record, or
// nothing when there is no such entry or it cannot be read.
template <class L>
struct Found {
    int32_t recNo = 0;
    std::string key;
    Record<L> record;
};
template <class L>
std::optional<Found<L>> FindAtOrAfter(storage::Fileblock* fb, int keyNo, const Record<L>& probe);

// ---------------------------------------------------------------------------------------

template <class L>
std::optional<Record<L>> ReadBusinessRecord(storage::Fileblock* fb, int32_t recNo) {
    if (storage::RecordLength(fb) != L::kLength || !storage::EngineOk) return std::nullopt;
    Record<L> r;
    storage::GetRecord(fb, recNo, r.data());
    if (!storage::EngineOk || !r.live()) return std::nullopt;
    return r;
}

template <class L>
std::optional<Found<L>> FindAtOrAfter(storage::Fileblock* fb, int keyNo, const Record<L>& probe) {
    Found<L> f;
    f.key = KindOfLayout<L>().buildKey(probe.data(), keyNo);
    f.recNo = storage::FindKeyAtOrAfter(fb, keyNo, f.key);
    if (!storage::EngineOk) return std::nullopt;
    auto r = ReadBusinessRecord<L>(fb, f.recNo);
    if (!r) return std::nullopt;
    f.record = *r;
    return f;
}

}  // namespace invarro::data
