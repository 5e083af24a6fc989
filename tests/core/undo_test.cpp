#include "core/undo.h"

#include <gtest/gtest.h>

#include "core/edit_commands.h"
#include "core/image_table.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::sample;

ImageRecord numbered(int w, int h) {
    return make_image(w, h, [](int c, int x, int y) { return c * 10000 + y * 100 + x; });
}

// An in-place operation that doubles the width (like a resize) and inverts red.
InPlaceCommand widen_command() {
    InPlaceCommand cmd;
    cmd.operation = [](Workbench& wb, int slot) {
        ImageRecord& r = wb.table[slot];
        for (int c = 0; c < 3; ++c) r.plane(c).resize(r.plane(c).size() * 2, 0);
        r.width *= 2;
        r.red[0] = 65535;
    };
    return cmd;
}

class UndoTest : public ::testing::Test {
protected:
    void SetUp() override {
        wb = make_workbench();
        wb->table[0] = numbered(3, 2);
        wb->table.current_slot = 0;
    }
    ImageRecord& current() { return wb->table.current(); }
    std::unique_ptr<Workbench> wb;
};

TEST_F(UndoTest, UndoRedoStateMachineAcrossASizeChange) {
    const ImageRecord original = current();
    ASSERT_TRUE(run_in_place_command(*wb, widen_command()).ok());
    EXPECT_EQ(current().width, 6);
    EXPECT_EQ(current().undo_available, 1);
    EXPECT_EQ(current().changed, 1);

    EXPECT_EQ(undo_command(wb->table).outcome, Outcome::done);
    EXPECT_EQ(current().width, 3);
    EXPECT_EQ(current().red, original.red);
    EXPECT_EQ(current().undo_available, 0);
    EXPECT_EQ(current().redo_available, 1);
    EXPECT_EQ(current().changed, 0);  // back to the state before the operation

    // A second Undo does nothing.
    EXPECT_EQ(undo_command(wb->table).outcome, Outcome::skipped);
    EXPECT_EQ(current().width, 3);

    EXPECT_EQ(redo_command(wb->table).outcome, Outcome::done);
    EXPECT_EQ(current().width, 6);
    EXPECT_EQ(current().red[0], 65535);
    EXPECT_EQ(current().undo_available, 1);
    EXPECT_EQ(current().redo_available, 0);
    EXPECT_EQ(current().changed, 1);
    EXPECT_EQ(redo_command(wb->table).outcome, Outcome::skipped);
}

TEST_F(UndoTest, UndoRestoresTheSavedStateOfAnImageSavedBeforeTheOperation) {
    current().changed = 0;  // just saved
    run_in_place_command(*wb, widen_command());
    undo_command(wb->table);
    EXPECT_EQ(current().changed, 0);

    // An image already changed stays changed after undo.
    current().changed = 1;
    run_in_place_command(*wb, widen_command());
    undo_command(wb->table);
    EXPECT_EQ(current().changed, 1);
}

TEST_F(UndoTest, UndoBringsBackTheMonoFlag) {
    InPlaceCommand grey;
    grey.operation = [](Workbench&, int) {};
    grey.mono_after = 1;
    run_in_place_command(*wb, grey);
    EXPECT_EQ(current().mono, 1);
    undo_command(wb->table);
    EXPECT_EQ(current().mono, 0);
    redo_command(wb->table);
    EXPECT_EQ(current().mono, 1);
}

TEST_F(UndoTest, NothingToUndoOnAFreshImageOrWithoutACurrentSlot) {
    EXPECT_EQ(undo_command(wb->table).outcome, Outcome::skipped);
    EXPECT_EQ(current().width, 3);
    wb->table.current_slot = 5;  // an empty slot, as after closing the last image
    EXPECT_EQ(run_in_place_command(*wb, widen_command()).outcome, Outcome::skipped);
    EXPECT_EQ(copy_command(wb->table).outcome, Outcome::skipped);
    EXPECT_EQ(area_copy_command(wb->table, {0, 0}, {1, 1}).outcome, Outcome::skipped);
    EXPECT_FALSE(wb->table[5].occupied());
    EXPECT_EQ(wb->table[5].changed, 0);
    wb->table.current_slot = -1;
    EXPECT_EQ(undo_command(wb->table).outcome, Outcome::skipped);
    EXPECT_EQ(redo_command(wb->table).outcome, Outcome::skipped);
    EXPECT_EQ(copy_command(wb->table).outcome, Outcome::skipped);
    EXPECT_EQ(run_in_place_command(*wb, widen_command()).outcome, Outcome::skipped);
}

TEST_F(UndoTest, AnOperationAfterUndoLosesTheRedoState) {
    run_in_place_command(*wb, widen_command());
    undo_command(wb->table);
    run_in_place_command(*wb, widen_command());
    EXPECT_EQ(current().redo_available, 0);
    EXPECT_EQ(current().undo_available, 1);
    EXPECT_EQ(redo_command(wb->table).outcome, Outcome::skipped);
}

