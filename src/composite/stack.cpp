#include "composite/stack.h"

#include <algorithm>
#include <limits>

#include "composite/source_planes.h"
#include "composite/stack_rows.h"
#include "core/bands.h"
#include "settings/composite_settings.h"

namespace vora {
namespace stacking {

std::vector<PlacedImage> place_images(const std::vector<StackImage>& images,
                                      const ImageRecord& target) {
    std::vector<PlacedImage> placed;
    for (const StackImage& s : images) {
        if (placed.size() == std::size_t(kMaxImages)) break;
        PlacedImage p;
        p.ox = s.ox;
        p.oy = s.oy;
        p.weight = s.weight;
        if (s.image && s.image != &target && usable_source(*s.image)) {
            for (int c = 0; c < 3; ++c) p.channel[std::size_t(c)] = channel_samples(*s.image, c);
            p.width = s.image->width;
            p.height = s.image->height;
        }
        placed.push_back(p);
    }
    return placed;
}

}  // namespace stacking

namespace {

using stacking::PlacedImage;
using stacking::RowView;

// Modes that fold each image into a per-row accumulator independently of the others: the
// accumulator starts at `start`, takes combine(acc, value, weight) per covered sample, and
// finish(acc) gives the canvas sample. Rows are independent, so they run in bands.
template <class Combine, class Finish>
void stack_by_rows(const std::vector<PlacedImage>& images, ImageRecord& target, int64_t start,
                   Combine combine, Finish finish) {
    const int32_t w = target.width;
    run_bands(target.height, [&](int, int begin, int end) {
        std::vector<int64_t> acc(std::size_t(w) * 3);
        for (int32_t y = begin; y < end; ++y) {
            std::fill(acc.begin(), acc.end(), start);
            for (const PlacedImage& im : images) {
                const RowView v = stacking::row_view(im, y, w);
                if (!v.covered) continue;
                for (int c = 0; c < 3; ++c) {
                    int64_t* a = acc.data() + std::size_t(c) * std::size_t(w);
                    const uint16_t* src = v.row[std::size_t(c)] + (v.x0 - v.ox);
                    for (int32_t x = v.x0; x < v.x1; ++x)
                        combine(a[x], int64_t(src[x - v.x0]), im.weight);
                }
            }
            for (int c = 0; c < 3; ++c) {
                const int64_t* a = acc.data() + std::size_t(c) * std::size_t(w);
                uint16_t* out = target.plane(c).data() + std::size_t(y) * std::size_t(w);
                for (int32_t x = 0; x < w; ++x) out[x] = finish(a[x]);
            }
        }
    });
}

void stack_sum(const std::vector<PlacedImage>& images, ImageRecord& target) {
    stack_by_rows(
        images, target, 0, [](int64_t& acc, int64_t v, int64_t weight) { acc += v * weight; },
        [](int64_t acc) {
            return acc >= 6553500 ? uint16_t(65535) : stacking::clamp_sample(acc / 100);
        });
}

void stack_maximum(const std::vector<PlacedImage>& images, ImageRecord& target) {
    stack_by_rows(
        images, target, 0, [](int64_t& acc, int64_t v, int64_t) { acc = std::max(acc, v); },
        [](int64_t acc) { return uint16_t(acc); });
}

constexpr int64_t kNone = 65536;  // above every sample: no non-zero value seen

// The smallest non-zero value; 0 only when every covering image has 0.
void stack_minimum(const std::vector<PlacedImage>& images, ImageRecord& target) {
    stack_by_rows(
        images, target, kNone,
        [](int64_t& acc, int64_t v, int64_t) { acc = std::min(acc, v == 0 ? kNone : v); },
        [](int64_t acc) { return acc == kNone ? uint16_t(0) : uint16_t(acc); });
}

}  // namespace

CanvasSize compute_canvas(std::vector<StackImage>& images) {
    int64_t min_x = 0, min_y = 0;
    for (const StackImage& s : images) {
        min_x = std::min<int64_t>(min_x, s.ox);
        min_y = std::min<int64_t>(min_y, s.oy);
    }
    int64_t width = 0, height = 0;
    for (StackImage& s : images) {
        // An image pushed past the largest canvas covers nothing wherever it is put there.
        const int64_t ox = std::min<int64_t>(s.ox - min_x, kMaxCanvasSide);
        const int64_t oy = std::min<int64_t>(s.oy - min_y, kMaxCanvasSide);
        s.ox = int32_t(ox);
        s.oy = int32_t(oy);
        const int32_t w = s.image ? s.image->width : 0, h = s.image ? s.image->height : 0;
        width = std::max(width, ox + w);
        height = std::max(height, oy + h);
    }
    return {int32_t(std::min<int64_t>(width, kMaxCanvasSide)),
            int32_t(std::min<int64_t>(height, kMaxCanvasSide))};
}

void make_canvas_target(std::vector<StackImage>& images, ImageRecord& target) {
    const CanvasSize canvas = compute_canvas(images);
    target.width = canvas.width;
    target.height = canvas.height;
    target.mono = 0;
    const std::size_t n = std::size_t(canvas.width) * std::size_t(canvas.height);
    for (int c = 0; c < 3; ++c) target.plane(c).assign(n, 0);
}

int32_t rejection_threshold(int32_t entry) {
    return int32_t(std::clamp<int64_t>(int64_t(entry) * 256, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

void stack_images(int32_t mode, const std::vector<StackImage>& images, ImageRecord& target,
                  int32_t threshold, bool normalize) {
    if (target.width < 1 || target.height < 1) return;
    const std::size_t n = std::size_t(target.width) * std::size_t(target.height);
    for (int c = 0; c < 3; ++c)
        if (target.plane(c).size() != n) target.plane(c).assign(n, 0);
    const std::vector<PlacedImage> placed = stacking::place_images(images, target);
    switch (mode) {
        case kStackAverage:
            stacking::stack_average(placed, target, threshold, normalize);
            break;
        case kStackSum:
            stack_sum(placed, target);
            break;
        case kStackMaximum:
            stack_maximum(placed, target);
            break;
        case kStackMinimum:
            stack_minimum(placed, target);
            break;
        case kStackMaxContrast:
            stacking::stack_max_contrast(placed, target);
            break;
        default:
            for (int c = 0; c < 3; ++c)
                std::fill(target.plane(c).begin(), target.plane(c).end(), 0);
            break;
    }
}

}  // namespace vora
