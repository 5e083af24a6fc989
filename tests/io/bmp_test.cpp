#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "io/bmp_pnm.h"
#include "test_support.h"

namespace vora {
namespace {

using test::bytes;
using test::imagemagick_convert;
using test::le16;
using test::le32;
using test::magick_raw;
using test::make_image;
using test::matches_raw;
using test::pil_rgb8;
using test::python_with_pil;
using test::quoted;
using test::read_file;
using test::Rgb;
using test::run_command;
using test::TempDir;
using test::write_file;

// ---- building files by hand ----

// A colour table as a bitmap stores it: blue, green, red (and a reserved byte).
std::string table(std::initializer_list<Rgb> colours, int entry_size = 4) {
    std::string s;
    for (const Rgb& c : colours) {
        s += bytes({c[2], c[1], c[0]});
        if (entry_size == 4) s += '\0';
    }
    return s;
}

// A 256-entry grey table: index i is (i, i, i).
std::string grey_table(int entries = 256) {
    std::string s;
    for (int i = 0; i < entries; ++i) s += bytes({i, i, i, 0});
    return s;
}

struct BmpParts {
    uint32_t header_size = 40;
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t colours_used = 0;
    std::string colour_table{};
    std::vector<uint32_t> masks{};  // after a 40-byte header, inside a longer one
    std::string pixels{};
    int64_t data_offset = -1;  // -1: right after the colour table
};

std::string build(const BmpParts& p) {
    std::string info;
    if (p.header_size == 12) {
        info = le32(12) + le16(uint32_t(p.width)) + le16(uint32_t(p.height)) + le16(1) +
               le16(p.bits);
    } else {
        info = le32(p.header_size) + le32(uint32_t(p.width)) + le32(uint32_t(p.height)) +
               le16(1) + le16(p.bits) + le32(p.compression) + le32(uint32_t(p.pixels.size())) +
               le32(2835) + le32(2835) + le32(p.colours_used) + le32(0);
        if (p.header_size >= 52)
            for (uint32_t m : p.masks) info += le32(m);
        if (info.size() < p.header_size) info.resize(p.header_size, '\0');
    }
    std::string body = info;
    if (p.header_size < 52)
        for (uint32_t m : p.masks) body += le32(m);
    body += p.colour_table;
    uint64_t offset = 14 + body.size();
    if (p.data_offset >= 0) {
        offset = uint64_t(p.data_offset);
        if (offset > 14 + body.size()) body.resize(offset - 14, '\0');
    }
    return "BM" + le32(uint32_t(14 + body.size() + p.pixels.size())) + le32(0) +
           le32(uint32_t(offset)) + body + p.pixels;
}

ReadResult decode(const std::string& file, ImageRecord& out) {
    return test::decode_bytes(decode_bitmap, file, out);
}

// Grey palette indices given in plane order (the bottom row first, as run-length data code
// them), as has_pixels() takes them.
std::vector<Rgb> grey_rows(int w, int h, const std::vector<int>& bottom_first) {
    std::vector<Rgb> top_first;
    for (int top = 0; top < h; ++top)
        for (int x = 0; x < w; ++x) {
            const int v = bottom_first[std::size_t((h - 1 - top) * w + x)];
            top_first.push_back({v, v, v});
        }
    return top_first;
}

// ---- the outside programs ----

std::string bmp_samples_dir() {
    const std::string dir = test::shared_samples_dir();
    return dir.empty() ? "" : dir + "/bmp";
}

// The header fields that decide how a file is decoded, read back from a generated file.
struct Layout {
    uint32_t header_size;
    int bits;
    int compression;
};

Layout layout_of(const std::string& file) {
    const auto u8 = [&](std::size_t i) { return uint32_t(uint8_t(file.at(i))); };
    const uint32_t hs = u8(14) | u8(15) << 8;
    if (hs == 12) return {hs, int(u8(24)), 0};
    return {hs, int(u8(28)), int(u8(30))};
}

// A P6 picture of distinct colours for ImageMagick to convert.
std::string colourful_ppm(int w, int h) {
    std::string s = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            s += bytes({(x * 53 + y * 17 + 11) & 255, (x * 29 + y * 91 + 40) & 255,
                        (x * 7 + y * 131 + 90) & 255});
    return s;
}

// ---- decoding: pixel formats ----

TEST(BmpReader, DecodesEachPixelFormat) {
    const Rgb c0{0x30, 0x20, 0x10}, c1{0xD0, 0xE0, 0xF0};
    std::string table16;
    for (int i = 0; i < 16; ++i) table16 += table({{3 * i, 2 * i, i}});
    const auto t16 = [](int i) { return Rgb{3 * i, 2 * i, i}; };
    const std::string t2 = table({{10, 20, 30}, {40, 50, 60}});
    struct Case {
        const char* what;
        BmpParts parts;
        int w, h;
        std::vector<Rgb> top_first;
    };
    const Case cases[] = {
        {"1 bit, bit 7 first, bits past the width ignored, rows padded to 4 bytes",
         {.width = 10, .height = 2, .bits = 1, .colour_table = table({c0, c1}),
          .pixels = bytes({0b10110000, 0b01111111, 0xAA, 0xAA, 0x00, 0xC0, 0, 0})},
         10, 2,
         {c0, c0, c0, c0, c0, c0, c0, c0, c1, c1,    // top: the file's second row
          c1, c0, c1, c1, c0, c0, c0, c0, c0, c1}},  // bottom: the file's first row
        {"4 bit, high nibble first, 3 wide",
         {.width = 3, .height = 2, .bits = 4, .colour_table = table16,
          .pixels = bytes({0x12, 0x3F, 0, 0, 0xA0, 0xB0, 0, 0})},
         3, 2,
         {t16(10), t16(0), t16(11), t16(1), t16(2), t16(3)}},
        {"8 bit with a two-entry table: other indices are black",
         {.width = 4, .height = 1, .bits = 8, .colour_table = table({c0, c1}),
          .pixels = bytes({1, 0, 2, 255})},
         4, 1,
         {c1, c0, {0, 0, 0}, {0, 0, 0}}},
        {"16 bit 5-5-5: bit 15 ignored, 5-bit values widened by repeating their bits",
         {.width = 3, .height = 2, .bits = 16,
          .pixels = le16(0x7FFF) + le16(0xFC00) + le16(0x0003) + "\xEE\xEE" + le16(0x0060) +
                    le16(0x4210) + le16(0x0000) + std::string(2, '\0')},
         3, 2,
         {{0, 24, 0}, {132, 132, 132}, {0, 0, 0},  // 16 → 10000100, 3 → 00011000
          {255, 255, 255}, {255, 0, 0}, {0, 0, 24}}},
        {"16 bit 5-6-5 bit fields",
         {.width = 2, .height = 1, .bits = 16, .compression = 3,
          .masks = {0xF800, 0x07E0, 0x001F}, .pixels = le16(0xFFFF) + le16(0x0820)},
         2, 1,
         {{255, 255, 255}, {8, 4, 0}}},
        {"24 bit, 1 wide: one pad byte per row",
         {.width = 1, .height = 2, .bits = 24, .pixels = bytes({1, 2, 3, 0xEE, 4, 5, 6, 0xEE})},
         1, 2,
         {{6, 5, 4}, {3, 2, 1}}},
        {"32 bit, 3 wide: no bytes skipped between rows",
         {.width = 3, .height = 2, .bits = 32,
          .pixels = bytes({1, 2, 3, 9, 4, 5, 6, 9, 7, 8, 9, 9, 10, 11, 12, 9, 13, 14, 15, 9,
                           16, 17, 18, 9})},
         3, 2,
         {{12, 11, 10}, {15, 14, 13}, {18, 17, 16}, {3, 2, 1}, {6, 5, 4}, {9, 8, 7}}},
        {"32 bit fields of 10 bits: v × 255 / 1023, truncated",
         {.width = 2, .height = 1, .bits = 32, .compression = 3,
          .masks = {0x3FF00000, 0x000FFC00, 0x000003FF},
          .pixels = le32(1023u << 20 | 512u << 10 | 1) + le32(4u << 20 | 5u << 10 | 1023)},
         2, 1,
         {{255, 127, 0}, {0, 1, 255}}},
        {"32 bit fields in unusual places",
         {.width = 1, .height = 1, .bits = 32, .compression = 3,
          .masks = {0xFF000000, 0x00000FF0, 0x00FF0000}, .pixels = le32(0x12345678)},
         1, 1,
         {{0x12, 0x67, 0x34}}},
        {"32 bit fields inside a 124-byte header",
         {.header_size = 124, .width = 1, .height = 1, .bits = 32, .compression = 3,
          .masks = {0x0000FF00, 0x00FF0000, 0xFF000000}, .pixels = le32(0x11223344)},
         1, 1,
         {{0x33, 0x22, 0x11}}},
        {"24 bit top-down: the first row is the top",
         {.width = 1, .height = -2, .bits = 24, .pixels = bytes({1, 2, 3, 0, 4, 5, 6, 0})},
         1, 2,
         {{3, 2, 1}, {6, 5, 4}}},
        {"OS/2 core header, 8 bit, 3-byte table entries",
         {.header_size = 12, .width = 3, .height = 1, .bits = 8,
          .colour_table = table({c0, c1, {7, 8, 9}}, 3), .pixels = bytes({2, 0, 1, 0})},
         3, 1,
         {{7, 8, 9}, c0, c1}},
        {"OS/2 core header, 24 bit",
         {.header_size = 12, .width = 1, .height = 1, .bits = 24, .pixels = bytes({1, 2, 3, 0})},
         1, 1,
         {{3, 2, 1}}},
        {"only the low byte of the compression field counts",
         {.width = 1, .height = 1, .bits = 24, .compression = 0x100,
          .pixels = bytes({1, 2, 3, 0})},
         1, 1,
         {{3, 2, 1}}},
        {"a compression code that does not fit the bit count is ignored",
         {.width = 2, .height = 1, .bits = 8, .compression = 2, .colour_table = table({c0, c1}),
          .pixels = bytes({1, 0, 0, 0})},
         2, 1,
         {c1, c0}},
        // Only the offset says where the pixels start, so the bytes after the table (the
        // pixels) are never taken for colours, and a gap after the table is skipped.
        {"colours used 2: the pixels follow a two-entry table",
         {.width = 3, .height = 1, .bits = 8, .colours_used = 2, .colour_table = t2,
          .pixels = bytes({1, 0, 1, 0})},
         3, 1,
         {{40, 50, 60}, {10, 20, 30}, {40, 50, 60}}},
        {"the table placed well before the pixel data offset",
         {.width = 3, .height = 1, .bits = 8, .colour_table = t2, .pixels = bytes({1, 0, 1, 0}),
          .data_offset = 14 + 40 + 8 + 20},
         3, 1,
         {{40, 50, 60}, {10, 20, 30}, {40, 50, 60}}},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(test::decodes_to(decode_bitmap, build(c.parts), c.w, c.h, c.top_first))
            << c.what;
}

// ---- decoding: run-length coding ----

TEST(BmpReader, RunLengthCoding) {
    struct Case {
        const char* what;
        int bits;  // 8: RLE8, 4: RLE4
        int w, h;
        std::string data;
        std::vector<int> bottom_first;  // grey indices, bottom row first
    };
    const Case cases[] = {
        {"RLE8 runs, odd literal run with its pad byte, end of line, end of bitmap", 8, 5, 2,
         bytes({2, 7, 0, 3, 1, 2, 3, 0xEE, 0, 0, 5, 9, 0, 1}),
         {7, 7, 1, 2, 3, 9, 9, 9, 9, 9}},
        {"RLE8 even literal run has no pad byte", 8, 6, 1,
         bytes({0, 4, 1, 2, 3, 4, 2, 9, 0, 1}),
         {1, 2, 3, 4, 9, 9}},
        {"RLE8 delta: skipped pixels stay black", 8, 4, 3,
         bytes({1, 5, 0, 2, 2, 1, 1, 6, 0, 1}),
         {5, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 0}},
        {"RLE8 short rows: end of line goes on at the next row", 8, 4, 2,
         bytes({2, 5, 0, 0, 1, 6, 0, 1}),
         {5, 5, 0, 0, 6, 0, 0, 0}},
        {"RLE8 rows coded with their padding: end of line cuts them back", 8, 3, 2,
         bytes({4, 5, 0, 0, 4, 6, 0, 0, 0, 1}),
         {5, 5, 5, 6, 6, 6}},
        {"RLE8 padding pixels coded past the last pixel do not end decoding", 8, 1, 3,
         bytes({1, 4, 3, 0, 0, 0, 1, 5, 3, 0, 0, 0, 1, 6, 3, 0, 0, 1}),
         {4, 5, 6}},
        {"RLE8 without line ends runs on through the rows", 8, 3, 2,
         bytes({5, 7, 0, 1}),
         {7, 7, 7, 7, 7, 0}},
        {"RLE8 end of line after a complete row changes nothing", 8, 2, 2,
         bytes({2, 3, 0, 0, 2, 4, 0, 0, 0, 1}),
         {3, 3, 4, 4}},
        {"RLE8 data ends without an end code: the rest stays black", 8, 3, 2,
         bytes({2, 5, 0}),
         {5, 5, 0, 0, 0, 0}},
        {"RLE8 end of bitmap stops early", 8, 3, 1,
         bytes({1, 5, 0, 1, 2, 6}),
         {5, 0, 0}},
        {"RLE4 run alternates high and low nibble", 4, 5, 1,
         bytes({5, 0x12, 0, 1}),
         {1, 2, 1, 2, 1}},
        {"RLE4 literal run of 5 takes 3 bytes and a pad byte", 4, 6, 1,
         bytes({0, 5, 0x34, 0x56, 0x70, 0xEE, 1, 0x90, 0, 1}),
         {3, 4, 5, 6, 7, 9}},
        {"RLE4 literal run of 4 takes 2 bytes and no pad", 4, 6, 1,
         bytes({0, 4, 0xAB, 0xCD, 2, 0xEE, 0, 1}),
         {10, 11, 12, 13, 14, 14}},
        {"RLE4 end of line and delta", 4, 3, 3,
         bytes({1, 0x10, 0, 0, 0, 2, 1, 1, 1, 0x20, 0, 1}),
         {1, 0, 0, 0, 0, 0, 0, 2, 0}},
        // Runs, deltas and literal runs aimed beyond the last pixel, and literal runs cut
        // short by the end of the data: the picture is accepted and nothing lands outside it.
        {"run of 255", 8, 2, 2, bytes({255, 5, 0, 1}), {5, 5, 5, 5}},
        {"run of 255 in RLE4", 4, 2, 2, bytes({255, 0x12, 0, 1}), {1, 2, 1, 2}},
        {"delta of 255 rows", 8, 2, 2, bytes({1, 3, 0, 2, 255, 255, 1, 4, 0, 1}), {3, 0, 0, 0}},
        {"literal run longer than the picture", 8, 2, 2,
         bytes({0, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}), {1, 2, 3, 4}},
        {"literal run longer than the data", 8, 2, 2, bytes({0, 200, 1, 2}), {1, 2, 0, 0}},
        {"RLE4 literal run longer than the data", 4, 2, 2, bytes({0, 200, 0x12}), {1, 2, 0, 0}},
        {"end of line past the last row", 8, 2, 2, bytes({1, 1, 0, 0, 0, 0, 0, 0, 1, 9}),
         {1, 0, 0, 0}},
        {"delta code without its two bytes", 8, 2, 2, bytes({1, 1, 0, 2, 1}), {1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const BmpParts p{.width = c.w, .height = c.h, .bits = uint16_t(c.bits),
                         .compression = uint32_t(c.bits == 8 ? 1 : 2),
                         .colour_table = grey_table(c.bits == 8 ? 256 : 16), .pixels = c.data};
        EXPECT_TRUE(test::decodes_to(decode_bitmap, build(p), c.w, c.h,
                                     grey_rows(c.w, c.h, c.bottom_first)))
            << c.what;
    }
}

// ---- decoding: refusals ----

TEST(BmpReader, RefusesMalformedFilesAndLeavesTheRecordAlone) {
    const std::string good = build({.width = 2, .height = 2, .bits = 24,
                                    .pixels = std::string(16, '\x40')});
    std::string offset_past_end = good;
    offset_past_end.replace(10, 4, le32(uint32_t(good.size())));
    std::string short_pixels = good;
    short_pixels.pop_back();
    std::string no_magic = good;
    no_magic[1] = 'A';
    using Case = test::RefusedFile;
    const auto with = [](BmpParts p) { return build(p); };
    const std::string px(64, '\0');
    const Case cases[] = {
        {"empty file", "", ReadStatus::not_this_format},
        {"one byte", "B", ReadStatus::not_this_format},
        {"only the magic", "BM", ReadStatus::corrupt},
        {"wrong magic", no_magic, ReadStatus::not_this_format},
        {"header cut in the sizes", good.substr(0, 30), ReadStatus::corrupt},
        {"OS/2 header cut short", with({.header_size = 12}).substr(0, 24), ReadStatus::corrupt},
        {"width 0", with({.width = 0, .pixels = px}), ReadStatus::corrupt},
        {"negative width", with({.width = -2, .pixels = px}), ReadStatus::corrupt},
        {"height 0", with({.height = 0, .pixels = px}), ReadStatus::corrupt},
        {"OS/2 width 0", with({.header_size = 12, .width = 0, .pixels = px}),
         ReadStatus::corrupt},
        {"width 0x7FFFFFFF", with({.width = INT32_MAX, .pixels = px}), ReadStatus::corrupt},
        {"height -2^31", with({.height = INT32_MIN, .pixels = px}), ReadStatus::corrupt},
        {"2^30 pixels", with({.width = 32768, .height = 32768, .pixels = px}),
         ReadStatus::corrupt},
        {"pixel data offset at the end of the file", offset_past_end, ReadStatus::corrupt},
        {"pixel data one byte short", short_pixels, ReadStatus::corrupt},
        {"rows need more bytes than the file has",
         with({.width = 1000, .height = 1000, .pixels = px}), ReadStatus::corrupt},
        {"2 bits per pixel", with({.bits = 2, .pixels = px}), ReadStatus::unsupported},
        {"64 bits per pixel", with({.bits = 64, .pixels = px}), ReadStatus::unsupported},
        {"JPEG compression", with({.compression = 4, .pixels = px}), ReadStatus::unsupported},
        {"PNG compression", with({.compression = 5, .pixels = px}), ReadStatus::unsupported},
        {"bit field masks missing",
         good.substr(0, 14) + le32(40) + le32(1) + le32(1) + le16(1) + le16(16) + le32(3) +
             std::string(20, '\0') + "\x01\x02\x03\x04",
         ReadStatus::corrupt},
        {"top-down run-length data",
         with({.height = -2, .bits = 8, .compression = 1, .pixels = bytes({2, 0, 0, 1})}),
         ReadStatus::corrupt},
        {"run-length data far too short for the size",
         with({.width = 10000, .height = 10000, .bits = 8, .compression = 1,
               .pixels = bytes({2, 0, 0, 1})}),
         ReadStatus::corrupt},
    };
    test::expect_refused(cases, decode);
}

// Every prefix of a valid file is refused without touching the record or, for run-length
// data that merely stop early, decoded to a picture of the full size. Header bytes set to a
// few hostile values never do harm.
TEST(BmpReader, TruncatedAndDamagedFilesAreHandled) {
    const std::vector<std::pair<std::string, std::string>> truncated = {
        {"24 bit", build({.width = 3, .height = 2, .bits = 24, .pixels = std::string(24, 'x')})},
        {"8 bit", build({.width = 3, .height = 2, .bits = 8, .colour_table = grey_table(),
                         .pixels = bytes({1, 2, 3, 0, 4, 5, 6, 0})})},
        {"OS/2 4 bit", build({.header_size = 12, .width = 3, .height = 2, .bits = 4,
                              .colour_table = std::string(48, 'c'),
                              .pixels = bytes({0x12, 0x30, 0, 0, 0x45, 0x60, 0, 0})})},
        {"16 bit fields", build({.width = 2, .height = 1, .bits = 16, .compression = 3,
                                 .masks = {0xF800, 0x07E0, 0x1F}, .pixels = le32(0x12345678)})},
        {"RLE8", build({.width = 3, .height = 2, .bits = 8, .compression = 1,
                        .colour_table = grey_table(),
                        .pixels = bytes({3, 1, 0, 0, 0, 3, 4, 5, 6, 0, 0, 1})})},
    };
    for (const auto& [what, file] : truncated) {
        SCOPED_TRACE(what);
        test::expect_prefixes_handled(decode_bitmap, file, what == "RLE8");
    }
    const std::string damaged[] = {
        build({.width = 3, .height = 2, .bits = 8, .colour_table = grey_table(4),
               .pixels = bytes({1, 2, 3, 0, 3, 2, 1, 0})}),
        build({.width = 3, .height = 2, .bits = 8, .compression = 1, .colour_table = grey_table(4),
               .pixels = bytes({3, 1, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1})}),
        build({.width = 2, .height = 2, .bits = 32, .compression = 3,
               .masks = {0xFF0000, 0xFF00, 0xFF}, .pixels = std::string(16, 'p')}),
    };
    for (const std::string& file : damaged)
        test::expect_damage_handled(decode_bitmap, file, {0x00, 0x01, 0x7F, 0x80, 0xFF}, 70);
}

TEST(BitmapReader, SetsNameSizeAndPlanesOnly) {
    const std::string file =
        build({.width = 1, .height = 1, .bits = 24, .pixels = bytes({1, 2, 3, 0})});
    EXPECT_TRUE(test::has_pixels(test::read_saved(read_bitmap, file), 1, 1, {{3, 2, 1}}));
}

// ---- decoding files other programs wrote ----

TEST(BmpSamples, MatchReferenceDecoders) {
    const std::string dir = bmp_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder ../shared/samples not found";
    if (imagemagick_convert().empty() && python_with_pil().empty())
        GTEST_SKIP() << "neither ImageMagick nor Python with PIL is installed";
    // Where a reference program is left out, it is the one that is wrong or gives up:
    // - PIL widens 5- and 6-bit channels by truncating v × 255 / max; ImageMagick repeats the
    //   bits, as we do, so the two differ by one step for a few values;
    // - PIL decodes g_pal4rle.bmp differently from g_pal4.bmp, which holds the same picture
    //   (ImageMagick and we give the same pixels for both);
    // - PIL refuses the bit field layouts of g_rgb32bf.bmp and q_rgba32.bmp;
    // - ImageMagick takes the OS/2 2.x file q_pal8os2v2.bmp for one with 3-byte table entries;
    //   its table has 4-byte entries, and read that way it gives the pixels of g_pal8.bmp.
    struct Case {
        const char* file;
        bool magick;
        bool pil;
    };
    const Case cases[] = {
        {"g_pal1.bmp", true, true},        {"g_pal4.bmp", true, true},
        {"g_pal4rle.bmp", true, false},    {"g_pal8.bmp", true, true},
        {"g_pal8os2.bmp", true, true},     {"g_pal8rle.bmp", true, true},
        {"g_pal8topdown.bmp", true, true}, {"g_pal8v5.bmp", true, true},
        {"g_rgb16-565.bmp", true, false},  {"g_rgb16.bmp", true, false},
        {"g_rgb24.bmp", true, true},       {"g_rgb32.bmp", true, true},
        {"g_rgb32bf.bmp", true, false},    {"q_pal8os2v2.bmp", false, true},
        {"q_rgba32.bmp", true, false},
    };
    TempDir tmp;
    for (const Case& c : cases) {
        const std::string path = dir + "/" + c.file;
        ImageRecord r;
        const ReadResult res = read_bitmap(path, r);
        ASSERT_TRUE(res.ok()) << c.file << ": " << res.detail;
        EXPECT_EQ(r.width, 127) << c.file;
        EXPECT_EQ(r.height, 64) << c.file;
        if (c.magick && !imagemagick_convert().empty()) {
            EXPECT_TRUE(matches_raw(r, magick_raw(path, tmp))) << c.file << " (ImageMagick)";
        }
        if (c.pil && !python_with_pil().empty()) {
            EXPECT_TRUE(matches_raw(r, pil_rgb8(path, tmp))) << c.file << " (PIL)";
        }
    }
}

TEST(BmpSamples, EncodingsOfOnePictureAgree) {
    const std::string dir = bmp_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder ../shared/samples not found";
    const auto load = [&](const std::string& name) {
        ImageRecord r;
        EXPECT_TRUE(read_bitmap(dir + "/" + name, r).ok()) << name;
        return r;
    };
    const std::vector<std::pair<std::string, std::vector<std::string>>> families = {
        {"g_pal8.bmp",
         {"g_pal8os2.bmp", "g_pal8rle.bmp", "g_pal8topdown.bmp", "g_pal8v5.bmp",
          "q_pal8os2v2.bmp"}},
        {"g_pal4.bmp", {"g_pal4rle.bmp"}},
        // q_rgba32.bmp is left out: its fully transparent pixels have other colours.
        {"g_rgb24.bmp", {"g_rgb32.bmp", "g_rgb32bf.bmp"}},
    };
    for (const auto& [base, others] : families) {
        const ImageRecord want = load(base);
        for (const std::string& other : others) {
            const ImageRecord got = load(other);
            EXPECT_TRUE(test::same_pixels(got, want)) << other << " against " << base;
        }
    }
}

// An 8-bit bitmap whose table has `colours` entries, every one of them used. ImageMagick
// keeps such a picture's palette, so converting it needs no (slow) colour reduction and the
// table size decides the bit depth it writes.
std::string palette_source(int w, int h, int colours) {
    std::string tbl;
    for (int i = 0; i < colours; ++i)
        tbl += table({{(i * 53 + 20) % 256, (i * 91) % 256, (i * 37) % 256}});
    std::string px;
    const int stride = (w + 3) / 4 * 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < stride; ++x) px += char(x < w ? (x * 7 + y * 3) % colours : 0);
    return build({.width = w, .height = h, .bits = 8, .colours_used = uint32_t(colours),
                  .colour_table = tbl, .pixels = px});
}

TEST(BmpGenerated, ImageMagickFilesOfEveryKind) {
    if (imagemagick_convert().empty()) GTEST_SKIP() << "ImageMagick convert is not installed";
    // Palette files keep every colour of their palette source, so they are compared with
    // ImageMagick's reading of the source: its reading of its own run-length files loses the
    // last rows when the width is not a multiple of four (it codes the row padding as pixels
    // and stops once the planes are full). Files made from the colour source may lose
    // precision (16 bits per pixel) and are compared with ImageMagick's reading of the file.
    struct Case {
        int colours;          // palette source with this many colours; 0: a colour P6 source
        const char* options;  // between the source and the output file
        Layout want;
    };
    const Case cases[] = {
        {2, "-compress none BMP3:", {40, 1, 0}},
        {16, "-compress none BMP3:", {40, 4, 0}},
        {40, "-compress none BMP3:", {40, 8, 0}},
        {40, "-compress RLE BMP3:", {40, 8, 1}},  // rows coded with their padding pixels
        {2, "BMP2:", {12, 1, 0}},
        {16, "BMP2:", {12, 4, 0}},
        {40, "BMP2:", {12, 8, 0}},
        {0, "-type truecolor BMP3:", {40, 24, 0}},
        {0, "-type truecolor BMP2:", {12, 24, 0}},
        {0, "-alpha set BMP:", {124, 32, 3}},
        {0, "-define bmp:subtype=RGB565 BMP:", {124, 16, 3}},
        {0, "-define bmp:subtype=RGB555 BMP:", {124, 16, 3}},
    };
    TempDir dir;
    for (int width : {1, 2, 3, 5}) {
        const int height = 20;
        for (const Case& c : cases) {
            const std::string what = std::string(c.options) + " from " +
                                     std::to_string(c.colours) + " colours, width " +
                                     std::to_string(width);
            const std::string source = dir.file(c.colours ? "source.bmp" : "source.ppm");
            write_file(source, c.colours ? palette_source(width, height, c.colours)
                                         : colourful_ppm(width, height));
            const std::string out = dir.file("out.bmp");
            ASSERT_EQ(run_command(imagemagick_convert() + " " + quoted(source) + " " + c.options +
                                  quoted(out) + " 2>/dev/null"),
                      0)
                << what;
            const std::string file = read_file(out);
            const Layout got = layout_of(file);
            EXPECT_EQ(got.header_size, c.want.header_size) << what;
            EXPECT_EQ(got.bits, c.want.bits) << what;
            EXPECT_EQ(got.compression, c.want.compression) << what;
            ImageRecord r;
            const ReadResult res = decode(file, r);
            ASSERT_TRUE(res.ok()) << what << ": " << res.detail;
            EXPECT_TRUE(matches_raw(r, magick_raw(c.colours ? source : out, dir))) << what;
        }
    }
}

TEST(BmpGenerated, PilFilesOfEveryMode) {
    if (python_with_pil().empty()) GTEST_SKIP() << "Python with PIL is not installed";
    TempDir dir;
    write_file(dir.file("make.py"),
                     "import sys\n"
                     "from PIL import Image\n"
                     "folder = sys.argv[1]\n"
                     "for w in (1, 2, 3, 5):\n"
                     "    im = Image.new('RGB', (w, 6))\n"
                     "    im.putdata([((x * 53 + y * 17) % 256, (x * 29 + y * 91) % 256, "
                     "(x * 7 + y * 131) % 256) for y in range(6) for x in range(w)])\n"
                     "    for mode in ('1', 'L', 'P', 'RGB', 'RGBA'):\n"
                     "        im.convert(mode).save('%s/%s_%d.bmp' % (folder, mode, w))\n");
    ASSERT_EQ(run_command(python_with_pil() + " " + quoted(dir.file("make.py")) + " " +
                          quoted(dir.path().string())),
              0);
    const std::pair<std::string, int> modes[] = {
        {"1", 1}, {"L", 8}, {"P", 8}, {"RGB", 24}, {"RGBA", 32}};
    std::vector<std::string> paths;
    std::vector<int> bits;
    for (int width : {1, 2, 3, 5})
        for (const auto& [mode, b] : modes) {
            paths.push_back(dir.file(mode + "_" + std::to_string(width) + ".bmp"));
            bits.push_back(b);
        }
    const std::vector<std::string> want = pil_rgb8(paths, dir);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(layout_of(read_file(paths[i])).bits, bits[i]) << paths[i];
        ImageRecord r;
        const ReadResult res = read_bitmap(paths[i], r);
        ASSERT_TRUE(res.ok()) << paths[i] << ": " << res.detail;
        EXPECT_TRUE(matches_raw(r, want[i])) << paths[i];
    }
}

// ---- writing ----

TEST(BitmapWriter, HeaderIsByteExact) {
    const ImageRecord img = make_image(3, 2, [](int, int, int) { return 0; });
    TempDir dir;
    ASSERT_TRUE(write_bitmap(dir.file("h.bmp"), img).ok());
    const std::string file = read_file(dir.file("h.bmp"));
    // 3 pixels = 9 bytes + 3 pad = 12 per row; 24 bytes of pixels; 78 in all.
    const std::string want = bytes({'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  //
                                    40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,  //
                                    0, 0, 0, 0, 24, 0, 0, 0, 128, 0, 0, 0, 128, 0, 0, 0,  //
                                    0, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_EQ(file.size(), 78u);
    EXPECT_EQ(file.substr(0, 54), want);
}

TEST(BitmapWriter, RowsAreBottomFirstHighBytesAndPadded) {
    struct Case {
        int width;
        int pad;
    };
    for (const Case c : {Case{1, 1}, Case{2, 2}, Case{3, 3}, Case{4, 0}, Case{5, 1}}) {
        // Low bytes of 0xFF show that samples are cut to their high byte, not rounded.
        const ImageRecord img = make_image(c.width, 2, [](int ch, int x, int y) {
            return ((ch * 70 + x * 20 + y * 5 + 1) << 8) | 0xFF;
        });
        TempDir dir;
        ASSERT_TRUE(write_bitmap(dir.file("p.bmp"), img).ok());
        const std::string file = read_file(dir.file("p.bmp"));
        const std::size_t row = std::size_t(3 * c.width + c.pad);
        ASSERT_EQ(file.size(), 54 + 2 * row) << "width " << c.width;
        std::string want;
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < c.width; ++x)
                for (int ch : {2, 1, 0}) want += char(ch * 70 + x * 20 + y * 5 + 1);
            want += std::string(std::size_t(c.pad), '\0');
        }
        EXPECT_EQ(file.substr(54), want) << "width " << c.width;
    }
}

// Our reader, ImageMagick and PIL read our files as their high bytes.
TEST(BitmapWriter, ReadersReadOurFiles) {
    TempDir dir;
    for (int width : {1, 2, 3, 5, 8}) {
        SCOPED_TRACE(width);
        const ImageRecord img = make_image(width, 3, [](int c, int x, int y) {
            return ((c * 97 + x * 41 + y * 67) % 256) << 8 | (0x80 + x * 13);  // not rounded
        });
        const std::string path = dir.file("ours.bmp");
        ASSERT_TRUE(write_bitmap(path, img).ok());
        ImageRecord back;
        ASSERT_TRUE(read_bitmap(path, back).ok());
        EXPECT_TRUE(test::same_pixels(back, test::high_bytes(img)));
        if (!imagemagick_convert().empty()) {
            EXPECT_TRUE(matches_raw(test::high_bytes(img), magick_raw(path, dir))) << "ImageMagick";
        }
        if (!python_with_pil().empty()) {
            EXPECT_TRUE(matches_raw(test::high_bytes(img), pil_rgb8(path, dir))) << "PIL";
        }
    }
}

TEST(BitmapWriter, FailuresLeaveFilesAlone) {
    const ImageRecord img = make_image(4, 4, [](int, int, int) { return 0; });
    test::expect_writes_refused(write_bitmap, img,
                                {{"empty record, exact reason", ImageRecord{}, "empty image"}});
    EXPECT_TRUE(test::fails_on_full_device([&](std::FILE* f) { return encode_bitmap(f, img); }));
}

}  // namespace
}  // namespace vora
