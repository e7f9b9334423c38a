#include "app/TilePicture.h"

#include <cmath>
#include <cstdint>

#include "data/Files.h"

namespace invarro::app {

namespace {

void Put16(std::string& out, uint32_t v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A pale blue-grey paper with a faint woven pattern that repeats without seams.
void TileColour(int x, int y, uint8_t& r, uint8_t& g, uint8_t& b) {
    constexpr double kTwoPi = 6.283185307179586;
    const double u = kTwoPi * x / kTileSize, v = kTwoPi * y / kTileSize;
    const double weave = 0.5 * std::sin(4 * u) * std::sin(4 * v) + 0.5 * std::cos(2 * (u + v));
    // A fixed scatter of fine grain.
    uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    const double grain = double(h % 7) - 3.0;
    const double shade = 6.0 * weave + grain;
    r = uint8_t(std::lround(226 + shade));
    g = uint8_t(std::lround(233 + shade));
    b = uint8_t(std::lround(242 + shade));
}

}  // namespace

std::string BuiltInTileBitmap() {
    const int w = kTileSize, h = kTileSize;
    const int rowBytes = (w * 3 + 3) / 4 * 4;
    const uint32_t pixelBytes = uint32_t(rowBytes * h);
    std::string out;
    out += "BM";
    Put32(out, 54 + pixelBytes);  // file size
    Put32(out, 0);                // reserved
    Put32(out, 54);               // offset of the pixels
    Put32(out, 40);               // BITMAPINFOHEADER
    Put32(out, uint32_t(w));
    Put32(out, uint32_t(h));  // positive: rows from the bottom up
    Put16(out, 1);            // planes
    Put16(out, 24);           // bits per pixel
    Put32(out, 0);            // no compression
    Put32(out, pixelBytes);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int row = h - 1; row >= 0; --row) {
        for (int x = 0; x < w; ++x) {
            uint8_t r, g, b;
            TileColour(x, row, r, g, b);
            out += char(b);
            out += char(g);
            out += char(r);
        }
        out.append(size_t(rowBytes - w * 3), '\0');
    }
    return out;
}

bool WriteInstallationPictures(const std::string& folder, std::string* error) {
    const std::string bitmap = BuiltInTileBitmap();
    for (const char* name : {"background.bmp", "ztt8.bmp"}) {
        const std::string path = data::JoinPath(folder, name);
        if (data::FileExists(path)) continue;
        if (!data::ReplaceFile(path, bitmap, error)) return false;
    }
    return true;
}

}  // namespace invarro::app
