// Colours and fonts as the company settings keep them and as every document draws with
// them: a colour is a 24-bit value with red in the low byte and blue in the third; a font
// is a face name, a size in points, a colour and a set of style bits.
#pragma once

#include <cstdint>
#include <string>

namespace invarro::output {

struct Color {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    // The stored form: red in the low byte, green in the second, blue in the third; the
    // high byte is ignored.
    static constexpr Color fromValue(std::uint32_t v) {
        return Color{std::uint8_t(v & 0xFF), std::uint8_t((v >> 8) & 0xFF),
                     std::uint8_t((v >> 16) & 0xFF)};
    }
    constexpr std::uint32_t value() const {
        return std::uint32_t(red) | (std::uint32_t(green) << 8) | (std::uint32_t(blue) << 16);
    }
    friend constexpr bool operator==(const Color&, const Color&) = default;
};

inline constexpr Color kBlack{0, 0, 0};
inline constexpr Color kWhite{255, 255, 255};

// Style bits, the same as in the stored style byte.
enum FontStyle : std::uint8_t {
    kBold = 1,
    kItalic = 2,
    kUnderline = 4,
    kStrikeOut = 8,
};

struct Font {
    std::string face = "Arial";
    int size = 10;  // points
    Color color = kBlack;
    std::uint8_t style = 0;  // FontStyle bits

    bool bold() const { return style & kBold; }
    bool italic() const { return style & kItalic; }
    bool underline() const { return style & kUnderline; }
    bool strikeOut() const { return style & kStrikeOut; }
    friend bool operator==(const Font&, const Font&) = default;
};

}  // namespace invarro::output
