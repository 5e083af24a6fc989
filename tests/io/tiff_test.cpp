#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "io/tiff_io.h"
#include "test_support.h"

namespace vora {
namespace {

using test::imagemagick_convert;
using test::le16;
using test::le32;
using test::make_image;
using test::matches_raw;
using test::read_file;
using test::run_command;
using test::sample;
using test::TempDir;
using test::write_file;

using Rgb = std::array<uint32_t, 3>;            // record samples
using Picture = std::vector<std::vector<Rgb>>;  // rows from the top of the picture

// ---- building TIFF files by hand ----

enum : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

// 16- and 32-bit values in either byte order.
std::string u16(bool big, uint32_t v) { return big ? test::be16(v) : le16(v); }
std::string u32(bool big, uint32_t v) { return big ? test::be32(v) : le32(v); }

struct Field {
    uint16_t tag;
    uint16_t type;
    std::vector<uint32_t> values;
};

// Header, then either the pixel data, the arrays of long fields and the IFD (entries in tag
// order), or the IFD and arrays first and the pixel data last. Strip offsets (tag 273) are
// given relative to the start of the pixel data.
std::string build_tiff(bool big, std::vector<Field> fields, const std::string& pixels,
                       bool ifd_first = false) {
    std::sort(fields.begin(), fields.end(),
              [](const Field& a, const Field& b) { return a.tag < b.tag; });
    auto unit = [](const Field& f) -> std::size_t { return f.type == kShort ? 2 : 4; };
    std::size_t array_bytes = 0;
    for (const Field& f : fields)
        if (unit(f) * f.values.size() > 4) array_bytes += (unit(f) * f.values.size() + 1) / 2 * 2;
    const std::size_t ifd_bytes = 2 + 12 * fields.size() + 4;
    const std::size_t pixel_start = ifd_first ? 8 + ifd_bytes + array_bytes : 8;
    const std::size_t arrays_start = ifd_first ? 8 + ifd_bytes : 8 + (pixels.size() + 1) / 2 * 2;
    const std::size_t ifd = ifd_first ? 8 : arrays_start + array_bytes;
    for (Field& f : fields)
        if (f.tag == 273)
            for (uint32_t& v : f.values) v += uint32_t(pixel_start);
    std::string head = (big ? "MM" : "II") + u16(big, 42) + u32(big, uint32_t(ifd));
    std::string table = u16(big, uint32_t(fields.size())), arrays;
    for (const Field& f : fields) {
        table += u16(big, f.tag) + u16(big, f.type) + u32(big, uint32_t(f.values.size()));
        if (unit(f) * f.values.size() > 4) {
            table += u32(big, uint32_t(arrays_start + arrays.size()));
            for (uint32_t v : f.values) arrays += unit(f) == 2 ? u16(big, v) : u32(big, v);
            if (arrays.size() % 2) arrays += '\0';
        } else if (unit(f) == 2) {
            table += u16(big, f.values.empty() ? 0 : f.values[0]);
            table += u16(big, f.values.size() > 1 ? f.values[1] : 0);
        } else {
            table += u32(big, f.values.empty() ? 0 : f.values[0]);
        }
    }
    table += u32(big, 0);
    std::string padded = pixels;
    if (padded.size() % 2) padded += '\0';
    if (ifd_first) return head + table + arrays + pixels;
    return head + padded + arrays + table;
}

// An uncompressed picture in one strip at offset 8; `more` adds or replaces fields.
struct Simple {
    bool big = false;
    bool ifd_first = false;
    uint32_t width = 1;
    uint32_t height = 1;
    std::vector<uint32_t> bits = {8, 8, 8};
    uint32_t photometric = 2;
    std::string pixels{};
    std::vector<Field> more{};
};

std::string build(const Simple& s) {
    std::vector<Field> fields = {
        {256, kLong, {s.width}},
        {257, kLong, {s.height}},
        {258, kShort, s.bits},
        {259, kShort, {1}},
        {262, kShort, {s.photometric}},
        {273, kLong, {0}},
        {277, kShort, {uint32_t(s.bits.size())}},
        {278, kLong, {s.height}},
        {279, kLong, {uint32_t(s.pixels.size())}},
    };
    for (const Field& m : s.more) {
        auto same = std::find_if(fields.begin(), fields.end(),
                                 [&](const Field& f) { return f.tag == m.tag; });
        if (same != fields.end())
            *same = m;
        else
            fields.push_back(m);
    }
    return build_tiff(s.big, fields, s.pixels, s.ifd_first);
}

std::string samples8(const std::vector<uint32_t>& v) {
    std::string s;
    for (uint32_t x : v) s += char(x);
    return s;
}

std::string samples16(bool big, const std::vector<uint32_t>& v) {
    std::string s;
    for (uint32_t x : v) s += u16(big, x);
    return s;
}

std::string samples32(bool big, const std::vector<uint32_t>& v) {
    std::string s;
    for (uint32_t x : v) s += u32(big, x);
    return s;
}

std::string samples_float(const std::vector<float>& v) {  // little-endian hosts only
    std::string s(v.size() * 4, '\0');
    std::memcpy(s.data(), v.data(), s.size());
    return s;
}

// The layout this program's earlier writer produced, byte for byte: SHORT-typed width and
// height with the value in all four bytes, a strip-offset count of 2048 pointing at the
// LONG 128, no rows per strip and no strip byte counts, pixel data at 128.
std::string old_layout(uint32_t width, uint32_t height, const std::string& pixels) {
    std::string s =
        std::string("II*\0", 4) + le32(18) + le16(16) + le16(16) + le16(16) + le32(128) + le16(8);
    auto entry = [&s](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
        s += le16(tag) + le16(type) + le32(count) + le32(value);
    };
    entry(256, kShort, 1, width);
    entry(257, kShort, 1, height);
    entry(258, kShort, 3, 8);
    entry(259, kShort, 1, 1);
    entry(262, kShort, 1, 2);
    entry(273, kLong, 2048, 14);
    entry(274, kShort, 1, 1);
    entry(277, kShort, 1, 3);
    s += std::string(12, '\0');
    EXPECT_EQ(s.size(), 128u);
    return s + pixels;
}

ReadResult decode(const std::string& bytes, ImageRecord& out) {
    return test::decode_bytes(decode_tiff, bytes, out);
}

bool plain(const std::string& bytes) {
    return tiff_plain_layout(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

Rgb pixel(const ImageRecord& r, int x, int row) {
    const int y = r.height - 1 - row;
    return {sample(r, 0, x, y), sample(r, 1, x, y), sample(r, 2, x, y)};
}

void expect_picture(const ImageRecord& r, const Picture& want) {
    ASSERT_EQ(r.height, int(want.size()));
    ASSERT_EQ(r.width, int(want[0].size()));
    for (int row = 0; row < r.height; ++row)
        for (int x = 0; x < r.width; ++x)
            EXPECT_EQ(pixel(r, x, row), want[std::size_t(row)][std::size_t(x)])
                << "x " << x << " row from top " << row;
}

Rgb grey(uint32_t v) {
    return {v, v, v};
}

struct Case {
    const char* name;
    std::string file;
    bool own_reader;  // expected answer of tiff_plain_layout
    Picture expected;
};

void check_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(plain(c.file), c.own_reader);
        ImageRecord r;
        const ReadResult result = decode(c.file, r);
        ASSERT_TRUE(result.ok()) << result.detail;
        expect_picture(r, c.expected);
    }
}

constexpr uint32_t k = 256;  // 8-bit values are kept × 256

// ---- our own reader ----

TEST(TiffReader, OwnReaderTakesPlainRgbInOneBlock) {
    const std::vector<uint32_t> v16 = {0x0102, 0x0304, 0x0506, 0xFFFF, 0,      0x8001,
                                       1,      2,      3,      0xA0B0, 0xC0D0, 0xE0F0};
    const Picture p16 = {{{0x0102, 0x0304, 0x0506}, {0xFFFF, 0, 0x8001}},
                         {{1, 2, 3}, {0xA0B0, 0xC0D0, 0xE0F0}}};
    const std::vector<uint32_t> v8 = {1, 2, 3, 250, 251, 252, 7, 8, 9, 0, 128, 255};
    const Picture p8 = {{{k, 2 * k, 3 * k}, {250 * k, 251 * k, 252 * k}},
                        {{7 * k, 8 * k, 9 * k}, {0, 128 * k, 255 * k}}};
    auto simple = [](bool big, std::vector<uint32_t> bits, std::string pixels,
                     std::vector<Field> more = {}) {
        return build({.big = big, .width = 2, .height = 2, .bits = bits, .pixels = pixels,
                      .more = more});
    };
    // Row 1 stored right after row 0: two strips, one block.
    const std::vector<Field> two_strips = {
        {273, kLong, {0, 6}}, {278, kShort, {1}}, {279, kLong, {6, 6}}};
    check_cases({
        {"little-endian 48-bit", simple(false, {16, 16, 16}, samples16(false, v16)), true, p16},
        {"big-endian 48-bit", simple(true, {16, 16, 16}, samples16(true, v16)), true, p16},
        {"little-endian 24-bit", simple(false, {8, 8, 8}, samples8(v8)), true, p8},
        {"big-endian 24-bit in two strips", simple(true, {8, 8, 8}, samples8(v8), two_strips), true,
         p8},
        {"one bits-per-sample value for all",
         simple(false, {16}, samples16(false, v16), {{277, kShort, {3}}}), true, p16},
        {"explicit defaults",
         simple(false, {8, 8, 8}, samples8(v8),
                {{274, kShort, {1}}, {284, kShort, {1}}, {339, kShort, {1, 1, 1}}}),
         true, p8},
    });
}

// 16 bits per pixel: red in bits 10-14, green 5-9, blue 0-4, each × 2048; bit 15 unused.
TEST(TiffReader, SixteenBitsPerPixelAreReadAsFiveFiveFive) {
    const std::vector<uint32_t> v = {0x7C00, 0x03E0, 0x001F, 0xFFFF, 0x8000, 0x0421};
    const uint32_t m = 31 * 2048;
    const Picture want = {{{m, 0, 0}, {0, m, 0}, {0, 0, m}},
                          {{m, m, m}, {0, 0, 0}, {2048, 2048, 2048}}};
    for (bool big : {false, true}) {
        const std::string file =
            build({.big = big, .width = 3, .height = 2, .bits = {16}, .pixels = samples16(big, v)});
        check_cases({{big ? "big-endian" : "little-endian", file, true, want}});
    }
}

TEST(TiffReader, FilesInTheOldLayoutStillOpen) {
    const std::string pixels = samples16(false, {1, 2, 3, 4, 5, 6, 7, 8, 9,  // top row
                                                 10, 11, 12, 13, 14, 15, 16, 17, 18});
    const std::string file = old_layout(3, 2, pixels);
    EXPECT_TRUE(plain(file));
    ImageRecord r;
    ASSERT_TRUE(decode(file, r).ok());
    expect_picture(r,
                   {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {{10, 11, 12}, {13, 14, 15}, {16, 17, 18}}});

    // A width above 65535 needs all four bytes of the SHORT-typed value.
    const uint32_t wide = 70000;
    std::vector<uint32_t> row;
    for (uint32_t x = 0; x < wide; ++x) row.insert(row.end(), {x & 0xFFFF, x >> 16, 7});
    const std::string wide_file = old_layout(wide, 1, samples16(false, row));
    EXPECT_TRUE(plain(wide_file));
    ImageRecord w;
    ASSERT_TRUE(decode(wide_file, w).ok());
    ASSERT_EQ(w.width, int(wide));
    EXPECT_EQ(pixel(w, 69999, 0), (Rgb{69999 & 0xFFFF, 1, 7}));
}

// Files the own reader could misread go to libtiff, which reads them correctly.
TEST(TiffReader, AnythingElseGoesToLibtiff) {
    auto simple = [](std::vector<uint32_t> bits, uint32_t photometric, std::string pixels,
                     std::vector<Field> more) {
        return build({.width = 2, .height = 2, .bits = bits, .photometric = photometric,
                      .pixels = pixels, .more = more});
    };
    const std::string rows_swapped = samples8({7, 8, 9, 0, 128, 255, 1, 2, 3, 250, 251, 252});
    const Picture p8 = {{{k, 2 * k, 3 * k}, {250 * k, 251 * k, 252 * k}},
                        {{7 * k, 8 * k, 9 * k}, {0, 128 * k, 255 * k}}};
    // Planar: all red samples, then all green, then all blue.
    const std::string planes = samples8({1, 250, 7, 0, 2, 251, 8, 128, 3, 252, 9, 255});
    check_cases({
        {"strips stored in reverse order",
         simple({8, 8, 8}, 2, rows_swapped,
                {{273, kLong, {6, 0}}, {278, kLong, {1}}, {279, kLong, {6, 6}}}),
         false, p8},
        {"separate colour planes",
         simple({8, 8, 8}, 2, planes,
                {{273, kLong, {0, 4, 8}}, {279, kLong, {4, 4, 4}}, {284, kShort, {2}}}),
         false, p8},
        {"bottom-up orientation", simple({8, 8, 8}, 2, rows_swapped, {{274, kShort, {4}}}), false,
         p8},
        // A fourth sample without an ExtraSamples entry is ignored.
        {"32 bits per pixel",
         simple({8, 8, 8, 8}, 2,
                samples8({1, 2, 3, 99, 250, 251, 252, 99, 7, 8, 9, 99, 0, 128, 255, 99}), {}),
         false, p8},
    });
}

// Extra samples: an unassociated alpha is composited over black, round(c × a / max), as
// for PNG; premultiplied (associated) and unspecified extra samples leave the colours alone.
TEST(TiffReader, ExtraSamplesAndAlpha) {
    auto rgba = [](uint32_t kind, std::vector<uint32_t> bits, std::string pixels,
                   std::vector<Field> more = {}) {
        more.push_back({338, kShort, {kind}});
        return build({.width = 2, .height = 1, .bits = bits, .pixels = pixels, .more = more});
    };
    const std::string px8 = samples8({200, 100, 50, 128, 9, 8, 7, 0});
    // 200 × 128 / 255 = 100.4, 100 → 50.2, 50 → 25.1
    const Picture over8 = {{{100 * k, 50 * k, 25 * k}, {0, 0, 0}}};
    const Picture kept8 = {{{200 * k, 100 * k, 50 * k}, {9 * k, 8 * k, 7 * k}}};
    const std::string px16 = samples16(false, {40000, 20000, 1000, 32768, 5, 6, 7, 65535});
    // 40000 × 32768 / 65535 = 20000.3, 20000 → 10000.2, 1000 → 500.0
    const Picture over16 = {{{20000, 10000, 500}, {5, 6, 7}}};
    const std::string planar16 = samples16(false, {40000, 5, 20000, 6, 1000, 7, 32768, 65535});
    check_cases({
        {"unassociated alpha, 8-bit", rgba(2, {8, 8, 8, 8}, px8), false, over8},
        {"associated alpha, 8-bit", rgba(1, {8, 8, 8, 8}, px8), false, kept8},
        {"unspecified extra sample", rgba(0, {8, 8, 8, 8}, px8), false, kept8},
        {"unassociated alpha, 16-bit", rgba(2, {16, 16, 16, 16}, px16), false, over16},
        {"unassociated alpha in its own plane",
         rgba(2, {16, 16, 16, 16}, planar16,
              {{273, kLong, {0, 4, 8, 12}}, {279, kLong, {4, 4, 4, 4}}, {284, kShort, {2}}}),
         false, over16},
    });
}

// Grey goes to all three planes; min-is-white is inverted; signed samples are offset by
// half their range; 32-bit samples keep their top 16 bits; floating point is scaled.
TEST(TiffReader, GreyAtFullDepth) {
    auto grey_file = [](uint32_t bits, uint32_t photometric, std::string pixels,
                        std::vector<Field> more = {}) {
        return build({.width = 4, .height = 1, .bits = {bits}, .photometric = photometric,
                      .pixels = pixels, .more = more});
    };
    const std::vector<Field> signed_format = {{339, kShort, {2}}};
    const std::vector<Field> float_format = {{339, kShort, {3}}};
    const float nan = std::nanf(""), inf = HUGE_VALF;
    check_cases({
        {"8-bit",
         grey_file(8, 1, samples8({0, 1, 128, 255})),
         false,
         {{grey(0), grey(k), grey(128 * k), grey(255 * k)}}},
        {"16-bit",
         grey_file(16, 1, samples16(false, {0, 1, 0x1234, 65535})),
         false,
         {{grey(0), grey(1), grey(0x1234), grey(65535)}}},
        {"8-bit min-is-white",
         grey_file(8, 0, samples8({0, 10, 128, 255})),
         false,
         {{grey(255 * k), grey(245 * k), grey(127 * k), grey(0)}}},
        {"16-bit min-is-white",
         grey_file(16, 0, samples16(false, {0, 1000, 40000, 65535})),
         false,
         {{grey(65535), grey(64535), grey(25535), grey(0)}}},
        {"16-bit signed",
         grey_file(16, 1, samples16(false, {0x8000, 0xFFFF, 0, 0x7FFF}), signed_format),
         false,
         {{grey(0), grey(32767), grey(32768), grey(65535)}}},
        {"32-bit",
         grey_file(32, 1, samples32(false, {0, 0x12345678, 0xFFFF0000, 0xFFFFFFFF})),
         false,
         {{grey(0), grey(0x1234), grey(0xFFFF), grey(0xFFFF)}}},
        // Floating point within 0..1: fractions of 65535, rounded.
        {"32-bit float in 0..1",
         grey_file(32, 1, samples_float({0, 0.5f, 1, 0.25f}), float_format),
         false,
         {{grey(0), grey(32768), grey(65535), grey(16384)}}},
        // Any other range is stretched from its lowest to its highest finite value; NaN is 0.
        {"32-bit float, other range",
         grey_file(32, 1, samples_float({nan, 10, 20, 30}), float_format),
         false,
         {{grey(0), grey(0), grey(32768), grey(65535)}}},
        {"32-bit float, all equal",
         grey_file(32, 1, samples_float({nan, 2, 2, inf}), float_format),
         false,
         {{grey(0), grey(0), grey(0), grey(0)}}},
    });
}

// Tag 274: file rows [1 2 3] and [4 5 6] shown as the orientation says. The same through the
// full-depth path (grey) and the RGBA raster (palette).
TEST(TiffReader, OrientationTagIsApplied) {
    const std::vector<Picture> shown = {
        {},
        {{grey(1), grey(2), grey(3)}, {grey(4), grey(5), grey(6)}},    // 1 top-left
        {{grey(3), grey(2), grey(1)}, {grey(6), grey(5), grey(4)}},    // 2 top-right
        {{grey(6), grey(5), grey(4)}, {grey(3), grey(2), grey(1)}},    // 3 bottom-right
        {{grey(4), grey(5), grey(6)}, {grey(1), grey(2), grey(3)}},    // 4 bottom-left
        {{grey(1), grey(4)}, {grey(2), grey(5)}, {grey(3), grey(6)}},  // 5 left-top
        {{grey(4), grey(1)}, {grey(5), grey(2)}, {grey(6), grey(3)}},  // 6 right-top
        {{grey(6), grey(3)}, {grey(5), grey(2)}, {grey(4), grey(1)}},  // 7 right-bottom
        {{grey(3), grey(6)}, {grey(2), grey(5)}, {grey(1), grey(4)}},  // 8 left-bottom
    };
    // Palette entry i is grey i × 256 in the raster's 8 bits.
    std::vector<uint32_t> map;
    for (int c = 0; c < 3; ++c)
        for (uint32_t i = 0; i < 256; ++i) map.push_back(i << 8 | 0x7F);
    for (uint16_t o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        const Simple s{.width = 3, .height = 2, .bits = {8}, .photometric = 1,
                       .pixels = samples8({1, 2, 3, 4, 5, 6}), .more = {{274, kShort, {o}}}};
        Picture want = shown[o];
        for (auto& row : want)
            for (Rgb& p : row) p = grey(p[0] * k);
        Simple pal = s;
        pal.photometric = 3;
        pal.more.push_back({320, kShort, map});
        check_cases({{"grey", build(s), false, want}, {"palette", build(pal), false, want}});
    }
}

// ---- files other programs wrote ----

bool have_tiffcp() {
    return run_command("tiffcp 2>/dev/null; command -v tiffcp >/dev/null") == 0;
}

uint32_t sample16(int c, int x, int y) {
    return uint32_t(c * 21000 + x * 1500 + y * 900 + x * y * 7) % 65536;
}

constexpr int kW = 37, kH = 23;  // odd sizes, so tiles stick out of the picture

std::string raw16_source(bool big) {
    std::vector<uint32_t> v;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < 3; ++c) v.push_back(sample16(c, x, y));
    return samples16(big, v);
}

// The source picture as the record holds it.
ImageRecord source16() {
    return make_image(kW, kH, [](int c, int x, int y) { return sample16(c, x, kH - 1 - y); });
}

TEST(TiffGenerated, SixteenBitRgbInEveryLayoutLibtiffWrites) {
    const std::string magick = imagemagick_convert();
    if (magick.empty() || !have_tiffcp())
        GTEST_SKIP() << "ImageMagick convert and libtiff's tiffcp (libtiff-tools) are needed";
    TempDir dir;
    write_file(dir.file("src.raw"), raw16_source(false));
    const std::string base = dir.file("base.tif");
    ASSERT_EQ(run_command(magick + " -size 37x23 -depth 16 -endian LSB rgb:" +
                          dir.file("src.raw") + " -compress none " + base),
              0);
    const std::string base_bytes = read_file(base);
    EXPECT_TRUE(plain(base_bytes));  // ImageMagick's uncompressed file: our own reader
    ImageRecord r;
    ASSERT_TRUE(read_tiff(base, r).ok());
    EXPECT_TRUE(test::same_pixels(r, source16()));
    // tiffcp cannot make 16-bit planar files; ImageMagick makes those.
    struct Variant {
        bool magick;
        const char* options;
        bool own_reader;
    };
    const std::vector<Variant> variants = {
        {false, "-c none -B", true},    // big-endian, uncompressed
        {false, "-c none -r 5", true},  // strips of five rows, one after another
        {false, "-c lzw", false},
        {false, "-c lzw:2", false},  // with the horizontal predictor
        {false, "-c zip", false},
        {false, "-c zip:2", false},
        {false, "-c packbits", false},
        {false, "-c none -t -w 16 -l 16", false},
        {false, "-c zip -t -w 32 -l 16", false},
        {false, "-c lzw -B -t -w 16 -l 16", false},
        {true, "-interlace plane -compress none", false},
        {true, "-interlace plane -compress lzw", false},
        {true, "-interlace plane -compress zip -define tiff:endian=msb", false},
        {true, "-interlace plane -compress zip -define tiff:tile-geometry=16x16", false},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.options);
        const std::string out = dir.file("variant.tif");
        const std::string command =
            v.magick ? magick + " " + base + " " + v.options + " " + out
                     : std::string("tiffcp ") + v.options + " " + base + " " + out;
        ASSERT_EQ(run_command(command), 0);
        EXPECT_EQ(plain(read_file(out)), v.own_reader);
        ImageRecord got;
        const ReadResult result = read_tiff(out, got);
        ASSERT_TRUE(result.ok()) << result.detail;
        EXPECT_TRUE(test::same_pixels(got, source16()));
    }
}

