#include "ui/wavelet_command.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/edit_commands.h"
#include "test_support.h"
#include "ui/command_table.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;

ImageRecord ramp(int w, int h) {
    return make_image(w, h, [](int c, int x, int y) { return 1000 * c + 37 * x + 91 * y; });
}

class WaveletCommand : public test::CommandTest {};

TEST_F(WaveletCommand, ParametersFromBothSettingsGroups) {
    WaveletSettings gains;
    gains.gain = {1, 2, 3, 4, 5, 6};
    WaveletFilterSettings filter;
    filter.order = 7;
    filter.enlarge = 1;
    ParamVector p{};
    p.fill(-9);
    fill_wavelet_params(gains, filter, p);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p[std::size_t(i)], i + 1);
    EXPECT_EQ(p[14], 1);
    EXPECT_EQ(p[15], 7);
    EXPECT_EQ(p[6], -9);  // the vector's other entries are not touched
}

TEST_F(WaveletCommand, EnlargesAMonoImageWithAllPlanesAtTheNewSize) {
    slot(0) = ramp(6, 4);
    slot(0).mono = 1;
    slot(0).green = slot(0).blue = slot(0).red;
    wb->settings.wavelet_filter = {1, 1};  // Haar, enlarge
    const Plane before = slot(0).red;
    EXPECT_TRUE(wavelet_command(*wb).ok());
    const ImageRecord& r = slot(0);
    ASSERT_EQ(r.width, 12);
    ASSERT_EQ(r.height, 8);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(r.plane(c).size(), 96u) << c;
    EXPECT_EQ(r.green, r.red);
    EXPECT_EQ(r.red[std::size_t(3 * 12 + 5)], before[std::size_t(1 * 6 + 2)]);  // 2 × 2 blocks
    EXPECT_EQ(r.undo_available, 1);
    EXPECT_EQ(r.changed, 1);
    EXPECT_EQ(wb->settings.wavelet_filter.enlarge, 1);
    EXPECT_TRUE(undo_command(wb->table).ok());  // undo gives back the small image
    EXPECT_EQ(slot(0).width, 6);
    EXPECT_EQ(slot(0).red, before);
}

TEST_F(WaveletCommand, TooLargeToEnlargeRunsAtTheSameSizeAndClearsTheSetting) {
    for (auto [w, h] : {std::pair{5000, 2}, std::pair{3, 5000}}) {
        slot(0) = ramp(w, h);
        wb->settings.wavelet_filter.enlarge = 1;
        wb->settings.wavelet.gain = {10, 10, 10, 10, 10, 0};  // no finest detail
        const CommandResult result = wavelet_command(*wb);
        EXPECT_EQ(result.outcome, Outcome::done);
        ASSERT_EQ(result.messages.size(), 1u);
        EXPECT_EQ(result.messages[0].text, kWaveletTooLargeToEnlarge);
        EXPECT_EQ(wb->settings.wavelet_filter.enlarge, 0);
        EXPECT_EQ(slot(0).width, w);
        EXPECT_EQ(slot(0).height, h);
        EXPECT_EQ(slot(0).undo_available, 1);
    }
    // Just below the limit it enlarges, without a message.
    slot(0) = ramp(4999, 1);
    wb->settings.wavelet_filter.enlarge = 1;
    const CommandResult result = wavelet_command(*wb);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(slot(0).width, 9998);
    EXPECT_EQ(slot(0).height, 2);
}

TEST_F(WaveletCommand, CancelChangesNothing) {
    slot(0) = ramp(5000, 1);
    wb->settings.wavelet_filter.enlarge = 1;
    const Plane before = slot(0).red;
    const CommandResult result = wavelet_command(*wb, [] { return false; });
    EXPECT_EQ(result.outcome, Outcome::skipped);
    EXPECT_EQ(wb->settings.wavelet_filter.enlarge, 1);
    EXPECT_EQ(slot(0).red, before);
    EXPECT_EQ(slot(0).undo_available, 0);
}

TEST_F(WaveletCommand, DialogGainsApplyToEveryImageInAllImagesMode) {
    slot(0) = ramp(8, 8);
    slot(3) = ramp(5, 7);
    wb->table.all_images_mode = 1;
    wb->table.current_slot = 3;
    const Plane untouched = slot(0).blue;
    const CommandResult result = wavelet_command(*wb, [&] {
        return wavelet_preset(3, wb->settings.wavelet);  // "強"
    });
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(wb->params[5], 90);
    for (int s : {0, 3}) EXPECT_EQ(slot(s).undo_available, 1) << s;
    EXPECT_NE(slot(0).blue, untouched);
}

TEST_F(WaveletCommand, NoCurrentImageDoesNothing) {
    wb->table.current_slot = -1;
    EXPECT_EQ(wavelet_command(*wb).outcome, Outcome::skipped);
}

TEST(WaveletDialog, PresetsSetAllSixGains) {
    const std::array<int32_t, 6> expected[4] = {{10, 10, 10, 10, 10, 10},
                                                {10, 10, 10, 12, 15, 20},
                                                {10, 12, 15, 20, 30, 50},
                                                {10, 15, 20, 30, 50, 90}};
    const char* labels[4] = {"変換無し", "弱", "中", "強"};
    for (int i = 0; i < kWaveletPresetCount; ++i) {
        WaveletSettings s;
        s.gain = {1, 2, 3, 4, 5, 6};
        EXPECT_TRUE(wavelet_preset(i, s));
        EXPECT_EQ(s.gain, expected[i]);
        EXPECT_STREQ(wavelet_preset_label(i), labels[i]);
    }
    WaveletSettings s;
    s.gain = {1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(wavelet_preset(4, s));
    EXPECT_FALSE(wavelet_preset(-1, s));
    EXPECT_EQ(s.gain[0], 1);
    EXPECT_STREQ(wavelet_preset_label(9), "");
}

TEST(WaveletDialog, GainTextsAndEditedNumbers) {
    EXPECT_EQ(wavelet_gain_text(15), "1.5");
    EXPECT_EQ(wavelet_gain_text(0), "0.0");
    EXPECT_EQ(wavelet_gain_text(500), "50.0");
    EXPECT_EQ(wavelet_gain_text(-15), "-1.5");
    const std::pair<const char*, int32_t> edits[] = {
        {"1.5", 15}, {"2.34", 23}, {" 7", 70}, {"+0.1", 1},  {"50", 500}, {"51.2", 500},
        {"-1", 0},   {"abc", 0},   {"", 0},    {"1e9", 500}, {"0.05", 0}, {"3.", 30},
    };
    for (auto [text, gain] : edits) EXPECT_EQ(parse_wavelet_gain(text), gain) << text;
}

TEST(WaveletDialog, CommandTableRow) {
    const CommandRow* row = find_command(316);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row->menu_label, "ウェーブレット(&W)");
    EXPECT_EQ(find_cli_operation("wavelet"), row);
    EXPECT_STREQ(row->settings_keyword, "wavelet");
}

}  // namespace
}  // namespace vora
