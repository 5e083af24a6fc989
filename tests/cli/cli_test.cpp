// vora-cli run as a separate process, as scripts use it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

#include "composite/star_field.h"
#include "io/bmp_pnm.h"
#include "test_support.h"

namespace vora {
namespace {

using test::quoted;
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
    CliRun r = run_cli(
        dir, "convert " + quoted(dir.file("missing.bmp")) + " " + quoted(dir.file("o.bmp")));
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

TEST_F(CliTest, AnImageLessItselfAsDarkFrameIsBlackAndAMissingSettingsFileFails) {
    const std::string a = write_sample("a.bmp");
    CliRun r = run_cli(dir, "info --dark " + quoted(a) + " " + quoted(a));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"width\":3,\"height\":2,\"mono\":0,\"min\":[0,0,0],\"max\":[0,0,0]"),
              std::string::npos)
        << r.out;
    r = run_cli(dir, "info --settings " + quoted(dir.file("none.vrs")) + " " + quoted(a));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("none.vrs"), std::string::npos);
}

// Reads a binary 16-bit PPM as written by our writer: samples in file order.
std::vector<uint16_t> ppm16_samples(const std::string& bytes, int& width, int& height) {
    std::istringstream header(bytes);
    std::string magic;
    int maximum = 0;
    header >> magic >> width >> height >> maximum;
    const std::size_t start = std::size_t(header.tellg()) + 1;
    std::vector<uint16_t> v;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2)
        v.push_back(uint16_t((uint8_t(bytes[i]) << 8) | uint8_t(bytes[i + 1])));
    return v;
}

TEST_F(CliTest, DarkFrameIsSubtractedWhileOpeningOrReportedWhenItDoesNotFit) {
    const std::string in = write_sample("in.bmp");
    const std::string dark = dir.file("dark.bmp");
    ASSERT_TRUE(
        write_bitmap(dark, test::make_image(3, 2,
                                            [](int c, int, int) {
                                                return c == 0 ? 0x200 : c == 1 ? 0x100 : 0x2000;
                                            }))
            .ok());
    CliRun r = run_cli(dir, "convert " + quoted(in) + " " + quoted(dir.file("out.ppm")) +
                                " --dark " + quoted(dark));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    int w = 0, h = 0;
    // Top row first; red (x + 1) × 256 − 512 stops at 0.
    EXPECT_EQ(ppm16_samples(test::read_file(dir.file("out.ppm")), w, h),
              (std::vector<uint16_t>{0, 0xFE00, 0x2000, 0, 0xFE00, 0x2000, 0x100, 0xFE00, 0x2000, 0,
                                     0xFE00, 0, 0, 0xFE00, 0, 0x100, 0xFE00, 0}));

    const std::string small = dir.file("small.bmp");
    ASSERT_TRUE(write_bitmap(small, test::make_image(2, 2, [](int, int, int) { return 0; })).ok());
    r = run_cli(dir, "convert " + quoted(in) + " " + quoted(dir.file("o.ppm")) + " --dark " +
                         quoted(small));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("ダーク補正できませんでした！"), std::string::npos) << r.err;
    EXPECT_EQ(test::read_file(dir.file("o.ppm")).substr(13, 2), "\x01\x00"s);  // uncorrected

    r = run_cli(dir, "info " + quoted(in) + " --dark " + quoted(small) + " --dark " + quoted(dark));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Error:ダークファイルのサイズが異なります！"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("ダーク補正できませんでした！"), std::string::npos) << r.err;
}

