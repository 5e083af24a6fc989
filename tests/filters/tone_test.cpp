#include "filters/tone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/bands.h"
#include "core/engine.h"
#include "core/workbench.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;
using test::sample;

// Expected values below come from the segment and level formulas worked through by hand
// (exact fractions); the comments show the working.

ToneCurve curve_from_levels(int mode, TonePoint a, TonePoint b, TonePoint c) {
    return build_tone_curve(mode, tone_points({a, b, c}));
}

// A 256 × 256 plane holding every 16-bit value once.
Plane every_value() {
    Plane p(kSampleTableSize);
    for (std::size_t v = 0; v < p.size(); ++v) p[v] = uint16_t(v);
    return p;
}

PlaneRef every_value_ref(Plane& p) {
    return {p.data(), 256, 256};
}

// A colour image with reproducible, well spread samples.
ImageRecord noisy_image(int w, int h, uint32_t seed) {
    uint32_t state = seed;
    return make_image(w, h, [&](int, int, int) {
        state = state * 1664525u + 1013904223u;
        return int(state >> 16);
    });
}

struct SampleCase {
    uint16_t in;
    uint16_t out;
};

// ---- tone curve -------------------------------------------------------------------------

TEST(ToneCurve, BreakpointsAreForcedApartAndBelowTheTop) {
    struct Case {
        double x0, x1, x2;
        double p0, p1, p2;
    };
    const Case cases[] = {
        {0, 32768, 65280, 1, 32768, 65280},          // input 0 becomes 1
        {0, 0, 0, 1, 2, 3},                          // each pushed one above the last
        {65535, 65535, 65535, 65533, 65534, 65535},  // the top pulls them back down
        {25600, 25601, 25600, 25600, 25601, 25602},  // three equal inputs after decoding
        {1000, 2000, 70000, 1000, 2000, 65535},      // limited to 65535
    };
    for (const Case& c : cases) {
        const ToneCurve curve = build_tone_curve(kCurveStraight, c.x0, 0, c.x1, 0, c.x2, 0);
        EXPECT_EQ(curve.p0, c.p0) << c.x0 << " " << c.x1 << " " << c.x2;
        EXPECT_EQ(curve.p1, c.p1) << c.x0 << " " << c.x1 << " " << c.x2;
        EXPECT_EQ(curve.p2, c.p2) << c.x0 << " " << c.x1 << " " << c.x2;
    }
}

TEST(ToneCurve, StraightDefaultPointsAreTheIdentityUpToTruncation) {
    // P0 = 1, P1 = 32768, P2 = 65280. Segment 0 is the constant 0 (P0 ≤ 255). Segment 1 is
    // the line through (1, 0) and (32768, 32768): 32768·(v − 1)/32767 = v − 1 + (v − 1)/32767,
    // which truncates to v − 1. Segment 2 is the line through (32768, 32768) and
    // (65280, 65280): slope exactly 1, intercept 0. Segment 3 is the constant 65280, since
    // P2 is not below 65280.
    const ToneCurve curve = curve_from_levels(kCurveStraight, {0, 0}, {128, 128}, {255, 255});
    const SampleCase cases[] = {{0, 0},         {1, 0},         {2, 1},         {255, 254},
                                {256, 255},     {32767, 32766}, {32768, 32768}, {40000, 40000},
                                {65279, 65279}, {65280, 65280}, {65535, 65280}};
    for (const SampleCase& c : cases) EXPECT_EQ(tone_curve_sample(curve, c.in), c.out) << c.in;
}

