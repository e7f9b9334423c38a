// The program's own background tile: a small picture drawn by code, written as a
// 24-bit Windows bitmap. The main window tiles it when the company's background file is
// gone; new installations get it as "background.bmp" and "ztt8.bmp".
#pragma once

#include <string>

namespace invarro::app {

inline constexpr int kTileSize = 64;

// The bytes of the tile as a ".bmp" file.
std::string BuiltInTileBitmap();

// Writes "background.bmp" and "ztt8.bmp" into the data folder where they are missing.
bool WriteInstallationPictures(const std::string& folder, std::string* error = nullptr);

}  // namespace invarro::app
