#include "ui/color_commands.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/edit_commands.h"
#include "filters/monochrome.h"
#include "test_support.h"
#include "ui/command_table.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::sample;

// 4 × 3: pixel (x, row) = (x·10000 + 1000, row·20000 + 500, 30000) in the three planes.
ImageRecord colours() {
    return make_image(4, 3, [](int c, int x, int y) {
        return c == 0 ? x * 10000 + 1000 : c == 1 ? y * 20000 + 500 : 30000;
    });
}

class ColorCommands : public test::CommandTest {
  protected:
    void SetUp() override {
        CommandTest::SetUp();
        slot(0) = colours();
    }
};

TEST_F(ColorCommands, MonochromeMakesAMonoImageAndCanBeUndone) {
    wb->settings.monochrome.method = kMonoLargest;
    ASSERT_EQ(monochrome_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(slot(0).mono, 1);
    EXPECT_EQ(slot(0).changed, 1);
    EXPECT_EQ(sample(slot(0), 2, 3, 2), 40500);  // max(31000, 40500, 30000)
    EXPECT_EQ(slot(0).green, slot(0).red);
    ASSERT_EQ(undo_command(wb->table).outcome, Outcome::done);
    EXPECT_EQ(slot(0).mono, 0);
    EXPECT_TRUE(test::same_record(slot(0), colours()));
}

TEST_F(ColorCommands, MonochromeHonoursAllImagesModeAndCancel) {
    slot(3) = colours();
    wb->table.all_images_mode = 1;
    EXPECT_EQ(monochrome_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_EQ(slot(3).mono, 0);
    ASSERT_EQ(monochrome_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(slot(3).mono, 1);
    EXPECT_EQ(slot(3).blue, slot(3).red);
}

TEST_F(ColorCommands, ColorSlidersReachTheOperation) {
    ASSERT_EQ(color_command(*wb).outcome, Outcome::done);  // 100 / 180: unchanged
    EXPECT_TRUE(test::same_record(slot(0), colours()));
    wb->settings.color.hue = 300;  // +120 degrees: R' = B, G' = R, B' = G
    ASSERT_EQ(color_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(slot(0).red, colours().blue);
    EXPECT_EQ(slot(0).green, colours().red);
    slot(1) = colours();
    slot(1).mono = 1;
    wb->table.current_slot = 1;
    ASSERT_EQ(color_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(slot(1).red, colours().red);  // a mono image is left alone
    EXPECT_EQ(slot(1).green, colours().green);
}

TEST_F(ColorCommands, RgbReplacementTakesTheSourceFromPointA) {
    ColorReplaceSettings& s = wb->settings.color_replace;
    s.rgb_target = {255, 0, 0};
    bool dialog_saw_source = false;
    // Point A at (1, row 2): samples (11000, 40500, 30000), high bytes (42, 158, 117).
    const CommandResult result = recolor_rgb_command(*wb, SampleCorner{1, 2}, [&] {
        dialog_saw_source = s.rgb_source == std::array<int32_t, 3>{42, 158, 117};
        return true;
    });
    ASSERT_EQ(result.outcome, Outcome::done);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_TRUE(dialog_saw_source);
    EXPECT_EQ(sample(slot(0), 0, 1, 2), 65280);
    EXPECT_EQ(sample(slot(0), 1, 1, 2), 0);
    EXPECT_EQ(sample(slot(0), 0, 0, 2), 1000);  // another colour stays
    EXPECT_EQ(slot(0).undo_available, 1);
    EXPECT_EQ(slot(0).changed, 1);
}

TEST_F(ColorCommands, ReplacementOnAGreyImageReadsItsGreyAndMakesItColour) {
    // A grey image whose green and blue planes still hold an older picture.
    slot(0).mono = 1;
    ColorReplaceSettings& s = wb->settings.color_replace;
    s.rgb_target = {0, 0, 255};
    s.rgb_tolerance = 0;
    // Point A at (1, row 2): red 11000, so the grey source is (42, 42, 42).
    ASSERT_EQ(recolor_rgb_command(*wb, SampleCorner{1, 2}).outcome, Outcome::done);
    EXPECT_EQ(s.rgb_source, (std::array<int32_t, 3>{42, 42, 42}));
    EXPECT_EQ(slot(0).mono, 0);
    EXPECT_EQ(sample(slot(0), 2, 1, 2), 65280);
    EXPECT_EQ(sample(slot(0), 0, 1, 2), 0);
    EXPECT_EQ(sample(slot(0), 1, 0, 2), 1000);  // the grey elsewhere, in all three planes
    EXPECT_EQ(sample(slot(0), 2, 0, 2), 1000);
    ASSERT_EQ(undo_command(wb->table).outcome, Outcome::done);
    EXPECT_EQ(slot(0).mono, 1);
}

TEST_F(ColorCommands, WithoutPointAStoredColoursAndAHint) {
    ColorReplaceSettings& s = wb->settings.color_replace;
    s.rgb_source = {3, 1, 117};  // pixel (0, row 0): (1000, 500, 30000)
    s.rgb_target = {0, 0, 0};
    for (std::optional<SampleCorner> point :
         {std::optional<SampleCorner>{}, std::optional<SampleCorner>{SampleCorner{4, 0}}}) {
        slot(0) = colours();
        const CommandResult result = recolor_rgb_command(*wb, point);
        ASSERT_EQ(result.outcome, Outcome::done);
        ASSERT_EQ(result.messages.size(), 1u);
        EXPECT_EQ(result.messages[0].kind, MessageKind::notice);
        EXPECT_EQ(result.messages[0].text, kPickColourHint);
        EXPECT_EQ(sample(slot(0), 2, 0, 0), 0);
        EXPECT_EQ(sample(slot(0), 2, 1, 0), 30000);
    }
}

TEST_F(ColorCommands, HsvReplacementReadsHueSaturationValue) {
    slot(0) = make_image(2, 1, [](int c, int x, int) {
        return c == 0 ? 65534 : c == 1 ? x * 20000 : 0;
    });
    ColorReplaceSettings& s = wb->settings.color_replace;
    s.hsv_target = {120, 255, 255};
    // Pixel (0, 0) is pure red: hue 0°, saturation 255, value 65534 / 256 = 255.
    ASSERT_EQ(recolor_hsv_command(*wb, SampleCorner{0, 0}).outcome, Outcome::done);
    EXPECT_EQ(s.hsv_source, (std::array<int32_t, 3>{0, 255, 255}));
    EXPECT_EQ(sample(slot(0), 0, 0, 0), 254);  // tolerance 0: the new colour exactly
    EXPECT_EQ(sample(slot(0), 1, 0, 0), 65280);
    EXPECT_EQ(sample(slot(0), 1, 1, 0), 20000);  // hue 18°: not the source hue
}

TEST_F(ColorCommands, ReplacementIgnoresAllImagesModeAndNeedsAnImage) {
    slot(2) = colours();
    wb->table.all_images_mode = 1;
    wb->settings.color_replace.rgb_tolerance = 255;  // every pixel is close enough
    ASSERT_EQ(recolor_rgb_command(*wb, std::nullopt).outcome, Outcome::done);
    EXPECT_NE(slot(0).red, colours().red);
    EXPECT_EQ(slot(2).red, colours().red);
    wb->table.current_slot = 5;
    EXPECT_EQ(recolor_hsv_command(*wb, SampleCorner{0, 0}).outcome, Outcome::skipped);
}

TEST_F(ColorCommands, TableRows) {
    struct Row {
        int id;
        const char* label;
        const char* cli;
    };
    const Row rows[] = {{312, "白黒化(&W)", "gray"},
                        {314, "彩度／色相調整(&U)", "color"},
                        {330, "歪曲収差補正(&Y)", "distortion"},
                        {331, "色変更(RGB)", "recolor-rgb"},
                        {332, "色変更(HSV)", "recolor-hsv"}};
    for (const Row& r : rows) {
        const CommandRow* row = find_command(r.id);
        ASSERT_NE(row, nullptr) << r.id;
        EXPECT_STREQ(row->menu_label, r.label);
        EXPECT_EQ(find_cli_operation(r.cli), row);
    }
    // The table's run of 331 reads point A from the current image.
    slot(0).point_a_x = 3;
    slot(0).point_a_y = 1;
    wb->settings.color_replace.rgb_target = {1, 1, 1};
    ASSERT_TRUE(find_command(331)->run(*wb).messages.empty());
    EXPECT_EQ(sample(slot(0), 2, 3, 1), 256);
}

}  // namespace
}  // namespace vora
