// Small helpers shared by the tests: images built in code, temporary folders, and the
// optional outside programs (ImageMagick, Python with PIL) used to check our files.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/image_record.h"
#include "core/workbench.h"
#include "io/io_status.h"

namespace vora::test {

// A heap-allocated workbench (the table is large for a stack frame).
std::unique_ptr<Workbench> make_workbench();

// A record of the given size whose sample at (x, row) in channel c is f(c, x, row).
template <class F>
ImageRecord make_image(int width, int height, F f) {
    ImageRecord r;
    r.width = width;
    r.height = height;
    for (int c = 0; c < 3; ++c) {
        Plane& p = r.plane(c);
        p.resize(std::size_t(width) * std::size_t(height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                p[std::size_t(y) * std::size_t(width) + std::size_t(x)] = uint16_t(f(c, x, y));
    }
    return r;
}

inline uint16_t sample(const ImageRecord& r, int c, int x, int row) {
    return r.plane(c)[std::size_t(row) * std::size_t(r.width) + std::size_t(x)];
}

// ---- checking pictures; expected values are given as the picture shows them, top row first

using Rgb = std::array<int, 3>;

// Size, plane sizes and every sample: expected value × scale (256 for 8-bit values).
::testing::AssertionResult has_samples(const ImageRecord& r, int w, int h,
                                       const std::vector<Rgb>& top_first, int scale = 1);
// 8-bit expected values, held as value × 256.
inline ::testing::AssertionResult has_pixels(const ImageRecord& r, int w, int h,
                                             const std::vector<Rgb>& top_first) {
    return has_samples(r, w, h, top_first, 256);
}

// A part of the picture: left, top (rows counted from the top), width, height.
struct Rect {
    int x = 0, y = 0, w = 1 << 30, h = 1 << 30;
};

// Every sample in `part` equals a reference program's 8-bit value × 256; `raw` is 8-bit RGB of
// the whole picture, top row first.
::testing::AssertionResult matches_rgb8(const ImageRecord& r, const std::string& raw,
                                        Rect part = {});

// A fresh folder under the system's temporary directory, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Folder of the shared sample files, or empty when it is not there.
std::string shared_samples_dir();

// Outside programs; each returns an empty string when the program is not installed.
std::string imagemagick_convert();  // /usr/bin/convert (ImageMagick 6)
std::string python_with_pil();      // a python3 that can import PIL

// Runs a shell command; returns its exit status.
int run_command(const std::string& command);

void write_file(const std::string& path, const std::string& bytes);

// Runs `f` with the process's stdout and stderr sent to a file and returns what was written
// (readers must never print).
std::string captured_output(const TempDir& dir, const std::function<void()>& f);

// Single quotes around a path for a shell command.
inline std::string quoted(const std::string& s) { return "'" + s + "'"; }

// A record that already holds a picture and camera fields, to show that a refused file
// leaves it alone.
ImageRecord occupied_record();
// Pixels, size, name, mono flag and camera fields all equal.
bool same_record(const ImageRecord& a, const ImageRecord& b);
// A refused read: it says why, and `r` (filled by occupied_record()) is as it was.
::testing::AssertionResult refused_untouched(const ReadResult& result, const ImageRecord& r);

// A file a reader must refuse with `status`, leaving the record it was given alone.
struct RefusedFile {
    const char* what;
    std::string file;
    ReadStatus status;
};
// Decodes every file into an occupied record: each is refused with its status, untouched.
template <class Cases, class Decode>
void expect_refused(const Cases& cases, Decode decode) {
    for (const RefusedFile& c : cases) {
        ImageRecord r = occupied_record();
        const ReadResult res = decode(c.file, r);
        EXPECT_EQ(res.status, c.status) << c.what << ": " << res.detail;
        EXPECT_TRUE(refused_untouched(res, r)) << c.what;
    }
}
std::string read_file(const std::string& path);

}  // namespace vora::test
