#include "output/TextFile.h"

#include <cerrno>
#include <cstring>

#include "data/Ansi.h"
#include "data/Files.h"

namespace invarro::output {

bool WriteAnsiLines(const std::filesystem::path& file, const std::vector<std::string>& lines,
                    std::string* error) {
    return data::ReplaceUserFile(file.string(), data::TextFileBytes(lines), error);
}

std::optional<std::vector<std::string>> ReadTextLines(const std::filesystem::path& file,
                                                      std::string* error) {
    errno = 0;
    auto bytes = data::ReadWholeFile(file.string());
    if (!bytes) {
        if (error)
            *error = "Cannot open " + file.string() + ": " + std::strerror(errno ? errno : ENOENT);
        return std::nullopt;
    }
    return data::TextLines(*bytes);
}

bool WriteTextList(const std::filesystem::path& folder, const std::vector<std::string>& lines,
                   std::string* error) {
    std::vector<std::string> cut;
    cut.reserve(lines.size());
    for (const auto& line : lines)
        cut.push_back(data::FirstChars(line, kTextListWidth));
    // The program's own work file, which a file the user names may not replace.
    return data::ReplaceFile((folder / kTextListFile).string(), data::TextFileBytes(cut), error);
}

}  // namespace invarro::output
