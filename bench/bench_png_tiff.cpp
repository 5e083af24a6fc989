// Whole-file TIFF (48-bit) and PNG (24-bit) reading and writing of a 6000 × 4000 frame.
//
// The TIFF inputs are our own uncompressed file (read by our own reader) and the same picture
// LZW-compressed with the horizontal predictor by libtiff (read through libtiff at full
// depth). Files go to a private folder under /tmp, removed when the process ends.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <tiffio.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench_support.h"
#include "io/png_io.h"
#include "io/tiff_io.h"

namespace {

using vora::ImageRecord;
using vora::bench::kFrameHeight;
using vora::bench::kFrameWidth;
using vora::bench::shared_frame;
using vora::bench::temp_folder;

constexpr int64_t kPixels = int64_t(kFrameWidth) * kFrameHeight;
constexpr int64_t kTiffBytes = kPixels * 6;
constexpr int64_t kPngBytes = kPixels * 3;

// Inputs of the read benchmarks: written once per process, outside every timing loop.
const std::string& tiff_input() {
    static const std::string path = [] {
        std::string p = temp_folder().file("input.tif");
        return vora::write_tiff(p, shared_frame()).ok() ? p : std::string();
    }();
    return path;
}

// The frame as libtiff writes it with LZW and the horizontal predictor, 64 rows a strip.
bool write_lzw_tiff(const std::string& path, const ImageRecord& r) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(r.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(r.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 64);
    std::vector<uint16_t> row(std::size_t(r.width) * 3);
    bool ok = true;
    for (int32_t line = 0; line < r.height && ok; ++line) {
        const std::size_t base = std::size_t(r.height - 1 - line) * std::size_t(r.width);
        for (std::size_t x = 0; x < std::size_t(r.width); ++x) {
            row[3 * x] = r.red[base + x];
            row[3 * x + 1] = r.green[base + x];
            row[3 * x + 2] = r.blue[base + x];
        }
        ok = TIFFWriteScanline(tif, row.data(), uint32_t(line), 0) == 1;
    }
    TIFFClose(tif);
    return ok;
}

const std::string& lzw_tiff_input() {
    static const std::string path = [] {
        std::string p = temp_folder().file("input-lzw.tif");
        return write_lzw_tiff(p, shared_frame()) ? p : std::string();
    }();
    return path;
}

const std::string& png_input() {
    static const std::string path = [] {
        std::string p = temp_folder().file("input.png");
        return vora::write_png(p, shared_frame()).ok() ? p : std::string();
    }();
    return path;
}

template <class Write>
void write_loop(benchmark::State& state, const char* name, int64_t bytes, Write write) {
    if (!temp_folder().ok()) return state.SkipWithError("cannot create a folder under /tmp");
    const ImageRecord& frame = shared_frame();
    const std::string path = temp_folder().file(name);
    for (auto _ : state) {
        const vora::WriteResult written = write(path, frame);
        if (!written.ok()) {
            state.SkipWithError(written.detail.c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

template <class Read>
void read_loop(benchmark::State& state, const std::string& path, int64_t bytes, Read read) {
    if (path.empty()) return state.SkipWithError("cannot write the input file");
    for (auto _ : state) {
        ImageRecord image;  // an empty slot, as when a file is opened
        const vora::ReadResult result = read(path, image);
        if (!result.ok()) {
            state.SkipWithError(result.detail.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.red.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_WriteTiff48(benchmark::State& state) {
    write_loop(state, "write.tif", kTiffBytes, vora::write_tiff);
}
BENCHMARK(BM_WriteTiff48)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadTiff48(benchmark::State& state) {
    read_loop(state, tiff_input(), kTiffBytes, vora::read_tiff);
}
BENCHMARK(BM_ReadTiff48)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadTiff48Lzw(benchmark::State& state) {
    read_loop(state, lzw_tiff_input(), kTiffBytes, vora::read_tiff);
}
BENCHMARK(BM_ReadTiff48Lzw)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WritePng24(benchmark::State& state) {
    write_loop(state, "write.png", kPngBytes, vora::write_png);
}
BENCHMARK(BM_WritePng24)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadPng24(benchmark::State& state) {
    read_loop(state, png_input(), kPngBytes, vora::read_png);
}
BENCHMARK(BM_ReadPng24)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
