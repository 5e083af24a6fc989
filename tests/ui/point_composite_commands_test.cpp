// The composites aligned by points at the command level: the B point rules, the messages,
// and what reaches the engine.
#include "ui/point_composite_commands.h"

#include <gtest/gtest.h>

#include "composite/stack.h"
#include "core/image_table.h"
#include "test_support.h"
#include "ui/point_rules.h"

namespace vora {
namespace {

using test::make_image;

TEST(CompleteBPoints, Rules) {
    struct Case {
        std::vector<AlignPoints> in, out;
        bool completed;
    };
    const Case cases[] = {
        // Every B set and distinct from its A: nothing changes.
        {{{1, 2, 30, 40}, {5, 6, 70, 80}}, {{1, 2, 30, 40}, {5, 6, 70, 80}}, false},
        // One B equal to its A: it counts as missing, so every B becomes A + (100, 100).
        {{{1, 2, 30, 40}, {5, 6, 5, 6}}, {{1, 2, 101, 102}, {5, 6, 105, 106}}, true},
        // One B left at (0, 0).
        {{{1, 2, 0, 0}, {5, 6, 70, 80}}, {{1, 2, 101, 102}, {5, 6, 105, 106}}, true},
    };
    for (const Case& c : cases) {
        std::vector<AlignPoints> p = c.in;
        EXPECT_EQ(complete_b_points(p), c.completed);
        for (std::size_t i = 0; i < p.size(); ++i) {
            EXPECT_EQ(p[i].b_x, c.out[i].b_x);
            EXPECT_EQ(p[i].b_y, c.out[i].b_y);
        }
    }
}

TEST(MarkedPoints, DisplayCoordinatesAndUnsetMarks) {
    ImageRecord r = test::occupied_record();
    r.height = 50;
    r.point_a_x = 7;
    r.point_a_y = 40;  // stored row 40 is display row 9
    const AlignPoints p = marked_points(r);
    EXPECT_EQ(p.a_x, 7);
    EXPECT_EQ(p.a_y, 9);
    EXPECT_EQ(p.b_x, 0);
    EXPECT_EQ(p.b_y, 0);
}

class PointCommands : public test::CommandTest {
  protected:
    void add(int slot, ImageRecord r) {
        r.name = "img" + std::to_string(slot);
        wb->table[slot] = std::move(r);
    }
    std::string label(int slot) { return list_label(wb->table, slot, LabelStyle::composite); }
    static ImageRecord gradient(int w, int h, int base) {
        return make_image(w, h,
                          [base](int c, int x, int y) { return base + 100 * c + 9 * x + 5 * y; });
    }
};

TEST_F(PointCommands, ByPointNeedsTwoImages) {
    add(0, gradient(20, 10, 1000));
    CompositeSettings& s = wb->settings.composite;
    s.images = {label(0), "", "", ""};
    EXPECT_EQ(point_composite_command(*wb).messages.at(0).text, msg::kTooFewImages);
    s.images = {label(0), "05(gone)", "", ""};  // a slot without a picture is not an image
    EXPECT_EQ(point_composite_command(*wb).messages.at(0).text, msg::kTooFewImages);
}

TEST_F(PointCommands, ByPointWithShiftStacksWithoutRejection) {
    add(0, gradient(20, 10, 1000));
    add(1, gradient(20, 10, 30000));
    CompositeSettings& s = wb->settings.composite;
    s.images = {label(0), label(1), "", ""};
    s.weights = {100, 50, 100, 100};
    s.points = {AlignPoints{2, 3, 15, 8}, AlignPoints{2, 3, 15, 8}, {}, {}};
    s.reject_mode = kRejectNoise;
    s.normalize = 0;
    s.shift_x = 5;
    ASSERT_TRUE(point_composite_command(*wb).ok());
    EXPECT_EQ(wb->params[2], -1);
    ImageRecord expected;
    expected.width = 25;
    expected.height = 10;
    stack_images(kStackAverage, {{&wb->table[0], 0, 0, 100}, {&wb->table[1], 5, 0, 50}}, expected,
                 -1, false);
    EXPECT_EQ(wb->table.current_slot, 2);
    EXPECT_TRUE(test::same_pixels(wb->table[2], expected));
    EXPECT_EQ(wb->table[2].changed, 1);
}

TEST_F(PointCommands, ByPointCompletesMissingBAndResetsThem) {
    add(0, gradient(20, 10, 1000));
    add(1, gradient(20, 10, 2000));
    CompositeSettings& s = wb->settings.composite;
    s.images = {label(0), label(1), "", ""};
    s.points = {AlignPoints{2, 3, 15, 8}, AlignPoints{4, 3, 0, 0}, {}, {}};
    ASSERT_TRUE(point_composite_command(*wb).ok());
    EXPECT_EQ(wb->params[7], pack_point(102, 103));
    EXPECT_EQ(wb->params[11], pack_point(104, 103));
    // Translation only: image 2 moves 2 columns left against image 1.
    EXPECT_EQ(wb->table[2].width, 22);
    for (const AlignPoints& p : s.points) EXPECT_EQ(p.b_x + p.b_y, 0);
    EXPECT_EQ(s.points[1].a_x, 4);
}

TEST_F(PointCommands, LrgbWithBLeftUnsetAlignsByTranslation) {
    add(0, gradient(30, 20, 1000));
    add(1, gradient(30, 20, 3000));
    wb->settings.lrgb = {label(0), label(1)};
    wb->settings.composite.points[0] = {10, 10, 0, 0};
    wb->settings.composite.points[1] = {13, 12, 0, 0};
    ASSERT_TRUE(lrgb_command(*wb).ok());
    const ParamVector& p = wb->params;
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 100);
    EXPECT_EQ(p[3], pack_point(110, 110));
    for (int g = 1; g < 4; ++g) {
        EXPECT_EQ(p[std::size_t(4 * g)], 1);
        EXPECT_EQ(p[std::size_t(4 * g + 3)], pack_point(113, 112));
    }
    EXPECT_EQ(wb->table.current_slot, 2);
    EXPECT_EQ(wb->table[2].width, 33);
    EXPECT_EQ(wb->table[2].height, 22);
}

TEST_F(PointCommands, LrgbMessages) {
    add(0, gradient(30, 20, 1000));
    struct Case {
        std::string l, rgb;
        const char* message;
    };
    const Case cases[] = {
        {"", label(0), msg::kNoLImage},
        {label(0), "(none)", msg::kNoRgbImage},
        {label(0), "07(closed)", msg::kNoImageChosen},
        {"300(x)", label(0), msg::kNoImageChosen},
    };
    for (const Case& c : cases) {
        wb->settings.lrgb = {c.l, c.rgb};
        const CommandResult r = lrgb_command(*wb);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.messages.at(0).text, c.message);
    }
}

TEST_F(PointCommands, LrgbFourNeedsColourImagesAndResetsCompletedPoints) {
    for (int s = 0; s < 3; ++s) add(s, gradient(30, 20, 1000 * (s + 1)));
    CompositeSettings& s = wb->settings.composite;
    s.images = {"", label(0), label(1), ""};
    EXPECT_EQ(lrgb4_command(*wb).messages.at(0).text, msg::kNoRgbImages);

    s.images = {"", label(0), label(1), label(2)};
    s.points = {AlignPoints{}, AlignPoints{5, 5, 25, 15}, AlignPoints{5, 5, 25, 15},
                AlignPoints{5, 5, 5, 5}};
    ASSERT_TRUE(lrgb4_command(*wb).ok());
    EXPECT_EQ(wb->params[0], -1);
    EXPECT_EQ(wb->params[1], 0);
    EXPECT_EQ(wb->params[7], pack_point(105, 105));
    EXPECT_EQ(wb->table.current().width, 30);
    for (const AlignPoints& p : s.points) EXPECT_EQ(p.b_x + p.b_y, 0);
}

}  // namespace
}  // namespace vora
