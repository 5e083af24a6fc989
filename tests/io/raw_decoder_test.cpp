#include "io/raw_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <filesystem>

#include "core/workbench.h"
#include "io/dark_frames.h"
#include "io/dng_writer.h"
#include "io/raw_develop.h"
#include "io/registry.h"
#include "test_support.h"

namespace vora {
namespace {

// Black 256, white 4095: the decoder scales (value − 256) by multiplier × 65535 / 3839, the
// multipliers being 1 / AsShotNeutral divided by the smallest of them.
constexpr double kScale = 65535.0 / 3839.0;

// An RGGB mosaic whose red, green and blue sites hold r, g and b.
test::DngContent mosaic(uint16_t r, uint16_t g, uint16_t b) {
    test::DngContent c = test::flat_dng(32, 32, 0);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            c.values[std::size_t(y * c.width + x)] =
                y % 2 == 0 ? (x % 2 == 0 ? r : g) : (x % 2 == 0 ? g : b);
    return c;
}

std::string written(const test::TempDir& dir, const std::string& name, const test::DngContent& c) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(test::write_dng(path, c));
    return path;
}

TEST(RawCameraFields, ExposureAndFNumberPacking) {
    struct Case {
        double value;
        uint32_t num, den;
    };
    // Decoder values are floats: 1/250 s arrives as 0.004000000189989805.
    const Case exposures[] = {{double(1.0f / 250.0f), 10, 2500},
                              {double(1.0f / 60.0f), 10, 600},
                              {0.5, 10, 20},
                              {double(1.0f / 3.0f), 10, 30},
                              {0.3, 10, 33},
                              {2.0, 20, 10},
                              {1.0, 10, 10},
                              {double(2.5f), 25, 10},
                              {1800.0, 18000, 10},
                              {double(1.0f / 8000.0f), 1, 8000}};
    for (const Case& c : exposures)
        EXPECT_EQ(pack_raw_exposure(c.value), pack_rational(c.num, c.den)) << c.value;
    const Case apertures[] = {{double(5.6f), 56, 10},
                              {8.0, 80, 10},
                              {double(1.4f), 14, 10},
                              {double(7.6f), 76, 10},
                              {double(2.85f), 28, 10}};
    for (const Case& c : apertures)
        EXPECT_EQ(pack_raw_f_number(c.value), pack_rational(c.num, c.den)) << c.value;
    for (double unknown : {0.0, -1.0, std::nan("")}) {
        EXPECT_EQ(pack_raw_exposure(unknown), 0u);
        EXPECT_EQ(pack_raw_f_number(unknown), 0u);
    }
}

TEST(RawCameraFields, DateTextIsLocalCalendarTime) {
    std::tm local{};
    local.tm_year = 2019 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 6;
    local.tm_hour = 7;
    local.tm_min = 29;
    local.tm_sec = 51;
    local.tm_isdst = -1;
    EXPECT_EQ(raw_date_text(int64_t(std::mktime(&local))), "2019:06:06 07:29:51");
    EXPECT_EQ(raw_date_text(0), "");  // no time stamp in the file
}

TEST(RawDecoder, MosaicSensorValuesBlackSubtractedAndWhiteBalanced) {
    test::TempDir dir;
    test::DngContent c = mosaic(1000, 1500, 700);
    c.neutral = {0.5, 1, 0.8};  // camera multipliers 2, 1, 1.25
    // One bright blue site: the scale must not follow the brightest value of the file.
    c.values[std::size_t(31 * 32 + 31)] = 3600;
    RawSensor s;
    ASSERT_TRUE(decode_raw_sensor(written(dir, "m.dng", c), s).ok());
    ASSERT_EQ(s.width, 32);
    ASSERT_EQ(s.height, 32);
    ASSERT_EQ(s.values.size(), 32u * 32u);
    EXPECT_GT(s.filters, 9u);  // Bayer
    // (1000 − 256) × 2 × kScale, (1500 − 256) × kScale, (700 − 256) × 1.25 × kScale, truncated.
    const uint16_t red = uint16_t(744 * 2 * kScale), green = uint16_t(1244 * kScale),
                   blue = uint16_t(444 * 1.25 * kScale);
    EXPECT_EQ(red, 25401);
    EXPECT_EQ(green, 21236);
    EXPECT_EQ(blue, 9474);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            std::array<uint16_t, 4> want{};
            const int colour = y % 2 == 0 ? (x % 2 == 0 ? 0 : 1) : (x % 2 == 0 ? 1 : 2);
            want[std::size_t(colour)] = colour == 0 ? red : colour == 1 ? green : blue;
            if (y == 31 && x == 31) want[2] = 65535;  // (3600 − 256) × 1.25 × kScale, clipped
            ASSERT_EQ(s.at(y, x), want) << "row " << y << " col " << x;
        }
}