TEST_F(UndoTest, CancelledDialogAndFailedProbeChangeNothing) {
    InPlaceCommand cmd = widen_command();
    cmd.dialog = [] { return false; };
    EXPECT_EQ(run_in_place_command(*wb, cmd).outcome, Outcome::skipped);
    EXPECT_EQ(current().width, 3);
    EXPECT_EQ(current().undo_available, 0);

    wb->table.available_memory = [] { return uint64_t(10); };
    const CommandResult r = run_in_place_command(*wb, widen_command());
    ASSERT_EQ(r.outcome, Outcome::failed);
    EXPECT_EQ(r.messages.at(0).text, "メモリ不足で実行できません！");
    EXPECT_EQ(message_title(r.messages.at(0).kind), std::string("Error !"));
    EXPECT_EQ(current().width, 3);
}

TEST_F(UndoTest, OutOfMemoryDuringTheOperationPutsTheImageBack) {
    InPlaceCommand cmd;
    cmd.operation = [](Workbench& wb, int slot) {
        wb.table[slot].red[0] = 1;
        throw std::bad_alloc();
    };
    const ImageRecord before = current();
    const CommandResult r = run_in_place_command(*wb, cmd);
    EXPECT_EQ(r.outcome, Outcome::failed);
    EXPECT_EQ(current().red, before.red);
    EXPECT_EQ(current().undo_available, 0);
}

TEST_F(UndoTest, AllImagesModeProcessesEveryOccupiedSlotAndUndoesThemAll) {
    wb->table[4] = numbered(2, 2);
    wb->table[9] = numbered(5, 1);
    wb->table.all_images_mode = 1;
    std::vector<int> visited;
    InPlaceCommand cmd;
    cmd.operation = [&](Workbench& w, int slot) {
        visited.push_back(slot);
        w.table[slot].red[0] = 42;
    };
    ASSERT_TRUE(run_in_place_command(*wb, cmd).ok());
    EXPECT_EQ(visited, (std::vector<int>{0, 4, 9}));
    for (int slot : {0, 4, 9}) EXPECT_EQ(wb->table[slot].undo_available, 1);

    undo_command(wb->table);
    for (int slot : {0, 4, 9}) {
        EXPECT_EQ(wb->table[slot].red[0], 0) << slot;
        EXPECT_EQ(wb->table[slot].redo_available, 1) << slot;
    }
    // In single mode only the current image is processed.
    wb->table.all_images_mode = 0;
    visited.clear();
    run_in_place_command(*wb, cmd);
    EXPECT_EQ(visited, std::vector<int>{0});
}

TEST_F(UndoTest, AllImagesModeStopsAtTheFirstSlotWithoutMemory) {
    wb->table[4] = numbered(2, 2);
    wb->table[9] = numbered(5, 1);
    wb->table.all_images_mode = 1;
    std::vector<int> visited;
    InPlaceCommand cmd;
    cmd.operation = [&](Workbench&, int slot) { visited.push_back(slot); };
    cmd.slot_probe = [](const ImageTable&, int slot) { return slot != 4; };
    const CommandResult r = run_in_place_command(*wb, cmd);
    EXPECT_EQ(r.outcome, Outcome::failed);
    EXPECT_EQ(r.messages.at(0).text, "メモリ不足で実行できません！");
    EXPECT_EQ(visited, std::vector<int>{0});
    EXPECT_EQ(wb->table[0].undo_available, 1);  // processed slots stay processed
    EXPECT_EQ(wb->table[9].undo_available, 0);
}

TEST_F(UndoTest, CopyMakesAnUnchangedCurrentImageWithoutName) {
    current().name = "/tmp/orig.bmp";
    current().changed = 1;
    current().zoom = 300;
    ASSERT_TRUE(copy_command(wb->table).ok());
    EXPECT_EQ(wb->table.current_slot, 1);
    const ImageRecord& copy = current();
    EXPECT_TRUE(copy.name.empty());
    EXPECT_EQ(copy.zoom, 100);
    EXPECT_EQ(copy.changed, 0);  // closing it asks nothing
    EXPECT_EQ(copy.stats_stale, 0);
    EXPECT_GT(copy.histogram_count, 0);  // histogram computed at once
    EXPECT_EQ(copy.red, wb->table[0].red);
}

TEST_F(UndoTest, CopyIntoAFullTableReportsIt) {
    for (int i = 1; i < kSlotCount; ++i) wb->table[i] = numbered(1, 1);
    const CommandResult r = copy_command(wb->table);
    ASSERT_EQ(r.outcome, Outcome::failed);
    EXPECT_EQ(r.messages.at(0).text, "これ以上、新たな画像を作れません！");
    EXPECT_EQ(wb->table.current_slot, 0);
}