TEST(ToneCurve, SmoothDefaultPointsPassThroughTheListedPoints) {
    // s0 = 0, s1 = 32768/32767, s2 = s3 = 1. Segment 1 (y0 = 0) is the quadratic
    // (v − 1)·[1 + 1/65534 + (65535 − v)/(2·32767²)]; segment 2 (y2 = 65280) the quadratic
    // 32768 + (v − 32768)·[t1 + c2·(v − 32768)] with t1 = 1 + 1/65534 and
    // c2 = −1/(2·32767·32512); segment 3 the line v (c2 = 0, c1 = 1, c0 = 0).
    const ToneCurve curve = curve_from_levels(kCurveSmooth, {0, 0}, {128, 128}, {255, 255});
    struct Case {
        double in;
        double value;
    };
    const Case cases[] = {{0, 0.0},
                          {2, 1.0000457772985},
                          {16384, 16383.6249847406},
                          {32767, 32766.9999847403},
                          {32768, 32768.0},
                          {49024, 49024.1240272225},
                          {65279, 65279.0000152588},
                          {65280, 65280.0},
                          {65535, 65535.0}};
    for (const Case& c : cases) EXPECT_NEAR(eval_tone_curve(curve, c.in), c.value, 1e-6) << c.in;
    const SampleCase samples[] = {{0, 0},         {2, 1},         {16384, 16383}, {32767, 32766},
                                  {49024, 49024}, {65279, 65279}, {65280, 65280}, {65535, 65535}};
    for (const SampleCase& c : samples) EXPECT_EQ(tone_curve_sample(curve, c.in), c.out) << c.in;
}

TEST(ToneCurve, SmoothPiecesAreHermiteCubicsBetweenTheBreakpoints) {
    // (64,100), (128,200), (192,230): P = 16384, 32768, 49152; y = 25600, 51200, 58880.
    // y0 ≠ 0 and y2 < 65280, so segments 1 and 2 are the cubic Hermite pieces with tangents
    // (s0 + s1)/2, (s1 + s2)/2, (s2 + s3)/2. Expected values from the Hermite basis
    // h00·ya + h10·h·ta + h01·yb + h11·h·tb in exact fractions; segment 0 has s0 = s1 = 1.5625
    // and is the line 1.5625·v, segment 3 the quadratic towards (65535, 65535).
    const ToneCurve curve = curve_from_levels(kCurveSmooth, {64, 100}, {128, 200}, {192, 230});
    struct Case {
        double in;
        double value;
    };
    const Case cases[] = {{8192, 12800.0},           {20000, 31590.1166629791},
                          {24576, 39520.0},          {30000, 47920.4743039608},
                          {36000, 53869.9488436383}, {40960, 56224.0371116401},
                          {48000, 58412.3157724053}, {60000, 63401.2044830985}};
    for (const Case& c : cases) EXPECT_NEAR(eval_tone_curve(curve, c.in), c.value, 1e-6) << c.in;
    EXPECT_EQ(tone_curve_sample(curve, 20000), 31590);
    EXPECT_EQ(tone_curve_sample(curve, 48000), 58412);
}

TEST(ToneCurve, StraightSegmentsFollowTheirRules) {
    // (128,64), (192,128), (255,255): P0 = 32768 > 255 and y0 < 65280, so segment 0 is the
    // line through the origin with slope 16384/32768.
    const ToneCurve origin = curve_from_levels(kCurveStraight, {128, 64}, {192, 128}, {255, 255});
    EXPECT_EQ(tone_curve_sample(origin, 100), 50);
    EXPECT_EQ(tone_curve_sample(origin, 32767), 16383);  // 16383.5

    // (0,0), (64,64), (192,128): y2 = 32768 > 255 and P2 = 49152 < 65280, so segment 3 is the
    // line to the top corner: 65535 − (32767/16383)·(65535 − v). Segment 2 is the line
    // through (16384, 16384) and (49152, 32768): 32768 − (49152 − v)/2, 28192 at 40000.
    const ToneCurve corner = curve_from_levels(kCurveStraight, {0, 0}, {64, 64}, {192, 128});
    EXPECT_NEAR(eval_tone_curve(corner, 40000), 28192.0, 1e-6);
    EXPECT_NEAR(eval_tone_curve(corner, 49152), 32768.0, 1e-6);
    EXPECT_EQ(tone_curve_sample(corner, 57344), 49152);  // 49152.50003
    EXPECT_NEAR(eval_tone_curve(corner, 65535), 65535.0, 1e-6);

    // A last point at output 255 (y2 = 65280 > 255) but input 255 (P2 = 65280): constant.
    const ToneCurve flat = curve_from_levels(kCurveStraight, {0, 0}, {64, 64}, {255, 255});
    EXPECT_EQ(tone_curve_sample(flat, 65535), 65280);
}