TEST(RawDecoder, LinearRawSensorIsFullColour) {
    test::TempDir dir;
    test::DngContent c = test::flat_dng(24, 22, 0, 3);
    for (std::size_t i = 0; i < c.values.size(); ++i)
        c.values[i] = uint16_t(i % 3 == 0 ? 1256 : 456);
    RawSensor s;
    ASSERT_TRUE(decode_raw_sensor(written(dir, "lin.dng", c), s).ok());
    ASSERT_EQ(s.width, 24);
    ASSERT_EQ(s.height, 22);
    EXPECT_EQ(s.filters, 0u);
    // Per-colour black levels (three BlackLevel values) are subtracted without lowering the
    // decoder's maximum: the values scale by 65535 / 4095.
    const uint16_t hi = uint16_t(1000 * 65535.0 / 4095), lo = uint16_t(200 * 65535.0 / 4095);
    EXPECT_EQ(hi, 16003);
    for (const auto& v : s.values) ASSERT_EQ(v, (std::array<uint16_t, 4>{hi, lo, lo, 0}));
}

TEST(RawDecoder, EveryMethodGivesSameSizeAndCameraFields) {
    test::TempDir dir;
    test::DngContent c = mosaic(856, 1456, 1216);  // grey under the white balance below
    c.neutral = {0.5, 1, 0.8};
    const std::string path = written(dir, "grey.dng", c);
    auto wb = test::make_workbench();
    for (int32_t option1 : {0, 1, 2, 3, 4, 7, -1}) {
        SCOPED_TRACE(option1);
        ImageRecord r;
        ASSERT_TRUE(develop_raw(*wb, path, r, option1, 0, 0).ok());
        EXPECT_EQ(r.width, 32);
        EXPECT_EQ(r.height, 32);
        ASSERT_EQ(r.red.size(), 32u * 32u);
        ASSERT_EQ(r.green.size(), 32u * 32u);
        ASSERT_EQ(r.blue.size(), 32u * 32u);
        EXPECT_EQ(r.name, path);
        EXPECT_EQ(r.camera_make, "Vora");
        EXPECT_EQ(r.camera_model, "Test Sensor");
        EXPECT_EQ(r.date_time, "2021:03:04 05:06:07");
        EXPECT_EQ(r.iso_speed, 800);
        EXPECT_EQ(r.exposure_time, pack_rational(10, 2500));
        EXPECT_EQ(r.f_number, pack_rational(56, 10));
        if (option1 == 0) continue;
        // The decoder's interpolation of a white-balanced grey field is grey and not black.
        for (std::size_t i = 0; i < r.red.size(); ++i) {
            ASSERT_GT(r.green[i], 1000);
            ASSERT_NEAR(r.red[i], r.green[i], 2);
            ASSERT_NEAR(r.blue[i], r.green[i], 2);
        }
    }
}

// The fast development works on the decoder's buffer in place; it must give what developing a
// copy of the same values gives, for mosaic and full-colour data.
TEST(RawDecoder, FastDevelopmentInPlaceEqualsDevelopingTheDecodedValues) {
    test::TempDir dir;
    test::DngContent varied = mosaic(0, 0, 0);
    varied.neutral = {0.5, 1, 0.8};
    test::DngContent linear = test::flat_dng(24, 22, 0, 3);
    uint32_t seed = 12345;
    for (test::DngContent* c : {&varied, &linear})
        for (uint16_t& v : c->values) {
            seed = seed * 1103515245u + 12345u;
            v = uint16_t(200 + (seed >> 16) % 3900);  // some below black (256)
        }
    auto wb = test::make_workbench();
    for (const auto& [name, content] : {std::pair{"v.dng", varied}, std::pair{"l.dng", linear}}) {
        SCOPED_TRACE(name);
        const std::string path = written(dir, name, content);
        ImageRecord in_place;
        ASSERT_TRUE(develop_raw(*wb, path, in_place, 0, 0, 0).ok());
        RawSensor sensor;
        ASSERT_TRUE(decode_raw_sensor(path, sensor).ok());
        ImageRecord copied;
        develop_fast(sensor, wb->settings.raw, 0, copied);
        EXPECT_EQ(in_place.red, copied.red);
        EXPECT_EQ(in_place.green, copied.green);
        EXPECT_EQ(in_place.blue, copied.blue);
    }
}

