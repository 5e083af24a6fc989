#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "io/gif.h"
#include "test_support.h"

namespace vora {
namespace {

using test::bytes;
using test::imagemagick_convert;
using test::le16;
using test::matches_raw;
using test::python_with_pil;
using test::quoted;
using test::read_file;
using test::Rgb;
using test::run_command;
using test::sample;
using test::TempDir;
using test::write_file;

using namespace std::string_literals;

// ---- building files by hand ----

// Codes packed from the lowest bit up, each with its own width.
std::string pack(const std::vector<std::pair<int, int>>& codes_and_widths) {
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (const auto& [code, width] : codes_and_widths) {
        bits |= uint32_t(code) << count;
        count += width;
        while (count >= 8) {
            out += char(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0) out += char(bits & 0xFF);
    return out;
}

// All codes of one width.
std::string pack(std::initializer_list<int> codes, int width) {
    std::vector<std::pair<int, int>> v;
    for (int c : codes) v.push_back({c, width});
    return pack(v);
}

// LZW data that code every index as a literal, with a clear code before the table would
// grow past the first code width; ends with the end code.
std::string literal_lzw(int min_code_size, const std::vector<int>& indices) {
    const int clear = 1 << min_code_size;
    const int width = min_code_size + 1;
    const std::size_t per_clear = std::size_t(std::max(1, clear - 2));
    std::vector<std::pair<int, int>> codes;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % per_clear == 0) codes.push_back({clear, width});
        codes.push_back({indices[i], width});
    }
    codes.push_back({clear + 1, width});
    return pack(codes);
}

std::string colour_table(const std::vector<Rgb>& colours) {
    std::string s;
    for (const Rgb& c : colours) s += bytes({c[0], c[1], c[2]});
    return s;
}

// Flags of a table of `entries` colours (a power of two from 2 to 256), bit 7 set.
int table_flags(std::size_t entries) {
    int n = 0;
    while ((std::size_t(2) << n) < entries) ++n;
    return 0x80 | n;
}

struct GifParts {
    int screen_width = -1, screen_height = -1;  // -1: the image's size
    std::vector<Rgb> global{};                // empty: no global table
    int background = 0;
    std::string extensions{};  // blocks between the screen and the image
    int left = 0, top = 0;
    int width = 1, height = 1;
    bool interlaced = false;
    std::vector<Rgb> local{};  // empty: no local table
    int min_code_size = 2;
    std::string lzw{};  // the image data before they are cut into sub-blocks
    std::string tail = ";";
};

std::string sub_blocks(const std::string& data) {
    std::string s;
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        s += char(n);
        s += data.substr(i, n);
    }
    return s + '\0';
}

std::string build(const GifParts& p) {
    const int sw = p.screen_width >= 0 ? p.screen_width : p.width;
    const int sh = p.screen_height >= 0 ? p.screen_height : p.height;
    std::string s = "GIF89a" + le16(sw) + le16(sh);
    s += char(p.global.empty() ? 0 : table_flags(p.global.size()));
    s += char(p.background);
    s += '\0';
    s += colour_table(p.global);
    s += p.extensions;
    s += ',' + le16(p.left) + le16(p.top) + le16(p.width) + le16(p.height);
    s += char((p.local.empty() ? 0 : table_flags(p.local.size())) | (p.interlaced ? 0x40 : 0));
    s += colour_table(p.local);
    s += char(p.min_code_size);
    return s + sub_blocks(p.lzw) + p.tail;
}

ReadResult decode(const std::string& file, ImageRecord& out) {
    return test::decode_bytes(decode_gif, file, out);
}

const Rgb kBlack{0, 0, 0};
const Rgb kRed{200, 10, 20}, kGreen{30, 210, 40}, kBlue{50, 60, 220}, kGrey{128, 129, 130};
const std::vector<Rgb> kFour = {kRed, kGreen, kBlue, kGrey};

// ---- checking pictures ----

// The colours of `indices` in a table, top row first.
std::vector<Rgb> colours_of(const std::vector<int>& indices, const std::vector<Rgb>& table) {
    std::vector<Rgb> out;
    for (int i : indices) out.push_back(std::size_t(i) < table.size() ? table[std::size_t(i)]
                                                                      : kBlack);
    return out;
}

// ---- LZW ----

TEST(GifReader, DecodesLzwCodeSequences) {
    // Minimum code size 2: clear 4, end 5, first free code 6, codes start 3 bits wide.
    struct Case {
        const char* what;
        int width, height;
        std::string lzw;
        std::vector<int> indices;  // top row first
    };
    const Case cases[] = {
        {"literals", 3, 1, pack({{4, 3}, {0, 3}, {1, 3}, {2, 3}, {5, 4}}), {0, 1, 2}},
        {"no clear code at the start", 2, 1, pack({3, 1, 5}, 3), {3, 1}},
        {"a code defined by itself (KwKwK)", 6, 1, pack({{4, 3}, {1, 3}, {6, 3}, {7, 3},
                                                         {5, 4}}),
         {1, 1, 1, 1, 1, 1}},
        // 0, 1, 2 define 6 = 0 1 and 7 = 1 2; with 8 codes in use the width grows to 4 bits.
        {"codes grow to 4 bits when the table reaches 8", 4, 2,
         pack({{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {6, 4}, {8, 4}, {5, 4}}),
         {0, 1, 2, 3, 0, 1, 2, 3}},
        {"a clear code brings the width back to 3 bits", 7, 1,
         pack({{0, 3}, {1, 3}, {2, 3}, {4, 4}, {3, 3}, {3, 3}, {6, 3}, {5, 3}}),
         {0, 1, 2, 3, 3, 3, 3}},
        {"the end code may be missing once every pixel is there", 2, 1, pack({4, 2, 3}, 3),
         {2, 3}},
        {"codes after the last pixel are ignored", 2, 1,
         pack({4, 1, 2, 7, 7, 7}, 3), {1, 2}},
        {"a string longer than the rest of the picture is cut", 4, 1, pack({4, 1, 6, 7, 5}, 3),
         {1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        const GifParts p{.global = kFour, .width = c.width, .height = c.height, .lzw = c.lzw};
        EXPECT_TRUE(test::decodes_to(decode_gif, build(p), c.width, c.height,
                                     colours_of(c.indices, kFour)))
            << c.what;
    }
}

TEST(GifReader, FullTableKeeps12BitCodesUntilTheNextClear) {
    // Minimum code size 8: every code after the first adds an entry, so 3839 codes fill the
    // table (258 to 4095). Codes then stay 12 bits wide and add nothing; entry 4095 holds
    // the last two literals.
    std::vector<std::pair<int, int>> codes = {{256, 9}};
    std::vector<int> indices;
    int next = 258, width = 9;
    for (int i = 0; i < 3839; ++i) {
        const int index = i % 251;
        codes.push_back({index, width});
        indices.push_back(index);
        if (i > 0 && next < 4096 && ++next >= (1 << width) && width < 12) ++width;
    }
    ASSERT_EQ(next, 4096);
    ASSERT_EQ(width, 12);
    const int last = indices[3837];  // entry 4095: the second-to-last and the last index
    for (int code : {7, 4095, 9}) codes.push_back({code, 12});
    for (int i : {7, last, indices.back(), 9}) indices.push_back(i);
    codes.push_back({256, 12});  // clear: back to 9 bits
    codes.push_back({200, 9});
    codes.push_back({257, 9});
    indices.push_back(200);

    std::vector<Rgb> grey;
    for (int i = 0; i < 256; ++i) grey.push_back({i, i, 255 - i});
    const int n = int(indices.size());
    const GifParts p{
        .global = grey, .width = n, .height = 1, .min_code_size = 8, .lzw = pack(codes)};
    EXPECT_TRUE(test::decodes_to(decode_gif, build(p), n, 1, colours_of(indices, grey)));
}

TEST(GifReader, CodeSizesFromOneToEightBits) {
    for (int size = 1; size <= 8; ++size) {
        const int colours = 1 << size;
        std::vector<Rgb> table;
        for (int i = 0; i < colours; ++i) table.push_back({i, 255 - i, (i * 7) & 255});
        std::vector<int> indices;
        for (int i = 0; i < 3 * 5; ++i) indices.push_back((i * 5 + 3) % colours);
        const GifParts p{.global = table, .width = 3, .height = 5, .min_code_size = size,
                         .lzw = literal_lzw(size, indices)};
        EXPECT_TRUE(test::decodes_to(decode_gif, build(p), 3, 5, colours_of(indices, table)))
            << "code size " << size;
    }
}

// ---- the picture ----

TEST(GifReader, InterlacedRowsComeInFourPasses) {
    // Row k of the data, for heights where some passes are empty or short.
    struct Case {
        int height;
        std::vector<int> rows_in_data_order;
    };
    const Case cases[] = {
        {1, {0}},
        {2, {0, 1}},
        {3, {0, 2, 1}},
        {5, {0, 4, 2, 1, 3}},
        {10, {0, 8, 4, 2, 6, 1, 3, 5, 7, 9}},
        {17, {0, 8, 16, 4, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15}},
    };
    std::vector<Rgb> table;
    for (int i = 0; i < 32; ++i) table.push_back({i, 2 * i, 3 * i});
    for (const Case& c : cases) {
        // The data hold row number k in data row k, two pixels per row.
        std::vector<int> data_indices, shown(std::size_t(2 * c.height));
        for (int k = 0; k < c.height; ++k) {
            data_indices.insert(data_indices.end(), {k, 31 - k});
            shown[std::size_t(2 * c.rows_in_data_order[std::size_t(k)])] = k;
            shown[std::size_t(2 * c.rows_in_data_order[std::size_t(k)] + 1)] = 31 - k;
        }
        const GifParts p{.global = table, .width = 2, .height = c.height, .interlaced = true,
                         .min_code_size = 5, .lzw = literal_lzw(5, data_indices)};
        EXPECT_TRUE(test::decodes_to(decode_gif, build(p), 2, c.height, colours_of(shown, table)))
            << "height " << c.height;
    }
}

TEST(GifReader, ColourTablesAndTheCanvas) {
    const std::vector<Rgb> other = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
    const std::string gce = bytes({0x21, 0xF9, 4, 0x01, 0, 0, 2, 0});  // index 2 transparent
    const std::string comment = "\x21\xFE\x05hello\x00"s;
    const std::string loop = "\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"s;
    const Rgb R = kRed, G = kGreen, B = kBlue, Y = kGrey;
    const Rgb b0 = other[0], b1 = other[1], b2 = other[2], b3 = other[3];
    // A second image after the first, showing index 2.
    const std::string second = ","s + le16(0) + le16(0) + le16(1) + le16(1) + "\0\x02"s +
                               sub_blocks(literal_lzw(2, {2})) + ";";
    struct Case {
        const char* what;
        GifParts parts;
        int w, h;
        std::vector<Rgb> top_first;
    };
    const Case cases[] = {
        {"global table; the first row of the data is the top of the picture",
         {.global = kFour, .width = 2, .height = 2, .lzw = literal_lzw(2, {0, 1, 2, 3})},
         2, 2, {R, G, B, Y}},
        {"a local table wins over the global one",
         {.global = other, .width = 2, .height = 1, .local = kFour,
          .lzw = literal_lzw(2, {3, 0})},
         2, 1, {Y, R}},
        {"a local table without a global one",
         {.width = 2, .height = 1, .local = kFour, .lzw = literal_lzw(2, {1, 2})}, 2, 1, {G, B}},
        {"indices past a short table are black",
         {.global = {kRed, kGreen}, .width = 3, .height = 1, .lzw = literal_lzw(2, {1, 3, 2})},
         3, 1, {G, kBlack, kBlack}},
        {"extension blocks are skipped, transparency ignored",
         {.global = kFour, .extensions = comment + loop + gce, .width = 3, .height = 1,
          .lzw = literal_lzw(2, {2, 1, 2})},
         3, 1, {B, G, B}},
        {"a smaller image sits at its place on the background colour",
         {.screen_width = 4, .screen_height = 3, .global = other, .background = 1, .left = 1,
          .top = 1, .width = 2, .height = 1, .local = kFour, .lzw = literal_lzw(2, {0, 3})},
         4, 3, {b1, b1, b1, b1, b1, R, Y, b1, b1, b1, b1, b1}},
        {"in the bottom right corner, background index 3",
         {.screen_width = 3, .screen_height = 2, .global = other, .background = 3, .left = 2,
          .top = 1, .width = 1, .height = 1, .lzw = literal_lzw(2, {2})},
         3, 2, {b3, b3, b3, b3, b3, b2}},
        {"no global table: the background is black",
         {.screen_width = 2, .screen_height = 2, .background = 1, .left = 0, .top = 1,
          .width = 1, .height = 1, .local = kFour, .lzw = literal_lzw(2, {1})},
         2, 2, {kBlack, kBlack, G, kBlack}},
        {"a background index past the table is black",
         {.screen_width = 2, .screen_height = 1, .global = kFour, .background = 200, .left = 1,
          .width = 1, .height = 1, .lzw = literal_lzw(2, {0})},
         2, 1, {kBlack, R}},
        {"a 0 x 0 screen takes the image's extent",
         {.screen_width = 0, .screen_height = 0, .global = kFour, .width = 2, .height = 1,
          .lzw = literal_lzw(2, {1, 0})},
         2, 1, {G, R}},
        {"a screen the image reaches past grows to hold it",
         {.screen_width = 2, .screen_height = 1, .global = other, .background = 0, .left = 1,
          .top = 1, .width = 2, .height = 1, .lzw = literal_lzw(2, {1, 2})},
         3, 2, {b0, b0, b0, b0, b1, b2}},
        {"only the first image is read",
         {.global = kFour, .width = 1, .height = 1, .lzw = literal_lzw(2, {1}), .tail = second},
         1, 1, {G}},
    };
    for (const Case& c : cases) {
        ImageRecord r;
        const ReadResult res = decode(build(c.parts), r);
        ASSERT_TRUE(res.ok()) << c.what << ": " << res.detail;
        EXPECT_TRUE(test::has_pixels(r, c.w, c.h, c.top_first)) << c.what;
        EXPECT_EQ(r.mono, 0) << c.what;
    }
}

// ---- bad input ----

TEST(GifReader, RejectsBadFilesAndLeavesTheRecordAlone) {
    const GifParts good{.global = kFour, .width = 2, .height = 2,
                        .lzw = literal_lzw(2, {0, 1, 2, 3})};
    const std::string file = build(good);
    const std::size_t image_at = file.find(',');
    const auto with = [&](auto change) {
        GifParts p = good;
        change(p);
        return build(p);
    };
    using Case = test::RefusedFile;
    const Case cases[] = {
        {"empty file", "", ReadStatus::not_this_format},
        {"not a GIF", "PNG89a" + file.substr(6), ReadStatus::not_this_format},
        {"screen descriptor cut short", file.substr(0, 10), ReadStatus::corrupt},
        {"global table cut short", file.substr(0, 20), ReadStatus::corrupt},
        {"ends before an image", file.substr(0, image_at), ReadStatus::corrupt},
        {"trailer before an image", file.substr(0, image_at) + ";", ReadStatus::corrupt},
        {"unknown block before the image", file.substr(0, image_at) + "\x00"s +
                                               file.substr(image_at),
         ReadStatus::corrupt},
        {"extension cut short", file.substr(0, image_at) + "\x21\xFE\x09short",
         ReadStatus::corrupt},
        {"image descriptor cut short", file.substr(0, image_at + 5), ReadStatus::corrupt},
        {"local table cut short",
         with([](GifParts& p) { p.local = kFour; }).substr(0, image_at + 12),
         ReadStatus::corrupt},
        {"no LZW code size", file.substr(0, image_at + 10), ReadStatus::corrupt},
        {"zero width", with([](GifParts& p) { p.width = 0; }), ReadStatus::corrupt},
        {"zero height", with([](GifParts& p) { p.height = 0; }), ReadStatus::corrupt},
        {"code size 0", with([](GifParts& p) { p.min_code_size = 0; }), ReadStatus::corrupt},
        {"code size 9", with([](GifParts& p) { p.min_code_size = 9; }), ReadStatus::corrupt},
        {"code size 12", with([](GifParts& p) { p.min_code_size = 12; }), ReadStatus::corrupt},
        {"no colour table anywhere", with([](GifParts& p) { p.global.clear(); }),
         ReadStatus::unsupported},
        {"first code after a clear is not a literal",
         with([](GifParts& p) { p.lzw = pack({4, 6, 0, 0, 0, 5}, 3); }), ReadStatus::corrupt},
        {"an end code before any pixel",
         with([](GifParts& p) { p.lzw = pack({4, 5}, 3); }), ReadStatus::corrupt},
        {"a code past the next free one",
         with([](GifParts& p) { p.lzw = pack({4, 0, 7, 0, 0, 5}, 3); }), ReadStatus::corrupt},
        {"end code before the last pixel",
         with([](GifParts& p) { p.lzw = pack({4, 0, 1, 2, 5}, 3); }), ReadStatus::corrupt},
        {"data end before the last pixel",
         with([](GifParts& p) { p.lzw = pack({4, 0}, 3); }), ReadStatus::corrupt},
        {"no data sub-blocks", file.substr(0, image_at + 11), ReadStatus::corrupt},
        {"a sub-block longer than the file", file.substr(0, image_at + 11) + "\xFF\x04",
         ReadStatus::corrupt},
        {"a large screen for a 1 x 1 image",
         with([](GifParts& p) {
             p.screen_width = p.screen_height = 20000;
             p.width = p.height = 1;
             p.lzw = literal_lzw(2, {1});
         }),
         ReadStatus::corrupt},
        {"the largest screen",
         with([](GifParts& p) {
             p.screen_width = p.screen_height = 65535;
             p.width = p.height = 1;
             p.lzw = literal_lzw(2, {1});
         }),
         ReadStatus::unsupported},
        {"a huge image with a few bytes of data",
         with([](GifParts& p) { p.width = p.height = 65535; }), ReadStatus::unsupported},
        {"a large image with a few bytes of data",
         with([](GifParts& p) { p.width = p.height = 30000; }), ReadStatus::corrupt},
    };
    test::expect_refused(cases, decode);
}

TEST(GifReader, ReadGifNamesTheRecordOrLeavesItAlone) {
    const std::string file =
        build({.global = kFour, .width = 1, .height = 1, .lzw = literal_lzw(2, {2})});
    EXPECT_TRUE(test::has_pixels(test::read_saved(read_gif, file), 1, 1, {kBlue}));
}

// ---- files written by other programs, checked against PIL ----

// Where the first image descriptor of a well-formed file starts, and its fields.
struct Layout {
    std::size_t global_table_end = 13;
    std::size_t image_at = 0;
    int global_flags = 0;
    int image_flags = 0;
    int min_code_size = 0;
};

Layout layout_of(const std::string& f) {
    const auto u8 = [&](std::size_t i) { return int(uint8_t(f.at(i))); };
    Layout l;
    l.global_flags = u8(10);
    if (l.global_flags & 0x80) l.global_table_end += 3 * (std::size_t(2) << (l.global_flags & 7));
    std::size_t pos = l.global_table_end;
    while (u8(pos) == 0x21) {
        pos += 2;
        while (u8(pos) != 0) pos += std::size_t(u8(pos)) + 1;
        ++pos;
    }
    l.image_at = pos;
    l.image_flags = u8(pos + 9);
    std::size_t code_size_at = pos + 10;
    if (l.image_flags & 0x80) code_size_at += 3 * (std::size_t(2) << (l.image_flags & 7));
    l.min_code_size = u8(code_size_at);
    return l;
}

// The same picture with its global table moved into the image as a local table; a decoy
// global table of other colours is left in its place unless `drop_global`.
std::string with_local_table(const std::string& f, bool drop_global) {
    const Layout l = layout_of(f);
    const std::string table = f.substr(13, l.global_table_end - 13);
    std::string decoy = table;
    for (char& c : decoy) c = char(255 - uint8_t(c));
    std::string out = f.substr(0, 13);
    if (drop_global) out[10] = char(l.global_flags & 0x7F);
    else out += decoy;
    out += f.substr(l.global_table_end, l.image_at - l.global_table_end);
    out += f.substr(l.image_at, 9);
    out += char(l.image_flags | 0x80 | (l.global_flags & 7));
    out += table;
    out += f.substr(l.image_at + 10);
    return out;
}

// Checks each file against PIL's reading, in `part` of the picture.
void expect_like_pil(const std::vector<std::string>& paths, const TempDir& dir,
                     test::Rect part = {}) {
    const std::vector<std::string> want = test::pil_rgb8(paths, dir);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ImageRecord r;
        const ReadResult res = read_gif(paths[i], r);
        ASSERT_TRUE(res.ok()) << paths[i] << ": " << res.detail;
        EXPECT_TRUE(matches_raw(r, want[i], 8, part)) << paths[i];
    }
}

TEST(GifReader, SharedSamplesMatchPil) {
    const std::string samples = test::shared_samples_dir();
    if (samples.empty()) GTEST_SKIP() << "shared samples not present";
    if (python_with_pil().empty()) GTEST_SKIP() << "python3 with PIL not installed";
    // Interlaced with 8-bit and 3-bit codes; local tables and no global table; several
    // frames; a transparent index (its colour is shown by both).
    std::vector<std::string> paths;
    for (const char* name : {"hopper_resized_interlaced.gif", "gif_triangle_interlaced.gif",
                             "iss634_animated_localCT.gif", "dispose_prev.gif",
                             "transparent.gif"}) {
        paths.push_back(samples + "/gif/" + name);
        if (!std::filesystem::exists(paths.back()))
            GTEST_SKIP() << name << " missing from the shared samples";
    }
    TempDir dir;
    expect_like_pil(paths, dir);
}

// PIL-made files: code size 8 always, 1 and 3 wide, every colour, a table filled many
// times over, long runs; interlaced when asked.
const char* kPilScript = R"PY(
import sys
import numpy as np
from PIL import Image
d = sys.argv[1]
rng = np.random.default_rng(7)
def save(name, indices, colours, **kw):
    im = Image.fromarray(indices.astype(np.uint8), 'P')
    im.putpalette(rng.integers(0, 256, 3 * colours).tolist())
    im.save(d + '/' + name, optimize=False, **kw)
save('pil_w1.gif', rng.integers(0, 256, (17, 1)), 256)
save('pil_w3.gif', rng.integers(0, 4, (5, 3)), 4)
save('pil_noise.gif', rng.integers(0, 256, (150, 200)), 256)
y, x = np.mgrid[0:200, 0:300]
save('pil_runs.gif', (x // 40 + y // 25) % 16, 16)
save('pil_interlaced.gif', rng.integers(0, 256, (48, 64)) // 16 * 16, 256, interlace=True)
)PY";

TEST(GifReader, FilesWrittenByPilMatchIt) {
    if (python_with_pil().empty()) GTEST_SKIP() << "python3 with PIL not installed";
    TempDir dir;
    const std::string script = dir.file("make.py");
    write_file(script, kPilScript);
    ASSERT_EQ(run_command(python_with_pil() + " " + quoted(script) + " " +
                          quoted(dir.path().string())),
              0);
    std::vector<std::string> paths;
    for (const char* name : {"pil_w1.gif", "pil_w3.gif", "pil_noise.gif", "pil_runs.gif",
                             "pil_interlaced.gif"})
        paths.push_back(dir.file(name));
    expect_like_pil(paths, dir);
    EXPECT_TRUE(layout_of(read_file(dir.file("pil_interlaced.gif"))).image_flags & 0x40);
}

TEST(GifReader, FilesWrittenByImageMagickMatchPil) {
    if (imagemagick_convert().empty()) GTEST_SKIP() << "ImageMagick not installed";
    if (python_with_pil().empty()) GTEST_SKIP() << "python3 with PIL not installed";
    TempDir dir;
    struct Case {
        const char* name;
        const char* args;   // ImageMagick's arguments before the output file
        int code_size;      // the LZW minimum code size ImageMagick writes
        bool interlaced;
    };
    const Case cases[] = {
        {"im_1bit.gif", "-size 13x7 pattern:checkerboard -monochrome", 2, false},
        {"im_2bit.gif", "-seed 4 -size 21x9 plasma:fractal -colors 4", 2, false},
        {"im_8bit_interlaced.gif", "-seed 3 -size 61x47 plasma:fractal -colors 256 -interlace GIF",
         8, true},
        {"im_w1.gif", "-seed 5 -size 1x19 plasma:fractal -colors 64", 5, false},
        {"im_w3_interlaced.gif", "-seed 6 -size 3x23 plasma:fractal -colors 8 -interlace GIF",
         3, true},
    };
    std::vector<std::string> paths;
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        ASSERT_EQ(run_command(imagemagick_convert() + " " + c.args + " " + quoted(path)), 0)
            << c.name;
        const Layout l = layout_of(read_file(path));
        EXPECT_EQ(l.min_code_size, c.code_size) << c.name;
        EXPECT_EQ((l.image_flags & 0x40) != 0, c.interlaced) << c.name;
        paths.push_back(path);
        // The same picture coloured by a local table, with a decoy global table or none.
        for (bool drop : {false, true}) {
            paths.push_back(dir.file(std::string(drop ? "local_only_" : "local_") + c.name));
            write_file(paths.back(), with_local_table(read_file(path), drop));
        }
    }
    expect_like_pil(paths, dir);
}

// As ImageMagick shows the first frame on its screen (-coalesce), top row first.
std::string magick_rgb8(const std::string& path, const TempDir& dir) {
    return test::magick_raw(path + "[0]", dir, 8, "-coalesce");
}

TEST(GifReader, ImageSmallerThanTheScreen) {
    // The two programs fill the rest of the screen differently: ImageMagick with the global
    // table's background colour (as here), PIL with index 0 of the image's own table. Both
    // agree with this reader inside the image; outside, where they follow the same rule.
    if (imagemagick_convert().empty()) GTEST_SKIP() << "ImageMagick not installed";
    if (python_with_pil().empty()) GTEST_SKIP() << "python3 with PIL not installed";
    TempDir dir;
    const std::string path = dir.file("page.gif");
    ASSERT_EQ(run_command(imagemagick_convert() +
                          " -size 5x3 xc:red -fill blue -draw 'point 0,0' -page 12x9+4+2 " +
                          quoted(path)),
              0);
    const std::string made = read_file(path);
    ASSERT_EQ(layout_of(made).global_table_end, 13u + 6u);  // red, blue
    ASSERT_EQ(made[11], 0);                                  // background index 0: red
    std::string blue_background = made;
    blue_background[11] = 1;
    const std::string blue_path = dir.file("page_bg1.gif");
    write_file(blue_path, blue_background);
    // With the colours in a local table: the background comes from the decoy global table
    // (red and blue inverted: cyan, yellow), or is black without a global table.
    const std::string local = dir.file("local.gif");
    const std::string local_only = dir.file("local_only.gif");
    write_file(local, with_local_table(blue_background, false));
    write_file(local_only, with_local_table(blue_background, true));
    const test::Rect image{4, 2, 5, 3};

    expect_like_pil({path}, dir);
    expect_like_pil({blue_path, local, local_only}, dir, image);

    ImageRecord r;
    ASSERT_TRUE(read_gif(path, r).ok());
    ASSERT_EQ(r.width, 12);
    ASSERT_EQ(r.height, 9);
    EXPECT_TRUE(matches_raw(r, magick_rgb8(path, dir)));
    EXPECT_EQ(sample(r, 2, 4, 9 - 1 - 2), 255 * 256);  // the blue point at the image's corner

    ASSERT_TRUE(read_gif(blue_path, r).ok());
    EXPECT_TRUE(matches_raw(r, magick_rgb8(blue_path, dir)));

    for (const std::string& p : {local, local_only}) {
        ASSERT_TRUE(read_gif(p, r).ok());
        const int want = p == local ? 255 * 256 : 0;
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(sample(r, c, 0, 0), c == 2 ? 0 : want) << p;
            EXPECT_EQ(sample(r, c, 11, 8), c == 2 ? 0 : want) << p;
        }
    }
}

}  // namespace
}  // namespace vora