TEST(TiffGenerated, EightBitBigEndianRgbThroughOurOwnReader) {
    const std::string magick = imagemagick_convert();
    if (magick.empty()) GTEST_SKIP() << "ImageMagick convert is not installed";
    TempDir dir;
    std::string raw;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < 3; ++c) raw += char(sample16(c, x, y) >> 8);
    write_file(dir.file("src.raw"), raw);
    for (const char* compress : {"none", "lzw"}) {
        SCOPED_TRACE(compress);
        const std::string path = dir.file("mm.tif");
        ASSERT_EQ(run_command(magick + " -size 37x23 -depth 8 rgb:" + dir.file("src.raw") +
                              " -define tiff:endian=msb -compress " + compress + " " + path),
                  0);
        const std::string bytes = read_file(path);
        ASSERT_EQ(bytes.substr(0, 2), "MM");
        EXPECT_EQ(plain(bytes), std::string(compress) == "none");
        ImageRecord r;
        ASSERT_TRUE(read_tiff(path, r).ok());
        EXPECT_TRUE(test::same_pixels(r, test::high_bytes(source16())));
    }
}

TEST(TiffGenerated, RgbaWithUnassociatedAlphaIsCompositedOverBlack) {
    const std::string magick = imagemagick_convert();
    if (magick.empty()) GTEST_SKIP() << "ImageMagick convert is not installed";
    TempDir dir;
    std::vector<uint32_t> v;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            for (int c = 0; c < 3; ++c) v.push_back(sample16(c, x, y));
            v.push_back(uint32_t(x * 1800 + y * 10) % 65536);
        }
    write_file(dir.file("src.raw"), samples16(false, v));
    const std::string path = dir.file("rgba.tif");
    ASSERT_EQ(run_command(magick + " -size 37x23 -depth 16 -endian LSB rgba:" +
                          dir.file("src.raw") + " -compress zip " + path),
              0);
    ImageRecord r;
    ASSERT_TRUE(read_tiff(path, r).ok());
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < 3; ++c) {
                const std::size_t i = std::size_t(y * kW + x) * 4;
                const double want =
                    std::floor(double(v[i + std::size_t(c)]) * v[i + 3] / 65535 + 0.5);
                ASSERT_EQ(sample(r, c, x, kH - 1 - y), uint32_t(want)) << x << "," << y;
            }
}

