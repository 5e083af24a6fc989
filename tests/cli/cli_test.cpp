// vora-cli run as a separate process, as scripts use it.
#include <gtest/gtest.h>

#include <filesystem>

#include "io/bmp_pnm.h"
#include "test_support.h"

namespace vora {
namespace {

using namespace std::string_literals;
using test::TempDir;

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun run_cli(const TempDir& dir, const std::string& args) {
    const std::string out = dir.file("stdout.txt"), err = dir.file("stderr.txt");
    const int status =
        test::run_command(std::string(VORA_CLI_PATH) + " " + args + " >" + out + " 2>" + err);
    return {status, test::read_file(out), test::read_file(err)};
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

class CliTest : public ::testing::Test {
protected:
    // 3 × 2 picture: red = x × 256 + 0x100, green = 0xFF00 everywhere, blue = row × 0x4000.
    std::string write_sample(const std::string& name) {
        const ImageRecord img = test::make_image(3, 2, [](int c, int x, int y) {
            return c == 0 ? (x + 1) << 8 : c == 1 ? 0xFF00 : y * 0x4000;
        });
        const std::string path = dir.file(name);
        EXPECT_TRUE(write_bitmap(path, img).ok());
        return path;
    }
    TempDir dir;
};

TEST_F(CliTest, InfoPrintsOneJsonLinePerFile) {
    const std::string a = write_sample("a.bmp");
    const CliRun r = run_cli(dir, "info " + quoted(a) + " " + quoted(a));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string line =
        "{\"file\":\"" + a +
        "\",\"kind\":1,\"width\":3,\"height\":2,\"mono\":0,"
        "\"min\":[256,65280,0],\"max\":[768,65280,16384],\"mean\":[512,65280,8192],"
        "\"camera_make\":\"\",\"camera_model\":\"\",\"date_time\":\"\","
        "\"exposure_time\":[0,0],\"f_number\":[0,0],\"iso_speed\":0}\n";
    EXPECT_EQ(r.out, line + line);
}

TEST_F(CliTest, InfoReportsUnreadableFilesAndGoesOn) {
    const std::string good = write_sample("good.bmp");
    const CliRun r = run_cli(dir, "info " + quoted(dir.file("missing.bmp")) + " " + quoted(good) +
                                   " " + quoted(dir.file("what.xyz")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("good.bmp"), std::string::npos);
    EXPECT_NE(r.err.find("missing.bmp\" を開けませんでした！"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("what.xyz : VORA64 not support this format !"), std::string::npos);
}

TEST_F(CliTest, ConvertWritesTheRequestedTypeAndPrintsThePath) {
    const std::string in = write_sample("in.bmp");
    CliRun r = run_cli(dir, "convert " + quoted(in) + " " + quoted(dir.file("out.ppm")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("out.ppm") + "\n");
    // Binary 16-bit by default for .ppm: header then top row first.
    const std::string ppm = test::read_file(dir.file("out.ppm"));
    EXPECT_EQ(ppm.substr(0, 15), "P6\n3 2\n65535\n\x01\x00"s);

    r = run_cli(dir, "convert " + quoted(in) + " " + quoted(dir.file("text")) + " --type 7");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("text.PPM") + "\n");
    EXPECT_EQ(test::read_file(dir.file("text.PPM")),
              "P3\n3 2\n65535\n256 65280 16384 512 65280 16384 768 65280 16384 "
              "256 65280 0 512 65280 0 768 65280 0 ");
}

TEST_F(CliTest, ConvertFailuresExitOne) {
    const std::string in = write_sample("in.bmp");
    CliRun r = run_cli(dir, "convert " + quoted(dir.file("missing.bmp")) + " " +
                             quoted(dir.file("o.bmp")));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.bmp")));
    r = run_cli(dir, "convert " + quoted(in) + " " + quoted(dir.file("o.fits")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("can not save this format"), std::string::npos);
    r = run_cli(dir, "convert " + quoted(in) + " " + quoted(dir.file("nodir/o.bmp")));
    EXPECT_EQ(r.status, 1);
}

TEST_F(CliTest, UsageErrorsExitTwoAndHelpExitsZero) {
    EXPECT_EQ(run_cli(dir, "").status, 2);
    EXPECT_EQ(run_cli(dir, "frobnicate").status, 2);
    EXPECT_EQ(run_cli(dir, "info").status, 2);
    EXPECT_EQ(run_cli(dir, "convert a.bmp").status, 2);
    EXPECT_EQ(run_cli(dir, "convert a.bmp b.bmp --type 9").status, 2);
    EXPECT_EQ(run_cli(dir, "info a.bmp --dark 1 --dark 2 --dark 3 --dark 4 --dark 5").status, 2);
    const CliRun help = run_cli(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("convert"), std::string::npos);
    const CliRun convert_help = run_cli(dir, "convert --help");
    EXPECT_EQ(convert_help.status, 0);
    EXPECT_NE(convert_help.out.find("--type"), std::string::npos);
}

TEST_F(CliTest, SettingsAndDarkOptionsAreAccepted) {
    const std::string a = write_sample("a.bmp");
    const CliRun r = run_cli(dir, "info --settings x.vrs --dark " + quoted(a) + " " + quoted(a));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"width\":3"), std::string::npos);
}

TEST_F(CliTest, ReadsFilesOtherProgramsWrote) {
    const std::string samples = test::shared_samples_dir();
    if (samples.empty()) GTEST_SKIP() << "../shared/samples is not present";
    const CliRun r = run_cli(dir, "info " + quoted(samples + "/pnm/rgb-3c-16b.ppm") + " " +
                                   quoted(samples + "/bmp/g_rgb24.bmp"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"width\":157,\"height\":151"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"width\":127,\"height\":64"), std::string::npos) << r.out;
}

TEST_F(CliTest, ConvertedFilesReadTheSameInImageMagick) {
    const std::string convert = test::imagemagick_convert();
    if (convert.empty()) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) is not installed";
    const std::string in = write_sample("in.bmp");
    ASSERT_EQ(run_cli(dir, "convert " + quoted(in) + " " + quoted(dir.file("o.ppm"))).status, 0);
    ASSERT_EQ(test::run_command(convert + " " + quoted(dir.file("o.ppm")) + " -endian MSB -depth 16 rgb:" +
                                quoted(dir.file("o.rgb"))),
              0);
    const std::string rgb = test::read_file(dir.file("o.rgb"));
    ASSERT_EQ(rgb.size(), 3u * 2u * 6u);
    // Top row first, big-endian 16-bit: first pixel (0, top row 1) = 0x0100, 0xFF00, 0x4000.
    EXPECT_EQ(rgb.substr(0, 6), "\x01\x00\xff\x00\x40\x00"s);
}

}  // namespace
}  // namespace vora
