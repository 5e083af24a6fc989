#include "filters/restore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>

#include "core/bands.h"
#include "core/engine.h"
#include "test_support.h"

namespace vora {
namespace {

ParamVector restore_params(int spread, int bluntness, int iterations, int emphasis) {
    ParamVector p{};
    p[0] = spread;
    p[1] = bluntness;
    p[2] = iterations;
    p[3] = emphasis;
    return p;
}

Plane restored(Plane plane, int w, int h, const ParamVector& p) {
    restore_plane({plane.data(), w, h}, p);
    return plane;
}

// K∗X at (x, y) in the documented order, with clamped neighbours.
double reference_blur(const std::vector<double>& X, int w, int h, int x, int y,
                      const RadialKernel& k) {
    auto at = [&](int cx, int cy) {
        return X[std::size_t(std::clamp(cy, 0, h - 1) * w + std::clamp(cx, 0, w - 1))];
    };
    auto v = [&](int j, int cx) { return j == 0 ? at(cx, y) : at(cx, y - j) + at(cx, y + j); };
    auto pair = [&](int j, int d) { return d == 0 ? v(j, x) : v(j, x - d) + v(j, x + d); };
    const double s = at(x, y);
    double c = 0.0;
    for (int b = 1; b <= k.half_width; ++b) {
        for (int a = 0; a <= b; ++a) {
            const double sum = a == b ? pair(b, a) : pair(b, a) + pair(a, b);
            const double m = a == 0 || a == b ? 4.0 : 8.0;
            c += k.at(a, b) * (sum - m * s);
        }
    }
    return s + c;
}

// Whole-plane passes: M, X = M, D = K∗X − M and X = X − 2D per iteration, then the output.
Plane reference_restore(const Plane& p, int w, int h, const ParamVector& params) {
    const int iterations = std::clamp(params[2], 0, 5);
    const RadialKernel k = restore_kernel(std::max(params[0], 1), params[1]);
    const std::vector<double> M(p.begin(), p.end());
    std::vector<double> X = M, D(M.size());
    for (int it = 0; it < iterations; ++it) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                D[std::size_t(y * w + x)] =
                    reference_blur(X, w, h, x, y, k) - M[std::size_t(y * w + x)];
        for (std::size_t i = 0; i < X.size(); ++i) X[i] = X[i] - 2.0 * D[i];
    }
    const double e = params[3];
    Plane out(p.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y * w + x);
            const double v = (1.0 + e) * X[i] - e * reference_blur(X, w, h, x, y, k);
            out[i] = v < 0.0 ? 0 : v > 65535.0 ? 65535 : uint16_t(v);
        }
    }
    return out;
}

// 3 × 3 picture around 30000, stored rows bottom-up.
const Plane kSmall = {30100, 30200, 30300, 30400, 35000, 30600, 30700, 30800, 30900};

TEST(RestoreKernel, HalfWidthFollowsTheRowRule) {
    EXPECT_EQ(restore_kernel(10, 20).half_width, 6);  // 1 / (1 + d²): row 7 peaks at exactly 0.02
    EXPECT_EQ(restore_kernel(100, 20).half_width, 10);  // 1 / (1 + d² / 10)
    EXPECT_EQ(restore_kernel(10, 60).half_width, 1);    // 1 / (1 + d⁶): 1/2, 1/9, then 1/65
    EXPECT_NEAR(restore_kernel(10, 60).at(1, 1), 1.0 / 31, 1e-15);
}

TEST(Restore, HandComputedSamples) {
    // Kernel 9/31 (centre), 9/62 (edges), 1/31 (corners). Means: centre 31806.45,
    // corner (0,0) 30329.03, edge (1,0) 30916.13 (clamped neighbours).
    struct Case {
        const char* what;
        int iterations, emphasis;
        int centre, corner, edge;
    } cases[] = {
        // X1 = 3M − 2·K∗M: 105000 − 63612.90, 90300 − 60658.06, 90600 − 61832.26
        {"one iteration, no emphasis", 1, 0, 41387, 29641, 28767},
        // 2M − K∗M: 70000 − 31806.45, 60200 − 30329.03, 60400 − 30916.13
        {"emphasis only", 0, 1, 38193, 29870, 29483},
        {"nothing", 0, 0, 35000, 30100, 30200},
    };
    for (const Case& c : cases) {
        const Plane out = restored(kSmall, 3, 3, restore_params(10, 60, c.iterations, c.emphasis));
        EXPECT_EQ(out[4], c.centre) << c.what;
        EXPECT_EQ(out[0], c.corner) << c.what;
        EXPECT_EQ(out[1], c.edge) << c.what;
    }
}