// Grey (8 and 16 bits, plain and compressed), palette and 32-bit floating-point files.
TEST(TiffGenerated, PilGreyPaletteAndFloatFiles) {
    const std::string python = test::python_with_pil();
    if (python.empty()) GTEST_SKIP() << "Python with PIL is not installed";
    TempDir dir;
    write_file(dir.file("make.py"), R"(import sys
import numpy as np
from PIL import Image
out = sys.argv[1]
y, x = np.mgrid[0:23, 0:37]
g8 = ((x * 7 + y * 13) % 256).astype(np.uint8)
g16 = ((x * 1777 + y * 911) % 65536).astype(np.uint16)
Image.fromarray(g8, 'L').save(out + '/g8.tif')
Image.fromarray(g8, 'L').save(out + '/g8lzw.tif', compression='tiff_lzw')
Image.fromarray(g16, 'I;16').save(out + '/g16.tif')
Image.fromarray(g16, 'I;16').save(out + '/g16zip.tif', compression='tiff_adobe_deflate')
p = Image.fromarray((g8 % 7).astype(np.uint8), 'P')
p.putpalette([c for i in range(7) for c in (i * 30, 255 - i * 30, i * 7)])
p.save(out + '/pal.tif')
Image.fromarray((g16 / 65535).astype(np.float32), 'F').save(out + '/f01.tif')
Image.fromarray(g16.astype(np.float32) * 3 - 1000, 'F').save(out + '/fwide.tif')
)");
    ASSERT_EQ(run_command(python + " " + dir.file("make.py") + " " + dir.path().string()), 0);
    auto g8 = [](int x, int y) { return uint32_t(x * 7 + y * 13) % 256; };
    auto g16 = [](int x, int y) { return uint32_t(x * 1777 + y * 911) % 65536; };
    uint32_t g16_max = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) g16_max = std::max(g16_max, g16(x, y));
    using Expect = std::function<Rgb(int, int)>;
    const std::vector<std::pair<std::string, Expect>> files = {
        {"g8", [&](int x, int y) { return grey(g8(x, y) * k); }},
        {"g8lzw", [&](int x, int y) { return grey(g8(x, y) * k); }},
        {"g16", [&](int x, int y) { return grey(g16(x, y)); }},
        {"g16zip", [&](int x, int y) { return grey(g16(x, y)); }},
        {"pal",
         [&](int x, int y) {
             const uint32_t i = g8(x, y) % 7;
             return Rgb{i * 30 * k, (255 - i * 30) * k, i * 7 * k};
         }},
        // Fractions of full scale.
        {"f01", [&](int x, int y) { return grey(g16(x, y)); }},
        // Any other range: lowest value 0, highest 65535.
        {"fwide",
         [&](int x, int y) {
             return grey(uint32_t(std::floor(g16(x, y) * 65535.0 / g16_max + 0.5)));
         }},
    };
    for (const auto& [name, want] : files) {
        SCOPED_TRACE(name);
        ImageRecord r;
        const ReadResult result = read_tiff(dir.file(name + ".tif"), r);
        ASSERT_TRUE(result.ok()) << result.detail;
        ASSERT_EQ(r.width, kW);
        ASSERT_EQ(r.height, kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) ASSERT_EQ(pixel(r, x, y), want(x, y)) << x << "," << y;
    }
}

