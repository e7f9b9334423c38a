// Record layouts as tables of named fields, and typed access to records through them.
//
// Each record kind declares its fields once, as a list of (name, offset, kind, width).
// From that list come the field table (used by tools and checks), the typed field
// constants (Customer::Name, ...) and a compile-time proof that every field lies inside
// the record, after the engine's 4-byte status word, without overlapping another one.
// Bytes that no field covers are reserved: zero in new records and kept on change.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "data/Ansi.h"
#include "data/Money.h"

namespace invarro::data {

enum class FieldKind : uint8_t {
    Text,   // text(n): a length byte and n Windows-1252 characters
    Money,  // text(n) holding an amount ("0.00")
    YesNo,  // text(1) holding "Y" or "N"
    Byte,   // one byte, 0 = no, 1 = yes, or a small number
    Int32,  // signed little-endian 32-bit integer
    Style,  // one byte of font style bits
    Font,   // 48-byte font setting: name text(32) at 0, size at 36, colour at 40, style at 44
};

struct FieldDef {
    std::string_view name;
    int offset = 0;
    FieldKind kind = FieldKind::Text;
    int width = 0;  // characters of a text field; unused by the other kinds
};

constexpr bool IsTextKind(FieldKind k) {
    return k == FieldKind::Text || k == FieldKind::Money || k == FieldKind::YesNo;
}

// Bytes a field occupies in the record.
constexpr int FieldSize(const FieldDef& f) {
    switch (f.kind) {
        case FieldKind::Text:
        case FieldKind::Money:
        case FieldKind::YesNo:
            return f.width + 1;
        case FieldKind::Byte:
        case FieldKind::Style:
            return 1;
        case FieldKind::Int32:
            return 4;
        case FieldKind::Font:
            return 48;
    }
    return 0;
}

// Every field after the status word and inside the record, text widths 1..255 (yes/no
// fields 1), no two fields sharing a byte.
template <size_t N>
constexpr bool LayoutFits(const std::array<FieldDef, N>& fields, int recordLength) {
    for (size_t i = 0; i < N; ++i) {
        const FieldDef& f = fields[i];
        if (f.name.empty() || f.offset < 4 || f.offset + FieldSize(f) > recordLength) return false;
        if (IsTextKind(f.kind) && (f.width < 1 || f.width > 255)) return false;
        if (f.kind == FieldKind::YesNo && f.width != 1) return false;
        for (size_t j = 0; j < i; ++j) {
            const FieldDef& g = fields[j];
            bool apart = f.offset + FieldSize(f) <= g.offset || g.offset + FieldSize(g) <= f.offset;
            if (!apart || f.name == g.name) return false;
        }
    }
    return true;
}

// Style bits of a font.
namespace style {
inline constexpr uint8_t Bold = 1;
inline constexpr uint8_t Italic = 2;
inline constexpr uint8_t Underline = 4;
inline constexpr uint8_t StrikeOut = 8;
}  // namespace style

// A font as the records keep it. The colour is a 24-bit value with red in the low byte.
struct FontSetting {
    std::string name;  // UTF-8, at most 32 Windows-1252 characters are kept
    int32_t size = 0;
    int32_t colour = 0;
    uint8_t style = 0;
    bool operator==(const FontSetting&) const = default;
};

inline constexpr int kFontBlockSize = 48;
FontSetting DecodeFontBlock(const uint8_t* block);
// Writes all 48 bytes; bytes outside the four values become 0.
void EncodeFontBlock(uint8_t* block, const FontSetting& font);

// Field codecs on raw record bytes. A text field is written as its length byte and its
// characters, and the rest of its room is zero-filled (as in a new record), so that no
// trace of a longer earlier value stays in the record; readers stop at the length.
std::string ReadAnsiText(const uint8_t* record, const FieldDef& f);
// The same characters seen in place, for reading a field without copying it.
inline std::string_view AnsiTextView(const uint8_t* record, const FieldDef& f) {
    // A length byte beyond the field's room (a damaged record) is read as the full width.
    const size_t len = record[f.offset] < f.width ? record[f.offset] : size_t(f.width);
    return std::string_view(reinterpret_cast<const char*>(record + f.offset + 1), len);
}
void WriteAnsiText(uint8_t* record, const FieldDef& f, std::string_view ansi);
// Whether two records of length `length` hold the same values. The bytes after a text
// field's length are not compared: records written before those bytes were cleared
// may still hold an earlier value's tail there.
bool SameValues(const uint8_t* a, const uint8_t* b, size_t length,
                std::span<const FieldDef> fields);
int32_t ReadInt32(const uint8_t* p);
void WriteInt32(uint8_t* p, int32_t v);
// A field's value as one line of text, for tools and logs.
std::string FieldValueText(const uint8_t* record, const FieldDef& f);

// A field of layout L whose kind is K: what the typed accessors take.
template <class L, FieldKind K>
struct FieldRef {
    int index;
    constexpr const FieldDef& def() const { return L::kFields[size_t(index)]; }
};

// Read access to a record of layout L held elsewhere (an engine buffer, a file image).
template <class L>
class RecordView {
  public:
    explicit RecordView(const void* bytes) : p_(static_cast<const uint8_t*>(bytes)) {}
    const uint8_t* data() const { return p_; }

