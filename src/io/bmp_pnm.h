// Windows bitmaps (BMP) and the portable pixmap family (PPM, PGM).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

// Decoders fill width, height and the three planes of `out` (grey input in all three) and
// nothing else; on failure `out` is left as it was.
ReadResult decode_bitmap(const uint8_t* data, std::size_t size, ImageRecord& out);
ReadResult decode_pixmap(const uint8_t* data, std::size_t size, ImageRecord& out);

// Readers: whole file, then the decoder; the name becomes `path` on success.
ReadResult read_bitmap(const std::string& path, ImageRecord& out);
ReadResult read_pixmap(const std::string& path, ImageRecord& out);

// Pixmap variants: variant / 16 == 1 gives ASCII "P3", otherwise binary "P6";
// variant % 16 != 0 gives 16-bit samples (maximum 65535), 0 gives 8-bit samples.
inline constexpr int kPixmapBinary16 = 1;
inline constexpr int kPixmapAscii16 = 17;

// Encoders write the whole file to `out`; false when a write fails.
bool encode_bitmap(std::FILE* out, const ImageRecord& record);
bool encode_pixmap(std::FILE* out, const ImageRecord& record, int variant);

WriteResult write_bitmap(const std::string& path, const ImageRecord& record);
WriteResult write_pixmap(const std::string& path, const ImageRecord& record, int variant);

}  // namespace vora