TEST(ToneCurve, EqualInputsAreMovedOneUnitApart) {
    struct Case {
        int32_t a, b, c;
        double x0, x1, x2;
    };
    const Case cases[] = {
        {64032, 64192, 255255, 16384, 16385, 65280},    // x0 = x1: x1 = x0 + 1
        {100050, 200100, 200200, 25600, 51199, 51200},  // x1 = x2: x1 = x2 − 1
        {100000, 100000, 100000, 25600, 25601, 25600},  // x1 moved up, x2 left alone
        {0, 0, 255255, 0, 1, 65280},                    // first point at input 0
    };
    for (const Case& c : cases) {
        const ToneControlPoints p = decode_tone_points(c.a, c.b, c.c);
        EXPECT_EQ(p.x0, c.x0) << c.a;
        EXPECT_EQ(p.x1, c.x1) << c.a;
        EXPECT_EQ(p.x2, c.x2) << c.a;
    }
    // out = code − in × 1000, scaled by 256.
    const ToneControlPoints p = decode_tone_points(64032, 64192, 255255);
    EXPECT_EQ(p.y0, 8192.0);
    EXPECT_EQ(p.y1, 49152.0);
    EXPECT_EQ(p.y2, 65280.0);

    // (64,32), (64,192), (255,255) in straight mode: P0 = 16384, P1 = 16385, P2 = 65280.
    // Segment 0: 0.5·v. Segment 1 serves only 16384. Segment 2: the line through
    // (16385, 49152) and (65280, 65280), 65280 − (16128/48895)·(65280 − v).
    const ToneCurve curve = build_tone_curve(kCurveStraight, p);
    EXPECT_EQ(tone_curve_sample(curve, 16383), 8191);  // 8191.5
    EXPECT_NEAR(eval_tone_curve(curve, 16384), 8192.0, 1e-6);
    EXPECT_NEAR(eval_tone_curve(curve, 16385), 49152.0, 1e-6);
    EXPECT_EQ(tone_curve_sample(curve, 40831), 57215);  // 57215.505
    EXPECT_EQ(tone_curve_sample(curve, 65279), 65279);  // 65279.670

    // The smooth curve through the same points stays a usable curve: finite everywhere.
    const ToneCurve smooth = build_tone_curve(kCurveSmooth, p);
    for (int v = 0; v < 65536; v += 7) EXPECT_TRUE(std::isfinite(eval_tone_curve(smooth, v))) << v;
    EXPECT_NEAR(eval_tone_curve(smooth, 16385), 49152.0, 1e-6);
}

TEST(ToneCurve, FirstPointAtInputZero) {
    // (0,100): x0 = 0 becomes P0 = 1, so only input 0 lies in segment 0. In straight mode
    // segment 0 is the constant y0 = 25600. In smooth mode it is the quadratic through the
    // origin, which gives 0 at input 0; input 1 (= P0) starts segment 1 at y0.
    const ToneCurve straight = curve_from_levels(kCurveStraight, {0, 100}, {128, 128}, {255, 255});
    EXPECT_EQ(tone_curve_sample(straight, 0), 25600);
    const ToneCurve smooth = curve_from_levels(kCurveSmooth, {0, 100}, {128, 128}, {255, 255});
    EXPECT_EQ(tone_curve_sample(smooth, 0), 0);
    EXPECT_NEAR(eval_tone_curve(smooth, 1), 25600.0, 1e-6);
}

TEST(ToneCurve, ValuesAreClippedToTheSampleRange) {
    // A steep rise and fall: the last smooth piece leaves (24, 0) falling and goes below 0.
    // An output of 300 (possible from a settings file) lifts the straight line above 65535.
    const ToneCurve falling = curve_from_levels(kCurveSmooth, {8, 0}, {16, 255}, {24, 0});
    const ToneCurve rising = curve_from_levels(kCurveStraight, {0, 0}, {128, 300}, {255, 255});
    bool hit_top = false, hit_bottom = false;
    for (int v = 0; v < 65536; ++v) {
        for (const ToneCurve* curve : {&falling, &rising}) {
            const double value = eval_tone_curve(*curve, v);
            ASSERT_GE(value, 0.0) << v;
            ASSERT_LE(value, 65535.0) << v;
        }
        hit_bottom |= v > 6144 && eval_tone_curve(falling, v) == 0.0;
        hit_top |= eval_tone_curve(rising, v) == 65535.0;
    }
    EXPECT_TRUE(hit_top);
    EXPECT_TRUE(hit_bottom);
    EXPECT_EQ(to_sample(-3.5), 0);
    EXPECT_EQ(to_sample(70000.0), 65535);
    EXPECT_EQ(to_sample(std::nan("")), 0);
    EXPECT_EQ(to_sample(12.999), 12);
}

