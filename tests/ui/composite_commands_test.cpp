// The automatic and the multi-file composite commands: slots, marking, messages and the
// passes of the multi-file composite.
#include "ui/composite_commands.h"

#include <gtest/gtest.h>

#include "composite/star_field.h"
#include "core/image_table.h"
#include "io/bmp_pnm.h"
#include "test_support.h"

namespace vora {
namespace {

using test::occupied_count;
using test::TempDir;

class AutoCompositeCommand : public ::testing::Test {
  protected:
    // Puts frames into slots 0.. and names them in the composite settings.
    void add_frames(const std::vector<ImageRecord>& frames) {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            wb->table[int(i)] = frames[i];
            wb->table[int(i)].name = "frame" + std::to_string(i);
            wb->settings.composite.images[i] = list_label(wb->table, int(i), LabelStyle::composite);
        }
        wb->table.current_slot = 0;
    }
    std::unique_ptr<Workbench> wb = test::make_workbench();
};

TEST_F(AutoCompositeCommand, StacksTheNamedImagesIntoANewCurrentImage) {
    // Frames 2 and 3 show the sky moved by (5, -3) and (-7, 4): the canvas holds all three.
    add_frames({test::star_image({0, 0}, 160, 120), test::star_image({-5, 3}, 160, 120),
                test::star_image({7, -4}, 160, 120)});
    wb->table[1].mono = 1;  // a mono image enters the composite with its red plane everywhere
    const CommandResult r = auto_composite_command(*wb);
    ASSERT_EQ(r.outcome, Outcome::done);
    ASSERT_EQ(wb->table.current_slot, 3);
    const ImageRecord& result = wb->table[3];
    EXPECT_EQ(result.width, 160 + 12);
    EXPECT_EQ(result.height, 120 + 7);
    EXPECT_EQ(result.changed, 1);
    EXPECT_EQ(result.undo_available, 0);
    EXPECT_EQ(wb->table[1].green, wb->table[1].red);
}

TEST_F(AutoCompositeCommand, CompositeShiftSpreadsTheImages) {
    add_frames({test::star_image({0, 0}, 160, 120), test::star_image({0, 0}, 160, 120)});
    wb->settings.composite.min_shift = 0;
    wb->settings.composite.shift_x = 10;
    ASSERT_EQ(auto_composite_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(wb->table.current().width, 170);
    EXPECT_EQ(wb->table.current().height, 120);
}

TEST_F(AutoCompositeCommand, RefusesWhatItCannotStack) {
    EXPECT_EQ(auto_composite_command(*wb).outcome, Outcome::skipped);  // no current image

    add_frames({test::star_image({0, 0}, 40, 30), test::star_image({0, 0}, 40, 30)});
    wb->settings.composite.images[1] = "(none)";
    CommandResult r = auto_composite_command(*wb);
    EXPECT_EQ(r.outcome, Outcome::failed);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, "画像が２つ以上選択されていません！");
    EXPECT_EQ(occupied_count(wb->table), 2);  // the result slot was given back

    wb->settings.composite.images[1] = list_label(wb->table, 1, LabelStyle::composite);
    wb->settings.composite.compare_method = kCompareRotation;
    wb->table.current_slot = 1;
    r = auto_composite_command(*wb);  // waits for two stars picked in the first image
    EXPECT_EQ(r.outcome, Outcome::done);
    EXPECT_EQ(wb->star_pick.star_pick_mode, kStarPickFirst);
    EXPECT_EQ(wb->table.current_slot, 0);
    EXPECT_EQ(occupied_count(wb->table), 2);

    wb->settings.composite.compare_method = kCompareSlow;
    EXPECT_EQ(auto_composite_command(*wb, [] { return false; }).outcome, Outcome::skipped);
}

class MultiFileCommand : public ::testing::Test {
  protected:
    // Flat files of the given values, stacked without moving them, so that each pass's
    // average shows which files it took.
    void write_flat_files(const std::vector<int>& values) {
        auto& s = wb->settings.multi_file_composite;
        s.compare_range = 0;
        s.min_shift = 0;
        s.normalize = 0;
        s.reject_mode = kRejectNone;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int v = values[i];
            const std::string path = dir.file("f" + std::to_string(i) + ".ppm");
            ASSERT_TRUE(write_pixmap(path, test::make_image(8, 6, [v](int, int, int) { return v; }),
                                     kPixmapBinary16)
                            .ok());
            s.files.push_back(path);
        }
    }
    TempDir dir;
    std::unique_ptr<Workbench> wb = test::make_workbench();
};

TEST_F(MultiFileCommand, StacksEachPassThenThePassResults) {
    // Five files: passes (0, 2, 4) and (1, 2, 3), then the two pass results.
    write_flat_files({1000, 2000, 4000, 8000, 16000});
    std::vector<std::string> steps;
    const CommandResult r =
        multi_file_composite_command(*wb, {}, [&](const std::string& s) { steps.push_back(s); });
    ASSERT_EQ(r.outcome, Outcome::done) << (r.messages.empty() ? "" : r.messages[0].text);
    ASSERT_EQ(wb->table.current_slot, 0);
    EXPECT_EQ(occupied_count(wb->table), 1);  // every temporary slot was released
    const ImageRecord& result = wb->table[0];
    // (1000 + 4000 + 16000) / 3 = 7000 and (2000 + 4000 + 8000) / 3 = 4666; (7000 + 4666) / 2.
    EXPECT_TRUE(test::has_samples(result, 8, 6, std::vector<test::Rgb>(48, {5833, 5833, 5833})));
    EXPECT_EQ(result.changed, 1);
    EXPECT_FALSE(steps.empty());
}

TEST_F(MultiFileCommand, OneFileIsOpenedAsIt) {
    write_flat_files({1234});
    ASSERT_EQ(multi_file_composite_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(wb->table.current_slot, 0);
    EXPECT_EQ(wb->table[0].changed, 0);
    EXPECT_EQ(test::sample(wb->table[0], 1, 3, 2), 1234);
}

TEST_F(MultiFileCommand, AnUnreadableFileEndsTheCommandAndFreesItsSlots) {
    write_flat_files({1000, 2000, 3000});
    wb->settings.multi_file_composite.files[1] = dir.file("missing.ppm");
    const CommandResult r = multi_file_composite_command(*wb);
    EXPECT_EQ(r.outcome, Outcome::failed);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_NE(r.messages[0].text.find("missing.ppm"), std::string::npos);
    EXPECT_EQ(occupied_count(wb->table), 0);

    wb->settings.multi_file_composite.files.clear();
    EXPECT_EQ(multi_file_composite_command(*wb).outcome, Outcome::skipped);
    EXPECT_EQ(occupied_count(wb->table), 0);
}

TEST(AddCompositeFiles, TakesOnlyWhatFitsSixteenPlaces) {
    MultiFileCompositeSettings s;
    const std::vector<std::string> ten(10, "a.bmp");
    EXPECT_TRUE(add_composite_files(s, ten).messages.empty());
    const CommandResult r = add_composite_files(s, ten);
    EXPECT_EQ(s.files.size(), 16u);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text,
              "Error:ファイル数が１６個を超えました！\n超えたファイルは読み込みません！");
}

}  // namespace
}  // namespace vora
