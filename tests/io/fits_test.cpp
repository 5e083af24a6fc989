#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "io/dark_frames.h"
#include "io/fits.h"
#include "test_support.h"

namespace vora {
namespace {

using test::be32;
using test::quoted;
using test::run_command;
using test::TempDir;

// ---- building files by hand ----

std::string card(const std::string& text) {
    std::string c = text.substr(0, 80);
    c.resize(80, ' ');
    return c;
}

std::string pad_to_block(std::string s, char fill) {
    s.resize((s.size() + 2879) / 2880 * 2880, fill);
    return s;
}

std::string header(const std::vector<std::string>& cards) {
    std::string h;
    for (const std::string& c : cards) h += card(c);
    return h + card("END");
}

// Header cards (END added) and data, each padded to whole 2880-byte blocks as FITS requires.
std::string build(const std::vector<std::string>& cards, const std::string& data) {
    return pad_to_block(header(cards), ' ') + pad_to_block(data, '\0');
}

// As written by programs that ignore the blocking: `gap` after END, then the data.
std::string build_unblocked(const std::vector<std::string>& cards, const std::string& gap,
                            const std::string& data) {
    return header(cards) + gap + data;
}

std::vector<std::string> image_cards(int bitpix, std::vector<int> axes,
                                     std::vector<std::string> extra = {}) {
    std::vector<std::string> c = {"SIMPLE  =                    T",
                                  "BITPIX  = " + std::to_string(bitpix),
                                  "NAXIS   = " + std::to_string(axes.size())};
    for (std::size_t i = 0; i < axes.size(); ++i)
        c.push_back("NAXIS" + std::to_string(i + 1) + "  = " + std::to_string(axes[i]));
    c.insert(c.end(), extra.begin(), extra.end());
    return c;
}

std::string be_float(float f) { return be32(std::bit_cast<uint32_t>(f)); }
std::string be_double(double d) {
    const uint64_t u = std::bit_cast<uint64_t>(d);
    return be32(uint32_t(u >> 32)) + be32(uint32_t(u));
}

template <class F, class T>
std::string values(F encode, std::initializer_list<T> list) {
    std::string s;
    for (T v : list) s += encode(v);
    return s;
}
std::string u8s(std::initializer_list<int> l) {
    return values([](int v) { return std::string(1, char(v)); }, l);
}
std::string i16s(std::initializer_list<int> l) { return values(test::be16, l); }
std::string i32s(std::initializer_list<int64_t> l) {
    return values([](int64_t v) { return be32(uint32_t(v)); }, l);
}
std::string f32s(std::initializer_list<float> l) { return values(be_float, l); }
std::string f64s(std::initializer_list<double> l) { return values(be_double, l); }

ReadResult decode(const std::string& file, ImageRecord& out, const FitsDarkView* dark = nullptr) {
    return decode_fits(reinterpret_cast<const uint8_t*>(file.data()), file.size(), out, dark);
}

// ---- checking pictures ----

using Samples = std::vector<int>;  // in plane order: plane row 0 (the file's first row) first

::testing::AssertionResult has_planes(const ImageRecord& r, int w, int h, const Samples& red,
                                      const Samples& green, const Samples& blue) {
    if (r.width != w || r.height != h)
        return ::testing::AssertionFailure() << "size " << r.width << "x" << r.height;
    const Samples* want[3] = {&red, &green, &blue};
    for (int c = 0; c < 3; ++c) {
        if (r.plane(c).size() != std::size_t(w) * std::size_t(h))
            return ::testing::AssertionFailure() << "plane " << c << " has the wrong size";
        for (std::size_t i = 0; i < want[c]->size(); ++i)
            if (r.plane(c)[i] != (*want[c])[i])
                return ::testing::AssertionFailure()
                       << "channel " << c << " sample " << i << ": " << r.plane(c)[i]
                       << " instead of " << (*want[c])[i];
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult has_grey(const ImageRecord& r, int w, int h, const Samples& s) {
    return has_planes(r, w, h, s, s, s);
}

// ---- header cards ----

TEST(FitsCard, ParsesValuesAsFitsWritesThem) {
    struct Case {
        const char* card;
        const char* keyword;
        bool has_number;
        bool integral;
        double number;
    };
    const Case cases[] = {
        {"BITPIX  =                  -32 / array data type", "BITPIX", true, true, -32},
        {"NAXIS1  =                  536 / columns", "NAXIS1", true, true, 536},
        {"BSCALE  =                  0.5", "BSCALE", true, false, 0.5},
        {"BZERO   =              -1024.0", "BZERO", true, true, -1024},
        {"BZERO   =           2147483648", "BZERO", true, true, 2147483648.0},
        {"BSCALE  =         1.000000E+00", "BSCALE", true, true, 1},
        {"CDELT1  =            -2.5E-03 / degrees", "CDELT1", true, false, -0.0025},
        {"EXPTIME =              1.5D+01", "EXPTIME", true, true, 15},
        {"GAIN    =                  +.5", "GAIN", true, false, 0.5},
        {"NAXIS2=100/no spaces", "NAXIS2", true, true, 100},
        {"BIG     = 123456789012345678901234", "BIG", true, false, 1.2345678901234568e23},
        {"SIMPLE  =                    T", "SIMPLE", false, false, 0},
        {"NAXIS1  =               12abc", "NAXIS1", false, false, 0},
        {"EXPO    =                  1E+", "EXPO", false, false, 0},
        {"BLANK   =                    .", "BLANK", false, false, 0},
        {"HISTORY written by hand, BITPIX 16", "HISTORY", false, false, 0},
        {"END", "END", false, false, 0},
        {"", "", false, false, 0},
    };
    for (const Case& c : cases) {
        const FitsCard got = parse_fits_card(card(c.card));
        EXPECT_EQ(got.keyword, c.keyword) << c.card;
        EXPECT_EQ(got.has_number, c.has_number) << c.card;
        if (!c.has_number) continue;
        EXPECT_EQ(got.integral, c.integral) << c.card;
        EXPECT_DOUBLE_EQ(got.number, c.number) << c.card;
        if (c.integral) {
            EXPECT_EQ(got.integer, int64_t(c.number)) << c.card;
        }
    }
}

TEST(FitsCard, StringValuesAndShortCards) {
    const FitsCard ext = parse_fits_card(card("XTENSION= 'IMAGE   '           / Image extension"));
    EXPECT_EQ(ext.keyword, "XTENSION");
    EXPECT_TRUE(ext.has_text);
    EXPECT_EQ(ext.text, "IMAGE");
    EXPECT_FALSE(ext.has_number);

    EXPECT_EQ(parse_fits_card(card("OBSERVER= 'O''Brien' / quote doubled")).text, "O'Brien");
    // A view shorter than a card reads as if padded; a longer one is cut at 80 characters.
    const FitsCard short_card = parse_fits_card("NAXIS3  = 3");
    EXPECT_EQ(short_card.keyword, "NAXIS3");
    EXPECT_EQ(short_card.integer, 3);
    const FitsCard long_card = parse_fits_card(std::string(75, 'K') + "=  12345");
    EXPECT_EQ(long_card.keyword, std::string(75, 'K'));
    EXPECT_EQ(long_card.integer, 12);
}

// ---- decoding ----

TEST(FitsReader, StretchesEachSampleFormat) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        int bitpix;
        std::vector<std::string> scale_cards;
        std::string data;  // 4 values, 2 × 2
        Samples want;      // (value − min) × 65535 / (max − min), truncated
    };
    const Case cases[] = {
        {"8 bit: v × 257", 8, {}, u8s({0, 10, 255, 5}), {0, 2570, 65535, 1285}},
        {"8 bit, narrow range", 8, {}, u8s({100, 101, 102, 100}), {0, 32767, 65535, 0}},
        {"16 bit signed", 16, {}, i16s({-100, 0, 100, 50}), {0, 32767, 65535, 49151}},
        {"16 bit with BZERO 32768", 16, {"BZERO   =                32768", "BSCALE  = 1"},
         i16s({-32768, 0, 32767, -32668}), {0, 32768, 65535, 100}},
        {"16 bit, BSCALE 2 BZERO -10", 16, {"BSCALE  = 2", "BZERO   = -10"},
         i16s({0, 5, 10, 1}), {0, 32767, 65535, 6553}},
        {"8 bit, negative BSCALE turns the picture over", 8, {"BSCALE  = -1"},
         u8s({0, 255, 100, 0}), {65535, 0, 39835, 65535}},
        {"32 bit signed", 32, {}, i32s({-2147483648LL, 2147483647, 0, -1}),
         {0, 65535, 32767, 32767}},
        {"32 bit unsigned (BZERO 2^31) without overflow", 32, {"BZERO   = 2147483648"},
         i32s({-2147483648LL, 2147483647, 0, -2147483647}), {0, 65535, 32767, 0}},
        {"8 bit with BSCALE 0.5: real arithmetic", 8, {"BSCALE  =                  0.5"},
         u8s({0, 1, 3, 2}), {0, 21845, 65535, 43690}},
        {"8 bit with BZERO -0.25", 8, {"BZERO   =                -0.25"},
         u8s({0, 1, 2, 4}), {0, 16383, 32767, 65535}},
        {"-32: NaN and infinity take no part and become 0", -32, {},
         f32s({1.5f, nan, -0.5f, inf}), {65535, 0, 0, 0}},
        {"-32 with BSCALE and BZERO", -32, {"BSCALE  = 2.0", "BZERO   = 1.0"},
         f32s({0.0f, 0.25f, 1.0f, -1.0f}), {32767, 40959, 65535, 0}},
        {"-64", -64, {}, f64s({-1e300, 1e300, 0.0, 5e299}), {0, 65535, 32767, 49151}},
        {"-32, all NaN", -32, {}, f32s({nan, nan, nan, nan}), {0, 0, 0, 0}},
        {"all equal: range 1, all 0", 16, {}, i16s({7, 7, 7, 7}), {0, 0, 0, 0}},
        {"BSCALE 0 makes every value equal", 16, {"BSCALE  = 0"}, i16s({1, 2, 3, 4}),
         {0, 0, 0, 0}},
        {"32 bit, all equal", 32, {"BZERO   = -7"}, i32s({9, 9, 9, 9}), {0, 0, 0, 0}},
        {"-64, all equal", -64, {}, f64s({2.5, 2.5, 2.5, 2.5}), {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        ImageRecord r;
        const ReadResult res = decode(build(image_cards(c.bitpix, {2, 2}, c.scale_cards),
                                             c.data), r);
        ASSERT_TRUE(res.ok()) << c.what << ": " << res.detail;
        EXPECT_TRUE(has_grey(r, 2, 2, c.want)) << c.what;
        EXPECT_EQ(r.mono, 0) << c.what;
    }
}

TEST(FitsReader, ColourPlanes) {
    struct Case {
        const char* what;
        std::vector<int> axes;
        std::string data;
        Samples red, green, blue;
    };
    const Samples rows = {0, 13107, 26214, 39321, 52428, 65535};  // v × 65535 / 5
    const Case cases[] = {
        {"3 × 2: the file's first row is plane row 0, the bottom of the picture", {3, 2},
         i16s({0, 1, 2, 3, 4, 5}), rows, rows, rows},
        {"no NAXIS3: three equal planes", {2, 1}, i16s({10, 20}),
         {0, 65535}, {0, 65535}, {0, 65535}},
        {"NAXIS3 = 1", {2, 1, 1}, i16s({10, 20}), {0, 65535}, {0, 65535}, {0, 65535}},
        {"NAXIS3 = 3: each colour stretched on its own", {2, 1, 3},
         i16s({0, 100, 50, 60, 1000, 1000}), {0, 65535}, {0, 65535}, {0, 0}},
        {"NAXIS3 = 3, a colour cast is not kept", {3, 1, 3},
         i16s({0, 10, 20, 0, 20, 40, 0, 30, 60}),
         {0, 32767, 65535}, {0, 32767, 65535}, {0, 32767, 65535}},
        {"NAXIS3 = 2: red and green, blue 0", {2, 1, 2}, i16s({1, 2, 4, 3}),
         {0, 65535}, {65535, 0}, {0, 0}},
        {"NAXIS3 = 4: the fourth plane is ignored", {1, 2, 4}, i16s({1, 2, 3, 4, 6, 5, 0, 9}),
         {0, 65535}, {0, 65535}, {65535, 0}},
    };
    for (const Case& c : cases) {
        ImageRecord r;
        const ReadResult res = decode(build(image_cards(16, c.axes), c.data), r);
        ASSERT_TRUE(res.ok()) << c.what << ": " << res.detail;
        EXPECT_TRUE(has_planes(r, c.axes[0], c.axes[1], c.red, c.green, c.blue)) << c.what;
    }
}

TEST(FitsReader, FindsTheDataAtTheBlockAfterEnd) {
    // 81 values: 80 spaces (0x20) and 'A' (0x41). At the block boundary they are data, not
    // header padding: the spaces are the darkest value, not skipped.
    std::string spaces_first(80, ' ');
    spaces_first += 'A';
    Samples want(81, 0);
    want[80] = 65535;
    ImageRecord r;
    ASSERT_TRUE(decode(build(image_cards(8, {81, 1}), spaces_first), r).ok());
    EXPECT_TRUE(has_grey(r, 81, 1, want));

    // A header of exactly 36 cards: the data start right after it.
    std::vector<std::string> cards = image_cards(8, {2, 1});
    while (cards.size() < 35) cards.push_back("COMMENT filler");
    ASSERT_TRUE(decode(build(cards, u8s({9, 3})), r).ok());
    EXPECT_TRUE(has_grey(r, 2, 1, {65535, 0}));
}

TEST(FitsReader, FilesWrittenWithoutBlockingUseTheBlankCardRule) {
    struct Case {
        const char* what;
        std::string gap;
        std::string data;
        Samples want;
    };
    const Case cases[] = {
        {"data right after END", "", u8s({1, 2, 3}), {0, 32767, 65535}},
        {"blank cards after END are skipped", std::string(160, ' '), u8s({3, 2, 1}),
         {65535, 32767, 0}},
        {"spaces short of a whole card are data", std::string(80, ' '), "  \x01",
         {65535, 65535, 0}},
    };
    for (const Case& c : cases) {
        ImageRecord r;
        const ReadResult res = decode(build_unblocked(image_cards(8, {3, 1}), c.gap, c.data), r);
        ASSERT_TRUE(res.ok()) << c.what << ": " << res.detail;
        EXPECT_TRUE(has_grey(r, 3, 1, c.want)) << c.what;
    }
}

TEST(FitsReader, DarkFrameIsSubtractedFromPhysicalValues) {
    // BZERO 100: physical values 110, 120, 130, 140.
    const std::string file = build(image_cards(16, {2, 2}, {"BZERO   = 100"}),
                                    i16s({10, 20, 30, 40}));
    const std::vector<int32_t> same = {110, 120, 130, 140};
    const std::vector<int32_t> mixed = {110, 100, 140, 140};  // → 0, 20, -10, 0
    const std::vector<int32_t> zero = {0, 0, 0, 0};
    const std::vector<int32_t> small = {1};
    struct Case {
        const char* what;
        FitsDarkView dark;
        Samples red, green, blue;
    };
    const Case cases[] = {
        {"a dark frame equal to the image leaves all 0",
         {2, 2, {same.data(), same.data(), same.data()}}, {0, 0, 0, 0}, {0, 0, 0, 0},
         {0, 0, 0, 0}},
        {"subtracted before the range is taken; each colour its own dark values",
         {2, 2, {mixed.data(), zero.data(), same.data()}},
         {21845, 65535, 0, 21845}, {0, 21845, 43690, 65535}, {0, 0, 0, 0}},
        {"a dark frame of another size is not used", {1, 1, {small.data(), small.data(),
                                                             small.data()}},
         {0, 21845, 43690, 65535}, {0, 21845, 43690, 65535}, {0, 21845, 43690, 65535}},
    };
    for (const Case& c : cases) {
        ImageRecord r;
        ASSERT_TRUE(decode(file, r, &c.dark).ok()) << c.what;
        EXPECT_TRUE(has_planes(r, 2, 2, c.red, c.green, c.blue)) << c.what;
    }

    // Floating-point data take the dark values too.
    const std::vector<int32_t> ones = {1, 1, 0, 0};
    const FitsDarkView dark{2, 2, {ones.data(), ones.data(), ones.data()}};
    ImageRecord r;
    ASSERT_TRUE(decode(build(image_cards(-32, {2, 2}), f32s({1, 2, 0, 1})), r, &dark).ok());
    EXPECT_TRUE(has_grey(r, 2, 2, {0, 65535, 0, 65535}));
}

TEST(FitsReader, ReadsTheFirstImageExtensionAfterAnEmptyPrimary) {
    // Primary without data, a binary table of 2 rows × 3 bytes, then the image.
    const std::string primary = build({"SIMPLE  = T", "BITPIX  = 8", "NAXIS   = 0",
                                        "EXTEND  = T"}, "");
    const std::string table = build({"XTENSION= 'BINTABLE'", "BITPIX  = 8", "NAXIS   = 2",
                                      "NAXIS1  = 3", "NAXIS2  = 2", "PCOUNT  = 0",
                                      "GCOUNT  = 1", "TFIELDS = 1"},
                                     "abcdef");
    const std::string image = build({"XTENSION= 'IMAGE   '", "BITPIX  = 16", "NAXIS   = 2",
                                      "NAXIS1  = 2", "NAXIS2  = 1", "BZERO   = 32768"},
                                     i16s({-32768, 32767}));
    ImageRecord r;
    const ReadResult res = decode(primary + table + image, r);
    ASSERT_TRUE(res.ok()) << res.detail;
    EXPECT_TRUE(has_grey(r, 2, 1, {0, 65535}));

    // Without an image extension the file is refused.
    r = test::occupied_record();
    const ReadResult none = decode(primary + table, r);
    EXPECT_EQ(none.status, ReadStatus::unsupported);
    EXPECT_EQ(none.detail, "no image in the primary HDU");
    EXPECT_TRUE(test::same_record(r, test::occupied_record()));
}

TEST(FitsReader, RejectsBadFilesAndLeavesTheRecordAlone) {
    const std::string good = build(image_cards(16, {2, 2}), i16s({1, 2, 3, 4}));
    std::string no_end;
    for (const std::string& c : image_cards(16, {2, 2})) no_end += card(c);
    no_end = pad_to_block(no_end, ' ') + pad_to_block(i16s({1, 2, 3, 4}), '\0');
    const std::string unblocked_short = build_unblocked(image_cards(16, {2, 2}), "",
                                                        i16s({1, 2, 3}));
    using Case = test::RefusedFile;
    const Case cases[] = {
        {"empty file", "", ReadStatus::corrupt},
        {"shorter than a card", good.substr(0, 79), ReadStatus::corrupt},
        {"no END card", no_end, ReadStatus::corrupt},
        {"BITPIX 12", build(image_cards(12, {2, 2}), i16s({1, 2, 3, 4})),
         ReadStatus::unsupported},
        {"BITPIX 64", build(image_cards(64, {1, 1}), i32s({0, 1})), ReadStatus::unsupported},
        {"BITPIX -16", build(image_cards(-16, {2, 1}), i16s({0, 1})),
         ReadStatus::unsupported},
        {"no BITPIX", build({"SIMPLE  = T", "NAXIS   = 2", "NAXIS1  = 1", "NAXIS2  = 1"},
                             u8s({1})),
         ReadStatus::unsupported},
        {"BITPIX not a whole number", build(image_cards(8, {1, 1}, {"BITPIX  = 8.5"}),
                                             u8s({1})),
         ReadStatus::unsupported},
        {"NAXIS1 0", build(image_cards(8, {0, 2}), u8s({1, 2})), ReadStatus::corrupt},
        {"NAXIS2 -1", build(image_cards(8, {2, -1}), u8s({1, 2})), ReadStatus::corrupt},
        {"NAXIS3 0", build(image_cards(8, {2, 1, 0}), u8s({1, 2})), ReadStatus::corrupt},
        {"NAXIS1 not a number", build(image_cards(8, {1, 1}, {"NAXIS1  = 'wide'"}),
                                       u8s({1})),
         ReadStatus::corrupt},
        {"data one byte short", good.substr(0, 2880 + 7), ReadStatus::corrupt},
        {"no data at all", good.substr(0, 2880), ReadStatus::corrupt},
        {"unblocked and short", unblocked_short, ReadStatus::corrupt},
        {"many planes the file cannot hold",
         build(image_cards(8, {100, 100, 1000000}), u8s({1})), ReadStatus::corrupt},
        {"sizes whose product overflows 64 bits",
         build(image_cards(32, {30000, 30000}, {"NAXIS   = 3", "NAXIS3  = 9000000000"}),
                u8s({1})),
         ReadStatus::corrupt},
        {"more pixels than any picture here",
         build(image_cards(8, {2000000000, 2000000000}), u8s({1})),
         ReadStatus::unsupported},
        {"NAXIS1 beyond 32 bits", build(image_cards(8, {1, 1}, {"NAXIS1  = 4294967297"}),
                                         u8s({1})),
         ReadStatus::unsupported},
        {"empty primary, nothing after it", build({"SIMPLE  = T", "BITPIX  = 8",
                                                   "NAXIS   = 0"}, ""),
         ReadStatus::unsupported},
    };
    test::expect_refused(cases,
                         [](const std::string& f, ImageRecord& r) { return decode(f, r); });
}

TEST(FitsReader, ReadFitsNamesTheRecordOrLeavesItAlone) {
    const std::string file = build(image_cards(8, {2, 1}), u8s({0, 1}));
    const DarkFrames no_dark;
    const auto read = [&](const std::string& path, ImageRecord& r) {
        return read_fits(no_dark, path, r);
    };
    EXPECT_TRUE(has_grey(test::read_saved(read, file), 2, 1, {0, 65535}));

    // Loaded FITS dark frames of the same size are subtracted; other kinds are not used.
    TempDir dir;
    const std::string path = dir.file("frame.fits");
    test::write_file(path, file);
    DarkFrames dark;
    dark.kind = kKindFits;
    dark.width = 2;
    dark.height = 1;
    dark.fits_planes = {std::vector<int32_t>{0, 1}, {0, 1}, {0, 1}};
    ImageRecord r;
    ASSERT_TRUE(read_fits(dark, path, r).ok());
    EXPECT_TRUE(has_grey(r, 2, 1, {0, 0}));
    dark.kind = kKindBmp;
    ASSERT_TRUE(read_fits(dark, path, r).ok());
    EXPECT_TRUE(has_grey(r, 2, 1, {0, 65535}));
}

// ---- files written by other programs, checked against astropy ----

std::string python_with_astropy() {
    static const std::string found =
        run_command("/usr/bin/python3 -c 'import astropy.io.fits, numpy' >/dev/null 2>&1") == 0
            ? "/usr/bin/python3"
            : "";
    return found;
}

// `expect OUTDIR FILE...`: for each FILE, the first HDU holding an image (as astropy reads
// it, BSCALE and BZERO applied), stretched per colour as (v − min) × 65535 / range,
// truncated; OUTDIR/<file name>.want gets width and height (32-bit little-endian), then RGB
// (16-bit big-endian) with astropy's last row first: the top of the picture.
// `make DIR`: FITS files written by astropy.
const char* kAstropyScript = R"PY(
import os
import sys
import numpy as np
from astropy.io import fits

def stretch(v):
    if v.dtype.kind in 'iub':
        v = v.astype(np.int64)
        lo = v.min()
        rng = float(v.max() - lo)
        if rng <= 0:
            rng = 1.0
        return ((v - lo).astype(np.float64) * 65535.0 / rng).astype(np.uint16)
    v = v.astype(np.float64)
    ok = np.isfinite(v)
    lo = v[ok].min() if ok.any() else 0.0
    rng = (v[ok].max() - lo) if ok.any() else 0.0
    if not rng > 0:
        rng = 1.0
    t = np.where(ok, (np.where(ok, v, lo) - lo) * 65535.0 / rng, 0.0)
    return np.clip(np.trunc(t), 0, 65535).astype(np.uint16)

def expect(src, dst):
    with fits.open(src) as hdul:
        data = next(h.data for h in hdul if h.is_image and h.data is not None)
        planes = [data] if data.ndim == 2 else list(data[:3])
        h, w = planes[0].shape
        if len(planes) == 1:
            planes = planes * 3
        colours = [stretch(p) for p in planes]
        while len(colours) < 3:
            colours.append(np.zeros((h, w), np.uint16))
        with open(dst, 'wb') as f:
            f.write(np.array([w, h], '<u4').tobytes())
            f.write(np.stack(colours, -1)[::-1].astype('>u2').tobytes())

def make(d):
    rng = np.random.default_rng(5)
    shape = (23, 37)
    def save(name, data):
        fits.PrimaryHDU(data).writeto(d + '/' + name, overwrite=True)
    save('u8.fits', rng.integers(3, 250, shape).astype(np.uint8))
    save('u16.fits', rng.integers(1000, 65000, shape).astype(np.uint16))
    save('i16.fits', rng.integers(-30000, 30000, shape).astype(np.int16))
    save('i32.fits', rng.integers(-2000000000, 2000000000, shape).astype(np.int32))
    save('u32.fits', rng.integers(0, 4294967295, shape, endpoint=True).astype(np.uint32))
    f = rng.normal(0.0, 3.0, shape).astype(np.float32)
    f[3, 4] = np.nan
    f[10, 0] = np.nan
    save('f32nan.fits', f)
    save('f64.fits', rng.normal(100.0, 50.0, shape))
    save('cube3.fits', np.stack([rng.integers(0, 100, shape), rng.integers(500, 4000, shape),
                                 rng.integers(-7, 7, shape)]).astype(np.int16))
    save('cube2.fits', np.stack([rng.integers(0, 255, shape),
                                 rng.integers(9, 19, shape)]).astype(np.uint8))
    scaled = fits.PrimaryHDU(rng.integers(-500, 500, shape).astype(np.float64))
    scaled.scale('int16', bscale=2, bzero=-10)
    scaled.writeto(d + '/scaled.fits', overwrite=True)

if sys.argv[1] == 'expect':
    for src in sys.argv[3:]:
        expect(src, os.path.join(sys.argv[2], os.path.basename(src) + '.want'))
else:
    make(sys.argv[2])
)PY";

// Runs the astropy script with `args`; false when it fails.
bool run_astropy(const TempDir& dir, const std::string& args) {
    const std::string script = dir.file("astropy_script.py");
    test::write_file(script, kAstropyScript);
    return run_command(python_with_astropy() + " " + quoted(script) + " " + args) == 0;
}

// Writes astropy's expected planes of every file into `dir` (see kAstropyScript).
bool astropy_expectations(const TempDir& dir, const std::vector<std::string>& paths) {
    // Appended piece by piece: GCC 12 wrongly warns about "..." + s here.
    std::string args = "expect ";
    args += quoted(dir.path().string());
    for (const std::string& p : paths) (args += ' ') += quoted(p);
    return run_astropy(dir, args);
}

// Each file is read (as a w × h picture, when given) and matches astropy's reading of it.
void expect_like_astropy(const std::vector<std::string>& paths, const TempDir& dir, int w = 0,
                         int h = 0) {
    ASSERT_TRUE(astropy_expectations(dir, paths));
    for (const std::string& path : paths) {
        ImageRecord r;
        const ReadResult res = read_fits(DarkFrames{}, path, r);
        ASSERT_TRUE(res.ok()) << path << ": " << res.detail;
        EXPECT_TRUE(w == 0 || (r.width == w && r.height == h)) << path;
        const std::string want =
            test::read_file(dir.file(std::filesystem::path(path).filename().string() + ".want"));
        EXPECT_EQ(want.substr(0, 8), test::le32(r.width) + test::le32(r.height)) << path;
        EXPECT_TRUE(test::matches_raw(r, want.substr(std::min<std::size_t>(8, want.size())), 16))
            << path;
    }
}

TEST(FitsReader, SharedSamplesMatchAstropy) {
    const std::string samples = test::shared_samples_dir();
    if (samples.empty()) GTEST_SKIP() << "shared samples not present";
    if (python_with_astropy().empty()) GTEST_SKIP() << "python3 with astropy not installed";
    // BITPIX 16 + BZERO 32768 (two cameras), 16 signed, 8, 32 in an extension, -32, -64.
    std::vector<std::string> paths;
    for (const char* name : {"a8280271.fits", "sip-wcs_apogee.fits", "m13.fits", "hopper.fits",
                             "fermi_counts.fits", "hsi_image_20101016_191218.fits",
                             "efz20040301.000010_s.fits"}) {
        paths.push_back(samples + "/fits/" + name);
        if (!std::filesystem::exists(paths.back()))
            GTEST_SKIP() << name << " missing from the shared samples";
    }
    TempDir dir;
    expect_like_astropy(paths, dir);
}

// 37 × 23 pictures of every sample format, colour cubes and scaled data.
TEST(FitsReader, FilesWrittenByAstropyMatchIt) {
    if (python_with_astropy().empty()) GTEST_SKIP() << "python3 with astropy not installed";
    TempDir dir;
    ASSERT_TRUE(run_astropy(dir, "make " + quoted(dir.path().string())));
    std::vector<std::string> paths;
    for (const char* name : {"u8.fits", "u16.fits", "i16.fits", "i32.fits", "u32.fits",
                             "f32nan.fits", "f64.fits", "cube3.fits", "cube2.fits",
                             "scaled.fits"})
        paths.push_back(dir.file(name));
    expect_like_astropy(paths, dir, 37, 23);
}

}  // namespace
}  // namespace vora
