// The program's INI file: strings and integers by section and key, and the window
// bounds every window keeps there.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace invarro::data {

inline constexpr std::string_view kIniFileName = "invarro.ini";
std::string IniFilePath(const std::string& dataFolder);

// One value of the settings.
struct SettingValue {
    std::string section;
    std::string key;
    std::string value;
    bool operator==(const SettingValue&) const = default;
};

// Whether a setting belongs to a company, so that everyone working in the same books shares
// it: the e-invoice settings, the mail sign-in (but its client secret and the account
// signed in, which are the person's), the mail templates, the bank statement CSV mapping,
// the payment-code switch and whether documents are mailed with their PDF. Window
// positions and every other setting are the person's own.
bool IsCompanySetting(std::string_view section, std::string_view key);

// Where the company settings of a folder are kept when not in its settings file: the side
// that mounts the books on a server supplies it. covers says whether a folder's are kept
// there; read gives all of them (nothing, with *error set, when they cannot be read);
// write stores values all or none.
struct CompanySettingsStore {
    std::function<bool(const std::string& folder)> covers;
    std::function<std::optional<std::vector<SettingValue>>(const std::string& folder,
                                                           std::string* error)>
        read;
    std::function<bool(const std::string& folder, const std::vector<SettingValue>& values,
                       std::string* error)>
        write;
    // Replaces all of them by values, all or nothing.
    std::function<bool(const std::string& folder, const std::vector<SettingValue>& values,
                       std::string* error)>
        replace;
};
void SetCompanySettingsStore(CompanySettingsStore store);
// Replaces all company settings kept in the store for a folder, all or nothing.
bool ReplaceCompanySettingsElsewhere(const std::string& folder,
                                     const std::vector<SettingValue>& values,
                                     std::string* error = nullptr);
// Whether two section or key names are the same (letter case and outer blanks aside).
bool SameSettingName(std::string_view a, std::string_view b);
// The section of the folder's settings file that names the server its books are on.
inline constexpr std::string_view kServerSettingsSection = "Server";
// The company settings kept in the store for a folder (nothing, with *error set, when they
// cannot be read or the folder's are not kept there).
std::optional<std::vector<SettingValue>> CompanySettingsElsewhere(const std::string& folder,
                                                                  std::string* error = nullptr);
// Whether the company settings of a folder are kept in the store rather than in its file.
bool CompanySettingsKeptElsewhere(const std::string& folder);

// Sections and keys are found regardless of letter case; values are trimmed. Writing
// changes the one line of the key (or adds it to its section, or adds the section) and
// rewrites the file at once; comments and other lines stay as they are.
//
// The settings file of a data folder whose company settings are kept elsewhere (books on a
// server) reads and writes those there and everything else in the file, so that callers
// never ask where a setting lives.
class IniFile {
  public:
    // Reads the file; a missing file is an empty one, and so is one that is not a regular
    // file of a side file's size at most (problem() then says so).
    explicit IniFile(std::string path);

    const std::string& path() const { return path_; }
    // Why the file that is there was not read ("" when it was read or is missing).
    const std::string& problem() const { return problem_; }

    std::optional<std::string> read(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // The number at the start of the value (optional sign, digits); fallback when the value
    // is missing or does not start with a number.
    int readInteger(std::string_view section, std::string_view key, int fallback) const;

    bool writeString(std::string_view section, std::string_view key, std::string_view value,
                     std::string* error = nullptr);
    bool writeInteger(std::string_view section, std::string_view key, int value,
                      std::string* error = nullptr);
    // Several keys of one section in one rewrite.
    bool write(std::string_view section,
               const std::vector<std::pair<std::string, std::string>>& values,
               std::string* error = nullptr);

    // Every key=value of the file itself, in file order.
    std::vector<SettingValue> fileValues() const;
    // Removes the file's lines of the values the predicate chooses (with sections left
    // empty) and rewrites the file.
    bool removeFromFile(const std::function<bool(const SettingValue&)>& which,
                        std::string* error = nullptr);

  private:
    void set(std::string_view section, std::string_view key, std::string_view value);
    bool save(std::string* error);

    std::string path_;
    std::string problem_;
    std::vector<std::string> lines_;
    // The company settings, when they are kept in the store (elsewhere_).
    bool elsewhere_ = false;
    std::string folder_;
    std::vector<SettingValue> company_;
};

// A window's position and size in screen pixels.
struct WindowBounds {
    int left = 10;
    int top = 10;
    int width = 0;
    int height = 0;
    bool operator==(const WindowBounds&) const = default;
};

// The screen's work area.
struct ScreenArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The keys "Top", "Left", "Width" and "Height" of the window's section; missing ones are
// 10, 10 and the designed size.
WindowBounds ReadWindowBounds(const IniFile& ini, std::string_view section, int designedWidth,
                              int designedHeight);
// A window larger than the work area shrinks to it; one that would reach past the right
// (bottom) edge moves to the area's left (top) edge on that axis, and one starting before
// the area's left (top) edge moves onto it.
WindowBounds FitToWorkArea(WindowBounds bounds, const ScreenArea& area);
bool WriteWindowBounds(IniFile& ini, std::string_view section, const WindowBounds& bounds,
                       std::string* error = nullptr);

}  // namespace invarro::data
