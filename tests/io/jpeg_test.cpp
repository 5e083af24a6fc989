#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "io/exif.h"
#include "io/jpeg_io.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::matches_raw;
using test::occupied_record;
using test::pil_rgb8;
using test::python_with_pil;
using test::quoted;
using test::read_file;
using test::run_command;
using test::TempDir;

// ---- helpers ----

ReadResult decode(const std::string& file, ImageRecord& out) {
    return test::decode_bytes(decode_jpeg, file, out);
}

std::string encode(const ImageRecord& r, JpegHeader header) {
    std::vector<uint8_t> file;
    std::string why;
    EXPECT_TRUE(encode_jpeg(r, header, file, why)) << why;
    return std::string(file.begin(), file.end());
}

std::string jpeg_samples_dir() {
    const std::string dir = test::shared_samples_dir();
    return dir.empty() ? "" : dir + "/jpeg";
}

bool have_exiv2() {
    static const bool found = run_command("exiv2 --version >/dev/null 2>&1") == 0;
    return found;
}

// A picture of distinct, smoothly varying colours; sample values use all 16 bits.
ImageRecord colourful(int w, int h) {
    return make_image(w, h, [](int c, int x, int y) {
        const int v8 = c == 0   ? (x * 9 + y * 3) % 256
                       : c == 1 ? (y * 7 + 40) % 256
                                : (x + y) * 5 % 256;
        return v8 * 256 + (x * 31 + y) % 256;
    });
}

// ---- PIL ----

// Runs a Python script (PIL imported as Image) with arguments; false when it fails.
bool run_python(const TempDir& dir, const std::string& script, const std::string& args) {
    const std::string path = dir.file("script.py");
    test::write_file(path, "import sys\nfrom PIL import Image\n" + script);
    return run_command(python_with_pil() + " " + quoted(path) + " " + args + " 2>/dev/null") == 0;
}

// A one-line description of `path` as PIL sees it (format, mode, size and the script's
// extra output); empty when PIL could not open it.
std::string pil_describe(const std::string& path, const TempDir& dir, const std::string& extra) {
    const std::string out = dir.file("pil.txt");
    std::filesystem::remove(out);
    if (!run_python(dir,
                    "im = Image.open(sys.argv[1]); im.load()\n"
                    "s = '%s %s %dx%d' % (im.format, im.mode, im.size[0], im.size[1])\n" +
                        extra + "open(sys.argv[2], 'w').write(s)\n",
                    quoted(path) + " " + quoted(out)))
        return "";
    return read_file(out);
}

// A colourful picture saved by PIL as JPEG in `mode` with the given save() arguments.
bool pil_make_jpeg(const std::string& path, const TempDir& dir, int w, int h,
                   const std::string& mode, const std::string& save_args) {
    return run_python(dir,
                      "w, h = int(sys.argv[2]), int(sys.argv[3])\n"
                      "im = Image.new('RGB', (w, h))\n"
                      "im.putdata([((x * 53 + y * 17 + 11) % 256, (x * 29 + y * 91 + 40) % 256,"
                      " (x * 7 + y * 131 + 90) % 256) for y in range(h) for x in range(w)])\n"
                      "im.convert('" +
                          mode + "').save(sys.argv[1], 'JPEG', " + save_args + ")\n",
                      quoted(path) + " " + std::to_string(w) + " " + std::to_string(h));
}

// ---- exiv2 ----

struct Exiv2View {
    int status = -1;
    std::map<std::string, std::string> values;  // key → value as exiv2 prints it
    std::string messages;                       // what it wrote on its error stream
};

Exiv2View exiv2_view(const std::string& path, const TempDir& dir) {
    const std::string out = dir.file("exiv2.txt"), err = dir.file("exiv2.err");
    Exiv2View v;
    v.status =
        run_command("exiv2 -Pkv " + quoted(path) + " > " + quoted(out) + " 2> " + quoted(err));
    v.messages = read_file(err);
    std::istringstream lines(read_file(out));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t key_end = line.find(' ');
        if (key_end == std::string::npos) continue;
        const std::size_t value_at = line.find_first_not_of(' ', key_end);
        v.values[line.substr(0, key_end)] =
            value_at == std::string::npos ? "" : line.substr(value_at);
    }
    return v;
}

std::string rational_text(uint32_t packed) {
    return std::to_string(packed >> 16) + "/" + std::to_string(packed & 0xFFFF);
}

