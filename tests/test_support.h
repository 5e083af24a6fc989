// Small helpers shared by the tests: images built in code, temporary folders, and the
// optional outside programs (ImageMagick, Python with PIL) used to check our files.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

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

// Every sample in `part` equals a reference program's: `raw` is RGB of the whole picture, top
// row first, 8-bit values (held × 256) or 16-bit ones most significant byte first.
::testing::AssertionResult matches_raw(const ImageRecord& r, const std::string& raw, int depth = 8,
                                       Rect part = {});

// Same size and the same samples.
::testing::AssertionResult same_pixels(const ImageRecord& a, const ImageRecord& b);

// The samples an 8-bit file keeps of a picture.
ImageRecord high_bytes(ImageRecord r);

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
std::string read_file(const std::string& path);

// RGB as ImageMagick reads `path`, top row first, `depth` 8 or 16 bits a sample (most
// significant byte first); `options` go between input and output. Empty when it could not.
std::string magick_raw(const std::string& path, const TempDir& dir, int depth = 8,
                       const std::string& options = "");
// 8-bit RGB as PIL reads each file (converted to RGB), top row first, in one Python run; empty
// for a file it could not read.
std::vector<std::string> pil_rgb8(const std::vector<std::string>& paths, const TempDir& dir);
std::string pil_rgb8(const std::string& path, const TempDir& dir);

// Runs `f` with the process's stdout and stderr sent to a file and returns what was written
// (readers must never print).
std::string captured_output(const TempDir& dir, const std::function<void()>& f);

// Single quotes around a path for a shell command.
inline std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

// A record that already holds a picture and camera fields, to show that a refused file
// leaves it alone.
ImageRecord occupied_record();
// Pixels, size, name, mono flag and camera fields all equal.
bool same_record(const ImageRecord& a, const ImageRecord& b);
// A refused read: it says why, and `r` (filled by occupied_record()) is as it was.
::testing::AssertionResult refused_untouched(const ReadResult& result, const ImageRecord& r);

// ---- hand-built files

std::string bytes(std::initializer_list<int> list);
std::string le16(uint32_t v);
std::string le32(uint32_t v);
std::string be16(uint32_t v);
std::string be32(uint32_t v);

// ---- readers

// A reader's decoder of a file held in memory.
using Decoder = ReadResult (*)(const uint8_t* data, std::size_t size, ImageRecord& out);
ReadResult decode_bytes(Decoder decode, const std::string& file, ImageRecord& out);

// `file` is accepted and holds the picture has_samples() checks (8-bit values by default).
::testing::AssertionResult decodes_to(Decoder decode, const std::string& file, int w, int h,
                                      const std::vector<Rgb>& top_first, int scale = 256);

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

// Every prefix of `file` (one every `step` bytes) is refused and leaves an occupied record
// alone; with `may_accept`, a prefix may instead give a picture of the whole file's size
// (data that merely stop early). Nothing is printed.
void expect_prefixes_handled(Decoder decode, const std::string& file, bool may_accept = false,
                             std::size_t step = 1);
// Each of the first `limit` bytes set to each of `values` (and the file then passed through
// `mend`, when given): a refusal leaves an occupied record alone, an acceptance gives planes of
// the picture's size. Nothing is printed.
void expect_damage_handled(Decoder decode, const std::string& file,
                           std::initializer_list<int> values, std::size_t limit = std::string::npos,
                           const std::function<std::string(std::string)>& mend = nullptr);

using Reader = std::function<ReadResult(const std::string& path, ImageRecord& out)>;
// Saves `bytes` as a file and reads it into an occupied record (zoom and undo planes set too):
// accepted and named after the path; unless `sets_camera_fields`, everything but the size and
// planes stays as it was. A missing file is refused as cannot_open, untouched. The record read.
ImageRecord read_saved(const Reader& read, const std::string& bytes,
                       bool sets_camera_fields = false);

// ---- writers

using Writer = std::function<WriteResult(const std::string& path, const ImageRecord& record)>;
struct BadRecord {
    const char* what;
    ImageRecord record;
    std::string detail = {};  // the exact reason, when it matters
};
// `write` refuses an empty record, one with a short plane and each of `more`: it says why,
// an existing file keeps its contents and no file appears. `good` is refused for a folder
// that does not exist.
void expect_writes_refused(const Writer& write, const ImageRecord& good,
                           const std::vector<BadRecord>& more = {});
// `encode` into a stream whose every write fails (/dev/full) reports the failure.
::testing::AssertionResult fails_on_full_device(const std::function<bool(std::FILE*)>& encode);

// A w × h plane of samples drawn uniformly from lo..hi.
Plane random_plane(int w, int h, unsigned seed, int lo = 0, int hi = 65535);
// A noisy level (one random base ± spread) with a random spike at about one sample in
// `spike_one_in`, so that filters with a threshold take both of their branches.
Plane noisy_plane(std::mt19937& rng, int w, int h, int spread, int spike_one_in);

// Fixture of the command tests: a fresh workbench whose slot 0 is current.
// Slots of the table that hold a picture.
inline int occupied_count(const ImageTable& table) {
    int n = 0;
    for (int s = 0; s < kSlotCount; ++s) n += table[s].occupied() ? 1 : 0;
    return n;
}

class CommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wb = make_workbench();
        wb->table.current_slot = 0;
    }
    ImageRecord& slot(int i) { return wb->table[i]; }
    std::unique_ptr<Workbench> wb;
};

}  // namespace vora::test
