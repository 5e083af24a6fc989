#include "io/raw_develop.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/bands.h"
#include "io/raw_develop_passes.h"
#include "test_support.h"

namespace vora {
namespace {

using test::has_samples;
using test::occupied_record;
using test::same_record;
using Values = std::vector<std::array<uint16_t, 4>>;

constexpr uint32_t kBayer = 0x94949494;  // any colour-filter code but 0 and 9

RawSensor make_sensor(int w, int h, uint32_t filters, Values values) {
    RawSensor s;
    s.width = w;
    s.height = h;
    s.filters = filters;
    s.values = std::move(values);
    return s;
}

// ---- tone curve ----

TEST(RawTone, KnotsGammaAndEnds) {
    struct Case {
        int32_t black, white;
        double gamma, x;
        int expected;
    };
    // At k1 = (b + 8) × 128 the curve is 1024, at k2 = (w − 4) × 256 it is 63488; then
    // 65535 × (y / 65535)^(1/g). Mid-way the cubic is ½·1024 + h·m1/8 + ½·63488 − h·s/8.
    const Case cases[] = {
        {5, 180, 2.2, 1664, 9896},   {3, 160, 2.2, 1408, 9896},   {0, 130, 2.2, 1024, 9896},
        {5, 180, 2.2, 45056, 64596}, {3, 160, 2.2, 39936, 64596}, {0, 130, 2.2, 32256, 64596},
        {5, 180, 4.0, 1664, 23170},  {5, 180, 4.0, 45056, 65017}, {5, 180, 1.0, 23360, 38389},
        {3, 160, 1.0, 20672, 38875}, {5, 180, 2.2, 0, 0},         {5, 180, 2.2, 65535, 65535},
        {0, 130, 1.0, 65535, 65535}, {5, 180, 1.0, 832, 256},  // toe: 1024 × ¼
    };
    for (const Case& c : cases)
        EXPECT_EQ(raw_tone_value(c.x, c.black, c.white, c.gamma), c.expected)
            << c.black << " " << c.white << " " << c.gamma << " x=" << c.x;
}

TEST(RawTone, ContinuousWithContinuousSlopeAtBothKnots) {
    for (double k : {1664.0, 45056.0}) {
        auto f = [](double x) { return int(raw_tone_value(x, 5, 180, 1.0)); };
        EXPECT_LE(std::abs(f(k + 0.01) - f(k - 0.01)), 1) << k;
        for (double d : {4.0, 16.0})
            EXPECT_LE(std::abs((f(k + d) - f(k)) - (f(k) - f(k - d))), 1) << k << " " << d;
    }
}

TEST(RawTone, HostileSettingsStayInRange) {
    EXPECT_EQ(raw_tone_value(0, -5, 1000, 0.0), 0);
    EXPECT_EQ(raw_tone_value(NAN, 5, 180, 2.2), 0);
    EXPECT_EQ(raw_tone_value(1e12, 5, 180, 2.2), 65535);
    EXPECT_EQ(raw_tone_value(1664, 5, 180, NAN), raw_tone_value(1664, 5, 180, 1.0));
    EXPECT_EQ(raw_tone_value(30000, 5, 9999, 2.2), raw_tone_value(30000, 5, 255, 2.2));
}

// ---- transfer ----

// RGGB, decoder rows from the top; r22 is a dead red pixel (0: no value, no weight).
RawSensor rggb_mosaic() {
    return make_sensor(3, 3, kBayer,
                       {{100, 0, 0, 0},
                        {0, 1000, 0, 0},
                        {200, 0, 0, 0},
                        {0, 2000, 0, 0},
                        {0, 0, 50, 0},
                        {0, 3007, 0, 0},
                        {300, 0, 0, 0},
                        {0, 4000, 0, 0},
                        {0, 0, 0, 0}});
}

ImageRecord transferred(RawSensor s) {
    ImageRecord r;
    r.width = s.width;
    r.height = s.height;
    const std::size_t n = s.values.size();
    r.red.resize(n), r.green.resize(n), r.blue.resize(n);
    Plane grey(n);
    raw_pass::transfer_planes(s, r.red, r.green, r.blue, grey);
    for (std::size_t i = 0; i < n; ++i)
        EXPECT_EQ(grey[i], (r.red[i] + r.green[i] + r.blue[i]) / 3 / 4);
    return r;
}

TEST(RawTransfer, FastInterpolationWeightsUpsideDown) {
    // Top row: R(8) | G: R (2·100+2·200)/4, G (8·1000+2000+3007)/10 | R.
    // Centre: R diagonals (100+200+300)/3, G 2·(1000+2000+3007+4000)/8.
    // Right edge: G (8·3007+1000+4000)/10. Bottom right: no red → 0; G (2·3007+2·4000)/4.
    EXPECT_TRUE(has_samples(transferred(rggb_mosaic()), 3, 3,
                            {{100, 1500, 50},
                             {150, 1300, 50},
                             {200, 2003, 50},
                             {200, 2100, 50},
                             {200, 2501, 50},
                             {200, 2905, 50},
                             {300, 3000, 50},
                             {300, 3700, 50},
                             {0, 3503, 50}}));
}

TEST(RawTransfer, OwnWeightFullColourAndSecondGreen) {
    // Two reds side by side: own weight 8 → (8·100+2·400)/10; X-Trans 16 → (16·100+2·400)/18.
    const Values reds = {{100, 0, 0, 0}, {400, 0, 0, 0}};
    EXPECT_TRUE(has_samples(transferred(make_sensor(2, 1, kBayer, reds)), 2, 1,
                            {{160, 0, 0}, {340, 0, 0}}));
    EXPECT_TRUE(has_samples(transferred(make_sensor(2, 1, kFiltersXTrans, reds)), 2, 1,
                            {{133, 0, 0}, {366, 0, 0}}));
    // Four-colour data: slot 3 is green: (8·90+2·30)/10, (8·30+2·90)/10.
    EXPECT_TRUE(has_samples(transferred(make_sensor(2, 1, kBayer, {{0, 0, 0, 90}, {0, 30, 0, 0}})),
                            2, 1, {{0, 78, 0}, {0, 42, 0}}));
    // Full colour: copied, upside down.
    EXPECT_TRUE(has_samples(transferred(make_sensor(1, 2, 0, {{1, 2, 3, 9}, {0, 5, 0, 9}})), 1, 2,
                            {{1, 2, 3}, {0, 5, 0}}));
}

// Every pixel of random mosaics (dead pixels, four-colour greens, X-Trans weights) against the
// rule: the weighted mean of each colour's non-zero values in the 3 × 3 square inside the image.
TEST(RawTransfer, EveryPixelIsTheWeightedMeanOfItsSquare) {
    uint32_t seed = 7;
    const auto next = [&seed](uint32_t mod) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % mod;
    };
    for (uint32_t filters : {kBayer, kFiltersXTrans}) {
        const int w = 13, h = 7;
        Values values;
        for (int i = 0; i < w * h; ++i) {
            std::array<uint16_t, 4> v{};
            if (next(10) != 0) v[next(4)] = uint16_t(next(65536));  // some pixels dead
            values.push_back(v);
        }
        const ImageRecord out = transferred(make_sensor(w, h, filters, values));
        const uint32_t own = filters == kFiltersXTrans ? 16 : 8;
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col) {
                uint32_t sum[3] = {}, weight[3] = {};
                for (int r = std::max(row - 1, 0); r <= std::min(row + 1, h - 1); ++r)
                    for (int c = std::max(col - 1, 0); c <= std::min(col + 1, w - 1); ++c) {
                        const auto& v = values[std::size_t(r * w + c)];
                        const uint32_t wt = r == row && c == col   ? own
                                            : r == row || c == col ? 2
                                                                   : 1;
                        const uint32_t rgb[3] = {v[0], v[1] ? v[1] : v[3], v[2]};
                        for (int k = 0; k < 3; ++k)
                            if (rgb[k]) sum[k] += wt * rgb[k], weight[k] += wt;
                    }
                const std::size_t i = std::size_t((h - 1 - row) * w + col);
                const Plane* planes[3] = {&out.red, &out.green, &out.blue};
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ((*planes[k])[i], weight[k] ? sum[k] / weight[k] : 0)
                        << "filters " << filters << " row " << row << " col " << col << " colour "
                        << k;
            }
    }
}

