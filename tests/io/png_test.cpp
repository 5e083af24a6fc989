#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "io/png_io.h"
#include "test_support.h"

namespace vora {
namespace {

using test::be32;
using test::make_image;
using test::python_with_pil;
using test::read_file;
using test::run_command;
using test::sample;
using test::TempDir;
using test::write_file;

using Rgb = std::array<uint32_t, 3>;  // record samples, 16-bit
using Samples = std::vector<uint32_t>;

// ---- building PNG files by hand ----

enum Colour { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

int channels(int colour) {
    return colour == kRgb ? 3 : colour == kGreyAlpha ? 2 : colour == kRgba ? 4 : 1;
}

std::string chunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    return be32(uint32_t(data.size())) + body + be32(uint32_t(crc));
}

std::string gama(uint32_t gamma) {
    return chunk("gAMA", be32(gamma));
}

std::string plte(const std::vector<Rgb>& colours) {
    std::string s;
    for (const Rgb& c : colours) s += {char(c[0]), char(c[1]), char(c[2])};
    return chunk("PLTE", s);
}

std::string trns(const std::vector<int>& alphas) {
    std::string s;
    for (int a : alphas) s += char(a);
    return chunk("tRNS", s);
}

std::string zlib_compress(const std::string& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()), 9);
    out.resize(size);
    return out;
}

// One file row: filter type 0, samples packed most significant bits first, 16-bit big-endian.
std::string pack_row(const Samples& samples, int depth) {
    std::string s(1, '\0');
    if (depth == 16) {
        for (uint32_t v : samples) s += {char(v >> 8), char(v & 0xFF)};
        return s;
    }
    const int per_byte = 8 / depth;
    for (std::size_t i = 0; i < samples.size(); i += std::size_t(per_byte)) {
        uint32_t byte = 0;
        for (int k = 0; k < per_byte; ++k) {
            const uint32_t v =
                i + std::size_t(k) < samples.size() ? samples[i + std::size_t(k)] : 0;
            byte |= v << (8 - depth * (k + 1));
        }
        s += char(byte);
    }
    return s;
}

struct PngParts {
    uint32_t width = 0;
    uint32_t height = 0;
    int depth = 8;
    int colour = kGrey;
    std::string extra{};          // chunks between IHDR and IDAT
    std::vector<Samples> rows{};  // file order, top row first
};

std::string ihdr(uint32_t width, uint32_t height, int depth, int colour) {
    return chunk("IHDR",
                 be32(width) + be32(height) + std::string{char(depth), char(colour), 0, 0, 0});
}

const std::string kSignature = "\x89PNG\r\n\x1a\n";

std::string build(const PngParts& p) {
    std::string raw;
    for (const Samples& row : p.rows) raw += pack_row(row, p.depth);
    return kSignature + ihdr(p.width, p.height, p.depth, p.colour) + p.extra +
           chunk("IDAT", zlib_compress(raw)) + chunk("IEND", "");
}

ReadResult decode(const std::string& bytes, ImageRecord& out) {
    return test::decode_bytes(decode_png, bytes, out);
}

// The pixel at column x of file row `row` (counted from the top).
Rgb pixel(const ImageRecord& r, int x, int row) {
    const int y = r.height - 1 - row;
    return {sample(r, 0, x, y), sample(r, 1, x, y), sample(r, 2, x, y)};
}

Rgb grey(uint32_t v) {
    return {v, v, v};
}

struct Case {
    const char* name;
    int depth;
    int colour;
    std::vector<Samples> rows;
    std::vector<std::vector<Rgb>> expected;  // record samples per pixel, file order
    std::string extra = "";
};

void check_case(const Case& c) {
    SCOPED_TRACE(c.name);
    const int w = int(c.expected[0].size()), h = int(c.expected.size());
    ImageRecord r;
    const ReadResult result =
        decode(build({uint32_t(w), uint32_t(h), c.depth, c.colour, c.extra, c.rows}), r);
    ASSERT_TRUE(result.ok()) << result.detail;
    ASSERT_EQ(r.width, w);
    ASSERT_EQ(r.height, h);
    for (int row = 0; row < r.height; ++row)
        for (int x = 0; x < r.width; ++x)
            EXPECT_EQ(pixel(r, x, row), c.expected[std::size_t(row)][std::size_t(x)])
                << "x " << x << " file row " << row;
}

