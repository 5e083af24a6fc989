#include "ui/background_generation_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "composite/background_gen.h"
#include "core/edit_commands.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::sample;

TEST(BackgroundDialogValues, SizesAreClampedAndSnapped) {
    struct Case {
        int32_t (*rule)(int32_t);
        int32_t in, out;
    } cases[] = {
        {clamp_detection_size, 600, 256},       {clamp_detection_size, 7, 8},
        {clamp_detection_size, 100, 100},       {clamp_detection_size, -5, 8},
        {detection_size_from_scroll, 39, 32},   {detection_size_from_scroll, 40, 40},
        {detection_size_from_scroll, 255, 248}, {detection_size_from_scroll, 3, 8},
        {detection_size_from_scroll, 300, 256}, {clamp_averaging_size, 1, 2},
        {clamp_averaging_size, 17, 16},         {clamp_averaging_size, 7, 7},
        {averaging_size_from_scroll, 7, 6},     {averaging_size_from_scroll, 16, 16},
        {averaging_size_from_scroll, 1, 2},     {averaging_size_from_scroll, 99, 16},
    };
    for (const Case& c : cases) EXPECT_EQ(c.rule(c.in), c.out) << c.in;
}

constexpr int kSky = 16000;
constexpr int kStar = 60000;

// A flat sky with a few small stars: its background is the sky everywhere.
ImageRecord star_field() {
    return make_image(96, 80, [](int c, int x, int y) {
        const bool star = (std::abs(x - 40) <= 1 && std::abs(y - 36) <= 1) ||
                          (std::abs(x - 60) <= 1 && std::abs(y - 44) <= 1);
        return star ? kStar : kSky + 1000 * c;
    });
}

bool all_equal(const Plane& p, int v) {
    return !p.empty() && std::all_of(p.begin(), p.end(), [v](uint16_t s) { return s == v; });
}

class BackgroundGenerationCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        wb = make_workbench();
        wb->table.available_memory = [] { return uint64_t(1) << 40; };
        slot(0) = star_field();
        wb->table.current_slot = 0;
    }
    ImageRecord& slot(int i) { return wb->table[i]; }
    BackgroundGenerationSettings& gen() { return wb->settings.background_generation; }
    std::unique_ptr<Workbench> wb;
};