// The six camera fields exiv2 shows for `path` must be the record's (absent tags: empty
// texts and zero values).
void expect_exiv2_fields(const Exiv2View& v, const ImageRecord& r, const std::string& what) {
    const auto get = [&](const char* key) {
        const auto it = v.values.find(key);
        return it == v.values.end() ? std::string("(absent)") : it->second;
    };
    EXPECT_EQ(get("Exif.Image.Make"), r.camera_make) << what;
    EXPECT_EQ(get("Exif.Image.Model"), r.camera_model) << what;
    EXPECT_EQ(get("Exif.Image.DateTime"), r.date_time) << what;
    if (r.exposure_time != 0) {
        EXPECT_EQ(get("Exif.Photo.ExposureTime"), rational_text(r.exposure_time)) << what;
    }
    if (r.f_number != 0) {
        EXPECT_EQ(get("Exif.Photo.FNumber"), rational_text(r.f_number)) << what;
    }
    const std::string iso = get("Exif.Photo.ISOSpeedRatings");
    if (r.iso_speed != 0) {
        EXPECT_EQ(iso, std::to_string(r.iso_speed)) << what;
    } else {
        EXPECT_TRUE(iso == "(absent)" || iso == "0") << what << ": ISO " << iso;
    }
}

// ---- the camera samples ----

struct SampleFacts {
    const char* file;
    int width, height;
    const char* make;
    const char* model;
    const char* date;  // tag 306 (DateTime), not DateTimeOriginal
    uint32_t exposure, f_number;
    int32_t iso;
    std::size_t block_length;  // end of the last Exif APP1 (plus a directly following APP1)
};

// From SOURCES.txt and the segment lists and tag values exiv2 shows (exiv2 -pS, -pv).
const SampleFacts kSamples[] = {
    {"exiforg_canon-ixus.jpg", 640, 480, "Canon", "Canon DIGITAL IXUS", "2001:06:09 15:17:32",
     pack_rational(1, 350), pack_rational(40, 10), 0 /* no tag 34855 in the Exif IFD */,
     2 + 2 + 7166},
    {"exiforg_nikon-e950.jpg", 800, 600, "NIKON", "E950", "2001:04:06 11:51:40",
     pack_rational(10, 770), pack_rational(55, 10), 80, 20 + 2 + 7237 /* after JFIF APP0 */},
    {"exiforg_fujifilm-finepix40i_MM.jpg", 600, 450, "FUJIFILM", "FinePix40i",
     "2000:08:04 18:22:57", 0 /* no ExposureTime */, pack_rational(280, 100), 200, 2 + 2 + 9773},
    {"Konica_Minolta_DiMAGE_Z3_MM.jpg", 70, 100, "KONICA MINOLTA ", "DiMAGE Z3",
     "2008:07:31 16:45:37", pack_rational(1, 40), pack_rational(28, 10), 200, 20 + 2 + 35622},
    {"Pentax_K10D.jpg", 100, 72, "PENTAX Corporation ", "PENTAX K10D        ",
     "2008:07:31 15:56:49", pack_rational(1, 180), pack_rational(110, 10), 200,
     2151 + 2 + 4884 /* Exif APP1 and the XMP APP1 right after it */},
};

// The camera fields and Exif block as worked out from the files, and as exiv2 shows them.
TEST(JpegSamples, CameraFieldsAndExifBlock) {
    const std::string dir = jpeg_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder not present";
    TempDir tmp;
    for (const SampleFacts& s : kSamples) {
        const std::string path = dir + "/" + s.file;
        ImageRecord r;
        const ReadResult res = read_jpeg(path, r);
        ASSERT_TRUE(res.ok()) << s.file << ": " << res.detail;
        EXPECT_EQ(r.name, path);
        EXPECT_EQ(r.width, s.width) << s.file;
        EXPECT_EQ(r.height, s.height) << s.file;
        EXPECT_EQ(r.camera_make, s.make) << s.file;
        EXPECT_EQ(r.camera_model, s.model) << s.file;
        EXPECT_EQ(r.date_time, s.date) << s.file;
        EXPECT_EQ(r.exposure_time, s.exposure) << s.file;
        EXPECT_EQ(r.f_number, s.f_number) << s.file;
        EXPECT_EQ(r.iso_speed, s.iso) << s.file;
        const std::string file = read_file(path);
        EXPECT_EQ(std::string(r.exif_block.begin(), r.exif_block.end()),
                  file.substr(0, s.block_length))
            << s.file;
        if (have_exiv2()) expect_exiv2_fields(exiv2_view(path, tmp), r, s.file);
    }
}

