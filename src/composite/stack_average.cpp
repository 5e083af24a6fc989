// Stacking mode 0: weighted average with density normalisation and outlier rejection.
#include <array>
#include <cstdlib>

#include "composite/stack_rows.h"
#include "core/bands.h"

namespace vora::stacking {
namespace {

constexpr int32_t kUnit = 16384;  // normalisation factor 1.0
constexpr int32_t kMoveMode = 65536;

using Pixel = std::array<int32_t, 3>;
using Pixels = std::array<Pixel, kMaxImages>;
using Factors = std::array<std::array<int32_t, 3>, kMaxImages>;

Factors unit_factors() {
    Factors f;
    for (auto& image : f) image.fill(kUnit);
    return f;
}

int32_t normalized(int32_t value, int32_t factor) {
    return factor == kUnit ? value : int32_t(int64_t(value) * factor / kUnit);
}

// Per image and channel: (smallest mean × 16384) ÷ own mean, the means taken on a grid over
// the intersection of all images. 1.0 everywhere when the intersection is empty or a mean is 0.
Factors density_factors(const std::vector<PlacedImage>& images, int32_t width, int32_t height) {
    Factors f = unit_factors();
    int64_t left = 0, right = width, low = 0, high = height;
    for (const PlacedImage& im : images) {
        left = std::max(left, im.ox);
        right = std::min(right, im.ox + im.width);
        low = std::max(low, im.oy);
        high = std::min(high, im.oy + im.height);
    }
    if (left >= right || low >= high) return f;
    const int64_t step_x = right / 128 + 1, step_y = high / 128 + 1;
    std::array<std::array<int64_t, 3>, kMaxImages> sums{};
    int64_t count = 0;
    for (int64_t y = low; y < high; y += step_y)
        for (int64_t x = left; x < right; x += step_x) {
            ++count;
            for (std::size_t i = 0; i < images.size(); ++i) {
                const PlacedImage& im = images[i];
                const int64_t at = (y - im.oy) * im.width + (x - im.ox);
                for (std::size_t c = 0; c < 3; ++c) sums[i][c] += im.channel[c][at];
            }
        }
    for (std::size_t i = 0; i < images.size(); ++i)
        for (std::size_t c = 0; c < 3; ++c) {
            sums[i][c] /= count;  // now the mean
            if (sums[i][c] == 0) return f;
        }
    for (std::size_t c = 0; c < 3; ++c) {
        int64_t target = sums[0][c];
        for (std::size_t i = 1; i < images.size(); ++i) target = std::min(target, sums[i][c]);
        for (std::size_t i = 0; i < images.size(); ++i)
            f[i][c] = int32_t(target * kUnit / sums[i][c]);
    }
    return f;
}

struct Rejection {
    bool on = false;
    bool move = false;
    int32_t threshold = 0;
};

Rejection rejection_for(int32_t t) {
    if (t < 0) return {};
    if (t >= kMoveMode) return {true, true, t - kMoveMode};
    return {true, false, t};
}

constexpr int kKeepAll = -1;
constexpr int kOnlyFirst = -2;

// Three or four images: the image to leave out of this pixel when any deviation from the
// others' mean passes the threshold (the first image alone in move mode).
int outlier(const Pixels& v, int n, const Rejection& r) {
    std::array<int64_t, kMaxImages> s{};
    std::array<int32_t, 3> total{};
    for (int i = 0; i < n; ++i)
        for (std::size_t c = 0; c < 3; ++c) total[c] += v[std::size_t(i)][c];
    bool exceeded = false;
    for (int i = 0; i < n; ++i)
        for (std::size_t c = 0; c < 3; ++c) {
            const int32_t others = total[c] - v[std::size_t(i)][c];
            const int32_t deviation = std::abs(v[std::size_t(i)][c] - others / (n - 1));
            s[std::size_t(i)] += deviation;
            if (deviation > r.threshold) exceeded = true;
        }
    if (!exceeded) return kKeepAll;
    if (r.move) return kOnlyFirst;
    if (n == 4) {
        if (s[0] > s[1] && s[0] > s[2] && s[0] > s[3]) return 0;
        if (s[1] > s[0] && s[1] > s[2] && s[1] > s[3]) return 1;
        if (s[2] > s[1] && s[2] > s[3]) return 2;  // image 1 is not compared here
        return 3;
    }
    if (s[0] > s[1] && s[0] > s[2]) return 0;
    if (s[1] > s[0] && s[1] > s[2]) return 1;
    return 2;
}

// Σ over channels of |pixel − mean of its four direct neighbours|, all normalised.
int64_t roughness(const RowView& view, int32_t width, int32_t x, const std::array<int32_t, 3>& f,
                  const Pixel& value) {
    int64_t sum = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        const uint16_t* p = view.row[c] + (x - view.ox);
        const int32_t mean = (normalized(p[-1], f[c]) + normalized(p[1], f[c]) +
                              normalized(p[-width], f[c]) + normalized(p[width], f[c])) /
                             4;
        sum += std::abs(value[c] - mean);
    }
    return sum;
}

// Two images: when they differ by more than the threshold, the rougher pixel (or in move
// mode the second image's) takes the other's values.
void settle_pair(Pixels& v, const std::array<RowView, kMaxImages>& views,
                 const std::vector<PlacedImage>& images, const Factors& f, int32_t x,
                 const Rejection& r) {
    bool exceeded = false;
    for (std::size_t c = 0; c < 3; ++c)
        if (std::abs(v[0][c] - v[1][c]) > r.threshold) exceeded = true;
    if (!exceeded) return;
    if (r.move || roughness(views[0], images[0].width, x, f[0], v[0]) <=
                      roughness(views[1], images[1].width, x, f[1], v[1])) {
        v[1] = v[0];
    } else {
        v[0] = v[1];
    }
}

// Σ value × weight ÷ Σ weight over the images that remain: per channel those with a value of
// at least 1, or for two images those whose pixel is not black.
uint16_t average_of(const Pixels& v, const std::vector<PlacedImage>& images, std::size_t c,
                    int left_out) {
    const int n = int(images.size());
    int64_t sum = 0, weights = 0;
    for (int i = 0; i < n; ++i) {
        if (i == left_out || (left_out == kOnlyFirst && i > 0)) continue;
        const Pixel& p = v[std::size_t(i)];
        const bool counts = n == 2 ? (p[0] | p[1] | p[2]) != 0 : p[c] >= 1;
        if (!counts) continue;
        sum += int64_t(p[c]) * images[std::size_t(i)].weight;
        weights += images[std::size_t(i)].weight;
    }
    return weights == 0 ? uint16_t(0) : clamp_sample(sum / weights);
}

}  // namespace

