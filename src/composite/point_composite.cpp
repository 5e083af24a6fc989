#include "composite/point_composite.h"

#include <algorithm>
#include <vector>

#include "composite/point_align.h"
#include "composite/source_planes.h"
#include "composite/stack.h"

namespace vora {
namespace {

constexpr int kGroups = 4;
constexpr std::size_t kFirstGroup = 4, kGroupSize = 4;

std::size_t entry(int group, std::size_t field) {
    return kFirstGroup + std::size_t(group) * kGroupSize + field;
}

// Keeps the groups of weight ≥ 1 whose slot holds a picture, in order, at the front of the
// vector, followed by dummies of the first image with weight 0; returns the kept slots.
std::vector<int> compact_groups(const Workbench& wb, const ImageRecord& target, ParamVector& p) {
    std::vector<std::array<int32_t, kGroupSize>> kept;
    for (int g = 0; g < kGroups; ++g) {
        const int32_t slot = p[entry(g, 0)], weight = p[entry(g, 1)];
        if (weight < 1 || !wb.table.valid_slot(slot)) continue;
        const ImageRecord& r = wb.table[slot];
        if (&r == &target || !usable_source(r)) continue;
        kept.push_back({slot, weight, p[entry(g, 2)], p[entry(g, 3)]});
    }
    if (kept.size() < 2) return {};
    std::vector<int> slots;
    for (const auto& k : kept) slots.push_back(k[0]);
    // Dummies fill the places after the kept groups, so that a caller reusing the vector
    // does not stack a moved group twice.
    while (kept.size() < std::size_t(kGroups)) kept.push_back({kept[0][0], 0, 100, 200});
    for (int g = 0; g < int(kept.size()); ++g)
        for (std::size_t f = 0; f < kGroupSize; ++f) p[entry(g, f)] = kept[std::size_t(g)][f];
    return slots;
}

}  // namespace

void point_composite_kernel(Workbench& wb, ImageRecord& target, ParamVector& p) {
    const std::vector<int> slots = compact_groups(wb, target, p);
    if (slots.size() < 2) return;
    std::vector<PointSource> sources;
    for (int g = 0; g < int(slots.size()); ++g)
        sources.push_back({&wb.table[slots[std::size_t(g)]], p[entry(g, 2)], p[entry(g, 3)]});
    AlignedImages aligned = align_by_points(sources);
    std::vector<StackImage>& images = aligned.placed;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int64_t step = int64_t(i);
        images[i].weight = p[entry(int(i), 1)];
        images[i].ox =
            int32_t(std::clamp<int64_t>(images[i].ox + step * p[20], -(1 << 30), 1 << 30));
        images[i].oy =
            int32_t(std::clamp<int64_t>(images[i].oy + step * p[21], -(1 << 30), 1 << 30));
    }
    make_canvas_target(images, target);
    stack_images(p[0], images, target, rejection_threshold(p[2]), p[3] / 3 != 0);
}

}  // namespace vora
