#include "settings/settings_file.h"

#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <iterator>
#include <ostream>

#include "io/file_bytes.h"

namespace vora {
namespace {

// Settings files are a few kilobytes; anything far larger is not one.
constexpr uint64_t kSettingsFileLimit = uint64_t(64) << 20;

using Line = std::vector<SettingsField>;

// The value lines of one tone-curve set: in0 out0 in1 out1 in2 out2.
Line curve_line(ToneCurvePoints& points) {
    Line line;
    for (TonePoint& p : points) {
        line.push_back(&p.in);
        line.push_back(&p.out);
    }
    return line;
}

Line level_line(LevelSet& l) {
    return {&l.in_low, &l.in_high, &l.brightness, &l.contrast, &l.gamma, &l.out_low, &l.out_high};
}

SettingsGroup gamma_group(GammaSettings& g) {
    SettingsGroup group{"gamma", {{&g.curve_mode}}};
    for (ToneCurvePoints& points : g.points) group.lines.push_back(curve_line(points));
    return group;
}

SettingsGroup level_group(LevelSettings& l) {
    SettingsGroup group{"lvl", {{&l.channel}}};
    for (LevelSet& set : l.sets) group.lines.push_back(level_line(set));
    return group;
}

SettingsGroup back2_group(BackgroundSettings& b) {
    Line line{&b.pseudo_mode};
    for (int c = 0; c < 3; ++c) {
        line.push_back(&b.centre[std::size_t(c)]);
        line.push_back(&b.edge[std::size_t(c)]);
    }
    line.push_back(&b.curve);
    return {"back2", {line}};
}

SettingsGroup raw_group(RawSettings& r) {
    Line levels;
    for (std::size_t c = 0; c < 3; ++c) {
        levels.push_back(&r.black_level[c]);
        levels.push_back(&r.white_level[c]);
    }
    return {"raw",
            {{&r.gamma[0], &r.gamma[1], &r.gamma[2]},
             levels,
             {&r.sharpness, &r.sharp_radius, &r.false_color, &r.saturation, &r.hue},
             {&r.quality}}};
}

// ---- reading ----

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The "C" locale for number conversion, so a front end that sets the user's locale (with a
// decimal comma) reads the same files.
locale_t c_numeric_locale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return loc;
}

// The words of a settings text, with fscanf-like number conversion at the current place.
class SettingsScanner {
public:
    explicit SettingsScanner(std::string_view text) : text_(text) {}

    bool at_end() {
        skip_space();
        return pos_ >= text_.size();
    }

