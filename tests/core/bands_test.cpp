#include "core/bands.h"

#include <gtest/gtest.h>

#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <vector>

namespace vora {
namespace {

TEST(Bands, BoundsSplitRowsIntoQuarters) {
    struct Case {
        int rows;
        std::vector<BandBounds> bands;
    };
    const Case cases[] = {
        {1, {{0, 0}, {0, 0}, {0, 0}, {0, 1}}},  // only the caller's band has work
        {3, {{0, 0}, {0, 1}, {1, 2}, {2, 3}}},
        {4, {{0, 1}, {1, 2}, {2, 3}, {3, 4}}},
        {10, {{0, 2}, {2, 5}, {5, 7}, {7, 10}}},
        {0, {{0, 0}, {0, 0}, {0, 0}, {0, 0}}},
    };
    for (const Case& c : cases)
        for (int k = 0; k < kBandCount; ++k) {
            EXPECT_EQ(band_bounds(c.rows, k).begin, c.bands[std::size_t(k)].begin) << c.rows;
            EXPECT_EQ(band_bounds(c.rows, k).end, c.bands[std::size_t(k)].end) << c.rows;
        }
    // Large heights: k·h/4 computed without overflow.
    EXPECT_EQ(band_bounds(1'000'000'000, 3).begin, 750'000'000);
}

TEST(Bands, EveryRowIsVisitedOnceAndTheCallerRunsTheLastBand) {
    for (int rows : {1, 3, 7, 1000}) {
        std::vector<int> visits(std::size_t(rows), 0);
        std::thread::id band3_thread;
        std::mutex m;
        run_bands(rows, [&](int band, int begin, int end) {
            for (int y = begin; y < end; ++y) ++visits[std::size_t(y)];  // disjoint rows
            if (band == 3) {
                std::lock_guard<std::mutex> lock(m);
                band3_thread = std::this_thread::get_id();
            }
        });
        for (int v : visits) EXPECT_EQ(v, 1);
        EXPECT_EQ(band3_thread, std::this_thread::get_id());
    }
}

TEST(Bands, BandsRunConcurrentlyUnlessSerialIsAsked) {
    std::set<std::thread::id> threads;
    std::mutex m;
    auto record = [&](int, int, int) {
        std::lock_guard<std::mutex> lock(m);
        threads.insert(std::this_thread::get_id());
    };
    run_bands(8, record);
    EXPECT_EQ(threads.size(), 4u);
    threads.clear();
    {
        SerialBandsScope serial;
        run_bands(8, record);
    }
    EXPECT_EQ(threads.size(), 1u);
}

TEST(Bands, AFailingBandIsReportedOnTheCaller) {
    EXPECT_THROW(run_bands(8,
                           [](int band, int, int) {
                               if (band == 1) throw std::bad_alloc();
                           }),
                 std::bad_alloc);
}

}  // namespace
}  // namespace vora
