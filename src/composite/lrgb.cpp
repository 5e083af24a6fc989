#include "composite/lrgb.h"

#include <algorithm>
#include <array>
#include <vector>

#include "composite/point_align.h"
#include "composite/source_planes.h"
#include "composite/stack.h"
#include "composite/stack_rows.h"
#include "core/bands.h"

namespace vora {
namespace {

using stacking::PlacedImage;
using stacking::RowView;

int64_t luminance(int64_t r, int64_t g, int64_t b) {
    return (299 * r + 587 * g + 114 * b) / 1000;
}

const ImageRecord* source_of(const Workbench& wb, const ImageRecord& target, int32_t slot) {
    if (!wb.table.valid_slot(slot)) return nullptr;
    const ImageRecord& r = wb.table[slot];
    return (&r == &target || !usable_source(r)) ? nullptr : &r;
}

struct MergeRows {
    std::vector<PlacedImage> images;  // [L,] red source, green source, blue source
    std::array<int64_t, 3> weights{};
    bool use_l = false;
    int64_t l_weight = 0;

    void run(ImageRecord& target, int32_t begin, int32_t end) const {
        const int32_t w = target.width;
        const std::size_t first = use_l ? 1 : 0;
        for (int32_t y = begin; y < end; ++y) {
            std::array<uint16_t*, 3> out{};
            for (int c = 0; c < 3; ++c) {
                out[std::size_t(c)] = target.plane(c).data() + std::size_t(y) * std::size_t(w);
                const RowView v = stacking::row_view(images[first + std::size_t(c)], y, w);
                const int64_t weight = weights[std::size_t(c)];
                for (int32_t x = 0; x < w; ++x)
                    out[std::size_t(c)][x] =
                        v.covers(x) ? stacking::clamp_sample(v.at(c, x) * weight / 100) : 0;
            }
            if (use_l) blend_row(out, stacking::row_view(images[0], y, w), w);
        }
    }

    void blend_row(const std::array<uint16_t*, 3>& out, const RowView& l, int32_t w) const {
        for (int32_t x = 0; x < w; ++x) {
            int64_t r = out[0][x], g = out[1][x], b = out[2][x];
            const int64_t lum = l.covers(x) ? luminance(l.at(0, x), l.at(1, x), l.at(2, x)) : 0;
            blend_luminance(r, g, b, lum, l_weight);
            out[0][x] = uint16_t(r);
            out[1][x] = uint16_t(g);
            out[2][x] = uint16_t(b);
        }
    }
};

}  // namespace

void blend_luminance(int64_t& r, int64_t& g, int64_t& b, int64_t lum, int64_t l_weight) {
    int64_t y = luminance(r, g, b);
    if (y < 1) y = r = g = b = 1;
    const int64_t m = ((100 - l_weight) * y + l_weight * lum) / 200;
    r = stacking::clamp_sample((m * r / y) * 2);
    g = stacking::clamp_sample((m * g / y) * 2);
    b = stacking::clamp_sample((m * b / y) * 2);
}

void lrgb_composite_kernel(Workbench& wb, ImageRecord& target, ParamVector& p) {
    const bool use_l = p[1] >= 1;
    std::vector<PointSource> sources;
    for (int g = use_l ? 0 : 1; g < 4; ++g) {
        const ImageRecord* image = source_of(wb, target, p[std::size_t(4 * g)]);
        if (!image) return;
        sources.push_back({image, p[std::size_t(4 * g + 2)], p[std::size_t(4 * g + 3)]});
    }
    AlignedImages aligned = align_by_points(sources);
    make_canvas_target(aligned.placed, target);
    if (!target.occupied()) return;

    MergeRows merge;
    merge.images = stacking::place_images(aligned.placed, target);
    merge.weights = {p[5], p[9], p[13]};
    merge.use_l = use_l;
    merge.l_weight = p[1];
    run_bands(target.height,
              [&merge, &target](int, int begin, int end) { merge.run(target, begin, end); });
}

}  // namespace vora
