#include "filters/monochrome.h"

#include <algorithm>
#include <cstddef>

#include "core/bands.h"

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
    const std::size_t n = record.sample_count();
    if (n == 0 || record.red.size() != n || record.green.size() != n || record.blue.size() != n)
        return;
    const int64_t weights[3] = {w_red, w_green, w_blue};
    const std::size_t w = std::size_t(record.width);
    uint16_t* red = record.red.data();
    uint16_t* green = record.green.data();
    uint16_t* blue = record.blue.data();
    run_bands(record.height, [&](int, int begin, int end) {
        for (std::size_t i = std::size_t(begin) * w; i < std::size_t(end) * w; ++i) {
            const uint16_t v = monochrome_value(method, red[i], green[i], blue[i], weights);
            red[i] = green[i] = blue[i] = v;
        }
    });
}

}  // namespace vora
