// The four passes of the fast RAW development, used by develop_fast and by its tests. Planes
// are width × height, row 0 = the picture's bottom row; the sensor's rows count from the top.
// Parameters outside their setting ranges are limited to them.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "core/image_record.h"
#include "io/raw_sensor.h"
#include "settings/raw_settings.h"

namespace vora::raw_pass {

// Tone curve of each colour, in place on the sensor values (slot 3 takes the green curve).
void apply_tone_curve(const RawSensorView& sensor, const RawSettings& settings);

// Sensor → planes, upside down, with the fast colour-filter interpolation; also the grey plane
// ((R + G + B) / 3) / 4. Every plane must hold width × height samples.
void transfer_planes(const RawSensorView& sensor, Plane& red, Plane& green, Plane& blue, Plane& grey);
void transfer_planes(const RawSensorView& sensor, uint16_t* red, uint16_t* green, uint16_t* blue,
                     uint16_t* grey);

// Emphasise a grey value g that stands out from its neighbours' mean m by at least T, smooth it
// otherwise.
inline uint16_t sharpen_value(int32_t g, int32_t m, int32_t sharpness) {
    const int32_t d = g - m;
    const int32_t t = (8 - sharpness) * 4;
    int32_t out;
    if (d <= -t || d >= t) {
        const int32_t e = g > m ? d - t : d + t;
        out = g + (e * sharpness) / 2;  // truncates toward zero
    } else {
        out = (g + m) / 2;
    }
    return uint16_t(std::clamp(out, 0, 16383));
}

// The sharpened grey value g' (0..16383) of a pixel, from the unchanged grey plane: radius 1
// (sharp_radius 0) or 2 (sharp_radius 1); with sharpness 0 it is g itself. The colour pass
// asks for it pixel by pixel, so no sharpened plane is kept.
class GreySharpener {
  public:
    GreySharpener(const Plane& grey, int32_t width, int32_t height, int32_t sharpness,
                  int32_t sharp_radius);
    GreySharpener(const uint16_t* grey, int32_t width, int32_t height, int32_t sharpness,
                  int32_t sharp_radius);
    uint16_t at(int32_t x, int32_t row) const;

    // at() for a pixel (index i) at least radius() away from every edge.
    uint16_t at_inside(std::size_t i) const {
        const uint16_t* p = grey_ + i;
        if (sharpness_ == 0) return *p;
        return sharpen_value(*p, inside_mean(p), sharpness_);
    }
    int32_t radius() const { return radius_; }
    // at_inside for the n pixels from index i on, into out[0..n-1]; written for the vectoriser.
    void inside_run(std::size_t i, int32_t n, int32_t* out) const;

  private:
    struct Offset {
        int32_t dx, dy;
    };
    int32_t neighbour_mean(int32_t x, int32_t row) const;

    // Mean of all 8 or 20 neighbours.
    int32_t inside_mean(const uint16_t* p) const {
        const std::ptrdiff_t w = width_;
        uint32_t sum =
            uint32_t(p[-w - 1]) + p[-w] + p[-w + 1] + p[-1] + p[1] + p[w - 1] + p[w] + p[w + 1];
        if (radius_ == 1) return int32_t(sum / 8);
        sum += uint32_t(p[-2 * w - 1]) + p[-2 * w] + p[-2 * w + 1] + p[2 * w - 1] + p[2 * w] +
               p[2 * w + 1] + p[-w - 2] + p[-2] + p[w - 2] + p[-w + 2] + p[2] + p[w + 2];
        return int32_t(sum / 20);
    }

    const uint16_t* grey_;
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
// The same, in place: every plane is read and overwritten row by row.
void color_pass_in_place(uint16_t* const planes[3], const uint16_t* grey,
                         const GreySharpener& sharp, int32_t width, int32_t height,
                         const ColorParams& params);

}  // namespace vora::raw_pass
