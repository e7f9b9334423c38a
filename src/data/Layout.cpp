#include "data/Layout.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace invarro::data {

namespace {
constexpr FieldDef kFontName{"name", 0, FieldKind::Text, 32};
}

int32_t ReadInt32(const uint8_t* p) {
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return int32_t(v);
}

void WriteInt32(uint8_t* p, int32_t value) {
    uint32_t v = uint32_t(value);
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

std::string ReadAnsiText(const uint8_t* record, const FieldDef& f) {
    return std::string(AnsiTextView(record, f));
}

void WriteAnsiText(uint8_t* record, const FieldDef& f, std::string_view ansi) {
    size_t len = std::min(ansi.size(), size_t(f.width));
    record[f.offset] = uint8_t(len);
    std::memcpy(record + f.offset + 1, ansi.data(), len);
    std::memset(record + f.offset + 1 + len, 0, size_t(f.width) - len);
}

bool SameValues(const uint8_t* a, const uint8_t* b, size_t length,
                std::span<const FieldDef> fields) {
    if (std::memcmp(a, b, length) == 0) return true;
    std::vector<uint8_t> x(a, a + length);
    std::vector<uint8_t> y(b, b + length);
    for (const FieldDef& f : fields) {
        if (!IsTextKind(f.kind)) continue;
        // Rewriting each text field as it reads clears what lies after its length.
        WriteAnsiText(x.data(), f, ReadAnsiText(x.data(), f));
        WriteAnsiText(y.data(), f, ReadAnsiText(y.data(), f));
    }
    return x == y;
}

FontSetting DecodeFontBlock(const uint8_t* block) {
    FontSetting f;
    f.name = Utf8FromAnsi(ReadAnsiText(block, kFontName));
    f.size = ReadInt32(block + 36);
    f.colour = ReadInt32(block + 40);
    f.style = block[44];
    return f;
}

void EncodeFontBlock(uint8_t* block, const FontSetting& font) {
    std::memset(block, 0, size_t(kFontBlockSize));
    WriteAnsiText(block, kFontName, AnsiFromUtf8(font.name));
    WriteInt32(block + 36, font.size);
    WriteInt32(block + 40, font.colour);
    block[44] = font.style;
}

std::string FieldValueText(const uint8_t* record, const FieldDef& f) {
    auto quoted = [](const std::string& ansi) {
        std::string out = "\"";
        for (unsigned char c : ansi) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += char(c);
            } else if (c < 32 || c == 127) {
                char b[8];
                std::snprintf(b, sizeof b, "\\x%02X", c);
                out += b;
            } else {
                out += Utf8FromAnsi(std::string(1, char(c)));
            }
        }
        return out + "\"";
    };
    const uint8_t* p = record + f.offset;
    switch (f.kind) {
        case FieldKind::Text:
        case FieldKind::Money:
        case FieldKind::YesNo:
            return quoted(ReadAnsiText(record, f));
        case FieldKind::Byte:
        case FieldKind::Style:
            return std::to_string(int(*p));
        case FieldKind::Int32:
            return std::to_string(ReadInt32(p));
        case FieldKind::Font: {
            FontSetting font = DecodeFontBlock(p);
            char b[64];
            std::snprintf(b, sizeof b, " size %d colour 0x%06X style %d", int(font.size),
                          unsigned(font.colour), int(font.style));
            return quoted(ReadAnsiText(p, kFontName)) + b;
        }
    }
    return {};
}

}  // namespace invarro::data