// ---- sharpening ----

struct SharpCase {
    int w, h;
    std::vector<std::array<int, 3>> set;  // x, plane row, value; everything else `fill`
    int fill, sharpness, radius, x, row, expected;
};

TEST(RawSharpen, HandComputedPixels) {
    const std::vector<std::array<int, 3>> peak = {{1, 1, 200}};  // 100 around it
    const SharpCase cases[] = {
        // centre: m 100, d 100, T 16, e 84 → 200 + 84·4/2
        {3, 3, peak, 100, 4, 0, 1, 1, 368},
        // corner: 3 neighbours, m 400/3 = 133; d −33, e −17 → 100 − 34
        {3, 3, peak, 100, 4, 0, 0, 0, 66},
        // edge: 5 neighbours, m 120; d −20, e −4 → 100 − 8
        {3, 3, peak, 100, 4, 0, 1, 0, 92},
        // sharpness 5 (T 12): corner e −21 → −105/2 = −52 toward zero
        {3, 3, peak, 100, 5, 0, 0, 0, 48},
        // sharpness 1 (T 28): edge d −20 smooths to (100+120)/2; corner e −5 → −2
        {3, 3, peak, 100, 1, 0, 1, 0, 110},
        {3, 3, peak, 100, 1, 0, 0, 0, 98},
        // limits 0..16383 (sharpness 8: T 0)
        {3, 3, {{1, 1, 16000}}, 0, 8, 0, 1, 1, 16383},
        {3, 3, {{1, 1, 0}}, 16000, 8, 0, 1, 1, 0},
        // radius 2, first row: 12 neighbours, corners of the 5×5 square (5000) left out:
        // m 240/12 = 20, d 80, T 28 → 100 + 52/2
        {5, 5, {{2, 0, 100}, {2, 2, 240}, {0, 2, 5000}, {4, 2, 5000}}, 0, 1, 1, 2, 0, 126},
        // radius 2, corner: 7 neighbours; m 140/7
        {5, 5, {{0, 0, 100}, {0, 2, 140}, {2, 2, 5000}}, 0, 1, 1, 0, 0, 126},
        // radius 2, inside: 20 neighbours; m 400/20
        {5, 5, {{2, 2, 100}, {2, 0, 400}, {0, 0, 5000}, {4, 4, 5000}}, 0, 1, 1, 2, 2, 126},
        // a lone pixel has no neighbours and keeps its value
        {1, 1, {{0, 0, 700}}, 0, 4, 1, 0, 0, 700},
    };
    for (const SharpCase& c : cases) {
        Plane grey(std::size_t(c.w * c.h), uint16_t(c.fill));
        for (const auto& s : c.set) grey[std::size_t(s[1] * c.w + s[0])] = uint16_t(s[2]);
        const raw_pass::GreySharpener sharp(grey, c.w, c.h, c.sharpness, c.radius);
        EXPECT_EQ(sharp.at(c.x, c.row), c.expected) << "sharpness " << c.sharpness << " radius "
                                                    << c.radius << " at " << c.x << "," << c.row;
    }
}

