#include "filters/sharpen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>

#include "core/bands.h"
#include "core/engine.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;

ParamVector sharp_params(int radius, int threshold, int smooth, int sharp, int falloff,
                         int mask = 7) {
    ParamVector p{};
    p[0] = radius;
    p[1] = threshold;
    p[2] = smooth;
    p[3] = sharp;
    p[4] = falloff;
    p[5] = mask;
    return p;
}

Plane sharpened(Plane plane, int w, int h, const ParamVector& p) {
    sharpen_plane({plane.data(), w, h}, p);
    return plane;
}

// 3 × 3 picture, stored rows bottom-up.
const Plane kSmall = {100, 200, 300, 400, 5000, 600, 700, 800, 900};

// The straightforward rule: every offset of the square visited with clamped coordinates;
// offsets sharing a weight are summed as integers, the class terms taken in the documented
// order and added to the sample.
double reference_mean_sum(const Plane& p, int w, int h, int x, int y, const RadialKernel& k) {
    const int n = k.half_width;
    auto at = [&](int dx, int dy) -> int64_t {
        const int cx = std::clamp(x + dx, 0, w - 1), cy = std::clamp(y + dy, 0, h - 1);
        return p[std::size_t(cy * w + cx)];
    };
    const int64_t s = at(0, 0);
    int64_t sum[kKernelReach + 1][kKernelReach + 1] = {},
                                                 count[kKernelReach + 1][kKernelReach + 1] = {};
    for (int dy = -n; dy <= n; ++dy) {
        for (int dx = -n; dx <= n; ++dx) {
            const int a = std::min(std::abs(dx), std::abs(dy)),
                      b = std::max(std::abs(dx), std::abs(dy));
            sum[a][b] += at(dx, dy);
            ++count[a][b];
        }
    }
    double c = 0.0;
    for (int b = 1; b <= n; ++b)
        for (int a = 0; a <= b; ++a) c += k.at(a, b) * double(sum[a][b] - count[a][b] * s);
    return double(s) + c;
}

Plane reference_sharpen(const Plane& p, int w, int h, const ParamVector& params) {
    const int radius = std::clamp(params[0], 1, 10), threshold = std::clamp(params[1], 0, 65535);
    const int smooth = std::clamp(params[2], 0, 50), sharp = std::clamp(params[3], 0, 50);
    const RadialKernel k = sharpen_kernel(radius, params[4]);
    Plane out(p.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int s = p[std::size_t(y * w + x)];
            const int mean = int(reference_mean_sum(p, w, h, x, y, k));
            const int diff = s - mean;
            int r;
            if (std::abs(diff) < threshold) {
                r = (mean * smooth * radius + s * 10) / (smooth * radius + 10);
            } else {
                const int excess = diff > 0 ? diff - threshold : diff + threshold;
                r = s + excess * sharp / 10;
            }
            out[std::size_t(y * w + x)] = uint16_t(std::clamp(r, 0, 65535));
        }
    }
    return out;
}

TEST(SharpenKernel, HalfWidthFollowsTheRowRule) {
    struct Case {
        int radius, falloff, n;
    } cases[] = {
        {1, 50, 2},    // row 3 peaks at 1 / (1 + 9^2.5) = 0.004
        {1, 60, 1},    // row 2 peaks at 1 / 65
        {10, 10, 10},  // 1 / (1 + √(d² / 10)) stays above 0.02 up to the corners
        {1, 10, 10},   // 1 / (1 + d): row 10 peaks at 1 / 11
    };
    for (const Case& c : cases) EXPECT_EQ(sharpen_kernel(c.radius, c.falloff).half_width, c.n);
}

TEST(SharpenKernel, WeightsOfTheThreeByThreeSquare) {
    // falloff 6.0, radius 1: raw weights 1, 1/2 (edges), 1/9 (corners); sum 31/9.
    const RadialKernel k = sharpen_kernel(1, 60);
    EXPECT_NEAR(k.at(0, 0), 9.0 / 31, 1e-15);
    EXPECT_NEAR(k.at(1, 0), 9.0 / 62, 1e-15);
    EXPECT_NEAR(k.at(0, -1), 9.0 / 62, 1e-15);
    EXPECT_NEAR(k.at(-1, 1), 1.0 / 31, 1e-15);
    EXPECT_EQ(k.at(2, 0), 0.0);  // outside the square
}

