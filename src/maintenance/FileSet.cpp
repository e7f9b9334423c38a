#include "maintenance/FileSet.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>

#include "data/Fileblocks.h"

namespace invarro::maintenance {

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string LowerName(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

// The user's own documents: any name with these extensions belongs.
constexpr std::array<std::string_view, 4> kDocumentExtensions = {".lst", ".lbl", ".rtf", ".bmp"};
// The side files of the installation.
constexpr std::array<std::string_view, 9> kSideFiles = {
    "LastCo.Dat",   "kr1confg.dat", "KRTERMS.DAT",   "Lastlbl.DAT", "SAVELINE.SAV",
    "SAVEMEMO.SAV", "Shadeclr.fnt", "InvBoxClr.fnt", "invarro.ini"};

// How a name is shown in a message: control characters as "?".
std::string Shown(std::string_view name) {
    std::string out;
    for (char c : name)
        out += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
    return out;
}

// Why a name cannot stand for a file of the data folder ("" when it can).
std::string BareNameProblem(std::string_view name) {
    const std::string shown = "\"" + Shown(name) + "\"";
    if (name.empty()) return "an entry has no name";
    if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos)
        return shown + " is not a bare file name";
    if (name == "." || name == "..") return shown + " is not a file name";
    for (char c : name)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            return shown + " holds control characters";
    if (!IsFileSetName(name)) return shown + " is not one of the data files";
    return "";
}

}  // namespace

bool SameFileName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && LowerName(a) == LowerName(b);
}

bool IsFileblockFileName(std::string_view name, std::string* base, bool* dataFile) {
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos) return false;
    const std::string ext = LowerName(name.substr(dot));
    if (ext != ".dat" && ext != ".ix") return false;
    const std::string stem(name.substr(0, dot));
    const std::string lower = LowerName(stem);
    const bool company = lower == "company";
    if (!company) {
        if (lower.size() < 2 ||
            std::string_view("cinmpdeb").find(lower.back()) == std::string::npos ||
            // A company number 1..32000 as the program writes it (no blank, no leading 0).
            data::CompanyPrefix(lower.substr(0, lower.size() - 1)) !=
                lower.substr(0, lower.size() - 1))
            return false;
    }
    if (base) *base = stem;
    if (dataFile) *dataFile = ext == ".dat";
    return true;
}

bool IsFileSetName(std::string_view name) {
    if (std::any_of(kSideFiles.begin(), kSideFiles.end(),
                    [&](std::string_view side) { return SameFileName(name, side); }))
        return true;
    if (IsFileblockFileName(name)) return true;
    const std::string lower = LowerName(name);
    for (std::string_view ext : kDocumentExtensions)
        if (lower.size() > ext.size() &&
            lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0)
            return true;
    return false;
}

std::vector<std::string> CollectFileSet(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return names;
    for (const fs::directory_entry& entry : it) {
        std::error_code sec;
        const fs::file_status st = entry.symlink_status(sec);
        if (sec || !fs::is_regular_file(st)) continue;
        // A name that a restore would refuse is left out, so that every archive made
        // here can be restored.
        std::string name = entry.path().filename().string();
        if (BareNameProblem(name).empty()) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string EntryProblem(const platform::ArchiveEntry& entry) {
    const std::string shown = "\"" + Shown(entry.name) + "\"";
    if (entry.directory) return shown + " is a folder";
    if (entry.link) return shown + " is a link";
    std::string problem = BareNameProblem(entry.name);
    if (!problem.empty()) return problem;
    if (entry.encrypted) return shown + " is encrypted";
    if (!entry.deflated && !entry.stored) return shown + " is compressed in an unknown way";
    return "";
}

std::string ArchiveProblem(const std::vector<platform::ArchiveEntry>& entries) {
    std::set<std::string> seen;
    for (const platform::ArchiveEntry& e : entries) {
        std::string problem = EntryProblem(e);
        if (!problem.empty()) return problem;
        if (!seen.insert(LowerName(e.name)).second)
            return "\"" + Shown(e.name) + "\" is in the archive twice";
    }
    return "";
}

}  // namespace invarro::maintenance
