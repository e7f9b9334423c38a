// Little-endian integer access to byte buffers; every file format field goes through these.
#pragma once

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

}  // namespace invarro::storage