// The dark frame is subtracted from the values both methods develop, and those are the values
// decode_raw_sensor gives: a file's own sensor values as its dark frame leave nothing.
TEST(RawDecoder, RawDarkSubtractedBeforeEitherDevelopment) {
    test::TempDir dir;
    test::DngContent c = mosaic(856, 1456, 1216);
    c.neutral = {0.5, 1, 0.8};
    const std::string path = written(dir, "lit.dng", c);
    auto wb = test::make_workbench();
    RawSensor dark;
    ASSERT_TRUE(decode_raw_sensor(path, dark).ok());
    wb->dark.kind = kKindRaw;
    wb->dark.width = dark.width;
    wb->dark.height = dark.height;
    wb->dark.frame_count = 1;
    wb->dark.raw = dark;
    for (int32_t option1 : {0, 1, 4}) {
        SCOPED_TRACE(option1);
        ImageRecord r;
        ASSERT_TRUE(develop_raw(*wb, path, r, option1, kDefectZero, 0).ok());
        ASSERT_EQ(r.width, 32);
        for (int ch = 0; ch < 3; ++ch)
            for (uint16_t v : r.plane(ch)) ASSERT_EQ(v, 0);
    }
    // A dark frame of another size is not applied.
    const std::string other = written(dir, "other.dng", test::flat_dng(40, 32, 300));
    ImageRecord plain, with_dark;
    ASSERT_TRUE(develop_raw(*wb, other, with_dark, 1, kDefectZero, 0).ok());
    wb->dark = DarkFrames{};
    ASSERT_TRUE(develop_raw(*wb, other, plain, 1, kDefectZero, 0).ok());
    EXPECT_TRUE(test::same_record(plain, with_dark));
}

TEST(RawDecoder, DecoderRowsAreStoredUpsideDown) {
    test::TempDir dir;
    test::DngContent c = mosaic(1456, 1456, 1456);
    // The top eight rows dark: they must end up in the planes' last rows.
    for (std::size_t i = 0; i < std::size_t(8 * c.width); ++i) c.values[i] = 300;
    const std::string path = written(dir, "top.dng", c);
    auto wb = test::make_workbench();
    ImageRecord r;
    ASSERT_TRUE(develop_raw(*wb, path, r, 1, 0, 0).ok());
    EXPECT_LT(test::sample(r, 1, 16, 31), test::sample(r, 1, 16, 0) / 4);
}

TEST(RawDecoder, RegistryReaderUsesTheDevelopmentSettings) {
    test::TempDir dir;
    const std::string path = written(dir, "reg.DNG", mosaic(856, 1456, 1216));
    auto wb = test::make_workbench();
    wb->settings.raw.method = 1;
    wb->settings.raw.quality = 3;
    const ReadFn read = format_handlers(kKindRaw).read;
    ASSERT_NE(read, nullptr);
    ImageRecord r;
    ASSERT_TRUE(read(*wb, path, r).ok());
    EXPECT_EQ(r.width, 32);
    EXPECT_FALSE(format_handlers(kKindRaw).writable);
}