TEST(RawSharpen, SharpnessZeroCopies) {
    const Plane grey = {5, 900, 16383, 0, 77, 1};
    const raw_pass::GreySharpener sharp(grey, 3, 2, 0, 1);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sharp.at(i % 3, i / 3), grey[std::size_t(i)]);
}

// ---- colour pass ----

// The colour pass on planes of w × h; the grey plane is given, g' comes from it with
// `sharpness` (radius 1).
std::array<Plane, 3> color_pass(int w, int h, const std::array<Plane, 3>& in, const Plane& grey,
                                int sharpness, raw_pass::ColorParams p) {
    std::array<Plane, 3> out;
    for (Plane& o : out) o.resize(grey.size());
    const Plane* const src[3] = {&in[0], &in[1], &in[2]};
    Plane* const dst[3] = {&out[0], &out[1], &out[2]};
    raw_pass::color_pass(src, grey, raw_pass::GreySharpener(grey, w, h, sharpness, 0), w, h, p,
                         dst);
    return out;
}

struct ColorCase {
    std::array<int, 3> rgb;
    int grey;
    raw_pass::ColorParams p;
    std::array<int, 3> expected;
};

TEST(RawColor, HueSaturationOnOnePixel) {
    const ColorCase cases[] = {
        // h +12: R' (108·1200)/120, G' (108·600+12·1200)/120, B' 12·600/120; m 600, k 12
        {{1200, 600, 0}, 1, {0, 12, 0}, {1176, 672, 0}},
        // h −12: R' (108·1200+12·600)/120, G' 108·600/120, B' 12·1200/120
        {{1200, 600, 0}, 1, {0, -12, 0}, {1248, 528, 24}},
        // saturation 1 (k 15), m 57: 100+645/60, 50−105/60, 22−525/60 (toward zero)
        {{100, 50, 22}, 1, {0, 0, 1}, {110, 49, 14}},
        {{900, 800, 700}, 0, {0, 0, 3}, {0, 0, 0}},        // g = 0
        {{900, 800, 700}, 9, {4, 0, 0}, {900, 800, 700}},  // no neighbours to reduce with
    };
    for (const ColorCase& c : cases) {
        const std::array<Plane, 3> in = {Plane{uint16_t(c.rgb[0])}, Plane{uint16_t(c.rgb[1])},
                                         Plane{uint16_t(c.rgb[2])}};
        const auto out = color_pass(1, 1, in, {uint16_t(c.grey)}, 4, c.p);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(out[k][0], c.expected[k]) << c.rgb[0] << " " << k;
    }
}

