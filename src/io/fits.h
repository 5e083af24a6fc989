// FITS primary images from astronomical cameras (read only).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/image_record.h"
#include "io/io_status.h"

namespace vora {

struct DarkFrames;

// Size of one header card and of the blocks a FITS file is made of.
inline constexpr std::size_t kFitsCardSize = 80;
inline constexpr std::size_t kFitsBlockSize = 2880;

// One header card: "KEYWORD = value / comment".
struct FitsCard {
    std::string keyword;  // from the first character up to the first space or '='
    // A numeric value as FITS writes it: a signed integer ("-32") or a real ("0.5",
    // "1.000000E+00", "3.2D-3").
    bool has_number = false;
    bool integral = false;  // the number is a whole value that fits in 64 bits
    int64_t integer = 0;    // the value when integral
    double number = 0.0;    // the value (also for integers)
    // A character string value ('IMAGE   '), quotes removed, doubled quotes made single,
    // trailing spaces dropped.
    bool has_text = false;
    std::string text;
};

// Parses one card (80 characters; a shorter view counts as padded with spaces).
FitsCard parse_fits_card(std::string_view card);

// The averaged FITS dark frame as the reader uses it: per colour, width × height physical
// values (raw × BSCALE + BZERO) in file order. It is subtracted from the image's physical
// values before the statistics and the stretch when its size equals the image's.
struct FitsDarkView {
    int32_t width = 0;
    int32_t height = 0;
    std::array<const int32_t*, 3> colour{};  // red, green, blue
};

// Decodes a FITS file held in memory: fills width, height and the three planes of `out` and
// nothing else; on failure `out` is left as it was. The primary image is read; when the
// primary HDU holds no data, the first IMAGE extension is read instead.
ReadResult decode_fits(const uint8_t* data, std::size_t size, ImageRecord& out,
                       const FitsDarkView* dark = nullptr);

// Reads a FITS file, subtracting the FITS dark frame when one of the same size is loaded,
// and stretches each colour to the full 16-bit range.
ReadResult read_fits(const DarkFrames& dark, const std::string& path, ImageRecord& out);

// The physical values (raw × BSCALE + BZERO) of a FITS image as the dark-frame loader keeps
// them: per colour (a single plane gives three equal colours), width × height in file order,
// limited to the 32-bit range; floating-point values are rounded to the nearest integer.
struct FitsValues {
    int32_t width = 0;
    int32_t height = 0;
    std::array<std::vector<int32_t>, 3> colour;  // red, green, blue
};
ReadResult read_fits_values(const std::string& path, FitsValues& out);

}  // namespace vora
