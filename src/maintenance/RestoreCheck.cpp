#include "maintenance/RestoreCheck.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Records.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "maintenance/FileSet.h"
#include "storage/Engine.h"
#include "storage/Verify.h"

namespace invarro::maintenance {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// The data and index file of one fileblock of the archive, by their entry names.
struct Pair {
    std::string data, index;
};

// The engine for the length of a check: the one running, or one started for it.
class EngineForCheck {
  public:
    EngineForCheck() : own_(!storage::EngineStarted()) {
        if (own_) ok_ = storage::InitEngine(8) > 0;
    }
    ~EngineForCheck() {
        if (own_ && ok_) storage::ExitEngine();
    }
    bool ok() const { return ok_; }

  private:
    bool own_;
    bool ok_ = true;
};

// Why the fileblock's layout is not its kind's: record length, number of keys, and each
// key's length and duplicates rule.
std::string LayoutProblem(const std::string& name, const data::RecordKind& kind) {
    storage::FileblockInfo info;
    std::string error;
    if (!storage::ReadFileblockInfo(name, info, error)) return error;
    if (info.recordLength != kind.recordLength)
        return "it has records of " + std::to_string(info.recordLength) + " bytes instead of " +
               std::to_string(kind.recordLength);
    if (info.numKeys != kind.keyCount() || int(info.keys.size()) != kind.keyCount())
        return "it has " + std::to_string(info.numKeys) + " keys instead of " +
               std::to_string(kind.keyCount());
    for (int k = 0; k < kind.keyCount(); ++k) {
        const storage::KeyDescriptor& want = kind.keys[std::size_t(k)];
        const storage::KeyInfo& have = info.keys[std::size_t(k)];
        if (have.keyLength != want.length || have.duplicates != want.duplicates)
            return "its key " + std::to_string(k + 1) + " is not the " +
                   std::string(kind.recordName) + " key";
    }
    return "";
}

// Why the company file cannot serve ("" when it can): it does not open, holds no company,
// or not the company in use.
std::string CompanyFileProblem(const std::string& name, const std::string& companyInUse) {
    EngineForCheck engine;
    if (!engine.ok()) return "the storage engine cannot be started";
    storage::Fileblock* fb = storage::OpenFileblock(name, true);
    if (!storage::EngineOk)
        return "the company file does not open (error " + std::to_string(storage::EngineError) +
               ")";
    int companies = 0;
    bool inUseFound = false;
    for (int32_t r = storage::NextUsedRecord(fb, 0); r > 0 && storage::EngineOk;
         r = storage::NextUsedRecord(fb, r)) {
        auto c = data::ReadBusinessRecord<data::Company>(fb, r);
        if (!c) continue;
        ++companies;
        const std::string no = data::CompanyPrefix(c->ansi(data::Company::CompanyNo));
        if (!companyInUse.empty() && no == companyInUse) inUseFound = true;
    }
    storage::CloseFileblock(fb);
    if (companies == 0) return "the company file holds no company";
    if (!companyInUse.empty() && !inUseFound)
        return "the company in use (LastCo.Dat: company " + companyInUse +
               ") is not in the company file";
    return "";
}

}  // namespace

std::string RoomProblem(const std::string& folder,
                        const std::vector<platform::ArchiveEntry>& entries) {
    uint64_t needed = 0;
    for (const platform::ArchiveEntry& e : entries)
        needed += e.size;
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) return "";  // the extraction will tell
    const uint64_t free = uint64_t(st.f_bavail) * uint64_t(st.f_frsize);
    if (needed <= free) return "";
    return "its files need " + std::to_string(needed) + " bytes, and the disk of " + folder +
           " has " + std::to_string(free) + " bytes free";
}

std::string RestoredFilesProblem(const std::string& folder, const std::vector<std::string>& names,
                                 const std::string& work) {
    std::map<std::string, Pair> blocks;  // by the lower-case name without extension
    std::string lastCo;
    for (const std::string& name : names) {
        std::string base;
        bool isData = false;
        if (IsFileblockFileName(name, &base, &isData))
            (isData ? blocks[Lower(base)].data : blocks[Lower(base)].index) = name;
        else if (SameFileName(name, data::kLastCompanyFile))
            lastCo = name;
    }
    if (blocks.empty() && lastCo.empty()) return "";
    if (!blocks.count("company"))
        return "it holds data files but not the company file (Company.DAT and Company.IX)";

    // The fileblocks are checked under the names the engine opens, as links beside the
    // extracted files, which keep the names the archive gave them.
    struct Cleanup {
        const std::string& work;
        ~Cleanup() {
            std::error_code ec;
            std::vector<fs::path> made;
            for (const fs::directory_entry& e : fs::directory_iterator(work, ec))
                made.push_back(e.path());
            for (const fs::path& p : made)
                fs::remove(p, ec);
        }
    } cleanup{work};
    std::string companyName;
    for (const auto& [lower, pair] : blocks) {
        if (pair.data.empty()) return Quoted(pair.index) + " comes without its data file";
        if (pair.index.empty()) return Quoted(pair.data) + " comes without its index file";
        const std::string stem = pair.data.substr(0, pair.data.find('.'));
        const std::string name = data::JoinPath(work, stem);
        if (::link(data::JoinPath(folder, pair.data).c_str(),
                   storage::DataFileName(name).c_str()) != 0 ||
            ::link(data::JoinPath(folder, pair.index).c_str(),
                   storage::IndexFileName(name).c_str()) != 0)
            return "its files cannot be checked in " + work + ": " + std::strerror(errno);
        const std::vector<std::string> problems = storage::CheckFileblock(name);
        if (!problems.empty()) {
            // The check names the files it read; the user knows them by their own names.
            std::string first = problems.front();
            const std::string place = data::JoinPath(work, "");
            for (std::size_t at = first.find(place); at != std::string::npos;
                 at = first.find(place, at))
                first.erase(at, place.size());
            std::string text = Quoted(pair.data) + " is damaged: " + first;
            if (problems.size() > 1)
                text += " (and " + std::to_string(problems.size() - 1) + " more problems)";
            return text;
        }
        // The old line file of the first version has a layout of its own.
        if (const data::RecordKind* kind = data::KindFromFileblockName(stem)) {
            if (const std::string p = LayoutProblem(name, *kind); !p.empty())
                return Quoted(pair.data) + " is not a " + std::string(kind->recordName) +
                       " file: " + p;
        }
        if (lower == "company") companyName = name;
    }

    std::string inUse;
    if (!lastCo.empty()) {
        const auto bytes = data::ReadWholeFile(data::JoinPath(folder, lastCo));
        if (!bytes || bytes->size() < data::CompanyRecord::size())
            return Quoted(lastCo) + " does not hold a whole company record";
        const data::CompanyRecord record = data::CompanyRecord::FromBytes(bytes->data());
        inUse = data::CompanyPrefix(record.ansi(data::Company::CompanyNo));
        if (inUse.empty()) return Quoted(lastCo) + " does not name a company";
    }
    return CompanyFileProblem(companyName, inUse);
}

}  // namespace invarro::maintenance
