#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "io/bmp_pnm.h"
#include "test_support.h"

namespace vora {
namespace {

using test::refused_untouched;
using test::has_samples;
using test::same_record;
using test::occupied_record;
using test::quoted;
using test::imagemagick_convert;
using test::make_image;
using test::python_with_pil;
using test::read_file;
using test::run_command;
using test::sample;
using test::TempDir;
using test::write_file;

using Rgb16 = test::Rgb;  // samples as the record holds them

constexpr int kWhite = 0xFF00;  // an 8-bit 255

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += char(b);
    return s;
}

ReadResult decode(const std::string& file, ImageRecord& out) {
    return decode_pixmap(reinterpret_cast<const uint8_t*>(file.data()), file.size(), out);
}

std::vector<Rgb16> greys(std::initializer_list<int> values) {
    std::vector<Rgb16> v;
    for (int g : values) v.push_back({g, g, g});
    return v;
}

// Every sample equals the reference: raw RGB, top row first, 8-bit values (× 256) or 16-bit
// values most significant byte first.
::testing::AssertionResult matches_raw(const ImageRecord& r, const std::string& raw, int depth) {
    const std::size_t step = depth == 16 ? 2 : 1;
    if (raw.size() != 3 * step * r.sample_count())
        return ::testing::AssertionFailure() << "reference holds " << raw.size() << " bytes for "
                                             << r.width << "x" << r.height;
    int differ = 0;
    std::string first;
    for (int top = 0; top < r.height; ++top)
        for (int x = 0; x < r.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const std::size_t i = step * (3 * (std::size_t(top) * r.width + x) + c);
                const int want = depth == 16 ? uint8_t(raw[i]) << 8 | uint8_t(raw[i + 1])
                                             : uint8_t(raw[i]) << 8;
                const int got = sample(r, c, x, r.height - 1 - top);
                if (got == want) continue;
                if (differ++ == 0)
                    first = "x " + std::to_string(x) + " top row " + std::to_string(top) +
                            " channel " + std::to_string(c) + ": " + std::to_string(got) +
                            " instead of " + std::to_string(want);
            }
    if (differ == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differ << " samples differ, first " << first;
}

ImageRecord high_bytes(ImageRecord r) {
    for (int c = 0; c < 3; ++c)
        for (uint16_t& v : r.plane(c)) v &= 0xFF00;
    return r;
}

// RGB as ImageMagick reads `path` (16-bit samples most significant byte first); empty when it
// could not.
std::string magick_raw(const std::string& path, int depth, const TempDir& dir) {
    const std::string raw = dir.file("magick.rgb");
    std::filesystem::remove(raw);
    if (run_command(imagemagick_convert() + " " + quoted(path) + " -endian MSB -depth " +
                    std::to_string(depth) + " rgb:" + quoted(raw) + " 2>/dev/null") != 0)
        return "";
    return read_file(raw);
}

// 8-bit RGB as PIL reads `path`.
std::string pil_rgb8(const std::string& path, const TempDir& dir) {
    const std::string raw = dir.file("pil.rgb");
    std::filesystem::remove(raw);
    if (run_command(python_with_pil() +
                    " -c \"import sys; from PIL import Image; sys.stdout.buffer.write("
                    "Image.open(sys.argv[1]).convert('RGB').tobytes())\" " +
                    quoted(path) + " > " + quoted(raw) + " 2>/dev/null") != 0)
        return "";
    return read_file(raw);
}

// ---- reading ----

TEST(PnmReader, CommentLineBeforeTheSize) {
    // Six raster bytes; the first three are the top row.
    const std::string file = "P5\n# made by hand\n3 2\n255\n" + bytes({1, 2, 3, 4, 5, 6});
    ImageRecord r;
    ASSERT_TRUE(decode(file, r).ok());
    EXPECT_TRUE(has_samples(r, 3, 2, greys({0x100, 0x200, 0x300, 0x400, 0x500, 0x600})));
    EXPECT_EQ(sample(r, 0, 0, 1), 0x100);  // the top row is plane row 1
}

TEST(PnmReader, SamplesForEachTypeAndMaximum) {
    struct Case {
        const char* what;
        std::string file;
        int w, h;
        std::vector<Rgb16> top_first;
    };
    const Case cases[] = {
        {"P5 maximum 255: a byte b becomes b × 256", "P5\n2 1\n255\n" + bytes({0x80, 0xFF}),
         2, 1, greys({0x8000, 0xFF00})},
        {"P5 maximum 15 still one byte, not scaled", "P5\n2 1\n15\n" + bytes({15, 7}), 2, 1,
         greys({15 * 256, 7 * 256})},
        {"P5 maximum 256 takes two bytes", "P5\n1 1\n256\n" + bytes({1, 0}), 1, 1,
         greys({256})},
        {"P5 maximum 4095 keeps two-byte values as they are",
         "P5\n2 1\n4095\n" + bytes({0x0F, 0xFF, 0x00, 0x01}), 2, 1, greys({4095, 1})},
        {"P5 maximum 65535", "P5\n2 1\n65535\n" + bytes({0xA3, 0x05, 0, 0}), 2, 1,
         greys({0xA305, 0})},
        {"P6 maximum 255", "P6\n2 1\n255\n" + bytes({1, 2, 3, 4, 5, 6}), 2, 1,
         {{0x100, 0x200, 0x300}, {0x400, 0x500, 0x600}}},
        {"P6 maximum 1000, two bytes as they are",
         "P6\n1 1\n1000\n" + bytes({0x03, 0xE8, 0x01, 0xF4, 0, 1}), 1, 1, {{1000, 500, 1}}},
        {"P6 maximum 65535", "P6\n1 1\n65535\n" + bytes({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}),
         1, 1, {{0x1234, 0x5678, 0x9ABC}}},
        {"P2 maximum 255: v × 65536 / 256", "P2\n3 1\n255\n0 1 255\n", 3, 1,
         greys({0, 256, 65280})},
        {"P2 maximum 4095: v × 16", "P2\n3 1\n4095\n4095 1 2048\n", 3, 1,
         greys({65520, 16, 32768})},
        {"P2 maximum 65535: values as they are", "P2\n3 1\n65535\n65535 12345 0", 3, 1,
         greys({65535, 12345, 0})},
        {"P2 maximum 1000: v × 65536 / 1001, truncated", "P2\n3 1\n1000\n500 1000 1\n", 3, 1,
         greys({32735, 65470, 65})},
        {"P2 values over the maximum count as the maximum", "P2\n1 1\n255\n300\n", 1, 1,
         greys({65280})},
        {"P2 values are kept to 16 bits first", "P2\n2 1\n255\n65537 100000000000000000001",
         2, 1, greys({256, 256})},
        {"P3 rows top first", "P3\n1 2\n255\n1 2 3\n4 5 6\n", 1, 2,
         {{0x100, 0x200, 0x300}, {0x400, 0x500, 0x600}}},
        {"P3 maximum 4095", "P3\n1 1\n4095\n1 2 4095\n", 1, 1, {{16, 32, 65520}}},
        {"comments, tabs and carriage returns in the header and raster",
         "P2 # grey\r\n2\t# width\n# a whole line\n1\n#max\n255 # after the maximum\n7#x\n"
         "# between values\n8\n",
         2, 1, greys({7 * 256, 8 * 256})},
        {"binary raster right after one blank following the maximum",
         "P5 3 1 255 " + bytes({10, 32, 13}), 3, 1, greys({10 * 256, 32 * 256, 13 * 256})},
        {"bytes after the raster are ignored", "P5\n1 1\n255\n" + bytes({9}) + "P5\n1 1\n255\n",
         1, 1, greys({9 * 256})},
        {"P1: 1 is black, digits need no separators", "P1\n# bits\n4 2\n0 1 1 0\n0011\n", 4, 2,
         greys({kWhite, 0, 0, kWhite, kWhite, kWhite, 0, 0})},
        {"P4: bit 7 first, 1 is black, bits past the width ignored",
         "P4\n10 2\n" + bytes({0b10110000, 0b01111111, 0x00, 0xC0}), 10, 2,
         greys({0, kWhite, 0, 0, kWhite, kWhite, kWhite, kWhite, kWhite, 0,  //
                kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, 0, 0})},
    };
    for (const Case& c : cases) {
        ImageRecord r;
        const ReadResult res = decode(c.file, r);
        ASSERT_TRUE(res.ok()) << c.what << ": " << res.detail;
        EXPECT_TRUE(has_samples(r, c.w, c.h, c.top_first)) << c.what;
    }
}

TEST(PnmReader, RefusesMalformedFilesAndLeavesTheRecordAlone) {
    using Case = test::RefusedFile;
    const Case cases[] = {
        {"empty file", "", ReadStatus::not_this_format},
        {"one byte", "P", ReadStatus::not_this_format},
        {"type 7", "P7\n1 1\n255\n", ReadStatus::not_this_format},
        {"lower-case p", "p6\n1 1\n255\n", ReadStatus::not_this_format},
        {"other magic", "X6\n1 1\n255\n", ReadStatus::not_this_format},
        {"only the magic", "P6", ReadStatus::corrupt},
        {"header without height", "P6\n3", ReadStatus::corrupt},
        {"header without maximum", "P6\n3 2 ", ReadStatus::corrupt},
        {"no raster at all", "P6\n1 1\n255", ReadStatus::corrupt},
        {"20-digit width", "P5\n12345678901234567890 1\n255\n", ReadStatus::corrupt},
        {"width 2^31", "P5\n2147483648 1\n255\n", ReadStatus::corrupt},
        {"2^31-1 pixels", "P5\n2147483647 1\n255\n", ReadStatus::corrupt},
        {"2^30 pixels", "P5\n32768 32768\n255\n", ReadStatus::corrupt},
        {"width 0", "P5\n0 1\n255\n\x01", ReadStatus::corrupt},
        {"height 0", "P5\n1 0\n255\n\x01", ReadStatus::corrupt},
        {"maximum 0", "P5\n1 1\n0\n\x01", ReadStatus::corrupt},
        {"maximum 65536", "P5\n1 1\n65536\n\x01\x02", ReadStatus::corrupt},
        {"maximum 70000", "P2\n1 1\n70000\n1\n", ReadStatus::corrupt},
        {"P5 raster one byte short", "P5\n2 2\n255\n" + bytes({1, 2, 3}), ReadStatus::corrupt},
        {"P6 16-bit raster one byte short", "P6\n1 1\n65535\n" + bytes({1, 2, 3, 4, 5}),
         ReadStatus::corrupt},
        {"P4 raster one byte short", "P4\n9 2\n" + bytes({1, 2, 3}), ReadStatus::corrupt},
        {"P2 with too few values", "P2\n2 2\n255\n1 2 3", ReadStatus::corrupt},
        {"P3 with too few values", "P3\n1 1\n255\n1 2\n", ReadStatus::corrupt},
        {"P3 claiming far more values than bytes", "P3\n1000 1000\n255\n1 2 3\n",
         ReadStatus::corrupt},
        {"P1 with too few values", "P1\n3 1\n01", ReadStatus::corrupt},
        {"garbage token", "P2\n2 1\n255\n12 abc\n", ReadStatus::corrupt},
        {"number run into letters", "P2\n2 1\n255\n12a 5\n", ReadStatus::corrupt},
        {"signed value", "P2\n2 1\n255\n-5 5\n", ReadStatus::corrupt},
        {"P1 digit 2", "P1\n2 1\n0 2\n", ReadStatus::corrupt},
    };
    test::expect_refused(cases, decode);
}

// A prefix of a valid file is either refused without touching the record or, for ASCII data
// cut inside the last value, read as a picture of the full size.
TEST(PnmReader, EveryTruncationIsHandled) {
    const std::string files[] = {
        "P5\n# c\n3 2\n255\n" + bytes({1, 2, 3, 4, 5, 6}),
        "P6\n2 1\n65535\n" + bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}),
        "P4\n9 2\n" + bytes({0xFF, 0x80, 0x01, 0x00}),
        "P3\n2 1\n255\n10 20 30 40 50 60\n",
        "P2\n2 1\n4095\n# c\n4095 17",
        "P1\n3 2\n0 1 0 1 1 0",
    };
    for (const std::string& file : files) {
        ImageRecord whole;
        ASSERT_TRUE(decode(file, whole).ok()) << file;
        const bool ascii = file[1] <= '3';
        for (std::size_t n = 0; n < file.size(); ++n) {
            ImageRecord r = occupied_record();
            const ReadResult res = decode(file.substr(0, n), r);
            if (res.ok()) {
                EXPECT_TRUE(ascii) << file.substr(0, 2) << " accepted with " << n << " bytes";
                EXPECT_EQ(r.red.size(), whole.red.size());
            } else {
                EXPECT_TRUE(same_record(r, occupied_record())) << file.substr(0, n);
            }
        }
    }
}

