#include "filters/monochrome.h"

#include <algorithm>
#include <cstddef>

#include "filters/rgb_pixels.h"

namespace vora {

uint16_t monochrome_value(int32_t method, uint16_t r, uint16_t g, uint16_t b,
                          const int64_t weights[3]) {
    if (method == kMonoLargest) return std::max({r, g, b});
    if (method == kMonoSmallest) return std::min({r, g, b});
    const int64_t sum = std::max<int64_t>(weights[0] + weights[1] + weights[2], 1);
    const int64_t mixed = (r / 8) * weights[0] + (g / 8) * weights[1] + (b / 8) * weights[2];
    return uint16_t(std::clamp<int64_t>(mixed / sum * 8, 0, 65535));
}

void monochrome_kernel(ImageRecord& record, int32_t method, int32_t w_red, int32_t w_green,
                       int32_t w_blue) {
    const int64_t weights[3] = {w_red, w_green, w_blue};
    map_rgb_pixels(record, [&](std::array<uint16_t, 3> rgb) {
        const uint16_t v = monochrome_value(method, rgb[0], rgb[1], rgb[2], weights);
        return std::array<uint16_t, 3>{v, v, v};
    });
}

}  // namespace vora