TEST_F(BackgroundGenerationCommands, WithoutCorrectionTheBackgroundBecomesANewCurrentImage) {
    slot(0).changed = 0;
    const ImageRecord before = slot(0);
    ASSERT_EQ(make_background_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(wb->table.current_slot, 1);
    const ImageRecord& bg = slot(1);
    EXPECT_EQ(bg.width, 96);
    EXPECT_EQ(bg.height, 80);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(all_equal(bg.plane(c), kSky + 1000 * c)) << c;
    EXPECT_EQ(bg.changed, 0);  // nothing asks to save a kept background
    EXPECT_EQ(bg.undo_available, 0);
    EXPECT_EQ(slot(0).red, before.red);  // the source is untouched
    EXPECT_EQ(slot(0).changed, 0);
}

TEST_F(BackgroundGenerationCommands, AGreyImageGetsAGreyBackground) {
    slot(0).mono = 1;
    ASSERT_EQ(make_background_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(slot(1).mono, 1);
    EXPECT_TRUE(all_equal(slot(1).red, kSky));
    EXPECT_FALSE(all_equal(slot(1).green, kSky + 1000));  // only the first plane is made
}

TEST_F(BackgroundGenerationCommands, TwoStepRunsTwiceWithHalfTheSizeAndReleasesTheHelperSlot) {
    slot(2) = make_image(3, 3, [](int, int, int) { return 1; });  // A = 1, B = 3
    gen().two_step = 1;
    gen().detection_size = 64;
    gen().averaging_size = 6;
    ASSERT_EQ(make_background_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(wb->table.current_slot, 1);
    EXPECT_FALSE(slot(3).occupied());
    EXPECT_EQ(slot(2).width, 3);

    const ImageRecord& src = slot(0);
    for (int c = 0; c < 3; ++c) {
        Plane once(src.sample_count()), twice(src.sample_count());
        generate_background_plane({src.plane(c).data(), 96, 80}, once.data(), 32, 6, 0);
        generate_background_plane({once.data(), 96, 80}, twice.data(), 32, 6, 0);
        EXPECT_EQ(slot(1).plane(c), twice) << c;
    }
}

TEST_F(BackgroundGenerationCommands, NoFreeSlotIsRefusedAndLeavesEverythingAsItWas) {
    for (int i = 1; i < kSlotCount; ++i)
        slot(i) = make_image(1, 1, [](int, int, int) { return 1; });
    CommandResult r = make_background_command(*wb);
    EXPECT_EQ(r.outcome, Outcome::failed);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, msg::kNoSlotForResult);
    EXPECT_EQ(wb->table.current_slot, 0);

    // Two-step with a single free slot: the first slot is given back.
    release_slot(slot(200));
    gen().two_step = 1;
    r = make_background_command(*wb);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, msg::kNoSlotForResult);
    EXPECT_FALSE(slot(200).occupied());
}

TEST_F(BackgroundGenerationCommands, RefusedProbeAndCancelChangeNothing) {
    EXPECT_EQ(make_background_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_FALSE(slot(1).occupied());
    wb->table.available_memory = [] { return uint64_t(0); };
    const CommandResult r = make_background_command(*wb);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, msg::kNoMemoryToRun);
    EXPECT_FALSE(slot(1).occupied());
    wb->table.current_slot = 5;  // no image there
    EXPECT_EQ(make_background_command(*wb).outcome, Outcome::skipped);
}

// The corrections run engine code 7 in the reference modes.
TEST_F(BackgroundGenerationCommands, MultiplicativeCorrectionDividesByTheBackground) {
    const ImageRecord before = slot(0);
    gen().correction = 1;
    ASSERT_EQ(make_background_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(wb->table.current_slot, 0);
    EXPECT_FALSE(slot(1).occupied());  // the background is released again
    // Red: level L = 16000 / 16 = 1000; ((v × L) / (16000 + 1)) × 16.
    EXPECT_EQ(sample(slot(0), 0, 10, 10), (kSky * 1000 / (kSky + 1)) * 16);
    EXPECT_EQ(sample(slot(0), 0, 40, 36), (kStar * 1000 / (kSky + 1)) * 16);
    EXPECT_EQ(slot(0).undo_available, 1);
    EXPECT_EQ(slot(0).changed, 1);
    ASSERT_EQ(undo_command(wb->table).outcome, Outcome::done);
    EXPECT_EQ(slot(0).red, before.red);
}

TEST_F(BackgroundGenerationCommands, SubtractiveCorrectionFlattensAGradient) {
    // A sky rising to the right: the background follows it, so the result is flat.
    slot(0) = make_image(256, 96, [](int, int x, int) { return 10000 + 20 * x; });
    gen().correction = 2;
    gen().shift = 30;
    ASSERT_EQ(make_background_command(*wb).outcome, Outcome::done);
    EXPECT_FALSE(slot(1).occupied());
    // Where every window spans ±16 half-size columns inside 1..126 (half-size 17..111, box
    // windows of 26..102) the four smallest lie 16 half-size columns to the left, so the
    // background is the sky − 630 (32 pixels × 20, less the halving's 10) and the result is
    // v − (v − 630 + 1) + 30 × 256.
    for (int row : {40, 48, 56})
        for (int x = 52; x <= 204; ++x) ASSERT_EQ(sample(slot(0), 1, x, row), 8309) << x;
    EXPECT_EQ(slot(0).undo_available, 1);
}

TEST_F(BackgroundGenerationCommands, ComparingTwoIdenticalImagesGivesTheBaseLevel) {
    copy_record(slot(0), slot(1));
    wb->settings.comparison.image_slot = 1;
    wb->settings.comparison.base = 128;
    ASSERT_EQ(compare_command(*wb).outcome, Outcome::done);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(all_equal(slot(0).plane(c), 128 * 256 - 1)) << c;
    EXPECT_EQ(slot(0).undo_available, 1);
    EXPECT_EQ(slot(1).red, star_field().red);
}

TEST_F(BackgroundGenerationCommands, ComparingNeedsAnotherImage) {
    slot(3) = star_field();
    const ImageRecord before = slot(0);
    for (int chosen : {-1, 1, 0, 256, 100000}) {
        wb->settings.comparison.image_slot = chosen;
        const CommandResult r = compare_command(*wb);
        EXPECT_EQ(r.outcome, Outcome::failed) << chosen;
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_EQ(r.messages[0].text, msg::kNoImageChosen);
        EXPECT_EQ(r.messages[0].kind, MessageKind::error);
    }
    EXPECT_EQ(slot(0).red, before.red);
    EXPECT_EQ(slot(0).undo_available, 0);
    wb->settings.comparison.image_slot = 3;
    EXPECT_EQ(compare_command(*wb, [] { return false; }).outcome, Outcome::skipped);
}

}  // namespace
}  // namespace vora
