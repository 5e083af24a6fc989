#include <gtest/gtest.h>

#include <memory>

#include "core/image_table.h"
#include "filters/restore.h"
#include "filters/sharpen.h"
#include "test_support.h"
#include "ui/command_table.h"
#include "ui/restore_command.h"
#include "ui/sharpen_command.h"

namespace vora {
namespace {

using test::make_image;

ImageRecord picture(int w, int h, int seed) {
    return make_image(w, h, [seed](int c, int x, int y) {
        return 20000 + (x * 7919 + y * 3571 + c * 1009 + seed * 613) % 12000;
    });
}

Plane sharpened(const ImageRecord& r, int c, const ParamVector& p) {
    Plane plane = r.plane(c);
    sharpen_plane({plane.data(), r.width, r.height}, p);
    return plane;
}

Plane restored(const ImageRecord& r, int c, const ParamVector& p) {
    Plane plane = r.plane(c);
    restore_plane({plane.data(), r.width, r.height}, p);
    return plane;
}

class SharpenRestoreCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        wb = test::make_workbench();
        wb->table.current_slot = 0;
        wb->table[0] = picture(9, 7, 0);
    }
    ImageRecord& slot(int i) { return wb->table[i]; }
    // Room for exactly `copies` images of `r`'s size.
    void limit_memory(const ImageRecord& r, int copies) {
        const uint64_t bytes = uint64_t(copies) * r.sample_count() * 6;
        wb->table.available_memory = [bytes] { return bytes; };
    }
    std::unique_ptr<Workbench> wb;
};

TEST_F(SharpenRestoreCommands, ParametersFromTheSettings) {
    SharpSettings s;
    s.radius = 3;
    s.threshold = 1234;
    s.smooth_strength = 7;
    s.sharp_strength = 40;
    s.falloff = 25;
    struct Case {
        int r, g, b, mask;
    } cases[] = {{1, 1, 1, 7}, {1, 1, 0, 6}, {0, 0, 1, 1}, {1, 0, 1, 5}, {0, 0, 0, 0}};
    for (const Case& c : cases) {
        s.use_r = c.r;
        s.use_g = c.g;
        s.use_b = c.b;
        ParamVector p{};
        p.fill(-1);
        fill_sharpen_params(s, p);
        const int32_t expected[6] = {3, 1234, 7, 40, 25, c.mask};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(p[std::size_t(i)], expected[i]) << i;
        EXPECT_EQ(p[6], -1);
    }
    ParamVector p{};
    fill_restore_params({55, 35, 4, 2}, p);
    EXPECT_EQ(p[0], 55);
    EXPECT_EQ(p[1], 35);
    EXPECT_EQ(p[2], 4);
    EXPECT_EQ(p[3], 2);
}

TEST_F(SharpenRestoreCommands, SharpenFiltersTheChosenPlanesInPlace) {
    const ImageRecord before = slot(0);
    wb->settings.sharp.use_g = 0;
    wb->settings.sharp.threshold = 0;
    ParamVector p{};
    fill_sharpen_params(wb->settings.sharp, p);
    EXPECT_EQ(sharpen_command(*wb, [] { return true; }).outcome, Outcome::done);
    EXPECT_EQ(slot(0).red, sharpened(before, 0, p));
    EXPECT_EQ(slot(0).green, before.green);
    EXPECT_EQ(slot(0).blue, sharpened(before, 2, p));
    EXPECT_NE(slot(0).red, before.red);
    EXPECT_EQ(slot(0).undo_red, before.red);
    EXPECT_EQ(slot(0).undo_available, 1);
    EXPECT_EQ(slot(0).changed, 1);
}

TEST_F(SharpenRestoreCommands, CancelChangesNothing) {
    const ImageRecord before = slot(0);
    EXPECT_EQ(sharpen_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_EQ(restore_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_EQ(slot(0).red, before.red);
    EXPECT_EQ(slot(0).undo_available, 0);
    EXPECT_EQ(slot(0).changed, 0);
}

TEST_F(SharpenRestoreCommands, AllImagesModeProcessesEveryOccupiedSlot) {
    slot(4) = picture(5, 11, 1);
    const ImageRecord a = slot(0), b = slot(4);
    wb->table.all_images_mode = 1;
    ParamVector p{};
    fill_restore_params(wb->settings.restore, p);
    EXPECT_EQ(restore_command(*wb).outcome, Outcome::done);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(slot(0).plane(c), restored(a, c, p)) << c;
        EXPECT_EQ(slot(4).plane(c), restored(b, c, p)) << c;
    }
    EXPECT_EQ(slot(4).undo_available, 1);
    EXPECT_EQ(slot(4).changed, 1);
}

TEST_F(SharpenRestoreCommands, RestoreNeedsRoomForFiveCopies) {
    const ImageRecord before = slot(0);
    limit_memory(slot(0), 5);
    wb->settings.restore.emphasis = 3;
    ParamVector p{};
    fill_restore_params(wb->settings.restore, p);
    EXPECT_EQ(restore_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(slot(0).red, restored(before, 0, p));

    slot(0) = before;
    limit_memory(slot(0), 4);  // enough for sharpening (two copies), not for restoring
    const CommandResult refused = restore_command(*wb, [] { return true; });
    EXPECT_EQ(refused.outcome, Outcome::failed);
    ASSERT_EQ(refused.messages.size(), 1u);
    EXPECT_EQ(refused.messages[0].text, msg::kNoMemoryToRun);
    EXPECT_EQ(slot(0).red, before.red);
    EXPECT_EQ(sharpen_command(*wb).outcome, Outcome::done);
}

TEST_F(SharpenRestoreCommands, AllImagesRestoreStopsAtTheFirstSlotWithoutRoom) {
    slot(2) = picture(30, 20, 2);  // larger than the current image
    const ImageRecord small = slot(0), large = slot(2);
    limit_memory(small, 5);
    wb->table.all_images_mode = 1;
    const CommandResult r = restore_command(*wb);
    EXPECT_EQ(r.outcome, Outcome::failed);
    EXPECT_NE(slot(0).red, small.red);  // done before the refusal
    EXPECT_EQ(slot(2).red, large.red);
    EXPECT_EQ(slot(2).undo_available, 0);
}

TEST_F(SharpenRestoreCommands, RowsOfTheCommandTable) {
    const CommandRow* sharpen = find_cli_operation("sharpen");
    ASSERT_NE(sharpen, nullptr);
    EXPECT_EQ(sharpen->id, 301);
    EXPECT_STREQ(sharpen->menu_label, "シャープ/スムーズ(&S)");
    EXPECT_STREQ(sharpen->settings_keyword, "sharp");
    const CommandRow* restore = find_command(317);
    ASSERT_NE(restore, nullptr);
    EXPECT_STREQ(restore->cli_name, "restore");
    EXPECT_STREQ(restore->menu_label, "ボケ補正");
    EXPECT_STREQ(restore->settings_keyword, "restore");

    const ImageRecord before = slot(0);
    EXPECT_EQ(restore->run(*wb).outcome, Outcome::done);
    EXPECT_NE(slot(0).red, before.red);
}

}  // namespace
}  // namespace vora