TEST(ToneCurve, LookupTableGivesTheSameSamplesAsDirectEvaluation) {
    const ToneCurvePoints sets[] = {
        {{{0, 0}, {128, 128}, {255, 255}}}, {{{0, 100}, {60, 200}, {200, 230}}},
        {{{30, 0}, {30, 128}, {255, 255}}}, {{{10, 250}, {128, 5}, {250, 250}}},
        {{{100, 0}, {101, 0}, {102, 255}}}, {{{64, 64}, {192, 128}, {254, 254}}},
    };
    for (int mode : {kCurveStraight, kCurveSmooth}) {
        for (const ToneCurvePoints& set : sets) {
            ParamVector p{};
            for (int k = 0; k < 3; ++k)
                p[std::size_t(3 + k)] = encode_tone_point(set[std::size_t(k)]);
            p[10] = mode;
            Plane plane = every_value();
            apply_tone_curve_kernel(every_value_ref(plane), 1, p);  // the green triple
            const ToneCurve curve = build_tone_curve(mode, tone_points(set));
            int mismatches = 0;
            for (int v = 0; v < 65536; ++v)
                mismatches += plane[std::size_t(v)] != to_sample(eval_tone_curve(curve, v));
            EXPECT_EQ(mismatches, 0) << "mode " << mode << " first point " << set[0].in;
        }
    }
}

TEST(ToneCurve, EngineCodeOneMapsEachPlaneWithItsTriple) {
    auto wb = make_workbench();
    wb->table[0] = make_image(5, 3, [](int, int x, int) { return x * 256; });
    wb->table.current_slot = 0;
    ParamVector& p = wb->params;
    const int32_t identity[3] = {0, 128128, 255255};
    const int32_t flat_128[3] = {128, 128128, 255128};  // every input maps to 32768
    const int32_t flat_64[3] = {64, 128064, 255064};    // every input maps to 16384
    for (int k = 0; k < 3; ++k) {
        p[std::size_t(k)] = identity[k];
        p[std::size_t(3 + k)] = flat_128[k];
        p[std::size_t(6 + k)] = flat_64[k];
    }
    p[9] = 0;
    p[10] = kCurveStraight;
    apply_operation(*wb, 0, 1);
    const ImageRecord& r = wb->table[0];
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(sample(r, 0, x, 1), x == 0 ? 0 : x * 256 - 1) << x;  // v − 1 in segment 1
        EXPECT_EQ(sample(r, 1, x, 1), 32768);
        EXPECT_EQ(sample(r, 2, x, 1), 16384);
    }
}

// ---- level ------------------------------------------------------------------------------

LevelSet level(int in_low, int in_high, int brightness, int contrast, int gamma, int out_low,
               int out_high) {
    return {in_low, in_high, brightness, contrast, gamma, out_low, out_high};
}

struct LevelCase {
    const char* what;
    LevelSet set;
    int32_t in;
    uint16_t out;
};

