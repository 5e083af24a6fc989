#include "ui/resize_commands.h"

#include <gtest/gtest.h>

#include "filters/resize.h"
#include "test_support.h"
#include "ui/command_table.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

ImageRecord ramp(int w, int h) {
    return make_image(w, h, [](int c, int x, int y) { return 1000 * c + 10 * x + 100 * y; });
}

class ResizeCommands : public test::CommandTest {};

TEST(ResizeDialog, KeepAspectArithmetic) {
    struct Case {
        bool width_edit;
        int32_t value;
        bool keep;
        int32_t want_w, want_h;
    } cases[] = {
        {true, 150, true, 150, 100},   // (200·150 + 1) / 300
        {true, 100, true, 100, 66},    // 20001 / 300
        {false, 101, true, 151, 101},  // (101·300 + 1) / 200
        {true, -5, true, 0, 0},        // negatives become 0
        {true, 150, false, 150, 200},  // without keep_aspect the height stays
    };
    for (const Case& c : cases) {
        ResizeSizes s{300, 200, 300, 200};
        if (c.width_edit)
            edit_new_width(s, c.value, c.keep);
        else
            edit_new_height(s, c.value, c.keep);
        EXPECT_EQ(s.new_width, c.want_w) << c.value;
        EXPECT_EQ(s.new_height, c.want_h) << c.value;
    }
}

TEST(ResizeDialog, SizeCheckAndMethodSelector) {
    EXPECT_TRUE(sizes_suitable({10000, 0, 1, 10000}));
    EXPECT_FALSE(sizes_suitable({10, 10, 10001, 10}));
    EXPECT_FALSE(sizes_suitable({10, 10, 10, -1}));
    const ResizeSizes up{10, 10, 20, 10}, down{10, 10, 20, 9};
    EXPECT_EQ(resize_selector(0, down), kResizeNearest);
    EXPECT_EQ(resize_selector(1, up), kResizeBilinear);
    EXPECT_EQ(resize_selector(3, down), kResizeLanczos);
    EXPECT_EQ(resize_selector(2, up), kResizeLanczos);
    EXPECT_EQ(resize_selector(2, down), kResizeBilinear);
}

TEST_F(ResizeCommands, UnsuitableSizeShowsMessageAndChangesNothing) {
    slot(0) = ramp(4, 2);
    const CommandResult r = resize_command(*wb, [](ResizeSizes& s) {
        s.new_width = 10001;
        return true;
    });
    ASSERT_EQ(r.outcome, Outcome::failed);
    EXPECT_EQ(r.messages.at(0).text, "サイズが不適切です！");
    EXPECT_EQ(slot(0).width, 4);
    EXPECT_EQ(slot(0).undo_available, 0);
}

TEST_F(ResizeCommands, ResizesCurrentImageWithUndo) {
    slot(0) = ramp(4, 2);
    wb->settings.resize.resize_method = 0;
    const CommandResult r = resize_command(*wb, [](ResizeSizes& s) {
        EXPECT_EQ(s.old_width, 4);
        EXPECT_EQ(s.new_height, 2);
        edit_new_width(s, 2, true);  // height (2·2 + 1) / 4 = 1
        return true;
    });
    EXPECT_EQ(r.outcome, Outcome::done);
    ASSERT_EQ(slot(0).width, 2);
    ASSERT_EQ(slot(0).height, 1);
    EXPECT_EQ(sample(slot(0), 2, 1, 0), 2000 + 20);  // source column 2, row 0
    EXPECT_EQ(slot(0).undo_available, 1);
    EXPECT_EQ(slot(0).undo_width, 4);
    EXPECT_EQ(resize_command(*wb, [](ResizeSizes&) { return false; }).outcome, Outcome::skipped);
}

TEST_F(ResizeCommands, AllImagesScaledBySameRatio) {
    slot(0) = ramp(100, 10);
    slot(2) = ramp(6000, 1);  // 12000 wide: unsuitable, skipped
    slot(5) = ramp(30, 3);
    wb->table.all_images_mode = 1;
    const CommandResult r = resize_command(*wb, [](ResizeSizes& s) {
        s.new_width = 200;
        s.new_height = 20;
        return true;
    });
    EXPECT_EQ(r.outcome, Outcome::done);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, "サイズが不適切です！");
    EXPECT_EQ(slot(0).width, 200);
    EXPECT_EQ(slot(0).height, 20);
    EXPECT_EQ(slot(2).width, 6000);
    EXPECT_EQ(slot(2).undo_available, 0);
    EXPECT_EQ(slot(5).width, 60);
    EXPECT_EQ(slot(5).height, 6);
    EXPECT_EQ(slot(5).undo_available, 1);
}

