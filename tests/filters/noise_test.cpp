#include "filters/noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/bands.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

// ---- the rule written out pixel by pixel, as the reference for the fast filter

constexpr int kTable[5][5] = {
    {0, 4, 8, 4, 0}, {4, 8, 10, 8, 4}, {8, 10, 0, 10, 8}, {4, 8, 10, 8, 4}, {0, 4, 8, 4, 0}};

// trunc(T × 64 / g(d)) with g held as 256 × g, case by case as the rule states it.
int64_t range_weight(int table, int64_t d, int64_t t) {
    int64_t g256;
    if (d >= -t && d < t)
        g256 = 256;
    else if (d >= t)
        g256 = 256 + (d - t);
    else
        g256 = 256 - (d + t);
    return table * 64 * 256 / g256;
}

void reference(ImageRecord& r, int area, int tolerance, int k) {
    const int w = r.width, h = r.height, reach = area == 3 ? 1 : 2;
    const int64_t t = int64_t(tolerance) * 1280;
    const ImageRecord in = r;
    auto at = [&](int c, int x, int y) {
        return int64_t(sample(in, c, std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1)));
    };
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int64_t centre = at(c, x, y);
                int64_t sw = 0, sv = 0;
                for (int dy = -reach; dy <= reach; ++dy)
                    for (int dx = -reach; dx <= reach; ++dx) {
                        const int64_t v = at(c, x + dx, y + dy);
                        const int64_t wt = range_weight(kTable[dy + 2][dx + 2], v - centre, t);
                        sw += wt, sv += wt * v;
                    }
                if (sw == 0) sw = 1;
                const int64_t res = (2 * sv / sw + centre * (k - 1)) / (k + 1);
                r.plane(c)[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                    uint16_t(std::clamp<int64_t>(res, 0, 65535));
            }
}

NoiseSettings settings(int area, int tolerance = 10) {
    return {area, tolerance, 3};
}

ImageRecord filtered(ImageRecord r, const NoiseSettings& s, int k) {
    noise_reduction(r, s, k);
    return r;
}

// 3 × 3: corners 1000, edges 2000, centre 5000 (all within the tolerance).
ImageRecord cross() {
    return make_image(3, 3, [](int, int x, int y) {
        return x == 1 && y == 1 ? 5000 : (x == 1 || y == 1) ? 2000 : 1000;
    });
}

TEST(Noise, StrongestGivesTheWeightedMeanAndWeakestBlends) {
    // Σ T·v = 8 × 4000 + 10 × 8000 = 112000 over ΣT = 72: 2 × Sv / Sw = 3111.
    EXPECT_EQ(sample(filtered(cross(), settings(3), 1), 0, 1, 1), 3111 / 2);
    EXPECT_EQ(sample(filtered(cross(), settings(3), 5), 2, 1, 1), (3111 + 4 * 5000) / 6);
}

TEST(Noise, FlatImageIsUnchanged) {
    for (int area : {3, 5})
        for (int k = 1; k <= 5; ++k) {
            const ImageRecord flat = make_image(7, 6, [](int c, int, int) { return 40000 + c; });
            EXPECT_TRUE(test::same_record(filtered(flat, settings(area, 0), k), flat));
        }
}

TEST(Noise, ThreeByThreeIgnoresTheOuterRing) {
    // Centre 5000, inner ring 2000, outer ring 8000. 3 × 3: the mean is 2000. 5 × 5: the outer
    // taps weigh 64 of 136: 2 × (72 × 2000 + 64 × 8000) / 136 = 9647, halved 4823.
    const ImageRecord rings = make_image(5, 5, [](int, int x, int y) {
        const int ring = std::max(std::abs(x - 2), std::abs(y - 2));
        return ring == 0 ? 5000 : ring == 1 ? 2000 : 8000;
    });
    EXPECT_EQ(sample(filtered(rings, settings(3), 1), 0, 2, 2), 2000);
    EXPECT_EQ(sample(filtered(rings, settings(5), 1), 0, 2, 2), 4823);
    EXPECT_EQ(sample(filtered(rings, settings(4), 1), 0, 2, 2), 4823);  // not 3: 5 × 5
}

TEST(Noise, WeightFallsOffBeyondTheTolerance) {
    // Centre and seven neighbours 20000; the top neighbour (T = 10) differs by d. With weight
    // w it gives Sv / Sw = 20000 + w × d / (3968 + w) at k = 1.
    struct Case {
        int d;
        int expected;  // w: 640 within t = 12800 and at d = t, 637 one beyond, 320 at t + 256
    } cases[] = {{12799, 21777},  {12800, 21777},  {12801, 21770}, {13056, 20974},
                 {-12800, 18222}, {-12801, 18229}, {-13056, 19025}};
    for (const Case& c : cases) {
        const ImageRecord r = make_image(
            3, 3, [&](int, int x, int y) { return x == 1 && y == 2 ? 20000 + c.d : 20000; });
        EXPECT_EQ(sample(filtered(r, settings(3), 1), 1, 1, 1), c.expected) << c.d;
    }
}

TEST(Noise, MatchesTheRuleOnAwkwardSizesAndSettings) {
    std::mt19937 rng(11);
    const int sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {5, 1}, {1, 9}, {64, 33}};
    for (const auto& s : sizes)
        for (int trial = 0; trial < 8; ++trial) {
            std::uniform_int_distribution<int> spread(0, trial % 2 ? 65535 : 3000);
            const ImageRecord in = make_image(
                s[0], s[1], [&](int c, int, int) { return 20000 * c % 30000 + spread(rng); });
            const int area = trial % 4 < 2 ? 3 : 5, tolerance = trial % 3 * 2, k = 1 + trial % 5;
            ImageRecord expected = in;
            reference(expected, area, tolerance, k);
            EXPECT_TRUE(test::same_record(filtered(in, settings(area, tolerance), k), expected))
                << s[0] << "x" << s[1] << " trial " << trial;
        }
}

TEST(Noise, BandsDoNotChangeTheResult) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> value(0, 65535);
    for (int h : {1, 2, 3, 5, 7, 13, 40})
        for (int area : {3, 5}) {
            const ImageRecord in = make_image(19, h, [&](int, int, int) { return value(rng); });
            const ImageRecord threaded = filtered(in, settings(area, 1), 2);
            SerialBandsScope serial;
            EXPECT_TRUE(test::same_record(filtered(in, settings(area, 1), 2), threaded)) << h;
        }
}

TEST(Noise, HostileInputIsLimitedOrLeftAlone) {
    const ImageRecord in =
        make_image(6, 5, [](int c, int x, int y) { return (x * 13001 + y * 4099 + c) % 65536; });
    ImageRecord expected = in;
    reference(expected, 5, 0, 5);  // tolerance below 0 acts as 0, k above 5 as 5
    EXPECT_TRUE(test::same_record(filtered(in, {5, -4, 3}, 99), expected));
    expected = in;
    reference(expected, 5, 52, 1);  // a huge tolerance keeps every weight full
    EXPECT_TRUE(test::same_record(filtered(in, {5, 2000000000, 3}, -7), expected));

    ImageRecord broken = in;
    broken.green.resize(3);  // planes that do not match the size are not touched
    const ImageRecord before = broken;
    noise_reduction(broken, settings(5), 3);
    EXPECT_EQ(broken.red, before.red);
    ImageRecord empty;
    noise_reduction(empty, settings(5), 3);
    EXPECT_TRUE(empty.red.empty());
}

}  // namespace
}  // namespace vora
