// TIFF files: our own reader for simple uncompressed RGB, libtiff for every other TIFF,
// and the 48-bit RGB writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

// Decodes the first image of a TIFF file held in memory: fills width, height and the three
// planes of `out` (grey input in all three) and nothing else; on failure `out` is left as it
// was. Files that tiff_plain_layout() accepts are read by our own code; every other TIFF by
// libtiff: 8-, 16- and 32-bit integer and 32- and 64-bit floating-point grey and RGB, with or
// without extra samples, at full depth (8-bit values × 256, 16-bit values as they are), the
// remaining kinds (palette, YCbCr, CMYK, 1- to 4-bit, ...) through libtiff's RGBA raster at
// 8 bits.
ReadResult decode_tiff(const uint8_t* data, std::size_t size, ImageRecord& out);

// True when our own reader takes the file: uncompressed RGB, one sample plane, top-left
// orientation, no extra samples, 8 or 16 bits per sample (or 16 bits per pixel, read as
// 5-5-5), all rows in one contiguous block inside the file.
bool tiff_plain_layout(const uint8_t* data, std::size_t size);

// Reads a TIFF file; the name becomes `path` on success.
ReadResult read_tiff(const std::string& path, ImageRecord& out);

// Where the 48-bit writer puts the pixel data: one strip, top row first, each pixel red,
// green, blue as little-endian 16-bit values.
inline constexpr uint32_t kTiffPixelDataOffset = 256;

// Writes the record as a baseline little-endian 48-bit RGB TIFF to `out`; false when the
// picture is too large for a 32-bit TIFF or a write fails.
bool encode_tiff(std::FILE* out, const ImageRecord& record);

WriteResult write_tiff(const std::string& path, const ImageRecord& record);

}  // namespace vora
