#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "test_support.h"

namespace vora {
namespace {

using test::read_file;
using test::run_command;
using test::TempDir;
using test::write_file;

// ---- helpers over the field table ----

using Value = std::variant<int32_t, double>;

// Every stored value of `s`, group by group in the writer's order.
std::vector<Value> stored_values(Settings s) {
    std::vector<Value> values;
    for (const SettingsGroup& g : settings_groups(s))
        for (const auto& line : g.lines)
            for (const SettingsField& f : line) {
                if (auto* i = std::get_if<int32_t*>(&f))
                    values.push_back(**i);
                else
                    values.push_back(*std::get<double*>(f));
            }
    return values;
}

// A Settings whose stored fields all differ from each other and from their defaults:
// the n-th value (from 1) is ±(3000 + 7n), the RAW gammas n + (n mod 64 + 1) / 64, which
// binary doubles hold exactly and which need all six decimals.
Settings distinct_settings() {
    Settings s;
    int n = 0;
    for (const SettingsGroup& g : settings_groups(s))
        for (const auto& line : g.lines)
            for (const SettingsField& f : line) {
                ++n;
                if (auto* i = std::get_if<int32_t*>(&f))
                    **i = (n % 2 ? 1 : -1) * (3000 + 7 * n);
                else
                    *std::get<double*>(f) = n + (n % 64 + 1) / 64.0;
            }
    return s;
}

Settings read_text(const std::string& text, Settings s = Settings{}) {
    read_settings(text, s);
    return s;
}

// ---- the writer ----

// The whole default file, worked out from the keyword table and each dialog's defaults.
const char* const kDefaultFile =
    "sharp\n1 2560 10 10\n"
    "sharp_flt\n50\n"
    "gamma\n1\n"
    "0 0 128 128 255 255\n0 0 128 128 255 255\n0 0 128 128 255 255\n0 0 128 128 255 255\n"
    "lvl\n0\n"
    "0 255 0 0 100 0 255\n0 255 0 0 100 0 255\n0 255 0 0 100 0 255\n0 255 0 0 100 0 255\n"
    "composite\n0 20 2 1 5 1\n"
    "edge\n2560 10 50\n"
    "resize\n1 1\n"
    "back1\n3 0 30\n"
    "back2\n0 0 0 0 0 0 0 200\n"
    "back3\n32 16 0 30 0\n"
    "round\n3 0\n"
    "gray\n2 299 587 114\n"
    "color\n100 180\n"
    "level\n10\n"
    "dark\n0 0 0 0\n"
    "waikyoku\n0\n"
    "display\n256\n"
    "raw\n2.200000 2.200000 2.200000\n5 180 3 160 0 130\n4 0 2 3 18\n0\n"
    "VER264\n1 0 0\n"
    "wavelet\n10 10 10 10 10 10\n"
    "filter\n2 0\n"
    "edgearea\n1 10\n"
    "restore\n10 20 3 1\n"
    "noise\n5 10 3\n"
    "cut\n4 1024 768\n1 1024 768 100\n"
    "hdr\n8 32 5\n"
    "VER560\n1\n"
    "compfile\n0 20 1 1 5 1 1\n"
    "compround\n64\n"
    "sel_ab\n0 8\n";

TEST(SettingsFileWriter, DefaultsGiveTheDocumentedFile) {
    EXPECT_EQ(settings_text(Settings{}), kDefaultFile);
    std::ostringstream out;
    write_settings(out, Settings{});
    EXPECT_EQ(out.str(), kDefaultFile);
}

TEST(SettingsFileWriter, GroupsKeepTheirFieldsInPlace) {
    Settings s;
    s.level.sets[2].gamma = 250;          // green set, fifth value
    s.gamma.points[3][2].in = 200;        // blue curve, third point's input
    s.background.edge[1] = 60;            // green edge: fifth value of back2
    s.composite.shift_y = -5;             // third value of VER264
    s.raw.white_level[2] = 255;           // blue white level: last of the six
    s.raw.gamma[1] = 1.05;
    const std::string text = settings_text(s);
    EXPECT_NE(text.find("lvl\n0\n0 255 0 0 100 0 255\n0 255 0 0 100 0 255\n"
                        "0 255 0 0 250 0 255\n"),
              std::string::npos);
    EXPECT_NE(text.find("0 0 128 128 200 255\nlvl"), std::string::npos);
    EXPECT_NE(text.find("back2\n0 0 0 0 60 0 0 200\n"), std::string::npos);
    EXPECT_NE(text.find("VER264\n1 0 -5\n"), std::string::npos);
    EXPECT_NE(text.find("raw\n2.200000 1.050000 2.200000\n5 180 3 160 0 255\n"),
              std::string::npos);
}

TEST(SettingsFileWriter, RawQualityIsWrittenUnderDarkAndRaw) {
    Settings s;
    s.raw.method = 1;
    s.raw.quality = 3;
    const std::string text = settings_text(s);
    EXPECT_NE(text.find("dark\n1 3 0 0\n"), std::string::npos);
    EXPECT_NE(text.find("4 0 2 3 18\n3\nVER264"), std::string::npos);
}

TEST(SettingsFileWriter, FieldTableNamesEveryStoredFieldOnceExceptTheSharedQuality) {
    Settings s;
    std::multiset<const void*> seen;
    for (const SettingsGroup& g : settings_groups(s))
        for (const auto& line : g.lines)
            for (const SettingsField& f : line)
                seen.insert(std::visit([](auto* p) { return static_cast<const void*>(p); }, f));
    for (const void* p : seen) {
        if (p == &s.raw.quality)
            EXPECT_EQ(seen.count(p), 2u);
        else
            EXPECT_EQ(seen.count(p), 1u);
    }
}

TEST(SettingsFileWriter, GammasUseSixDecimals) {
    Settings s;
    s.raw.gamma = {1.0, 3.9999996, 2.0000004};
    EXPECT_NE(settings_text(s).find("raw\n1.000000 4.000000 2.000000\n"), std::string::npos);
    Settings six;
    six.raw.gamma = {1.234567, 2.000001, 3.999999};
    EXPECT_EQ(read_text(settings_text(six)).raw.gamma, six.raw.gamma);
}

// A front end may switch to the user's locale; files must not follow its decimal comma.
// The test builds a locale whose only category is a German-style LC_NUMERIC.
TEST(SettingsFileWriter, ADecimalCommaLocaleChangesNeitherWritingNorReading) {
    TempDir dir;
    write_file(dir.file("comma.def"),
               "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"<U002E>\"\n"
               "grouping 3;3\nEND LC_NUMERIC\n");
    // localedef complains about the missing categories but writes the locale.
    run_command("localedef -c -i " + dir.file("comma.def") + " -f ISO-8859-1 " +
                dir.file("comma") + " >/dev/null 2>&1");
    ::setenv("LOCPATH", dir.path().c_str(), 1);
    const bool switched = std::setlocale(LC_NUMERIC, "comma") != nullptr;
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    Settings s;
    s.raw.gamma = {1.5, 2.25, 3.125};
    const std::string text = settings_text(s);
    const Settings back = read_text("raw 1.75 2.5 3,5 1");
    std::setlocale(LC_NUMERIC, "C");
    ::unsetenv("LOCPATH");
    if (!switched) GTEST_SKIP() << "localedef (package locales) could not build a test locale";
    ASSERT_STREQ(probe, "1,5");  // the locale really uses a decimal comma
    EXPECT_NE(text.find("raw\n1.500000 2.250000 3.125000\n"), std::string::npos);
    // "3,5" gives 3 and the comma stops the group before the black level.
    EXPECT_EQ(back.raw.gamma, (std::array<double, 3>{1.75, 2.5, 3.0}));
    EXPECT_EQ(back.raw.black_level[0], 5);
}

// ---- round trip ----

TEST(SettingsFileRoundTrip, EveryStoredFieldComesBackExactly) {
    const Settings original = distinct_settings();
    std::stringstream file;
    write_settings(file, original);
    Settings back;
    read_settings(file, back);
    EXPECT_EQ(stored_values(back), stored_values(original));
    EXPECT_EQ(settings_text(back), settings_text(original));
    // The gammas are values 102 to 104 of the table; "dark" before them holds the shared
    // quality (n = 97), overwritten by the last "raw" value (n = 116).
    EXPECT_NE(file.str().find("raw\n102.609375 103.625000 104.640625\n"), std::string::npos);
    EXPECT_NE(file.str().find("dark\n-3672 -3812 -3686 3693\n"), std::string::npos);
}

TEST(SettingsFileRoundTrip, ThroughAFileOnDisk) {
    TempDir dir;
    const std::string path = dir.file("all.vrs");
    const Settings original = distinct_settings();
    ASSERT_TRUE(save_settings_file(original, path).ok());
    EXPECT_EQ(read_file(path), settings_text(original));
    Settings back;
    ASSERT_TRUE(load_settings_file(back, path).ok());
    EXPECT_EQ(stored_values(back), stored_values(original));
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

// ---- the reader's rules ----

TEST(SettingsFileReader, EmptyOrBlankTextChangesNothing) {
    const Settings before = distinct_settings();
    for (const char* text : {"", " ", "\n\n", " \t\r\n\v\f "})
        EXPECT_EQ(stored_values(read_text(text, before)), stored_values(before)) << text;
}

TEST(SettingsFileReader, ResizeAloneChangesOnlyResize) {
    const Settings before = distinct_settings();
    Settings expected = before;
    expected.resize = {1, 2};
    EXPECT_EQ(stored_values(read_text("resize\n1 2\n", before)), stored_values(expected));
}

TEST(SettingsFileReader, ShortGroupKeepsTheRestAndTheNextKeywordIsRecognised) {
    Settings before;
    before.background.curve = 250;
    const Settings s = read_text("back2\n1 10 20 30 40 50 60\nback3\n64 8 2 40 1\n", before);
    EXPECT_EQ(s.background.pseudo_mode, 1);
    EXPECT_EQ(s.background.centre, (std::array<int32_t, 3>{10, 30, 50}));
    EXPECT_EQ(s.background.edge, (std::array<int32_t, 3>{20, 40, 60}));
    EXPECT_EQ(s.background.curve, 250);
    EXPECT_EQ(s.background_generation.detection_size, 64);
    EXPECT_EQ(s.background_generation.averaging_size, 8);
    EXPECT_EQ(s.background_generation.correction, 2);
    EXPECT_EQ(s.background_generation.shift, 40);
    EXPECT_EQ(s.background_generation.two_step, 1);
}

TEST(SettingsFileReader, CompositeComparisonMethodZeroBecomesOne) {
    EXPECT_EQ(read_text("composite 0 20 0 1 5 1").composite.compare_method, 1);
    EXPECT_EQ(read_text("composite 0 20 3 1 5 1").composite.compare_method, 3);
    // The rule follows every "composite" group, also one too short to hold the method.
    Settings zero;
    zero.composite.compare_method = 0;
    EXPECT_EQ(read_text("composite 4", zero).composite.compare_method, 1);
    EXPECT_EQ(read_text("resize 1 1", zero).composite.compare_method, 0);
    // The multi-file composite has no such rule.
    EXPECT_EQ(read_text("compfile 0 20 0 1 5 1 1").multi_file_composite.compare_method, 0);
}

TEST(SettingsFileReader, UnknownWordsAndTheirValuesAreSkipped) {
    const Settings before = distinct_settings();
    Settings expected = before;
    expected.resize = {0, 3};
    expected.dynamic_range = {12, 40, 7};
    const char* texts[] = {
        "foo 1 2 3 resize 0 3 hdr 12 40 7",
        "Resize 9 9 resize 0 3 HDR 1 1 1 hdr 12 40 7",   // keywords are case-sensitive
        "resize1 2 resize 0 3 hdrx 5 hdr 12 40 7 ver560 0",  // and matched as whole words
        "\x01\xff\xfe garbage\t\xe5\x85\xa8 resize 0 3\n#comment hdr 12 40 7",
    };
    for (const char* text : texts)
        EXPECT_EQ(stored_values(read_text(text, before)), stored_values(expected)) << text;
}

TEST(SettingsFileReader, LaterGroupsWin) {
    const Settings s = read_text("hdr 4 1 1\nnoise 3 1 1\nhdr 12 64 9\nhdr 16");
    EXPECT_EQ(s.dynamic_range.radius, 16);
    EXPECT_EQ(s.dynamic_range.tone_difference, 64);
    EXPECT_EQ(s.dynamic_range.strength, 9);
    EXPECT_EQ(s.noise.noise_area, 3);
}

TEST(SettingsFileReader, LineBreaksDoNotMatter) {
    const Settings a = read_text("cut 1 2 3 4 5 6 7 gamma 0 1 2 3 4 5 6");
    const Settings b = read_text("cut\r\n1\r\n2 3\t4\n5\n\n6 7\ngamma\f0\v1 2 3 4 5 6");
    EXPECT_EQ(stored_values(a), stored_values(b));
    EXPECT_EQ(a.cut.output_scale, 7);
    EXPECT_EQ(a.gamma.points[0][2].out, 6);
}

// Conversion failures, fscanf style: the failing field and the rest of its group stay,
// the failing word is read again as a word.
struct ConversionCase {
    const char* text;
    std::array<int32_t, 4> sharp;  // radius, threshold, smooth_strength, sharp_strength
};

TEST(SettingsFileReader, ConversionFailuresKeepTheRestOfTheGroup) {
    const ConversionCase cases[] = {
        {"sharp 3 x 5 6", {3, 2560, 10, 10}},
        {"sharp x 1 2 3 4", {1, 2560, 10, 10}},
        {"sharp 3 12abc 7 8", {3, 12, 10, 10}},           // "abc" stops the group
        {"sharp 3 4 5", {3, 4, 5, 10}},                   // the file ends early
        {"sharp 3 4 sharp 7 8 9 1", {7, 8, 9, 1}},        // a keyword ends the short group
        {"sharp 3 4sharp 7 8 9 1", {7, 8, 9, 1}},         // even glued to a number
        {"sharp +3 -4 +0 -0", {3, -4, 0, 0}},
        {"sharp - 4 5 6", {1, 2560, 10, 10}},             // a sign without digits fails
        {"sharp 3 +x 5 6", {3, 2560, 10, 10}},
        {"sharp 3 1.9 5 6", {3, 1, 10, 10}},              // ".9" is no integer
        {"sharp 2147483647 -2147483648 2147483648 -2147483649",
         {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}},   // beyond 32 bits saturates
        {"sharp 99999999999999999999 0 0 0", {INT32_MAX, 0, 0, 0}},
        {"sharp 007 0x10 1 1", {7, 0, 10, 10}},           // decimal only: "x10" stops
    };
    for (const ConversionCase& c : cases) {
        const Settings s = read_text(c.text);
        const std::array<int32_t, 4> got{s.sharp.radius, s.sharp.threshold,
                                         s.sharp.smooth_strength, s.sharp.sharp_strength};
        EXPECT_EQ(got, c.sharp) << c.text;
    }
}

TEST(SettingsFileReader, RawGammasAreReadAsDoubles) {
    struct Case {
        const char* text;
        std::array<double, 3> gamma;
        int32_t first_level;  // black level of red, read after the gammas
    };
    const Case cases[] = {
        {"raw 1.5 2 3.25 9", {1.5, 2.0, 3.25}, 9},
        {"raw 1e0 +2.5 .5 9", {1.0, 2.5, 0.5}, 9},
        {"raw 1.5 x 3 9", {1.5, 2.2, 2.2}, 5},
        {"raw 1.5 2.5 3.5x 9", {1.5, 2.5, 3.5}, 5},   // "x" is no integer
        {"raw 1.5 2.5 3.5 9.5", {1.5, 2.5, 3.5}, 9},  // ".5" stops the next integer
        {"raw 1e999 -1e999 1e-999 9", {HUGE_VAL, -HUGE_VAL, 0.0}, 9},
    };
    for (const Case& c : cases) {
        const Settings s = read_text(c.text);
        EXPECT_EQ(s.raw.gamma, c.gamma) << c.text;
        EXPECT_EQ(s.raw.black_level[0], c.first_level) << c.text;
    }
}

TEST(SettingsFileReader, DarkAndRawShareTheQuality) {
    Settings s = read_text("dark 1 3 2 512");
    EXPECT_EQ(s.raw.method, 1);
    EXPECT_EQ(s.raw.quality, 3);
    EXPECT_EQ(s.dark.defect_handling, 2);
    EXPECT_EQ(s.dark.defect_level, 512);
    s = read_text("dark 1 3 2 512 raw 2 2 2 1 2 3 4 5 6 7 8 9 10 11 2");
    EXPECT_EQ(s.raw.quality, 2);
}

TEST(SettingsFileReader, TheUnusedLevelValueIsKept) {
    EXPECT_EQ(Settings{}.unused_level, 10);
    const Settings s = read_text("level 77");
    EXPECT_EQ(s.unused_level, 77);
    EXPECT_NE(settings_text(s).find("color\n100 180\nlevel\n77\ndark"), std::string::npos);
}

TEST(SettingsFileReader, NothingIsRangeChecked) {
    const Settings s = read_text("noise 4 -1 99 display 3 sel_ab 9 100 lvl 7");
    EXPECT_EQ(s.noise.noise_area, 4);
    EXPECT_EQ(s.noise.noise_tolerance, -1);
    EXPECT_EQ(s.noise.noise_strength, 99);
    EXPECT_EQ(s.display.value_divisor, 3);
    EXPECT_EQ(s.display.ab_point_method, 9);
    EXPECT_EQ(s.display.ab_search_radius, 100);
    EXPECT_EQ(s.level.channel, 7);
}

TEST(SettingsFileReader, ReadsAWindowsStyleFileMadeByAnotherProgram) {
    if (run_command("/usr/bin/python3 -c 'pass' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "/usr/bin/python3 not available";
    TempDir dir;
    const std::string path = dir.file("win.vrs");
    // C-style formats and CRLF line ends, as a program writing in text mode on Windows does.
    const std::string script =
        "import sys\n"
        "f = open(sys.argv[1], 'w', newline='\\r\\n')\n"
        "f.write('resize\\n%d %d\\n' % (0, 3))\n"
        "f.write('raw\\n%f %f %f\\n' % (1.8, 2.45, 3.1))\n"
        "f.write('%d %d %d %d %d %d\\n' % (1, 200, 2, 190, 3, 180))\n"
        "f.write('%d %d %d %d %d\\n%d\\n' % (8, 1, 4, 0, 36, 2))\n"
        "f.write('sel_ab\\n%d %d\\n' % (3, 16))\n"
        "f.close()\n";
    write_file(dir.file("make.py"), script);
    ASSERT_EQ(run_command("/usr/bin/python3 " + dir.file("make.py") + " " + path), 0);
    ASSERT_NE(read_file(path).find("\r\n"), std::string::npos);
    Settings s;
    ASSERT_TRUE(load_settings_file(s, path).ok());
    EXPECT_EQ(s.resize.keep_aspect, 0);
    EXPECT_EQ(s.resize.resize_method, 3);
    EXPECT_EQ(s.raw.gamma, (std::array<double, 3>{1.8, 2.45, 3.1}));
    EXPECT_EQ(s.raw.black_level, (std::array<int32_t, 3>{1, 2, 3}));
    EXPECT_EQ(s.raw.white_level, (std::array<int32_t, 3>{200, 190, 180}));
    EXPECT_EQ(s.raw.sharpness, 8);
    EXPECT_EQ(s.raw.hue, 36);
    EXPECT_EQ(s.raw.quality, 2);
    EXPECT_EQ(s.display.ab_point_method, 3);
    EXPECT_EQ(s.display.ab_search_radius, 16);
}

TEST(SettingsFileWriter, GammasMatchAnotherProgramsSixDecimalFormatting) {
    if (run_command("/usr/bin/python3 -c 'pass' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "/usr/bin/python3 not available";
    const double values[] = {2.2, 0.1 + 0.2, 2.0000005, 1.0000004999, 1e-7, -0.0000004,
                             123456789.123456789, 3.9999995};
    TempDir dir;
    for (std::size_t i = 0; i + 3 <= std::size(values); i += 3) {
        Settings s;
        s.raw.gamma = {values[i], values[i + 1], values[i + 2]};
        const std::string ours = settings_text(s);
        const std::string script = dir.file("fmt.py");
        char repr[3][64];
        for (int k = 0; k < 3; ++k) std::snprintf(repr[k], sizeof repr[k], "%.17g", s.raw.gamma[k]);
        write_file(script, std::string("print('raw\\n%f %f %f' % (") + repr[0] + ", " + repr[1] +
                               ", " + repr[2] + "))\n");
        ASSERT_EQ(run_command("/usr/bin/python3 " + script + " > " + dir.file("out.txt")), 0);
        const std::string theirs = read_file(dir.file("out.txt"));
        EXPECT_NE(ours.find(theirs), std::string::npos) << theirs;
    }
}

// ---- files and names ----

TEST(SettingsFile, LoadingAFileThatCannotBeReadChangesNothing) {
    TempDir dir;
    const Settings before = distinct_settings();
    for (const std::string& path : {dir.file("missing.vrs"), dir.path().string()}) {
        Settings s = before;
        EXPECT_FALSE(load_settings_file(s, path).ok()) << path;
        EXPECT_EQ(stored_values(s), stored_values(before)) << path;
    }
}

TEST(SettingsFile, SaveIntoAMissingFolderFailsAndCreatesNothing) {
    TempDir dir;
    const std::string path = dir.file("no/such/folder/x.vrs");
    EXPECT_FALSE(save_settings_file(Settings{}, path).ok());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no"));
}

TEST(SettingsFile, SaveReplacesAnExistingFileWhole) {
    TempDir dir;
    const std::string path = dir.file("x.vrs");
    write_file(path, std::string(100000, 'z'));
    ASSERT_TRUE(save_settings_file(Settings{}, path).ok());
    EXPECT_EQ(read_file(path), kDefaultFile);
}

TEST(SettingsFile, VrsIsAppendedUnlessTheNameEndsInIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"test", "test.vrs"},
        {"test.vrs", "test.vrs"},
        {"test.VRS", "test.VRS.vrs"},
        {"test.Vrs", "test.Vrs.vrs"},
        {"/home/u/my.settings", "/home/u/my.settings.vrs"},
        {"a.vrs.bak", "a.vrs.bak.vrs"},
        {"vrs", "vrs.vrs"},
        {".vrs", ".vrs"},
    };
    for (const auto& [chosen, expected] : cases) EXPECT_EQ(settings_file_name(chosen), expected);
}

// ---- reset ----

TEST(SettingsReset, Flag0EmptiesTheImagesAndFlag1KeepsThem) {
    for (int flag : {0, 1}) {
        auto wb = test::make_workbench();
        wb->table[3] = test::make_image(4, 2, [](int, int, int) { return 7; });
        wb->table.current_slot = 3;
        wb->settings = distinct_settings();
        wb->settings.sharp.use_g = 0;
        wb->settings.composite.images[1] = "03(x.bmp)";
        reset_settings(*wb, flag);
        EXPECT_EQ(settings_text(wb->settings), kDefaultFile) << flag;
        EXPECT_EQ(wb->settings.sharp.use_g, 1) << flag;
        EXPECT_TRUE(wb->settings.composite.images[1].empty()) << flag;
        EXPECT_EQ(wb->table[3].occupied(), flag == 1) << flag;
        EXPECT_EQ(wb->table.current_slot, flag == 1 ? 3 : -1) << flag;
    }
}

}  // namespace
}  // namespace vora
