#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "io/raw_develop_passes.h"

namespace vora::raw_pass {

GreySharpener::GreySharpener(const Plane& grey, int32_t width, int32_t height, int32_t sharpness,
                             int32_t sharp_radius)
    : GreySharpener(grey.data(), width, height, sharpness, sharp_radius) {}

GreySharpener::GreySharpener(const uint16_t* grey, int32_t width, int32_t height, int32_t sharpness,
                             int32_t sharp_radius)
    : grey_(grey),
      width_(width),
      height_(height),
      sharpness_(std::clamp(sharpness, 0, 8)),
      radius_(sharp_radius > 0 ? 2 : 1) {
    // The 3 × 3 square, or the 5 × 5 square without its corners, without the pixel itself.
    for (int32_t dy = -radius_; dy <= radius_; ++dy)
        for (int32_t dx = -radius_; dx <= radius_; ++dx) {
            const bool corner = radius_ == 2 && std::abs(dx) == 2 && std::abs(dy) == 2;
            if ((dx != 0 || dy != 0) && !corner) offsets_[std::size_t(offset_count_++)] = {dx, dy};
        }
}

// Mean of the neighbours that lie inside the image; a pixel without any keeps its own value.
int32_t GreySharpener::neighbour_mean(int32_t x, int32_t row) const {
    const uint16_t* at = &grey_[std::size_t(row) * std::size_t(width_) + std::size_t(x)];
    if (x >= radius_ && x < width_ - radius_ && row >= radius_ && row < height_ - radius_)
        return inside_mean(at);
    uint32_t sum = 0, count = 0;
    for (int32_t k = 0; k < offset_count_; ++k) {
        const Offset o = offsets_[std::size_t(k)];
        const int32_t nx = x + o.dx, ny = row + o.dy;
        if (nx < 0 || nx >= width_ || ny < 0 || ny >= height_) continue;
        sum += at[std::ptrdiff_t(o.dy) * width_ + o.dx];
        ++count;
    }
    return count ? int32_t(sum / count) : int32_t(*at);
}

uint16_t GreySharpener::at(int32_t x, int32_t row) const {
    const uint16_t g = grey_[std::size_t(row) * std::size_t(width_) + std::size_t(x)];
    if (sharpness_ == 0) return g;
    return sharpen_value(g, neighbour_mean(x, row), sharpness_);
}

}  // namespace vora::raw_pass
