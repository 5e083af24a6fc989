// Whole-file BMP and PPM reading and writing of a 6000 × 4000 frame.
//
// Files go to a private folder under /tmp, removed when the process ends. Writes go to the
// page cache (or tmpfs), so they measure encoding plus the kernel copy, not the disk.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "bench_support.h"
#include "io/bmp_pnm.h"

namespace {

using vora::ImageRecord;
using vora::bench::kFrameHeight;
using vora::bench::kFrameWidth;
using vora::bench::shared_frame;
using vora::bench::temp_folder;

constexpr int64_t kPixels = int64_t(kFrameWidth) * kFrameHeight;
constexpr int64_t kBitmapBytes = kPixels * 3;  // 24-bit, rows of 18000 bytes need no padding
constexpr int64_t kPixmapBytes = kPixels * 6;  // 16-bit samples

// The input of a read benchmark: written once per process, outside every timing loop.
const std::string& bitmap_input() {
    static const std::string path = [] {
        std::string p = temp_folder().file("input.bmp");
        return vora::write_bitmap(p, shared_frame()).ok() ? p : std::string();
    }();
    return path;
}

const std::string& pixmap_input() {
    static const std::string path = [] {
        std::string p = temp_folder().file("input.ppm");
        return vora::write_pixmap(p, shared_frame(), vora::kPixmapBinary16).ok() ? p
                                                                                : std::string();
    }();
    return path;
}

void BM_WriteBitmap24(benchmark::State& state) {
    if (!temp_folder().ok()) return state.SkipWithError("cannot create a folder under /tmp");
    const ImageRecord& frame = shared_frame();
    const std::string path = temp_folder().file("write.bmp");
    for (auto _ : state) {
        const vora::WriteResult written = vora::write_bitmap(path, frame);
        if (!written.ok()) {
            state.SkipWithError(written.detail.c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kBitmapBytes);
}
BENCHMARK(BM_WriteBitmap24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadBitmap24(benchmark::State& state) {
    const std::string& path = bitmap_input();
    if (path.empty()) return state.SkipWithError("cannot write the input BMP");
    for (auto _ : state) {
        ImageRecord image;  // an empty slot, as when a file is opened: planes are allocated
        const vora::ReadResult read = vora::read_bitmap(path, image);
        if (!read.ok()) {
            state.SkipWithError(read.detail.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.red.data());
    }
    state.SetBytesProcessed(state.iterations() * kBitmapBytes);
}
BENCHMARK(BM_ReadBitmap24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WritePixmap48Binary(benchmark::State& state) {
    if (!temp_folder().ok()) return state.SkipWithError("cannot create a folder under /tmp");
    const ImageRecord& frame = shared_frame();
    const std::string path = temp_folder().file("write.ppm");
    for (auto _ : state) {
        const vora::WriteResult written =
            vora::write_pixmap(path, frame, vora::kPixmapBinary16);
        if (!written.ok()) {
            state.SkipWithError(written.detail.c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kPixmapBytes);
}
BENCHMARK(BM_WritePixmap48Binary)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadPixmap48Binary(benchmark::State& state) {
    const std::string& path = pixmap_input();
    if (path.empty()) return state.SkipWithError("cannot write the input PPM");
    for (auto _ : state) {
        ImageRecord image;
        const vora::ReadResult read = vora::read_pixmap(path, image);
        if (!read.ok()) {
            state.SkipWithError(read.detail.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.red.data());
    }
    state.SetBytesProcessed(state.iterations() * kPixmapBytes);
}
BENCHMARK(BM_ReadPixmap48Binary)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
