// The program's INI file: strings and integers by section and key, and the window
// bounds every window keeps there.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace invarro::data {

inline constexpr std::string_view kIniFileName = "invarro.ini";
std::string IniFilePath(const std::string& dataFolder);

// Sections and keys are found regardless of letter case; values are trimmed. Writing
// changes the one line of the key (or adds it to its section, or adds the section) and
// rewrites the file at once; comments and other lines stay as they are.
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

  private:
    void set(std::string_view section, std::string_view key, std::string_view value);
    bool save(std::string* error);

    std::string path_;
    std::string problem_;
    std::vector<std::string> lines_;
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
