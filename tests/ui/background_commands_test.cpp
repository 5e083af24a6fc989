#include "ui/background_commands.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "composite/background.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::sample;

ImageRecord flat(int w, int h, int v) {
    return make_image(w, h, [v](int, int, int) { return v; });
}

bool says(const CommandResult& r, const char* text, MessageKind kind) {
    for (const Message& m : r.messages)
        if (m.text == text && m.kind == kind) return true;
    return false;
}

class BackgroundCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        wb = make_workbench();
        wb->table.current_slot = 0;
    }
    ImageRecord& slot(int i) { return wb->table[i]; }
    BackgroundSettings& settings() { return wb->settings.background; }
    BackgroundPick& pick() { return wb->background_pick; }
    std::unique_ptr<Workbench> wb;
};

TEST(BackgroundDialogRules, CurveParameterAsTyped) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"2.5", 250},   {"0.5", 100},  {"4", 300},     {"1.234", 123}, {"2.05", 205},
        {"x2.25", 225}, {"2x.5", 100}, {"1.5.7", 157}, {"", 100},      {"99999999999999", 300},
        {"1.9z", 190}};
    for (const auto& c : cases) EXPECT_EQ(parse_curve_parameter(c.text), c.value) << c.text;
}

TEST(BackgroundDialogRules, CentreRaisedAboveEdge) {
    BackgroundSettings s;
    s.centre = {50, 60, 70};
    s.edge = {60, 60, 60};
    raise_centre_densities(s);
    EXPECT_EQ(s.centre, (std::array<int32_t, 3>{61, 61, 70}));
}

// Subtractive mode: (centre − 2 × edge + shift, shift − edge), keeping centre − edge.
TEST_F(BackgroundCommands, SubtractiveRewrite) {
    settings().pseudo_mode = 1;
    settings().centre = {100, 20, 0};
    settings().edge = {40, 30, 0};
    settings().pseudo_shift = 10;
    settings().curve = 200;
    ParamVector p{};
    fill_pseudo_background_params(settings(), p);
    const int32_t expected[9] = {1, 0, 30, -30, -30, -20, 10, 10, 200};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(p[std::size_t(i)], expected[i]) << i;
    // On a flat 8 × 6 image the centre loses the edge density and gains the shift; the
    // corner (model 1024) gains centre − 2 × edge + shift.
    slot(0) = flat(8, 6, 20000);
    ASSERT_TRUE(background_command(*wb).ok());
    EXPECT_EQ(sample(slot(0), 0, 4, 3), 20000 - 40 * 256 + 10 * 256);
    EXPECT_EQ(sample(slot(0), 0, 0, 0), 20000 + 30 * 256);
    EXPECT_EQ(slot(0).undo_available, 1);
    EXPECT_EQ(slot(0).undo_red, flat(8, 6, 20000).red);
}

TEST_F(BackgroundCommands, AllImagesModeCorrectsEveryImage) {
    settings().centre = {100, 100, 100};
    settings().edge = {1, 1, 1};
    slot(0) = flat(8, 6, 2000);
    slot(2) = flat(8, 6, 2000);
    wb->table.all_images_mode = 1;
    ASSERT_TRUE(background_command(*wb).ok());
    for (int s : {0, 2}) {
        EXPECT_NE(sample(slot(s), 0, 0, 0), 2000) << s;
        EXPECT_EQ(slot(s).undo_available, 1) << s;
    }
}

// Edge densities all 0: nothing is corrected; the next click picks the centre densities.
TEST_F(BackgroundCommands, ZeroEdgesStartPickingTheCentre) {
    // Stored row r, column x holds (10 r + x) × 256; y counted from the top is 4 − r.
    slot(0) = make_image(5, 5, [](int, int x, int row) { return (10 * row + x) * 256; });
    const ImageRecord before = slot(0);
    settings().centre = {9, 9, 9};
    EXPECT_EQ(background_command(*wb).outcome, Outcome::skipped);
    EXPECT_EQ(pick().state, kPickCentre);
    EXPECT_TRUE(test::same_record(slot(0), before));
    EXPECT_EQ(slot(0).undo_available, 0);

    // Click at (1, 1 from the top) = stored row 3: rows 2..4, columns 0..2 give
    // 20 21 22 30 31 32 40 41 42; (22 + 30) / 2 = 26.
    EXPECT_TRUE(background_click(*wb, 1, 1, false).ok());
    EXPECT_EQ(settings().centre, (std::array<int32_t, 3>{26, 26, 26}));
    EXPECT_EQ(pick().state, kPickIdle);
    EXPECT_EQ(background_click(*wb, 1, 1, false).outcome, Outcome::skipped);  // idle again

    // 3062, then a click in the bottom-left corner (kept one pixel inside: stored row 1).
    const CommandResult edge = pick_edge_command(*wb);
    EXPECT_TRUE(says(edge, msg::kPickEdge, MessageKind::notice));
    EXPECT_EQ(pick().state, kPickEdge);
    background_click(*wb, 0, 4, false);
    EXPECT_EQ(settings().edge, (std::array<int32_t, 3>{6, 6, 6}));  // (2 + 10) / 2
    EXPECT_EQ(pick().state, kPickIdle);
    EXPECT_TRUE(says(pick_centre_command(*wb), msg::kPickCentre, MessageKind::notice));
    EXPECT_EQ(pick().state, kPickCentre);
    EXPECT_TRUE(test::same_record(slot(0), before));
}