TEST(ToneLevel, MappingFollowsTheFiveSteps) {
    const LevelSet plain = level(0, 255, 0, 0, 100, 0, 255);
    // contrast +100: d = 255·100/200 = 127 → input range 127..128 (r = 256). Below 32512
    // n ≤ 0 gives p ≈ 4e-13 and 0; 32640 is half way (p = 0.5); from 32768 p = 1.
    const LevelSet sharp = level(0, 255, 0, 100, 100, 0, 255);
    // in_high 254: d = 127 → in_low = in_high = 127, r ≤ 0 → 1e-10. Every n/r is then 1
    // (n ≤ 0 is also 1e-10) or more, so every input maps to out_high × 256.
    const LevelSet collapsed = level(0, 254, 0, 100, 100, 0, 255);
    // contrast −100: e = 127 → output range 127..128.
    const LevelSet dull = level(0, 255, 0, -100, 100, 0, 255);
    // contrast −50: e = 255·50/200 = 63 (63.75 truncated) → output range 63..192.
    const LevelSet half_dull = level(0, 255, 0, -50, 100, 0, 255);
    // contrast +50: d = 200·50/200 = 50 → input range 50..150 (r = 25600).
    const LevelSet half_sharp = level(0, 200, 0, 50, 100, 0, 255);
    const LevelCase cases[] = {
        {"+100 low", sharp, 0, 0},
        {"+100 below middle", sharp, 32512, 0},
        {"+100 middle", sharp, 32640, 32640},
        {"+100 above middle", sharp, 32768, 65280},
        {"+100 top", sharp, 65535, 65280},
        {"+100 collapsed low", collapsed, 0, 65280},
        {"+100 collapsed high", collapsed, 65535, 65280},
        {"-100 low", dull, 0, 32512},
        {"-100 middle", dull, 32640, 32640},
        {"-100 white", dull, 65280, 32768},
        {"-100 top", dull, 65535, 32768},
        {"-50 low", half_dull, 0, 16128},
        {"-50 white", half_dull, 65280, 49152},
        {"+50 quarter", half_sharp, 50 * 256 + 6400, 16320},  // p = 0.25 → 65280/4
        {"above the white point", level(0, 200, 0, 0, 100, 10, 100), 60000, 25600},
        {"top above the white point", plain, 65535, 65280},
        {"never above 65535", level(0, 255, 0, 0, 100, 0, 300), 65535, 65535},
        {"gamma 2.00", level(0, 255, 0, 0, 200, 0, 255), 16320, 32640},  // √0.25 = 0.5
        {"gamma 0.50", level(0, 255, 0, 0, 50, 0, 255), 32640, 16320},   // 0.5² = 0.25
        {"brightness", level(0, 256, 64, 0, 100, 0, 256), 0, 16384},     // n/r = 16384/65536
        {"below the black point", level(100, 255, 0, 0, 100, 20, 255), 100, 5120},
    };
    for (const LevelCase& c : cases) EXPECT_EQ(to_sample(level_map(c.in, c.set)), c.out) << c.what;
    // The default set is the identity up to rounding.
    for (int32_t v : {1, 1000, 32768, 65280}) EXPECT_NEAR(level_map(v, plain), v, 1e-6) << v;
}

TEST(ToneLevel, HostileSetsStayInRange) {
    const LevelSet sets[] = {
        level(0, 255, 0, 0, 0, 0, 255),    // exponent 100/0
        level(0, 255, 0, 0, -50, 0, 255),  // negative exponent
        level(255, 0, 0, 0, 100, 255, 0),  // reversed ranges
        level(INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, 1, INT32_MIN, INT32_MAX),
        level(0, 255, 0, INT32_MAX, 100, 0, 255),
    };
    for (const LevelSet& s : sets)
        for (int32_t v : {0, 1, 32768, 65535}) {
            const double m = level_map(v, s);
            EXPECT_FALSE(std::isnan(m));
            EXPECT_LE(m, 65535.0);
        }
}

TEST(ToneLevel, LookupTableGivesTheSameSamplesAsDirectEvaluation) {
    const LevelSet sets[] = {
        level(0, 255, 0, 0, 100, 0, 255),      level(10, 200, 30, 40, 170, 5, 250),
        level(0, 255, -100, -60, 35, 20, 220), level(50, 51, 0, 0, 400, 0, 255),
        level(0, 254, 0, 100, 100, 0, 255),    level(3, 250, 255, -100, 1, 0, 255),
    };
    for (const LevelSet& s : sets) {
        Plane plane = every_value();
        apply_level(every_value_ref(plane), s);
        int mismatches = 0;
        for (int v = 0; v < 65536; ++v)
            mismatches += plane[std::size_t(v)] != to_sample(level_map(v, s));
        EXPECT_EQ(mismatches, 0) << s.in_low << " " << s.contrast << " " << s.gamma;
    }
}

// ---- dynamic range ----------------------------------------------------------------------

DynamicRangeSettings hdr(int radius, int tone_difference, int strength) {
    return {radius, tone_difference, strength};
}