// ---- reading: every colour type and depth, values worked out by hand ----

TEST(PngReader, DecodesEveryColourTypeAndDepth) {
    const uint32_t k = 256;  // 8-bit values are kept as value × 256
    const std::vector<Case> cases = {
        {"grey 1-bit", 1, kGrey, {{0, 1, 1}, {1, 0, 0}},
         {{grey(0), grey(255 * k), grey(255 * k)}, {grey(255 * k), grey(0), grey(0)}}},
        {"grey 2-bit", 2, kGrey, {{0, 1, 2, 3}},
         {{grey(0), grey(85 * k), grey(170 * k), grey(255 * k)}}},
        {"grey 4-bit", 4, kGrey, {{0, 5, 15}, {1, 2, 3}},
         {{grey(0), grey(85 * k), grey(255 * k)}, {grey(17 * k), grey(34 * k), grey(51 * k)}}},
        {"grey 8-bit", 8, kGrey, {{0, 1, 200}, {255, 7, 8}},
         {{grey(0), grey(k), grey(200 * k)}, {grey(255 * k), grey(7 * k), grey(8 * k)}}},
        {"grey 16-bit kept at full depth", 16, kGrey, {{0, 1, 0x1234, 65535}},
         {{grey(0), grey(1), grey(0x1234), grey(65535)}}},
        // Alpha: round(c × a / 255), opaque copies, transparent is black.
        {"grey+alpha 8-bit over black", 8, kGreyAlpha, {{200, 255, 200, 0, 200, 128, 255, 1}},
         {{grey(200 * k), grey(0), grey(100 * k), grey(1 * k)}}},
        {"grey+alpha 16-bit over black", 16, kGreyAlpha,
         {{40000, 65535, 40000, 0, 40000, 32768, 65535, 1}},
         {{grey(40000), grey(0), grey(20000), grey(1)}}},
        {"RGB 8-bit", 8, kRgb, {{1, 2, 3, 255, 0, 128}, {9, 8, 7, 6, 5, 4}},
         {{{k, 2 * k, 3 * k}, {255 * k, 0, 128 * k}},
          {{9 * k, 8 * k, 7 * k}, {6 * k, 5 * k, 4 * k}}}},
        {"RGB 16-bit kept at full depth", 16, kRgb, {{0x0102, 0xFFFE, 0x8000, 0, 1, 2}},
         {{{0x0102, 0xFFFE, 0x8000}, {0, 1, 2}}}},
        // 128 × 51 / 255 = 25.6 and 10 × 51 / 255 = 2.0 round to 26 and 2.
        {"RGBA 8-bit over black", 8, kRgba, {{255, 128, 10, 51, 9, 8, 7, 255, 9, 8, 7, 0}},
         {{{51 * k, 26 * k, 2 * k}, {9 * k, 8 * k, 7 * k}, {0, 0, 0}}}},
        // 1000 × 32768 / 65535 = 500.008 and 3 × 32768 / 65535 = 1.50002.
        {"RGBA 16-bit over black", 16, kRgba, {{65535, 1000, 3, 32768, 5, 6, 7, 65535}},
         {{{32768, 500, 2}, {5, 6, 7}}}},
        {"palette 8-bit, tRNS ignored", 8, kPalette, {{0, 1, 2, 1}},
         {{{10 * k, 20 * k, 30 * k}, {200 * k, 100 * k, 0}, {k, 2 * k, 3 * k},
           {200 * k, 100 * k, 0}}},
         plte({{10, 20, 30}, {200, 100, 0}, {1, 2, 3}}) + trns({0, 128})},
        {"palette 1-bit", 1, kPalette, {{0, 1, 1}, {1, 0, 1}},
         {{{255 * k, 0, 0}, {0, 0, 255 * k}, {0, 0, 255 * k}},
          {{0, 0, 255 * k}, {255 * k, 0, 0}, {0, 0, 255 * k}}},
         plte({{255, 0, 0}, {0, 0, 255}})},
        {"palette 4-bit", 4, kPalette, {{15, 3, 0}},
         {{{150 * k, 15 * k, 1 * k}, {30 * k, 3 * k, 1 * k}, {0, 0, 1 * k}}},
         plte([] {
             std::vector<Rgb> p;
             for (uint32_t i = 0; i < 16; ++i) p.push_back({10 * i, i, 1});
             return p;
         }())},
        // libpng only warns about such indices.
        {"palette index past the table is black", 8, kPalette, {{1, 5}},
         {{{4 * k, 5 * k, 6 * k}, {0, 0, 0}}}, plte({{1, 2, 3}, {4, 5, 6}})},
    };
    for (const Case& c : cases) check_case(c);
}

