#include "ui/distortion_command.h"

#include <gtest/gtest.h>

#include <memory>

#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

TEST(DistortionCommand, RunsOnEveryImageInAllImagesMode) {
    auto wb = test::make_workbench();
    for (int s : {0, 4}) wb->table[s] = make_image(3, 2, [](int, int x, int) { return 100 + x; });
    wb->table.current_slot = 0;
    wb->table.all_images_mode = 1;
    wb->settings.distortion.corner_shift = 0;
    EXPECT_EQ(distortion_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_EQ(sample(wb->table[4], 0, 2, 1), 102);
    ASSERT_EQ(distortion_command(*wb).outcome, Outcome::done);
    for (int s : {0, 4}) {
        const ImageRecord& r = wb->table[s];
        EXPECT_EQ(sample(r, 0, 0, 0), 100) << s;
        EXPECT_EQ(sample(r, 1, 1, 0), 101) << s;
        EXPECT_EQ(sample(r, 0, 2, 0), 0) << s;  // last column
        EXPECT_EQ(sample(r, 2, 0, 1), 0) << s;  // last row
        EXPECT_EQ(r.undo_available, 1);
        EXPECT_EQ(r.changed, 1);
    }
}

}  // namespace
}  // namespace vora