TEST(Restore, FlatPlaneStaysFlat) {
    for (int level : {0, 1, 40000, 65535}) {
        const Plane flat(31 * 19, uint16_t(level));
        for (int spread : {1, 10, 100})
            EXPECT_EQ(restored(flat, 31, 19, restore_params(spread, 10, 5, 3)), flat) << level;
    }
}

TEST(Restore, EqualsWholePlanePasses) {
    std::mt19937 rng(2024);
    // 530 columns span three column chunks of the fast filter.
    const int sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {64, 33}, {3, 40}, {41, 2}, {530, 3}};
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        for (int round = 0; round < 5; ++round) {
            const Plane p = test::noisy_plane(rng, w, h, 4000, 6);
            const ParamVector params =
                restore_params(1 + int(rng() % 100), 10 + int(rng() % 41),
                               round == 0 ? 5 : int(rng() % 6), int(rng() % 4));
            EXPECT_EQ(restored(p, w, h, params), reference_restore(p, w, h, params))
                << w << "x" << h << " spread " << params[0] << " iterations " << params[2];
        }
    }
}

TEST(Restore, BandsReadTheOriginalRowsOfTheirNeighbours) {
    // Every row its own level, so a measured row taken from the wrong place, or after its
    // band has written its output there, shows. Bands shorter and longer than the reach.
    for (int h : {5, 33, 150}) {
        const int w = 23;
        Plane p(std::size_t(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p[std::size_t(y * w + x)] = uint16_t((y * 7919 + x * 3) % 65536);
        for (int iterations : {0, 1, 5}) {
            const ParamVector params = restore_params(100, 20, iterations, 1);
            EXPECT_EQ(restored(p, w, h, params), reference_restore(p, w, h, params)) << h;
        }
    }
}

TEST(Restore, SameResultOnOneThread) {
    std::mt19937 rng(8);
    const int w = 40, h = 37;  // bands of 9 rows, far less than the 60 rows the levels reach
    const Plane p = test::noisy_plane(rng, w, h, 4000, 6);
    const ParamVector params = restore_params(100, 20, 5, 3);
    const Plane threaded = restored(p, w, h, params);
    SerialBandsScope serial;
    EXPECT_EQ(restored(p, w, h, params), threaded);
}

TEST(Restore, EngineRestoresEveryPlaneOfAColourImageAndTheFirstOfAMono) {
    auto wb = test::make_workbench();
    const ImageRecord colour = test::make_image(
        6, 5, [](int c, int x, int y) { return 20000 + (x * 7919 + y * 3571 + c * 1009) % 9000; });
    const ParamVector params = restore_params(30, 20, 2, 1);
    auto expected = [&](int c) { return restored(colour.plane(c), 6, 5, params); };
    wb->table[0] = colour;
    wb->params = params;
    apply_operation(*wb, 0, 102);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(wb->table[0].plane(c), expected(c)) << c;

    ImageRecord mono = colour;
    mono.mono = 1;
    wb->table[1] = mono;
    apply_operation(*wb, 1, 102);
    EXPECT_EQ(wb->table[1].red, expected(0));
    EXPECT_EQ(wb->table[1].green, colour.green);
    EXPECT_EQ(wb->table[1].blue, colour.blue);
}

TEST(Restore, HostileParametersAreHarmless) {
    std::mt19937 rng(3);
    const Plane p = test::noisy_plane(rng, 9, 7, 4000, 6);
    // Spread below 1 counts as 1; more than 5 iterations count as 5.
    EXPECT_EQ(restored(p, 9, 7, restore_params(0, 20, 3, 1)),
              restored(p, 9, 7, restore_params(1, 20, 3, 1)));
    EXPECT_EQ(restored(p, 9, 7, restore_params(INT_MIN, 20, 3, 1)),
              restored(p, 9, 7, restore_params(1, 20, 3, 1)));
    EXPECT_EQ(restored(p, 9, 7, restore_params(50, 20, INT_MAX, 1)),
              restored(p, 9, 7, restore_params(50, 20, 5, 1)));
    EXPECT_EQ(restored(p, 9, 7, restore_params(50, 20, -4, 0)), p);
    // Extreme shapes and emphasis: the output stays within the sample range (no crash).
    for (int bluntness : {INT_MIN, -20, 0, INT_MAX})
        for (int emphasis : {INT_MIN, -1, INT_MAX})
            restored(p, 9, 7, restore_params(INT_MAX, bluntness, 5, emphasis));
    // One pixel is its own blur, so it stays.
    const Plane one = {4321};
    EXPECT_EQ(restored(one, 1, 1, restore_params(100, 50, 5, 3)), one);
    Plane empty;
    restore_plane({empty.data(), 0, 0}, restore_params(10, 20, 3, 1));
}

}  // namespace
}  // namespace vora
