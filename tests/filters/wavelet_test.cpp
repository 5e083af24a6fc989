// The difference pyramid of the wavelet command (no enlargement).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/bands.h"
#include "filters/wavelet_pyramid.h"
#include "test_support.h"

namespace vora {
namespace {

using Gains = std::array<double, 8>;
constexpr Gains kUnit{1, 1, 1, 1, 1, 1, 1, 1};

Gains finest(double d5) {
    Gains g = kUnit;
    g[5] = d5;
    return g;
}

Plane run(Plane plane, int w, int h, const Gains& gains) {
    wavelet_pyramid_kernel({plane.data(), w, h}, gains);
    return plane;
}

// ---- the pyramid written out rule by rule, every level a full array of doubles

struct Grid {
    int w, h;
    std::vector<double> v;
    double& at(int x, int y) { return v[std::size_t(y) * std::size_t(w) + std::size_t(x)]; }
};

double predict(Grid& k, int x, int y) {
    const int wf = 2 * k.w, hf = 2 * k.h;
    const bool left = x == 0, right = x == wf - 1, top = y == 0, bottom = y == hf - 1;
    if ((left || right) && (top || bottom)) return k.at(left ? 0 : k.w - 1, top ? 0 : k.h - 1);
    if (top || bottom) {
        const int r = top ? 0 : k.h - 1;
        if (x % 2) return 0.76 * k.at((x + 1) / 2 - 1, r) + 0.24 * k.at((x + 1) / 2, r);
        return 0.24 * k.at(x / 2 - 1, r) + 0.76 * k.at(x / 2, r);
    }
    if (left || right) {
        const int c = left ? 0 : k.w - 1;
        if (y % 2) return 0.76 * k.at(c, (y - 1) / 2) + 0.24 * k.at(c, (y - 1) / 2 + 1);
        return 0.24 * k.at(c, (y - 2) / 2) + 0.76 * k.at(c, (y - 2) / 2 + 1);
    }
    const int i = x % 2 ? (x + 1) / 2 : x / 2;
    const int j = y % 2 ? (y - 1) / 2 : (y - 2) / 2;
    const double a = k.at(i - 1, j), b = k.at(i, j), p = k.at(i - 1, j + 1), q = k.at(i, j + 1);
    if (y % 2 && x % 2) return 0.54 * a + 0.17 * b + 0.17 * p + 0.12 * q;
    if (y % 2) return 0.17 * a + 0.54 * b + 0.12 * p + 0.17 * q;
    if (x % 2) return 0.17 * a + 0.12 * b + 0.54 * p + 0.17 * q;
    return 0.12 * a + 0.17 * b + 0.17 * p + 0.54 * q;
}

Plane reference(const Plane& plane, int w, int h, const Gains& d) {
    const int pw = (w / 32 + 1) * 32, ph = (h / 32 + 1) * 32;
    std::vector<Grid> level(6);
    for (int k = 0; k < 6; ++k)
        level[std::size_t(k)] = {pw >> k, ph >> k,
                                 std::vector<double>(std::size_t(pw >> k) * std::size_t(ph >> k))};
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x)
            level[0].at(x, y) = plane[std::size_t(std::min(y, h - 1)) * std::size_t(w) +
                                      std::size_t(std::min(x, w - 1))];
    for (std::size_t k = 0; k < 5; ++k) {
        Grid &f = level[k], &c = level[k + 1];
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                c.at(x, y) = 0.25 * f.at(2 * x, 2 * y) + 0.25 * f.at(2 * x + 1, 2 * y) +
                             0.25 * f.at(2 * x, 2 * y + 1) + 0.25 * f.at(2 * x + 1, 2 * y + 1);
        for (int y = 0; y < f.h; ++y)
            for (int x = 0; x < f.w; ++x) f.at(x, y) = f.at(x, y) - predict(c, x, y);
    }
    for (std::size_t k = 0; k < 5; ++k)
        for (double& s : level[k].v) s *= d[5 - k];
    for (int k = 4; k >= 0; --k) {
        Grid &f = level[std::size_t(k)], &c = level[std::size_t(k) + 1];
        for (int y = 0; y < f.h; ++y)
            for (int x = 0; x < f.w; ++x) f.at(x, y) += predict(c, x, y);
    }
    Plane out(plane.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double t = std::trunc(level[0].at(x, y));
            out[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                uint16_t(std::clamp(t, 0.0, 65535.0));
        }
    return out;
}

// ---- tests

// A 6 × 6 plane of 2 × 2 blocks [v, v+1] (stored rows), so that the level-1 means are
// v + 0.5 with v = 1000, 3000, 2000 / 5000, 4000, 6000 / 8000, 9000, 7000 (block rows from
// stored row 0); beyond the plane the means repeat the last block column and row. With the
// coarser gains at 1 the rebuilt level 1 is these means again, so the output is
// trunc(d5·(sample - P) + P) with P the prediction from the means, for example
//   (0,0) corner: 1000.5;  (1,0) top row: 0.76·1000.5 + 0.24·3000.5 = 1480.5;
//   (0,1) left column: 0.76·1000.5 + 0.24·5000.5 = 1960.5;
//   (1,1): 0.54·1000.5 + 0.17·3000.5 + 0.17·5000.5 + 0.12·4000.5 = 2380.5.
TEST(WaveletPyramid, FinestLevelFollowsThePredictionRules) {
    const int base[3][3] = {{1000, 3000, 2000}, {5000, 4000, 6000}, {8000, 9000, 7000}};
    Plane plane(36);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            plane[std::size_t(6 * y + x)] = uint16_t(base[y / 2][x / 2] + x % 2);
    const int prediction[6][6] = {
        {1000, 1480, 2520, 2760, 2240, 2000}, {1960, 2380, 3070, 3360, 3090, 3160},
        {4040, 3910, 3640, 3930, 4620, 4840}, {5720, 5820, 5500, 5550, 6190, 6290},
        {7280, 7180, 7500, 7450, 6810, 6710}, {8000, 8290, 8710, 8420, 7580, 7000}};
    // d5 = 2: 2·sample - P; (1,1) = 2·3001 - 2380.5 = 3621.5, (1,1) of the next row clamps.
    const int doubled[6][6] = {
        {999, 521, 3479, 3241, 1759, 2001},     {39, 0, 2929, 2641, 909, 841},
        {5959, 6091, 4359, 4071, 7379, 7161},   {4279, 4181, 2499, 2451, 5809, 5711},
        {8719, 8821, 10499, 10551, 7189, 7291}, {7999, 7711, 9289, 9581, 6419, 7001}};
    const Plane flat = run(plane, 6, 6, finest(0.0));
    const Plane sharp = run(plane, 6, 6, finest(2.0));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(flat[std::size_t(6 * y + x)], prediction[y][x]) << x << "," << y;
            EXPECT_EQ(sharp[std::size_t(6 * y + x)], doubled[y][x]) << x << "," << y;
        }
}

TEST(WaveletPyramid, UnitGainsGiveBackTheImageUpToTruncation) {
    for (auto [w, h] : {std::pair{70, 45}, std::pair{1, 1}, std::pair{32, 64}}) {
        const Plane in = test::random_plane(w, h, unsigned(w * h));
        const Plane out = run(in, w, h, kUnit);
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_TRUE(out[i] == in[i] || out[i] + 1 == in[i]) << w << "x" << h << " at " << i;
    }
}

TEST(WaveletPyramid, NoFinestDetailSoftensAndKeepsTheMean) {
    const int w = 40, h = 36;
    // A noisy ramp: same mean (truncation takes half a level on average), less roughness.
    Plane in = test::random_plane(w, h, 7, 0, 4000);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) in[std::size_t(y * w + x)] += uint16_t(300 * x);
    const Plane out = run(in, w, h, finest(0.0));
    auto mean = [](const Plane& p) {
        double s = 0;
        for (uint16_t v : p) s += v;
        return s / double(p.size());
    };
    auto roughness = [&](const Plane& p) {
        double s = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 1; x < w; ++x)
                s += std::abs(double(p[std::size_t(y * w + x)]) - p[std::size_t(y * w + x - 1)]);
        return s;
    };
    EXPECT_NEAR(mean(out), mean(in), 1.0);
    EXPECT_LT(roughness(out), 0.5 * roughness(in));
}

