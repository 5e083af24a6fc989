#include "ui/tone_commands.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/edit_commands.h"
#include "filters/tone.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::sample;

// Curves whose every output is known without arithmetic (straight mode):
// (0,128), (128,128), (255,128) maps everything to 32768, and so on.
ToneCurvePoints flat(int level) {
    return {{{0, level}, {128, level}, {255, level}}};
}
const ToneCurvePoints kIdentity{{{0, 0}, {128, 128}, {255, 255}}};

bool all_equal(const Plane& p, uint16_t v) {
    for (uint16_t s : p)
        if (s != v) return false;
    return !p.empty();
}

// A grey image: a ramp in red, unrelated values in green and blue.
ImageRecord grey_ramp() {
    ImageRecord r =
        make_image(6, 5, [](int c, int x, int y) { return c == 0 ? (x + 6 * y) * 2000 : 777 * c; });
    r.mono = 1;
    return r;
}

class ToneCommands : public test::CommandTest {
  protected:
    void SetUp() override {
        CommandTest::SetUp();
        wb->settings.gamma.curve_mode = kCurveStraight;
    }
};

TEST_F(ToneCommands, GammaParametersFromTheSettings) {
    GammaSettings g;
    g.curve_mode = 1;
    g.points[1] = {{{10, 20}, {100, 110}, {250, 240}}};
    g.points[2] = flat(5);
    g.points[3] = flat(255);
    ParamVector p{};
    p.fill(-7);
    fill_gamma_params(g, p);  // all colours: the "all" set three times
    const int32_t all[11] = {0, 128128, 255255, 0, 128128, 255255, 0, 128128, 255255, 0, 1};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(p[std::size_t(i)], all[i]) << i;
    EXPECT_EQ(p[11], -7);  // entries the operation does not read are left alone

    for (int selector : {kToneRed, kToneGreen, kToneBlue}) {
        g.channel = selector;
        g.curve_mode = 0;
        fill_gamma_params(g, p);
        const int32_t separate[11] = {10020, 100110, 250240, 5, 128005, 255005,
                                      255,   128255, 255255, 1, 0};
        for (int i = 0; i < 11; ++i) EXPECT_EQ(p[std::size_t(i)], separate[i]) << i;
    }
}

TEST_F(ToneCommands, PerChannelGammaTurnsAGreyImageIntoColour) {
    slot(0) = grey_ramp();
    const Plane grey = slot(0).red;
    GammaSettings& g = wb->settings.gamma;
    g.channel = kToneGreen;  // any of R, G, B selects the three separate sets
    g.points[1] = kIdentity;
    g.points[2] = flat(128);
    g.points[3] = flat(64);
    ASSERT_EQ(gamma_command(*wb).outcome, Outcome::done);
    const ImageRecord& r = slot(0);
    EXPECT_EQ(r.mono, 0);
    // Green and blue start from the grey plane, then go through their own curves.
    EXPECT_TRUE(all_equal(r.green, 32768));
    EXPECT_TRUE(all_equal(r.blue, 16384));
    EXPECT_EQ(sample(r, 0, 1, 0), 1999);   // 2000 in segment 1 of the identity: v − 1
    EXPECT_EQ(sample(r, 0, 5, 4), 58000);  // segment 2 of the identity: v
    EXPECT_EQ(r.undo_available, 1);
    EXPECT_EQ(r.changed, 1);

    // Undo gives back the grey image with its flag.
    ASSERT_EQ(undo_command(wb->table).outcome, Outcome::done);
    EXPECT_EQ(slot(0).mono, 1);
    EXPECT_EQ(slot(0).red, grey);
}

TEST_F(ToneCommands, AllColoursGammaOnAGreyImageTouchesOnlyTheFirstPlane) {
    slot(0) = grey_ramp();
    const ImageRecord before = slot(0);
    wb->settings.gamma.points[0] = flat(100);
    wb->settings.gamma.points[2] = flat(7);  // not used in all-colours mode
    ASSERT_EQ(gamma_command(*wb).outcome, Outcome::done);
    EXPECT_TRUE(all_equal(slot(0).red, 25600));
    EXPECT_EQ(slot(0).green, before.green);
    EXPECT_EQ(slot(0).blue, before.blue);
    EXPECT_EQ(slot(0).mono, 1);
}

