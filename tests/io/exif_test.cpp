#include "io/exif.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vora {
namespace {

using exif::CameraFields;

// ---- building TIFF data by hand ----

std::string enc16(bool big, uint32_t v) {
    const char lo = char(v & 0xFF), hi = char((v >> 8) & 0xFF);
    return big ? std::string{hi, lo} : std::string{lo, hi};
}
std::string enc32(bool big, uint32_t v) {
    return big ? enc16(big, v >> 16) + enc16(big, v & 0xFFFF)
               : enc16(big, v & 0xFFFF) + enc16(big, v >> 16);
}
std::string rational(bool big, uint32_t n, uint32_t d) {
    return enc32(big, n) + enc32(big, d);
}

enum : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

// One IFD entry. Its value is `data` (inline when it fits four bytes, otherwise placed in the
// data area and pointed to), or the raw 32-bit value field when `raw` is set.
struct Ent {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::string data;
    int64_t raw = -1;
};

Ent text(uint16_t tag, const std::string& s) {
    return {tag, kAscii, uint32_t(s.size()), s};
}

// Header, IFD0 at 8, the Exif IFD right after it (pointed to by an added 34665 entry when
// there are Exif entries), then the data area.
std::string build_tiff(bool big, std::vector<Ent> ifd0, const std::vector<Ent>& exif_ifd,
                       uint16_t declared_ifd0_count = 0) {
    const auto ifd_size = [](std::size_t n) { return 2 + 12 * n + 4; };
    const std::size_t ifd0_entries = ifd0.size() + (exif_ifd.empty() ? 0 : 1);
    const std::size_t exif_at = 8 + ifd_size(ifd0_entries);
    if (!exif_ifd.empty()) ifd0.push_back({34665, kLong, 1, "", int64_t(exif_at)});
    std::size_t data_at = exif_at + (exif_ifd.empty() ? 0 : ifd_size(exif_ifd.size()));
    std::string data_area;
    const auto ifd = [&](const std::vector<Ent>& entries, uint16_t count) {
        std::string s = enc16(big, count ? count : uint32_t(entries.size()));
        for (const Ent& e : entries) {
            s += enc16(big, e.tag) + enc16(big, e.type) + enc32(big, e.count);
            if (e.raw >= 0) {
                s += enc32(big, uint32_t(e.raw));
            } else if (e.data.size() <= 4) {
                s += e.data + std::string(4 - e.data.size(), '\0');
            } else {
                s += enc32(big, uint32_t(data_at + data_area.size()));
                data_area += e.data;
            }
        }
        return s + enc32(big, 0);
    };
    std::string out = big ? std::string("MM\0*", 4) : std::string("II*\0", 4);
    out += enc32(big, 8);
    out += ifd(ifd0, declared_ifd0_count);
    if (!exif_ifd.empty()) out += ifd(exif_ifd, 0);
    return out + data_area;
}

// The parser reads from an exactly sized heap buffer, so a read past the end shows up under
// AddressSanitizer.
CameraFields parse(const std::string& tiff) {
    const std::vector<uint8_t> bytes(tiff.begin(), tiff.end());
    return exif::parse_tiff(bytes.data(), bytes.size());
}

::testing::AssertionResult same_fields(const CameraFields& got, const CameraFields& want) {
    if (got.make == want.make && got.model == want.model && got.date_time == want.date_time &&
        got.exposure_time == want.exposure_time && got.f_number == want.f_number &&
        got.iso_speed == want.iso_speed)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got make '" << got.make << "' model '" << got.model << "' date '" << got.date_time
           << "' exposure " << std::hex << got.exposure_time << " f " << got.f_number << std::dec
           << " iso " << got.iso_speed;
}

// ---- reading the camera fields ----

TEST(ExifParse, ReadsTheCameraFieldsInBothByteOrders) {
    struct Case {
        const char* what;
        std::vector<Ent> ifd0;
        std::vector<Ent> exif_ifd;  // given in the byte order of the run
        CameraFields want;
    };
    for (const bool big : {false, true}) {
        const Case cases[] = {
            {"texts at offsets and inline, rationals, SHORT ISO",
             {text(271, std::string("Canon\0", 6)), text(272, std::string("EOS\0", 4)),
              text(306, std::string("2001:06:09 15:17:32\0", 20))},
             {{33434, kRational, 1, rational(big, 1, 350)},
              {33437, kRational, 1, rational(big, 40, 10)},
              {34855, kShort, 1, enc16(big, 200)}},
             {"Canon", "EOS", "2001:06:09 15:17:32", 0x0001015E, 0x0028000A, 200}},
            {"ISO as LONG", {}, {{34855, kLong, 1, enc32(big, 3200)}}, {"", "", "", 0, 0, 3200}},
            {"ISO SHORT with two values inline: the first",
             {},
             {{34855, kShort, 2, enc16(big, 400) + enc16(big, 800)}},
             {"", "", "", 0, 0, 400}},
            {"ISO SHORT with three values at an offset: the first",
             {},
             {{34855, kShort, 3, enc16(big, 100) + enc16(big, 200) + enc16(big, 300)}},
             {"", "", "", 0, 0, 100}},
            {"ISO of a type that is not an integer is ignored",
             {},
             {{34855, kRational, 1, rational(big, 100, 1)}},
             {}},
            {"rational halves keep their low 16 bits",
             {},
             {{33434, kRational, 1, rational(big, 0x12345, 0x10003)}},
             {"", "", "", 0x23450003, 0, 0}},
            {"text stops at the first zero byte",
             {text(271, std::string("AB\0CD\0", 6))},
             {},
             {"AB", "", "", 0, 0, 0}},
            {"text without a zero byte is cut to 31 characters",
             {text(272, std::string(40, 'M'))},
             {},
             {"", std::string(31, 'M'), "", 0, 0, 0}},
            {"three characters and the zero byte fit inline",
             {text(271, std::string("Abc\0", 4))},
             {},
             {"Abc", "", "", 0, 0, 0}},
            {"text of count 0 is empty", {{271, kAscii, 0, ""}}, {}, {}},
            {"tags outside their IFD are not taken",
             {{33434, kRational, 1, rational(big, 1, 2)}},
             {text(271, "Nikon")},
             {}},
        };
        for (const Case& c : cases) {
            const std::string tiff = build_tiff(big, c.ifd0, c.exif_ifd);
            EXPECT_TRUE(same_fields(parse(tiff), c.want)) << c.what << (big ? " (MM)" : " (II)");
        }
    }
}

TEST(ExifParse, UsesTheFullSixteenBitEntryCount) {
    // 300 entries, Make the last: a count cut to its low byte (44) would never reach it.
    for (const bool big : {false, true}) {
        std::vector<Ent> ifd0(299, Ent{0x9999, kShort, 1, enc16(big, 7)});
        ifd0.push_back(text(271, std::string("Pentax\0", 7)));
        EXPECT_TRUE(same_fields(parse(build_tiff(big, ifd0, {})), {"Pentax", "", "", 0, 0, 0}));
    }
}

TEST(ExifParse, HostileOffsetsAndCountsAreIgnored) {
    const bool big = false;
    const Ent model = text(272, std::string("Model\0", 6));
    const CameraFields only_model{"", "Model", "", 0, 0, 0};
    struct Case {
        const char* what;
        std::string tiff;
        CameraFields want;
    };
    std::string tail_rational = build_tiff(big, {}, {{33434, kRational, 1, "", 0}});
    // Point the rational at the last four bytes: its denominator would lie outside.
    tail_rational.replace(8 + 18 + 2 + 8, 4, enc32(big, uint32_t(tail_rational.size() - 4)));
    // An 8-byte Make text whose last byte would be the first one past the data.
    std::string one_past = build_tiff(big, {{271, kAscii, 8, "", 0}, model}, {});
    one_past.replace(8 + 2 + 8, 4, enc32(big, uint32_t(one_past.size() - 7)));
    const Case cases[] = {
        {"text offset past the end",
         build_tiff(big, {{271, kAscii, 10, "", 0xFFFFFFF0}, model}, {}), only_model},
        {"text count past the end", build_tiff(big, {{271, kAscii, 0xFFFFFFFF, "", 8}, model}, {}),
         only_model},
        {"text offset plus count wraps around 32 bits",
         build_tiff(big, {{271, kAscii, 16, "", 0xFFFFFFF8}, model}, {}), only_model},
        {"text ending one byte past the data", one_past, only_model},
        {"rational offset past the end",
         build_tiff(big, {model}, {{33434, kRational, 1, "", 0x7FFFFFFF}}), only_model},
        {"rational with its second half outside", tail_rational, {}},
        {"ISO values at an offset past the end",
         build_tiff(big, {model}, {{34855, kShort, 0x40000000, "", 100}}), only_model},
        {"IFD0 offset past the end", "II*\0" + enc32(big, 0x10000), {}},
        {"IFD0 offset at the last byte", "II*\0" + enc32(big, 7), {}},
        {"entry count larger than the data: the entries present are read",
         build_tiff(big, {model, text(271, "Make!")}, {}, 0xFFFF),
         {"Make!", "Model", "", 0, 0, 0}},
        {"Exif IFD offset past the end",
         build_tiff(big, {model, {34665, kLong, 1, "", 1u << 31}}, {}), only_model},
        {"Exif IFD pointing back at IFD0", build_tiff(big, {model, {34665, kLong, 1, "", 8}}, {}),
         only_model},
        {"Exif IFD pointing at the header", build_tiff(big, {model, {34665, kLong, 1, "", 0}}, {}),
         only_model},
        {"unknown byte-order mark", "IM*\0" + enc32(big, 8) + std::string(30, '\0'), {}},
        {"TIFF number not 42", "II+\0" + enc32(big, 8) + std::string(30, '\0'), {}},
        {"shorter than the header", "II*\0\x08", {}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) EXPECT_TRUE(same_fields(parse(c.tiff), c.want)) << c.what;
}

TEST(ExifParse, EveryTruncationIsSafe) {
    for (const bool big : {false, true}) {
        const std::string tiff = build_tiff(
            big, {text(271, std::string("Canon\0", 6)), text(306, "2001:06:09 15:17:32")},
            {{33434, kRational, 1, rational(big, 1, 350)},
             {34855, kShort, 3, std::string(6, 'x')}});
        for (std::size_t n = 0; n <= tiff.size(); ++n) parse(tiff.substr(0, n));
        EXPECT_EQ(parse(tiff).make, "Canon");
    }
}

// ---- finding the segments ----

std::string segment(uint8_t marker, const std::string& payload) {
    const std::size_t len = payload.size() + 2;
    return std::string{char(0xFF), char(marker), char(len >> 8), char(len & 0xFF)} + payload;
}
const std::string kSoi = "\xFF\xD8";
std::string exif_app1(const std::string& tiff) {
    return segment(0xE1, std::string("Exif\0\0", 6) + tiff);
}
const std::string kJfif = segment(0xE0, std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14));
const std::string kDqt = segment(0xDB, std::string(65, '\x01'));

TEST(ExifLocate, FindsTheBlockAmongTheHeaderSegments) {
    const std::string tiff = build_tiff(false, {text(271, std::string("Fuji\0", 5))}, {});
    const std::string exif = exif_app1(tiff);
    const std::string xmp = segment(0xE1, "http://ns.adobe.com/xap/1.0/\0<x/>");
    const std::string icc = segment(0xE2, "ICC_PROFILE");
    struct Case {
        const char* what;
        std::string file;
        std::size_t block_length;  // 0: none found
        std::size_t tiff_offset;
    };
    const Case cases[] = {
        {"Exif APP1 right after SOI", kSoi + exif + kDqt, 2 + exif.size(), 12},
        {"JFIF APP0 first", kSoi + kJfif + exif + kDqt, 2 + kJfif.size() + exif.size(),
         2 + kJfif.size() + 10},
        {"an APP1 directly after the Exif segment belongs to the block",
         kSoi + exif + xmp + icc + kDqt, 2 + exif.size() + xmp.size(), 12},
        {"other segments after it do not", kSoi + exif + icc + xmp + kDqt, 2 + exif.size(), 12},
        {"the block ends with the last Exif segment; fields from the first",
         kSoi + exif + icc + exif + kDqt, 2 + 2 * exif.size() + icc.size(), 12},
        {"comment and APP2 before Exif", kSoi + segment(0xFE, "hi") + icc + exif,
         2 + 6 + icc.size() + exif.size(), 2 + 6 + icc.size() + 10},
        {"no Exif, only XMP", kSoi + kJfif + xmp + kDqt, 0, 0},
        {"Exif after the first non-APP segment is not looked for", kSoi + kDqt + exif, 0, 0},
        {"Exif segment running past the end", kSoi + exif.substr(0, exif.size() - 1), 0, 0},
        {"segment length below 2 stops the scan", kSoi + std::string("\xFF\xE0\x00\x01", 4) + exif,
         0, 0},
        {"APP1 too short for the Exif identifier", kSoi + segment(0xE1, "Exif\0"), 0, 0},
        {"identifier not Exif", kSoi + segment(0xE1, std::string("Exit\0\0", 6) + tiff), 0, 0},
        {"no SOI", exif, 0, 0},
        {"empty", "", 0, 0},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes(c.file.begin(), c.file.end());
        const exif::ExifLocation at = exif::locate_exif(bytes.data(), bytes.size());
        EXPECT_EQ(at.block_length, c.block_length) << c.what;
        if (c.block_length == 0) continue;
        EXPECT_EQ(at.tiff_offset, c.tiff_offset) << c.what;
        EXPECT_EQ(at.tiff_length, tiff.size()) << c.what;
        EXPECT_EQ(exif::read_camera_fields(bytes.data(), bytes.size(), at).make, "Fuji") << c.what;
    }
}

TEST(ExifLocate, TiffDataAreBoundedByTheirSegment) {
    // The Make text's offset points past the Exif segment into the following comment, which
    // holds a plausible text: it must not be read.
    const std::string tiff = build_tiff(false, {{271, kAscii, 6, "", 40}}, {});
    ASSERT_LT(tiff.size(), 40u);
    const std::string file = kSoi + exif_app1(tiff) + segment(0xFE, std::string(60, 'A'));
    ImageRecord r;
    EXPECT_TRUE(
        exif::read_exif_into(reinterpret_cast<const uint8_t*>(file.data()), file.size(), r));
    EXPECT_EQ(r.camera_make, "");
}

TEST(ExifLocate, ReadIntoRecordReplacesEveryExifField) {
    ImageRecord r;
    r.exif_block = {1, 2, 3};
    r.camera_make = "Old";
    r.camera_model = "Old";
    r.date_time = "Old";
    r.exposure_time = 5;
    r.f_number = 6;
    r.iso_speed = 7;
    const std::string plain = kSoi + kJfif + kDqt;
    EXPECT_FALSE(
        exif::read_exif_into(reinterpret_cast<const uint8_t*>(plain.data()), plain.size(), r));
    EXPECT_TRUE(r.exif_block.empty());
    EXPECT_EQ(r.camera_make + r.camera_model + r.date_time, "");
    EXPECT_EQ(r.exposure_time + r.f_number + uint32_t(r.iso_speed), 0u);

    const std::string with = kSoi + kJfif +
                             exif_app1(build_tiff(true, {text(271, std::string(45, 'K'))},
                                                  {{34855, kShort, 1, enc16(true, 640)}})) +
                             kDqt;
    EXPECT_TRUE(
        exif::read_exif_into(reinterpret_cast<const uint8_t*>(with.data()), with.size(), r));
    EXPECT_EQ(r.exif_block.size(), with.size() - kDqt.size());
    EXPECT_EQ(r.camera_make, std::string(31, 'K'));
    EXPECT_EQ(r.iso_speed, 640);
}

TEST(ExifLocate, KeptBlockValidity) {
    const std::string exif = exif_app1(build_tiff(false, {}, {}));
    const auto valid = [](const std::string& s) {
        return exif::is_valid_block(std::vector<uint8_t>(s.begin(), s.end()));
    };
    EXPECT_TRUE(valid(kSoi + exif));
    EXPECT_TRUE(valid(kSoi + kJfif + exif));
    EXPECT_FALSE(valid(kSoi + kJfif)) << "no Exif segment";
    EXPECT_FALSE(valid(kSoi + exif + kDqt)) << "a table segment inside";
    EXPECT_FALSE(valid(kSoi + exif + "\xFF")) << "stray byte at the end";
    EXPECT_FALSE(valid(exif)) << "no SOI";
    EXPECT_FALSE(valid(""));
}

// ---- the written template ----

uint32_t le16_at(const std::vector<uint8_t>& b, std::size_t i) {
    return b[i] | b[i + 1] << 8;
}
uint32_t le32_at(const std::vector<uint8_t>& b, std::size_t i) {
    return le16_at(b, i) | le16_at(b, i + 2) << 16;
}
std::string text_at(const std::vector<uint8_t>& b, std::size_t i, std::size_t n) {
    return std::string(b.begin() + std::ptrdiff_t(i), b.begin() + std::ptrdiff_t(i + n));
}

// Template offsets worked out from its layout: the TIFF data start at file offset 12; IFD0
// at TIFF offset 8 holds 11 entries of 12 bytes from file offset 22; the Exif IFD at TIFF
// offset 360 (file 372) holds 9 entries from file offset 374.
constexpr std::size_t kT = 12;
std::size_t ifd0_entry(int i) {
    return kT + 8 + 2 + 12 * std::size_t(i);
}
std::size_t exif_entry(int i) {
    return kT + 360 + 2 + 12 * std::size_t(i);
}

TEST(ExifTemplate, LayoutWithTheCameraFields) {
    const CameraFields f{"Canon",
                         "Canon EOS 6D",
                         "2023:01:02 03:04:05",
                         pack_rational(1, 250),
                         pack_rational(28, 10),
                         1600};
    const std::vector<uint8_t> t = exif::build_template(f);
    ASSERT_EQ(t.size(), 768u);
    const std::vector<uint8_t> head = {0xFF, 0xD8, 0xFF, 0xE1, 0x02, 0xFC, 'E', 'x', 'i', 'f',
                                       0,    0,    'I',  'I',  42,   0,    8,   0,   0,   0};
    EXPECT_EQ(std::vector<uint8_t>(t.begin(), t.begin() + 20), head);
    EXPECT_EQ(le16_at(t, kT + 8), 11u) << "IFD0 without the GPS pointer";
    struct E {
        uint32_t tag, type, count, value;
    };
    const E ifd0[] = {{271, 2, 6, 158}, {272, 2, 13, 180}, {274, 3, 1, 1},    {282, 5, 1, 196},
                      {283, 5, 1, 204}, {296, 3, 1, 2},    {306, 2, 20, 212}, {315, 2, 1, 0},
                      {531, 3, 1, 2},   {33432, 2, 1, 0},  {34665, 4, 1, 360}};
    for (int i = 0; i < 11; ++i) {
        const std::size_t p = ifd0_entry(i);
        EXPECT_EQ(le16_at(t, p), ifd0[i].tag) << i;
        EXPECT_EQ(le16_at(t, p + 2), ifd0[i].type) << i;
        EXPECT_EQ(le32_at(t, p + 4), ifd0[i].count) << i;
        EXPECT_EQ(le32_at(t, p + 8), ifd0[i].value) << i;
    }
    EXPECT_EQ(le32_at(t, kT + 142), 256u) << "next IFD after the 11 entries";
    EXPECT_EQ(text_at(t, kT + 256, 6), std::string(6, '\0')) << "empty IFD1";
    EXPECT_EQ(text_at(t, kT + 158, 6), std::string("Canon\0", 6));
    EXPECT_EQ(text_at(t, kT + 180, 13), std::string("Canon EOS 6D\0", 13));
    EXPECT_EQ(le32_at(t, kT + 196), 72u);
    EXPECT_EQ(le32_at(t, kT + 200), 1u);
    EXPECT_EQ(le32_at(t, kT + 204), 72u);
    EXPECT_EQ(le32_at(t, kT + 208), 1u);
    for (std::size_t slot : {212, 582, 602})
        EXPECT_EQ(text_at(t, kT + slot, 20), std::string("2023:01:02 03:04:05\0", 20)) << slot;

    EXPECT_EQ(le16_at(t, kT + 360), 9u);
    const E exif_ifd[] = {{33434, 5, 1, 566},
                          {33437, 5, 1, 574},
                          {34850, 3, 1, 3},
                          {34855, 3, 1, 1600},
                          {34864, 3, 1, 2},
                          {34866, 4, 1, 100},
                          {36864, 7, 4, 0x30333230 /* "0230" */},
                          {36867, 2, 20, 582},
                          {36868, 2, 20, 602}};
    for (int i = 0; i < 9; ++i) {
        const std::size_t p = exif_entry(i);
        EXPECT_EQ(le16_at(t, p), exif_ifd[i].tag) << i;
        EXPECT_EQ(le16_at(t, p + 2), exif_ifd[i].type) << i;
        EXPECT_EQ(le32_at(t, p + 4), exif_ifd[i].count) << i;
        EXPECT_EQ(le32_at(t, p + 8), exif_ifd[i].value) << i;
    }
    EXPECT_EQ(le32_at(t, kT + 470), 0u) << "no IFD after the Exif IFD";
    EXPECT_EQ(le32_at(t, kT + 566), 1u);
    EXPECT_EQ(le32_at(t, kT + 570), 250u);
    EXPECT_EQ(le32_at(t, kT + 574), 28u);
    EXPECT_EQ(le32_at(t, kT + 578), 10u);
}

TEST(ExifTemplate, TextsAreCutToTheirSlots) {
    struct Case {
        const char* what;
        CameraFields f;
        std::string make, model, date;  // as stored
    };
    const Case cases[] = {
        {"long texts",
         {std::string(40, 'a'), std::string(30, 'b'), "2023:01:02 03:04:05 and more", 0, 0, 0},
         std::string(21, 'a'),
         std::string(15, 'b'),
         "2023:01:02 03:04:05"},
        {"exactly the slot sizes",
         {std::string(21, 'c'), std::string(15, 'd'), "", 0, 0, 0},
         std::string(21, 'c'),
         std::string(15, 'd'),
         ""},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> t = exif::build_template(c.f);
        EXPECT_EQ(le32_at(t, ifd0_entry(0) + 4), c.make.size() + 1) << c.what;
        EXPECT_EQ(text_at(t, kT + 158, 22), c.make + std::string(22 - c.make.size(), '\0'))
            << c.what;
        EXPECT_EQ(le32_at(t, ifd0_entry(1) + 4), c.model.size() + 1) << c.what;
        EXPECT_EQ(text_at(t, kT + 180, 16), c.model + std::string(16 - c.model.size(), '\0'))
            << c.what;
        EXPECT_EQ(text_at(t, kT + 212, 20), c.date + std::string(20 - c.date.size(), '\0'))
            << c.what;
        // The neighbours of each slot are untouched.
        EXPECT_EQ(le32_at(t, kT + 196), 72u) << c.what;
        EXPECT_EQ(t[kT + 232], 0) << c.what;
    }
}

TEST(ExifTemplate, ShortTextsGoInlineAndEmptyFieldsAreZero) {
    // An empty text (count 1) and a text of up to three characters (count up to 4) fit the
    // entry's value field; an offset there would be read as the text itself.
    const std::vector<uint8_t> t = exif::build_template({"", "Abc", "", 0, 0, 0});
    EXPECT_EQ(le32_at(t, ifd0_entry(0) + 4), 1u);
    EXPECT_EQ(le32_at(t, ifd0_entry(0) + 8), 0u);
    EXPECT_EQ(le32_at(t, ifd0_entry(1) + 4), 4u);
    EXPECT_EQ(text_at(t, ifd0_entry(1) + 8, 4), std::string("Abc\0", 4));
    EXPECT_EQ(text_at(t, kT + 158, 38), std::string(38, '\0')) << "slots stay empty";
    for (std::size_t at : {566, 570, 574, 578}) EXPECT_EQ(le32_at(t, kT + at), 0u) << at;
    EXPECT_EQ(le32_at(t, exif_entry(3) + 8), 0u) << "ISO 0";
}

TEST(ExifTemplate, ReadsBackThroughTheParser) {
    const CameraFields f{
        "NIKON", "E950", "2001:04:06 11:51:40", pack_rational(10, 770), pack_rational(55, 10), 80};
    const std::vector<uint8_t> t = exif::build_template(f);
    const exif::ExifLocation at = exif::locate_exif(t.data(), t.size());
    EXPECT_EQ(at.block_length, 768u);
    EXPECT_TRUE(same_fields(exif::read_camera_fields(t.data(), t.size(), at), f));
    EXPECT_TRUE(same_fields(exif::read_camera_fields(t.data(), t.size(), at),
                            exif::parse_tiff(t.data() + 12, t.size() - 12)));
    const CameraFields clamped =
        exif::parse_tiff(exif::build_template({"", "", "", 0, 0, 100000}).data() + 12, 756);
    EXPECT_EQ(clamped.iso_speed, 65535) << "ISO beyond a SHORT is clamped";
}

}  // namespace
}  // namespace vora