TEST(CutPlan, OutputSizeAndSelector) {
    CutSettings s;
    s.cut_width = 100;
    s.cut_height = 60;
    s.output_scale = 50;
    CutPlan p = plan_cut(s, 80, 1000);  // cut wider than the image: whole width
    EXPECT_EQ(p.cut_width, 80);
    EXPECT_EQ(p.cut_height, 60);
    EXPECT_EQ(p.output_width, 40);
    EXPECT_EQ(p.output_height, 30);
    EXPECT_EQ(p.selector, kResizeBilinear);
    s.output_mode = 0;
    s.output_width = 80;
    s.output_height = 61;
    p = plan_cut(s, 80, 1000);
    EXPECT_EQ(p.output_width, 80);
    EXPECT_EQ(p.selector, kResizeLanczos);
}

TEST_F(ResizeCommands, CutAnchorsPlaceTheRectangle) {
    // 5 × 4 image, 2 × 2 cut: spare 3 columns and 2 rows; rows counted from the bottom.
    const int want_x[9] = {0, 1, 3, 0, 1, 3, 0, 1, 3};
    const int want_row[9] = {2, 2, 2, 1, 1, 1, 0, 0, 0};
    for (int anchor = 0; anchor < 9; ++anchor) {
        SetUp();
        slot(0) = ramp(5, 4);
        wb->settings.cut = {anchor, 2, 2, 1, 0, 0, 100};
        ASSERT_EQ(cut_command(*wb).outcome, Outcome::done);
        const ImageRecord& out = slot(1);
        EXPECT_EQ(wb->table.current_slot, 1);
        EXPECT_EQ(sample(out, 0, 0, 0), 10 * want_x[anchor] + 100 * want_row[anchor]) << anchor;
    }
}

TEST_F(ResizeCommands, CutScale100SkipsResizeAndLargerCutCopiesWholeImage) {
    slot(0) = ramp(4, 3);
    slot(0).changed = 1;
    wb->settings.cut = {8, 50, 50, 1, 0, 0, 100};
    ASSERT_EQ(cut_command(*wb).outcome, Outcome::done);
    // A Lanczos pass at the same size would blur the ramp; the copy is exact.
    EXPECT_TRUE(test::same_pixels(slot(1), slot(0)));
    EXPECT_EQ(slot(1).changed, 0);
    EXPECT_EQ(slot(1).undo_available, 0);
    uint64_t counted = 0;
    for (uint32_t n : slot(1).histogram[0]) counted += n;
    EXPECT_GT(counted, 0u);  // histogram computed
}

TEST_F(ResizeCommands, CutResizesToOutputSize) {
    slot(0) = ramp(8, 6);
    wb->settings.cut = {4, 4, 4, 0, 2, 2, 100};
    ASSERT_EQ(cut_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(slot(1).width, 2);
    EXPECT_EQ(slot(1).height, 2);
    // Centre cut starts at column 2, row 1; bilinear area mean of its 2 × 2 corner box:
    // (120 + 130 + 220 + 230) / 2 / 2.
    EXPECT_EQ(sample(slot(1), 0, 0, 0), 175);
}

TEST_F(ResizeCommands, CutRefusals) {
    slot(0) = ramp(4, 3);
    wb->settings.cut.cut_width = 0;
    EXPECT_EQ(cut_command(*wb).messages.at(0).text, "サイズが不適切です！");
    EXPECT_FALSE(slot(1).occupied());
    for (int i = 1; i < kSlotCount; ++i) slot(i) = ramp(1, 1);
    wb->settings.cut.cut_width = 2;
    EXPECT_EQ(cut_command(*wb).messages.at(0).text, "これ以上、新たな画像を作れません！");
}

TEST(ResizeCommandRows, InTheTable) {
    EXPECT_EQ(find_cli_operation("resize"), find_command(304));
    EXPECT_STREQ(find_command(304)->settings_keyword, "resize");
    EXPECT_EQ(find_cli_operation("cut"), find_command(213));
    EXPECT_STREQ(find_command(213)->menu_label, "切り出しとサイズ変更");
}

}  // namespace
}  // namespace vora
