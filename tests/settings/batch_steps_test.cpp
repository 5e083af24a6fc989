#include "settings/batch_steps.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "settings/settings_file.h"

namespace vora {
namespace {

using Values = std::array<int32_t, kStepValues>;

Values values_of(std::vector<int32_t> front, std::vector<std::pair<int, int32_t>> more = {}) {
    Values v{};
    for (std::size_t i = 0; i < front.size(); ++i) v[i] = front[i];
    for (auto [i, x] : more) v[std::size_t(i)] = x;
    return v;
}

struct LayoutCase {
    int32_t operation;
    std::function<void(Settings&)> set;  // non-default values in every field the step keeps
    Values expected;                     // worked out from the layout table
};

std::vector<LayoutCase> layout_cases() {
    Values gamma = values_of({0, 1});
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 3; ++j) {
            gamma[std::size_t(2 + k * 6 + j * 2)] = 10 * k + j;
            gamma[std::size_t(3 + k * 6 + j * 2)] = 100 + 10 * k + j;
        }
    return {
        {2,
         [](Settings& s) {
             s.multi_file_composite = {4, 31, 3, 0, 9, 2, 0, {}};
             s.composite.rotation_size = 48;
         },
         values_of({31, 3, 0, 2, 9, 4}, {{11, 0}, {12, 48}})},
        {4, [](Settings& s) { s.cut = {8, 640, 480, 0, 320, 240, 50}; },
         values_of({8, 640, 480, 0, 320, 240, 50})},
        {5, [](Settings& s) { s.background_generation = {64, 8, 2, 12, 1, 0}; },
         values_of({64, 8, 2, 12, 1, 0})},
        {6, [](Settings& s) { s.sharp = {3, 5120, 20, 30, 40, 1, 0, 1}; },
         values_of({1, 0, 1, 3, 5120, 20, 30, 40})},
        {7, [](Settings& s) { s.edge = {7680, 22, 60, 11, 2, 0, 1, 1}; },
         values_of({0, 1, 1, 2, 7680, 11, 22, 60})},
        {8,
         [](Settings& s) {
             s.wavelet.gain = {11, 12, 13, 14, 15, 16};
             s.wavelet_filter.order = 4;
         },
         values_of({4, 11, 12, 13, 14, 15, 16})},
        {9,
         [](Settings& s) {
             s.restore = {15, 25, 4, 2};
         },
         values_of({15, 25, 4, 2})},
        {10,
         [](Settings& s) {
             s.rotate = {5, -1250};
         },
         values_of({5, -1250})},
        {11, [](Settings& s) { s.distortion.corner_shift = -7; }, values_of({-7})},
        {12,
         [](Settings& s) {
             s.gamma.curve_mode = 0;
             s.gamma.channel = kToneRed;
             for (int k = 0; k < 4; ++k)
                 for (int j = 0; j < 3; ++j)
                     s.gamma.points[std::size_t(k)][std::size_t(j)] = {10 * k + j,
                                                                       100 + 10 * k + j};
         },
         gamma},
        {13,
         [](Settings& s) {
             s.level.channel = kToneGreen;
             for (int k = 0; k < 4; ++k)
                 s.level.sets[std::size_t(k)] = {k, 250 - k, -k, 2 * k, 100 + k, k + 1, 200 + k};
         },
         values_of({2, 0,   250, 0, 0,   100, 1,   200, 1,   249, -1, 2,   101, 2,  201,
                    2, 248, -2,  4, 102, 3,   202, 3,   247, -3,  6,  103, 4,   203})},
        {14,
         [](Settings& s) {
             s.color = {150, 90};
         },
         values_of({150, 90})},
        {15,
         [](Settings& s) {
             s.noise = {3, 7, 4};
         },
         values_of({3, 7, 4})},
        {16,
         [](Settings& s) {
             s.dynamic_range = {16, 64, 9};
         },
         values_of({16, 64, 9})},
    };
}

TEST(BatchStepSettings, EachLayoutMapsTheSettingsBothWays) {
    for (const LayoutCase& c : layout_cases()) {
        SCOPED_TRACE(c.operation);
        Settings s;
        c.set(s);
        const Values v = step_values_from(s, c.operation);
        EXPECT_EQ(v, c.expected);
        Settings back;
        step_values_to(v, c.operation, back);
        EXPECT_EQ(step_values_from(back, c.operation), v);
        EXPECT_EQ(settings_text(back), settings_text(s));  // nothing else taken or lost
    }
}

TEST(BatchStepSettings, GammaSwitchKeepsASelectedChannel) {
    Settings s;
    s.gamma.channel = kToneBlue;
    EXPECT_EQ(step_values_from(s, kStepGamma)[1], 1);
    Values v = step_values_from(s, kStepGamma);
    step_values_to(v, kStepGamma, s);
    EXPECT_EQ(s.gamma.channel, kToneBlue);
    Settings fresh;  // all colours selected: the switch picks red
    step_values_to(v, kStepGamma, fresh);
    EXPECT_EQ(fresh.gamma.channel, kToneRed);
    v[1] = 0;
    step_values_to(v, kStepGamma, s);
    EXPECT_EQ(s.gamma.channel, kToneAll);
}

TEST(BatchStepSettings, ChangedOperationStartsFromTheInteractiveSettings) {
    BatchRecipe r;
    Settings live;
    live.edge.edge_strength = 33;
    r.steps[2].operation = kStepEdge;
    r.steps[2].stored_operation = kStepSharpen;
    r.steps[2].values = values_of({0, 0, 0, 9, 9, 9, 9, 9});
    load_step_settings(r, live, kStepEdge, 2);
    EXPECT_EQ(live.edge.edge_strength, 33);
    EXPECT_EQ(live.sharp.radius, Settings{}.sharp.radius);
    store_step_settings(r, live, kStepEdge, 2);
    EXPECT_EQ(r.steps[2].stored_operation, kStepEdge);
    EXPECT_EQ(r.steps[2].values, step_values_from(live, kStepEdge));
    EXPECT_EQ(r.steps[2].values[6], 33);
}

TEST(BatchStepSettings, StepValuesSurviveAnEditAndTheLiveSettingsComeBack) {
    BatchRecipe r;
    Settings live;
    r.steps[3].operation = r.steps[3].stored_operation = kStepSharpen;
    r.steps[3].values = values_of({1, 1, 0, 9, 2560, 10, 10, 50}, {{20, 77}});
    load_step_settings(r, live, kStepSharpen, 3);
    EXPECT_EQ(live.sharp.radius, 9);
    EXPECT_EQ(live.sharp.use_b, 0);
    live.sharp.radius = 4;    // the dialog's edit
    live.edge.edge_area = 5;  // another group changed meanwhile
    store_step_settings(r, live, kStepSharpen, 3);
    EXPECT_EQ(r.steps[3].values[3], 4);
    EXPECT_EQ(r.steps[3].values[2], 0);
    EXPECT_EQ(r.steps[3].values[20], 77);  // unused index kept
    EXPECT_EQ(live.sharp.radius, 1);
    EXPECT_EQ(live.sharp.use_b, 1);
    EXPECT_EQ(live.edge.edge_area, 5);
    EXPECT_FALSE(r.saved_live);
}

TEST(BatchStepSettings, SaveStepKeepsItsFilterIndexAndBadStepsAreIgnored) {
    BatchRecipe r;
    Settings live;
    r.steps[7].stored_operation = kStepSave;
    r.steps[7].values[0] = 5;
    load_step_settings(r, live, kStepSave, 7);
    store_step_settings(r, live, kStepSave, 7);
    EXPECT_EQ(r.steps[7].values[0], 5);
    const BatchRecipe before = r;
    for (int step : {-1, 8, 1000}) {
        load_step_settings(r, live, kStepSharpen, step);
        store_step_settings(r, live, kStepSharpen, step);
    }
    store_step_settings(r, live, 12345, 1);  // operations without settings hold nothing
    EXPECT_EQ(step_values_from(live, kStepSave), Values{});
    EXPECT_EQ(r.steps[1].values, Values{});
    EXPECT_EQ(r.steps[7].values, before.steps[7].values);
}

}  // namespace
}  // namespace vora
