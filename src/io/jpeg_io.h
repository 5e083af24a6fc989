// JPEG files through libjpeg, with the camera's Exif block kept and written back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

// Decodes a whole JPEG file held in memory: width, height, the three planes (grey pictures
// in all three) and the Exif block with the camera fields (cleared when the file has none).
// A corrupt, truncated or unsupported file leaves `out` as it was.
ReadResult decode_jpeg(const uint8_t* data, std::size_t size, ImageRecord& out);

// Decodes the picture, then reads the Exif block and camera fields from the markers.
ReadResult read_jpeg(const std::string& path, ImageRecord& out);

enum class JpegHeader { jfif, exif };

// The whole file as write_jpeg writes it; false (with `why`) when it cannot be made.
bool encode_jpeg(const ImageRecord& record, JpegHeader header, std::vector<uint8_t>& file,
                 std::string& why);

// Quality 75; with JpegHeader::exif the record's own Exif block, or a template filled from
// the record's camera fields, precedes the image data.
WriteResult write_jpeg(const std::string& path, const ImageRecord& record, JpegHeader header);

}  // namespace vora
