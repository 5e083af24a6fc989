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
                           << "x " << x << ", row " << top << " from the top, channel " << c
                           << ": " << got << " instead of " << want;
            }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult matches_rgb8(const ImageRecord& r, const std::string& raw, Rect part) {
    if (raw.size() != 3 * r.sample_count())
        return ::testing::AssertionFailure() << "reference holds " << raw.size() << " bytes for "
                                             << r.width << "x" << r.height;
    int differ = 0;
    std::string first;
    for (int top = std::max(part.y, 0); top < std::min(r.height, part.y + part.h); ++top)
        for (int x = std::max(part.x, 0); x < std::min(r.width, part.x + part.w); ++x)
            for (int c = 0; c < 3; ++c) {
                const int want =
                    uint8_t(raw[3 * (std::size_t(top) * std::size_t(r.width) + std::size_t(x)) +
                                std::size_t(c)]) *
                    256;
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

}  // namespace vora::test