TEST(PnmReader, DamagedBytesAreHandled) {
    const std::string files[] = {
        "P6\n2 2\n255\n" + std::string(12, 'x'),
        "P5\n2 1\n65535\n" + bytes({1, 2, 3, 4}),
        "P3\n2 1\n255\n1 2 3 4 5 6\n",
        "P4\n3 1\n" + bytes({0xA0}),
    };
    for (const std::string& file : files)
        for (std::size_t i = 0; i < file.size(); ++i)
            for (int value : {0, int('\n'), int('#'), int('0'), int('9'), int('P'), 0xFF}) {
                std::string damaged = file;
                damaged[i] = char(value);
                ImageRecord r = occupied_record();
                if (decode(damaged, r).ok()) {
                    EXPECT_EQ(r.red.size(), std::size_t(r.width) * std::size_t(r.height));
                } else {
                    EXPECT_TRUE(same_record(r, occupied_record())) << "byte " << i;
                }
            }
}

TEST(PixmapReader, SetsNameSizeAndPlanesOnly) {
    TempDir dir;
    const std::string path = dir.file("pic.pgm");
    write_file(path, "P5\n1 1\n255\n\x05");
    ImageRecord r = occupied_record();
    r.zoom = 250;
    r.camera_model = "X";
    ASSERT_TRUE(read_pixmap(path, r).ok());
    EXPECT_EQ(r.name, path);
    EXPECT_TRUE(has_samples(r, 1, 1, greys({0x500})));
    EXPECT_EQ(r.mono, 1);  // grey input does not set the mono flag; this one was already set
    EXPECT_EQ(r.zoom, 250);
    EXPECT_EQ(r.camera_model, "X");

    ImageRecord fresh;
    ASSERT_TRUE(read_pixmap(path, fresh).ok());
    EXPECT_EQ(fresh.mono, 0);

    ImageRecord missing = occupied_record();
    EXPECT_EQ(read_pixmap(dir.file("none.ppm"), missing).status, ReadStatus::cannot_open);
    EXPECT_TRUE(same_record(missing, occupied_record()));
}

