// Little-endian integer access to byte buffers; every file format field goes through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace invarro::storage {

inline int32_t rd32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                uint32_t(p[3]) << 24);
}
inline int16_t rd16(const uint8_t* p) {
    return static_cast<int16_t>(uint16_t(p[0] | p[1] << 8));
}
inline void wr32(uint8_t* p, int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
    p[2] = uint8_t(u >> 16);
    p[3] = uint8_t(u >> 24);
}
inline void wr16(uint8_t* p, int16_t v) {
    uint16_t u = static_cast<uint16_t>(v);
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
}

// Copies n bytes, n at most 32, in at most two moves of a fixed width that may overlap: a
// copy of a short length known only at run time is otherwise made by a string instruction
// that takes long to start.
inline void CopyShort(uint8_t* dst, const uint8_t* src, size_t n) {
    if (n >= 16) {
        std::memcpy(dst, src, 16);
        std::memcpy(dst + n - 16, src + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + n - 8, src + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + n - 4, src + n - 4, 4);
    } else if (n > 0) {
        dst[0] = src[0];
        dst[n / 2] = src[n / 2];
        dst[n - 1] = src[n - 1];
    }
}

// A copy of any length, short ones as above.
inline void CopyBytes(void* dst, const void* src, size_t n) {
    if (n <= 32)
        CopyShort(static_cast<uint8_t*>(dst), static_cast<const uint8_t*>(src), n);
    else
        std::memcpy(dst, src, n);
}

}  // namespace invarro::storage
