// The four passes of the fast RAW development, used by develop_fast and by its tests. Planes
// are width × height, row 0 = the picture's bottom row; the sensor's rows count from the top.
// Parameters outside their setting ranges are limited to them.
#pragma once

#include <array>
#include <cstdint>

#include "core/image_record.h"
#include "io/raw_sensor.h"
#include "settings/raw_settings.h"

namespace vora::raw_pass {

// Tone curve of each colour, in place on the sensor values (slot 3 takes the green curve).
void apply_tone_curve(RawSensor& sensor, const RawSettings& settings);

// Sensor → planes, upside down, with the fast colour-filter interpolation; also the grey plane
// ((R + G + B) / 3) / 4. Every plane must hold width × height samples.
void transfer_planes(const RawSensor& sensor, Plane& red, Plane& green, Plane& blue, Plane& grey);

// The sharpened grey value g' (0..16383) of a pixel, from the unchanged grey plane: radius 1
// (sharp_radius 0) or 2 (sharp_radius 1); with sharpness 0 it is g itself. The colour pass
// asks for it pixel by pixel, so no sharpened plane is kept.
class GreySharpener {
  public:
    GreySharpener(const Plane& grey, int32_t width, int32_t height, int32_t sharpness,
                  int32_t sharp_radius);
    uint16_t at(int32_t x, int32_t row) const;

  private:
    struct Offset {
        int32_t dx, dy;
    };
    int32_t neighbour_mean(int32_t x, int32_t row) const;

    const Plane& grey_;
    int32_t width_, height_;
    int32_t sharpness_;
    int32_t radius_;
    std::array<Offset, 20> offsets_{};
    int32_t offset_count_ = 0;
};

struct ColorParams {
    int32_t false_color = 0;  // 0..4
    int32_t hue_shift = 0;    // -36..36
    int32_t saturation = 0;   // 0..4
};

// False-colour reduction, hue, saturation and the sharpening (g' / g) carried into the
// colours; in[c] and out[c] are distinct planes of width × height samples.
void color_pass(const Plane* const in[3], const Plane& grey, const GreySharpener& sharp,
                int32_t width, int32_t height, const ColorParams& params, Plane* const out[3]);

}  // namespace vora::raw_pass
