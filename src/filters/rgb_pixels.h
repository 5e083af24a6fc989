// The loop of the per-pixel colour operations: every pixel's red, green and blue handed to a
// function whose three results replace them, row bands on the band runner.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/bands.h"
#include "core/image_record.h"

namespace vora {

// f(std::array<uint16_t, 3>) -> std::array<uint16_t, 3>. A record without a full set of
// planes of its size is left alone.
template <class F>
void map_rgb_pixels(ImageRecord& record, F f) {
    const std::size_t n = record.sample_count();
    if (n == 0 || record.red.size() != n || record.green.size() != n || record.blue.size() != n)
        return;
    const std::size_t w = std::size_t(record.width);
    uint16_t* red = record.red.data();
    uint16_t* green = record.green.data();
    uint16_t* blue = record.blue.data();
    run_bands(record.height, [&](int, int begin, int end) {
        for (std::size_t i = std::size_t(begin) * w; i < std::size_t(end) * w; ++i) {
            const std::array<uint16_t, 3> v = f(std::array<uint16_t, 3>{red[i], green[i], blue[i]});
            red[i] = v[0];
            green[i] = v[1];
            blue[i] = v[2];
        }
    });
}

}  // namespace vora