TEST_F(CliTest, ApplyLevelToAFileAnotherProgramWrote) {
    const std::string samples = test::shared_samples_dir();
    if (samples.empty()) GTEST_SKIP() << "../shared/samples is not present";
    const std::string pgm = samples + "/pnm/minisblack-1c-8b.pgm";  // P5 157 x 151, max 255
    // All colours: input 0..255, output 0..128: v = b × 256 maps to 32768 × b / 255.
    const CliRun r = run_cli(dir, "apply " + quoted(pgm) + " " + quoted(dir.file("o.ppm")) +
                                      " level --set lvl=0,0,255,0,0,100,0,128");
    ASSERT_EQ(r.status, 0) << r.err;
    int w = 0, h = 0;
    const std::vector<uint16_t> out = ppm16_samples(test::read_file(dir.file("o.ppm")), w, h);
    ASSERT_EQ(w, 157);
    ASSERT_EQ(h, 151);
    const std::string in = test::read_file(pgm);
    const std::size_t raster = in.size() - std::size_t(w) * std::size_t(h);
    ASSERT_EQ(out.size(), std::size_t(w) * std::size_t(h) * 3);
    for (std::size_t i = 0; i < std::size_t(w) * std::size_t(h); ++i) {
        const int b = uint8_t(in[raster + i]);
        const uint16_t expected = uint16_t(32768 * b / 255);
        ASSERT_EQ(out[3 * i], expected) << "pixel " << i << " input " << b;
        ASSERT_EQ(out[3 * i + 2], expected);
    }
}

TEST_F(CliTest, ApplyGammaPerChannelAndHdrWithoutToneDifference) {
    const std::string in = write_sample("in.bmp");
    // Straight segments (curve mode 0); the red set is (0,0) (128,64) (255,128), green and
    // blue keep the identity.
    CliRun r = run_cli(dir, "apply " + quoted(in) + " " + quoted(dir.file("g.ppm")) +
                                " gamma --channel r --set gamma=0,0,0,128,128,255,255,"
                                "0,0,128,64,255,128");
    ASSERT_EQ(r.status, 0) << r.err;
    int w = 0, h = 0;
    std::vector<uint16_t> out = ppm16_samples(test::read_file(dir.file("g.ppm")), w, h);
    // Top row first; first pixel: red 0x100 (in 1.0 level units: 256), green 0xFF00.
    // Red segment 0 is the constant y0 = 0 because P0 = 1 <= 255; 256 lies in segment 1,
    // the line through (1, 0) and (32768, 16384): (16384 / 32767) × 255 = 127.5... -> 127.
    EXPECT_EQ(out[0], 127);
    EXPECT_EQ(out[1], 0xFF00);  // green keeps the identity

    // Tone difference 0 leaves every sample as it was.
    r = run_cli(dir,
                "apply " + quoted(in) + " " + quoted(dir.file("h.ppm")) + " hdr --set hdr=8,0,5");
    ASSERT_EQ(r.status, 0) << r.err;
    out = ppm16_samples(test::read_file(dir.file("h.ppm")), w, h);
    EXPECT_EQ(out[0], 0x100);
    EXPECT_EQ(out[1], 0xFF00);
    EXPECT_EQ(out[2], 0x4000);
}

