#include "test_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace vora::test {

std::unique_ptr<Workbench> make_workbench() {
    auto wb = std::make_unique<Workbench>();
    init_image_table(wb->table);
    return wb;
}

TempDir::TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("vora-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string shared_samples_dir() {
    const std::filesystem::path dir = std::filesystem::path(VORA_SHARED_DIR) / "samples";
    return std::filesystem::is_directory(dir) ? dir.string() : std::string();
}

int run_command(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string imagemagick_convert() {
    static const std::string found =
        run_command("/usr/bin/convert -version 2>/dev/null | grep -q ImageMagick") == 0
            ? "/usr/bin/convert"
            : "";
    return found;
}

std::string python_with_pil() {
    static const std::string found = [] {
        for (const char* py : {"/usr/bin/python3", "python3"})
            if (run_command(std::string(py) + " -c 'import PIL' >/dev/null 2>&1") == 0)
                return std::string(py);
        return std::string();
    }();
    return found;
}

std::string captured_output(const TempDir& dir, const std::function<void()>& f) {
    const std::string path = dir.file("output.txt");
    std::fflush(stdout);
    std::fflush(stderr);
    const int saved_out = dup(1), saved_err = dup(2);
    FILE* sink = std::fopen(path.c_str(), "w");
    dup2(fileno(sink), 1);
    dup2(fileno(sink), 2);
    f();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    std::fclose(sink);
    return read_file(path);
}

::testing::AssertionResult has_samples(const ImageRecord& r, int w, int h,
                                       const std::vector<Rgb>& top_first, int scale) {
    if (r.width != w || r.height != h)
        return ::testing::AssertionFailure() << "size " << r.width << "x" << r.height;
    for (int c = 0; c < 3; ++c)
        if (r.plane(c).size() != std::size_t(w) * std::size_t(h))
            return ::testing::AssertionFailure() << "plane " << c << " has the wrong size";
    for (int top = 0; top < h; ++top)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const int want = top_first[std::size_t(top * w + x)][std::size_t(c)] * scale;
                const int got = sample(r, c, x, h - 1 - top);
                if (got != want)
                    return ::testing::AssertionFailure()
                           << "x " << x << ", row " << top << " from the top, channel " << c << ": "
                           << got << " instead of " << want;
            }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult matches_raw(const ImageRecord& r, const std::string& raw, int depth,
                                       Rect part) {
    const std::size_t step = depth == 16 ? 2 : 1;
    if (raw.size() != 3 * step * r.sample_count())
        return ::testing::AssertionFailure()
               << "reference holds " << raw.size() << " bytes for " << r.width << "x" << r.height;
    int differ = 0;
    std::string first;
    for (int top = std::max(part.y, 0); top < std::min(r.height, part.y + part.h); ++top)
        for (int x = std::max(part.x, 0); x < std::min(r.width, part.x + part.w); ++x)
            for (int c = 0; c < 3; ++c) {
                const std::size_t i =
                    step * (3 * (std::size_t(top) * std::size_t(r.width) + std::size_t(x)) +
                            std::size_t(c));
                const int want = uint8_t(raw[i]) << 8 | (step == 2 ? uint8_t(raw[i + 1]) : 0);
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

::testing::AssertionResult same_pixels(const ImageRecord& a, const ImageRecord& b) {
    if (a.width != b.width || a.height != b.height)
        return ::testing::AssertionFailure() << "size " << a.width << "x" << a.height << " against "
                                             << b.width << "x" << b.height;
    for (int c = 0; c < 3; ++c)
        if (a.plane(c) != b.plane(c))
            return ::testing::AssertionFailure() << "channel " << c << " differs";
    return ::testing::AssertionSuccess();
}

ImageRecord high_bytes(ImageRecord r) {
    for (int c = 0; c < 3; ++c)
        for (uint16_t& v : r.plane(c)) v &= 0xFF00;
    return r;
}

std::string magick_raw(const std::string& path, const TempDir& dir, int depth,
                       const std::string& options) {
    const std::string raw = dir.file("magick.rgb");
    std::filesystem::remove(raw);
    if (run_command(imagemagick_convert() + " " + quoted(path) + " " + options +
                    " -endian MSB -depth " + std::to_string(depth) + " rgb:" + quoted(raw) +
                    " 2>/dev/null") != 0)
        return "";
    return read_file(raw);
}

std::vector<std::string> pil_rgb8(const std::vector<std::string>& paths, const TempDir& dir) {
    const std::string script = dir.file("pil_rgb8.py");
    write_file(script,
               "import sys\n"
               "from PIL import Image\n"
               "for i, p in enumerate(sys.argv[2:]):\n"
               "    out = '%s/pil%d.rgb' % (sys.argv[1], i)\n"
               "    open(out, 'wb').write(Image.open(p).convert('RGB').tobytes())\n");
    std::string command = python_with_pil() + " " + quoted(script) + " " + quoted(dir.path());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::filesystem::remove(dir.file("pil" + std::to_string(i) + ".rgb"));
        command += " " + quoted(paths[i]);
    }
    run_command(command + " 2>/dev/null");
    std::vector<std::string> out;
    for (std::size_t i = 0; i < paths.size(); ++i)
        out.push_back(read_file(dir.file("pil" + std::to_string(i) + ".rgb")));
    return out;
}

std::string pil_rgb8(const std::string& path, const TempDir& dir) {
    return pil_rgb8(std::vector<std::string>{path}, dir)[0];
}

ImageRecord occupied_record() {
    ImageRecord r = make_image(2, 2, [](int c, int x, int y) { return 1000 * c + 10 * x + y + 1; });
    r.name = "earlier.img";
    r.mono = 1;
    r.exif_block = {0xFF, 0xD8, 1, 2};
    r.camera_make = "Earlier";
    r.camera_model = "Model";
    r.date_time = "2000:01:01 00:00:00";
    r.exposure_time = 7;
    r.f_number = 8;
    r.iso_speed = 9;
    return r;
}

bool same_record(const ImageRecord& a, const ImageRecord& b) {
    return a.width == b.width && a.height == b.height && a.red == b.red && a.green == b.green &&
           a.blue == b.blue && a.name == b.name && a.mono == b.mono &&
           a.exif_block == b.exif_block && a.camera_make == b.camera_make &&
           a.camera_model == b.camera_model && a.date_time == b.date_time &&
           a.exposure_time == b.exposure_time && a.f_number == b.f_number &&
           a.iso_speed == b.iso_speed;
}

::testing::AssertionResult refused_untouched(const ReadResult& result, const ImageRecord& r) {
    if (result.ok()) return ::testing::AssertionFailure() << "the read was accepted";
    if (result.detail.empty()) return ::testing::AssertionFailure() << "no reason given";
    if (!same_record(r, occupied_record()))
        return ::testing::AssertionFailure() << "the record was changed (" << result.detail << ")";
    return ::testing::AssertionSuccess();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += char(b);
    return s;
}
std::string le16(uint32_t v) {
    return {char(v & 0xFF), char((v >> 8) & 0xFF)};
}
std::string le32(uint32_t v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}
std::string be16(uint32_t v) {
    return {char((v >> 8) & 0xFF), char(v & 0xFF)};
}
std::string be32(uint32_t v) {
    return be16(v >> 16) + be16(v & 0xFFFF);
}

ReadResult decode_bytes(Decoder decode, const std::string& file, ImageRecord& out) {
    return decode(reinterpret_cast<const uint8_t*>(file.data()), file.size(), out);
}

::testing::AssertionResult decodes_to(Decoder decode, const std::string& file, int w, int h,
                                      const std::vector<Rgb>& top_first, int scale) {
    ImageRecord r;
    const ReadResult res = decode_bytes(decode, file, r);
    if (!res.ok()) return ::testing::AssertionFailure() << "refused: " << res.detail;
    return has_samples(r, w, h, top_first, scale);
}

namespace {

// Runs `check`, which notes what it finds wrong, with the output captured: nothing noted and
// nothing printed (readers must never print).
void expect_quiet(const std::function<void(std::ostringstream& problems)>& check) {
    TempDir dir;
    std::ostringstream problems;
    const std::string printed = captured_output(dir, [&] { check(problems); });
    EXPECT_EQ(problems.str(), "");
    EXPECT_EQ(printed, "") << "the reader printed";
}

// What is wrong with the outcome of decoding a damaged file into an occupied record `r`:
// a refusal must leave it alone, an acceptance must give a picture with planes of its size.
std::string bad_outcome(const ReadResult& res, const ImageRecord& r) {
    if (!res.ok()) {
        const ::testing::AssertionResult untouched = refused_untouched(res, r);
        return untouched ? "" : untouched.message();
    }
    if (!r.occupied()) return "accepted as an empty picture";
    for (int c = 0; c < 3; ++c)
        if (r.plane(c).size() != r.sample_count()) return "accepted with a short plane";
    return "";
}

}  // namespace

void expect_prefixes_handled(Decoder decode, const std::string& file, bool may_accept,
                             std::size_t step) {
    ImageRecord whole;
    ASSERT_TRUE(decode_bytes(decode, file, whole).ok()) << "the whole file";
    expect_quiet([&](std::ostringstream& problems) {
        for (std::size_t n = 0; n < file.size(); n += step) {
            ImageRecord r = occupied_record();
            const ReadResult res = decode_bytes(decode, file.substr(0, n), r);
            std::string bad = bad_outcome(res, r);
            if (res.ok() && (r.width != whole.width || r.height != whole.height))
                bad = "accepted at another size";
            if (res.ok() && !may_accept) bad = "accepted";
            if (!bad.empty()) problems << "prefix of " << n << " bytes: " << bad << "\n";
        }
    });
}

void expect_damage_handled(Decoder decode, const std::string& file,
                           std::initializer_list<int> values, std::size_t limit,
                           const std::function<std::string(std::string)>& mend) {
    expect_quiet([&](std::ostringstream& problems) {
        for (std::size_t i = 0; i < std::min(limit, file.size()); ++i)
            for (int value : values) {
                std::string damaged = file;
                damaged[i] = char(value);
                if (mend) damaged = mend(damaged);
                ImageRecord r = occupied_record();
                const std::string bad = bad_outcome(decode_bytes(decode, damaged, r), r);
                if (!bad.empty()) problems << "byte " << i << " = " << value << ": " << bad << "\n";
            }
    });
}

ImageRecord read_saved(const Reader& read, const std::string& bytes, bool sets_camera_fields) {
    TempDir dir;
    const std::string path = dir.file("picture");
    write_file(path, bytes);
    ImageRecord before = occupied_record();
    before.zoom = 250;
    before.undo_red = {7};
    ImageRecord r = before;
    const ReadResult res = read(path, r);
    EXPECT_TRUE(res.ok()) << res.detail;
    EXPECT_EQ(r.name, path);
    EXPECT_EQ(r.mono, before.mono);
    EXPECT_EQ(r.zoom, before.zoom);
    EXPECT_EQ(r.undo_red, before.undo_red);
    if (!sets_camera_fields) {
        ImageRecord rest = r;  // all but the name, size and planes
        rest.name = before.name;
        rest.width = before.width;
        rest.height = before.height;
        for (int c = 0; c < 3; ++c) rest.plane(c) = before.plane(c);
        EXPECT_TRUE(same_record(rest, before)) << "the reader changed other fields";
    }
    ImageRecord missing = occupied_record();
    EXPECT_EQ(read(dir.file("missing"), missing).status, ReadStatus::cannot_open);
    EXPECT_TRUE(same_record(missing, occupied_record()));
    return r;
}

void expect_writes_refused(const Writer& write, const ImageRecord& good,
                           const std::vector<BadRecord>& more) {
    TempDir dir;
    const std::string existing = dir.file("existing");
    write_file(existing, "old contents");
    ImageRecord short_plane = good;
    short_plane.blue.pop_back();
    std::vector<BadRecord> bad = {{"empty record", ImageRecord{}}, {"a short plane", short_plane}};
    bad.insert(bad.end(), more.begin(), more.end());
    for (const BadRecord& b : bad) {
        for (const std::string& path : {existing, dir.file("new")}) {
            const WriteResult w = write(path, b.record);
            EXPECT_FALSE(w.ok()) << b.what;
            EXPECT_FALSE(w.detail.empty()) << b.what;
            EXPECT_TRUE(b.detail.empty() || w.detail == b.detail) << b.what << ": " << w.detail;
        }
        EXPECT_EQ(read_file(existing), "old contents") << b.what;
    }
    EXPECT_FALSE(write(dir.file("no/such/folder/x"), good).ok());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "a file was left behind";
}

::testing::AssertionResult fails_on_full_device(const std::function<bool(std::FILE*)>& encode) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (!full) return ::testing::AssertionSuccess() << "/dev/full is not available";
    std::setvbuf(full, nullptr, _IONBF, 0);
    const bool written = encode(full);
    std::fclose(full);
    if (written) return ::testing::AssertionFailure() << "the failed writes were not noticed";
    return ::testing::AssertionSuccess();
}

Plane random_plane(int w, int h, unsigned seed, int lo, int hi) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(lo, hi);
    Plane p(std::size_t(w) * std::size_t(h));
    for (uint16_t& s : p) s = uint16_t(dist(rng));
    return p;
}

Plane noisy_plane(std::mt19937& rng, int w, int h, int spread, int spike_one_in) {
    std::uniform_int_distribution<int> any(0, 65535), small(-spread, spread);
    Plane p(std::size_t(w) * std::size_t(h));
    const int base = any(rng);
    for (auto& s : p) {
        const int v = rng() % unsigned(spike_one_in) == 0 ? any(rng) : base + small(rng);
        s = uint16_t(std::clamp(v, 0, 65535));
    }
    return p;
}

}  // namespace vora::test
