// The image table's whole-record helpers on a 6000 × 4000 frame.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench_support.h"
#include "core/image_table.h"
#include "core/undo.h"

namespace {

using vora::ImageRecord;
using vora::bench::kFrameHeight;
using vora::bench::kFrameWidth;
using vora::bench::shared_frame;

constexpr int64_t kPlaneBytes = int64_t(kFrameWidth) * kFrameHeight * 2;
constexpr int64_t kRecordBytes = kPlaneBytes * 3;

void BM_ComputeStatistics(benchmark::State& state) {
    ImageRecord frame = shared_frame();
    for (auto _ : state) {
        vora::compute_statistics(frame);
        benchmark::DoNotOptimize(frame.mean_value);
    }
    state.SetBytesProcessed(state.iterations() * kRecordBytes);
}
BENCHMARK(BM_ComputeStatistics)->Unit(benchmark::kMillisecond);

// Samples about 100 × 100 pixels whatever the size: its time should not grow with the frame.
void BM_ComputeHistogram(benchmark::State& state) {
    ImageRecord frame = shared_frame();
    for (auto _ : state) {
        vora::compute_histogram(frame);
        benchmark::DoNotOptimize(frame.histogram_peak);
    }
}
BENCHMARK(BM_ComputeHistogram)->Unit(benchmark::kMicrosecond);

// Copying into an empty slot (a new image): the planes are allocated on every copy.
void BM_CopyRecordToEmptySlot(benchmark::State& state) {
    const ImageRecord& frame = shared_frame();
    for (auto _ : state) {
        ImageRecord copy;
        vora::copy_record(frame, copy);
        benchmark::DoNotOptimize(copy.blue.data());
    }
    state.SetBytesProcessed(state.iterations() * kRecordBytes);
}
BENCHMARK(BM_CopyRecordToEmptySlot)->Unit(benchmark::kMillisecond)->UseRealTime();

// Copying over a slot that already holds an image of the same size: memory is reused.
void BM_CopyRecordOverSameSize(benchmark::State& state) {
    const ImageRecord& frame = shared_frame();
    ImageRecord copy = frame;
    for (auto _ : state) {
        vora::copy_record(frame, copy);
        benchmark::DoNotOptimize(copy.blue.data());
    }
    state.SetBytesProcessed(state.iterations() * kRecordBytes);
}
BENCHMARK(BM_CopyRecordOverSameSize)->Unit(benchmark::kMillisecond)->UseRealTime();

// Only the first snapshot of a record allocates the undo planes; every later one reuses their
// memory. That is the realistic case (an image being edited takes a snapshot before each
// command, and after the first its undo planes already have the image's size), so one
// snapshot is taken before timing and every timed one reuses the memory.
void BM_TakeSnapshot(benchmark::State& state) {
    ImageRecord frame = shared_frame();
    vora::take_snapshot(frame);
    for (auto _ : state) {
        vora::take_snapshot(frame);
        benchmark::DoNotOptimize(frame.undo_blue.data());
    }
    state.SetBytesProcessed(state.iterations() * kRecordBytes);
}
BENCHMARK(BM_TakeSnapshot)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