TEST_F(UndoTest, AreaCopyTakesTheRectangleBetweenTheCorners) {
    wb->table[0] = numbered(5, 4);
    ASSERT_TRUE(area_copy_command(wb->table, {3, 3}, {1, 1}).ok());
    const ImageRecord& area = current();
    EXPECT_EQ(wb->table.current_slot, 1);
    EXPECT_EQ(area.width, 2);  // |3 - 1|
    EXPECT_EQ(area.height, 2);
    EXPECT_EQ(sample(area, 0, 0, 0), 101);  // column 1, stored row 1
    EXPECT_EQ(sample(area, 2, 1, 1), 20000 + 202);
    EXPECT_EQ(area.changed, 0);

    // A degenerate rectangle keeps waiting and makes nothing.
    EXPECT_EQ(area_copy_command(wb->table, {2, 0}, {2, 3}).outcome, Outcome::skipped);
    EXPECT_FALSE(wb->table[2].occupied());
}

TEST(CopyArea, NegativeLeftShrinksTheWidth) {
    const ImageRecord src = numbered(6, 6);
    ImageRecord dst;
    copy_area(src, dst, {-2, 1}, {3, 4});  // left -2, width 5 -> left 0, width 3
    EXPECT_EQ(dst.width, 3);
    EXPECT_EQ(dst.height, 3);
    EXPECT_EQ(sample(dst, 0, 0, 0), 100);
    ImageRecord clipped;
    copy_area(src, clipped, {4, 4}, {10, 10});  // clipped to the image
    EXPECT_EQ(clipped.width, 2);
    EXPECT_EQ(clipped.height, 2);
}

TEST(CropRecord, AnchorsPlaceTheRectangle) {
    const ImageRecord src = numbered(10, 8);
    struct Case {
        int anchor;
        int first_x, first_row;  // of the kept rectangle in the source
    };
    // 4 × 2 out of 10 × 8: spare 6 columns, 6 rows. Top anchors keep the top rows,
    // which are the highest stored rows.
    const Case cases[] = {{0, 0, 6}, {1, 3, 6}, {2, 6, 6}, {3, 0, 3}, {4, 3, 3},
                          {5, 6, 3}, {6, 0, 0}, {7, 3, 0}, {8, 6, 0}};
    for (const Case& c : cases) {
        ImageRecord dst;
        crop_record(src, dst, 4, 2, c.anchor);
        ASSERT_EQ(dst.width, 4);
        ASSERT_EQ(dst.height, 2);
        EXPECT_EQ(sample(dst, 0, 0, 0), c.first_row * 100 + c.first_x) << c.anchor;
        EXPECT_EQ(sample(dst, 1, 3, 1), 10000 + (c.first_row + 1) * 100 + c.first_x + 3);
    }
}

TEST(CropRecord, LargerThanTheSourceKeepsItWholeAndTheMonoFlag) {
    ImageRecord src = numbered(3, 2);
    src.mono = 1;
    ImageRecord dst = numbered(9, 9);
    crop_record(src, dst, 100, 100, 8);
    EXPECT_EQ(dst.width, 3);
    EXPECT_EQ(dst.height, 2);
    EXPECT_EQ(dst.red, src.red);
    EXPECT_EQ(dst.mono, 1);
}

TEST(Marking, FlagsOfEachKindOfResult) {
    ImageRecord r = numbered(2, 2);
    r.changed = 1;
    r.mono = 1;
    r.undo_available = 1;
    r.redo_available = 1;
    mark_new_result(r);
    EXPECT_EQ(r.stats_stale, 1);
    EXPECT_EQ(r.undo_available + r.redo_available, 0);
    EXPECT_EQ(r.changed_before, 1);
    EXPECT_EQ(r.changed, 1);
    EXPECT_EQ(r.undo_mono, 1);

    mark_loaded(r);
    EXPECT_EQ(r.changed + r.changed_before + r.mono + r.undo_mono, 0);
    EXPECT_EQ(r.stats_stale, 1);

    r.changed = 1;
    r.redo_available = 1;
    mark_in_place_result(r);
    EXPECT_EQ(r.undo_available, 1);
    EXPECT_EQ(r.redo_available, 0);
    EXPECT_EQ(r.changed_before, 1);
}

TEST(Snapshot, ReusesTheUndoPlanesAndSwapsWithoutCopying) {
    ImageRecord r = numbered(4, 4);
    take_snapshot(r);
    const uint16_t* undo_data = r.undo_red.data();
    r.red[0] = 7;
    take_snapshot(r);  // same size: same memory
    EXPECT_EQ(r.undo_red.data(), undo_data);
    EXPECT_EQ(r.undo_red[0], 7);
    const uint16_t* red_data = r.red.data();
    swap_with_snapshot(r);
    EXPECT_EQ(r.undo_red.data(), red_data);
}

}  // namespace
}  // namespace vora
