// Dark frames: averaged exposures with the lens covered, subtracted from every image that is
// opened while they are set. This holds what the open commands need to know about them; the
// frames themselves and their loaders live here too.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/image_record.h"
#include "io/file_kind.h"

namespace vora {

struct DarkFrames {
    int kind = -1;  // file kind of the dark files; -1 when none is loaded
    int32_t width = 0;
    int32_t height = 0;
    // FITS dark frames, averaged: physical values (raw × BSCALE + BZERO) of red, green and
    // blue, width × height each in file order. Empty unless the dark files are FITS.
    std::array<std::vector<int32_t>, 3> fits_planes;
    bool loaded() const { return kind >= 0 && width > 0 && height > 0; }
};

// True when dark frames are loaded but cannot be applied to an image of this kind and size:
// the sizes differ, or the image is FITS or camera RAW and the dark frames are of another kind.
bool dark_mismatch(const DarkFrames& dark, FileKind kind, const ImageRecord& image);

enum class DarkResult { none, size_differs, subtracted };

// Subtracts the 16-bit dark frame from an image read from a BMP, PNG, GIF or JPEG file.
DarkResult subtract_dark_frame(const DarkFrames& dark, ImageRecord& image);

}  // namespace vora
