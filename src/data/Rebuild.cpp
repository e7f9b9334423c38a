#include "data/Rebuild.h"

#include <string>

#include "storage/Backend.h"
#include "storage/FileIO.h"
#include "storage/Rebuild.h"

namespace invarro::data {

bool RebuildBusinessFileblock(const std::string& name, const RecordKind& kind,
                              platform::Progress& progress, const std::string& title) {
    storage::KeyBuilder builder = [&kind](const uint8_t* record, int32_t length, int keyNo,
                                          std::string& key) {
        if (length < kind.recordLength) return false;
        key = kind.buildKey(record, keyNo);
        return true;
    };
    auto show = [&progress](const storage::RebuildCounters& c) {
        progress.setLine(0, "Key number: " + std::to_string(c.keyNumber));
        progress.setLine(1, "Records read: " + std::to_string(c.recordsRead));
        progress.setLine(2, "Records written: " + std::to_string(c.recordsWritten));
        return progress.step();
    };
    progress.start(title, 3);
    show(storage::RebuildCounters{});
    bool ok = storage::RebuildFileblock(name, kind.recordLength, kind.keyCount(), kind.keys.data(),
                                        builder, show, nullptr);
    progress.finish();
    return ok;
}

bool RebuildCompanyFiles(const std::string& folder, std::string_view companyPrefix,
                         platform::Progress& progress) {
    for (FileKind k : kCompanyFileOrder) {
        const std::string name = FileblockName(folder, k, companyPrefix);
        // A fileblock the company has never used has nothing to rebuild; a data file that
        // an interrupted rebuild left as its save file is taken up again. A server is not
        // asked beforehand (a question that cannot reach it answers "not there", and the
        // fileblock would be left out unsaid): its rebuild says when there is none.
        const bool onServer = storage::BackendFor(name) != nullptr;
        if (!onServer && !storage::FileblockExists(name) &&
            !storage::FileExists(storage::DataPartFileName(name, "SAV")))
            continue;
        bool ok = RebuildBusinessFileblock(name, KindOf(k), progress);
        // On a server each fileblock's rebuild is one transaction, so one whose connection
        // was lost left nothing half done: it runs once more on a new connection, which
        // holds the books alone again or fails.
        if (!ok && onServer && storage::EngineError == storage::err::OsOther)
            ok = RebuildBusinessFileblock(name, KindOf(k), progress);
        if (!ok && onServer && storage::EngineError == storage::err::FileNotFound) continue;
        if (!ok) return false;
    }
    storage::ResetStatus();
    return true;
}

}  // namespace invarro::data
