#include "composite/auto_composite.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "composite/star_field.h"
#include "core/engine.h"
#include "settings/composite_settings.h"
#include "test_support.h"

namespace vora {
namespace {

using test::sample;
using test::star_image;

constexpr int kTarget = 10;

// Small images need texture everywhere, or many offsets would tie with the true one.
ImageRecord textured(int w, int h) {
    return test::make_image(w, h, [](int c, int x, int y) {
        const uint32_t v =
            (uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u) ^ (uint32_t(c) * 83492791u);
        return int(1000 + v % 50000);
    });
}

struct Run {
    int range = 4;
    int mode = kStackAverage;
    int method = kCompareSlow;
    int normalize = 0;
    int min_shift = 0;
    int rejection = -1;
    int shift_x = 0, shift_y = 0;
    std::vector<std::pair<int, int>> groups;  // slot, weight
};

// Fills the vector as the command does and runs engine code 3 into slot kTarget.
void run_code3(Workbench& wb, const Run& r) {
    ParamVector& p = wb.params;
    p.fill(0);
    p[0] = p[1] = r.range;
    p[2] = r.mode;
    p[3] = r.method + 3 * r.normalize + 256 * r.min_shift;
    for (std::size_t g = 0; g < 4; ++g) {
        p[4 + g] = g < r.groups.size() ? r.groups[g].first : -1;
        p[8 + g] = g < r.groups.size() ? r.groups[g].second : 0;
    }
    p[15] = r.rejection;
    p[16] = r.shift_x;
    p[17] = r.shift_y;
    apply_operation(wb, kTarget, 3);
}

TEST(AutoComposite, FewerThanTwoUsableImagesLeaveTheTargetEmpty) {
    auto wb = test::make_workbench();
    wb->table[0] = star_image({0, 0}, 40, 30);
    wb->table[1] = star_image({1, 1}, 40, 30);
    wb->table[2] = star_image({0, 0}, 40, 30);
    wb->table[2].red.resize(5);  // a broken record
    const std::vector<std::vector<std::pair<int, int>>> cases = {
        {{0, 100}},
        {{0, 100}, {1, 0}},          // weight 0
        {{0, 100}, {kTarget, 100}},  // the target itself
        {{0, 100}, {5, 100}},        // empty slot
        {{0, 100}, {300, 100}},      // no such slot
        {{0, 100}, {-1, 100}},
        {{0, 100}, {2, 100}},
        {{-1, 100}, {1, -5}, {0, 100}},
    };
    for (const auto& groups : cases) {
        run_code3(*wb, {.groups = groups});
        EXPECT_EQ(wb->table[kTarget].width, 0) << groups.size();
        EXPECT_TRUE(wb->table[kTarget].red.empty());
    }
}

TEST(AutoComposite, CanvasHoldsTheAlignedImages) {
    auto wb = test::make_workbench();
    const ImageRecord a = star_image({0, 0}), b = star_image({3, -2});
    wb->table[0] = a;
    wb->table[3] = b;
    run_code3(*wb, {.min_shift = 1, .groups = {{0, 100}, {3, 100}}});
    // The second image sits 3 right and 2 down: the first at (0, 2), the second at (3, 0).
    const ImageRecord& t = wb->table[kTarget];
    ASSERT_EQ(t.width, 203);
    ASSERT_EQ(t.height, 162);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(sample(t, c, 0, 100), sample(a, c, 0, 98));       // the first alone
        EXPECT_EQ(sample(t, c, 202, 100), sample(b, c, 199, 100));  // the second alone
        EXPECT_EQ(sample(t, c, 100, 80), sample(a, c, 100, 78));    // both, equal
        EXPECT_EQ(sample(t, c, 202, 161), 0);                       // neither
    }

    // Identical images with the minimum shift: one pixel apart, the canvas one pixel larger
    // in that direction.
    wb->table[3] = a;
    run_code3(*wb, {.min_shift = 1, .groups = {{0, 100}, {3, 100}}});
    const int grow_x = t.width - 200, grow_y = t.height - 160;
    EXPECT_TRUE((grow_x == 1 || grow_y == 1) && grow_x <= 1 && grow_y <= 1) << grow_x << grow_y;
}

TEST(AutoComposite, CompositeShiftSpreadsTheImages) {
    auto wb = test::make_workbench();
    const ImageRecord a = textured(40, 30);
    for (int s : {0, 1, 2}) wb->table[s] = a;
    run_code3(*wb, {.range = 20, .shift_x = 10, .groups = {{0, 100}, {1, 100}, {2, 100}}});
    // Offsets 0, 10 and 20; no rejection, so the middle is the plain mean of three pixels.
    const ImageRecord& t = wb->table[kTarget];
    ASSERT_EQ(t.width, 60);
    ASSERT_EQ(t.height, 30);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(sample(t, c, 5, 10), sample(a, c, 5, 10));
        EXPECT_EQ(sample(t, c, 55, 10), sample(a, c, 35, 10));
        EXPECT_EQ(sample(t, c, 25, 10),
                  (sample(a, c, 25, 10) + sample(a, c, 15, 10) + sample(a, c, 5, 10)) / 3);
    }
}

TEST(AutoComposite, CanvasIsCappedAndImagesBeyondAreCutOff) {
    auto wb = test::make_workbench();
    const ImageRecord a = textured(10, 10);
    for (int s : {0, 1, 2}) wb->table[s] = a;
    run_code3(*wb, {.range = 20,
                    .mode = kStackSum,
                    .shift_x = 6000,
                    .groups = {{0, 100}, {1, 100}, {2, 100}}});
    const ImageRecord& t = wb->table[kTarget];
    ASSERT_EQ(t.width, 10000);
    ASSERT_EQ(t.height, 10);
    ASSERT_EQ(t.red.size(), 100000u);
    EXPECT_EQ(sample(t, 1, 6005, 5), sample(a, 1, 5, 5));  // the second image
    EXPECT_EQ(sample(t, 1, 9999, 5), 0);                   // the third starts at 12000

    // Hostile entries: huge ranges and shift, unknown mode, method and flags from p[3] = −1.
    run_code3(*wb, {.range = INT_MAX,
                    .mode = 99,
                    .method = -1,
                    .rejection = INT_MAX,
                    .shift_x = INT_MAX,
                    .groups = {{0, INT_MAX}, {1, 100}}});
    EXPECT_EQ(wb->table[kTarget].width, 10000);
    EXPECT_EQ(wb->table[kTarget].height, 10);
}

TEST(AutoComposite, MonoSourceAndMethodZero) {
    auto wb = test::make_workbench();
    const ImageRecord a = star_image({0, 0});
    ImageRecord mono = star_image({3, -2});
    mono.mono = 1;
    mono.green.clear();
    mono.blue.clear();
    wb->table[0] = a;
    wb->table[1] = mono;
    // Method 0 (what 3 mod 3 gives) compares like the slow method.
    run_code3(*wb, {.method = 0, .groups = {{0, 100}, {1, 100}}});
    const ImageRecord& t = wb->table[kTarget];
    ASSERT_EQ(t.width, 203);
    ASSERT_EQ(t.height, 162);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(sample(t, c, 202, 100), sample(mono, 0, 199, 100)) << c;
}

}  // namespace
}  // namespace vora
