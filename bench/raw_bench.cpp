// Camera RAW development of a 24-megapixel (6000 × 4000) DNG: the whole develop_raw (decoding
// included) with the program's fast development (option1 0) and with the decoder's
// interpolation at quality 0..3 (option1 1..4: bilinear, VNG, PPG, AHD); then the two halves
// of the fast path alone, decoding the sensor values and developing them.
//
// The file is written once per process under /tmp: an RGGB mosaic of 14-bit values (black
// 512, white 16383) showing a sky gradient, a few thousand stars and noise, with an as-shot
// white balance. Real time is reported: the development runs on the band runner and the
// decoder may use threads of its own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/workbench.h"
#include "io/dng_writer.h"
#include "io/raw_decoder.h"
#include "io/raw_develop.h"
#include "io/raw_sensor.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr uint32_t kBlack = 512;
constexpr uint32_t kWhite = 16383;
constexpr int kStarCount = 4000;

struct Lcg {
    uint32_t state;
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    float unit() { return float(next() >> 8) / float(1u << 24); }  // 0 ≤ u < 1
};

// The sky in linear sensor units above black, per filter colour (0 red, 1 green, 2 blue):
// a gradient brighter towards one corner, green the strongest as on most cameras.
float sky_level(int colour, int x, int y) {
    constexpr std::array<float, 3> base{700.0f, 1400.0f, 900.0f};
    constexpr std::array<float, 3> slope{500.0f, 800.0f, 300.0f};
    const float t = (float(x) / kWidth + float(y) / kHeight) * 0.5f;
    return base[std::size_t(colour)] + slope[std::size_t(colour)] * t;
}

// Filter colour of RGGB at (row, col).
int cfa_colour(int row, int col) {
    return (row & 1) == 0 ? ((col & 1) == 0 ? 0 : 1) : ((col & 1) == 0 ? 1 : 2);
}

vora::test::DngContent make_sky_dng() {
    vora::test::DngContent c;
    c.width = kWidth;
    c.height = kHeight;
    c.samples = 1;
    c.cfa = {0, 1, 1, 2};
    c.black = kBlack;
    c.white = kWhite;
    c.neutral = {0.48, 1.0, 0.66};  // as-shot white balance 2.08, 1, 1.52
    std::vector<float> level(std::size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            level[std::size_t(y) * kWidth + std::size_t(x)] = sky_level(cfa_colour(y, x), x, y);

    // Many faint stars, a few bright enough to clip; each slightly coloured.
    Lcg rng{0x2545F491u};
    for (int s = 0; s < kStarCount; ++s) {
        const float sx = rng.unit() * kWidth;
        const float sy = rng.unit() * kHeight;
        const float sigma = 0.8f + rng.unit() * 1.7f;
        const float u = rng.unit();
        const float peak = 300.0f + u * u * u * u * 30000.0f;
        const std::array<float, 3> tint{0.8f + 0.4f * rng.unit(), 1.0f, 0.8f + 0.4f * rng.unit()};
        const int reach = int(std::ceil(4 * sigma));
        const int x0 = std::max(0, int(sx) - reach), x1 = std::min(kWidth - 1, int(sx) + reach);
        const int y0 = std::max(0, int(sy) - reach), y1 = std::min(kHeight - 1, int(sy) + reach);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const float d2 =
                    (float(x) - sx) * (float(x) - sx) + (float(y) - sy) * (float(y) - sy);
                level[std::size_t(y) * kWidth + std::size_t(x)] +=
                    peak * tint[std::size_t(cfa_colour(y, x))] *
                    std::exp(-d2 / (2 * sigma * sigma));
            }
    }

    // Noise of about ±90 (the sum of two uniform values), then black added and white clipped.
    c.values.resize(level.size());
    for (std::size_t i = 0; i < level.size(); ++i) {
        const float noise = (rng.unit() + rng.unit() - 1.0f) * 90.0f;
        const float v = float(kBlack) + level[i] + noise;
        c.values[i] = uint16_t(std::clamp(v, 0.0f, float(kWhite)));
    }
    return c;
}

// The DNG file, written on first use; empty when it cannot be written.
const std::string& sky_dng_path() {
    static const std::string path = [] {
        const std::string p = vora::bench::temp_folder().file("sky_24mp.dng");
        return !p.empty() && vora::test::write_dng(p, make_sky_dng()) ? p : std::string();
    }();
    return path;
}

void set_pixels_processed(benchmark::State& state) {
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

// develop_raw as the RAW reader calls it: option1 = 0 fast development, 1..4 the decoder's
// interpolation at quality 0..3; no defect handling, the default hue.
void BM_RawDevelop(benchmark::State& state) {
    const std::string& path = sky_dng_path();
    if (path.empty()) return state.SkipWithError("cannot write the DNG file");
    vora::Workbench wb;
    const int32_t option1 = int32_t(state.range(0));
    const int32_t option3 = wb.settings.raw.hue * 2 - 36;
    for (auto _ : state) {
        vora::ImageRecord out;
        const vora::ReadResult r = vora::develop_raw(wb, path, out, option1, 0, option3);
        if (!r.ok()) return state.SkipWithError("develop_raw failed");
        benchmark::DoNotOptimize(out.red.data());
    }
    set_pixels_processed(state);
}
BENCHMARK(BM_RawDevelop)
    ->ArgName("option1")
    ->DenseRange(0, 4)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Decoding alone: identification, unpacking and the copy into four values per pixel.
void BM_RawDecodeSensor(benchmark::State& state) {
    const std::string& path = sky_dng_path();
    if (path.empty()) return state.SkipWithError("cannot write the DNG file");
    for (auto _ : state) {
        vora::RawSensor sensor;
        if (!vora::decode_raw_sensor(path, sensor).ok())
            return state.SkipWithError("decode_raw_sensor failed");
        benchmark::DoNotOptimize(sensor.values.data());
    }
    set_pixels_processed(state);
}
BENCHMARK(BM_RawDecodeSensor)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The fast development alone on sensor values decoded once. It changes the values it is
// given (tone curve), so every iteration works on a fresh copy made outside the timing.
void BM_RawDevelopFast(benchmark::State& state) {
    const std::string& path = sky_dng_path();
    if (path.empty()) return state.SkipWithError("cannot write the DNG file");
    vora::RawSensor decoded;
    if (!vora::decode_raw_sensor(path, decoded).ok())
        return state.SkipWithError("decode_raw_sensor failed");
    const vora::Workbench wb;
    const int32_t hue_shift = wb.settings.raw.hue * 2 - 36;
    for (auto _ : state) {
        state.PauseTiming();
        vora::RawSensor sensor = decoded;
        vora::ImageRecord out;
        state.ResumeTiming();
        vora::develop_fast(sensor, wb.settings.raw, hue_shift, out);
        benchmark::DoNotOptimize(out.red.data());
    }
    set_pixels_processed(state);
}
BENCHMARK(BM_RawDevelopFast)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
