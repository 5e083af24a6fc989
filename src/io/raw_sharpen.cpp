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

namespace {

// sharpen_value for a run of pixels, with both outcomes computed and one chosen, so that the
// loop has no branches. R is the radius: 8 or 20 neighbours.
template <int32_t R>
[[gnu::always_inline]] inline void sharpen_run(const uint16_t* p, std::ptrdiff_t w, int32_t n,
                                               int32_t sharpness, int32_t* out) {
    const int32_t t = (8 - sharpness) * 4;
    for (int32_t x = 0; x < n; ++x) {
        const uint16_t* q = p + x;
        int32_t sum =
            int32_t(q[-w - 1]) + q[-w] + q[-w + 1] + q[-1] + q[1] + q[w - 1] + q[w] + q[w + 1];
        if constexpr (R == 2)
            sum += int32_t(q[-2 * w - 1]) + q[-2 * w] + q[-2 * w + 1] + q[2 * w - 1] + q[2 * w] +
                   q[2 * w + 1] + q[-w - 2] + q[-2] + q[w - 2] + q[-w + 2] + q[2] + q[w + 2];
        const int32_t g = q[0];
        const int32_t m = R == 1 ? sum / 8 : sum / 20;
        const int32_t d = g - m;
        const int32_t e = g > m ? d - t : d + t;
        const int32_t emphasised = g + (e * sharpness) / 2;
        const int32_t v = (d <= -t || d >= t) ? emphasised : (g + m) / 2;
        out[x] = std::clamp(v, 0, 16383);
    }
}

[[gnu::target_clones("avx2", "default")]] void sharpen_run_1(const uint16_t* p, std::ptrdiff_t w,
                                                             int32_t n, int32_t sharpness,
                                                             int32_t* out) {
    sharpen_run<1>(p, w, n, sharpness, out);
}

[[gnu::target_clones("avx2", "default")]] void sharpen_run_2(const uint16_t* p, std::ptrdiff_t w,
                                                             int32_t n, int32_t sharpness,
                                                             int32_t* out) {
    sharpen_run<2>(p, w, n, sharpness, out);
}

}  // namespace

void GreySharpener::inside_run(std::size_t i, int32_t n, int32_t* out) const {
    const uint16_t* p = grey_ + i;
    if (sharpness_ == 0) {
        for (int32_t x = 0; x < n; ++x) out[x] = p[x];
    } else if (radius_ == 1) {
        sharpen_run_1(p, width_, n, sharpness_, out);
    } else {
        sharpen_run_2(p, width_, n, sharpness_, out);
    }
}

}  // namespace vora::raw_pass
