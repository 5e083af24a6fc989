#include "core/edit_commands.h"

#include <new>
#include <utility>

namespace vora {
namespace {

void undo_one(ImageRecord& r) {
    swap_with_snapshot(r);
    r.undo_available = 0;
    r.redo_available = 1;
    r.stats_stale = 1;
    r.changed = r.changed_before;
}

void redo_one(ImageRecord& r) {
    swap_with_snapshot(r);
    r.undo_available = 1;
    r.redo_available = 0;
    r.stats_stale = 1;
    r.changed_before = r.changed;
    r.changed = 1;
}

CommandResult swap_command(ImageTable& table, int32_t ImageRecord::*available,
                           void (*step)(ImageRecord&)) {
    if (!table.has_current()) return CommandResult::skip();
    if (!table.all_images_mode) {
        ImageRecord& r = table.current();
        if (r.*available != 1) return CommandResult::skip();
        step(r);
        return {};
    }
    for (ImageRecord& r : table.image_table)
        if (r.width > 0 && r.*available == 1) step(r);
    return {};
}

CommandResult apply_to_slot(Workbench& wb, const InPlaceCommand& command, int slot) {
    ImageRecord& r = wb.table[slot];
    take_snapshot(r);  // if this runs out of memory, nothing has changed yet
    try {
        command.operation(wb, slot);
    } catch (const std::bad_alloc&) {
        // Put the image back as it was; the snapshot no longer holds an undoable state.
        swap_with_snapshot(r);
        r.undo_available = r.redo_available = 0;
        throw;
    }
    mark_in_place_result(r);
    if (command.mono_after >= 0) r.mono = command.mono_after;
    return {};
}

}  // namespace

CommandResult undo_command(ImageTable& table) {
    return swap_command(table, &ImageRecord::undo_available, undo_one);
}

CommandResult redo_command(ImageTable& table) {
    return swap_command(table, &ImageRecord::redo_available, redo_one);
}

CommandResult run_in_place_command(Workbench& wb,
                                   std::function<void(Workbench&, int slot)> operation,
                                   std::function<bool()> dialog) {
    InPlaceCommand command;
    command.dialog = std::move(dialog);
    command.operation = std::move(operation);
    return run_in_place_command(wb, command);
}

int take_result_slot(const ImageTable& table, CommandResult& result) {
    const int slot = find_free_slot(table);
    if (slot < 0) result = CommandResult::fail(msg::kNoSlotForResult);
    return slot;
}

CommandResult copy_command(ImageTable& table) {
    if (!table.has_current_image()) return CommandResult::skip();
    CommandResult result;
    const int slot = take_result_slot(table, result);
    if (slot < 0) return result;
    try {
        ImageRecord& copy = table[slot];
        copy_record(table.current(), copy);
        mark_fresh_copy(copy);
    } catch (const std::bad_alloc&) {
        release_slot(table[slot]);
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
    table.current_slot = slot;
    return result;
}

CommandResult area_copy_command(ImageTable& table, SampleCorner a, SampleCorner b) {
    if (!table.has_current_image()) return CommandResult::skip();
    if (a.x == b.x || a.y == b.y) return CommandResult::skip();
    CommandResult result;
    const int slot = take_result_slot(table, result);
    if (slot < 0) return result;
    try {
        ImageRecord& area = table[slot];
        copy_area(table.current(), area, a, b);
        if (!area.occupied()) {  // both corners outside the image
            release_slot(area);
            return CommandResult::skip();
        }
        mark_fresh_copy(area);
    } catch (const std::bad_alloc&) {
        release_slot(table[slot]);
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
    table.current_slot = slot;
    return result;
}

CommandResult run_in_place_command(Workbench& wb, const InPlaceCommand& command) {
    ImageTable& table = wb.table;
    if (!table.has_current_image()) return CommandResult::skip();
    if (!probe_memory(table, table.current_slot, command.probe_count))
        return CommandResult::fail(msg::kNoMemoryToRun);
    if (command.dialog && !command.dialog()) return CommandResult::skip();
    try {
        if (!(table.all_images_mode && command.honours_all))
            return apply_to_slot(wb, command, table.current_slot);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            if (table[slot].width <= 0) continue;
            const bool room = command.slot_probe
                                  ? command.slot_probe(table, slot)
                                  : probe_memory(table, slot, command.all_probe_count);
            if (!room) return CommandResult::fail(msg::kNoMemoryToRun);
            apply_to_slot(wb, command, slot);
        }
    } catch (const std::bad_alloc&) {
        return CommandResult::fail(msg::kNoMemoryToRun);
    }
    return {};
}

}  // namespace vora
