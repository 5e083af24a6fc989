// GIF images (read only): the first image of the file.
#pragma once

#include <string>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

ReadResult read_gif(const std::string& path, ImageRecord& out);

}  // namespace vora
