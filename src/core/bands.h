// The band runner: the one place that starts threads. Rows are split into four bands
// (band k = rows k·h/4 up to (k+1)·h/4); bands 0-2 run on worker threads, band 3 on the
// caller, and the call returns when all four are done.
#pragma once

#include <functional>

namespace vora {

inline constexpr int kBandCount = 4;

struct BandBounds {
    int begin;
    int end;  // exclusive
};

BandBounds band_bounds(int rows, int band);

// fn(band, begin, end) is called once per band, also for empty bands.
void run_bands(int rows, const std::function<void(int band, int begin, int end)>& fn);

// While alive, run_bands on this thread runs the four bands one after another on the
// caller (tests use it to show that results do not depend on scheduling).
class SerialBandsScope {
public:
    SerialBandsScope();
    ~SerialBandsScope();
    SerialBandsScope(const SerialBandsScope&) = delete;
    SerialBandsScope& operator=(const SerialBandsScope&) = delete;

private:
    bool previous_;
};

}  // namespace vora
