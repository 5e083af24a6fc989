#include "ui/rotate_command.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "core/edit_commands.h"
#include "core/image_table.h"
#include "test_support.h"
#include "ui/command_table.h"

namespace vora {
namespace {

using test::make_image;
using test::sample;

TEST(RotateCommand, ParsesTheAngleEdit) {
    struct Case {
        const char* text;
        int32_t hundredths;
    } cases[] = {
        {"12", 1200},
        {"12.5", 1250},
        {"12.34", 1234},
        {"12.349", 1234},
        {"  -1.5", -150},
        {"+3", 300},
        {"-0.05", -5},
        {".5", 50},
        {"3a", 0},
        {"1 2", 0},
        {"", 0},
        {"-", 0},
        {"7.", 700},
        {"7.x5", 700},
        {"7.5x", 750},
        {"99999999999999", INT32_MAX},
        {"-99999999999999", INT32_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_angle(c.text), c.hundredths) << c.text;
}

TEST(RotateCommand, FormatsTheAngle) {
    struct Case {
        int32_t hundredths;
        const char* text;
    } cases[] = {
        {0, "0.00"}, {1250, "12.50"}, {-5, "-0.05"}, {-9000, "-90.00"}, {INT32_MIN, "-21474836.48"},
        {7, "0.07"}};
    for (const Case& c : cases) EXPECT_EQ(format_angle(c.hundredths), c.text) << c.hundredths;
}

class RotateCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wb = test::make_workbench();
        wb->table.current_slot = 0;
        wb->table[0] = picture();
    }
    // 3 x 2: row 0 = 0 1 2, row 1 = 10 11 12.
    static ImageRecord picture() {
        return make_image(3, 2, [](int, int x, int y) { return 10 * y + x; });
    }
    std::unique_ptr<Workbench> wb;
};

TEST_F(RotateCommandTest, ModesChooseTheTurn) {
    struct Case {
        int32_t mode, angle;
        int32_t kept_angle;  // the setting after OK
        int width, bottom_left, bottom_right;
    } cases[] = {
        {0, 0, 9000, 2, 10, 0},      // left 90°: new row 0 = 10 0
        {1, 0, -9000, 2, 2, 12},     // right 90°: new row 0 = 2 12
        {2, 0, 18000, 3, 12, 10},    // 180°
        {3, 9000, 9000, 2, 10, 0},   // typed 90.00 takes the exact path
        {4, 1234, 1234, 3, 2, 0},    // left-right flip ignores the angle
        {5, 1234, 1234, 3, 10, 12},  // top-bottom flip
    };
    for (const Case& c : cases) {
        wb->table[0] = picture();
        wb->settings.rotate = {c.mode, c.angle};
        EXPECT_TRUE(rotate_command(*wb, [] { return true; }).ok()) << c.mode;
        const ImageRecord& r = wb->table[0];
        EXPECT_EQ(wb->settings.rotate.angle, c.kept_angle) << c.mode;
        ASSERT_EQ(r.width, c.width) << c.mode;
        EXPECT_EQ(sample(r, 1, 0, 0), c.bottom_left) << c.mode;
        EXPECT_EQ(sample(r, 1, r.width - 1, 0), c.bottom_right) << c.mode;
        EXPECT_EQ(r.undo_available, 1) << c.mode;
    }
}

TEST_F(RotateCommandTest, CancelMemoryAndAllImages) {
    wb->settings.rotate = {0, 0};
    rotate_command(*wb, [] { return false; });
    EXPECT_EQ(wb->table[0].width, 3);  // cancelled

    const uint64_t two_copies = 2 * wb->table[0].sample_count() * 6;
    wb->table.available_memory = [two_copies] { return two_copies; };
    EXPECT_FALSE(rotate_command(*wb).ok());  // three copies are needed
    EXPECT_EQ(wb->table[0].width, 3);
    wb->table.available_memory = system_available_memory;

    wb->table[5] = picture();
    wb->table.all_images_mode = 1;
    EXPECT_TRUE(rotate_command(*wb).ok());
    EXPECT_EQ(wb->table[0].width, 2);
    EXPECT_EQ(wb->table[5].width, 2);
    EXPECT_EQ(sample(wb->table[5], 0, 0, 0), 10);

    EXPECT_TRUE(undo_command(wb->table).ok());  // undo restores the old size
    EXPECT_EQ(wb->table[0].width, 3);
    EXPECT_EQ(wb->table[0].height, 2);
}

TEST_F(RotateCommandTest, AnyAngleThroughTheEngine) {
    wb->table[0] = make_image(10, 10, [](int, int, int) { return 1000; });
    wb->settings.rotate = {3, 4500};
    EXPECT_TRUE(rotate_command(*wb).ok());
    EXPECT_EQ(wb->table[0].width, 14);
    EXPECT_EQ(wb->params[0], 45000);  // the engine leaves the angle in thousandths
    EXPECT_EQ(sample(wb->table[0], 2, 7, 7), 1000);
}

TEST_F(RotateCommandTest, HasItsRowInTheCommandTable) {
    const CommandRow* row = find_command(305);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row->menu_label, "回転(&T)");
    EXPECT_EQ(find_cli_operation("rotate"), row);
    EXPECT_STREQ(row->settings_keyword, "round");
}

}  // namespace
}  // namespace vora