void stack_average(const std::vector<PlacedImage>& images, ImageRecord& target, int32_t threshold,
                   bool normalize) {
    const int n = int(images.size());
    const int32_t width = target.width;
    const Factors f = normalize ? density_factors(images, width, target.height) : unit_factors();
    Rejection r = rejection_for(threshold);
    if (n < 2) r.on = false;
    // Every canvas pixel depends only on the images, so the rows run in bands.
    run_bands(target.height, [&](int, int begin, int end) {
        std::array<RowView, kMaxImages> views{};
        std::array<int64_t, kMaxImages> inner_x0{}, inner_x1{};  // one pixel inside the borders
        for (int32_t y = begin; y < end; ++y) {
            for (std::size_t i = 0; i < images.size(); ++i) {
                views[i] = row_view(images[i], y, width);
                const bool inner_row = views[i].covered && views[i].image_row >= 1 &&
                                       views[i].image_row <= images[i].height - 2;
                inner_x0[i] = inner_row ? images[i].ox + 1 : 0;
                inner_x1[i] = inner_row ? images[i].ox + images[i].width - 1 : 0;
            }
            const std::size_t row = std::size_t(y) * std::size_t(width);
            uint16_t* out[3] = {target.red.data() + row, target.green.data() + row,
                                target.blue.data() + row};
            for (int32_t x = 0; x < width; ++x) {
                Pixels v{};
                for (std::size_t i = 0; i < images.size(); ++i)
                    if (views[i].covers(x))
                        for (std::size_t c = 0; c < 3; ++c)
                            v[i][c] = normalized(views[i].at(int(c), x), f[i][c]);
                int left_out = kKeepAll;
                if (r.on && n >= 3) {
                    left_out = outlier(v, n, r);
                } else if (r.on && n == 2 && x >= inner_x0[0] && x < inner_x1[0] &&
                           x >= inner_x0[1] && x < inner_x1[1]) {
                    settle_pair(v, views, images, f, x, r);
                }
                for (std::size_t c = 0; c < 3; ++c) out[c][x] = average_of(v, images, c, left_out);
            }
        }
    });
}

}  // namespace vora::stacking