TEST_F(ToneCommands, TheSelectorChosenInTheDialogDecides) {
    slot(0) = grey_ramp();
    wb->settings.gamma.points[3] = flat(10);
    const auto choose_blue = [&] {
        wb->settings.gamma.channel = kToneBlue;
        return true;
    };
    ASSERT_EQ(gamma_command(*wb, choose_blue).outcome, Outcome::done);
    EXPECT_EQ(slot(0).mono, 0);
    EXPECT_TRUE(all_equal(slot(0).blue, 2560));
    EXPECT_EQ(wb->params[9], 1);

    // Cancel: nothing changes, no undo copy.
    slot(1) = grey_ramp();
    wb->table.current_slot = 1;
    const ImageRecord before = slot(1);
    EXPECT_EQ(gamma_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_EQ(level_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_EQ(dynamic_range_command(*wb, [] { return false; }).outcome, Outcome::skipped);
    EXPECT_EQ(slot(1).red, before.red);
    EXPECT_EQ(slot(1).mono, 1);
    EXPECT_EQ(slot(1).undo_available, 0);
}

TEST_F(ToneCommands, AllImagesModeProcessesEverySlotWithItsOwnUndo) {
    const int slots[] = {0, 3, 7};
    const auto original = [](int s) {
        return make_image(4, 3, [s](int c, int x, int y) { return s * 1000 + c * 100 + x + y; });
    };
    const auto run_gamma = [](Workbench& w) { return gamma_command(w); };
    const auto run_level = [](Workbench& w) { return level_command(w); };
    for (auto run : {+run_gamma, +run_level}) {
        for (int s : slots) slot(s) = original(s);
        wb->table.all_images_mode = 1;
        wb->settings.gamma.points[0] = flat(128);  // gamma: everything to 32768
        wb->settings.level.sets[0].out_low = 128;  // level: out 128..128, also 32768
        wb->settings.level.sets[0].out_high = 128;
        ASSERT_EQ(run(*wb).outcome, Outcome::done);
        for (int s : slots) {
            const ImageRecord& r = slot(s);
            for (int c = 0; c < 3; ++c) EXPECT_TRUE(all_equal(r.plane(c), 32768)) << s;
            EXPECT_EQ(r.undo_available, 1) << s;
            EXPECT_EQ(r.changed, 1) << s;
            // Each slot's undo copy holds that slot's own image.
            EXPECT_EQ(r.undo_red, original(s).red) << s;
            EXPECT_EQ(r.undo_blue, original(s).blue) << s;
        }
        EXPECT_FALSE(slot(1).occupied());
    }
}

TEST_F(ToneCommands, LevelAllColoursOrPerChannel) {
    // Every sample 65280 (level 255).
    const auto white = [] { return make_image(3, 2, [](int, int, int) { return 65280; }); };
    LevelSettings& l = wb->settings.level;
    l.sets[0].out_high = 200;                         // all colours: 51200
    l.sets[1].out_high = 128;                         // R: 32768
    l.sets[2].in_high = 128;                          // G: above the white point, 65280
    l.sets[3].out_low = 10, l.sets[3].out_high = 20;  // B: 5120

    slot(0) = white();
    slot(0).mono = 1;
    ASSERT_EQ(level_command(*wb).outcome, Outcome::done);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(all_equal(slot(0).plane(c), 51200)) << c;
    EXPECT_EQ(slot(0).mono, 1);

    slot(0) = white();
    l.channel = kToneRed;
    ASSERT_EQ(level_command(*wb).outcome, Outcome::done);
    EXPECT_TRUE(all_equal(slot(0).red, 32768));
    EXPECT_TRUE(all_equal(slot(0).green, 65280));
    EXPECT_TRUE(all_equal(slot(0).blue, 5120));

    // A grey image: its grey plane feeds all three channels, and it becomes a colour image.
    slot(0) = white();
    slot(0).green.assign(6, 0);
    slot(0).blue.assign(6, 0);
    slot(0).mono = 1;
    ASSERT_EQ(level_command(*wb).outcome, Outcome::done);
    EXPECT_TRUE(all_equal(slot(0).red, 32768));
    EXPECT_TRUE(all_equal(slot(0).green, 65280));
    EXPECT_TRUE(all_equal(slot(0).blue, 5120));
    EXPECT_EQ(slot(0).mono, 0);
    EXPECT_EQ(slot(0).undo_mono, 1);
}

TEST_F(ToneCommands, DynamicRangeRunsOnTheCurrentImageOnly) {
    // One 4 × 4 block with a bright pixel; the defaults give 13415 for it (see tone_test).
    const auto image = [] {
        return make_image(4, 4, [](int, int x, int y) { return x == 1 && y == 2 ? 12000 : 10000; });
    };
    slot(0) = image();
    slot(2) = image();
    wb->table.current_slot = 2;
    wb->table.all_images_mode = 1;
    ASSERT_EQ(dynamic_range_command(*wb).outcome, Outcome::done);
    EXPECT_EQ(sample(slot(2), 0, 1, 2), 13415);
    EXPECT_EQ(slot(2).undo_available, 1);
    EXPECT_EQ(slot(2).changed, 1);
    EXPECT_EQ(slot(0).red, image().red);
    EXPECT_EQ(slot(0).undo_available, 0);
    EXPECT_EQ(slot(0).changed, 0);
}

TEST_F(ToneCommands, RefusedWithoutMemoryOrWithoutAnImage) {
    using Command = CommandResult (*)(Workbench&, std::function<bool()>);
    const Command commands[] = {gamma_command, level_command, dynamic_range_command};
    for (Command command : commands) {
        wb->table.current_slot = -1;
        EXPECT_EQ(command(*wb, {}).outcome, Outcome::skipped);  // no current image
        wb->table.current_slot = 0;

        slot(0) = grey_ramp();
        const ImageRecord before = slot(0);
        wb->table.available_memory = [] { return uint64_t(0); };
        bool asked = false;
        const CommandResult result = command(*wb, [&] { return asked = true; });
        EXPECT_EQ(result.outcome, Outcome::failed);
        ASSERT_EQ(result.messages.size(), 1u);
        EXPECT_EQ(result.messages[0].text, msg::kNoMemoryToRun);
        EXPECT_FALSE(asked);  // the dialog does not open
        EXPECT_EQ(slot(0).red, before.red);
        EXPECT_EQ(slot(0).undo_available, 0);
        wb->table.available_memory = system_available_memory;
        release_slot(slot(0));
    }
}

}  // namespace
}  // namespace vora