TEST(RawDecoder, BadFilesAreRefusedAndLeaveTheRecordAlone) {
    test::TempDir dir;
    const test::DngContent good = mosaic(1000, 1000, 1000);
    ASSERT_TRUE(test::write_dng(dir.file("good.dng"), good));
    const std::string bytes = test::read_file(dir.file("good.dng"));
    test::write_file(dir.file("truncated.dng"), bytes.substr(0, bytes.size() / 3));
    test::write_file(dir.file("header.dng"), bytes.substr(0, 200));
    test::write_file(dir.file("garbage.nef"), std::string(5000, '\x5a'));
    test::write_file(dir.file("empty.cr2"), "");
    ASSERT_TRUE(test::write_dng(dir.file("tiny.dng"), test::flat_dng(1, 1, 500)));
    test::DngContent zero_size = good;
    zero_size.width = 0;
    zero_size.values.clear();
    auto wb = test::make_workbench();
    for (const char* name :
         {"truncated.dng", "header.dng", "garbage.nef", "empty.cr2", "tiny.dng", "missing.dng"}) {
        SCOPED_TRACE(name);
        for (int32_t option1 : {0, 1, 4}) {
            ImageRecord r = test::occupied_record();
            const ReadResult result = develop_raw(*wb, dir.file(name), r, option1, 0, 0);
            // A cut file may still decode (the decoder fills what is missing); it must not crash.
            if (std::string(name) == "truncated.dng" && result.ok()) continue;
            EXPECT_TRUE(test::refused_untouched(result, r));
        }
        RawSensor s;
        const ReadResult result = decode_raw_sensor(dir.file(name), s);
        if (std::string(name) != "truncated.dng") {
            EXPECT_FALSE(result.ok());
        }
    }
    EXPECT_FALSE(test::write_dng(dir.file("zero.dng"), zero_size));
}

TEST(RawDecoder, DecodingPrintsNothing) {
    test::TempDir dir;
    const std::string bytes = [&] {
        test::write_dng(dir.file("g.dng"), mosaic(1000, 1000, 1000));
        return test::read_file(dir.file("g.dng"));
    }();
    test::write_file(dir.file("cut.dng"), bytes.substr(0, bytes.size() / 2));
    auto wb = test::make_workbench();
    const std::string printed = test::captured_output(dir, [&] {
        ImageRecord r;
        develop_raw(*wb, dir.file("cut.dng"), r, 1, 0, 0);
        develop_raw(*wb, dir.file("g.dng"), r, 4, 0, 0);
    });
    EXPECT_EQ(printed, "");
}

// Real camera files, when the shared samples are there.
TEST(RawDecoder, CameraSamples) {
    const std::string samples = test::shared_samples_dir();
    if (samples.empty()) GTEST_SKIP() << "shared samples folder ../shared/samples not found";
    struct Sample {
        const char* file;
        const char* make;
        const char* model;
        const char* date;
        int32_t iso;
        uint32_t exposure, f_number;
    };
    const Sample list[] = {
        {"RAW_NIKON_D1.NEF", "Nikon", "D1", "2000:11:19 13:01:50", 200, pack_rational(10, 2500),
         pack_rational(76, 10)},
        {"Canon_EOS_6D_ACR_lossy.dng", "Canon", "EOS 6D", "2019:06:06 07:29:51", 1000,
         pack_rational(10, 600), pack_rational(56, 10)},
        {"MagicLantern_Canon_EOS_Kiss_X4_colorchart.dng", "Canon", "EOS Kiss X4", nullptr, 0, 0, 0},
    };
    auto wb = test::make_workbench();
    int found = 0;
    for (const Sample& s : list) {
        const std::string path = samples + "/raw/" + s.file;
        if (!std::filesystem::exists(path)) continue;
        ++found;
        SCOPED_TRACE(s.file);
        ImageRecord fast, slow;
        ASSERT_TRUE(develop_raw(*wb, path, fast, 0, 0, 0).ok());
        ASSERT_TRUE(develop_raw(*wb, path, slow, 3, 0, 0).ok());
        EXPECT_EQ(fast.width, slow.width);
        EXPECT_EQ(fast.height, slow.height);
        EXPECT_EQ(fast.camera_make, s.make);
        EXPECT_EQ(fast.camera_model, s.model);
        EXPECT_EQ(slow.camera_model, s.model);
        if (s.date) {
            EXPECT_EQ(fast.date_time, s.date);
            EXPECT_EQ(fast.iso_speed, s.iso);
            EXPECT_EQ(fast.exposure_time, s.exposure);
            EXPECT_EQ(fast.f_number, s.f_number);
        }
        EXPECT_EQ(slow.date_time, fast.date_time);
        EXPECT_EQ(slow.exposure_time, fast.exposure_time);
    }
    if (found == 0) GTEST_SKIP() << "no camera RAW samples in " << samples << "/raw";
}

}  // namespace
}  // namespace vora
