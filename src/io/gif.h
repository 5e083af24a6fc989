// GIF images (read only): the first image of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

// Decodes the first image of a GIF file held in memory onto a canvas of the logical screen's
// size (grown to hold the image when the screen is smaller): fills width, height and the
// three planes of `out` and nothing else; on failure `out` is left as it was.
ReadResult decode_gif(const uint8_t* data, std::size_t size, ImageRecord& out);

// Reads a GIF file; the name becomes `path` on success. Dark frames are left to the caller.
ReadResult read_gif(const std::string& path, ImageRecord& out);

}  // namespace vora