TEST(ToneDynamicRange, BlockImageClampsToTheLastRowAndColumn) {
    // 1 × 1: sixteen copies of (10, 20, 31): (16·61/3)/16 = 325/16 → 20.
    EXPECT_EQ(dynamic_range_blocks(
                  make_image(1, 1, [](int c, int, int) { return c == 0   ? 10
                                                                : c == 1 ? 20
                                                                         : 31; })),
              Plane({20}));
    // 3 × 2, R = G = v, B = v + 1 with rows (100, 200, 300) and (1000, 2000, 3000): column 2
    // counts twice, row 1 three times: Σ(3v + 1) = 3·27900 + 16 = 83716, /3 = 27905,
    // /16 = 1744.
    const int rows[2][3] = {{100, 200, 300}, {1000, 2000, 3000}};
    EXPECT_EQ(dynamic_range_blocks(make_image(
                  3, 2, [&](int c, int x, int y) { return rows[y][x] + (c == 2 ? 1 : 0); })),
              Plane({1744}));
    // 5 × 7, v = x + 10·y: blocks 2 × 2; the right column of blocks is four copies of
    // column 4, the top row of blocks uses rows 4, 5, 6, 6.
    // (0,0): (24 + 240)/16 = 16; (1,0): (64 + 240)/16 = 19; (0,1): (24 + 840)/16 = 54;
    // (1,1): (64 + 840)/16 = 56.
    EXPECT_EQ(dynamic_range_blocks(make_image(5, 7, [](int, int x, int y) { return x + 10 * y; })),
              Plane({16, 19, 54, 56}));
}

TEST(ToneDynamicRange, ToneDifferenceZeroLeavesTheImageUnchanged) {
    for (int radius : {4, 8, 32}) {
        ImageRecord r = noisy_image(19, 13, 7u);
        const ImageRecord original = r;
        dynamic_range(r, hdr(radius, 0, 10));
        EXPECT_EQ(r.red, original.red) << radius;
        EXPECT_EQ(r.green, original.green) << radius;
        EXPECT_EQ(r.blue, original.blue) << radius;
    }
}

// Radius 4 (r = 1), defaults otherwise: T = 8192, k = 5·64/40 = 8. The phase offsets are
// (0.31, 0.10, −0.10, −0.31). For pixel (3, 0) (offsets −0.31 across, +0.31 down) the
// positive weights are: column −1: 0.1878; column 0: 1.4278, 1.8078, 0.1878; column +1:
// 1.0478, 1.4278 (sum 6.0868).
TEST(ToneDynamicRange, HandComputedValuesWithRadiusFour) {
    // 8 × 4: left block 8000, right block 16000 (R = G = B).
    ImageRecord r = make_image(8, 4, [](int, int x, int) { return x < 4 ? 8000 : 16000; });
    dynamic_range(r, hdr(4, 32, 5));
    struct Case {
        int x, y;
        uint16_t out;
    };
    const Case cases[] = {
        // M = (3.6112·8000 + 2.4756·16000)/6.0868 = 11253.729, d = −3253.729,
        // f = 1 + (8192 − 3253.729)·d·8·2⁻¹⁶/8256 = 0.762427 → 6099.418.
        {3, 0, 6099},
        {4, 0, 17930},  // M = 12746.271, new 17930.513
        {0, 0, 7768},   // M = 8246.829, new 7768.031
        {3, 2, 6125},   // M = 11129.546, new 6125.986
    };
    for (const Case& c : cases)
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(sample(r, ch, c.x, c.y), c.out) << c.x << "," << c.y;
}

// 4 × 4, one block: all pixels 10000 except (1, 2) at 12000. Block = (15·10000 + 12000)/16
// = 10125, and every M is 10125 up to rounding (the weights sum to one).
TEST(ToneDynamicRange, FactorRules) {
    struct Case {
        const char* what;
        DynamicRangeSettings settings;
        uint16_t bright;  // the 12000 pixel
        uint16_t rest;    // the 10000 pixels
    };
    const Case cases[] = {
        // d = 1875: f = 1 + 6317·1875·8·2⁻¹⁶/12256 = 1.1179705 → 13415.646;
        // d = −125: f = 1 − 8067·125·8·2⁻¹⁶/10256 → 9879.980.
        {"defaults", hdr(8, 32, 5), 13415, 9879},
        // k = 64/72 as a fraction (an integer quotient would be 0 and change nothing):
        // d = 1875, T = 16384 → 12361.276; d = −125 → 9973.122.
        {"fractional k", hdr(8, 64, 1), 12361, 9973},
        // T = 256: d = 1875 ≥ T keeps the pixel; d = −125: f = 1 − 131·125·(320/9)·2⁻¹⁶/10256
        // → 9991.338.
        {"beyond the tone difference", hdr(8, 1, 5), 12000, 9991},
    };
    for (const Case& c : cases) {
        ImageRecord r =
            make_image(4, 4, [](int, int x, int y) { return x == 1 && y == 2 ? 12000 : 10000; });
        dynamic_range(r, c.settings);
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_EQ(sample(r, ch, 1, 2), c.bright) << c.what;
            EXPECT_EQ(sample(r, ch, 3, 0), c.rest) << c.what;
        }
    }
}

