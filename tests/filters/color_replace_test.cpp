#include "filters/color_replace.h"

#include <gtest/gtest.h>

#include <climits>

#include "core/bands.h"
#include "filters/hsv.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using Rgb16 = std::array<uint16_t, 3>;

TEST(RgbReplacement, ToleranceZeroChangesOnlyMeanDifferenceZero) {
    const RgbReplacement rep{{10, 20, 30}, {200, 100, 50}, 0};
    const Rgb16 target{51200, 25600, 12800};
    struct Case {
        Rgb16 in;
        bool changes;
    };
    const Case cases[] = {
        {{10 * 256 + 7, 20 * 256 + 255, 30 * 256}, true},  // same high bytes
        {{11 * 256, 21 * 256, 30 * 256}, true},            // mean difference 2 / 3 = 0
        {{11 * 256, 21 * 256, 31 * 256}, false},           // mean difference 1
        {{9 * 256, 20 * 256, 33 * 256}, false},
    };
    for (const Case& k : cases)
        EXPECT_EQ(replace_rgb_pixel(k.in, rep), k.changes ? target : k.in) << k.in[0];
}

TEST(RgbReplacement, FadesToUnchangedAtTheTolerance) {
    const RgbReplacement rep{{100, 100, 100}, {50, 50, 50}, 30};
    struct Case {
        Rgb16 in, out;
    };
    const Case cases[] = {
        {{25600, 25700, 25800}, {12800, 12800, 12800}},  // d = 0: the new colour
        // d = 15: (29440·15 + 15·12800) / 30 = 21120
        {{29440, 29440, 29440}, {21120, 21120, 21120}},
        // d = 87 / 3 = 29: (29·s + 1·12800) / 30
        {{33024, 33124, 33279}, {32349, 32446, 32596}},
        {{33380, 33380, 33380}, {33380, 33380, 33380}},  // d = 30: unchanged
        {{33536, 33536, 33536}, {33536, 33536, 33536}},  // d = 31: beyond
    };
    for (const Case& k : cases) EXPECT_EQ(replace_rgb_pixel(k.in, rep), k.out) << k.in[0];
}

TEST(RgbReplacement, HostileSettings) {
    const Rgb16 px{1000, 2000, 3000};
    EXPECT_EQ(replace_rgb_pixel(px, {{3, 7, 11}, {1, 2, 3}, -5}), px);  // nothing is that close
    EXPECT_EQ(replace_rgb_pixel(px, {{3, 7, 11}, {1000, -4, 0}, 0}), (Rgb16{65535, 0, 0}));
    // d = 4294967302 / 3 = 1431655767 needs 64 bits; the fade still lands in range:
    // (1000·d + (t − d)·256) / t = 752 with t = 2^31 − 1.
    EXPECT_EQ(replace_rgb_pixel(px, {{INT_MIN, INT_MAX, 0}, {1, 1, 1}, INT_MAX}),
              (Rgb16{752, 1418, 2085}));
}

TEST(HsvReplacement, HueDistanceIsCircular) {
    struct Case {
        int64_t hue, reference;
        int32_t quarter_degrees;
    };
    const Case cases[] = {
        {0, 0, 0},           {8192, 0, 240},  {24576, 0, 720},
        {32768, 0, 480},     {0, 40960, 240}, {40960, -8192, 0},  // a full turn apart
        {49151, -8192, 239},  // more than a turn apart: still 60 degrees, not negative
    };
    for (const Case& k : cases)
        EXPECT_EQ(hue_distance(k.hue, k.reference), k.quarter_degrees)
            << k.hue << " " << k.reference;
}

TEST(HsvReplacement, HandComputedPixels) {
    struct Case {
        HsvReplacement rep;
        Rgb16 in, out;
    };
    const Case cases[] = {
        // Tolerance 0: red becomes the new colour (120°, 255, 255): p = t = 255·65280/65535.
        {{{0, 255, 255}, {120, 255, 255}, 0}, {65535, 0, 0}, {254, 65280, 254}},
        {{{0, 255, 255}, {120, 255, 255}, 0}, {0, 65535, 0}, {0, 65535, 0}},
        // Tolerance 25°: hue turned by 120°, S and V scaled by 65280/65280.
        {{{0, 255, 255}, {120, 255, 255}, 100}, {65534, 0, 0}, {0, 65534, 0}},
        // Hue 2730 (20°) lies within: new hue 19114, sector 2, f = 2730:
        // t = (65535 − 5462·65534/8192)·65534/65535 = 21841·65534/65535 = 21840.
        {{{0, 255, 255}, {120, 255, 255}, 100}, {65534, 21844, 0}, {0, 65534, 21840}},
        {{{0, 255, 255}, {120, 255, 255}, 100}, {65534, 32768, 0}, {65534, 32768, 0}},  // 30°
        // A source saturation of 1 (256 in 16 bits) is too small to scale by: S1 is taken.
        {{{0, 1, 255}, {0, 0, 255}, 100}, {65534, 0, 0}, {65534, 65534, 65534}},
        // 350° → 10° across zero: red (0°) lies 10° from the source and turns 20°.
        {{{350, 255, 255}, {10, 255, 255}, 100}, {65534, 0, 0}, hsv_to_rgb({2731, 65534, 65534})},
    };
    for (const Case& k : cases)
        EXPECT_EQ(replace_hsv_pixel(k.in, k.rep), k.out) << k.in[0] << " " << k.in[1];
}

TEST(ColorReplacement, SerialBandsGiveTheSameResult) {
    const ImageRecord src = make_image(
        31, 19, [](int c, int x, int y) { return (x * 7919 + y * 104729 + c * 15485863) % 65536; });
    ImageRecord a = src, b = src, c = src, d = src;
    const RgbReplacement rgb{{128, 128, 128}, {0, 255, 0}, 60};
    const HsvReplacement hsv{{90, 128, 128}, {300, 200, 100}, 300};
    replace_rgb(a, rgb);
    replace_hsv(c, hsv);
    {
        SerialBandsScope serial;
        replace_rgb(b, rgb);
        replace_hsv(d, hsv);
    }
    EXPECT_NE(a.red, src.red);
    EXPECT_EQ(a.red, b.red);
    EXPECT_EQ(a.green, b.green);
    EXPECT_NE(c.green, src.green);
    EXPECT_EQ(c.green, d.green);
    EXPECT_EQ(c.blue, d.blue);
    ImageRecord empty;
    replace_rgb(empty, rgb);
    replace_hsv(empty, hsv);
}

}  // namespace
}  // namespace vora