// ---- files other programs wrote ----

TEST(PnmSamples, MatchReferenceDecoders) {
    const std::string dir = test::shared_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder ../shared/samples not found";
    if (imagemagick_convert().empty() && python_with_pil().empty())
        GTEST_SKIP() << "neither ImageMagick nor Python with PIL is installed";
    // PIL gives 16-bit files as 8-bit values scaled by 255 / 65535, not their high bytes, so
    // it is only asked about the 8-bit files.
    struct Case {
        const char* file;
        int depth;
    };
    TempDir tmp;
    for (const Case c : {Case{"rgb-3c-16b.ppm", 16}, Case{"rgb-3c-8b.ppm", 8},
                         Case{"minisblack-1c-8b.pgm", 8}}) {
        const std::string path = dir + "/pnm/" + c.file;
        ImageRecord r;
        const ReadResult res = read_pixmap(path, r);
        ASSERT_TRUE(res.ok()) << c.file << ": " << res.detail;
        EXPECT_EQ(r.width, 157) << c.file;
        EXPECT_EQ(r.height, 151) << c.file;
        if (!imagemagick_convert().empty()) {
            EXPECT_TRUE(matches_raw(r, magick_raw(path, c.depth, tmp), c.depth))
                << c.file << " (ImageMagick)";
        }
        if (c.depth == 8 && !python_with_pil().empty()) {
            EXPECT_TRUE(matches_raw(r, pil_rgb8(path, tmp), 8)) << c.file << " (PIL)";
        }
    }
}

