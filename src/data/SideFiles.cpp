#include "data/SideFiles.h"

#include <filesystem>

#include <algorithm>
#include <cstring>

#include "data/Ansi.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/Texts.h"

namespace invarro::data {

namespace {

bool TermBefore(const std::string& a, const std::string& b) {
    // Compared as the file holds them: Windows-1252, upper case.
    std::string ua = UpperAnsi(AnsiFromUtf8(a)), ub = UpperAnsi(AnsiFromUtf8(b));
    if (ua != ub) return ua < ub;
    return a < b;
}

}  // namespace

std::optional<CompanyRecord> ReadLastCompany(const std::string& folder) {
    auto bytes = ReadSideFile(JoinPath(folder, kLastCompanyFile));
    if (!bytes || bytes->size() < CompanyRecord::size()) return std::nullopt;
    return CompanyRecord::FromBytes(bytes->data());
}

bool WriteLastCompany(const std::string& folder, const CompanyRecord& company, std::string* error) {
    std::string_view bytes(reinterpret_cast<const char*>(company.data()), company.size());
    return ReplaceFile(JoinPath(folder, kLastCompanyFile), bytes, error);
}

std::optional<std::string> ReadPassword(const std::string& folder) {
    std::string path = JoinPath(folder, kPasswordFile);
    if (!FileExists(path)) return std::nullopt;
    std::string bytes = ReadSideFile(path).value_or(std::string());
    if (bytes.empty()) return std::string();
    size_t len = std::min<size_t>(
        {size_t(static_cast<unsigned char>(bytes[0])), size_t(kPasswordWidth), bytes.size() - 1});
    return Utf8FromAnsi(std::string_view(bytes).substr(1, len));
}

bool WritePassword(const std::string& folder, std::string_view password, std::string* error) {
    std::string ansi = AnsiFromUtf8(password);
    if (ansi.size() > size_t(kPasswordWidth)) ansi.resize(size_t(kPasswordWidth));
    std::string bytes(size_t(kPasswordWidth) + 1, '\0');
    bytes[0] = char(ansi.size());
    std::memcpy(bytes.data() + 1, ansi.data(), ansi.size());
    return ReplaceFile(JoinPath(folder, kPasswordFile), bytes, error);
}

bool RemovePassword(const std::string& folder) {
    return RemoveFile(JoinPath(folder, kPasswordFile));
}

const std::vector<std::string>& BuiltInTerms() {
    static const std::vector<std::string> terms = {"1% 10 Net 30",
                                                   "2% 10 Net 30",
                                                   "Credit Card - American Express",
                                                   "Credit Card - Master Card",
                                                   "Credit Card - Visa",
                                                   "Due On Receipt",
                                                   "Net 10 Days",
                                                   "Net 20 Days",
                                                   "Net 30 Days"};
    return terms;
}

namespace {
SharedSideFileStore gSharedStore;
}

void SetSharedSideFileStore(SharedSideFileStore store) {
    gSharedStore = std::move(store);
}

bool IsSharedPictureName(std::string_view name) {
    return name.size() > 4 && UpperText(name.substr(name.size() - 4)) == ".BMP" &&
           name.find('/') == std::string_view::npos;
}

std::vector<std::string> SharedSideFilesOf(const std::string& folder) {
    std::vector<std::string> names(std::begin(kSharedSideFiles), std::end(kSharedSideFiles));
    if (gSharedStore.pictures)
        for (std::string& p : gSharedStore.pictures(folder))
            names.push_back(std::move(p));
    return names;
}

bool ShareCompanyPictures(const std::string& folder, const std::vector<std::string>& names,
                          std::string* error) {
    for (const std::string& written : names) {
        const std::string name = TrimmedText(written);
        if (!IsSharedPictureName(name)) continue;
        const std::string path = JoinPath(folder, name);
        if (!SharedSideFileKeptElsewhere(path)) continue;
        const std::optional<std::string> bytes = ReadSideFile(path, error, kPictureLimit);
        if (bytes && !WriteSharedSideFile(path, *bytes, error)) return false;
        if (!bytes && error && !error->empty()) return false;
    }
    return true;
}

bool SharedSideFileKeptElsewhere(const std::string& path) {
    return gSharedStore.covers && gSharedStore.covers(path);
}

std::optional<std::string> ReadSharedSideFile(const std::string& path, std::string* error) {
    if (SharedSideFileKeptElsewhere(path)) return gSharedStore.read(path, error);
    if (!FileExists(path)) return std::nullopt;
    const std::string name = std::filesystem::path(path).filename().string();
    return ReadSideFile(path, error, IsSharedPictureName(name) ? kPictureLimit : kSideFileLimit);
}

bool WriteSharedSideFile(const std::string& path, std::string_view bytes, std::string* error) {
    if (SharedSideFileKeptElsewhere(path)) return gSharedStore.write(path, bytes, error);
    return ReplaceFile(path, bytes, error);
}

TermsList LoadTerms(const std::string& folder) {
    TermsList list;
    std::string path = JoinPath(folder, kTermsFile);
    auto builtIn = [&list] {
        list.terms = BuiltInTerms();
        SortTerms(list.terms);
    };
    std::optional<std::string> bytes;
    if (SharedSideFileKeptElsewhere(path)) {
        // Shared on the books' server: one that cannot be read there is not written over.
        bytes = ReadSharedSideFile(path, &list.error);
        if (!bytes && !list.error.empty()) {
            builtIn();
            return list;
        }
    } else if (std::string problem = SideFileProblem(path); !problem.empty()) {
        // Something that is not a terms file (a FIFO, a device, a huge file) is neither read
        // nor written over; the built-in list stands in for it.
        builtIn();
        list.error = problem;
        return list;
    } else if (FileExists(path)) {
        bytes = ReadSideFile(path, &list.error);
        if (!bytes) {
            if (list.error.empty()) list.error = "Cannot read " + path;
            return list;
        }
    }
    if (!bytes) {
        builtIn();
        list.ok = SaveTerms(folder, list.terms, &list.error);
        list.created = list.ok;
        return list;
    }
    for (auto& line : TextLines(*bytes))
        if (!TrimText(line).empty()) list.terms.push_back(std::move(line));
    SortTerms(list.terms);
    list.ok = true;
    return list;
}

bool SaveTerms(const std::string& folder, const std::vector<std::string>& terms,
               std::string* error) {
    return WriteSharedSideFile(JoinPath(folder, kTermsFile), TextFileBytes(terms), error);
}

void SortTerms(std::vector<std::string>& terms) {
    std::stable_sort(terms.begin(), terms.end(), TermBefore);
}

void InsertTerm(std::vector<std::string>& terms, const std::string& term) {
    terms.insert(std::upper_bound(terms.begin(), terms.end(), term, TermBefore), term);
}

int32_t ReadColourFile(const std::string& path) {
    auto bytes = ReadSharedSideFile(path);
    if (!bytes || bytes->size() < size_t(kFontBlockSize)) return 0;
    return DecodeFontBlock(reinterpret_cast<const uint8_t*>(bytes->data())).colour;
}

bool WriteColourFile(const std::string& path, int32_t colour, std::string* error) {
    uint8_t block[kFontBlockSize];
    std::memset(block, 0, sizeof block);
    WriteInt32(block + 40, colour);
    return WriteSharedSideFile(
        path, std::string_view(reinterpret_cast<const char*>(block), sizeof block), error);
}

std::vector<std::string> UnreadSideFiles(const std::string& folder) {
    static constexpr std::string_view kNames[] = {kLastCompanyFile, kPasswordFile,  kTermsFile,
                                                  kShadeColourFile, kBoxColourFile, kIniFileName,
                                                  "Lastlbl.DAT",    "SAVELINE.SAV", "SAVEMEMO.SAV"};
    std::vector<std::string> problems;
    for (std::string_view name : kNames)
        if (std::string p = SideFileProblem(JoinPath(folder, name)); !p.empty())
            problems.push_back(std::move(p));
    return problems;
}

platform::Message UnreadSideFilesMessage(const std::vector<std::string>& problems) {
    std::string text =
        "These files of the data folder are not what they should be and are not "
        "read; the program goes on with their defaults:";
    for (const std::string& p : problems)
        text += "\n" + p;
    return platform::Message{std::string(kAppTitle), text, platform::Icon::Warning,
                             platform::Buttons::Ok, platform::Answer::Ok};
}

}  // namespace invarro::data
