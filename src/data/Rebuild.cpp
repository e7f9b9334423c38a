#include "data/Rebuild.h"

#include <string>

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
        // an interrupted rebuild left as its save file is taken up again.
        if (!storage::FileblockExists(name) &&
            !storage::FileExists(storage::DataPartFileName(name, "SAV")))
            continue;
        if (!RebuildBusinessFileblock(name, KindOf(k), progress)) return false;
    }
    return true;
}

}  // namespace invarro::data