// ---- the shared sample files ----

TEST(TiffSamples, FullDepthFilesMatchImageMagick) {
    const std::string dir = test::shared_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder ../shared/samples not found";
    if (imagemagick_convert().empty()) GTEST_SKIP() << "ImageMagick convert is not installed";
    TempDir tmp;
    const std::vector<std::pair<const char*, int>> files = {
        {"rgb-3c-16b.tiff", 16},        {"tiff_16bit_RGB.tiff", 16},  {"ladoga.tif", 16},
        {"minisblack-1c-16b.tiff", 16}, {"minisblack-1c-8b.tiff", 8}, {"hopper_lzw.tif", 8},
        {"quad-tile.tif", 8},
    };
    for (const auto& [name, depth] : files) {
        const std::string path = dir + "/tiff/" + name;
        ImageRecord r;
        const ReadResult result = read_tiff(path, r);
        ASSERT_TRUE(result.ok()) << name << ": " << result.detail;
        EXPECT_TRUE(matches_raw(r, test::magick_raw(path, tmp, depth), depth)) << name;
    }
    EXPECT_TRUE(plain(read_file(dir + "/tiff/rgb-3c-16b.tiff")));
}

// libtiff's own whole-picture RGBA raster, bottom row first, × 256.
bool libtiff_raster(const std::string& path, ImageRecord& out) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return false;
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint32_t> raster(std::size_t(w) * h);
    const bool ok = TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_BOTLEFT, 1);
    TIFFClose(tif);
    out = make_image(int(w), int(h), [&](int c, int x, int y) {
        const uint32_t p = raster[std::size_t(y) * w + std::size_t(x)];
        return (c == 0 ? TIFFGetR(p) : c == 1 ? TIFFGetG(p) : TIFFGetB(p)) << 8;
    });
    return ok;
}

