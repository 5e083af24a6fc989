#include "filters/color_adjust.h"

#include <gtest/gtest.h>

#include "core/bands.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

using Rgb16 = std::array<uint16_t, 3>;

ImageRecord noise_image(int w = 29, int h = 17) {
    return make_image(
        w, h, [](int c, int x, int y) { return (x * 7919 + y * 104729 + c * 15485863) % 65536; });
}

TEST(SaturationHue, NeutralSlidersLeaveTheImageUnchanged) {
    const ImageRecord before = noise_image();
    ImageRecord r = before;
    saturation_hue_kernel(r, 100 - 100, 180 - 180);
    EXPECT_TRUE(test::same_record(r, before));
}

TEST(SaturationHue, HueOneTwentyPermutesTheChannels) {
    const ImageRecord before = noise_image();
    for (int32_t hue : {120, -120}) {
        ImageRecord r = before;
        saturation_hue_kernel(r, 0, hue);  // the gain is s + 200 − 200 = 0
        for (int y = 0; y < before.height; ++y)
            for (int x = 0; x < before.width; ++x) {
                const int from_r = hue > 0 ? 2 : 1, from_g = hue > 0 ? 0 : 2,
                          from_b = hue > 0 ? 1 : 0;
                ASSERT_EQ(sample(r, 0, x, y), sample(before, from_r, x, y)) << hue;
                ASSERT_EQ(sample(r, 1, x, y), sample(before, from_g, x, y)) << hue;
                ASSERT_EQ(sample(r, 2, x, y), sample(before, from_b, x, y)) << hue;
            }
    }
    EXPECT_EQ(saturation_gain(37, 120), 37);
    EXPECT_EQ(saturation_gain(37, -120), 37);
}

TEST(SaturationHue, HandComputedPixels) {
    struct Case {
        int32_t s, h;
        Rgb16 in, out;
    };
    const Case cases[] = {
        // h = 60: R' = G' = 30000, B' = 0, mean 20000, gain 200 − 100 = 100.
        {0, 60, {60000, 0, 0}, {40000, 40000, 0}},
        {-100, 0, {300, 600, 1200}, {700, 700, 700}},  // gain −100: every channel to the mean
        {-50, 0, {300, 600, 1200}, {500, 650, 950}},
        // (2 − 1) × −50 / 100 truncates to 0, not −1.
        {-50, 0, {0, 1, 2}, {0, 1, 2}},
        {100, 0, {1000, 2000, 6000}, {0, 1000, 9000}},   // limited at 0
        {100, 0, {60000, 60000, 0}, {65535, 65535, 0}},  // limited at 65535
        // h = −30: R' = (1200·90 + 600·30)/120 = 1050, G' = (600·90 + 300·30)/120 = 525,
        // B' = (300·90 + 1200·30)/120 = 525; gain 50, mean 700:
        // 1050 + 175 = 1225, 525 − 87 = 438 (−87.5 truncated toward zero).
        {0, -30, {1200, 600, 300}, {1225, 438, 438}},
    };
    for (const Case& k : cases) {
        const Rgb16 out = adjust_pixel(k.in, k.h, saturation_gain(k.s, k.h));
        EXPECT_EQ(out, k.out) << k.s << " " << k.h;
    }
}

TEST(SaturationHue, SerialBandsGiveTheSameResult) {
    ImageRecord a = noise_image(41, 23), b = a;
    saturation_hue_kernel(a, 35, -75);
    {
        SerialBandsScope serial;
        saturation_hue_kernel(b, 35, -75);
    }
    EXPECT_TRUE(test::same_record(a, b));
}

TEST(SaturationHue, OutOfRangeParametersAreLimited) {
    ImageRecord a = noise_image(), b = a;
    saturation_hue_kernel(a, 2000000000, -2000000000);
    saturation_hue_kernel(b, 100, -180);
    EXPECT_TRUE(test::same_record(a, b));
    ImageRecord empty;
    saturation_hue_kernel(empty, 10, 10);
}

}  // namespace
}  // namespace vora