TEST(PnmGenerated, ImageMagickFilesOfEveryType) {
    if (imagemagick_convert().empty()) GTEST_SKIP() << "ImageMagick convert is not installed";
    struct Case {
        const char* options;  // between the source and the output file
        char type;
        int depth;  // to compare at
        std::vector<int> widths;
    };
    const std::vector<int> all = {1, 5, 9};
    const std::vector<int> one = {9};  // ImageMagick takes about a second per bitmap
    const Case cases[] = {
        {"-depth 8 PPM:", '6', 8, all},
        {"-depth 16 PPM:", '6', 16, all},
        {"-depth 8 -compress none PPM:", '3', 8, all},
        {"-depth 16 -compress none PPM:", '3', 16, all},
        {"-colorspace gray -depth 8 PGM:", '5', 8, all},
        {"-colorspace gray -depth 16 PGM:", '5', 16, all},
        {"-colorspace gray -depth 8 -compress none PGM:", '2', 8, all},
        {"-colorspace gray -depth 16 -compress none PGM:", '2', 16, all},
        {"PBM:", '4', 8, one},
        {"-compress none PBM:", '1', 8, one},
    };
    TempDir dir;
    const auto source = [&](int width) { return dir.file("source" + std::to_string(width)); };
    for (int width : all)
        ASSERT_EQ(run_command(imagemagick_convert() + " -size " + std::to_string(width) +
                              "x7 gradient:#102030-#F0E0D0 -depth 16 MIFF:" +
                              quoted(source(width))),
                  0);
    for (const Case& c : cases)
        for (int width : c.widths) {
            const std::string what = std::string(c.options) + " width " + std::to_string(width);
            const std::string out = dir.file("out.pnm");
            ASSERT_EQ(run_command(imagemagick_convert() + " " + quoted(source(width)) + " " +
                                  c.options + quoted(out) + " 2>/dev/null"),
                      0)
                << what;
            const std::string file = read_file(out);
            ASSERT_GE(file.size(), 2u);
            EXPECT_EQ(file[1], c.type) << what;
            ImageRecord r;
            const ReadResult res = decode(file, r);
            ASSERT_TRUE(res.ok()) << what << ": " << res.detail;
            EXPECT_TRUE(matches_raw(r, magick_raw(out, c.depth, dir), c.depth)) << what;
        }
}

