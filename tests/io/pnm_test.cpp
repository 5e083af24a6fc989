#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "io/bmp_pnm.h"
#include "test_support.h"

namespace vora {
namespace {

using test::bytes;
using test::imagemagick_convert;
using test::magick_raw;
using test::make_image;
using test::matches_raw;
using test::pil_rgb8;
using test::python_with_pil;
using test::quoted;
using test::run_command;
using test::TempDir;

constexpr int kWhite = 0xFF00;  // an 8-bit 255

ReadResult decode(const std::string& file, ImageRecord& out) {
    return test::decode_bytes(decode_pixmap, file, out);
}

std::vector<test::Rgb> greys(std::initializer_list<int> values) {
    std::vector<test::Rgb> v;
    for (int g : values) v.push_back({g, g, g});
    return v;
}

// ---- reading ----

TEST(PnmReader, SamplesForEachTypeAndMaximum) {
    struct Case {
        const char* what;
        std::string file;
        int w, h;
        std::vector<test::Rgb> top_first;  // samples as the record holds them
    };
    const Case cases[] = {
        {"comment line before the size; the first raster bytes are the top row",
         "P5\n# made by hand\n3 2\n255\n" + bytes({1, 2, 3, 4, 5, 6}), 3, 2,
         greys({0x100, 0x200, 0x300, 0x400, 0x500, 0x600})},
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
    for (const Case& c : cases)
        EXPECT_TRUE(test::decodes_to(decode_pixmap, c.file, c.w, c.h, c.top_first, 1)) << c.what;
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

// A prefix of a valid file is refused without touching the record or, for ASCII data cut
// inside the last value, read as a picture of the full size. Damaged bytes never do harm.
TEST(PnmReader, TruncatedAndDamagedFilesAreHandled) {
    const std::string truncated[] = {
        "P5\n# c\n3 2\n255\n" + bytes({1, 2, 3, 4, 5, 6}),
        "P6\n2 1\n65535\n" + bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}),
        "P4\n9 2\n" + bytes({0xFF, 0x80, 0x01, 0x00}),
        "P3\n2 1\n255\n10 20 30 40 50 60\n",
        "P2\n2 1\n4095\n# c\n4095 17",
        "P1\n3 2\n0 1 0 1 1 0",
    };
    for (const std::string& file : truncated) {
        SCOPED_TRACE(file.substr(0, 2));
        test::expect_prefixes_handled(decode_pixmap, file, file[1] <= '3');
    }
    const std::string damaged[] = {
        "P6\n2 2\n255\n" + std::string(12, 'x'),
        "P5\n2 1\n65535\n" + bytes({1, 2, 3, 4}),
        "P3\n2 1\n255\n1 2 3 4 5 6\n",
        "P4\n3 1\n" + bytes({0xA0}),
    };
    for (const std::string& file : damaged) {
        SCOPED_TRACE(file.substr(0, 2));
        test::expect_damage_handled(decode_pixmap, file, {0, '\n', '#', '0', '9', 'P', 0xFF});
    }
}

TEST(PixmapReader, SetsNameSizeAndPlanesOnly) {
    // Grey input does not set the mono flag: the occupied record's flag stays, a fresh one's 0.
    const ImageRecord r = test::read_saved(read_pixmap, "P5\n1 1\n255\n\x05");
    EXPECT_TRUE(test::has_samples(r, 1, 1, greys({0x500})));
    ImageRecord fresh;
    ASSERT_TRUE(decode("P5\n1 1\n255\n\x05", fresh).ok());
    EXPECT_EQ(fresh.mono, 0);
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
            EXPECT_TRUE(matches_raw(r, magick_raw(path, tmp, c.depth), c.depth)) << c.file;
        }
        if (c.depth == 8 && !python_with_pil().empty()) {
            EXPECT_TRUE(matches_raw(r, pil_rgb8(path, tmp))) << c.file << " (PIL)";
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
            const std::string file = test::read_file(out);
            ASSERT_GE(file.size(), 2u);
            EXPECT_EQ(file[1], c.type) << what;
            ImageRecord r;
            const ReadResult res = decode(file, r);
            ASSERT_TRUE(res.ok()) << what << ": " << res.detail;
            EXPECT_TRUE(matches_raw(r, magick_raw(out, dir, c.depth), c.depth)) << what;
        }
}

TEST(PnmGenerated, PilFilesOfEveryMode) {
    if (python_with_pil().empty()) GTEST_SKIP() << "Python with PIL is not installed";
    TempDir dir;
    test::write_file(dir.file("make.py"),
                     "import sys\n"
                     "from PIL import Image\n"
                     "folder = sys.argv[1]\n"
                     "for w in (1, 2, 5):\n"
                     "    im = Image.new('RGB', (w, 4))\n"
                     "    im.putdata([((x * 53 + y * 17) % 256, (x * 29 + y * 91) % 256, "
                     "(x * 7 + y * 131) % 256) for y in range(4) for x in range(w)])\n"
                     "    im.save('%s/RGB_%d.ppm' % (folder, w))\n"
                     "    im.convert('L').save('%s/L_%d.pgm' % (folder, w))\n"
                     "    im.convert('1').save('%s/1_%d.pbm' % (folder, w))\n");
    ASSERT_EQ(run_command(python_with_pil() + " " + quoted(dir.file("make.py")) + " " +
                          quoted(dir.path().string())),
              0);
    const std::pair<const char*, const char*> kinds[] = {{"RGB_", ".ppm"}, {"L_", ".pgm"},
                                                         {"1_", ".pbm"}};
    std::vector<std::string> paths;
    for (int w : {1, 2, 5})
        for (const auto& [mode, ext] : kinds)
            paths.push_back(dir.file(mode + std::to_string(w) + ext));
    const std::vector<std::string> want = pil_rgb8(paths, dir);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ImageRecord r;
        const ReadResult res = read_pixmap(paths[i], r);
        ASSERT_TRUE(res.ok()) << paths[i] << ": " << res.detail;
        EXPECT_TRUE(matches_raw(r, want[i])) << paths[i];
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
        EXPECT_EQ(test::read_file(path), c.want) << "variant " << c.variant;
    }
}

