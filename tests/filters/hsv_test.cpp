#include "filters/hsv.h"

#include <gtest/gtest.h>

namespace vora {
namespace {

using Rgb16 = std::array<uint16_t, 3>;

TEST(Hsv, PrimariesSecondariesAndGreysConvertAndComeBack) {
    struct Case {
        Rgb16 rgb;
        int32_t h, s, v;
    };
    // Even samples survive the halving, so these come back exactly.
    const Case cases[] = {
        {{65534, 0, 0}, 0, 65535, 65534},
        {{0, 65534, 0}, 16384, 65535, 65534},
        {{0, 0, 65534}, 32768, 65535, 65534},
        {{65534, 65534, 0}, 8192, 65535, 65534},
        {{0, 65534, 65534}, 24576, 65535, 65534},
        {{65534, 0, 65534}, 40960, 65535, 65534},
        {{0, 0, 0}, 0, 0, 0},
        {{1000, 1000, 1000}, 0, 0, 1000},
        {{65534, 65534, 65534}, 0, 0, 65534},
    };
    for (const Case& k : cases) {
        const Hsv hsv = rgb_to_hsv(k.rgb[0], k.rgb[1], k.rgb[2]);
        EXPECT_EQ(hsv.hue, k.h) << k.rgb[0] << " " << k.rgb[1] << " " << k.rgb[2];
        EXPECT_EQ(hsv.saturation, k.s);
        EXPECT_EQ(hsv.value, k.v);
        EXPECT_EQ(hsv_to_rgb(hsv), k.rgb);
    }
    // Odd samples lose their lowest bit.
    EXPECT_EQ(hsv_to_rgb(rgb_to_hsv(65535, 0, 0)), (Rgb16{65534, 0, 0}));
}

TEST(Hsv, HandComputedInBetweenColour) {
    // r = 32767, g = 16384: H = 16384·8192 / 32767 = 4096.1 → 4096.
    const Hsv hsv = rgb_to_hsv(65535, 32768, 0);
    EXPECT_EQ(hsv.hue, 4096);
    EXPECT_EQ(hsv.saturation, 65535);
    EXPECT_EQ(hsv.value, 65534);
    // t = (65535 − 4096·65535 / 8192) × 65534 / 65535 = 32768 × 65534 / 65535 = 32767.5
    EXPECT_EQ(hsv_to_rgb(hsv), (Rgb16{65534, 32767, 0}));
    // Magenta side: g − b negative, one turn added: (0 − 16384)·8192 / 32767 = −4096.
    EXPECT_EQ(rgb_to_hsv(65535, 0, 32768).hue, 49152 - 4096);
}

TEST(Hsv, OutOfRangeInputIsBroughtIn) {
    EXPECT_EQ(hsv_to_rgb({kHueTurn + 16384, 65535, 65534}), (Rgb16{0, 65534, 0}));
    EXPECT_EQ(hsv_to_rgb({-kHueTurn, 65535, 65534}), (Rgb16{65534, 0, 0}));
    EXPECT_EQ(hsv_to_rgb({0, -5, 70000}), (Rgb16{65535, 65535, 65535}));
    EXPECT_EQ(wrap_hue(-1), kHueTurn - 1);
    EXPECT_EQ(wrap_hue(int64_t(kHueTurn) * 1000000 + 5), 5);
}

}  // namespace
}  // namespace vora
