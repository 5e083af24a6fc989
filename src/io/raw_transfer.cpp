#include <algorithm>
#include <array>

#include "core/bands.h"
#include "io/raw_develop_passes.h"

namespace vora::raw_pass {
namespace {

using Pixel = std::array<uint16_t, 4>;

// Green of a pixel: slot 1, or slot 3 for the second green of four-colour data.
inline uint32_t green_of(const Pixel& v) {
    return v[1] != 0 ? v[1] : v[3];
}

struct Weighted {
    uint32_t sum[3] = {0, 0, 0};
    uint32_t weight[3] = {0, 0, 0};

    void add(const Pixel& v, uint32_t w) {
        const uint32_t value[3] = {v[0], green_of(v), v[2]};
        for (int k = 0; k < 3; ++k) {
            sum[k] += w * value[k];
            weight[k] += value[k] != 0 ? w : 0;  // zero is no value: it adds no weight either
        }
    }
};

// Weighted mean of each colour's non-zero values in the 3 × 3 square that lies inside the image:
// `own` for the pixel itself, 2 for direct and 1 for diagonal neighbours.
std::array<uint16_t, 3> interpolate(const RawSensor& s, int32_t row, int32_t col, uint32_t own) {
    Weighted acc;
    const int32_t r0 = std::max(row - 1, 0), r1 = std::min(row + 1, s.height - 1);
    const int32_t c0 = std::max(col - 1, 0), c1 = std::min(col + 1, s.width - 1);
    for (int32_t r = r0; r <= r1; ++r) {
        const Pixel* line = &s.at(r, 0);
        for (int32_t c = c0; c <= c1; ++c)
            acc.add(line[c], (r == row && c == col) ? own : (r == row || c == col) ? 2 : 1);
    }
    std::array<uint16_t, 3> out{};
    for (int k = 0; k < 3; ++k)
        out[std::size_t(k)] = acc.weight[k] ? uint16_t(acc.sum[k] / acc.weight[k]) : 0;
    return out;
}

void transfer_row(const RawSensor& s, int32_t row, Plane& red, Plane& green, Plane& blue,
                  Plane& grey) {
    // Decoder rows count from the top, plane rows from the bottom.
    const std::size_t base = std::size_t(s.height - 1 - row) * std::size_t(s.width);
    const uint32_t own = s.filters == kFiltersXTrans ? 16 : 8;
    for (int32_t col = 0; col < s.width; ++col) {
        std::array<uint16_t, 3> rgb;
        if (s.filters == 0) {
            const Pixel& v = s.at(row, col);
            rgb = {v[0], v[1], v[2]};
        } else {
            rgb = interpolate(s, row, col, own);
        }
        const std::size_t i = base + std::size_t(col);
        red[i] = rgb[0];
        green[i] = rgb[1];
        blue[i] = rgb[2];
        grey[i] = uint16_t((uint32_t(rgb[0]) + rgb[1] + rgb[2]) / 3 / 4);
    }
}

}  // namespace

void transfer_planes(const RawSensor& sensor, Plane& red, Plane& green, Plane& blue, Plane& grey) {
    run_bands(sensor.height, [&](int, int begin, int end) {
        for (int32_t row = begin; row < end; ++row)
            transfer_row(sensor, row, red, green, blue, grey);
    });
}

}  // namespace vora::raw_pass