TEST(PnmGenerated, PilFilesOfEveryMode) {
    if (python_with_pil().empty()) GTEST_SKIP() << "Python with PIL is not installed";
    TempDir dir;
    const std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "folder = sys.argv[1]\n"
        "for w in (1, 2, 5):\n"
        "    im = Image.new('RGB', (w, 4))\n"
        "    im.putdata([((x * 53 + y * 17) % 256, (x * 29 + y * 91) % 256, (x * 7 + y * 131) "
        "% 256) for y in range(4) for x in range(w)])\n"
        "    im.save('%s/RGB_%d.ppm' % (folder, w))\n"
        "    im.convert('L').save('%s/L_%d.pgm' % (folder, w))\n"
        "    im.convert('1').save('%s/1_%d.pbm' % (folder, w))\n";
    write_file(dir.file("make.py"), script);
    ASSERT_EQ(run_command(python_with_pil() + " " + quoted(dir.file("make.py")) + " " +
                          quoted(dir.path().string())),
              0);
    for (int width : {1, 2, 5})
        for (const char* name : {"RGB_%d.ppm", "L_%d.pgm", "1_%d.pbm"}) {
            char file[32];
            std::snprintf(file, sizeof file, name, width);
            const std::string path = dir.file(file);
            ImageRecord r;
            const ReadResult res = read_pixmap(path, r);
            ASSERT_TRUE(res.ok()) << file << ": " << res.detail;
            EXPECT_TRUE(matches_raw(r, pil_rgb8(path, dir), 8)) << file;
        }
}

// ---- writing ----

// A 2 × 2 picture whose samples all differ in both bytes.
ImageRecord two_by_two() {
    const int bottom[2][3] = {{0x0102, 0x0304, 0x0506}, {0xFFFF, 0x0000, 0x8080}};
    const int top[2][3] = {{0x1234, 0xABCD, 0x00FF}, {0x0001, 0x0100, 0xFF00}};
    return make_image(2, 2, [&](int c, int x, int y) { return y == 0 ? bottom[x][c] : top[x][c]; });
}