TEST(SharpenKernel, HostileFalloffStillGivesANormalisedKernel) {
    for (int falloff : {INT_MIN, -50, 0, INT_MAX}) {
        const RadialKernel k = sharpen_kernel(1, falloff);
        double sum = 0.0;
        for (double w : k.weights) {
            EXPECT_TRUE(std::isfinite(w) && w >= 0.0) << falloff;
            sum += w;
        }
        EXPECT_NEAR(sum, 1.0, 1e-12) << falloff;
    }
}

TEST(Sharpen, HandComputedSamples) {
    // Kernel 9/31, 9/62, 1/31. Centre (1,1): mean = (9·5000 + 4.5·2000 + 2000) / 31 = 1806.45;
    // corner (0,0) with clamped neighbours: mean = (9·100 + 4.5·800 + 5700) / 31 = 329.03.
    struct Case {
        const char* what;
        int threshold, smooth, sharp;
        int centre, corner;
    } cases[] = {
        // centre: excess 3194 − 2560 = 634; corner: (329·10 + 100·10) / 20 = 214
        {"both branches", 2560, 10, 10, 5634, 214},
        {"stronger sharpening", 2560, 10, 25, 5000 + 634 * 25 / 10, 214},
        // corner: excess −229 + 100 = −129, × 5 / 10 = −64.5, truncated toward zero
        {"negative excess", 100, 10, 5, 5000 + 3094 * 5 / 10, 36},
        {"pure sharpening", 0, 10, 10, 8194, 0},       // corner 100 − 229 clamps to 0
        {"pure smoothing", 65535, 10, 10, 3403, 214},  // (1806·10 + 5000·10) / 20
        {"smoothing strength 30", 65535, 30, 10, (1806 * 30 + 50000) / 40, (329 * 30 + 1000) / 40},
    };
    for (const Case& c : cases) {
        const Plane out =
            sharpened(kSmall, 3, 3, sharp_params(1, c.threshold, c.smooth, c.sharp, 60));
        EXPECT_EQ(out[4], c.centre) << c.what;
        EXPECT_EQ(out[0], c.corner) << c.what;
    }
}

TEST(Sharpen, LeavesFlatAndNeutralPicturesAlone) {
    std::mt19937 rng(11);
    const Plane noisy = test::noisy_plane(rng, 23, 17, 3000, 8);
    for (int radius : {1, 4, 10}) {
        for (int falloff : {10, 33, 50}) {
            // Both strengths 0: the identity, whatever the threshold.
            for (int threshold : {0, 2560, 65535})
                EXPECT_EQ(sharpened(noisy, 23, 17, sharp_params(radius, threshold, 0, 0, falloff)),
                          noisy);
            // A flat picture: every mean equals the sample.
            for (int level : {0, 1, 40000, 54321, 65535}) {
                const Plane flat(23 * 17, uint16_t(level));
                EXPECT_EQ(sharpened(flat, 23, 17, sharp_params(radius, 0, 50, 50, falloff)), flat);
                EXPECT_EQ(sharpened(flat, 23, 17, sharp_params(radius, 65535, 50, 50, falloff)),
                          flat);
            }
        }
    }
}

TEST(Sharpen, ConstantBorderStaysConstant) {
    // A bright 2 × 2 block in a 12 × 12 field; the 5 × 5 kernel (n = 2) reaches 2 pixels,
    // so everything more than 2 pixels from the block, the whole border included, sees only
    // the field (clamped neighbours repeat it).
    const int w = 12, h = 12;
    Plane p(w * h, 3000);
    for (int y = 5; y <= 6; ++y)
        for (int x = 5; x <= 6; ++x) p[std::size_t(y * w + x)] = 60000;
    const Plane out = sharpened(p, w, h, sharp_params(1, 2560, 10, 10, 50));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (x < 3 || x > 8 || y < 3 || y > 8) {
                EXPECT_EQ(out[std::size_t(y * w + x)], 3000) << x << "," << y;
            }
    EXPECT_NE(out[std::size_t(4 * w + 4)], 3000);  // next to the block the mean moves
}

TEST(Sharpen, EqualsTheStraightforwardRule) {
    std::mt19937 rng(1234);
    // 530 columns span three column chunks of the fast filter.
    const int sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {64, 33}, {3, 40}, {41, 2}, {530, 3}};
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        for (int round = 0; round < 6; ++round) {
            const Plane p = test::noisy_plane(rng, w, h, 3000, 8);
            const ParamVector params = sharp_params(
                1 + int(rng() % 10), round == 0 ? 0 : int(rng() % 6000), int(rng() % 51),
                int(rng() % 51), round == 1 ? 1 + int(rng() % 200) : 10 + int(rng() % 41));
            EXPECT_EQ(sharpened(p, w, h, params), reference_sharpen(p, w, h, params))
                << w << "x" << h << " radius " << params[0] << " falloff " << params[4];
        }
    }
}