    // The stored characters of a text field, in UTF-8.
    template <FieldKind K>
    requires(IsTextKind(K)) std::string text(FieldRef<L, K> f)
    const { return Utf8FromAnsi(ReadAnsiText(p_, f.def())); }
    // The stored characters as they are (Windows-1252): what keys are built from.
    template <FieldKind K>
    requires(IsTextKind(K)) std::string ansi(FieldRef<L, K> f)
    const { return ReadAnsiText(p_, f.def()); }
    // The same, seen in the record: valid while the record's bytes are.
    template <FieldKind K>
    requires(IsTextKind(K)) std::string_view ansiView(FieldRef<L, K> f)
    const { return AnsiTextView(p_, f.def()); }
    Money money(FieldRef<L, FieldKind::Money> f) const {
        return MoneyFromStored(AnsiTextView(p_, f.def()));
    }
    // "Y" (either case) is yes; anything else no.
    bool yes(FieldRef<L, FieldKind::YesNo> f) const {
        const std::string_view t = AnsiTextView(p_, f.def());
        return t == "Y" || t == "y";
    }
    uint8_t byte(FieldRef<L, FieldKind::Byte> f) const { return p_[f.def().offset]; }
    int32_t int32(FieldRef<L, FieldKind::Int32> f) const { return ReadInt32(p_ + f.def().offset); }
    uint8_t style(FieldRef<L, FieldKind::Style> f) const { return p_[f.def().offset]; }
    FontSetting font(FieldRef<L, FieldKind::Font> f) const {
        return DecodeFontBlock(p_ + f.def().offset);
    }

  private:
    const uint8_t* p_;
};

// A record of layout L: L::kLength bytes, zero-filled when made, read and written only
// through the field table.
template <class L>
class Record {
  public:
    using Layout = L;
    static constexpr int kLength = L::kLength;

    Record() { bytes_.fill(0); }
    static Record FromBytes(const void* bytes) {
        Record r;
        std::memcpy(r.bytes_.data(), bytes, size_t(kLength));
        return r;
    }

    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }
    static constexpr size_t size() { return size_t(kLength); }
    RecordView<L> view() const { return RecordView<L>(bytes_.data()); }

    // The engine's status word: 0 for a live record.
    int32_t status() const { return ReadInt32(bytes_.data()); }
    bool live() const { return status() == 0; }
    void clearStatus() { WriteInt32(bytes_.data(), 0); }

