#include "filters/resize.h"

#include <algorithm>
#include <utility>

#include "filters/resize_kernels.h"

namespace vora {

ScaleTerms reduce_terms(int32_t new_term, int32_t old_term) {
    int32_t n = std::max(new_term, 1);
    int32_t o = std::max(old_term, 1);
    const int32_t last = std::max(n, o) / 2;
    // A divisor above the smaller term cannot divide it, so the search stops there.
    for (int32_t d = 2; d <= last && d <= std::min(n, o); d += (d == 2 ? 1 : 2)) {
        if (n % d == 0 && o % d == 0) {
            n /= d;
            o /= d;
        }
    }
    while (o > 4096 || n > 4096) {
        o /= 2;
        n /= 2;
    }
    // Halving a very unequal pair can take one term to 0; keep the fraction usable.
    return {std::max(n, 1), std::max(o, 1)};
}

int64_t scaled_size(int32_t size, ScaleTerms terms) {
    return int64_t(size) * std::max(terms.new_term, 1) / std::max(terms.old_term, 1);
}

void resize_record(ImageRecord& r, int32_t new_w, int32_t old_w, int32_t new_h, int32_t old_h,
                   int32_t method) {
    if (!r.occupied()) return;
    ScaleTerms tx{std::max(new_w, 1), std::max(old_w, 1)};
    ScaleTerms ty{std::max(new_h, 1), std::max(old_h, 1)};
    if (method != kResizeNearest) {
        tx = reduce_terms(tx.new_term, tx.old_term);
        ty = reduce_terms(ty.new_term, ty.old_term);
    }
    const int64_t w = scaled_size(r.width, tx);
    const int64_t h = scaled_size(r.height, ty);
    if (w < 1 || h < 1 || w * h > kMaxResizeSamples) return;

    const ResizeGeometry g{r.width, r.height, int32_t(w), int32_t(h), tx, ty};
    const std::size_t old_n = r.sample_count();
    const std::size_t new_n = std::size_t(w) * std::size_t(h);
    Plane out[3];
    for (Plane& p : out) p.assign(new_n, 0);  // all memory first: a failure changes nothing

    const ResizePlan plan = make_resize_plan(g, method);
    for (int c = 0; c < 3; ++c) {
        const Plane& src = r.plane(c);
        if (src.size() == old_n) run_resize_plan(plan, src.data(), out[c].data());
    }
    for (int c = 0; c < 3; ++c) r.plane(c).swap(out[c]);
    r.width = g.new_width;
    r.height = g.new_height;
}

void resize_kernel(ImageRecord& record, const ParamVector& p) {
    resize_record(record, p[0], p[1], p[2], p[3], p[4]);
}

}  // namespace vora