// Screen gamma 2.2: exponent 1 / (file gamma × 2.2) as libpng rounds it (0.45455 for a file
// gamma of 1.0), result round(max × (v / max)^exponent); corrections within 5 % are skipped.
TEST(PngReader, GammaChunkCorrectsColoursForAScreenGammaOf22) {
    const uint32_t k = 256;
    const std::vector<Case> cases = {
        // 255 × (128/255)^0.45455 = 186.4; 64 → 135.9; 200 → 228.2; 1 → 20.8.
        {"8-bit, file gamma 1.0", 8, kGrey, {{0, 1, 64, 128, 200, 255}},
         {{grey(0), grey(21 * k), grey(136 * k), grey(186 * k), grey(228 * k), grey(255 * k)}},
         gama(100000)},
        {"8-bit, file gamma 1/2.2 needs no correction", 8, kGrey, {{1, 128}},
         {{grey(1 * k), grey(128 * k)}}, gama(45455)},
        // exponent 0.90909: 128 → 135.9, 200 → 204.0
        {"8-bit, file gamma 0.5", 8, kGrey, {{128, 200}}, {{grey(136 * k), grey(204 * k)}},
         gama(50000)},
        // 65535 × (32768/65535)^0.45455 = 47824.4; 256 → 5270.2; 1 → 424.0
        {"16-bit at 16-bit precision", 16, kGrey, {{0, 1, 256, 32768, 65534, 65535}},
         {{grey(0), grey(424), grey(5270), grey(47824), grey(65535), grey(65535)}},
         gama(100000)},
        // 1/3 of full scale: 255 × (85/255)^0.45455 = 154.8
        {"2-bit expanded before correction", 2, kGrey, {{1}}, {{grey(155 * k)}}, gama(100000)},
        {"palette entries corrected", 8, kPalette, {{0}}, {{{186 * k, 136 * k, 228 * k}}},
         gama(100000) + plte({{128, 64, 200}})},
        // colour 128 → 186 first, then 186 × 128 / 255 = 93.4; alpha itself is not corrected
        {"alpha composited after correction", 8, kRgba, {{128, 128, 128, 128}},
         {{{93 * k, 93 * k, 93 * k}}}, gama(100000)},
    };
    for (const Case& c : cases) check_case(c);
}

// ---- libpng's own gamma correction as the reference for 8-bit files ----

struct LibpngInput {
    const std::string* bytes;
    std::size_t pos;
};

void libpng_read(png_structp png, png_bytep dst, png_size_t n) {
    auto* in = static_cast<LibpngInput*>(png_get_io_ptr(png));
    std::memcpy(dst, in->bytes->data() + in->pos, n);
    in->pos += n;
}

// Decodes a one-row 8-bit grey file with png_set_gamma(png, 2.2, file gamma).
bool libpng_gamma_row(const std::string& file, double file_gamma, std::vector<uint8_t>& row) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    LibpngInput in{&file, 0};
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &in, libpng_read);
        png_read_info(png, info);
        png_set_gamma(png, 2.2, file_gamma);
        png_read_update_info(png, info);
        row.resize(png_get_rowbytes(png, info));
        png_read_row(png, row.data(), nullptr);
        ok = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return ok;
}