TEST(PixmapWriter, ExactBytesForEachVariant) {
    struct Case {
        int variant;
        std::string want;
    };
    const Case cases[] = {
        {0, "P6\n2 2\n255\n" +
                bytes({0x12, 0xAB, 0x00, 0x00, 0x01, 0xFF, 0x01, 0x03, 0x05, 0xFF, 0x00, 0x80})},
        {kPixmapBinary16,
         "P6\n2 2\n65535\n" + bytes({0x12, 0x34, 0xAB, 0xCD, 0x00, 0xFF, 0x00, 0x01, 0x01, 0x00,
                                     0xFF, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xFF, 0xFF,
                                     0x00, 0x00, 0x80, 0x80})},
        {16, "P3\n2 2\n255\n18 171 0 0 1 255 1 3 5 255 0 128 "},
        {kPixmapAscii16,
         "P3\n2 2\n65535\n4660 43981 255 1 256 65280 258 772 1286 65535 0 32896 "},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.file("out.ppm");
        ASSERT_TRUE(write_pixmap(path, two_by_two(), c.variant).ok()) << c.variant;
        EXPECT_EQ(read_file(path), c.want) << "variant " << c.variant;
    }
}

TEST(PixmapWriter, ReadsBackThroughOurReader) {
    const ImageRecord img = make_image(7, 3, [](int c, int x, int y) {
        return (c * 20011 + x * 7919 + y * 104729) % 65536;
    });
    TempDir dir;
    for (int variant : {0, kPixmapBinary16, 16, kPixmapAscii16}) {
        const std::string path = dir.file("rt.ppm");
        ASSERT_TRUE(write_pixmap(path, img, variant).ok());
        ImageRecord back;
        ASSERT_TRUE(read_pixmap(path, back).ok()) << variant;
        const ImageRecord want = variant % 16 ? img : high_bytes(img);
        EXPECT_TRUE(back.red == want.red && back.green == want.green && back.blue == want.blue)
            << "variant " << variant;
    }
}

TEST(PixmapWriter, OtherProgramsReadOurFiles) {
    if (imagemagick_convert().empty() && python_with_pil().empty())
        GTEST_SKIP() << "neither ImageMagick nor Python with PIL is installed";
    const ImageRecord img = make_image(5, 3, [](int c, int x, int y) {
        return (c * 20011 + x * 7919 + y * 104729) % 65536;
    });
    TempDir dir;
    for (int variant : {0, kPixmapBinary16, 16, kPixmapAscii16}) {
        const std::string path = dir.file("ours.ppm");
        ASSERT_TRUE(write_pixmap(path, img, variant).ok());
        const bool wide = variant % 16 != 0;
        const ImageRecord want = wide ? img : high_bytes(img);
        if (!imagemagick_convert().empty()) {
            EXPECT_TRUE(matches_raw(want, magick_raw(path, wide ? 16 : 8, dir), wide ? 16 : 8))
                << "ImageMagick, variant " << variant;
        }
        if (!wide && !python_with_pil().empty()) {
            EXPECT_TRUE(matches_raw(want, pil_rgb8(path, dir), 8)) << "PIL, variant " << variant;
        }
    }
}

TEST(PixmapWriter, FailuresLeaveFilesAlone) {
    TempDir dir;
    const std::string path = dir.file("keep.ppm");
    write_file(path, "old contents");
    const WriteResult empty = write_pixmap(path, ImageRecord{}, kPixmapBinary16);
    EXPECT_FALSE(empty.ok());
    EXPECT_EQ(empty.detail, "empty image");
    EXPECT_EQ(read_file(path), "old contents");

    const ImageRecord img = make_image(2, 2, [](int, int, int) { return 0; });
    EXPECT_FALSE(write_pixmap(dir.file("no/such/folder/x.ppm"), img, 0).ok());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    std::FILE* full = std::fopen("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "/dev/full is not available";
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_FALSE(encode_pixmap(full, img, kPixmapAscii16));
    std::fclose(full);
}

}  // namespace
}  // namespace vora