TEST_F(BackgroundCommands, PointsCollectedUntilTheRightClick) {
    slot(0) =
        make_image(6, 6, [](int c, int x, int row) { return 1000 * (c + 1) + 100 * x + row; });
    const ImageRecord before = slot(0);
    pick().points.resize(3);  // left over from an earlier run
    const CommandResult start = background_points_command(*wb);
    EXPECT_TRUE(says(start, msg::kPickPoints, MessageKind::notice));
    EXPECT_EQ(pick().state, kPickPoints);
    EXPECT_TRUE(pick().points.empty());

    background_click(*wb, 2, 3, false);  // stored row 2
    EXPECT_EQ(pick().state, kPickPoints + 1);
    ASSERT_EQ(pick().points.size(), 1u);
    EXPECT_EQ(pick().points[0].x, 2);
    EXPECT_EQ(pick().points[0].row, 2);
    EXPECT_EQ(pick().points[0].value, background_sample(before, 2, 2));

    // One point: the fit is skipped, the picking ends, the image is unchanged.
    const CommandResult done = background_click(*wb, 0, 0, true);
    EXPECT_TRUE(says(done, msg::kPickPointsDone, MessageKind::notice));
    EXPECT_EQ(pick().state, kPickIdle);
    EXPECT_TRUE(pick().points.empty());
    EXPECT_TRUE(test::same_record(slot(0), before));
    EXPECT_EQ(slot(0).undo_available, 0);

    // Points all on one pixel give no surface: a notice, nothing changed.
    background_points_command(*wb);
    for (int i = 0; i < 3; ++i) background_click(*wb, 3, 3, false);
    const CommandResult same = background_click(*wb, 0, 0, true);
    EXPECT_TRUE(says(same, msg::kBackgroundPointsCoincide, MessageKind::notice));
    EXPECT_TRUE(test::same_record(slot(0), before));
    EXPECT_EQ(pick().state, kPickIdle);

    // Spread points: the fit runs and the result is undoable.
    background_points_command(*wb);
    for (auto [x, y] : {std::pair{1, 1}, {4, 1}, {1, 4}, {4, 4}, {2, 3}})
        background_click(*wb, x, y, false);
    EXPECT_TRUE(background_click(*wb, 0, 0, true).ok());
    EXPECT_EQ(slot(0).undo_available, 1);
    EXPECT_EQ(slot(0).undo_red, before.red);
}

// The hundredth point ends the picking and runs the fit by itself.
TEST_F(BackgroundCommands, HundredthPointRunsTheFit) {
    slot(0) = make_image(2, 2, [](int, int x, int row) { return 5000 + 300 * x + 700 * row; });
    slot(0).mono = 1;  // keeps the search small
    settings().reference_mode = 4;
    background_points_command(*wb);
    CommandResult last;
    for (int i = 0; i < kMaxBackgroundPoints; ++i)
        last = background_click(*wb, i % 2, i / 50, false);
    EXPECT_TRUE(says(last, msg::kPickPointsDone, MessageKind::notice));
    EXPECT_EQ(pick().state, kPickIdle);
    EXPECT_EQ(slot(0).undo_available, 1);
}

TEST_F(BackgroundCommands, ImageDataCorrection) {
    slot(0) =
        make_image(6, 4, [](int c, int x, int row) { return 3000 + c * 7 + x * 101 + row * 13; });
    slot(4) = slot(0);
    settings().reference_mode = 4;
    settings().reference_shift = 30;
    for (int32_t bad : {-5, 256, 9}) {  // out of range, out of range, empty
        settings().reference_slot = bad;
        const CommandResult r = background_image_command(*wb);
        EXPECT_EQ(r.outcome, Outcome::failed) << bad;
        EXPECT_TRUE(says(r, msg::kNoImageChosen, MessageKind::error)) << bad;
    }
    settings().reference_slot = 4;
    EXPECT_EQ(background_image_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_EQ(slot(0).undo_available, 0);
    ASSERT_TRUE(background_image_command(*wb).ok());
    for (int c = 0; c < 3; ++c)
        for (uint16_t s : slot(0).plane(c)) ASSERT_EQ(s, 30 * 256 - 1);
    EXPECT_EQ(slot(0).undo_available, 1);
}

TEST_F(BackgroundCommands, NothingWithoutAnImage) {
    EXPECT_EQ(background_command(*wb).outcome, Outcome::skipped);
    EXPECT_EQ(pick_centre_command(*wb).outcome, Outcome::skipped);
    pick().state = kPickPoints;
    EXPECT_EQ(background_click(*wb, 0, 0, false).outcome, Outcome::skipped);
    EXPECT_EQ(fit_background_points_command(*wb).outcome, Outcome::skipped);
    EXPECT_EQ(pick().state, kPickIdle);
    // Hostile click positions on a 1 × 1 image stay inside it.
    slot(0) = flat(1, 1, 4096);
    pick().state = kPickCentre;
    background_click(*wb, -70000, 99999, false);
    EXPECT_EQ(settings().centre, (std::array<int32_t, 3>{16, 16, 16}));
}

}  // namespace
}  // namespace vora