TEST(TiffSamples, RasterKindsMatchLibtiffsRgbaImage) {
    const std::string dir = test::shared_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder ../shared/samples not found";
    TIFFSetWarningHandler(nullptr);
    for (const char* name : {"palette-1c-8b.tiff", "dscf0013.tif"}) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/tiff/" + name;
        ImageRecord want, got;
        ASSERT_TRUE(libtiff_raster(path, want));
        ASSERT_TRUE(read_tiff(path, got).ok());
        EXPECT_TRUE(test::same_pixels(got, want));
    }
}

// 64-bit floating point, separate planes, values 9 to 946: stretched over 0..65535 with one
// range for all three colours.
TEST(TiffSamples, FloatingPointFileIsStretchedOverTheWholeRange) {
    const std::string dir = test::shared_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder ../shared/samples not found";
    const std::string path = dir + "/tiff/caspian.tif";
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    uint32_t w = 0, h = 0, rows = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rows);
    std::vector<double> values(std::size_t(w) * h * 3);
    const uint32_t per_plane = TIFFNumberOfStrips(tif) / 3;
    std::vector<double> strip(std::size_t(w) * rows);
    for (uint32_t s = 0; s < per_plane * 3; ++s) {
        const tmsize_t n = TIFFReadEncodedStrip(tif, s, strip.data(), tmsize_t(strip.size() * 8));
        ASSERT_GT(n, 0);
        const std::size_t start =
            (s / per_plane) * std::size_t(w) * h + std::size_t(s % per_plane) * rows * w;
        std::copy_n(strip.begin(), std::size_t(n) / 8, values.begin() + std::ptrdiff_t(start));
    }
    TIFFClose(tif);
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    ImageRecord r;
    ASSERT_TRUE(read_tiff(path, r).ok());
    ASSERT_EQ(r.width, int(w));
    ASSERT_EQ(r.height, int(h));
    for (int c = 0; c < 3; ++c)
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const double v = values[std::size_t(c) * w * h + std::size_t(y) * w + x];
                const double want = std::floor((v - *lo) * 65535 / (*hi - *lo) + 0.5);
                ASSERT_EQ(sample(r, c, int(x), int(h - 1 - y)), uint32_t(want));
            }
}

