// invarro-fbtool: inspect, check, dump and script fileblocks from the command line.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/ProgramDocs.h"
#include "data/Fileblocks.h"
#include "data/Layout.h"
#include "data/Recovery.h"
#include "platform/Progress.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "storage/FileIO.h"
#include "storage/KeyText.h"
#include "storage/Rebuild.h"
#include "storage/Transaction.h"
#include "storage/Verify.h"

using namespace invarro::storage;
namespace data = invarro::data;

namespace {

int usage() {
    std::fputs(invarro::cli::HelpText(invarro::cli::FbtoolDoc()).c_str(), stderr);
    return 2;
}

int cmdInfo(const std::string& name) {
    FileblockInfo fi;
    std::string error;
    if (!ReadFileblockInfo(name, fi, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("record length: %d\n", fi.recordLength);
    std::printf("highest record: %d\n", fi.high);
    std::printf("used records: %d\n", fi.high - fi.deleted);
    std::printf("deleted records: %d\n", fi.deleted);
    std::printf("update in progress: %s\n", fi.updateInProgress ? "yes" : "no");
    std::printf("keys: %d\n", fi.numKeys);
    for (size_t i = 0; i < fi.keys.size(); ++i) {
        const KeyInfo& k = fi.keys[i];
        std::printf("key %zu: length %d, %s, entries %d, root %d, highest page %d, free pages %d\n",
                    i + 1, k.keyLength, k.duplicates ? "duplicates" : "unique", k.entries, k.root,
                    k.highPage, k.freePages);
    }
    return 0;
}

int cmdCheck(const std::string& name) {
    auto problems = CheckFileblock(name);
    if (problems.empty()) {
        std::printf("ok\n");
        return 0;
    }
    for (const auto& p : problems)
        std::printf("%s\n", p.c_str());
    return 1;
}

int cmdDump(const std::string& name) {
    std::string error;
    bool ok = ForEachLiveRecord(
        name,
        [](int32_t n, const std::string& bytes) {
            std::printf("%d: %s\n", n, EscapeBytes(bytes).c_str());
        },
        error);
    if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
    return ok ? 0 : 1;
}

int cmdDumpFields(const std::string& name) {
    const data::RecordKind* kind = data::KindFromFileblockName(name);
    if (!kind) {
        std::fprintf(stderr,
                     "%s is not a business file: expected Company or a company number "
                     "followed by C, I, N, M or P\n",
                     name.c_str());
        return 1;
    }
    FileblockInfo fi;
    std::string error;
    if (!ReadFileblockInfo(name, fi, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (fi.recordLength != kind->recordLength) {
        std::fprintf(stderr, "%s: record length %d, but a %s has %d bytes\n", name.c_str(),
                     int(fi.recordLength), std::string(kind->recordName).c_str(),
                     kind->recordLength);
        return 1;
    }
    bool ok = ForEachLiveRecord(
        name,
        [&](int32_t n, const std::string& bytes) {
            std::printf("record %d (%s)\n", n, std::string(kind->recordName).c_str());
            const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
            for (const data::FieldDef& f : kind->fields)
                std::printf("  %-20s %s\n", std::string(f.name).c_str(),
                            data::FieldValueText(p, f).c_str());
        },
        error);
    if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
    return ok ? 0 : 1;
}

int cmdKeys(const std::string& name, int keyNo) {
    std::string error;
    bool ok = ForEachKeyEntry(
        name, keyNo,
        [](const std::string& key, int32_t rec) {
            std::printf("%s %d\n", EncodeKeyText(key).c_str(), rec);
        },
        error);
    if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
    return ok ? 0 : 1;
}

// ---------------------------------------------------------------------------- rebuild

struct RawKey {
    int offset = 0;
    int length = 0;
    bool duplicates = false;
};

bool parseRawKey(const std::string& text, RawKey& k) {
    size_t colon = text.find(':');
    if (colon == std::string::npos || text.size() < colon + 3) return false;
    char flag = text.back();
    if (flag != 'u' && flag != 'd') return false;
    try {
        k.offset = std::stoi(text.substr(0, colon));
        k.length = std::stoi(text.substr(colon + 1, text.size() - colon - 2));
    } catch (const std::exception&) {
        return false;
    }
    k.duplicates = flag == 'd';
    return k.offset >= 0 && k.length >= 1 && k.length <= kMaxKeyLength;
}

int rebuildWith(const std::string& name, int32_t recordLength,
                const std::vector<KeyDescriptor>& keys, const KeyBuilder& builder);

// Key i is the record's bytes OFFSET .. OFFSET + LENGTH - 1 taken as they are.
int cmdRebuildRaw(const std::string& name, const std::vector<RawKey>& raw) {
    std::vector<KeyDescriptor> keys;
    for (const RawKey& k : raw)
        keys.push_back({k.length, k.duplicates});
    KeyBuilder builder = [&raw](const uint8_t* rec, int32_t len, int keyNo, std::string& key) {
        const RawKey& k = raw[size_t(keyNo - 1)];
        if (k.offset + k.length > len) return false;
        key.assign(reinterpret_cast<const char*>(rec) + k.offset, size_t(k.length));
        return true;
    };
    return rebuildWith(name, 0, keys, builder);
}

// A business fileblock known by its name, rebuilt with its own key builder.
int cmdRebuildKnown(const std::string& name) {
    const invarro::data::RecordKind* kind = invarro::data::KindFromFileblockName(name);
    if (!kind) {
        std::fprintf(stderr,
                     "%s is not a business fileblock name (Company, or a company number "
                     "followed by C, I, N, M or P); give its keys with --key\n",
                     name.c_str());
        return 2;
    }
    std::vector<KeyDescriptor> keys(kind->keys.begin(), kind->keys.end());
    KeyBuilder builder = [kind](const uint8_t* rec, int32_t len, int keyNo, std::string& key) {
        if (len < kind->recordLength) return false;
        key = kind->buildKey(rec, keyNo);
        return true;
    };
    return rebuildWith(name, kind->recordLength, keys, builder);
}

int rebuildWith(const std::string& name, int32_t recordLength,
                const std::vector<KeyDescriptor>& keys, const KeyBuilder& builder) {
    const bool live = ::isatty(2);
    RebuildCounters shown;
    auto line = [](const RebuildCounters& c) {
        std::printf("Key number: %d  Records read: %d  Records written: %d\n", c.keyNumber,
                    c.recordsRead, c.recordsWritten);
        std::fflush(stdout);
    };
    bool any = false;
    RebuildSink sink = [&](const RebuildCounters& c) {
        if (any && c.keyNumber != shown.keyNumber) line(shown);
        any = true;
        shown = c;
        if (live)
            std::fprintf(stderr, "\rKey number: %d  Records read: %d  Records written: %d ",
                         c.keyNumber, c.recordsRead, c.recordsWritten);
        return true;
    };
    InitEngine(30);
    bool logWritten = false;
    bool ok = RebuildFileblock(name, recordLength, int(keys.size()), keys.data(), builder, sink,
                               &logWritten);
    int32_t error = EngineError;
    if (live) std::fprintf(stderr, "\r%60s\r", "");
    if (any) line(shown);
    ExitEngine();
    if (logWritten)
        std::printf("entries were rejected: see %s\n", DataPartFileName(name, "MSG").c_str());
    if (!ok) {
        std::fprintf(stderr, "rebuild failed: error %d\n", error);
        return 1;
    }
    std::printf("ok\n");
    return 0;
}

// ----------------------------------------------------------------------------- script

class Script {
  public:
    // Runs one line; returns the result line.
    std::string run(const std::string& line) {
        std::istringstream in(line);
        std::string op;
        in >> op;
        if (op.empty() || op[0] == '#') return "";
        try {
            return dispatch(op, in, line);
        } catch (const std::exception&) {
            return "err syntax";
        }
    }

  private:
    std::vector<Fileblock*> handles_;
    int current_ = -1;

    static std::string rest(const std::string& line, int skipTokens) {
        size_t pos = 0;
        for (int i = 0; i < skipTokens; ++i) {
            pos = line.find_first_not_of(' ', pos);
            pos = line.find(' ', pos);
            if (pos == std::string::npos) return "";
        }
        return line.substr(pos + 1);
    }
    static std::string status() { return "err " + std::to_string(EngineError); }
    static std::string entry(int32_t rec, const std::string& key) {
        return "ok " + std::to_string(rec) + " " + EncodeKeyText(key);
    }
    static std::string key(std::istringstream& in) {
        std::string tok;
        if (!(in >> tok)) throw std::runtime_error("key");
        auto k = DecodeKeyText(tok);
        if (!k) throw std::runtime_error("key");
        return *k;
    }
    static long num(std::istringstream& in) {
        std::string tok;
        if (!(in >> tok)) throw std::runtime_error("number");
        return std::stol(tok);
    }
    Fileblock* fb() { return current_ >= 0 ? handles_[size_t(current_)] : nullptr; }
    std::string record(const std::string& text) {
        int32_t len = RecordLength(fb());
        if (!EngineOk) return {};
        std::string r(size_t(len), '\0');
        r.replace(4, std::min<size_t>(text.size(), size_t(len - 4)), text, 0,
                  std::min<size_t>(text.size(), size_t(len - 4)));
        return r;
    }

    std::string dispatch(const std::string& op, std::istringstream& in, const std::string& line) {
        if (op == "init") {
            int n = InitEngine(int(num(in)));
            return EngineOk ? "ok " + std::to_string(n) : status();
        }
        if (op == "exit") {
            ExitEngine();
            std::string result = EngineOk ? "ok" : status();
            if (EngineOk) {
                handles_.clear();
                current_ = -1;
            } else {
                // The engine stays started; the fileblocks it did close are gone.
                for (Fileblock*& h : handles_)
                    if (h && !IsFileblockOpen(h)) h = nullptr;
            }
            return result;
        }
        if (op == "create") {
            std::string name;
            long len;
            in >> name;
            len = num(in);
            std::vector<KeyDescriptor> keys;
            std::string k;
            while (in >> k) {
                KeyDescriptor d;
                d.length = std::stoi(k.substr(0, k.size() - 1));
                char f = k.back();
                if (f != 'u' && f != 'd') return "err syntax";
                d.duplicates = f == 'd';
                keys.push_back(d);
            }
            CreateFileblock(name, int(len), int(keys.size()), keys.data());
            return EngineOk ? "ok" : status();
        }
        if (op == "begin" || op == "commit" || op == "rollback" || op == "checkpoint") {
            if (op == "begin") BeginTransaction();
            if (op == "commit") CommitTransaction();
            if (op == "rollback") RollbackTransaction();
            if (op == "checkpoint") CheckpointJournal();
            return EngineOk ? "ok" : status();
        }
        if (op == "open") {
            std::string name, mode;
            in >> name >> mode;
            Fileblock* f = OpenFileblock(name, mode == "ro");
            if (!EngineOk) return status();
            handles_.push_back(f);
            current_ = int(handles_.size()) - 1;
            return "ok " + std::to_string(current_ + 1);
        }
        if (op == "use") {
            long h = num(in);
            if (h < 1 || h > long(handles_.size())) return "err syntax";
            current_ = int(h - 1);
            return "ok";
        }
        if (op == "close") {
            if (current_ < 0) return "err " + std::to_string(err::InvalidHandle);
            Fileblock*& f = handles_[size_t(current_)];
            CloseFileblock(f);
            return EngineOk ? "ok" : status();
        }
        if (op == "add") {
            std::string r = record(rest(line, 1));
            if (!EngineOk) return status();
            int32_t n = AddRecord(fb(), r.data());
            return EngineOk ? "ok " + std::to_string(n) : status();
        }
        if (op == "put") {
            long n = num(in);
            std::string r = record(rest(line, 2));
            if (!EngineOk) return status();
            PutRecord(fb(), int32_t(n), r.data());
            return EngineOk ? "ok" : status();
        }
        if (op == "get") {
            long n = num(in);
            int32_t len = RecordLength(fb());
            if (!EngineOk) return status();
            std::string r(size_t(len), '\0');
            GetRecord(fb(), int32_t(n), r.data());
            if (!EngineOk) return status();
            std::string text = r.substr(4);
            text = text.substr(0, text.find('\0'));
            return "ok " + text;
        }
        if (op == "del") {
            DeleteRecord(fb(), int32_t(num(in)));
            return EngineOk ? "ok" : status();
        }
        if (op == "used" || op == "slots" || op == "reclen") {
            int32_t v = op == "used"    ? UsedRecordCount(fb())
                        : op == "slots" ? RecordSlotCount(fb())
                                        : RecordLength(fb());
            return EngineOk ? "ok " + std::to_string(v) : status();
        }
        if (op == "nextrec" || op == "prevrec") {
            long n = num(in);
            int32_t v = op == "nextrec" ? NextUsedRecord(fb(), int32_t(n))
                                        : PrevUsedRecord(fb(), int32_t(n));
            return EngineOk ? "ok " + std::to_string(v) : status();
        }
        if (op == "addkey" || op == "delkey") {
            int k = int(num(in));
            long n = num(in);
            std::string kv = key(in);
            if (op == "addkey")
                AddKey(fb(), k, int32_t(n), kv);
            else
                DeleteKey(fb(), k, int32_t(n), kv);
            return EngineOk ? "ok" : status();
        }
        if (op == "find") {
            int k = int(num(in));
            std::string kv = key(in);
            int32_t rec = FindKeyAtOrAfter(fb(), k, kv);
            return EngineOk ? entry(rec, kv) : status();
        }
        if (op == "findrec") {
            int k = int(num(in));
            std::string kv = key(in);
            int32_t rec = int32_t(num(in));
            int dir = int(num(in));
            FindKeyAndRecord(fb(), k, kv, rec, dir);
            return EngineOk ? entry(rec, kv) : status();
        }
        if (op == "next" || op == "prev") {
            int k = int(num(in));
            std::string kv = key(in);
            int32_t rec = int32_t(num(in));
            if (op == "next")
                NextKey(fb(), k, kv, rec);
            else
                PrevKey(fb(), k, kv, rec);
            return EngineOk ? entry(rec, kv) : status();
        }
        if (op == "count") {
            int32_t c = KeyCount(fb(), int(num(in)));
            return EngineOk ? "ok " + std::to_string(c) : status();
        }
        if (op == "approxpos") {
            int k = int(num(in));
            std::string kv = key(in);
            int32_t rec = int32_t(num(in));
            uint32_t scale = uint32_t(num(in));
            uint32_t p = ApproxKeyPosition(fb(), k, kv, rec, scale);
            return EngineOk ? "ok " + std::to_string(p) : status();
        }
        if (op == "approxat") {
            int k = int(num(in));
            uint32_t pos = uint32_t(num(in));
            uint32_t scale = uint32_t(num(in));
            std::string kv;
            int32_t rec = 0;
            ApproxKeyAtPosition(fb(), k, pos, scale, kv, rec);
            return EngineOk ? entry(rec, kv) : status();
        }
        if (op == "approxrecpos") {
            int32_t rec = int32_t(num(in));
            uint32_t scale = uint32_t(num(in));
            uint32_t p = ApproxRecordPosition(fb(), rec, scale);
            return EngineOk ? "ok " + std::to_string(p) : status();
        }
        if (op == "approxrecat") {
            uint32_t pos = uint32_t(num(in));
            uint32_t scale = uint32_t(num(in));
            int32_t rec = ApproxRecordAtPosition(fb(), pos, scale);
            return EngineOk ? "ok " + std::to_string(rec) : status();
        }
        return "err syntax";
    }
};

int cmdScript(std::istream& in) {
    Script script;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string result = script.run(line);
        if (result.empty()) continue;
        std::fputs(result.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h") {
        std::fputs(invarro::cli::HelpText(invarro::cli::FbtoolDoc()).c_str(), stdout);
        return 0;
    }
    // Whatever an interrupted program left in the fileblock's folder (a transaction in its
    // journal, a rebuild cut short, files being replaced) is finished first.
    if (cmd != "script" && argc >= 3) {
        InitEngine(30);
        invarro::platform::SilentProgress silent;
        const data::FolderRecovery recovered = data::RecoverDataFolder(FolderOf(argv[2]), silent);
        ExitEngine();
        if (!recovered.ok) {
            std::fprintf(stderr, "%s\n", recovered.error.c_str());
            return 1;
        }
    }
    if (cmd == "info" && argc == 3) return cmdInfo(argv[2]);
    if (cmd == "check" && argc == 3) return cmdCheck(argv[2]);
    if (cmd == "dump" && argc == 3) return cmdDump(argv[2]);
    if (cmd == "dump" && argc == 4 && std::strcmp(argv[3], "--fields") == 0)
        return cmdDumpFields(argv[2]);
    if (cmd == "keys" && argc == 4) return cmdKeys(argv[2], std::atoi(argv[3]));
    if (cmd == "rebuild" && argc >= 3) {
        std::vector<RawKey> keys;
        for (int i = 3; i < argc; ++i) {
            RawKey k;
            if (std::string(argv[i]) != "--key" || i + 1 >= argc || !parseRawKey(argv[++i], k))
                return usage();
            keys.push_back(k);
        }
        return keys.empty() ? cmdRebuildKnown(argv[2]) : cmdRebuildRaw(argv[2], keys);
    }
    if (cmd == "script" && argc <= 3) {
        if (argc == 3) {
            std::ifstream f(argv[2]);
            if (!f) {
                std::fprintf(stderr, "cannot read %s\n", argv[2]);
                return 1;
            }
            return cmdScript(f);
        }
        return cmdScript(std::cin);
    }
    return usage();
}