TEST_F(CliTest, ApplyRefusesWhatItCannotDo) {
    const std::string in = write_sample("in.bmp");
    const std::string o = quoted(dir.file("o.ppm"));
    EXPECT_EQ(run_cli(dir, "apply " + quoted(in) + " " + o + " blur").status, 2);
    EXPECT_EQ(run_cli(dir, "apply " + quoted(in) + " " + o + " gamma --channel x").status, 2);
    EXPECT_EQ(run_cli(dir, "apply " + quoted(in) + " " + o + " hdr --set nosuch=1").status, 2);
    EXPECT_EQ(run_cli(dir, "apply " + quoted(in) + " " + o + " hdr --set hdr=a,b").status, 2);
    EXPECT_EQ(run_cli(dir, "apply " + quoted(in) + " " + o + " hdr --set hdr=1,2,3,4").status, 2);
    EXPECT_EQ(run_cli(dir, "apply " + quoted(dir.file("none.bmp")) + " " + o + " hdr").status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.ppm")));
}

// Samples of colour c (0..2) of a 16-bit PPM, top row first.
std::vector<uint16_t> colour_of(const std::vector<uint16_t>& samples, int c) {
    std::vector<uint16_t> out;
    for (std::size_t i = std::size_t(c); i < samples.size(); i += 3) out.push_back(samples[i]);
    return out;
}

TEST_F(CliTest, ApplyDetailFiltersOnTheChosenPlanes) {
    const std::string in = write_sample("in.bmp");
    int w = 0, h = 0;
    const std::vector<uint16_t> before =
        ppm16_samples((run_cli(dir, "convert " + quoted(in) + " " + quoted(dir.file("in.ppm"))),
                       test::read_file(dir.file("in.ppm"))),
                      w, h);
    // Blue steps by 0x4000 between the rows, far above the smoothing range: sharpening moves
    // it; red and green, not chosen, stay as they are.
    for (const std::string op : {"sharpen", "edge"}) {
        SCOPED_TRACE(op);
        const CliRun r = run_cli(dir, "apply " + quoted(in) + " " + quoted(dir.file("f.ppm")) +
                                          " " + op + " --channels b");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<uint16_t> after = ppm16_samples(test::read_file(dir.file("f.ppm")), w, h);
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(colour_of(after, 0), colour_of(before, 0));
        EXPECT_EQ(colour_of(after, 1), colour_of(before, 1));
        if (op == "sharpen") {
            EXPECT_NE(colour_of(after, 2), colour_of(before, 2));
        }
    }
    // Haar (order 1) enlargement with all gains 1.0: every sample becomes a 2 × 2 block.
    CliRun r = run_cli(
        dir, "apply " + quoted(in) + " " + quoted(dir.file("w.ppm")) + " wavelet --set filter=1,1");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<uint16_t> big = ppm16_samples(test::read_file(dir.file("w.ppm")), w, h);
    ASSERT_EQ(w, 6);
    ASSERT_EQ(h, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(big[std::size_t((y * 6 + x) * 3 + c)],
                          before[std::size_t(((y / 2) * 3 + x / 2) * 3 + c)]);
}

TEST_F(CliTest, ApplyLinesWritesTheOddAndTheEvenLineImages) {
    const std::string in = write_sample("in.bmp");
    const CliRun r = run_cli(dir, "apply " + quoted(in) + " " + quoted(dir.file("odd.ppm")) +
                                      " lines --even " + quoted(dir.file("even.ppm")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("odd.ppm") + "\n" + dir.file("even.ppm") + "\n");
    int w = 0, h = 0;
    // Blue is 0 in the bottom row (row 0, even) and 0x4000 in the top row (row 1, odd); each
    // image repeats its row.
    const auto odd = colour_of(ppm16_samples(test::read_file(dir.file("odd.ppm")), w, h), 2);
    EXPECT_EQ(odd, std::vector<uint16_t>(6, 0x4000));
    const auto even = colour_of(ppm16_samples(test::read_file(dir.file("even.ppm")), w, h), 2);
    EXPECT_EQ(even, std::vector<uint16_t>(6, 0));
}

TEST_F(CliTest, ApplyFilterOptionsOnlyWhereTheyBelong) {
    const std::string in = write_sample("in.bmp");
    const std::string o = " " + quoted(dir.file("o.ppm")) + " ";
    for (const std::string args :
         {"sharpen --channels x", "sharpen --channels rr", "noise --channels r",
          "sharpen --even e.ppm", "edge --channels RGB"})
        EXPECT_EQ(run_cli(dir, "apply " + quoted(in) + o + args).status, 2) << args;
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.ppm")));
}

TEST_F(CliTest, ApplyResizeAndRotateTakeTheirSizesAndAngles) {
    const std::string in = write_sample("in.bmp");  // 3 × 2
    int w = 0, h = 0;
    const auto size_of = [&](const std::string& args) {
        const CliRun r =
            run_cli(dir, "apply " + quoted(in) + " " + quoted(dir.file("o.ppm")) + " " + args);
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        ppm16_samples(test::read_file(dir.file("o.ppm")), w, h);
        return std::pair{w, h};
    };
    EXPECT_EQ(size_of("resize --size 6x5 --method nearest"), (std::pair{6, 5}));
    EXPECT_EQ(size_of("resize --scale 300"), (std::pair{9, 6}));
    EXPECT_EQ(size_of("resize"), (std::pair{3, 2}));  // no new size: unchanged
    EXPECT_EQ(size_of("rotate --mode 1"), (std::pair{2, 3}));
    // By angle: a quarter turn is exact, so --angle 90 and --mode 0 agree sample for sample.
    size_of("rotate --angle 90");
    const std::string by_angle = test::read_file(dir.file("o.ppm"));
    size_of("rotate --mode 0");
    EXPECT_EQ(by_angle, test::read_file(dir.file("o.ppm")));
    const std::string o = " " + quoted(dir.file("x.ppm")) + " ";
    for (const std::string args :
         {"resize --size 5", "resize --size 0x5", "resize --size 5x5 --scale 50",
          "resize --method cubic", "rotate --mode 6", "rotate --angle 1e3", "rotate --size 5x5",
          "resize --angle 5"})
        EXPECT_EQ(run_cli(dir, "apply " + quoted(in) + o + args).status, 2) << args;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.ppm")));
}

TEST_F(CliTest, ApplyRecolourTakesItsColoursFromOptionsOrPointA) {
    const std::string in = write_sample("in.bmp");  // bottom row blue 0, top row 0x4000
    const auto run = [&](const std::string& args) {
        const CliRun r = run_cli(dir, "apply " + quoted(in) + " " + quoted(dir.file("o.ppm")) +
                                          " recolor-rgb --to 10,20,30 " + args);
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        EXPECT_EQ(r.err, "") << args;  // no hint about point A
        return test::read_file(dir.file("o.ppm"));
    };
    // Source (1, 255, 0): the bottom-left pixel. Top row first in the file.
    const std::string by_colour = run("--from 1,255,0 --tolerance 0");
    int w = 0, h = 0;
    const std::vector<uint16_t> out = ppm16_samples(by_colour, w, h);
    EXPECT_EQ(colour_of(out, 2)[0], 0x4000);  // top row: another colour, unchanged
    EXPECT_EQ(out[9], 0x0A00);                // bottom-left: the target colour
    EXPECT_EQ(out[10], 0x1400);
    EXPECT_EQ(out[11], 0x1E00);
    EXPECT_EQ(run("--point-a 0,1 --tolerance 0"), by_colour);  // y counted from the top
    const std::string o = " " + quoted(dir.file("x.ppm")) + " ";
    EXPECT_EQ(run_cli(dir, "apply " + quoted(in) + o + "recolor-rgb --point-a 3,0").status, 1);
    for (const std::string args :
         {"recolor-rgb --from 1,2", "recolor-rgb --from 256,0,0", "recolor-hsv --to 361,0,0",
          "gray --from 1,2,3", "recolor-rgb --tolerance 300"})
        EXPECT_EQ(run_cli(dir, "apply " + quoted(in) + o + args).status, 2) << args;
}

TEST_F(CliTest, SettingsWriteStartsFromDefaultsStartupFileAndOverrides) {
    CliRun r = run_cli(
        dir, "settings --write " + quoted(dir.file("d.vrs")) + " --set hdr=12,40,7 --set resize=0");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string text = test::read_file(dir.file("d.vrs"));
    EXPECT_NE(text.find("\nhdr\n12 40 7\n"), std::string::npos);
    EXPECT_NE(text.find("\nresize\n0 1\n"), std::string::npos);  // the rest of the group kept
    EXPECT_EQ(text.substr(0, 6), "sharp\n");

    // vora.vrs in the current directory is read first.
    test::write_file(dir.file("vora.vrs"), "hdr 16 1 1\n");
    ASSERT_EQ(test::run_command("cd " + quoted(dir.path().string()) + " && " +
                                std::string(VORA_CLI_PATH) + " settings --write s.vrs"),
              0);
    text = test::read_file(dir.file("s.vrs"));
    EXPECT_NE(text.find("\nhdr\n16 1 1\n"), std::string::npos);
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
    ASSERT_EQ(test::run_command(convert + " " + quoted(dir.file("o.ppm")) +
                                " -endian MSB -depth 16 rgb:" + quoted(dir.file("o.rgb"))),
              0);
    const std::string rgb = test::read_file(dir.file("o.rgb"));
    ASSERT_EQ(rgb.size(), 3u * 2u * 6u);
    // Top row first, big-endian 16-bit: first pixel (0, top row 1) = 0x0100, 0xFF00, 0x4000.
    EXPECT_EQ(rgb.substr(0, 6), "\x01\x00\xff\x00\x40\x00"s);
}

// Frames of one star field whose stars move by (5, -3) and (-7, 4), as 48-bit PPM files.
std::vector<std::string> write_star_frames(const TempDir& dir, int count, int w = 120, int h = 90) {
    const Offset shifts[3] = {{0, 0}, {-5, 3}, {7, -4}};
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(dir.file("frame" + std::to_string(i) + ".ppm"));
        EXPECT_TRUE(
            write_pixmap(paths.back(), test::star_image(shifts[i], w, h), kPixmapBinary16).ok());
    }
    return paths;
}

ImageRecord read_back(const std::string& path) {
    ImageRecord r;
    EXPECT_TRUE(read_pixmap(path, r).ok()) << path;
    return r;
}

TEST_F(CliTest, StackAndCompositeAlignFramesOntoOneCanvas) {
    const auto frames = write_star_frames(dir, 3);
    const std::string all = quoted(frames[0]) + " " + quoted(frames[1]) + " " + quoted(frames[2]);
    CliRun r = run_cli(dir, "stack " + all + " -o " + quoted(dir.file("stack.ppm")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("stack.ppm") + "\n");
    ImageRecord out = read_back(dir.file("stack.ppm"));
    EXPECT_EQ(out.width, 120 + 12);
    EXPECT_EQ(out.height, 90 + 7);

    r = run_cli(dir, "composite " + quoted(frames[0]) + " " + quoted(frames[1]) +
                         " --weights 100,50 -o " + quoted(dir.file("pair.ppm")));
    ASSERT_EQ(r.status, 0) << r.err;
    out = read_back(dir.file("pair.ppm"));
    EXPECT_EQ(out.width, 125);
    EXPECT_EQ(out.height, 93);

    const std::string o = " -o " + quoted(dir.file("x.ppm"));
    EXPECT_EQ(run_cli(dir, "composite " + quoted(frames[0]) + o).status, 2);
    EXPECT_EQ(run_cli(dir, "composite " + all + " --weights 100,50" + o).status, 2);
    EXPECT_EQ(run_cli(dir, "stack " + quoted(dir.file("none.ppm")) + o).status, 1);
}

// Two stars of the field that a 200 × 160 frame 0 shows at least `margin` inside every edge,
// as "X,Y" display positions joined by ";".
std::string two_stars(int margin) {
    std::vector<std::string> found;
    for (const test::Star& s : test::field_stars()) {
        const int x = int(std::lround(s.x)), row = int(std::lround(s.y));
        if (x >= margin && x < 200 - margin && row >= margin && row < 160 - margin &&
            found.size() < 2)
            found.push_back(std::to_string(x) + "," + std::to_string(159 - row));
    }
    EXPECT_EQ(found.size(), 2u) << "the field has no two stars inside the frame";
    return found.size() == 2 ? found[0] + ";" + found[1] : "";
}

TEST_F(CliTest, CompositesAlignedOnStarsAndPoints) {
    const auto frames = write_star_frames(dir, 3, 200, 160);
    const std::string all = quoted(frames[0]) + " " + quoted(frames[1]) + " " + quoted(frames[2]);
    const std::string o = " -o " + quoted(dir.file("out.ppm"));
    auto size_of_result = [&](const std::string& args) {
        const CliRun r = run_cli(dir, args + o);
        EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
        const ImageRecord out = read_back(dir.file("out.ppm"));
        return std::pair{out.width, out.height};
    };
    // Frame 1 shows the star at display (10, 10) of frame 0 at (15, 13); B left at 0,0.
    const std::string pair = quoted(frames[0]) + " " + quoted(frames[1]);
    EXPECT_EQ(size_of_result("composite " + pair + " --points '10,10,0,0;15,13,0,0'"),
              std::pair(205, 163));
    EXPECT_EQ(size_of_result("lrgb --l " + quoted(frames[0]) + " --rgb " + quoted(frames[1]) +
                             " --points '10,10,0,0;15,13,0,0'"),
              std::pair(205, 163));
    EXPECT_EQ(size_of_result("lrgb --r " + quoted(frames[0]) + " --g " + quoted(frames[1]) +
                             " --b " + quoted(frames[2]) +
                             " --points '10,10,0,0;15,13,0,0;3,6,0,0' --weights 0,100,100,100"),
              std::pair(212, 167));
    // The rotation composites find the two stars in the other frames: the shifts come back.
    // The stars lie far enough inside for the windows to stay inside the shifted frames.
    const std::string stars = " --set compround=16 --stars '" + two_stars(20) + "'";
    EXPECT_EQ(size_of_result("composite --method rotation " + all + stars), std::pair(212, 167));
    EXPECT_EQ(size_of_result("stack --method rotation " + all + stars), std::pair(212, 167));

    const std::string rgb = " --l " + quoted(frames[0]) + " --rgb " + quoted(frames[1]);
    EXPECT_EQ(run_cli(dir, "lrgb --rgb " + quoted(frames[1]) + o).status, 2);
    EXPECT_EQ(run_cli(dir, "lrgb --r " + quoted(frames[1]) + o).status, 2);
    EXPECT_EQ(run_cli(dir, "lrgb" + rgb + " --r " + quoted(frames[2]) + o).status, 2);
    EXPECT_EQ(run_cli(dir, "lrgb" + rgb + " --points 1,2,3,4" + o).status, 2);
    EXPECT_EQ(run_cli(dir, "composite " + pair + " --method rotation" + o).status, 2);
    const CliRun edge =
        run_cli(dir, "composite --method rotation " + pair + " --stars '2,2;60,40'" + o);
    EXPECT_EQ(edge.status, 1);
    EXPECT_NE(edge.err.find("from an edge"), std::string::npos) << edge.err;
}

TEST_F(CliTest, BatchWritesRecipesAndRunsThemLikeTheCommands) {
    const auto frames = write_star_frames(dir, 3);
    const std::string out = dir.file("out");
    std::filesystem::create_directory(out);
    // Open, sharpen with the settings given, save as 48-bit PPM into `out`.
    const std::string sharp = " --set sharp=3,2560,10,20";
    CliRun r = run_cli(dir, "batch --write " + quoted(dir.file("sharp")) +
                                " --steps 1,0,0,0,6,0,0,3 --save-type 6 --save-dir " + quoted(out) +
                                sharp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.file("sharp.vrb") + "\n");
    r = run_cli(dir, "batch --timing " + quoted(dir.file("sharp.vrb")) + " " + quoted(frames[0]) +
                         " " + quoted(frames[1]));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("ファイル数：2 枚"), std::string::npos) << r.err;
    // The step gives what the command gives with the same settings.
    ASSERT_EQ(run_cli(dir, "apply " + quoted(frames[1]) + " " + quoted(dir.file("ref.ppm")) +
                               " sharpen" + sharp)
                  .status,
              0);
    EXPECT_EQ(test::read_file(out + "/frame1.PPM"), test::read_file(dir.file("ref.ppm")));
    EXPECT_TRUE(std::filesystem::exists(out + "/frame0.PPM"));

    // An existing output is kept without --yes; an unreadable file ends the drop.
    test::write_file(out + "/frame0.PPM", "old");
    r = run_cli(dir, "batch " + quoted(dir.file("sharp.vrb")) + " " + quoted(frames[0]) + " " +
                         quoted(dir.file("notes.xyz")) + " " + quoted(frames[2]));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(test::read_file(out + "/frame0.PPM"), "old");
    EXPECT_FALSE(std::filesystem::exists(out + "/frame2.PPM"));

    // Composite first: three frames into one result named after the last.
    ASSERT_EQ(run_cli(dir, "batch --write " + quoted(dir.file("stack.vrb")) +
                               " --steps 2,0,0,0,0,0,0,3 --save-type 6 --save-dir " + quoted(out))
                  .status,
              0);
    r = run_cli(dir, "batch " + quoted(dir.file("stack.vrb")) + " " + quoted(frames[0]) + " " +
                         quoted(frames[1]) + " " + quoted(frames[2]));
    ASSERT_EQ(r.status, 0) << r.err;
    const ImageRecord stacked = read_back(out + "/frame2.PPM");
    EXPECT_EQ(stacked.width, 120 + 12);
    EXPECT_EQ(stacked.height, 90 + 7);

    const std::string w = "batch --write " + quoted(dir.file("x.vrb"));
    EXPECT_EQ(run_cli(dir, w + " --steps 1,0,0,0,0,0,3").status, 2);  // seven steps
    EXPECT_EQ(run_cli(dir, w + " --steps 3,0,0,0,0,0,0,3 --save-dir /tmp").status, 2);
    EXPECT_EQ(run_cli(dir, w + " --steps 1,0,0,0,0,0,0,3").status, 2);  // no folder
    EXPECT_EQ(
        run_cli(dir, "batch " + quoted(dir.file("none.vrb")) + " " + quoted(frames[0])).status, 1);
}

TEST_F(CliTest, BackgroundOperationsTakeTheirExtraInputs) {
    const std::string flat = dir.file("flat.ppm");
    ASSERT_TRUE(write_pixmap(flat, test::make_image(64, 48, [](int, int, int) { return 25600; }),
                             kPixmapBinary16)
                    .ok());
    const std::string in = quoted(flat) + " " + quoted(dir.file("o.ppm"));
    const auto all_samples = [&](int v) {
        return test::has_samples(read_back(dir.file("o.ppm")), 64, 48,
                                 std::vector<test::Rgb>(64 * 48, {v, v, v}));
    };
    CliRun r = run_cli(dir, "apply " + in + " compare --with " + quoted(flat));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(all_samples(128 * 256 - 1));  // base - 1 around identical images
    r = run_cli(dir, "apply " + in + " compare --base 100 --with " + quoted(flat));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(all_samples(100 * 256 - 1));
    // A flat sky is its own background and its own fitted surface.
    ASSERT_EQ(run_cli(dir, "apply " + in + " make-background").status, 0);
    EXPECT_TRUE(all_samples(25600));
    r = run_cli(dir, "apply " + in + " background-points --points '3,4;60,40;30,20'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(all_samples(25600));
    r = run_cli(dir, "apply " + in + " background --centre 60,60,60 --edge 20,20,20");
    ASSERT_EQ(r.status, 0) << r.err;

    EXPECT_EQ(run_cli(dir, "apply " + in + " compare").status, 2);
    EXPECT_EQ(run_cli(dir, "apply " + in + " background").status, 2);  // no edge densities
    EXPECT_EQ(run_cli(dir, "apply " + in + " gamma --base 3").status, 2);
    EXPECT_EQ(run_cli(dir, "apply " + in + " gamma --points 1,2").status, 2);
    EXPECT_EQ(run_cli(dir, "apply " + in + " background --edge 300,0,0").status, 2);
    EXPECT_EQ(run_cli(dir, "apply " + in + " background-points --points '1;2'").status, 2);
}

}  // namespace
}  // namespace vora