// ---- writing ----

ImageRecord writer_image(int w = 5, int h = 3) {
    return make_image(w, h,
                      [](int c, int x, int y) { return (c * 20011 + x * 3001 + y * 701) % 65536; });
}

uint32_t get16(const std::string& s, std::size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8;
}
uint32_t get32(const std::string& s, std::size_t at) {
    return get16(s, at) | get16(s, at + 2) << 16;
}

// The layout, byte for byte; our own reader takes the file and reads it back identically.
TEST(TiffWriter, WritesABaselineFileWithTheAgreedLayout) {
    TempDir dir;
    const ImageRecord src = writer_image();
    const std::string path = dir.file("out.tif");
    ASSERT_TRUE(write_tiff(path, src).ok());
    const std::string f = read_file(path);
    ASSERT_EQ(f.size(), 256u + 5 * 3 * 6);
    EXPECT_EQ(f.substr(0, 4), std::string("II*\0", 4));
    EXPECT_EQ(get32(f, 4), 18u);  // the IFD
    EXPECT_EQ(get16(f, 8), 16u);  // bits per sample array
    EXPECT_EQ(get16(f, 10), 16u);
    EXPECT_EQ(get16(f, 12), 16u);
    ASSERT_EQ(get16(f, 18), 14u);
    struct E {
        uint32_t tag, type, count, value;
    };
    const std::vector<E> entries = {
        {256, kLong, 1, 5},  {257, kLong, 1, 3},       {258, kShort, 3, 8},
        {259, kShort, 1, 1}, {262, kShort, 1, 2},      {273, kLong, 1, 256},
        {274, kShort, 1, 1}, {277, kShort, 1, 3},      {278, kLong, 1, 3},
        {279, kLong, 1, 90}, {282, kRational, 1, 192}, {283, kRational, 1, 200},
        {284, kShort, 1, 1}, {296, kShort, 1, 2},
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t at = 20 + i * 12;
        SCOPED_TRACE(entries[i].tag);
        EXPECT_EQ(get16(f, at), entries[i].tag);
        EXPECT_EQ(get16(f, at + 2), entries[i].type);
        EXPECT_EQ(get32(f, at + 4), entries[i].count);
        EXPECT_EQ(get32(f, at + 8), entries[i].value);  // SHORTs: value then zero padding
    }
    EXPECT_EQ(get32(f, 188), 0u);  // no further IFD
    EXPECT_EQ(get32(f, 192), 72u);
    EXPECT_EQ(get32(f, 196), 1u);
    EXPECT_EQ(get32(f, 200), 72u);
    EXPECT_EQ(get32(f, 204), 1u);
    // Pixel data: top row first, red low, red high, green low, green high, blue low, blue high.
    for (int row = 0; row < 3; ++row)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(get16(f, 256 + std::size_t(row * 5 + x) * 6 + std::size_t(c) * 2),
                          sample(src, c, x, 2 - row));
    EXPECT_TRUE(plain(f));
    ImageRecord back;
    ASSERT_TRUE(read_tiff(path, back).ok());
    EXPECT_TRUE(test::same_pixels(back, src));
}