TEST(Sharpen, BandsReadTheOriginalRowsOfTheirNeighbours) {
    // Every row its own level: a row taken from the wrong place, or after its band has
    // overwritten it, moves the means. Bands shorter and longer than the kernel reach.
    for (int h : {5, 33, 97}) {
        const int w = 37;
        Plane p(std::size_t(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p[std::size_t(y * w + x)] = uint16_t((y * 7919 + x * 3) % 65536);
        for (int radius : {1, 10}) {
            const ParamVector params = sharp_params(radius, 0, 0, 50, 10);
            EXPECT_EQ(sharpened(p, w, h, params), reference_sharpen(p, w, h, params)) << h;
        }
    }
}

TEST(Sharpen, ReferenceMeanIsTheWeightedSum) {
    // The documented order only reorders Σ w · sample: compare with the row-by-row sum.
    std::mt19937 rng(5);
    const int w = 9, h = 8;
    const Plane p = test::noisy_plane(rng, w, h, 3000, 8);
    const RadialKernel k = sharpen_kernel(3, 20);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double direct = 0.0;
            for (int dy = -k.half_width; dy <= k.half_width; ++dy)
                for (int dx = -k.half_width; dx <= k.half_width; ++dx)
                    direct += k.at(dx, dy) * p[std::size_t(std::clamp(y + dy, 0, h - 1) * w +
                                                           std::clamp(x + dx, 0, w - 1))];
            EXPECT_NEAR(reference_mean_sum(p, w, h, x, y, k), direct, 1e-8);
        }
    }
}

TEST(Sharpen, SameResultOnOneThread) {
    std::mt19937 rng(77);
    const int w = 97, h = 61;
    const Plane p = test::noisy_plane(rng, w, h, 3000, 8);
    const ParamVector params = sharp_params(10, 1500, 20, 30, 10);
    const Plane threaded = sharpened(p, w, h, params);
    SerialBandsScope serial;
    EXPECT_EQ(sharpened(p, w, h, params), threaded);
}

TEST(Sharpen, EngineFiltersTheMaskedPlanes) {
    auto wb = test::make_workbench();
    const ImageRecord colour = make_image(
        7, 6, [](int c, int x, int y) { return (x * 7919 + y * 104729 + c * 3301) % 65536; });
    auto filtered = [&](int c) {
        return sharpened(colour.plane(c), 7, 6, sharp_params(2, 1000, 10, 20, 50));
    };
    wb->table[0] = colour;
    wb->params = sharp_params(2, 1000, 10, 20, 50, kMaskRed | kMaskGreen);
    apply_operation(*wb, 0, 0);
    EXPECT_EQ(wb->table[0].red, filtered(0));
    EXPECT_EQ(wb->table[0].green, filtered(1));
    EXPECT_EQ(wb->table[0].blue, colour.blue);
    EXPECT_NE(filtered(0), colour.red);

    // A mono image: the first plane whenever any bit is set, the others never.
    ImageRecord mono = colour;
    mono.mono = 1;
    wb->table[1] = mono;
    wb->params[5] = kMaskBlue;
    apply_operation(*wb, 1, 0);
    EXPECT_EQ(wb->table[1].red, filtered(0));
    EXPECT_EQ(wb->table[1].green, colour.green);
    EXPECT_EQ(wb->table[1].blue, colour.blue);
}

TEST(Sharpen, HostileInputIsHarmless) {
    // One pixel: its mean is itself, so any parameters leave it.
    for (int falloff : {INT_MIN, -7, 0, INT_MAX}) {
        const Plane one = {12345};
        EXPECT_EQ(sharpened(one, 1, 1, sharp_params(-5, -9, 900, -3, falloff)), one);
        EXPECT_EQ(sharpened(one, 1, 1, sharp_params(99, 70000, -1, 99, falloff)), one);
    }
    Plane p = kSmall;
    sharpen_plane({p.data(), 0, 3}, sharp_params(1, 0, 10, 10, 50));
    sharpen_plane({nullptr, 3, 3}, sharp_params(1, 0, 10, 10, 50));
    EXPECT_EQ(p, kSmall);
}

}  // namespace
}  // namespace vora
