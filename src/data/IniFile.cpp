#include "data/IniFile.h"

#include "data/Ansi.h"
#include "data/Files.h"

namespace invarro::data {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return UpperText(TrimText(a)) == UpperText(TrimText(b));
}

// The section named by a "[name]" line.
std::optional<std::string_view> SectionOf(std::string_view line) {
    std::string_view t = TrimText(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return TrimText(t.substr(1, close - 1));
}

// The key of a "key=value" line; nothing for comments and other lines.
std::optional<std::string_view> KeyOf(std::string_view line) {
    std::string_view t = TrimText(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return TrimText(t.substr(0, eq));
}

}  // namespace

std::string IniFilePath(const std::string& dataFolder) {
    return JoinPath(dataFolder, kIniFileName);
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    if (auto bytes = ReadSideFile(path_, &problem_)) lines_ = TextLines(*bytes);
}

std::optional<std::string> IniFile::read(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (const auto& line : lines_) {
        if (auto s = SectionOf(line)) {
            inSection = SameName(*s, section);
            continue;
        }
        if (!inSection) continue;
        auto k = KeyOf(line);
        if (k && SameName(*k, key)) return std::string(TrimText(line.substr(line.find('=') + 1)));
    }
    return std::nullopt;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    auto v = read(section, key);
    return v ? *v : std::string(fallback);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int fallback) const {
    auto v = read(section, key);
    if (!v) return fallback;
    size_t i = 0;
    bool negative = false;
    if (i < v->size() && ((*v)[i] == '-' || (*v)[i] == '+')) negative = (*v)[i++] == '-';
    long long n = 0;
    size_t digits = 0;
    for (; i < v->size() && (*v)[i] >= '0' && (*v)[i] <= '9'; ++i, ++digits) {
        n = n * 10 + ((*v)[i] - '0');
        if (n > 2147483648LL) return fallback;
    }
    if (digits == 0) return fallback;
    n = negative ? -n : n;
    if (n > 2147483647LL) return fallback;
    return int(n);
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    std::string entry = std::string(key) + "=" + std::string(value);
    size_t sectionLine = lines_.size();
    size_t lastInSection = 0;
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (auto s = SectionOf(lines_[i])) {
            inSection = SameName(*s, section);
            if (inSection && sectionLine == lines_.size()) {
                sectionLine = i;
                lastInSection = i;
            }
            continue;
        }
        if (!inSection) continue;
        auto k = KeyOf(lines_[i]);
        if (k && SameName(*k, key)) {
            lines_[i] = entry;
            return;
        }
        if (!TrimText(lines_[i]).empty() && sectionLine != lines_.size()) lastInSection = i;
    }
    if (sectionLine != lines_.size()) {
        lines_.insert(lines_.begin() + std::ptrdiff_t(lastInSection + 1), entry);
        return;
    }
    if (!lines_.empty() && !TrimText(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(entry);
}

bool IniFile::save(std::string* error) {
    return ReplaceFile(path_, TextFileBytes(lines_), error);
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value,
                          std::string* error) {
    set(section, key, value);
    return save(error);
}

bool IniFile::writeInteger(std::string_view section, std::string_view key, int value,
                           std::string* error) {
    return writeString(section, key, std::to_string(value), error);
}

bool IniFile::write(std::string_view section,
                    const std::vector<std::pair<std::string, std::string>>& values,
                    std::string* error) {
    for (const auto& [k, v] : values)
        set(section, k, v);
    return save(error);
}

WindowBounds ReadWindowBounds(const IniFile& ini, std::string_view section, int designedWidth,
                              int designedHeight) {
    WindowBounds b;
    b.top = ini.readInteger(section, "Top", 10);
    b.left = ini.readInteger(section, "Left", 10);
    b.width = ini.readInteger(section, "Width", designedWidth);
    b.height = ini.readInteger(section, "Height", designedHeight);
    return b;
}

WindowBounds FitToWorkArea(WindowBounds b, const ScreenArea& area) {
    if (area.width > 0 && b.width > area.width) b.width = area.width;
    if (area.height > 0 && b.height > area.height) b.height = area.height;
    if (b.left < area.left) b.left = area.left;
    if (b.top < area.top) b.top = area.top;
    if (long(b.left) + b.width > long(area.left) + area.width) b.left = area.left;
    if (long(b.top) + b.height > long(area.top) + area.height) b.top = area.top;
    return b;
}

bool WriteWindowBounds(IniFile& ini, std::string_view section, const WindowBounds& b,
                       std::string* error) {
    return ini.write(section,
                     {{"Top", std::to_string(b.top)},
                      {"Left", std::to_string(b.left)},
                      {"Width", std::to_string(b.width)},
                      {"Height", std::to_string(b.height)}},
                     error);
}

}  // namespace invarro::data