TEST(TiffWriter, LibtiffReadsOurFileWithoutWarnings) {
    if (run_command("command -v tiffinfo >/dev/null && command -v tiffcp >/dev/null") != 0)
        GTEST_SKIP() << "libtiff's tiffinfo and tiffcp (libtiff-tools) are not installed";
    TempDir dir;
    const ImageRecord src = writer_image(61, 17);
    const std::string path = dir.file("out.tif");
    ASSERT_TRUE(write_tiff(path, src).ok());
    ASSERT_EQ(run_command("tiffinfo -D " + path + " >" + dir.file("info.txt") + " 2>" +
                          dir.file("err.txt")),
              0);
    EXPECT_EQ(read_file(dir.file("err.txt")), "");
    const std::string info = read_file(dir.file("info.txt"));
    EXPECT_NE(info.find("Image Width: 61 Image Length: 17"), std::string::npos) << info;
    EXPECT_NE(info.find("Bits/Sample: 16"), std::string::npos) << info;
    // Re-saved compressed by libtiff, it reads back (through libtiff) with every bit.
    const std::string lzw = dir.file("lzw.tif");
    ASSERT_EQ(run_command("tiffcp -c lzw:2 " + path + " " + lzw + " 2>" + dir.file("err.txt")), 0);
    EXPECT_EQ(read_file(dir.file("err.txt")), "");
    ImageRecord back;
    ASSERT_TRUE(read_tiff(lzw, back).ok());
    EXPECT_TRUE(test::same_pixels(back, src));
}