    std::string_view next_word() {
        skip_space();
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !is_space(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }

    // An optional sign and decimal digits; on failure nothing but whitespace is consumed.
    bool read_int(int32_t& value) {
        skip_space();
        std::size_t p = pos_;
        bool negative = false;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-'))
            negative = text_[p++] == '-';
        if (p >= text_.size() || !is_digit(text_[p])) return false;
        const int64_t limit = negative ? int64_t(1) << 31 : (int64_t(1) << 31) - 1;
        int64_t magnitude = 0;
        for (; p < text_.size() && is_digit(text_[p]); ++p)
            magnitude = std::min(limit, magnitude * 10 + (text_[p] - '0'));
        value = int32_t(negative ? -magnitude : magnitude);
        pos_ = p;
        return true;
    }

    bool read_double(double& value) {
        skip_space();
        std::size_t end = pos_;
        while (end < text_.size() && !is_space(text_[end])) ++end;
        const std::string word(text_.substr(pos_, end - pos_));
        char* stop = nullptr;
        const locale_t loc = c_numeric_locale();
        const double v =
            loc ? strtod_l(word.c_str(), &stop, loc) : std::strtod(word.c_str(), &stop);
        if (stop == word.c_str()) return false;
        value = v;
        pos_ += std::size_t(stop - word.c_str());
        return true;
    }

private:
    void skip_space() {
        while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

bool read_field(SettingsScanner& in, const SettingsField& field) {
    if (int32_t* const* i = std::get_if<int32_t*>(&field)) return in.read_int(**i);
    return in.read_double(*std::get<double*>(field));
}

// Reads a group's values in order until one fails; the failing word stays unread.
void read_group(SettingsScanner& in, const SettingsGroup& group) {
    for (const Line& line : group.lines)
        for (const SettingsField& field : line)
            if (!read_field(in, field)) return;
}

const SettingsGroup* find_group(const std::vector<SettingsGroup>& groups, std::string_view word) {
    for (const SettingsGroup& g : groups)
        if (word == g.keyword) return &g;
    return nullptr;
}

// ---- writing ----

std::string format_double(double v) {
    char buf[400];  // "%.6f" of the largest double needs 316 characters
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    return ec == std::errc() ? std::string(buf, end) : std::string("0.000000");
}

std::string format_field(const SettingsField& field) {
    if (int32_t* const* i = std::get_if<int32_t*>(&field)) return std::to_string(**i);
    return format_double(*std::get<double*>(field));
}

}  // namespace

std::vector<SettingsGroup> settings_groups(Settings& s) {
    SharpSettings& sh = s.sharp;
    CompositeSettings& co = s.composite;
    EdgeSettings& ed = s.edge;
    BackgroundSettings& bg = s.background;
    BackgroundGenerationSettings& bgen = s.background_generation;
    MonochromeSettings& mono = s.monochrome;
    RawSettings& raw = s.raw;
    WaveletSettings& wv = s.wavelet;
    RestoreSettings& re = s.restore;
    NoiseSettings& no = s.noise;
    CutSettings& cut = s.cut;
    DynamicRangeSettings& hdr = s.dynamic_range;
    MultiFileCompositeSettings& mf = s.multi_file_composite;
    DisplaySettings& dsp = s.display;
    return {
        {"sharp", {{&sh.radius, &sh.threshold, &sh.smooth_strength, &sh.sharp_strength}}},
        {"sharp_flt", {{&sh.falloff}}},
        gamma_group(s.gamma),
        level_group(s.level),
        {"composite",
         {{&co.stack_mode, &co.compare_range, &co.compare_method, &co.normalize,
           &co.noise_level, &co.reject_mode}}},
        {"edge", {{&ed.edge_threshold, &ed.edge_strength, &ed.dark_bright_split}}},
        {"resize", {{&s.resize.keep_aspect, &s.resize.resize_method}}},
        {"back1", {{&bg.reference_mode, &bg.reference_slot, &bg.reference_shift}}},
        back2_group(bg),
        {"back3",
         {{&bgen.detection_size, &bgen.averaging_size, &bgen.correction, &bgen.shift,
           &bgen.two_step}}},
        {"round", {{&s.rotate.rotate_mode, &s.rotate.angle}}},
        {"gray", {{&mono.method, &mono.weights[0], &mono.weights[1], &mono.weights[2]}}},
        {"color", {{&s.color.saturation, &s.color.hue}}},
        {"level", {{&s.unused_level}}},
        {"dark", {{&raw.method, &raw.quality, &s.dark.defect_handling, &s.dark.defect_level}}},
        {"waikyoku", {{&s.distortion.corner_shift}}},
        {"display", {{&dsp.value_divisor}}},
        raw_group(raw),
        {"VER264", {{&bgen.exclude_zero, &co.shift_x, &co.shift_y}}},
        {"wavelet", {{&wv.gain[0], &wv.gain[1], &wv.gain[2], &wv.gain[3], &wv.gain[4],
                      &wv.gain[5]}}},
        {"filter", {{&s.wavelet_filter.order, &s.wavelet_filter.enlarge}}},
        {"edgearea", {{&ed.edge_area, &ed.edge_smooth}}},
        {"restore", {{&re.spread, &re.bluntness, &re.iterations, &re.emphasis}}},
        {"noise", {{&no.noise_area, &no.noise_tolerance, &no.noise_strength}}},
        {"cut",
         {{&cut.cut_anchor, &cut.cut_width, &cut.cut_height},
          {&cut.output_mode, &cut.output_width, &cut.output_height, &cut.output_scale}}},
        {"hdr", {{&hdr.radius, &hdr.tone_difference, &hdr.strength}}},
        {"VER560", {{&co.min_shift}}},
        {"compfile",
         {{&mf.stack_mode, &mf.compare_range, &mf.compare_method, &mf.normalize,
           &mf.noise_level, &mf.reject_mode, &mf.min_shift}}},
        {"compround", {{&co.rotation_size}}},
        {"sel_ab", {{&dsp.ab_point_method, &dsp.ab_search_radius}}},
    };
}

void read_settings(std::string_view text, Settings& s) {
    const std::vector<SettingsGroup> groups = settings_groups(s);
    SettingsScanner in(text);
    while (!in.at_end()) {
        const std::string_view word = in.next_word();
        const SettingsGroup* group = find_group(groups, word);
        if (!group) continue;
        read_group(in, *group);
        // Files from older versions may hold 0, which no longer names a method.
        if (word == "composite" && s.composite.compare_method == 0)
            s.composite.compare_method = kCompareFast;
    }
}

void read_settings(std::istream& in, Settings& s) {
    const std::string text{std::istreambuf_iterator<char>(in),
                           std::istreambuf_iterator<char>()};
    read_settings(text, s);
}

void write_settings(std::ostream& out, const Settings& s) {
    out << settings_text(s);
}

std::string settings_text(const Settings& s) {
    Settings copy = s;  // the table binds mutable fields; the copy is only read
    std::string text;
    for (const SettingsGroup& group : settings_groups(copy)) {
        text += group.keyword;
        text += '\n';
        for (const Line& line : group.lines) {
            for (std::size_t i = 0; i < line.size(); ++i) {
                if (i > 0) text += ' ';
                text += format_field(line[i]);
            }
            text += '\n';
        }
    }
    return text;
}

void reset_settings(Workbench& wb, int flag) {
    wb.settings = Settings{};
    if (flag == 0) init_image_table(wb.table);
}

ReadResult load_settings_file(Settings& s, const std::string& path) {
    std::vector<uint8_t> bytes;
    ReadResult result = read_file_bytes(path, bytes, kSettingsFileLimit);
    if (!result.ok()) return result;
    read_settings(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), s);
    return read_ok();
}

ReadResult load_settings_file(Workbench& wb, const std::string& path) {
    return load_settings_file(wb.settings, path);
}

WriteResult save_settings_file(const Settings& s, const std::string& path) {
    const std::string text = settings_text(s);
    AtomicFile file(path);
    if (!file.is_open()) return write_failed(std::strerror(errno));
    if (std::fwrite(text.data(), 1, text.size(), file.stream()) != text.size())
        return write_failed("write error");
    return file.commit();
}

WriteResult save_settings_file(const Workbench& wb, const std::string& path) {
    return save_settings_file(wb.settings, path);
}

std::string settings_file_name(const std::string& chosen) {
    const std::string_view ext = kSettingsExtension;
    const std::string_view name = chosen;
    if (name.size() >= ext.size() && name.substr(name.size() - ext.size()) == ext) return chosen;
    return chosen + kSettingsExtension;
}

}  // namespace vora
