// PNG files through libpng: any PNG in, 24-bit RGB out.
#pragma once

#include <string>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

ReadResult read_png(const std::string& path, ImageRecord& out);
WriteResult write_png(const std::string& path, const ImageRecord& record);

}  // namespace vora
