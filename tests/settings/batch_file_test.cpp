#include "settings/batch_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>

#include "test_support.h"

namespace vora {
namespace {

using test::read_file;
using test::TempDir;
using test::write_file;

// Every step away from the defaults, with extreme integers and awkward texts.
BatchRecipe busy_recipe() {
    BatchRecipe r;
    const int32_t ops[kBatchSteps] = {2, 6, 0, 12, 16, 4, 13, 3};
    for (int i = 0; i < kBatchSteps; ++i) {
        BatchStep& s = r.steps[std::size_t(i)];
        s.operation = s.stored_operation = ops[i];
        for (int k = 0; k < kStepValues; ++k) s.values[std::size_t(k)] = i * 1000 - k * 37;
    }
    r.steps[1].values[0] = INT32_MIN;
    r.steps[1].values[31] = INT32_MAX;
    r.steps[7].save_extension = ".PNG";
    r.steps[7].save_folder = "/home/user/My Pictures/out put";
    r.steps[3].save_folder = "a \"quoted\" name";
    r.steps[4].save_extension = "word";
    return r;
}

std::string text_of(const BatchRecipe& r) {
    std::string t;
    EXPECT_TRUE(batch_file_text(r, t));
    return t;
}

void expect_same_steps(const BatchRecipe& a, const BatchRecipe& b) {
    for (int i = 0; i < kBatchSteps; ++i) {
        const BatchStep& x = a.steps[std::size_t(i)];
        const BatchStep& y = b.steps[std::size_t(i)];
        EXPECT_EQ(x.operation, y.operation) << i;
        EXPECT_EQ(y.stored_operation, y.operation) << i;
        EXPECT_EQ(x.values, y.values) << i;
        EXPECT_EQ(x.save_extension, y.save_extension) << i;
        EXPECT_EQ(x.save_folder, y.save_folder) << i;
    }
}

TEST(BatchFile, WrittenAndReadBackRestoresEveryStep) {
    const BatchRecipe r = busy_recipe();
    std::stringstream io;
    ASSERT_TRUE(write_batch_file(io, r));
    BatchRecipe back;
    ASSERT_TRUE(read_batch_file(io, back));
    expect_same_steps(r, back);
}

TEST(BatchFile, WriterUsesThirtyFiveLinesPerStep) {
    BatchRecipe r;
    r.steps[7].save_extension = ".JPG";
    r.steps[7].save_folder = "/tmp/a b";
    const std::string t = text_of(r);
    std::string expected;
    for (int i = 0; i < kBatchSteps; ++i) {
        expected += i == 0 ? "1\n" : i == 7 ? "3\n" : "0\n";
        for (int k = 0; k < 32; ++k) expected += "0\n";
        expected += i == 7 ? "\".JPG\"\n\"/tmp/a b\"\n" : "\"\"\n\"\"\n";
    }
    EXPECT_EQ(t, expected);
}

TEST(BatchFile, ReadsAFileWrittenByHand) {
    // Step 1 composites, step 2 rotates, step 8 saves; Windows line ends; the rest of the
    // steps are missing and keep what they held.
    std::string t = "2\r\n";
    for (int k = 0; k < 32; ++k) t += std::to_string(k == 0 ? 15 : k == 12 ? 64 : 0) + "\r\n";
    t += "\"\"\r\n\"\"\r\n";
    t += "10\r\n-3\r\n4500\r\n";
    for (int k = 2; k < 32; ++k) t += "0\r\n";
    t += "bmp\r\n\"C:/my files\"\r\n";
    BatchRecipe r;
    r.steps[4].operation = kStepNoise;
    ASSERT_TRUE(read_batch_text(t, r));
    EXPECT_EQ(r.steps[0].operation, kStepOpenComposite);
    EXPECT_EQ(r.steps[0].stored_operation, kStepOpenComposite);
    EXPECT_EQ(r.steps[0].values[0], 15);
    EXPECT_EQ(r.steps[0].values[12], 64);
    EXPECT_EQ(r.steps[1].operation, kStepRotate);
    EXPECT_EQ(r.steps[1].values[0], -3);
    EXPECT_EQ(r.steps[1].values[1], 4500);
    EXPECT_EQ(r.steps[1].save_extension, "bmp");
    EXPECT_EQ(r.steps[1].save_folder, "C:/my files");
    EXPECT_EQ(r.steps[4].operation, kStepNoise);
    EXPECT_EQ(r.steps[7].operation, kStepSave);
}

TEST(BatchFile, HostileTextsAreRefusedAndChangeNothing) {
    const std::string good = text_of(BatchRecipe{});
    std::string bad_op = good;
    bad_op[0] = '6';  // step 1 cannot process
    const std::string step = good.substr(0, good.size() / 8);
    const std::string step2 = good.substr(step.size(), step.size());
    const char* cases[] = {
        "",
        "  \n\n",
        "abc",
        "1\n2\n3\n",     // cut short
        "2147483648\n",  // beyond 32 bits
        "99\n",
        "1\n12abc\n",
    };
    const BatchRecipe original = busy_recipe();
    const std::string before = text_of(original);
    std::vector<std::string> texts(std::begin(cases), std::end(cases));
    texts.push_back(bad_op);
    texts.push_back(step + "0\n");                              // second step cut short
    texts.push_back(step + step2.substr(0, step2.size() - 4));  // its folder missing
    texts.push_back(std::string("1\n") + std::string(40, '-') + "\n");
    for (const std::string& t : texts) {
        BatchRecipe r = original;
        EXPECT_FALSE(read_batch_text(t, r)) << t.substr(0, 40);
        EXPECT_EQ(text_of(r), before);
    }
    std::istringstream huge(std::string(kBatchFileLimit + 10, ' '));
    BatchRecipe r = original;
    EXPECT_FALSE(read_batch_file(huge, r));
}

TEST(BatchFile, NameAndFilesOnDisk) {
    EXPECT_EQ(batch_file_name("test"), "test.vrb");
    EXPECT_EQ(batch_file_name("test.vrb"), "test.vrb");
    EXPECT_EQ(batch_file_name("test.VRB"), "test.VRB.vrb");
    TempDir dir;
    const std::string path = (dir.path() / "r.vrb").string();
    const BatchRecipe r = busy_recipe();
    ASSERT_TRUE(save_batch_file(r, path).ok());
    BatchRecipe back;
    ASSERT_TRUE(load_batch_file(back, path).ok());
    expect_same_steps(r, back);
    BatchRecipe broken = r;
    broken.steps[7].save_folder = "a\rb";
    EXPECT_FALSE(save_batch_file(broken, path).ok());
    EXPECT_EQ(read_file(path), text_of(r));  // the old file is intact
    EXPECT_FALSE(load_batch_file(back, (dir.path() / "none.vrb").string()).ok());
    write_file(path, "garbage");
    EXPECT_FALSE(load_batch_file(back, path).ok());
}

}  // namespace
}  // namespace vora