TEST(RawColor, FalseColourReductionAndSharpeningCarried) {
    // f 2: (c + 2·S/n)/3. Centre S 400, n 8; corner S 160, n 3; edge S 240, n 5.
    const Plane r = {10, 20, 30, 40, 100, 60, 70, 80, 90}, ones(9, 1);
    for (const Plane& o : color_pass(3, 3, {r, r, r}, ones, 0, {2, 0, 0})) {
        EXPECT_EQ(o[4], 66);
        EXPECT_EQ(o[0], 38);  // (10 + 320/3)/3
        EXPECT_EQ(o[1], 38);  // (20 + 480/5)/3
    }
    // Grey peak 200 in 100: g' 368 at the centre (sharpness 4), so c × 368/200, limited.
    Plane grey(9, 100), colour(9, 300), bright(9, 60000);
    grey[4] = 200, colour[4] = 900;
    EXPECT_EQ(color_pass(3, 3, {colour, colour, colour}, grey, 4, {})[1][4], 1656);
    EXPECT_EQ(color_pass(3, 3, {bright, bright, bright}, grey, 4, {})[2][4], 65535);
}

// The colour pass pixel by pixel as the rules say, with g' from GreySharpener::at (whose
// hand-computed cases are above): the reference for the interior loops.
std::array<int, 3> reference_color(int w, int h, const std::array<Plane, 3>& in, const Plane& grey,
                                   const raw_pass::GreySharpener& sharp, raw_pass::ColorParams p,
                                   int x, int row) {
    const std::size_t i = std::size_t(row * w + x);
    if (grey[i] == 0) return {0, 0, 0};
    std::array<int, 3> c{in[0][i], in[1][i], in[2][i]};
    if (p.false_color > 0) {
        std::array<int, 3> sum{};
        int n = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx, ny = row + dy;
                if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                for (int k = 0; k < 3; ++k)
                    sum[std::size_t(k)] += in[std::size_t(k)][std::size_t(ny * w + nx)];
                ++n;
            }
        if (n > 0)
            for (int k = 0; k < 3; ++k)
                c[std::size_t(k)] = (c[std::size_t(k)] + sum[std::size_t(k)] * p.false_color / n) /
                                    (p.false_color + 1);
    }
    const int a = std::abs(p.hue_shift);
    const std::array<int, 3> before = c;
    for (int k = 0; k < 3; ++k) {
        const int from = p.hue_shift > 0 ? (k + 2) % 3 : (k + 1) % 3;
        c[std::size_t(k)] =
            ((120 - a) * before[std::size_t(k)] + a * before[std::size_t(from)]) / 120;
    }
    const int m = (c[0] + c[1] + c[2]) / 3, f = p.saturation * 15 + a;
    std::array<int, 3> out;
    for (int k = 0; k < 3; ++k) {
        const int64_t sat = c[std::size_t(k)] + (c[std::size_t(k)] - m) * f / 60;
        out[std::size_t(k)] =
            sat <= 0 ? 0 : int(std::min<int64_t>(sat * sharp.at(x, row) / grey[i], 65535));
    }
    return out;
}

