#include "composite/auto_composite.h"

#include <algorithm>
#include <vector>

#include "composite/align.h"
#include "composite/source_planes.h"
#include "composite/stack.h"

namespace vora {
namespace {

constexpr int kGroups = 4;
// Offsets are kept well inside 32 bits; anything this far out is beyond the canvas anyway.
constexpr int64_t kOffsetLimit = int64_t(1) << 30;

// The groups whose slot holds a picture (other than the target) and whose weight is at
// least 1, in order.
std::vector<StackImage> kept_groups(const Workbench& wb, const ImageRecord& target,
                                    const ParamVector& p) {
    std::vector<StackImage> kept;
    for (int g = 0; g < kGroups; ++g) {
        const int32_t slot = p[std::size_t(4 + g)], weight = p[std::size_t(8 + g)];
        if (slot < 0 || weight < 1 || !wb.table.valid_slot(slot)) continue;
        const ImageRecord& r = wb.table[slot];
        if (&r == &target || !usable_source(r)) continue;
        kept.push_back({&r, 0, 0, weight});
    }
    return kept;
}

int32_t limited_offset(int64_t v) {
    return int32_t(std::clamp(v, -kOffsetLimit, kOffsetLimit));
}

}  // namespace

void auto_composite_kernel(Workbench& wb, ImageRecord& target, ParamVector& p) {
    std::vector<StackImage> images = kept_groups(wb, target, p);
    if (images.size() < 2) return;

    const int32_t settings = p[3] % 256;
    const int32_t method = settings % 3;  // 0 compares like the slow method
    const bool normalize = settings / 3 != 0;
    const bool min_shift = p[3] / 256 != 0;
    std::vector<const ImageRecord*> records;
    for (const StackImage& s : images) records.push_back(s.image);
    const std::vector<Offset> offsets = find_offsets(method, records, p[0], p[1], min_shift);

    for (std::size_t i = 0; i < images.size(); ++i) {
        const int64_t shift = int64_t(i);
        images[i].ox = limited_offset(offsets[i].x + shift * p[16]);
        images[i].oy = limited_offset(offsets[i].y + shift * p[17]);
    }
    make_canvas_target(images, target);
    stack_images(p[2], images, target, rejection_threshold(p[15]), normalize);
}

}  // namespace vora
