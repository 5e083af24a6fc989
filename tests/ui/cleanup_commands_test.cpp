#include "ui/cleanup_commands.h"

#include <gtest/gtest.h>

#include "core/edit_commands.h"
#include "filters/noise.h"
#include "test_support.h"
#include "ui/command_table.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

// The two-valued block of the edge tests: R and B bright on columns 1-2, rows 0-1.
ImageRecord block_image() {
    return make_image(4, 3, [](int c, int x, int y) {
        return c != 1 && (x == 1 || x == 2) && y <= 1 ? 10000 : 0;
    });
}

class CleanupCommands : public test::CommandTest {};

TEST_F(CleanupCommands, EdgeParametersFromTheSettings) {
    ParamVector p{};
    fill_edge_params({100, 20, 40, 5, 3, 1, 0, 1}, p);
    EXPECT_EQ((std::vector<int32_t>(p.begin(), p.begin() + 6)),
              (std::vector<int32_t>{3, 100, 20, 40, 5, 4 + 1}));
}

TEST_F(CleanupCommands, EdgeRunsOnEveryImageInAllImagesModeAndCancelLeavesThem) {
    slot(0) = block_image();
    slot(3) = block_image();
    wb->settings.edge.use_g = 0;  // R and B alone: the single-plane filter smooths (1,1)
    EXPECT_EQ(edge_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_EQ(sample(slot(0), 0, 1, 1), 10000);

    wb->table.all_images_mode = 1;
    EXPECT_EQ(edge_command(*wb).outcome, Outcome::done);
    for (int i : {0, 3}) {
        EXPECT_EQ(sample(slot(i), 0, 1, 1), 7222) << i;
        EXPECT_EQ(sample(slot(i), 2, 1, 1), 7222) << i;
        EXPECT_EQ(slot(i).undo_available, 1);
        EXPECT_EQ(slot(i).changed, 1);
        EXPECT_EQ(slot(i).undo_red, block_image().red);
    }
}

TEST_F(CleanupCommands, NoiseUsesTheStrengthAndSetsTheToleranceOnOk) {
    // Corners 1000, edges 2000, centre 5000: 2 × Sv / Sw = 3111 (see the filter's tests).
    auto cross = [] {
        return make_image(3, 3, [](int, int x, int y) {
            return x == 1 && y == 1 ? 5000 : (x == 1 || y == 1) ? 2000 : 1000;
        });
    };
    NoiseSettings& s = wb->settings.noise;
    s = {3, 0, 5};
    EXPECT_EQ(noise_command(*wb, [] { return true; }).outcome, Outcome::skipped);  // no image
    slot(0) = cross();
    EXPECT_EQ(noise_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_EQ(s.noise_tolerance, 0);
    EXPECT_EQ(slot(0).red, cross().red);

    EXPECT_EQ(noise_command(*wb, [] { return true; }).outcome, Outcome::done);
    EXPECT_EQ(s.noise_tolerance, 10);
    EXPECT_EQ(sample(slot(0), 0, 1, 1), 1555);  // strength 5: k = 1, the weighted mean
    EXPECT_EQ(slot(0).undo_available, 1);

    slot(0) = cross();
    slot(2) = cross();
    s.noise_strength = 1;  // k = 5: (3111 + 4 × 5000) / 6
    wb->table.all_images_mode = 1;
    EXPECT_EQ(noise_command(*wb).outcome, Outcome::done);
    for (int i : {0, 2}) {
        EXPECT_EQ(sample(slot(i), 1, 1, 1), 3851) << i;
        EXPECT_EQ(slot(i).undo_green, cross().green) << i;
    }
}

TEST_F(CleanupCommands, LineSplitMakesTwoNewImagesAndTheOddOneBecomesCurrent) {
    slot(0) = make_image(2, 4, [](int, int, int y) { return 100 * y; });
    slot(0).mono = 1;
    slot(0).changed = 1;
    slot(1) = make_image(1, 1, [](int, int, int) { return 0; });
    EXPECT_EQ(line_split_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(wb->table.current_slot, 3);
    const int rows[2][4] = {{0, 0, 200, 200}, {100, 100, 300, 300}};
    for (int k = 0; k < 2; ++k) {
        const ImageRecord& r = slot(2 + k);
        ASSERT_EQ(r.height, 4);
        for (int y = 0; y < 4; ++y) EXPECT_EQ(sample(r, 2, 1, y), rows[k][y]) << k;
        EXPECT_EQ(r.mono, 1);
        EXPECT_EQ(r.changed, 0);
        EXPECT_EQ(r.stats_stale, 1);
        EXPECT_EQ(r.undo_available, 0);
    }
    EXPECT_EQ(slot(0).changed, 1);  // the source is not touched
}

TEST_F(CleanupCommands, LineSplitWithoutFreeSlotsKeepsWhatItBuilt) {
    for (int i = 0; i < kSlotCount; ++i)
        slot(i) = make_image(1, 2, [](int, int, int y) { return y; });
    CommandResult r = line_split_command(*wb);
    EXPECT_EQ(r.outcome, Outcome::failed);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, msg::kNoSlotForResult);

    release_slot(slot(100));  // room for the even-line image only
    r = line_split_command(*wb);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, msg::kNoSlotForResult);
    EXPECT_EQ(slot(100).red, (Plane{0, 0}));
    EXPECT_EQ(slot(100).changed, 0);
    EXPECT_EQ(wb->table.current_slot, 0);

    wb->table.current_slot = 200;  // no image at all: nothing to do
    release_slot(slot(200));
    EXPECT_EQ(line_split_command(*wb).outcome, Outcome::skipped);
}

TEST_F(CleanupCommands, TableRows) {
    for (int id : {303, 320, 777}) ASSERT_NE(find_command(id), nullptr) << id;
    EXPECT_EQ(find_cli_operation("edge"), find_command(303));
    EXPECT_STREQ(find_command(303)->settings_keyword, "edge");
    EXPECT_EQ(find_cli_operation("noise"), find_command(777));
    EXPECT_STREQ(find_command(777)->settings_keyword, "noise");
    EXPECT_EQ(find_cli_operation("lines"), find_command(320));
    EXPECT_EQ(find_command(320)->settings_keyword, nullptr);
    slot(0) = make_image(3, 2, [](int, int, int y) { return y; });
    EXPECT_EQ(find_command(320)->run(*wb).outcome, Outcome::done);
    EXPECT_EQ(wb->table.current_slot, 2);
}

}  // namespace
}  // namespace vora
