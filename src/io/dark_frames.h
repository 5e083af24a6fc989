// Dark frames: exposures with the lens covered, averaged and subtracted from every image that
// is opened while they are set. Three variants by file kind: BMP, PNG, GIF and JPEG images on
// their 16-bit samples after reading, FITS images on their physical values inside the FITS
// reader, camera RAW images on their sensor values inside the development.
//
// The frames of a list are averaged once, when the list is loaded (set_dark_files in
// io/dark_commands.h); everything here only reads the averaged frame.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/image_record.h"
#include "io/file_kind.h"
#include "io/raw_sensor.h"

namespace vora {

inline constexpr int kDarkFileCount = 4;

struct DarkFrames {
    // The dark file list as the DARK dialog left it; empty entries allowed. Kept when the
    // list is refused, so that the dialog shows it again.
    std::array<std::string, kDarkFileCount> files;
    int kind = -1;      // file kind of the dark files; -1 when none is loaded
    int32_t width = 0;  // size of the dark frames; 0 when none is loaded
    int32_t height = 0;
    int32_t frame_count = 0;  // how many frames were averaged into the one below

    // Exactly one of these holds the averaged frame, by kind:
    // 16-bit frame of the kinds other than FITS and RAW, three planes of width × height.
    ImageRecord frame16;
    // FITS: physical values (raw × BSCALE + BZERO) of red, green and blue, width × height
    // each in file order.
    std::array<std::vector<int32_t>, 3> fits_planes;
    // Camera RAW: one dark value per sensor pixel and colour slot.
    RawSensor raw;

    bool loaded() const { return kind >= 0 && width > 0 && height > 0; }
};

// Frees every frame: no dark frame loaded. The file list stays.
void drop_dark_frames(DarkFrames& dark);

// True when dark frames are loaded but cannot be applied to an image of this kind and size:
// the sizes differ, or the image is FITS or camera RAW and the dark frames are of another kind.
bool dark_mismatch(const DarkFrames& dark, FileKind kind, const ImageRecord& image);

enum class DarkResult { none, size_differs, subtracted };

// Subtracts the 16-bit dark frame from an image read from a BMP, PNG, GIF or JPEG file:
// sample = max(0, sample − dark sample) in every plane in use (only red for a mono image).
// none when no 16-bit frame is loaded, size_differs (nothing subtracted) when the sizes differ.
DarkResult subtract_dark_frame(const DarkFrames& dark, ImageRecord& image);

}  // namespace vora