// ImageMagick reads every 16-bit value, PIL (without a warning) the high bytes.
TEST(TiffWriter, ImageMagickAndPilReadOurFile) {
    TempDir dir;
    const ImageRecord src = writer_image(13, 7);
    const std::string path = dir.file("out.tif");
    ASSERT_TRUE(write_tiff(path, src).ok());
    if (!imagemagick_convert().empty()) {
        EXPECT_TRUE(matches_raw(src, test::magick_raw(path, dir, 16), 16)) << "ImageMagick";
    }
    const std::string python = test::python_with_pil();
    if (python.empty()) return;
    EXPECT_EQ(run_command(python + " -W error -c \"from PIL import Image; Image.open('" + path +
                          "').load()\""),
              0)
        << "PIL warns";
    EXPECT_TRUE(matches_raw(test::high_bytes(src), test::pil_rgb8(path, dir))) << "PIL";
}

TEST(TiffWriter, FailuresLeaveFilesAlone) {
    ImageRecord too_large;  // 6 bytes a pixel no longer fit 32-bit offsets
    too_large.width = 40000;
    too_large.height = 20000;
    test::expect_writes_refused(write_tiff, writer_image(),
                                {{"too large", too_large, "image too large for TIFF"}});
    EXPECT_TRUE(
        test::fails_on_full_device([](std::FILE* f) { return encode_tiff(f, writer_image()); }));
}

// ---- bad input ----

std::string our_small_file() {
    TempDir dir;
    EXPECT_TRUE(write_tiff(dir.file("s.tif"), writer_image(4, 3)).ok());
    return read_file(dir.file("s.tif"));
}

// A little-endian 32-bit value written into a copy of `file`.
std::string patched(std::string file, std::size_t at, uint32_t v) {
    return file.replace(at, 4, le32(v));
}

TEST(TiffReader, RefusesMalformedFilesAndLeavesTheRecordAlone) {
    const std::string good = our_small_file();
    // LZW claimed for data that is not LZW; deflate data for a billion pixels in a few bytes.
    const Simple compressed{.width = 4, .height = 3, .pixels = std::string(36, '\x55'),
                            .more = {{259, kShort, {5}}}};
    const Simple huge{.width = 40000, .height = 25000, .pixels = std::string(36, '\x55'),
                      .more = {{259, kShort, {8}}}};
    const std::vector<test::RefusedFile> cases = {
        {"empty", "", ReadStatus::not_this_format},
        {"byte order mark mixed", "IM" + good.substr(2), ReadStatus::not_this_format},
        {"no byte order mark", "XX" + good.substr(2), ReadStatus::not_this_format},
        {"wrong version", good.substr(0, 2) + le16(41) + good.substr(4), ReadStatus::corrupt},
        {"IFD past the end", patched(good, 4, 1'000'000), ReadStatus::corrupt},
        {"IFD inside the header", patched(good, 4, 2), ReadStatus::corrupt},
        {"strip past the end", patched(good, 20 + 5 * 12 + 8, 0xFFFFFF00), ReadStatus::corrupt},
        {"strip runs past the end", patched(good, 20 + 5 * 12 + 8, 300), ReadStatus::corrupt},
        {"width 2^31", patched(good, 20 + 8, 0x80000000), ReadStatus::corrupt},
        {"height 0", patched(good, 20 + 12 + 8, 0), ReadStatus::corrupt},
        {"pixel count past the limit", patched(patched(good, 20 + 8, 65536), 20 + 12 + 8, 65536),
         ReadStatus::corrupt},
        {"broken LZW data", build(compressed), ReadStatus::corrupt},
        {"deflate data far too short for a billion pixels", build(huge), ReadStatus::corrupt},
    };
    test::expect_refused(cases, decode);
}

std::string deflate(const std::string& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()), 9);
    out.resize(size);
    return out;
}

// Files with the IFD before the pixel data, so that cutting them short loses pixel data:
// ours and the old layout (our own reader), and deflate-compressed and planar ones (libtiff).
TEST(TiffReader, EveryTruncationIsRefused) {
    std::vector<std::string> files = {our_small_file(),
                                      old_layout(2, 2, std::string(2 * 2 * 6, '\x42'))};
    std::string raw;
    for (int i = 0; i < 5 * 4 * 6; ++i) raw += char(i * 37);
    Simple s{.ifd_first = true, .width = 5, .height = 4, .bits = {16, 16, 16},
             .pixels = deflate(raw), .more = {{259, kShort, {8}}}};
    files.push_back(build(s));
    s.pixels = raw;
    s.more = {{273, kLong, {0, 40, 80}}, {279, kLong, {40, 40, 40}}, {284, kShort, {2}}};
    files.push_back(build(s));
    for (const std::string& file : files) test::expect_prefixes_handled(decode_tiff, file);
}

// Damaged files, among them a sample with a tag that makes libtiff warn, are refused or read
// without harm, and nothing is printed.
TEST(TiffReader, DamagedFilesAreHandled) {
    test::expect_damage_handled(decode_tiff, our_small_file(), {0x00, 0x5A, 0xFF});
    const std::string samples = test::shared_samples_dir();
    if (!samples.empty())
        test::expect_damage_handled(decode_tiff, read_file(samples + "/tiff/caspian.tif"),
                                    {0x00, 0xFF}, 600);
}

}  // namespace
}  // namespace vora