TEST(JpegSamples, PixelsMatchPil) {
    const std::string dir = jpeg_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder not present";
    if (python_with_pil().empty()) GTEST_SKIP() << "Python with PIL not installed";
    TempDir tmp;
    std::vector<std::string> paths;
    for (const SampleFacts& s : kSamples) paths.push_back(dir + "/" + s.file);
    const std::vector<std::string> want = pil_rgb8(paths, tmp);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ImageRecord r;
        ASSERT_TRUE(read_jpeg(paths[i], r).ok()) << paths[i];
        EXPECT_TRUE(matches_raw(r, want[i])) << paths[i];
    }
}

// ---- reading files made by PIL ----

TEST(JpegReader, DecodesLikePil) {
    if (python_with_pil().empty()) GTEST_SKIP() << "Python with PIL not installed";
    TempDir tmp;
    struct Case {
        const char* what;
        const char* mode;
        const char* save_args;
        int w, h;
    };
    const Case cases[] = {
        {"grey", "L", "quality=90", 33, 17},
        {"colour 4:2:0, odd size", "RGB", "quality=75", 37, 23},
        {"colour 4:4:4", "RGB", "quality=95, subsampling=0", 16, 16},
        {"colour 4:2:2", "RGB", "quality=80, subsampling=1", 41, 9},
        {"progressive", "RGB", "quality=85, progressive=True", 50, 30},
        {"optimised Huffman tables", "RGB", "quality=60, optimize=True", 20, 64},
        {"one pixel", "RGB", "quality=75", 1, 1},
    };
    for (const Case& c : cases) {
        const std::string path = tmp.file("pil.jpg");
        ASSERT_TRUE(pil_make_jpeg(path, tmp, c.w, c.h, c.mode, c.save_args)) << c.what;
        ImageRecord r;
        const ReadResult res = read_jpeg(path, r);
        ASSERT_TRUE(res.ok()) << c.what << ": " << res.detail;
        EXPECT_EQ(r.width, c.w) << c.what;
        EXPECT_EQ(r.height, c.h) << c.what;
        EXPECT_TRUE(matches_raw(r, pil_rgb8(path, tmp))) << c.what;
        EXPECT_TRUE(r.exif_block.empty()) << c.what;
        if (std::string(c.mode) == "L") {
            EXPECT_EQ(r.red, r.green) << c.what;
            EXPECT_EQ(r.red, r.blue) << c.what;
        }
    }
}

TEST(JpegReader, RefusesCmyk) {
    if (python_with_pil().empty()) GTEST_SKIP() << "Python with PIL not installed";
    TempDir tmp;
    const std::string path = tmp.file("cmyk.jpg");
    ASSERT_TRUE(pil_make_jpeg(path, tmp, 8, 8, "CMYK", "quality=75"));
    ImageRecord r = occupied_record();
    const ReadResult res = read_jpeg(path, r);
    EXPECT_EQ(res.status, ReadStatus::unsupported) << res.detail;
    EXPECT_TRUE(test::same_record(r, occupied_record()));
}

TEST(JpegReader, FileWithoutExifClearsTheCameraFields) {
    const std::string file = encode(colourful(8, 8), JpegHeader::jfif);
    ImageRecord r = occupied_record();
    ASSERT_TRUE(decode(file, r).ok());
    EXPECT_EQ(r.width, 8);
    EXPECT_EQ(r.name, "earlier.img") << "the decoder leaves the name to read_jpeg";
    EXPECT_TRUE(r.exif_block.empty());
    EXPECT_EQ(r.camera_make + r.camera_model + r.date_time, "");
    EXPECT_EQ(r.exposure_time, 0u);
    EXPECT_EQ(r.f_number, 0u);
    EXPECT_EQ(r.iso_speed, 0);
    // read_jpeg names the record; a missing file leaves it alone.
    EXPECT_TRUE(test::read_saved(read_jpeg, file, true).exif_block.empty());
}

// ---- refusing damaged files ----

TEST(JpegReader, EveryTruncationIsRefused) {
    ImageRecord camera = colourful(24, 16);
    camera.camera_make = "Maker";
    for (const JpegHeader header : {JpegHeader::jfif, JpegHeader::exif})
        test::expect_prefixes_handled(decode_jpeg, encode(camera, header));
    const std::string dir = jpeg_samples_dir();
    if (!dir.empty())  // a camera's file, every 37th length
        test::expect_prefixes_handled(decode_jpeg, read_file(dir + "/Pentax_K10D.jpg"), false, 37);
}

