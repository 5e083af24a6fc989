// Reading a 4000 × 3000 16-bit FITS frame (BZERO 32768, as astro cameras write them), from a
// file and from memory.
//
// The input goes to a private folder under /tmp, removed when the process ends.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench_support.h"
#include "io/dark_frames.h"
#include "io/fits.h"

namespace {

using vora::ImageRecord;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int64_t kDataBytes = int64_t(kWidth) * kHeight * 2;

std::string card(const std::string& text) {
    std::string c = text;
    c.resize(vora::kFitsCardSize, ' ');
    return c;
}

// The frame's green plane as unsigned 16-bit FITS data, header and data blocked.
const std::vector<uint8_t>& fits_bytes() {
    static const std::vector<uint8_t> bytes = [] {
        std::string header;
        for (const char* c : {"SIMPLE  =                    T", "BITPIX  =                   16",
                              "NAXIS   =                    2", "NAXIS1  =                 4000",
                              "NAXIS2  =                 3000", "BZERO   =                32768",
                              "BSCALE  =                    1", "END"})
            header += card(c);
        header.resize((header.size() + 2879) / 2880 * 2880, ' ');
        std::vector<uint8_t> out(header.begin(), header.end());
        const ImageRecord frame = vora::bench::make_frame(kWidth, kHeight);
        for (uint16_t v : frame.green) {
            const uint16_t raw = uint16_t(v ^ 0x8000);  // v − 32768 in two's complement
            out.push_back(uint8_t(raw >> 8));
            out.push_back(uint8_t(raw));
        }
        out.resize((out.size() + 2879) / 2880 * 2880, 0);
        return out;
    }();
    return bytes;
}

// The input file: written once per process, outside every timing loop.
const std::string& fits_input() {
    static const std::string path = [] {
        const std::string p = vora::bench::temp_folder().file("input.fits");
        if (p.empty()) return std::string();
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (!f) return std::string();
        const std::vector<uint8_t>& bytes = fits_bytes();
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return std::fclose(f) == 0 && ok ? p : std::string();
    }();
    return path;
}

void BM_ReadFits16(benchmark::State& state) {
    const std::string& path = fits_input();
    if (path.empty()) return state.SkipWithError("cannot write the input FITS file");
    const vora::DarkFrames no_dark;
    for (auto _ : state) {
        ImageRecord image;  // an empty slot, as when a file is opened
        const vora::ReadResult read = vora::read_fits(no_dark, path, image);
        if (!read.ok()) {
            state.SkipWithError(read.detail.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.red.data());
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}
BENCHMARK(BM_ReadFits16)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeFits16(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = fits_bytes();
    for (auto _ : state) {
        ImageRecord image;
        const vora::ReadResult read = vora::decode_fits(bytes.data(), bytes.size(), image);
        if (!read.ok()) {
            state.SkipWithError(read.detail.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.red.data());
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}
BENCHMARK(BM_DecodeFits16)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same frame with a dark frame of its size: each colour stretched on its own.
void BM_DecodeFits16WithDark(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = fits_bytes();
    const std::vector<int32_t> dark(std::size_t(kWidth) * kHeight, 100);
    const vora::FitsDarkView view{kWidth, kHeight, {dark.data(), dark.data(), dark.data()}};
    for (auto _ : state) {
        ImageRecord image;
        const vora::ReadResult read =
            vora::decode_fits(bytes.data(), bytes.size(), image, &view);
        if (!read.ok()) {
            state.SkipWithError(read.detail.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.red.data());
    }
    state.SetBytesProcessed(state.iterations() * kDataBytes);
}
BENCHMARK(BM_DecodeFits16WithDark)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