TEST(PngReader, EightBitGammaMatchesLibpngsOwnCorrection) {
    Samples all(256);
    for (uint32_t v = 0; v < 256; ++v) all[v] = v;
    for (uint32_t g : {100000u, 80000u, 50000u, 45455u, 43000u, 30000u, 220000u}) {
        SCOPED_TRACE(g);
        const std::string file =
            build({.width = 256, .height = 1, .extra = gama(g), .rows = {all}});
        std::vector<uint8_t> reference;
        ASSERT_TRUE(libpng_gamma_row(file, g / 100000.0, reference));
        ImageRecord r;
        ASSERT_TRUE(decode(file, r).ok());
        for (int x = 0; x < 256; ++x)
            EXPECT_EQ(pixel(r, x, 0)[0], reference[std::size_t(x)] * 256u) << x;
    }
}

TEST(PngReader, SetsNameSizeAndPlanesOnly) {
    const PngParts p{.width = 3, .height = 2, .colour = kRgb,
                     .rows = {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {9, 8, 7, 6, 5, 4, 3, 2, 1}}};
    const ImageRecord r = test::read_saved(read_png, build(p));
    EXPECT_EQ(pixel(r, 2, 1), (Rgb{3 * 256, 2 * 256, 1 * 256}));
    EXPECT_EQ(r.red.size(), 6u);
}

// ---- reading files other programs made ----

// Decodes a PNG's raw samples without libpng (Python's zlib), interlaced or not:
// "width height depth colour gamma", "entries r g b ...", then one line of samples per row.
const char* kRawDecoder = R"(import struct, sys, zlib
d = open(sys.argv[1], 'rb').read()
p, idat, gamma, plte = 8, b'', 0, []
while p < len(d):
    n, t = struct.unpack('>I4s', d[p:p + 8])
    body = d[p + 8:p + 8 + n]
    if t == b'IHDR': w, h, depth, ct, _, _, il = struct.unpack('>IIBBBBB', body)
    elif t == b'IDAT': idat += body
    elif t == b'gAMA': gamma = struct.unpack('>I', body)[0]
    elif t == b'PLTE': plte = list(body)
    p += 12 + n