TEST(ToneDynamicRange, MonoImageUsesTheFirstPlaneForAllThree) {
    // Green and blue hold values that must not count.
    ImageRecord r = make_image(4, 4, [](int c, int x, int y) {
        if (c > 0) return 500 + c * 7000;
        return x == 1 && y == 2 ? 12000 : 10000;
    });
    r.mono = 1;
    dynamic_range(r, hdr(8, 32, 5));
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_EQ(sample(r, ch, 1, 2), 13415) << ch;
        EXPECT_EQ(sample(r, ch, 0, 0), 9879) << ch;
    }
    EXPECT_EQ(r.mono, 1);
}

TEST(ToneDynamicRange, ImagesSmallerThanOneBlockRowOrColumn) {
    // 3 × 2 (block 1744 as above): pixel (0,0) has L = 301/3, d = −1643.67, and the factor
    // is negative, so all three samples are limited to 0. Pixel (2,1): L = 9001/3,
    // d = 1256.33, f = 1.3266437 → 3979.93 (R, G) and 3981.26 (B).
    const int rows[2][3] = {{100, 200, 300}, {1000, 2000, 3000}};
    ImageRecord small =
        make_image(3, 2, [&](int c, int x, int y) { return rows[y][x] + (c == 2 ? 1 : 0); });
    dynamic_range(small, hdr(4, 32, 5));
    EXPECT_EQ(sample(small, 0, 0, 0), 0);
    EXPECT_EQ(sample(small, 2, 0, 0), 0);
    EXPECT_EQ(sample(small, 0, 2, 1), 3979);
    EXPECT_EQ(sample(small, 1, 2, 1), 3979);
    EXPECT_EQ(sample(small, 2, 2, 1), 3981);

    // 5 × 7, v = 1000·x + 3000·y: blocks 6000, 8500 / 17250, 19750.
    ImageRecord tall = make_image(5, 7, [](int, int x, int y) { return 1000 * x + 3000 * y; });
    dynamic_range(tall, hdr(4, 32, 5));
    EXPECT_EQ(sample(tall, 0, 4, 6), 23931);  // M = 17027.023, new 23931.640
    EXPECT_EQ(sample(tall, 1, 2, 3), 10906);  // M = 11096.521, new 10906.786
    EXPECT_EQ(sample(tall, 2, 0, 0), 0);

    // 1 × 1: the block is the pixel itself, so d is at most a rounding error.
    ImageRecord one = make_image(1, 1, [](int c, int, int) { return 10000 + 150 * c; });
    dynamic_range(one, hdr(32, 128, 10));
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(sample(one, c, 0, 0), 10000 + 150 * c, 1) << c;
}

TEST(ToneDynamicRange, OutOfRangeSettingsDoNotBreakIt) {
    const DynamicRangeSettings settings[] = {
        hdr(0, 32, 5),         hdr(-40, 32, 5),
        hdr(1000, 32, 5),  // radius limited to 4..32
        hdr(8, -8, 5),     // T < 0 and a zero divisor
        hdr(8, 32, INT32_MAX), hdr(8, INT32_MAX / 512, 5),
    };
    for (const DynamicRangeSettings& s : settings) {
        ImageRecord r = noisy_image(9, 6, 3u);
        dynamic_range(r, s);
        EXPECT_EQ(r.red.size(), 54u);
        EXPECT_EQ(r.width, 9);
    }
    // Negative tone difference: every factor is 1.
    ImageRecord r = noisy_image(9, 6, 3u);
    const ImageRecord original = r;
    dynamic_range(r, hdr(8, -8, 5));
    EXPECT_EQ(r.red, original.red);

    ImageRecord empty;
    dynamic_range(empty, hdr(8, 32, 5));
    EXPECT_TRUE(empty.red.empty());
    EXPECT_TRUE(dynamic_range_blocks(empty).empty());
}

