#include "core/engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/workbench.h"
#include "test_support.h"

namespace vora {
namespace {

using test::make_image;
using test::make_workbench;

// What the recording kernels saw, in call order.
struct Log {
    std::vector<std::string> calls;
    ParamVector params{};
};
Log* g_log = nullptr;  // kernels are plain function pointers; tests run one at a time

std::string plane_name(const ImageRecord& r, const uint16_t* data) {
    if (data == r.red.data()) return "R";
    if (data == r.green.data()) return "G";
    if (data == r.blue.data()) return "B";
    return "?";
}

ImageRecord* g_target = nullptr;

OperationKernels recording_kernels() {
    OperationKernels k;
    k.sharpen = [](PlaneRef p, const ParamVector& v) {
        g_log->calls.push_back("sharpen " + plane_name(*g_target, p.data));
        g_log->params = v;
    };
    k.tone_curve = [](PlaneRef p, int channel, const ParamVector&) {
        g_log->calls.push_back("tone " + plane_name(*g_target, p.data) + std::to_string(channel));
    };
    k.edge = [](PlaneRef p, const ParamVector& v) {
        g_log->calls.push_back("edge " + plane_name(*g_target, p.data));
        g_log->params = v;
    };
    k.edge_joint = [](std::array<PlaneRef, 3>, const ParamVector& v) {
        g_log->calls.push_back("edge joint");
        g_log->params = v;
    };
    k.resize = [](ImageRecord&, const ParamVector& v) {
        g_log->calls.push_back("resize");
        g_log->params = v;
    };
    k.background = [](Workbench&, ImageRecord&, int32_t mode, const std::array<int32_t, 6>& l,
                      int32_t extra) {
        g_log->calls.push_back("background " + std::to_string(mode) + " " + std::to_string(l[0]) +
                               " " + std::to_string(l[5]) + " " + std::to_string(extra));
    };
    k.rotate_quarter = [](ImageRecord&, int32_t a) {
        g_log->calls.push_back("quarter " + std::to_string(a));
    };
    k.rotate_any = [](ImageRecord&, int32_t a, int32_t mode) {
        g_log->calls.push_back("any " + std::to_string(a) + " " + std::to_string(mode));
    };
    k.flip = [](ImageRecord&, int32_t mode) { g_log->calls.push_back("flip " + std::to_string(mode)); };
    k.saturation_hue = [](ImageRecord&, int32_t, int32_t) { g_log->calls.push_back("sathue"); };
    k.line_image = [](const ImageRecord&, ImageRecord& t, bool odd) {
        g_log->calls.push_back(std::string(odd ? "odd " : "even ") + std::to_string(t.width) + "x" +
                               std::to_string(t.height));
    };
    k.background_generation = [](ConstPlaneRef, uint16_t*, int32_t a, int32_t b, int32_t c) {
        g_log->calls.push_back("bggen " + std::to_string(a) + " " + std::to_string(b) + " " +
                               std::to_string(c));
    };
    k.wavelet = [](PlaneRef p, const std::array<double, 8>& g) {
        g_log->calls.push_back("wavelet " + plane_name(*g_target, p.data) + " " +
                               std::to_string(g[0]).substr(0, 3));
    };
    k.wavelet_enlarge = [](ConstPlaneRef p, const std::array<double, 8>&, int32_t order,
                           Plane& out) {
        g_log->calls.push_back("enlarge " + std::to_string(order));
        out.assign(std::size_t(p.width) * 2 * std::size_t(p.height) * 2, 1);
    };
    k.restore = [](PlaneRef p, const ParamVector&) {
        g_log->calls.push_back("restore " + plane_name(*g_target, p.data));
    };
    return k;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        wb = make_workbench();
        wb->table[0] = make_image(4, 3, [](int c, int x, int y) { return c * 1000 + y * 4 + x; });
        g_log = &log;
        g_target = &wb->table[0];
        kernels = recording_kernels();
    }
    void TearDown() override { g_log = nullptr; }
    std::vector<std::string> run(int code, int slot = 0) {
        log.calls.clear();
        apply_operation(*wb, slot, code, kernels);
        return log.calls;
    }
    using Calls = std::vector<std::string>;
    std::unique_ptr<Workbench> wb;
    Log log;
    OperationKernels kernels;
};

TEST_F(EngineTest, UnknownCodesAndUnbuiltOperationsDoNothing) {
    const ImageRecord before = wb->table[0];
    wb->params[0] = 99;  // would be clamped by code 0
    for (int code : {4, 11, 40, 99, 103, -1, 2, 21}) EXPECT_TRUE(run(code).empty()) << code;
    apply_operation(*wb, 0, 0, OperationKernels{});  // no sharpen kernel: no clamping either
    EXPECT_EQ(wb->params[0], 99);
    EXPECT_EQ(wb->table[0].red, before.red);
    apply_operation(*wb, 300, 0, kernels);  // a slot outside the table is ignored
}

TEST_F(EngineTest, SharpenClampsAndWritesBackAndFollowsTheMask) {
    wb->params = {};
    wb->params[0] = 0;
    wb->params[1] = 70000;
    wb->params[2] = -5;
    wb->params[3] = 51;
    wb->params[4] = -7;  // passed as is
    wb->params[5] = kMaskRed | kMaskBlue;
    EXPECT_EQ(run(0), (Calls{"sharpen R", "sharpen B"}));
    EXPECT_EQ(wb->params[0], 1);
    EXPECT_EQ(wb->params[1], 65535);
    EXPECT_EQ(wb->params[2], 0);
    EXPECT_EQ(wb->params[3], 50);
    EXPECT_EQ(wb->params[4], -7);
    wb->params[0] = 11;
    run(0);
    EXPECT_EQ(wb->params[0], 10);
    EXPECT_EQ(log.params[0], 10);  // the kernel sees the clamped values
}

TEST_F(EngineTest, SharpenOnMonoUsesRedForAnyMaskBit) {
    wb->table[0].mono = 1;
    wb->params[5] = 0;
    EXPECT_TRUE(run(0).empty());
    wb->params[5] = kMaskGreen;
    EXPECT_EQ(run(0), Calls{"sharpen R"});
}

TEST_F(EngineTest, EmptyTargetsAreSkipped) {
    for (int code : {0, 1, 5, 101, 102}) EXPECT_TRUE(run(code, 1).empty()) << code;
}

TEST_F(EngineTest, ToneCurveChannels) {
    EXPECT_EQ(run(1), (Calls{"tone R0", "tone G1", "tone B2"}));
    ImageRecord& r = wb->table[0];
    r.mono = 1;
    wb->params[9] = 0;
    EXPECT_EQ(run(1), Calls{"tone R0"});
    wb->params[9] = 1;  // separate channels: grey copied into green and blue first
    EXPECT_EQ(run(1), (Calls{"tone R0", "tone G1", "tone B2"}));
    EXPECT_EQ(r.green, r.red);
    EXPECT_EQ(r.blue, r.red);
}

TEST_F(EngineTest, EdgeClampsAndChoosesJointOrSeparate) {
    wb->params[1] = -1;
    wb->params[2] = 99;
    wb->params[3] = 101;
    wb->params[4] = 51;
    wb->params[5] = 7;
    EXPECT_EQ(run(5), Calls{"edge joint"});
    EXPECT_EQ(wb->params[1], 0);
    EXPECT_EQ(wb->params[2], 50);
    EXPECT_EQ(wb->params[3], 100);
    EXPECT_EQ(wb->params[4], 50);
    wb->params[5] = kMaskGreen;
    EXPECT_EQ(run(5), Calls{"edge G"});
    wb->table[0].mono = 1;
    wb->params[5] = 7;
    EXPECT_EQ(run(5), Calls{"edge R"});
}

TEST_F(EngineTest, ResizeClampsItsRatiosToAtLeastOne) {
    wb->params[0] = 0;
    wb->params[1] = -3;
    wb->params[2] = 5;
    wb->params[3] = 0;
    run(6);
    EXPECT_EQ(wb->params[0], 1);
    EXPECT_EQ(wb->params[1], 1);
    EXPECT_EQ(wb->params[2], 5);
    EXPECT_EQ(wb->params[3], 1);
}

TEST_F(EngineTest, BackgroundGetsLevelsTimes256) {
    wb->params[0] = 3;
    wb->params[2] = 10;
    wb->params[7] = 255;
    wb->params[8] = -4;
    EXPECT_EQ(run(7), Calls{"background 3 2560 65280 -4"});
}

TEST_F(EngineTest, RotationPathsAndAngleWriteBack) {
    struct Case {
        int32_t angle, mode;
        std::string call;
        int32_t written;
    };
    const Case cases[] = {
        {9000, 0, "quarter 90000", 90000},    {-9000, 0, "quarter -90000", -90000},
        {18000, 0, "quarter 180000", 180000}, {-18000, 0, "quarter -180000", -180000},
        {9001, 0, "any 90010 1", 90010},      {27000, 0, "any 270000 1", 270000},
        {1234, 4, "flip 1", 12340},           {1234, 5, "flip 2", 12340},
    };
    for (const Case& c : cases) {
        wb->params[0] = c.angle;
        wb->params[1] = c.mode;
        EXPECT_EQ(run(10), Calls{c.call}) << c.angle;
        EXPECT_EQ(wb->params[0], c.written);
    }
}

TEST_F(EngineTest, SaturationHueSkipsMonoImages) {
    EXPECT_EQ(run(22), Calls{"sathue"});
    wb->table[0].mono = 1;
    EXPECT_TRUE(run(22).empty());
}

TEST_F(EngineTest, CreatedImagesTakeTheSourceSize) {
    wb->params[0] = 0;  // source slot
    EXPECT_EQ(run(30, 5), Calls{"even 4x3"});
    EXPECT_EQ(wb->table[5].red.size(), 12u);
    EXPECT_EQ(wb->table[5].blue.size(), 12u);
    EXPECT_EQ(run(31, 6), Calls{"odd 4x3"});
    wb->params[0] = 200;  // empty source: nothing is created
    EXPECT_TRUE(run(30, 7).empty());
    EXPECT_FALSE(wb->table[7].occupied());
    wb->params[0] = -1;
    EXPECT_TRUE(run(31, 7).empty());
}

TEST_F(EngineTest, BackgroundGenerationRunsPerPlaneWithTheThirdParameterLessOne) {
    wb->params = {};
    wb->params[1] = 32;
    wb->params[2] = 4;
    wb->params[3] = 3;
    EXPECT_EQ(run(50, 8), (Calls{"bggen 32 4 2", "bggen 32 4 2", "bggen 32 4 2"}));
    wb->table[9].mono = 1;  // the caller marks the target mono: one plane
    EXPECT_EQ(run(50, 9), Calls{"bggen 32 4 2"});
}

TEST_F(EngineTest, WaveletInPlaceOrEnlarged) {
    wb->params = {};
    wb->params[0] = 15;
    EXPECT_EQ(run(101), (Calls{"wavelet R 1.5", "wavelet G 1.5", "wavelet B 1.5"}));
    ImageRecord& r = wb->table[0];
    r.mono = 1;
    wb->params[14] = 1;
    wb->params[15] = 4;
    EXPECT_EQ(run(101), Calls{"enlarge 4"});
    EXPECT_EQ(r.width, 8);  // doubled also for a mono image
    EXPECT_EQ(r.height, 6);
    EXPECT_EQ(r.red.size(), 48u);
    EXPECT_EQ(r.green.size(), 48u);  // all planes keep the record's size
}

TEST_F(EngineTest, RestoreRunsPerPlane) {
    EXPECT_EQ(run(102), (Calls{"restore R", "restore G", "restore B"}));
    wb->table[0].mono = 1;
    EXPECT_EQ(run(102), Calls{"restore R"});
}

TEST(EnginePoints, PackedPointsUnpackToStoredRows) {
    const int32_t packed = pack_point(120, 5);
    EXPECT_EQ(packed, 120 * 16384 + 5);
    const StoredPoint p = unpack_point(packed, 100);
    EXPECT_EQ(p.x, 120);
    EXPECT_EQ(p.row, 94);  // 100 - 1 - 5
}

}  // namespace
}  // namespace vora
