#include "io/file_kind.h"

#include <gtest/gtest.h>

namespace vora {
namespace {

TEST(FileKind, ExtensionsDecideTheKindWithoutCase) {
    struct Case {
        const char* name;
        FileKind kind;
    };
    const Case cases[] = {
        {"a.bmp", kKindBmp},        {"a.BMP", kKindBmp},      {"a.tiff", kKindTiff},
        {"a.TIF", kKindTiff},       {"a.Tif", kKindTiff},     {"a.ppm", kKindPnm},
        {"a.PGM", kKindPnm},        {"a.jpg", kKindJpeg},     {"a.jpeg", kKindJpeg},
        {"a.fts", kKindFits},       {"a.fit", kKindFits},     {"a.fits", kKindFits},
        {"a.gif", kKindGif},        {"a.png", kKindPng},      {"IMG_1.CR2", kKindRaw},
        {"x.nef", kKindRaw},        {"x.dng", kKindRaw},      {"x.SRW", kKindRaw},
        {"x.rw2", kKindRaw},        {"noext", kKindUnknown},  {"a.txt", kKindUnknown},
        {"", kKindUnknown},         {"mp", kKindUnknown},     {"bmp", kKindBmp},
        {"dir.bmp/file", kKindUnknown},
        {"framebmp", kKindBmp},  // only the last letters count, a dot is not needed
    };
    for (const Case& c : cases) EXPECT_EQ(file_kind(c.name), c.kind) << c.name;
}

}  // namespace
}  // namespace vora
