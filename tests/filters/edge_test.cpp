#include "filters/edge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/engine.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

constexpr int kEdgeCode = 5;

// ---- the rules written out pixel by pixel, as the reference for the fast kernels

struct Params {
    int threshold = 2560, strength = 10, split = 50, smooth = 10;
};

// Jointly, L = R + G + B decides and equal neighbours count as bright; otherwise each plane
// decides for itself and values equal to the centre count on neither side.
void reference(ImageRecord& r, bool joint, const Params& e) {
    const ImageRecord in = r;
    auto at = [&](int c, int x, int y) {
        return int(sample(in, c, std::clamp(x, 0, r.width - 1), std::clamp(y, 0, r.height - 1)));
    };
    auto pull = [](int mean, int weight, int p) {
        return (mean * weight + p * 10) / (weight + 10);
    };
    for (int g = 0; g < (joint ? 1 : 3); ++g) {
        const int first = joint ? 0 : g, last = joint ? 2 : g;
        auto decide = [&](int x, int y) {
            int s = 0;
            for (int c = first; c <= last; ++c) s += at(c, x, y);
            return s;
        };
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x) {
                const int lc = decide(x, y);
                int mn = 1 << 30, mx = 0, nb = 0, nd = 0, s9[3] = {}, sb[3] = {}, sd[3] = {};
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int l = decide(x + dx, y + dy);
                        mn = std::min(mn, l), mx = std::max(mx, l);
                        const bool bright = joint ? (dx || dy) && l >= lc : l > lc;
                        nb += bright, nd += l < lc;
                        for (int c = first; c <= last; ++c) {
                            const int v = at(c, x + dx, y + dy);
                            s9[c] += v, sb[c] += bright ? v : 0, sd[c] += l < lc ? v : 0;
                        }
                    }
                const int range = mx - mn;
                for (int c = first; c <= last; ++c) {
                    const int p = at(c, x, y);
                    int v = pull(s9[c] / 9, e.smooth, p);
                    if (range > (joint ? 3 : 1) * e.threshold) {
                        const bool bright = lc * 100 > range * e.split + mn * 100;
                        const int n = bright ? nb : nd, side = bright ? sb[c] : sd[c];
                        v = (bright ? nb > 2 : nd >= 3)
                                ? pull(side / n, e.strength, p)
                                : pull((side + s9[c]) / (n + 9), e.smooth, p);
                    }
                    r.plane(c)[std::size_t(y) * std::size_t(r.width) + std::size_t(x)] =
                        uint16_t(v);
                }
            }
    }
}

// ---- running the operation through the engine

class Edge : public ::testing::Test {
  protected:
    void SetUp() override { wb = test::make_workbench(); }
    ImageRecord& run(ImageRecord image, int mask, const Params& e = {}) {
        wb->table[0] = std::move(image);
        wb->params = {1, e.threshold, e.strength, e.split, e.smooth, mask};
        apply_operation(*wb, 0, kEdgeCode);
        return wb->table[0];
    }
    std::unique_ptr<Workbench> wb;
};

// A bright block (columns 1-2, rows 0-1) on a dark ground, 4 × 3.
int block(int x, int y, int bright) {
    return (x == 1 || x == 2) && y <= 1 ? bright : 0;
}

TEST_F(Edge, FlatImageIsUnchanged) {
    for (int mask : {4, 7}) {
        const ImageRecord& r = run(make_image(5, 4, [](int c, int, int) { return 30000 + c; }),
                                   mask, {0, 50, 100, 50});
        for (int c = 0; c < 3; ++c)
            EXPECT_TRUE(std::all_of(r.plane(c).begin(), r.plane(c).end(),
                                    [c](uint16_t v) { return v == 30000 + c; }));
    }
}

TEST_F(Edge, HighestThresholdOnlySmooths) {
    // A single spike of 9000 (R) / 18000 (G) in a 3 × 3 image: every neighbourhood holds the
    // spike once, so the mean is 1000 (R) / 2000 (G): (mean × 10 + P × 10) / 20.
    auto spike = [](int c, int x, int y) { return x == 1 && y == 1 && c < 2 ? 9000 * (c + 1) : 0; };
    for (int mask : {6, 7}) {
        const ImageRecord& r = run(make_image(3, 3, spike), mask, {65535, 50, 50, 10});
        EXPECT_EQ(sample(r, 0, 1, 1), 5000) << mask;
        EXPECT_EQ(sample(r, 0, 0, 0), 500) << mask;
        EXPECT_EQ(sample(r, 0, 1, 2), 500) << mask;
        EXPECT_EQ(sample(r, 1, 1, 1), 10000) << mask;
        EXPECT_EQ(sample(r, 1, 2, 1), 1000) << mask;
    }
}

