// Internals shared by the stacking functions: images resolved for stacking and their view of
// one canvas row.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "composite/stack.h"

namespace vora::stacking {

// The most images one stack combines (the blend weights of the contrast mode are four).
inline constexpr int kMaxImages = 4;

struct PlacedImage {
    std::array<const uint16_t*, 3> channel{};
    int32_t width = 0;  // 0 for an unusable image: it covers nothing but keeps its place
    int32_t height = 0;
    int64_t ox = 0;
    int64_t oy = 0;
    int64_t weight = 0;
};

// The first kMaxImages images; the target itself or a record without a picture covers nothing.
std::vector<PlacedImage> place_images(const std::vector<StackImage>& images,
                                      const ImageRecord& target);

// One image on one canvas row: it covers canvas columns [x0, x1); its sample of channel c at
// canvas column x is row[c][x − ox].
struct RowView {
    bool covered = false;
    int32_t x0 = 0;
    int32_t x1 = 0;
    int64_t ox = 0;
    int64_t image_row = 0;
    std::array<const uint16_t*, 3> row{};

    bool covers(int32_t x) const { return x >= x0 && x < x1; }
    uint16_t at(int c, int32_t x) const { return row[std::size_t(c)][x - ox]; }
};

inline RowView row_view(const PlacedImage& im, int32_t y, int32_t canvas_width) {
    RowView v;
    const int64_t iy = y - im.oy;
    if (iy < 0 || iy >= im.height) return v;
    const int64_t x0 = std::max<int64_t>(im.ox, 0);
    const int64_t x1 = std::min<int64_t>(im.ox + im.width, canvas_width);
    if (x0 >= x1) return v;
    v.covered = true;
    v.x0 = int32_t(x0);
    v.x1 = int32_t(x1);
    v.ox = im.ox;
    v.image_row = iy;
    for (int c = 0; c < 3; ++c)
        v.row[std::size_t(c)] = im.channel[std::size_t(c)] + iy * int64_t(im.width);
    return v;
}

inline uint16_t clamp_sample(int64_t v) {
    return uint16_t(std::clamp<int64_t>(v, 0, 65535));
}

// Modes 0 and 4; the target's planes have canvas size.
void stack_average(const std::vector<PlacedImage>& images, ImageRecord& target, int32_t threshold,
                   bool normalize);
void stack_max_contrast(const std::vector<PlacedImage>& images, ImageRecord& target);

}  // namespace vora::stacking
