#include "composite/align.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "composite/star_field.h"
#include "core/bands.h"

namespace vora {
namespace {

using test::star_image;

std::vector<Offset> offsets_of(int method, const std::vector<ImageRecord>& images, int range,
                               bool min_shift) {
    std::vector<const ImageRecord*> ptrs;
    for (const ImageRecord& r : images) ptrs.push_back(&r);
    return find_offsets(method, ptrs, range, range, min_shift);
}

// The first image at (0, 0), then one image per shift.
std::vector<ImageRecord> field_images(const std::vector<Offset>& shifts) {
    std::vector<ImageRecord> images{star_image({0, 0})};
    for (const Offset& s : shifts) images.push_back(star_image(s));
    return images;
}

// ---- cost of one candidate --------------------------------------------------------------

TEST(AlignmentCost, HandWorkedWindows) {
    struct Case {
        int method, w, h, dx, dy, level;
        std::vector<uint16_t> a, b;  // stored rows, row 0 first
        int32_t cost;
    };
    const Case cases[] = {
        // Whole 4 × 2 overlap (hw 2, hh 1). Row 0: q = 10, 2, −1, 1 → 106 / 2 / 2 = 26.
        // Row 1: q = 0, −1, 0, −100 (truncated towards zero) → 10001 / 2 / 2 = 2500.
        // (26 + 2500) / 1 / 2 = 1263.
        {2, 4, 2, 0, 0, 4, {640, 128, 0, 100, 0, 0, 0, 0}, {0, 0, 64, 0, 63, 127, 0, 6400}, 1263},
        // dx = 1 on width 3: A columns 1, 2 against B columns 0, 1 (A's 9999 and B's last
        // column are outside). Row 0: q = 10, 20 → 500 / 1 / 2 = 250; row 1: q = −100, −100
        // → 20000 / 2 = 10000. (250 + 10000) / 2 = 5125.
        {1, 3, 2, 1, 0, 1, {9999, 640, 1280, 0, 0, 0}, {0, 0, 9999, 6400, 6400, 0}, 5125},
        // dy = −1 on height 3: A rows 0, 1 against B rows 1, 2. Only A row 0 differs from B
        // row 1 (q = 50, 50): 5000 / 1 / 2 = 2500, then / 1 / 2 = 1250.
        {2, 2, 3, 0, -1, 4, {3200, 3200, 7, 7, 0, 0}, {9, 9, 0, 0, 7, 7}, 1250},
    };
    for (const Case& c : cases)
        EXPECT_EQ(alignment_cost(c.method, c.a.data(), c.b.data(), c.w, c.h, c.dx, c.dy, c.level),
                  c.cost)
            << c.w << "x" << c.h << " " << c.dx << "," << c.dy;
}

TEST(AlignmentCost, WindowIsCappedAroundTheCentre) {
    // 2 × 300, only row 30 differs (q = −100 in both columns: row value 20000 / 1 / 2 = 10000).
    const int w = 2, h = 300;
    std::vector<uint16_t> a(w * h, 0), b(w * h, 0);
    b[30 * w] = b[30 * w + 1] = 6400;
    struct Case {
        int method, level;
        int32_t cost;
    };
    const Case cases[] = {
        {1, 1, 0},   // T = 128: rows 86..213
        {2, 1, 39},  // T = 256: rows 22..277, 10000 / 128 / 2
        {2, 4, 33},  // T = 1024: all 300 rows, 10000 / 150 / 2
        {0, 1, 39},  // any other method compares like the slow one
    };
    for (const Case& c : cases)
        EXPECT_EQ(alignment_cost(c.method, a.data(), b.data(), w, h, 0, 0, c.level), c.cost)
            << c.method << " " << c.level;
}

TEST(AlignmentCost, LessThanTwoByTwoOverlapIsNoOverlap) {
    const std::vector<uint16_t> a(9, 100), b(9, 200);
    for (auto [dx, dy] : {std::pair{2, 0}, {-2, 0}, {0, 2}, {0, -2}, {3, 3}, {-40, 0}})
        EXPECT_EQ(alignment_cost(2, a.data(), b.data(), 3, 3, dx, dy, 4), 0x7F000000) << dx << dy;
    // A 2 × 2 overlap counts: q = −1 everywhere, rows 2 / 1 / 2 = 1, cost 2 / 1 / 2 = 1.
    EXPECT_EQ(alignment_cost(2, a.data(), b.data(), 3, 3, 1, 1, 0), 1);
}

// ---- the search ------------------------------------------------------------------------

TEST(FindOffsets, FindsKnownShiftsOfAStarField) {
    struct Case {
        int method, range;
        bool min_shift;
        std::vector<Offset> shifts;
    };
    const Case cases[] = {
        {2, 4, false, {{3, -2}}},                     // fine pass only
        {1, 4, false, {{3, -2}}},                     // fast window
        {2, 20, false, {{11, -7}}},                   // coarse pass first
        {1, 20, false, {{11, -7}, {-9, 13}}},         // three images
        {2, 20, true, {{11, -7}, {-9, 13}, {5, 5}}},  // four images
        {2, 5, false, {{6, 0}}},                      // range 5 has a coarse pass
        {2, 4, true, {{-4, 4}, {1, 0}, {0, -1}}},     // at the window's edge
    };
    for (const Case& c : cases) {
        std::vector<Offset> expected{{0, 0}};
        expected.insert(expected.end(), c.shifts.begin(), c.shifts.end());
        EXPECT_EQ(offsets_of(c.method, field_images(c.shifts), c.range, c.min_shift), expected)
            << "method " << c.method << " range " << c.range << " images " << expected.size();
    }
}

TEST(FindOffsets, RangeOfFourOrLessSkipsTheCoarsePass) {
    // A true shift of 6 lies outside the ±4 fine window around (0, 0).
    const std::vector<Offset> found = offsets_of(2, field_images({{6, 0}}), 4, false);
    EXPECT_NE(found[1], (Offset{6, 0}));
    EXPECT_LE(std::abs(found[1].x), 4);
    EXPECT_LE(std::abs(found[1].y), 4);
}

TEST(FindOffsets, MinimumShiftGivesIdenticalImagesDistinctOnePixelOffsets) {
    for (int count : {2, 3, 4}) {
        const std::vector<ImageRecord> images(std::size_t(count), star_image({0, 0}));
        const std::vector<Offset> found = offsets_of(2, images, 20, true);
        std::set<std::pair<int, int>> distinct;
        for (const Offset& o : found) distinct.insert({o.x, o.y});
        EXPECT_EQ(found[0], (Offset{0, 0}));
        EXPECT_EQ(distinct.size(), std::size_t(count)) << count;  // none at (0, 0) but the first
        for (const Offset& o : found) {
            EXPECT_LE(std::abs(o.x), 1);
            EXPECT_LE(std::abs(o.y), 1);
        }
        // Without the flag identical images stay where they are.
        EXPECT_EQ(offsets_of(2, images, 20, false), std::vector<Offset>(std::size_t(count)));
    }
}

TEST(FindOffsets, SameResultOnOneThread) {
    const std::vector<ImageRecord> shifted = field_images({{11, -7}, {-9, 13}, {2, 2}});
    const std::vector<ImageRecord> same(4, star_image({0, 0}));
    for (bool min_shift : {false, true})
        for (const auto* images : {&shifted, &same}) {
            const std::vector<Offset> threaded = offsets_of(1, *images, 20, min_shift);
            SerialBandsScope serial;
            EXPECT_EQ(offsets_of(1, *images, 20, min_shift), threaded);
        }
}

TEST(FindOffsets, OddInputsGiveZeroOffsetsOrStillWork) {
    const ImageRecord tiny = star_image({0, 0}, 1, 1), small = star_image({0, 0}, 3, 3);
    for (bool min_shift : {false, true}) {
        EXPECT_EQ(find_offsets(2, {&tiny, &tiny}, 20, 20, min_shift), std::vector<Offset>(2));
        EXPECT_EQ(find_offsets(2, {&small, &small, &small}, 4, 4, min_shift),
                  std::vector<Offset>(3));
    }
    const ImageRecord empty;
    const ImageRecord a = star_image({0, 0}), b = star_image({3, -2});
    EXPECT_EQ(find_offsets(2, {&a}, 20, 20, true), std::vector<Offset>(1));
    EXPECT_EQ(find_offsets(2, {&a, &empty}, 20, 20, true), std::vector<Offset>(2));
    EXPECT_EQ(find_offsets(2, {&a, nullptr}, 20, 20, true), std::vector<Offset>(2));
    // A negative range searches only (0, 0); hostile ranges end.
    EXPECT_EQ(find_offsets(2, {&a, &b}, -5, -5, false), std::vector<Offset>(2));
    // (A whole-image window lets a tiny overlap of flat sky win: only the end is checked.)
    const Offset far = find_offsets(2, {&a, &b}, INT_MAX, INT_MAX, false)[1];
    EXPECT_LT(std::abs(far.x), 200);
    EXPECT_LT(std::abs(far.y), 160);
    // Different sizes: the smaller image decides the compared region.
    const ImageRecord larger = star_image({3, -2}, 230, 171);
    EXPECT_EQ(find_offsets(2, {&a, &larger}, 20, 20, false)[1], (Offset{3, -2}));
    // A mono record without green and blue planes is read through its red plane.
    ImageRecord mono = star_image({3, -2});
    mono.mono = 1;
    mono.green.clear();
    mono.blue.clear();
    EXPECT_EQ(find_offsets(1, {&a, &mono}, 4, 4, false)[1], (Offset{3, -2}));
}

}  // namespace
}  // namespace vora
