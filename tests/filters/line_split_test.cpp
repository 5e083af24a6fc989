#include "filters/line_split.h"

#include <gtest/gtest.h>

#include "core/engine.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

// Every sample of a row holds its row number (and the channel), so rows are easy to follow.
ImageRecord numbered(int w, int h) {
    return make_image(w, h, [](int c, int x, int y) { return 1000 * c + 10 * y + x % 2; });
}

// The source row each target row came from, read from the red plane.
std::vector<int> source_rows(const ImageRecord& r) {
    std::vector<int> rows;
    for (int y = 0; y < r.height; ++y) rows.push_back(sample(r, 0, 0, y) / 10);
    return rows;
}

class LineSplit : public ::testing::Test {
  protected:
    void SetUp() override { wb = test::make_workbench(); }
    const ImageRecord& run(const ImageRecord& source, int code) {
        wb->table[0] = source;
        release_slot(wb->table[1]);
        wb->params[0] = 0;
        apply_operation(*wb, 1, code);
        return wb->table[1];
    }
    std::unique_ptr<Workbench> wb;
};

TEST_F(LineSplit, RowPairsRepeatEvenOrOddSourceRows) {
    struct Case {
        int height;
        std::vector<int> even, odd;
    } cases[] = {
        {4, {0, 0, 2, 2}, {1, 1, 3, 3}},
        {5, {0, 0, 2, 2, 2}, {1, 1, 3, 3, 3}},  // the unpaired top row repeats the one below
        {1, {0}, {0}},                          // a single row is all there is
        {2, {0, 0}, {1, 1}},
    };
    for (const Case& c : cases) {
        const ImageRecord src = numbered(3, c.height);
        EXPECT_EQ(source_rows(run(src, 30)), c.even) << c.height;
        EXPECT_EQ(source_rows(run(src, 31)), c.odd) << c.height;
        const ImageRecord& out = wb->table[1];
        EXPECT_EQ(out.width, 3);
        for (int y = 0; y < c.height; ++y)  // every column and every plane follows the row
            for (int ch = 0; ch < 3; ++ch)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(sample(out, ch, x, y), 1000 * ch + sample(out, 0, 0, y) + x % 2);
    }
}

TEST_F(LineSplit, MismatchedTargetIsLeftAlone) {
    const ImageRecord src = numbered(3, 4);
    ImageRecord target = make_image(3, 3, [](int, int, int) { return 7; });
    const ImageRecord before = target;
    line_image(src, target, false);
    EXPECT_TRUE(test::same_record(target, before));
    ImageRecord broken = src;
    broken.blue.clear();
    target = make_image(3, 4, [](int, int, int) { return 7; });
    line_image(broken, target, true);
    EXPECT_EQ(target.red, make_image(3, 4, [](int, int, int) { return 7; }).red);
}

}  // namespace
}  // namespace vora