    template <FieldKind K>
    requires(IsTextKind(K)) std::string text(FieldRef<L, K> f)
    const { return view().text(f); }
    template <FieldKind K>
    requires(IsTextKind(K)) std::string ansi(FieldRef<L, K> f)
    const { return view().ansi(f); }
    template <FieldKind K>
    requires(IsTextKind(K)) std::string_view ansiView(FieldRef<L, K> f)
    const { return view().ansiView(f); }
    Money money(FieldRef<L, FieldKind::Money> f) const { return view().money(f); }
    bool yes(FieldRef<L, FieldKind::YesNo> f) const { return view().yes(f); }
    uint8_t byte(FieldRef<L, FieldKind::Byte> f) const { return view().byte(f); }
    int32_t int32(FieldRef<L, FieldKind::Int32> f) const { return view().int32(f); }
    uint8_t style(FieldRef<L, FieldKind::Style> f) const { return view().style(f); }
    FontSetting font(FieldRef<L, FieldKind::Font> f) const { return view().font(f); }

    // Writes UTF-8 text, converted to Windows-1252 and cut to the field's width; the
    // field's room after the new length is zero-filled.
    template <FieldKind K>
    requires(IsTextKind(K)) void setText(FieldRef<L, K> f, std::string_view utf8) {
        WriteAnsiText(bytes_.data(), f.def(), AnsiFromUtf8(utf8));
    }
    template <FieldKind K>
    requires(IsTextKind(K)) void setAnsi(FieldRef<L, K> f, std::string_view ansi) {
        WriteAnsiText(bytes_.data(), f.def(), ansi);
    }
    // Stores the amount as "0.00" text. An amount too long for the field is refused:
    // the field is left as it was and false is returned.
    [[nodiscard]] bool setMoney(FieldRef<L, FieldKind::Money> f, Money m) {
        if (!m.fits(f.def().width)) return false;
        WriteAnsiText(bytes_.data(), f.def(), m.storedText());
        return true;
    }
    void setYes(FieldRef<L, FieldKind::YesNo> f, bool yes) {
        WriteAnsiText(bytes_.data(), f.def(), yes ? "Y" : "N");
    }
    void setByte(FieldRef<L, FieldKind::Byte> f, uint8_t v) { bytes_[size_t(f.def().offset)] = v; }
    void setInt32(FieldRef<L, FieldKind::Int32> f, int32_t v) {
        WriteInt32(bytes_.data() + f.def().offset, v);
    }
    void setStyle(FieldRef<L, FieldKind::Style> f, uint8_t v) {
        bytes_[size_t(f.def().offset)] = v;
    }
    void setFont(FieldRef<L, FieldKind::Font> f, const FontSetting& font) {
        EncodeFontBlock(bytes_.data() + f.def().offset, font);
    }

    bool operator==(const Record& o) const { return bytes_ == o.bytes_; }
    // The same values, whatever an older write left after a text field's length.
    bool sameValues(const Record& o) const {
        return SameValues(bytes_.data(), o.bytes_.data(), size(), L::kFields);
    }

  private:
    std::array<uint8_t, size_t(L::kLength)> bytes_;
};

}  // namespace invarro::data

// Builds a layout struct from a field list macro LIST(X), each entry
// X(Name, offset, Kind, width). The struct holds kLength, kName, the field table
// kFields and one typed constant per field.
#define INVARRO_LAYOUT_INDEX(n, o, k, w) n##_,
#define INVARRO_LAYOUT_REF(n, o, k, w) \
    static constexpr ::invarro::data::FieldRef<Self, ::invarro::data::FieldKind::k> n{n##_};
#define INVARRO_LAYOUT_DEF(n, o, k, w) \
    ::invarro::data::FieldDef{#n, o, ::invarro::data::FieldKind::k, w},
#define INVARRO_DEFINE_LAYOUT(Type, KindName, Length, LIST)                                  \
    struct Type {                                                                            \
        using Self = Type;                                                                   \
        static constexpr int kLength = Length;                                               \
        static constexpr std::string_view kName = KindName;                                  \
        enum Index : int { LIST(INVARRO_LAYOUT_INDEX) kFieldCount };                         \
        LIST(INVARRO_LAYOUT_REF)                                                             \
        static constexpr std::array<::invarro::data::FieldDef, size_t(kFieldCount)> kFields{ \
            {LIST(INVARRO_LAYOUT_DEF)}};                                                     \
    };                                                                                       \
    static_assert(::invarro::data::LayoutFits(Type::kFields, Type::kLength),                 \
                  #Type ": every field must lie inside the record without overlapping")