ch = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ct]
bpp = max(1, ch * depth // 8)
raw = zlib.decompress(idat)
pos = 0
def unfilter(rw, rh):
    global pos
    rb = (rw * ch * depth + 7) // 8
    prev = bytearray(rb)
    rows = []
    for _ in range(rh):
        f = raw[pos]; r = bytearray(raw[pos + 1:pos + 1 + rb]); pos += 1 + rb
        for i in range(rb):
            a = r[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1: r[i] = (r[i] + a) & 255
            elif f == 2: r[i] = (r[i] + b) & 255
            elif f == 3: r[i] = (r[i] + (a + b) // 2) & 255
            elif f == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                r[i] = (r[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(r); prev = r
    return rows
def samples(r, rw):
    n = rw * ch
    if depth == 16: return [r[2 * i] << 8 | r[2 * i + 1] for i in range(n)]
    if depth == 8: return list(r[:n])
    per = 8 // depth
    return [(r[i // per] >> (8 - depth * (i % per + 1))) & ((1 << depth) - 1) for i in range(n)]
img = [[0] * (w * ch) for _ in range(h)]
passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
          (0, 1, 1, 2)]
if il == 0: passes = [(0, 0, 1, 1)]
for x0, y0, dx, dy in passes:
    rw = (w - x0 + dx - 1) // dx if w > x0 else 0
    rh = (h - y0 + dy - 1) // dy if h > y0 else 0
    if rw == 0 or rh == 0: continue
    for j, r in enumerate(unfilter(rw, rh)):
        s = samples(r, rw)
        for i in range(rw):
            x = x0 + i * dx
            img[y0 + j * dy][x * ch:(x + 1) * ch] = s[i * ch:(i + 1) * ch]
print(w, h, depth, ct, gamma)
print(len(plte) // 3, *plte)
for row in img: print(*row)
)";

struct RawPng {
    int width = 0, height = 0, depth = 0, colour = 0;
    uint32_t gamma = 0;
    std::vector<Rgb> palette;
    std::vector<Samples> rows;
};

bool raw_decode(const std::string& python, const TempDir& dir, const std::string& png,
                RawPng& out) {
    const std::string script = dir.file("raw_decoder.py");
    const std::string text = dir.file("raw.txt");
    write_file(script, kRawDecoder);
    if (run_command(python + " " + script + " '" + png + "' > " + text) != 0) return false;
    std::istringstream in(read_file(text));
    in >> out.width >> out.height >> out.depth >> out.colour >> out.gamma;
    std::size_t entries = 0;
    in >> entries;
    out.palette.resize(entries);
    for (Rgb& c : out.palette) in >> c[0] >> c[1] >> c[2];
    out.rows.assign(std::size_t(out.height),
                    Samples(std::size_t(out.width * channels(out.colour))));
    for (Samples& row : out.rows)
        for (uint32_t& v : row) in >> v;
    return bool(in);
}

// The expected record samples of one pixel, from the rules written out with floating point.
Rgb expected_pixel(const RawPng& raw, const uint32_t* s) {
    const double max = raw.depth == 16 ? 65535 : 255;
    const double exponent = raw.gamma == 0 || std::fabs(raw.gamma * 2.2 - 100000) <= 5000
                                ? 1.0
                                : std::floor(1e15 / raw.gamma / 220000 + 0.5) * 1e-5;
    auto correct = [&](double v) { return std::floor(max * std::pow(v / max, exponent) + 0.5); };
    const uint32_t scale = raw.depth == 16 ? 1 : 256;
    if (raw.colour == kPalette) {
        const Rgb c = s[0] < raw.palette.size() ? raw.palette[s[0]] : Rgb{0, 0, 0};
        return {uint32_t(correct(c[0])) * 256, uint32_t(correct(c[1])) * 256,
                uint32_t(correct(c[2])) * 256};
    }
    const int n = channels(raw.colour);
    const int colours = n >= 3 ? 3 : 1;
    const double low = raw.depth < 8 ? 255.0 / ((1 << raw.depth) - 1) : 1.0;
    Rgb out{};
    for (int k = 0; k < colours; ++k) {
        double c = correct(s[k] * low);
        if (n == 2 || n == 4) c = std::floor(c * s[colours] / max + 0.5);
        out[std::size_t(k)] = uint32_t(c) * scale;
    }
    if (colours == 1) out[1] = out[2] = out[0];
    return out;
}

void compare_with_raw(const std::string& python, const TempDir& dir, const std::string& path) {
    SCOPED_TRACE(path);
    RawPng raw;
    ASSERT_TRUE(raw_decode(python, dir, path, raw));
    ImageRecord r;
    const ReadResult result = read_png(path, r);
    ASSERT_TRUE(result.ok()) << result.detail;
    ASSERT_EQ(r.width, raw.width);
    ASSERT_EQ(r.height, raw.height);
    const int n = channels(raw.colour);
    int mismatches = 0;
    for (int row = 0; row < raw.height; ++row)
        for (int x = 0; x < raw.width && mismatches < 5; ++x) {
            const Rgb want = expected_pixel(raw, &raw.rows[std::size_t(row)][std::size_t(x * n)]);
            if (pixel(r, x, row) != want) {
                ++mismatches;
                ADD_FAILURE() << "x " << x << " row " << row;
            }
        }
}

TEST(PngSamples, PngSuiteMatchesAnIndependentDecoder) {
    const std::string dir = test::shared_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder ../shared/samples not found";
    const std::string python = python_with_pil();
    if (python.empty()) GTEST_SKIP() << "Python 3 is not installed";
    TempDir tmp;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir + "/png")) {
        if (entry.path().extension() != ".png") continue;
        compare_with_raw(python, tmp, entry.path().string());
        ++files;
    }
    EXPECT_GE(files, 12);
}

TEST(PngSamples, InterlacedAndPlainVersionsAgree) {
    const std::string dir = test::shared_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder ../shared/samples not found";
    for (const char* name : {"0g16", "3p08"}) {
        ImageRecord plain, interlaced;
        ASSERT_TRUE(read_png(dir + "/png/basn" + name + ".png", plain).ok());
        ASSERT_TRUE(read_png(dir + "/png/basi" + name + ".png", interlaced).ok());
        EXPECT_TRUE(test::same_pixels(plain, interlaced)) << name;
    }
}

TEST(PngSamples, TransparentPaletteEntriesKeepTheirColours) {
    const std::string dir = test::shared_samples_dir();
    if (dir.empty()) GTEST_SKIP() << "shared samples folder ../shared/samples not found";
    // Both files show the same picture; tp1n3p08 has no bKGD. A palette file with the tRNS
    // chunk removed must read the same.
    for (const char* name : {"tbbn3p08", "tp1n3p08"}) {
        const std::string file = read_file(dir + "/png/" + name + ".png");
        std::string without = file.substr(0, 8);
        for (std::size_t p = 8; p + 12 <= file.size();) {
            const uint32_t n = uint32_t(uint8_t(file[p])) << 24 |
                               uint32_t(uint8_t(file[p + 1])) << 16 |
                               uint32_t(uint8_t(file[p + 2])) << 8 | uint8_t(file[p + 3]);
            if (file.compare(p + 4, 4, "tRNS") != 0) without += file.substr(p, 12 + n);
            p += 12 + n;
        }
        ASSERT_LT(without.size(), file.size());
        ImageRecord with_trns, without_trns;
        ASSERT_TRUE(decode(file, with_trns).ok());
        ASSERT_TRUE(decode(without, without_trns).ok());
        EXPECT_EQ(with_trns.red, without_trns.red) << name;
        EXPECT_EQ(with_trns.blue, without_trns.blue) << name;
    }
}

TEST(PngGenerated, PilAndImageMagickFilesMatchAnIndependentDecoder) {
    const std::string python = python_with_pil();
    if (python.empty()) GTEST_SKIP() << "Python with PIL is not installed";
    TempDir dir;
    const std::string script = dir.file("make.py");
    write_file(script, R"(import sys
from PIL import Image
import numpy as np
out = sys.argv[1]
y, x = np.mgrid[0:13, 0:17]
v = (x * 37 + y * 101) % 256
Image.fromarray(v.astype(np.uint8), 'L').save(out + '/l.png')
Image.fromarray(v > 127).save(out + '/one.png')
Image.fromarray((v * 257 + x).astype(np.uint16), 'I;16').save(out + '/i16.png')
rgb = np.stack([v, (v * 3) % 256, 255 - v], -1).astype(np.uint8)
Image.fromarray(rgb, 'RGB').save(out + '/rgb.png')
rgba = np.concatenate([rgb, ((x * 15) % 256)[..., None].astype(np.uint8)], -1)
Image.fromarray(rgba, 'RGBA').save(out + '/rgba.png')
Image.fromarray(rgba[..., [0, 3]], 'LA').save(out + '/la.png')
p = Image.fromarray((v % 16).astype(np.uint8), 'P')
p.putpalette([c for i in range(16) for c in (i * 16, 255 - i * 16, i * 5)])
p.save(out + '/p4.png', bits=4)
p2 = Image.fromarray((v % 4).astype(np.uint8), 'P')
p2.putpalette([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255])
p2.save(out + '/p2.png', bits=2)
)");
    ASSERT_EQ(run_command(python + " " + script + " " + dir.path().string()), 0);
    std::vector<std::string> files = {"l", "one", "i16", "rgb", "rgba", "la", "p4", "p2"};
    const std::string magick = test::imagemagick_convert();
    if (!magick.empty()) {
        // 16-bit RGB and RGBA, Adam7 interlaced.
        const std::string src = dir.file("rgba.png");
        ASSERT_EQ(run_command(magick + " " + src +
                              " -evaluate multiply 0.9 -depth 16 "
                              "-interlace PNG PNG64:" +
                              dir.file("im64.png")),
                  0);
        ASSERT_EQ(run_command(magick + " " + src +
                              " -alpha off -depth 16 -interlace PNG "
                              "PNG48:" +
                              dir.file("im48.png")),
                  0);
        files.insert(files.end(), {"im64", "im48"});
    }
    for (const std::string& name : files) compare_with_raw(python, dir, dir.file(name + ".png"));
}

// ---- bad input ----

std::string small_rgb_file() {
    PngParts p{.width = 5, .height = 3, .colour = kRgb};
    for (uint32_t y = 0; y < 3; ++y) {
        Samples row;
        for (uint32_t i = 0; i < 15; ++i) row.push_back((i * 29 + y * 71) % 256);
        p.rows.push_back(row);
    }
    return build(p);
}

// `file` with the CRC of every chunk worked out again, so that damage gets past the checks.
std::string mend_crcs(std::string file) {
    for (std::size_t p = 8; p + 12 <= file.size();) {
        const uint32_t n = uint32_t(uint8_t(file[p])) << 24 | uint32_t(uint8_t(file[p + 1])) << 16 |
                           uint32_t(uint8_t(file[p + 2])) << 8 | uint8_t(file[p + 3]);
        if (n > file.size() - p - 12) break;  // a damaged length runs past the end
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(file.data() + p + 4), n + 4);
        file.replace(p + 8 + n, 4, be32(uint32_t(crc)));
        p += 12 + n;
    }
    return file;
}

// A file whose chunk at `offset` has its data changed and its CRC set to match again.
std::string with_chunk_byte(std::string file, std::size_t offset, char value) {
    file[offset] = value;
    return mend_crcs(file);
}

TEST(PngReader, RefusesMalformedFilesAndLeavesTheRecordAlone) {
    const std::string good = small_rgb_file();
    const std::size_t idat_data = 8 + 25 + 8;  // after the signature, IHDR and IDAT's header
    std::string bad_crc = good;
    bad_crc[idat_data + 3] ^= 0x40;
    std::string bad_header_crc = good;
    bad_header_crc[29] ^= 1;
    // Pictures are taken row by row, so a file claiming a huge picture only costs memory for
    // the rows it really holds. The padding chunk makes it long enough for its claimed size.
    std::string ten_rows;
    for (int y = 0; y < 10; ++y) ten_rows += std::string(1 + 30000 / 8, '\0');
    const std::vector<test::RefusedFile> cases = {
        {"empty", "", ReadStatus::not_this_format},
        {"not a PNG", "GIF89a........", ReadStatus::not_this_format},
        {"damaged signature", "\x89PNX" + good.substr(4), ReadStatus::not_this_format},
        {"image data CRC wrong", bad_crc, ReadStatus::corrupt},
        {"header CRC wrong", bad_header_crc, ReadStatus::corrupt},
        {"compressed data damaged", with_chunk_byte(good, idat_data, '\xFF'), ReadStatus::corrupt},
        {"width 0", with_chunk_byte(good, 16 + 3, 0), ReadStatus::corrupt},
        {"bit depth 3", with_chunk_byte(good, 24, 3), ReadStatus::corrupt},
        {"colour type 5", with_chunk_byte(good, 25, 5), ReadStatus::corrupt},
        {"no image data", kSignature + ihdr(5, 3, 8, kRgb) + chunk("IEND", ""),
         ReadStatus::corrupt},
        {"palette image without palette",
         kSignature + ihdr(1, 1, 8, kPalette) + chunk("IDAT", zlib_compress(std::string(2, 0))) +
             chunk("IEND", ""),
         ReadStatus::corrupt},
        {"too little image data", build({.width = 5, .height = 3, .rows = {{1, 2, 3, 4, 5}}}),
         ReadStatus::corrupt},
        {"width past the limit",
         kSignature + ihdr(1'000'001, 1, 8, kGrey) +
             chunk("IDAT", zlib_compress(std::string(1'000'002, 0))) + chunk("IEND", ""),
         ReadStatus::corrupt},
        {"width 2^31 - 1",
         kSignature + ihdr(0x7FFFFFFF, 1, 8, kGrey) + chunk("IDAT", zlib_compress("x")) +
             chunk("IEND", ""),
         ReadStatus::corrupt},
        {"a billion pixels from a few bytes",
         kSignature + ihdr(1'000'000, 1000, 16, kRgba) + chunk("IDAT", zlib_compress("x")) +
             chunk("IEND", ""),
         ReadStatus::corrupt},
        {"a huge picture with too few rows",
         kSignature + ihdr(30000, 30000, 1, kGrey) + chunk("paDd", std::string(120'000, 'x')) +
             chunk("IDAT", zlib_compress(ten_rows)) + chunk("IEND", ""),
         ReadStatus::corrupt},
    };
    test::expect_refused(cases, decode);
}

TEST(PngReader, EveryTruncationIsRefused) {
    test::expect_prefixes_handled(decode_png, small_rgb_file());
    const std::string dir = test::shared_samples_dir();
    if (!dir.empty())
        test::expect_prefixes_handled(decode_png, read_file(dir + "/png/basi3p08.png"));
}

// Damaged files, also ones whose CRCs match again so that the damage reaches the decoder,
// are refused or read without harm, and nothing is printed.
TEST(PngReader, DamagedFilesAreHandled) {
    test::expect_damage_handled(decode_png, small_rgb_file(), {0x00, 0x5A, 0xFF});
    test::expect_damage_handled(decode_png, small_rgb_file(), {0x00, 0x7F, 0xFF},
                                std::string::npos, mend_crcs);
}

// ---- writing ----

ImageRecord writer_image() {
    return make_image(5, 3,
                      [](int c, int x, int y) { return (c * 20000 + x * 3000 + y * 700) ^ 0x5A; });
}

TEST(PngWriter, WritesEightBitRgbTopRowFirst) {
    TempDir dir;
    const ImageRecord src = writer_image();
    const std::string path = dir.file("out.png");
    ASSERT_TRUE(write_png(path, src).ok());
    const std::string file = read_file(path);
    ASSERT_GT(file.size(), 33u);
    EXPECT_EQ(file.substr(0, 8), kSignature);
    EXPECT_EQ(file.substr(12, 4), "IHDR");
    EXPECT_EQ(file.substr(16, 8), be32(5) + be32(3));
    // bit depth 8, colour type 2, default compression and filter, no interlacing
    EXPECT_EQ(file.substr(24, 5), std::string({8, 2, 0, 0, 0}));
    ImageRecord back;
    ASSERT_TRUE(read_png(path, back).ok());
    EXPECT_TRUE(test::same_pixels(back, test::high_bytes(src)));
}

TEST(PngWriter, OtherProgramsReadTheHighBytes) {
    const std::string python = python_with_pil();
    if (python.empty()) GTEST_SKIP() << "Python with PIL is not installed";
    TempDir dir;
    const ImageRecord src = writer_image();
    const std::string path = dir.file("out.png");
    ASSERT_TRUE(write_png(path, src).ok());
    const std::string mode_check = " -c \"import sys; from PIL import Image; "
                                   "sys.exit(Image.open(sys.argv[1]).mode != 'RGB')\" ";
    EXPECT_EQ(run_command(python + mode_check + test::quoted(path)), 0) << "PIL takes it for RGB";
    EXPECT_TRUE(test::matches_raw(test::high_bytes(src), test::pil_rgb8(path, dir)));
}

TEST(PngWriter, FailuresLeaveFilesAlone) {
    test::expect_writes_refused(write_png, writer_image());
    EXPECT_TRUE(test::fails_on_full_device([](std::FILE* f) {
        std::string why;
        const bool written = encode_png(f, writer_image(), why);
        EXPECT_FALSE(why.empty());
        return written;
    }));
}

}  // namespace
}  // namespace vora