// The byte offset just after the first marker `m` (FF m) of our own files, which have no
// stray FF bytes before their scan.
std::size_t after_marker(const std::string& file, uint8_t m) {
    const std::size_t at = file.find(std::string{char(0xFF), char(m)});
    EXPECT_NE(at, std::string::npos);
    return at + 2;
}

TEST(JpegReader, RefusesDamagedFiles) {
    const std::string good = encode(colourful(32, 32), JpegHeader::exif);
    const std::size_t sof = after_marker(good, 0xC0);  // length, precision, height, width
    const std::size_t sos = after_marker(good, 0xDA);
    const std::size_t scan = sos + std::size_t(uint8_t(good[sos]) << 8 | uint8_t(good[sos + 1]));
    const std::size_t eoi = good.size() - 2;

    std::string garbage;
    uint32_t state = 12345;
    for (int i = 0; i < 600; ++i) {
        state = state * 1103515245u + 12345u;
        garbage += char(state >> 24);
    }
    std::string huge = good;
    huge.replace(sof + 3, 4, test::be16(60000) + test::be16(60000));
    std::string zero_width = good;
    zero_width.replace(sof + 5, 2, test::be16(0));
    std::string bad_huffman = good;  // stuffed FF 00 pairs: a stream of one bits
    for (std::size_t i = scan; i + 1 < eoi; i += 2) {
        bad_huffman[i] = char(0xFF);
        bad_huffman[i + 1] = 0;
    }
    std::string lossless = good;  // same frame, marked as lossless coding
    lossless[sof - 1] = char(0xC3);
    std::string two_components = good;  // the frame claims 2 components
    two_components[sof + 7] = 2;

    using Case = test::RefusedFile;
    const Case cases[] = {
        {"empty", "", ReadStatus::not_this_format},
        {"a PNG signature", "\x89PNG\r\n\x1a\n", ReadStatus::not_this_format},
        {"only SOI", "\xFF\xD8", ReadStatus::corrupt},
        {"SOI and a marker byte", "\xFF\xD8\xFF", ReadStatus::corrupt},
        {"garbage after SOI", "\xFF\xD8" + garbage, ReadStatus::corrupt},
        {"garbage after SOI and FF", "\xFF\xD8\xFF" + garbage, ReadStatus::corrupt},
        {"garbage after the headers", good.substr(0, scan) + garbage, ReadStatus::corrupt},
        {"bad Huffman codes", bad_huffman, ReadStatus::corrupt},
        {"EOI right after the scan header", good.substr(0, scan) + "\xFF\xD9", ReadStatus::corrupt},
        {"no EOI, garbage instead", good.substr(0, eoi) + garbage, ReadStatus::corrupt},
        {"60000 x 60000 in a small file", huge, ReadStatus::corrupt},
        {"width 0", zero_width, ReadStatus::corrupt},
        {"component count not matching the frame", two_components, ReadStatus::corrupt},
        {"lossless coding", lossless, ReadStatus::unsupported},
    };
    test::expect_refused(cases, decode);
}

// ---- writing ----

// Standard quantisation tables (JPEG Annex K), row by row; quality 75 halves them.
constexpr std::array<int, 64> kLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<int, 64> kChrominance = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

std::string halved(const std::array<int, 64>& t) {
    std::string s;
    for (int v : t) s += std::to_string((v * 50 + 50) / 100) + ",";
    return s;
}

