#include "filters/distortion.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "core/bands.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

// P(x, y) = 1000·x + 100·y in every plane (plus an offset per plane).
ImageRecord ramp(int w, int h) {
    return make_image(w, h, [](int c, int x, int y) { return 1000 * x + 100 * y + 7 * c; });
}

TEST(Distortion, ZeroKeepsThePictureButBlanksTheLastRowAndColumn) {
    const ImageRecord before = ramp(5, 4);
    ImageRecord r = before;
    distortion_kernel(r, 0);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const bool last = x == 4 || y == 3;
                EXPECT_EQ(sample(r, c, x, y), last ? 0 : sample(before, c, x, y))
                    << c << " " << x << " " << y;
            }
}

TEST(Distortion, FullScaleSamplesDoNotOverflow) {
    // 65535 × 256 × 256 exceeds a signed 32-bit sum; the result must still be 65535.
    ImageRecord r = make_image(4, 3, [](int, int, int) { return 65535; });
    distortion_kernel(r, 0);
    EXPECT_EQ(sample(r, 0, 1, 1), 65535);
    ImageRecord d = make_image(6, 8, [](int, int, int) { return 65535; });
    distortion_kernel(d, 25);
    EXPECT_EQ(sample(d, 1, 2, 3), 65535);  // fx = fy = 102 there
}

// 6 × 8: the half diagonal is 5, so R3 = 125 and shift 25 gives a = 0.2; centre (3, 4).
TEST(Distortion, HandComputedSamples) {
    struct Case {
        int shift, x, y, expected;
    };
    const Case cases[] = {
        {25, 3, 4, 3400},  // the centre stays
        // f = 0.8: u = 3.8, fx = 204: (4400·204 + 3400·52) / 256 = 4196.875
        {25, 4, 4, 4196},
        // f = 0.6: u = 2.4, v = 3.4, fx = fy = 102:
        // ((3400·102 + 2400·154)·102 + (3300·102 + 2300·154)·154) / 65536 = 2738.28
        {25, 2, 3, 2738},
        {25, 0, 0, 0},  // f = −4: the source lies far outside
        // f = 1.2: u = 4.2, fx = 51: (4400·205 + 5400·51) / 256 = 4599.2
        {-25, 4, 4, 4599},
    };
    for (const Case& k : cases) {
        ImageRecord r = ramp(6, 8);
        distortion_kernel(r, k.shift);
        EXPECT_EQ(sample(r, 0, k.x, k.y), k.expected) << k.shift << " " << k.x << " " << k.y;
        EXPECT_EQ(sample(r, 2, k.x, k.y), k.expected ? k.expected + 14 : 0);
    }
}

TEST(Distortion, MonoImagesHaveAllThreePlanesProcessed) {
    ImageRecord r = ramp(5, 4);
    r.mono = 1;
    distortion_kernel(r, 0);
    EXPECT_EQ(sample(r, 1, 4, 0), 0);
    EXPECT_EQ(sample(r, 2, 0, 3), 0);
    EXPECT_EQ(r.mono, 1);
}

TEST(Distortion, SerialBandsGiveTheSameResult) {
    uint32_t state = 0x1234567u;
    const ImageRecord noise = make_image(97, 61, [&](int, int, int) {
        state = state * 1664525u + 1013904223u;
        return int(state >> 16);
    });
    for (int shift : {9, -6}) {
        ImageRecord a = noise, b = noise;
        distortion_kernel(a, shift);
        {
            SerialBandsScope serial;
            distortion_kernel(b, shift);
        }
        EXPECT_TRUE(test::same_record(a, b)) << shift;
        EXPECT_NE(a.green, noise.green) << shift;
    }
}

TEST(Distortion, HostileInputNeverCrashes) {
    ImageRecord one = make_image(1, 1, [](int, int, int) { return 500; });
    distortion_kernel(one, 0);
    EXPECT_EQ(sample(one, 0, 0, 0), 0);  // its only pixel is in the last row and column
    for (int shift : {INT_MAX, INT_MIN, -1000000, 1000000}) {
        ImageRecord r = ramp(7, 5);
        distortion_kernel(r, shift);
        EXPECT_EQ(r.red.size(), 35u);
    }
    ImageRecord empty;
    distortion_kernel(empty, 10);
    EXPECT_TRUE(empty.red.empty());
    ImageRecord missing = ramp(3, 3);
    missing.blue.clear();  // inconsistent planes are left alone
    distortion_kernel(missing, 0);
    EXPECT_EQ(sample(missing, 0, 2, 2), 2200);
}

}  // namespace
}  // namespace vora