// Our reader, ImageMagick and PIL (8-bit files only) read every variant back.
TEST(PixmapWriter, ReadersReadOurFiles) {
    const ImageRecord img = make_image(7, 3, [](int c, int x, int y) {
        return (c * 20011 + x * 7919 + y * 104729) % 65536;
    });
    TempDir dir;
    for (int variant : {0, kPixmapBinary16, 16, kPixmapAscii16}) {
        SCOPED_TRACE(variant);
        const std::string path = dir.file("ours.ppm");
        ASSERT_TRUE(write_pixmap(path, img, variant).ok());
        const int depth = variant % 16 ? 16 : 8;
        const ImageRecord want = depth == 16 ? img : test::high_bytes(img);
        ImageRecord back;
        ASSERT_TRUE(read_pixmap(path, back).ok());
        EXPECT_TRUE(test::same_pixels(back, want));
        if (!imagemagick_convert().empty()) {
            EXPECT_TRUE(matches_raw(want, magick_raw(path, dir, depth), depth)) << "ImageMagick";
        }
        if (depth == 8 && !python_with_pil().empty()) {
            EXPECT_TRUE(matches_raw(want, pil_rgb8(path, dir))) << "PIL";
        }
    }
}

TEST(PixmapWriter, FailuresLeaveFilesAlone) {
    const ImageRecord img = make_image(2, 2, [](int, int, int) { return 0; });
    for (int variant : {0, kPixmapBinary16, 16, kPixmapAscii16}) {
        SCOPED_TRACE(variant);
        test::expect_writes_refused(
            [&](const std::string& path, const ImageRecord& r) {
                return write_pixmap(path, r, variant);
            },
            img, {{"empty record, exact reason", ImageRecord{}, "empty image"}});
        EXPECT_TRUE(test::fails_on_full_device(
            [&](std::FILE* f) { return encode_pixmap(f, img, variant); }));
    }
}

}  // namespace
}  // namespace vora