TEST_F(Edge, TwoValuedImageSinglePlaneAgainstJoint) {
    // Pixel (1,1) is bright with three equal neighbours: the single-plane filter counts
    // none as brighter and smooths, (((0 + 40000) / 9) × 10 + 100000) / 20 = 7222; the joint
    // filter counts them as bright and keeps 30000 / 3 = 10000. Pixel (0,1) is dark with
    // no darker neighbour in both: ((20000 / 9) × 10 + 0) / 20 = 1111.
    auto img = [](int, int x, int y) { return block(x, y, 10000); };
    const ImageRecord single = run(make_image(4, 3, img), 4);
    EXPECT_EQ(sample(single, 0, 1, 1), 7222);
    EXPECT_EQ(sample(single, 0, 0, 1), 1111);
    const ImageRecord joint = run(make_image(4, 3, img), 7);
    EXPECT_EQ(sample(joint, 0, 1, 1), 10000);
    EXPECT_EQ(sample(joint, 0, 0, 1), 1111);
}

TEST_F(Edge, StrictlyBrighterOrDarkerNeighboursPullWithStrength) {
    // Centre 6000 under a row of 9000: bright side (600000 > 9000 × 50), three strictly
    // brighter: (27000 / 3 × 10 + 60000) / 20 = 7500. Centre 3000 above a row of 0 with 9000
    // around: dark side, three strictly darker: (0 + 30000) / 20 = 1500.
    const int up[3][3] = {{0, 0, 0}, {0, 6000, 0}, {9000, 9000, 9000}};
    const int down[3][3] = {{0, 0, 0}, {9000, 3000, 9000}, {9000, 9000, 9000}};
    auto centre = [&](const int(&v)[3][3]) {
        return sample(run(make_image(3, 3, [&](int, int x, int y) { return v[y][x]; }), 4), 0, 1,
                      1);
    };
    EXPECT_EQ(centre(up), 7500);
    EXPECT_EQ(centre(down), 1500);
}

TEST_F(Edge, RedAndGreenAloneAgainstAllThreeJointly) {
    // R: block 10000, G: flat 5000, B: block 4000. R and G alone: R as in the single-plane
    // case, G flat, B untouched. Jointly L is 19000 on the block and 5000 off it: the block
    // pixel keeps its values (three equal bright neighbours); the ground pixel (0,1) is on
    // the dark side with no darker neighbour: B = ((8000 / 9) × 10) / 20 = 444.
    auto img = [](int c, int x, int y) {
        return c == 1 ? 5000 : block(x, y, c == 0 ? 10000 : 4000);
    };
    const ImageRecord rg = run(make_image(4, 3, img), 6);
    EXPECT_EQ(sample(rg, 0, 1, 1), 7222);
    EXPECT_EQ(sample(rg, 0, 0, 1), 1111);
    EXPECT_EQ(sample(rg, 1, 0, 1), 5000);
    EXPECT_EQ(rg.blue, make_image(4, 3, img).blue);
    const ImageRecord all = run(make_image(4, 3, img), 7);
    EXPECT_EQ(sample(all, 0, 1, 1), 10000);
    EXPECT_EQ(sample(all, 2, 1, 1), 4000);
    EXPECT_EQ(sample(all, 0, 0, 1), 1111);
    EXPECT_EQ(sample(all, 1, 0, 1), 5000);
    EXPECT_EQ(sample(all, 2, 0, 1), 444);
}

TEST_F(Edge, FastKernelsMatchTheRulesOnAwkwardSizes) {
    std::mt19937 rng(7);
    const int sizes[][2] = {{1, 1}, {2, 3}, {3, 2}, {7, 5}, {1, 9}, {9, 1}, {64, 33}};
    for (const auto& s : sizes)
        for (int trial = 0; trial < 6; ++trial) {
            const int step = trial % 2 ? 21845 : 1;  // four levels only: many ties
            std::uniform_int_distribution<int> value(0, 65535 / step);
            const ImageRecord in =
                make_image(s[0], s[1], [&](int, int, int) { return value(rng) * step; });
            std::uniform_int_distribution<int> thr(0, 20000), st(0, 50), sp(0, 100);
            const Params e{thr(rng), st(rng), sp(rng), st(rng)};
            for (bool joint : {true, false}) {
                ImageRecord expected = in;
                reference(expected, joint, e);
                expected.green = joint ? expected.green : in.green;  // mask R + B
                EXPECT_TRUE(test::same_record(run(in, joint ? 7 : 5, e), expected))
                    << s[0] << "x" << s[1] << " trial " << trial << " joint " << joint;
            }
        }
}

TEST_F(Edge, KernelsClampHostileParametersAndIgnoreMissingPlanes) {
    ImageRecord r =
        make_image(6, 4, [](int c, int x, int y) { return (x * 9001 + y * 7 + c) % 65536; });
    ImageRecord expected = r;
    reference(expected, true, {0, 50, 100, 0});
    const ParamVector p{0, -5, 900, 1000, -1, 7};
    auto joint = [&](int green_width) {
        edge_enhance_joint({PlaneRef{r.red.data(), 6, 4}, PlaneRef{r.green.data(), green_width, 4},
                            PlaneRef{r.blue.data(), 6, 4}},
                           p);
    };
    joint(6);
    EXPECT_TRUE(test::same_record(r, expected));
    joint(5);  // sizes differ: nothing happens
    edge_enhance_plane({nullptr, 6, 4}, p);
    edge_enhance_plane({r.red.data(), 0, 4}, p);
    EXPECT_TRUE(test::same_record(r, expected));
}

}  // namespace
}  // namespace vora
