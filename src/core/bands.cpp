#include "core/bands.h"

#include <exception>
#include <thread>

namespace vora {
namespace {
thread_local bool serial_bands = false;
}

BandBounds band_bounds(int rows, int band) {
    // Products taken in 64 bits: rows × 3 may pass 2^31 for hostile sizes.
    const long long h = rows;
    return {int(band * h / kBandCount), int((band + 1) * h / kBandCount)};
}

void run_bands(int rows, const std::function<void(int band, int begin, int end)>& fn) {
    // A band that throws (std::bad_alloc) must not end the process: its exception is kept
    // and rethrown on the caller once every band has finished.
    std::exception_ptr failure[kBandCount];
    auto run = [&](int band) {
        try {
            const BandBounds b = band_bounds(rows, band);
            fn(band, b.begin, b.end);
        } catch (...) {
            failure[band] = std::current_exception();
        }
    };
    if (serial_bands) {
        for (int band = 0; band < kBandCount; ++band) run(band);
    } else {
        std::thread workers[kBandCount - 1];
        for (int band = 0; band < kBandCount - 1; ++band) workers[band] = std::thread(run, band);
        run(kBandCount - 1);
        for (auto& worker : workers) worker.join();
    }
    for (auto& f : failure)
        if (f) std::rethrow_exception(f);
}

SerialBandsScope::SerialBandsScope() : previous_(serial_bands) { serial_bands = true; }
SerialBandsScope::~SerialBandsScope() { serial_bands = previous_; }

}  // namespace vora
