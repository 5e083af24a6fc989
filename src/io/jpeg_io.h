// JPEG files through libjpeg, with the camera's Exif block kept and written back.
#pragma once

#include <string>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

// Decodes the picture, then reads the Exif block and camera fields from the markers.
ReadResult read_jpeg(const std::string& path, ImageRecord& out);

enum class JpegHeader { jfif, exif };
// Quality 75; with JpegHeader::exif the record's own Exif block, or a template filled from
// the record's camera fields, precedes the image data.
WriteResult write_jpeg(const std::string& path, const ImageRecord& record, JpegHeader header);

}  // namespace vora
