#include "bench/CompanySteps.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/BooksCheck.h"
#include "app/Startup.h"
#include "bench/SqlitePeer.h"
#include "bench/StepTimer.h"
#include "data/Fileblocks.h"
#include "platform/ConsolePrompter.h"
#include "platform/Progress.h"
#include "storage/Engine.h"

namespace invarro::bench {

namespace {

// Processor seconds of the child processes that have ended so far.
double ChildrenCpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string Quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The last line of a file (what invarro-cli says last on standard error).
std::string LastLine(const std::string& path) {
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last;
}

}  // namespace

void TimeBooksCheck(const std::string& folder, const data::CompanyRecord& company,
                    const platform::Clock& clock) {
    {
        app::Session session;
        session.folder = folder;
        session.company = company;
        app::ApplyCompanySettings(session);
        platform::ConsolePrompter prompter;
        platform::SilentProgress progress;
        Timer t;
        const app::BooksCheck found = app::CheckBooks(session, clock, prompter, progress);
        Report("books-check", t,
               " problems " + std::to_string(found.problems.size()) + " transactions " +
                   std::to_string(found.invoices) + " lines " + std::to_string(found.lines) +
                   " customers " + std::to_string(found.customers));
        for (size_t i = 0; i < found.problems.size() && i < 5; ++i)
            std::fprintf(stderr, "  %s\n", found.problems[i].line().c_str());
    }

    const std::filesystem::path cli =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "invarro-cli";
    if (!std::filesystem::exists(cli)) {
        std::printf("op cli-check skipped: %s is not built\n", cli.c_str());
        return;
    }
    const std::string said = folder + "/cli-check.err";
    const std::string command =
        Quoted(cli.string()) + " --data " + Quoted(folder) + " check >/dev/null 2>" + Quoted(said);
    const double childCpu = ChildrenCpu();
    Timer t;
    const int status = std::system(command.c_str());
    const double wall = t.seconds();
    Report("cli-check", wall, ChildrenCpu() - childCpu,
           " status " + std::to_string(WEXITSTATUS(status)) + " (" + LastLine(said) + ")");
    std::filesystem::remove(said);
}

void CompareRebuildWithSqlite(const std::string& folder, const std::string& prefix, int buffers,
                              double rebuildWall, double rebuildCpu) {
    const data::RecordKind& kind = data::KindOf(data::FileKind::Invoice);
    storage::Fileblock* fb =
        storage::OpenFileblock(data::FileblockName(folder, data::FileKind::Invoice, prefix), true);
    if (!fb) {
        std::fprintf(stderr, "cannot open the invoice file (engine error %d)\n",
                     storage::EngineError);
        return;
    }
    const int keyCount = kind.keyCount();
    std::vector<bool> unique;
    for (int k = 0; k < keyCount; ++k)
        unique.push_back(!kind.keys[size_t(k)].duplicates);
    // Two databases with the same rows: one for the indexes alone, one for the whole work.
    SqliteIndexPeer peer(folder + "/invoices.sqlite", keyCount, IndexBuildBytes(buffers));
    SqliteIndexPeer copyPeer(folder + "/invoices-copy.sqlite", keyCount, IndexBuildBytes(buffers));
    std::vector<uint8_t> record(size_t(kind.recordLength));
    std::vector<std::string> keys(static_cast<size_t>(keyCount));
    std::vector<std::string_view> keyViews(static_cast<size_t>(keyCount));
    for (int32_t n = storage::NextUsedRecord(fb, 0); storage::EngineOk;
         n = storage::NextUsedRecord(fb, n)) {
        storage::GetRecord(fb, n, record.data());
        if (!storage::EngineOk) break;
        for (int k = 1; k <= keyCount; ++k) {
            keys[size_t(k - 1)] = kind.buildKey(record.data(), k);
            keyViews[size_t(k - 1)] = keys[size_t(k - 1)];
        }
        const std::string_view body(reinterpret_cast<const char*>(record.data()), record.size());
        peer.add(n, keyViews, body);
        copyPeer.add(n, keyViews, body);
    }
    storage::CloseFileblock(fb);
    peer.loaded();
    copyPeer.loaded();
    const Seconds sqlite = peer.createIndexes(unique);
    Report("sqlite-create-invoice-indexes", sqlite.wall, sqlite.cpu,
           " rows " + std::to_string(peer.rows()) + " cache_size -" +
               std::to_string(IndexBuildBytes(buffers) / 1024));
    const Seconds sameWork = copyPeer.copyAndCreateIndexes(unique);
    Report("sqlite-copy-and-index-invoice-file", sameWork.wall, sameWork.cpu,
           " rows " + std::to_string(copyPeer.rows()));
    std::printf("ratio rebuild-invoice-file %.3f cpu %.3f\n", rebuildWall / sqlite.wall,
                rebuildCpu / sqlite.cpu);
    std::printf("ratio rebuild-invoice-file-same-work %.3f cpu %.3f\n", rebuildWall / sameWork.wall,
                rebuildCpu / sameWork.cpu);
}

}  // namespace invarro::bench
