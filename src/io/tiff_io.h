// TIFF files: our own reader for simple uncompressed RGB, libtiff for every other TIFF,
// and the 48-bit RGB writer.
#pragma once

#include <string>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

ReadResult read_tiff(const std::string& path, ImageRecord& out);
WriteResult write_tiff(const std::string& path, const ImageRecord& record);

}  // namespace vora