// ---- band scheduling --------------------------------------------------------------------

// Every banded operation gives the same samples when the four bands run one after another
// on the caller and when they run on their threads.
TEST(ToneBands, SerialAndParallelRunsAgree) {
    using Operation = void (*)(ImageRecord&);
    const Operation operations[] = {
        [](ImageRecord& r) {
            ParamVector p{};
            p[0] = 10050, p[1] = 120100, p[2] = 250230, p[10] = kCurveSmooth;
            apply_tone_curve_kernel({r.red.data(), r.width, r.height}, 0, p);
        },
        [](ImageRecord& r) {
            ParamVector p{};
            p[6] = 30000, p[7] = 30128, p[8] = 255255, p[10] = kCurveStraight;
            apply_tone_curve_kernel({r.blue.data(), r.width, r.height}, 2, p);
        },
        [](ImageRecord& r) {
            apply_level({r.green.data(), r.width, r.height}, level(10, 200, 30, 40, 170, 5, 250));
        },
        [](ImageRecord& r) { dynamic_range(r, hdr(4, 32, 5)); },
        [](ImageRecord& r) { dynamic_range(r, hdr(8, 100, 10)); },
        [](ImageRecord& r) { dynamic_range(r, hdr(32, 16, 3)); },
        [](ImageRecord& r) {
            r.mono = 1;
            dynamic_range(r, hdr(20, 64, 7));
        },
    };
    int index = 0;
    for (Operation op : operations) {
        for (int h : {1, 3, 37}) {
            ImageRecord serial = noisy_image(23, h, 11u + uint32_t(h));
            ImageRecord parallel = serial;
            {
                SerialBandsScope scope;
                op(serial);
            }
            op(parallel);
            EXPECT_EQ(serial.red, parallel.red) << index << " h " << h;
            EXPECT_EQ(serial.green, parallel.green) << index << " h " << h;
            EXPECT_EQ(serial.blue, parallel.blue) << index << " h " << h;
        }
        ++index;
    }
}

// ---- preview histograms -----------------------------------------------------------------

TEST(TonePreview, HistogramsSampleTheGridAndCountBins) {
    // 250 × 205: every 3rd pixel (250/100 + 1) of every 3rd row (205/100 + 1): 84 × 69 samples.
    // Sampled pixels hold 40000, all others 100.
    ImageRecord r = make_image(250, 205, [](int c, int x, int y) {
        if (c == 1) return 20000;
        return x % 3 == 0 && y % 3 == 0 ? 40000 : 100;
    });
    PreviewHistogram counters;
    counters.fill(99);
    // Contrast +100 sends 40000 to 65280 (bin 255) and 100 to 0.
    level_histogram(r, counters, level(0, 255, 0, 100, 100, 0, 255), 0);
    EXPECT_EQ(counters[255], 84u * 69u);
    EXPECT_EQ(counters[0], 0u);
    uint32_t total = 0;
    for (uint32_t n : counters) total += n;
    EXPECT_EQ(total, 84u * 69u);  // cleared first

    // Green through the default straight curve: 20000 → 19999, bin 78.
    const ToneCurve curve = curve_from_levels(kCurveStraight, {0, 0}, {128, 128}, {255, 255});
    curve_histogram(r, counters, curve, 1);
    EXPECT_EQ(counters[78], 84u * 69u);

    // A plane number other than 0..2 leaves the counters untouched.
    for (int plane : {-1, 3, 100}) {
        PreviewHistogram untouched;
        untouched.fill(7);
        curve_histogram(r, untouched, curve, plane);
        level_histogram(r, untouched, level(0, 255, 0, 0, 100, 0, 255), plane);
        for (uint32_t n : untouched) ASSERT_EQ(n, 7u) << plane;
    }

    // Small images sample every pixel.
    ImageRecord tiny = make_image(3, 2, [](int, int x, int) { return x * 256 * 100 + 128; });
    curve_histogram(tiny, counters, curve, 2);
    EXPECT_EQ(counters[0], 2u);    // 128 → 127
    EXPECT_EQ(counters[100], 2u);  // 25728 → 25727
    EXPECT_EQ(counters[200], 2u);  // 51328 (segment 2) → 51328
}

}  // namespace
}  // namespace vora
