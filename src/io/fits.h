// FITS primary images from astronomical cameras (read only).
#pragma once

#include <string>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

struct DarkFrames;

// Reads a FITS file, subtracting the FITS dark frame when one of the same size is loaded,
// and stretches each colour to the full 16-bit range.
ReadResult read_fits(const DarkFrames& dark, const std::string& path, ImageRecord& out);

}  // namespace vora
