#include "ui/rotation_composite_commands.h"

#include <new>

#include "composite/star_locate.h"
#include "core/image_table.h"
#include "ui/point_rules.h"

namespace vora {

PointCompositeImages locate_picked_stars(const ImageTable& table, const ImageRecord& reference,
                                         const std::array<PickedPoint, 2>& stars,
                                         const std::vector<int>& slots, int32_t rotation_size,
                                         int32_t compare_range) {
    std::vector<const ImageRecord*> images{&reference};
    for (int slot : slots)
        if (&table[slot] != &reference) images.push_back(&table[slot]);
    std::array<std::vector<StarPosition>, 2> found;
    for (std::size_t k = 0; k < 2; ++k)
        found[k] = locate_stars(images, {stars[k].x, reference.height - 1 - stars[k].y},
                                rotation_size, compare_range);
    PointCompositeImages out;
    for (std::size_t i = 0, next = 1; i < slots.size() && i < 4; ++i) {
        const ImageRecord& r = table[slots[i]];
        const std::size_t at = &r == &reference ? 0 : next++;
        out.slots[i] = slots[i];
        out.weights[i] = 100;
        out.points[i] = {found[0][at].x, r.height - 1 - found[0][at].row, found[1][at].x,
                         r.height - 1 - found[1][at].row};
    }
    return out;
}

CommandResult rotation_composite_command(Workbench& wb) {
    ImageTable& table = wb.table;
    CompositeSettings& s = wb.settings.composite;
    std::vector<int> slots;
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < 4; ++i) {
        const int slot = chosen_slot(table, s.images[i]);
        if (slot < 0) continue;
        expand_mono(table[slot]);
        slots.push_back(slot);
        indices.push_back(i);
    }
    if (slots.size() < 2) return CommandResult::fail(msg::kTooFewImages);
    if (find_free_slot(table) < 0) return CommandResult::fail(msg::kNoSlotForResult);
    PointCompositeImages images;
    try {
        images = locate_picked_stars(table, table[slots[0]], wb.star_pick.points, slots,
                                     s.rotation_size, s.compare_range);
    } catch (const std::bad_alloc&) {
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
    // The images keep their places in the settings: weights and points follow them there.
    PointCompositeImages placed;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        const std::size_t i = indices[k];
        placed.slots[i] = slots[k];
        placed.weights[i] = s.weights[i];
        placed.points[i] = s.points[i] = images.points[k];
    }
    return run_point_composite(wb, placed, point_stack_options(s));
}

}  // namespace vora
