#include "data/IniFile.h"

#include <algorithm>
#include <filesystem>

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

CompanySettingsStore& Store() {
    static CompanySettingsStore store;
    return store;
}

// "Name 12": the section of a company of that number.
bool CompanySection(std::string_view section, std::string_view name) {
    section = TrimText(section);
    if (section.size() <= name.size() + 1 || !SameName(section.substr(0, name.size()), name) ||
        section[name.size()] != ' ')
        return false;
    for (char c : section.substr(name.size() + 1))
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

bool IsCompanySetting(std::string_view section, std::string_view key) {
    if (CompanySection(section, "E-Mail Sign-In"))
        return !SameName(key, "ClientSecret") && !SameName(key, "Account");
    for (std::string_view name : {"E-Invoice", "E-Mail Templates", "Bank CSV", "Payment code"})
        if (CompanySection(section, name)) return true;
    return SameName(section, "E-Mail Attachment");
}

void SetCompanySettingsStore(CompanySettingsStore store) {
    Store() = std::move(store);
}

bool CompanySettingsKeptElsewhere(const std::string& folder) {
    return Store().covers && Store().covers(folder);
}

std::optional<std::vector<SettingValue>> CompanySettingsElsewhere(const std::string& folder,
                                                                  std::string* error) {
    if (!CompanySettingsKeptElsewhere(folder)) {
        if (error) *error = "the company settings of " + folder + " are kept in its own file";
        return std::nullopt;
    }
    return Store().read(folder, error);
}

bool ReplaceCompanySettingsElsewhere(const std::string& folder,
                                     const std::vector<SettingValue>& values, std::string* error) {
    if (!CompanySettingsKeptElsewhere(folder) || !Store().replace) {
        if (error) *error = "the company settings of " + folder + " are kept in its own file";
        return false;
    }
    return Store().replace(folder, values, error);
}

bool SameSettingName(std::string_view a, std::string_view b) {
    return SameName(a, b);
}

std::string IniFilePath(const std::string& dataFolder) {
    return JoinPath(dataFolder, kIniFileName);
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    if (auto bytes = ReadSideFile(path_, &problem_)) lines_ = TextLines(*bytes);
    const std::filesystem::path p(path_);
    if (p.filename() != kIniFileName) return;
    folder_ = p.parent_path().string();
    if (!CompanySettingsKeptElsewhere(folder_)) return;
    elsewhere_ = true;
    std::string why;
    if (auto values = Store().read(folder_, &why))
        company_ = std::move(*values);
    else if (problem_.empty())
        problem_ = "The company settings could not be read: " + why;
}

std::optional<std::string> IniFile::read(std::string_view section, std::string_view key) const {
    if (elsewhere_ && IsCompanySetting(section, key)) {
        for (const SettingValue& v : company_)
            if (SameName(v.section, section) && SameName(v.key, key))
                return std::string(TrimText(v.value));
        return std::nullopt;
    }
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
    return write(section, {{std::string(key), std::string(value)}}, error);
}

bool IniFile::writeInteger(std::string_view section, std::string_view key, int value,
                           std::string* error) {
    return writeString(section, key, std::to_string(value), error);
}

bool IniFile::write(std::string_view section,
                    const std::vector<std::pair<std::string, std::string>>& values,
                    std::string* error) {
    // The store first: when it refuses, the file is not changed either.
    std::vector<SettingValue> elsewhere;
    for (const auto& [k, v] : values)
        if (elsewhere_ && IsCompanySetting(section, k))
            elsewhere.push_back({std::string(TrimText(section)), std::string(TrimText(k)),
                                 std::string(TrimText(v))});
    if (!elsewhere.empty()) {
        if (!Store().write || !Store().write(folder_, elsewhere, error)) return false;
        for (const SettingValue& n : elsewhere) {
            auto it = std::find_if(company_.begin(), company_.end(), [&](const SettingValue& o) {
                return SameName(o.section, n.section) && SameName(o.key, n.key);
            });
            if (it == company_.end())
                company_.push_back(n);
            else
                it->value = n.value;
        }
    }
    if (elsewhere.size() == values.size()) return true;
    for (const auto& [k, v] : values)
        if (!elsewhere_ || !IsCompanySetting(section, k)) set(section, k, v);
    return save(error);
}

std::vector<SettingValue> IniFile::fileValues() const {
    std::vector<SettingValue> out;
    std::string section;
    for (const auto& line : lines_) {
        if (auto s = SectionOf(line)) {
            section = std::string(*s);
            continue;
        }
        if (auto k = KeyOf(line))
            out.push_back(
                {section, std::string(*k), std::string(TrimText(line.substr(line.find('=') + 1)))});
    }
    return out;
}

bool IniFile::removeFromFile(const std::function<bool(const SettingValue&)>& which,
                             std::string* error) {
    std::vector<std::string> kept;
    std::string section;
    size_t sectionAt = 0;  // where the current section's line is in kept
    bool sectionHasKeys = true;
    for (const auto& line : lines_) {
        if (auto s = SectionOf(line)) {
            if (!sectionHasKeys) kept.resize(sectionAt);
            section = std::string(*s);
            sectionAt = kept.size();
            sectionHasKeys = false;
            kept.push_back(line);
            continue;
        }
        if (auto k = KeyOf(line)) {
            const std::string value(TrimText(line.substr(line.find('=') + 1)));
            if (which({section, std::string(*k), value})) continue;
            sectionHasKeys = true;
        } else if (!TrimText(line).empty()) {
            sectionHasKeys = true;  // a comment keeps its section
        }
        kept.push_back(line);
    }
    if (!sectionHasKeys) kept.resize(sectionAt);
    while (!kept.empty() && TrimText(kept.back()).empty())
        kept.pop_back();
    lines_ = std::move(kept);
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
