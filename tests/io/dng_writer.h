// Writes small, valid DNG files (little-endian TIFF, uncompressed 16-bit samples) so the RAW
// decoder can be tested on pictures whose every sensor value is known.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vora::test {

struct DngContent {
    int width = 32;  // the decoder takes nothing smaller than 22 × 22
    int height = 32;
    int samples = 1;               // 1: colour-filter mosaic; 3: linear raw (full colour)
    std::vector<uint16_t> values;  // width × height × samples, top row first
    // Colours (0 red, 1 green, 2 blue) at (row 0, col 0), (0, 1), (1, 0), (1, 1).
    std::array<uint8_t, 4> cfa{0, 1, 1, 2};
    uint32_t black = 256;
    uint32_t white = 4095;
    std::array<double, 3> neutral{1, 1, 1};  // AsShotNeutral: camera white balance 1 / neutral
    std::string make = "Vora";
    std::string model = "Test Sensor";
    std::string date_time = "2021:03:04 05:06:07";  // DateTimeOriginal and DateTime
    uint32_t exposure_num = 1, exposure_den = 250;
    uint32_t f_num = 56, f_den = 10;
    uint16_t iso = 800;
};

// A flat field: every sample `value`.
DngContent flat_dng(int width, int height, uint16_t value, int samples = 1);

// Writes the file; false when it cannot be written or the content is inconsistent.
bool write_dng(const std::string& path, const DngContent& content);

}  // namespace vora::test