TEST(WaveletPyramid, MatchesTheRuleByRulePyramidExactly) {
    struct Case {
        int w, h;
        Gains gains;
    };
    const Case cases[] = {
        {1, 1, {0, 0, 0, 0, 0, 0, 0, 0}},
        {3, 2, {5, 0.3, 7.5, 0, 2, 50, 1, 1}},
        {2, 3, kUnit},
        {7, 5, {1, 2, 0.5, 1.5, 3, 0, 1, 1}},
        {64, 33, {1, 0, 0, 0, 0, 9, 1, 1}},
        {33, 64, {1, 1.2, 1.5, 2, 3, 5, 1, 1}},
        {97, 70, {1, 50, 50, 50, 50, 50, 1, 1}},
        {40, 31, {1, -2, 1e6, 1, -0.5, 1, 1, 1}},  // out-of-range gains from a settings file
    };
    for (const Case& c : cases) {
        const Plane in = test::random_plane(c.w, c.h, unsigned(c.w * 131 + c.h));
        EXPECT_EQ(run(in, c.w, c.h, c.gains), reference(in, c.w, c.h, c.gains))
            << c.w << "x" << c.h;
    }
}

TEST(WaveletPyramid, SameResultOnOneThread) {
    const int w = 131, h = 77;
    const Plane in = test::random_plane(w, h, 99);
    const Gains gains{1, 1.2, 1.5, 2, 3, 5, 1, 1};
    const Plane banded = run(in, w, h, gains);
    SerialBandsScope serial;
    EXPECT_EQ(run(in, w, h, gains), banded);
}

}  // namespace
}  // namespace vora