TEST(JpegWriter, JfifFileAsPilSeesIt) {
    if (python_with_pil().empty()) GTEST_SKIP() << "Python with PIL not installed";
    TempDir tmp;
    // Smooth gradients, which JPEG keeps well.
    const ImageRecord picture = make_image(40, 30, [](int c, int x, int y) {
        return (c == 0 ? x * 6 : c == 1 ? y * 8 : (x + y) * 3) * 256 + 0xFF;
    });
    const std::string path = tmp.file("out.jpg");
    ASSERT_TRUE(write_jpeg(path, picture, JpegHeader::jfif).ok());
    const std::string file = read_file(path);
    EXPECT_EQ(file.substr(0, 11), std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\0", 11));
    EXPECT_EQ(pil_describe(path, tmp,
                           "s += ' ' + ''.join('%d,' % v for v in im.quantization[0])\n"
                           "s += ' ' + ''.join('%d,' % v for v in im.quantization[1])\n"),
              "JPEG RGB 40x30 " + halved(kLuminance) + " " + halved(kChrominance));

    // Both decoders agree exactly on our file, and it is close to the picture.
    const std::string rgb = pil_rgb8(path, tmp);
    ImageRecord back;
    ASSERT_TRUE(read_jpeg(path, back).ok());
    EXPECT_TRUE(matches_raw(back, rgb));
    double error = 0;
    for (int c = 0; c < 3; ++c)
        for (std::size_t i = 0; i < back.sample_count(); ++i)
            error += std::abs(int(back.plane(c)[i] >> 8) - int(picture.plane(c)[i] >> 8));
    EXPECT_LT(error / double(3 * back.sample_count()), 3.0) << "mean error in 8-bit levels";
}

TEST(JpegWriter, TopRowAndHighBytes) {
    if (python_with_pil().empty()) GTEST_SKIP() << "Python with PIL not installed";
    TempDir tmp;
    // Flat grey blocks survive the quantisation exactly. Plane rows 8..15 (the top of the
    // picture) hold 0x12FF, rows 0..7 hold 0xC880: the file gets 0x12 and 0xC8, not rounded.
    const ImageRecord picture =
        make_image(16, 16, [](int, int, int y) { return y >= 8 ? 0x12FF : 0xC880; });
    const std::string path = tmp.file("grey.jpg");
    ASSERT_TRUE(write_jpeg(path, picture, JpegHeader::jfif).ok());
    const std::string rgb = pil_rgb8(path, tmp);
    ASSERT_EQ(rgb.size(), 16u * 16u * 3u);
    EXPECT_EQ(uint8_t(rgb[0]), 0x12) << "top row first in the file";
    EXPECT_EQ(uint8_t(rgb[rgb.size() - 1]), 0xC8);
    EXPECT_EQ(rgb, std::string(8 * 16 * 3, char(0x12)) + std::string(8 * 16 * 3, char(0xC8)));
}

// Checks a file we wrote with an Exif header from the point of view of PIL and exiv2.
void expect_readable_by_others(const std::string& path, const ImageRecord& fields,
                               const std::string& exiv2_messages, const TempDir& tmp,
                               const std::string& what) {
    ImageRecord back;
    ASSERT_TRUE(read_jpeg(path, back).ok()) << what;
    if (!python_with_pil().empty()) {
        EXPECT_EQ(pil_describe(path, tmp, ""),
                  "JPEG RGB " + std::to_string(back.width) + "x" + std::to_string(back.height))
            << what;
        EXPECT_TRUE(matches_raw(back, pil_rgb8(path, tmp))) << what;
    }
    if (have_exiv2()) {
        const Exiv2View v = exiv2_view(path, tmp);
        EXPECT_EQ(v.status, 0) << what;
        EXPECT_EQ(v.messages, exiv2_messages) << what;
        expect_exiv2_fields(v, fields, what);
    }
}

TEST(JpegWriter, PictureWithoutExifGetsTheTemplate) {
    TempDir tmp;
    const ImageRecord picture = colourful(20, 12);  // as read from a BMP: no block, no fields
    const std::string path = tmp.file("bmp.jpg");
    ASSERT_TRUE(write_jpeg(path, picture, JpegHeader::exif).ok());
    const std::string file = read_file(path);
    const std::vector<uint8_t> t = exif::build_template({});
    ASSERT_GT(file.size(), 790u);
    EXPECT_EQ(file.substr(0, 768), std::string(t.begin(), t.end()));
    EXPECT_EQ(file.substr(768, 16), std::string("\xFF\xE1\x00\x0E", 4) + std::string(12, '\0'));
    EXPECT_EQ(file.substr(784, 2), "\xFF\xDB") << "our tables follow, no second SOI or APP0";
    EXPECT_EQ(file.find("JFIF"), std::string::npos);
    // Empty Make and Model (count 1), zero exposure and f-number.
    EXPECT_EQ(file.substr(12 + 8 + 2 + 4, 8), std::string("\x01\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(file.substr(12 + 566, 16), std::string(16, '\0'));
    expect_readable_by_others(path, picture, "", tmp, "template without fields");
}

TEST(JpegWriter, TemplateCarriesTheCameraFields) {
    TempDir tmp;
    struct Case {
        const char* what;
        ImageRecord fields;
        std::string make, model, date;  // as other programs should see them
    };
    ImageRecord plain = colourful(16, 16);
    plain.camera_make = "Canon";
    plain.camera_model = "Canon EOS 6D";
    plain.date_time = "2023:01:02 03:04:05";
    plain.exposure_time = pack_rational(1, 250);
    plain.f_number = pack_rational(28, 10);
    plain.iso_speed = 1600;
    ImageRecord long_texts = plain;
    long_texts.camera_make = "Maker with a name of forty characters!!!";
    long_texts.camera_model = "A model name of 31 characters..";
    long_texts.date_time = "2023:01:02 03:04:05.123";
    ImageRecord short_texts = plain;
    short_texts.camera_make = "Abc";
    short_texts.camera_model = "";
    const Case cases[] = {
        {"fields that fit", plain, "Canon", "Canon EOS 6D", "2023:01:02 03:04:05"},
        {"texts longer than their slots", long_texts, "Maker with a name of ", "A model name of",
         "2023:01:02 03:04:05"},
        {"texts short enough to go inline", short_texts, "Abc", "", "2023:01:02 03:04:05"},
    };
    for (const Case& c : cases) {
        const std::string path = tmp.file("fields.jpg");
        ASSERT_TRUE(write_jpeg(path, c.fields, JpegHeader::exif).ok()) << c.what;
        ImageRecord seen = c.fields;
        seen.camera_make = c.make;
        seen.camera_model = c.model;
        seen.date_time = c.date;
        expect_readable_by_others(path, seen, "", tmp, c.what);
        ImageRecord back;
        ASSERT_TRUE(read_jpeg(path, back).ok());
        EXPECT_EQ(back.camera_make, c.make) << c.what;
        EXPECT_EQ(back.camera_model, c.model) << c.what;
        EXPECT_EQ(back.date_time, c.date) << c.what;
        EXPECT_EQ(back.exposure_time, c.fields.exposure_time) << c.what;
        EXPECT_EQ(back.f_number, c.fields.f_number) << c.what;
        EXPECT_EQ(back.iso_speed, c.fields.iso_speed) << c.what;
        EXPECT_EQ(back.exif_block.size(), 768u + 16u) << c.what;
    }
}

TEST(JpegWriter, CameraJpegKeepsItsExifSegments) {
    const std::string dir = jpeg_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder not present";
    TempDir tmp;
    for (const SampleFacts& s : kSamples) {
        const std::string source = dir + "/" + s.file;
        ImageRecord r;
        ASSERT_TRUE(read_jpeg(source, r).ok()) << s.file;
        const std::string path = tmp.file("kept.jpg");
        ASSERT_TRUE(write_jpeg(path, r, JpegHeader::exif).ok()) << s.file;
        const std::string file = read_file(path);
        EXPECT_EQ(file.substr(0, s.block_length), read_file(source).substr(0, s.block_length))
            << s.file;
        EXPECT_EQ(file.substr(s.block_length, 2), "\xFF\xDB") << s.file << ": our tables next";
        EXPECT_EQ(file.find("\xFF\xD8", s.block_length), std::string::npos)
            << s.file << ": no second SOI after the block";
        // exiv2 says about the kept segments exactly what it says about the camera's file.
        const std::string messages = have_exiv2() ? exiv2_view(source, tmp).messages : "";
        expect_readable_by_others(path, r, messages, tmp, s.file);
        ImageRecord back;
        ASSERT_TRUE(read_jpeg(path, back).ok());
        EXPECT_EQ(back.exif_block, r.exif_block) << s.file;
    }
}

TEST(JpegWriter, UnsoundExifBlockIsReplacedByTheTemplate) {
    ImageRecord r = colourful(8, 8);
    r.camera_make = "Kept";
    const std::vector<std::vector<uint8_t>> blocks = {
        {0xFF, 0xD8, 0x00, 0x01},                        // not segments
        {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x02},            // a table segment
        {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x04, 'X', 'Y'},  // an APP1 that is not Exif
    };
    const std::vector<uint8_t> t = exif::build_template(exif::fields_of(r));
    for (const auto& block : blocks) {
        r.exif_block = block;
        const std::string file = encode(r, JpegHeader::exif);
        EXPECT_EQ(file.substr(0, 768), std::string(t.begin(), t.end()));
    }
}

TEST(JpegWriter, FailuresLeaveTheTargetAlone) {
    const ImageRecord too_wide = make_image(65501, 1, [](int, int, int) { return 0; });
    for (const JpegHeader header : {JpegHeader::jfif, JpegHeader::exif})
        test::expect_writes_refused(
            [&](const std::string& path, const ImageRecord& r) {
                return write_jpeg(path, r, header);
            },
            colourful(4, 4), {{"wider than JPEG allows", too_wide}});
}

}  // namespace
}  // namespace vora
