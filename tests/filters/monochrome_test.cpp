#include "filters/monochrome.h"

#include <gtest/gtest.h>

#include <climits>

#include "core/bands.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

TEST(Monochrome, MethodsOnOnePixel) {
    struct Case {
        int32_t method;
        int32_t w[3];
        int r, g, b;
        int expected;
    };
    const Case cases[] = {
        {kMonoLargest, {0, 0, 0}, 100, 50000, 3000, 50000},
        {kMonoSmallest, {0, 0, 0}, 100, 50000, 3000, 100},
        // (12·299 + 6250·587 + 375·114) / 1000 × 8 = 3715 × 8
        {kMonoStandard, {299, 587, 114}, 100, 50000, 3000, 29720},
        {kMonoManual, {0, 0, 0}, 65535, 65535, 65535, 0},  // divisor 1, every product 0
        {kMonoManual, {1, 0, 0}, 65535, 0, 0, 65528},      // 8191 × 8
        {kMonoManual, {0, 2, 2}, 0, 801, 1607, 1200},      // (100·2 + 200·2) / 4 × 8
        {kMonoManual, {-1, 0, 0}, 65535, 0, 0, 0},         // negative result limited to 0
        {kMonoManual, {INT_MAX, INT_MAX, INT_MAX}, 65535, 65535, 65535, 65528},
        {kMonoManual, {1, 1, -3}, 65535, 65535, 0, 65535},  // divisor 1: limited to 65535
    };
    for (const Case& k : cases) {
        ImageRecord r = make_image(2, 1, [&](int c, int, int) {
            return c == 0 ? k.r : c == 1 ? k.g : k.b;
        });
        monochrome_kernel(r, k.method, k.w[0], k.w[1], k.w[2]);
        for (int c = 0; c < 3; ++c)
            for (int x = 0; x < 2; ++x)
                EXPECT_EQ(sample(r, c, x, 0), k.expected) << k.method << " " << k.w[0];
    }
}

TEST(Monochrome, SerialBandsGiveTheSameResult) {
    const ImageRecord src = make_image(
        37, 23, [](int c, int x, int y) { return (x * 7919 + y * 104729 + c * 31) % 65536; });
    for (int32_t method : {0, 1, 2}) {
        ImageRecord a = src, b = src;
        monochrome_kernel(a, method, 299, 587, 114);
        {
            SerialBandsScope serial;
            monochrome_kernel(b, method, 299, 587, 114);
        }
        EXPECT_EQ(a.red, b.red);
        EXPECT_EQ(a.blue, b.blue);
    }
}

TEST(Monochrome, EmptyOrInconsistentRecordsAreLeftAlone) {
    ImageRecord empty;
    monochrome_kernel(empty, 0, 1, 1, 1);
    ImageRecord r = make_image(2, 2, [](int c, int, int) { return c * 1000; });
    r.green.resize(1);
    monochrome_kernel(r, 0, 1, 1, 1);
    EXPECT_EQ(r.blue[0], 2000);
}

}  // namespace
}  // namespace vora