TEST(RawColor, EveryPixelFollowsTheRulesForAllSettings) {
    const int w = 11, h = 9;
    uint32_t seed = 99;
    const auto next = [&seed](uint32_t mod) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % mod;
    };
    std::array<Plane, 3> in;
    Plane grey(std::size_t(w * h));
    for (std::size_t i = 0; i < grey.size(); ++i) {
        for (Plane& c : in) c.push_back(uint16_t(next(4) == 0 ? next(65536) : next(20000)));
        grey[i] = uint16_t(next(9) == 0 ? 0 : next(7) == 0 ? 16383 : 1 + next(16383));
    }
    for (int sharpness : {0, 3, 8})
        for (int radius : {0, 1})
            for (int f = 0; f <= 4; ++f)
                for (int hue : {-36, -7, 0, 5, 36})
                    for (int saturation : {0, 2, 4}) {
                        const raw_pass::ColorParams p{f, hue, saturation};
                        const raw_pass::GreySharpener sharp(grey, w, h, sharpness, radius);
                        std::array<Plane, 3> out;
                        for (Plane& o : out) o.resize(grey.size());
                        const Plane* const src[3] = {&in[0], &in[1], &in[2]};
                        Plane* const dst[3] = {&out[0], &out[1], &out[2]};
                        raw_pass::color_pass(src, grey, sharp, w, h, p, dst);
                        for (int row = 0; row < h; ++row)
                            for (int x = 0; x < w; ++x) {
                                const auto want = reference_color(w, h, in, grey, sharp, p, x, row);
                                for (int k = 0; k < 3; ++k)
                                    ASSERT_EQ(out[std::size_t(k)][std::size_t(row * w + x)],
                                              want[std::size_t(k)])
                                        << "x " << x << " row " << row << " colour " << k
                                        << " sharpness " << sharpness << " radius " << radius
                                        << " f " << f << " hue " << hue << " sat " << saturation;
                            }
                    }
}

// ---- whole development ----

TEST(RawDevelop, FullColourThroughToneCurveUpsideDown) {
    // Sharpness, false colour, hue and saturation all neutral: the planes are the tone curve.
    RawSettings st;
    st.sharpness = st.false_color = st.saturation = 0;
    RawSensor s =
        make_sensor(1, 3, 0, {{1664, 1408, 1024, 0}, {45056, 39936, 32256, 0}, {0, 0, 0, 0}});
    ImageRecord out = occupied_record();
    develop_fast(s, st, 0, out);
    EXPECT_TRUE(has_samples(out, 1, 3, {{9896, 9896, 9896}, {64596, 64596, 64596}, {0, 0, 0}}));
    EXPECT_EQ(out.mono, 0);
}

TEST(RawDevelop, BadOrTinySensorsAndHostileSettings) {
    for (RawSensor s : {make_sensor(0, 2, kBayer, {}), make_sensor(2, 2, kBayer, Values(3)),
                        make_sensor(-1, -1, 0, Values(1))}) {
        ImageRecord out = occupied_record();
        develop_fast(s, RawSettings{}, 0, out);
        EXPECT_TRUE(same_record(out, occupied_record()));
    }
    RawSettings hostile;
    hostile.sharpness = 99, hostile.sharp_radius = 7, hostile.false_color = INT_MAX;
    hostile.saturation = INT_MIN, hostile.gamma = {0.0, -3.0, 1e9};
    hostile.white_level = {0, 100000, -5};
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 5}, {5, 1}, {2, 2}}) {
        for (uint32_t filters : {0u, kBayer, kFiltersXTrans}) {
            for (int32_t hue : {INT_MIN, 0, INT_MAX}) {
                RawSensor s =
                    make_sensor(w, h, filters, Values(std::size_t(w * h), {65535, 7, 0, 0}));
                ImageRecord out;
                develop_fast(s, hostile, hue, out);
                EXPECT_TRUE(out.width == w && out.height == h &&
                            out.blue.size() == s.values.size());
            }
        }
    }
}

TEST(RawDevelop, SameResultOnOneThread) {
    for (uint32_t filters : {kBayer, kFiltersXTrans, 0u}) {
        for (int32_t radius : {0, 1}) {
            RawSensor s = make_sensor(37, 23, filters, {});
            for (int i = 0; i < 37 * 23; ++i) {
                const uint16_t v = uint16_t((i * 7919) % 60000 + 1);
                std::array<uint16_t, 4> px{v, uint16_t(v / 2), uint16_t(v / 3), 0};
                if (filters) px = {0, 0, 0, 0}, px[std::size_t(i % 3)] = v;
                s.values.push_back(px);
            }
            RawSettings st;
            st.sharp_radius = radius;
            RawSensor copy = s;
            ImageRecord banded, serial;
            develop_fast(s, st, 10, banded);
            {
                SerialBandsScope one_thread;
                develop_fast(copy, st, 10, serial);
            }
            EXPECT_TRUE(same_record(banded, serial)) << filters << " " << radius;
            EXPECT_EQ(s.values, copy.values);
        }
    }
}

}  // namespace
}  // namespace vora
