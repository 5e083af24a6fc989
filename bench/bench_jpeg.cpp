// JPEG reading and writing of a 6000 × 4000 frame, with and without the Exif header.
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
#include "io/jpeg_io.h"

namespace {

using vora::ImageRecord;
using vora::JpegHeader;
using vora::bench::kFrameHeight;
using vora::bench::kFrameWidth;
using vora::bench::shared_frame;
using vora::bench::temp_folder;

constexpr int64_t kPixels = int64_t(kFrameWidth) * kFrameHeight;

// The input of the read benchmark: written once per process, outside every timing loop.
const std::string& jpeg_input() {
    static const std::string path = [] {
        std::string p = temp_folder().file("input.jpg");
        return vora::write_jpeg(p, shared_frame(), JpegHeader::exif).ok() ? p : std::string();
    }();
    return path;
}

void write_benchmark(benchmark::State& state, JpegHeader header) {
    if (!temp_folder().ok()) return state.SkipWithError("cannot create a folder under /tmp");
    const ImageRecord& frame = shared_frame();
    const std::string path = temp_folder().file("write.jpg");
    for (auto _ : state) {
        const vora::WriteResult written = vora::write_jpeg(path, frame, header);
        if (!written.ok()) {
            state.SkipWithError(written.detail.c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void BM_WriteJpegJfif(benchmark::State& state) {
    write_benchmark(state, JpegHeader::jfif);
}
BENCHMARK(BM_WriteJpegJfif)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteJpegExif(benchmark::State& state) {
    write_benchmark(state, JpegHeader::exif);
}
BENCHMARK(BM_WriteJpegExif)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadJpeg(benchmark::State& state) {
    const std::string& path = jpeg_input();
    if (path.empty()) return state.SkipWithError("cannot write the input JPEG");
    for (auto _ : state) {
        ImageRecord image;  // an empty slot, as when a file is opened
        const vora::ReadResult read = vora::read_jpeg(path, image);
        if (!read.ok()) {
            state.SkipWithError(read.detail.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.red.data());
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}
BENCHMARK(BM_ReadJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
