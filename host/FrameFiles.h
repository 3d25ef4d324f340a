#pragma once

#include <string>

class CxImage;

// Writes the image as a Windows bitmap file: a 14-byte file header followed
// by the image's device-independent bitmap as it is held in memory.
bool WriteBmp(CxImage& image, const std::string& path, std::string& error);

// Writes the image as a PNG file: palette images keep their palette and bit
// depth, 24-bit images become RGB.
bool WritePng(CxImage& image, const std::string& path, std::string& error);
