// The image record: one image of the workbench with its planes, one-level undo copy,
// display state, cached statistics and camera information.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vora {

// width × height unsigned 16-bit samples, row 0 = bottom row of the picture.
// An 8-bit value v is held as v × 256.
using Plane = std::vector<uint16_t>;

// Camera texts hold at most this many characters (the record reserves a 32-byte field).
inline constexpr std::size_t kCameraTextMax = 31;

struct ImageRecord {
    std::string name;  // full path of the file last opened or saved; empty if never saved
    Plane red, green, blue;
    Plane undo_red, undo_green, undo_blue;
    int32_t undo_available = 0;
    int32_t redo_available = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t undo_width = 0;
    int32_t undo_height = 0;
    std::array<int32_t, 3> max_value{};
    std::array<int32_t, 3> min_value{};
    std::array<int32_t, 3> mean_value{};
    int32_t zoom = 100;
    int32_t scroll_x = 0;
    int32_t scroll_y = 0;
    int32_t point_a_x = -1, point_a_y = -1;  // stored rows, counted from the bottom
    int32_t point_b_x = -1, point_b_y = -1;
    int32_t stats_stale = 0;
    int32_t changed = 0;
    int32_t changed_before = 0;
    int32_t mono = 0;
    int32_t undo_mono = 0;
    std::array<std::array<uint32_t, 256>, 3> histogram{};
    int32_t histogram_peak = 1;
    int32_t histogram_count = 0;
    std::vector<uint8_t> exif_block;  // Exif segment(s) of a JPEG source; its size is the length
    std::string camera_make;          // Exif 271, at most kCameraTextMax characters
    std::string camera_model;         // Exif 272
    std::string date_time;            // Exif 306
    uint32_t exposure_time = 0;       // packed rational: numerator << 16 | denominator
    uint32_t f_number = 0;
    int32_t iso_speed = 0;

    bool occupied() const { return width > 0 && height > 0; }
    std::size_t sample_count() const {
        return occupied() ? std::size_t(width) * std::size_t(height) : 0;
    }
    int32_t exif_length() const { return int32_t(exif_block.size()); }
    Plane& plane(int channel) { return channel == 0 ? red : channel == 1 ? green : blue; }
    const Plane& plane(int channel) const {
        return channel == 0 ? red : channel == 1 ? green : blue;
    }
};

// Stores text into a camera field, cut to kCameraTextMax characters.
void set_camera_text(std::string& field, std::string_view text);

// Moves the Exif block and the camera fields of `from` into `to`.
void adopt_camera_fields(ImageRecord& to, ImageRecord&& from);
// Moves what a reader produced (name, size, planes, Exif block, camera fields) into `slot`.
void adopt_picture(ImageRecord& slot, ImageRecord&& staged);

// Packs a rational as the record keeps Exif rationals: the low 16 bits of the numerator in
// the upper half, the low 16 bits of the denominator in the lower half.
inline uint32_t pack_rational(uint32_t numerator, uint32_t denominator) {
    return ((numerator & 0xFFFFu) << 16) | (denominator & 0xFFFFu);
}

}  // namespace vora
