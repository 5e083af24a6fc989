// PNG files through libpng: any PNG in at its full depth, 24-bit RGB out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

// Decodes a whole PNG file held in memory: fills width, height and the three planes of `out`
// (grey input in all three) and nothing else; on failure `out` is left as it was.
//
// 8-bit (and expanded 1-, 2- and 4-bit) samples become value × 256, 16-bit samples are kept.
// Palette images take their colours from PLTE (tRNS is ignored); images with an alpha channel
// are composited over black, round(colour × alpha / max). With a gAMA chunk the colour samples
// are corrected for a screen gamma of 2.2 as libpng's png_set_gamma(png, 2.2, file_gamma)
// does, 16-bit samples at 16-bit precision.
ReadResult decode_png(const uint8_t* data, std::size_t size, ImageRecord& out);

// Reads a PNG file; the name becomes `path` on success. Dark frames are left to the caller.
ReadResult read_png(const std::string& path, ImageRecord& out);

// Writes the record as an 8-bit RGB PNG (the samples' high bytes, top row first) to `out`;
// false with `why` when libpng fails or a write fails.
bool encode_png(std::FILE* out, const ImageRecord& record, std::string& why);

WriteResult write_png(const std::string& path, const ImageRecord& record);

}  // namespace vora
