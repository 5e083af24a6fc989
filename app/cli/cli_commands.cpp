#include "cli_commands.h"

#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli_background.h"
#include "cli_colour.h"
#include "cli_filters.h"
#include "cli_geometry.h"
#include "cli_parse.h"
#include "cli_support.h"
#include "core/image_table.h"
#include "core/workbench.h"
#include "io/dark_commands.h"
#include "io/file_kind.h"
#include "io/open_save.h"
#include "settings/settings_commands.h"
#include "settings/settings_file.h"
#include "ui/command_table.h"
#include "ui/star_pick.h"

namespace vora::cli {
namespace {

// A whole number or a decimal number as the settings file writes them.
bool is_number(const std::string& text, bool allow_real) {
    if (text.empty()) return false;
    char* end = nullptr;
    if (allow_real)
        std::strtod(text.c_str(), &end);
    else
        std::strtol(text.c_str(), &end, 10);
    return end && *end == '\0';
}

// "KEYWORD=V,V,..." becomes the settings-file text "KEYWORD V V ..." after checking the
// keyword and that the values fit the group's fields.
bool override_text(const std::string& assignment, std::string& text, std::ostream& err) {
    const std::size_t eq = assignment.find('=');
    const std::string keyword = assignment.substr(0, eq);
    Settings probe;
    for (const SettingsGroup& group : settings_groups(probe)) {
        if (keyword != group.keyword) continue;
        std::vector<const SettingsField*> fields;
        for (const auto& line : group.lines)
            for (const SettingsField& f : line) fields.push_back(&f);
        std::vector<std::string> values;
        if (eq != std::string::npos) {
            std::stringstream list(assignment.substr(eq + 1));
            for (std::string v; std::getline(list, v, ',');) values.push_back(v);
        }
        if (values.empty() || values.size() > fields.size()) {
            err << "vora-cli: --set " << keyword << " takes 1 to " << fields.size() << " values\n";
            return false;
        }
        text = keyword;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!is_number(values[i], std::holds_alternative<double*>(*fields[i]))) {
                err << "vora-cli: --set " << keyword << ": '" << values[i] << "' is not a number\n";
                return false;
            }
            text += " " + values[i];
        }
        return true;
    }
    err << "vora-cli: --set: unknown settings group '" << keyword << "'\n";
    return false;
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

void put_triple(std::ostream& out, const std::array<int32_t, 3>& v) {
    out << '[' << v[0] << ',' << v[1] << ',' << v[2] << ']';
}

void put_rational(std::ostream& out, uint32_t packed) {
    out << '[' << (packed >> 16) << ',' << (packed & 0xFFFFu) << ']';
}

std::string info_line(const std::string& file, ImageRecord& r) {
    compute_statistics(r);
    std::ostringstream out;
    out << "{\"file\":" << json_string(file) << ",\"kind\":" << int(file_kind(file))
        << ",\"width\":" << r.width << ",\"height\":" << r.height << ",\"mono\":" << r.mono
        << ",\"min\":";
    put_triple(out, r.min_value);
    out << ",\"max\":";
    put_triple(out, r.max_value);
    out << ",\"mean\":";
    put_triple(out, r.mean_value);
    out << ",\"camera_make\":" << json_string(r.camera_make)
        << ",\"camera_model\":" << json_string(r.camera_model)
        << ",\"date_time\":" << json_string(r.date_time) << ",\"exposure_time\":";
    put_rational(out, r.exposure_time);
    out << ",\"f_number\":";
    put_rational(out, r.f_number);
    out << ",\"iso_speed\":" << r.iso_speed << "}";
    return out.str();
}

bool set_channel(const std::string& name, int32_t& channel) {
    const char* const names[] = {"all", "r", "g", "b"};
    for (int32_t i = 0; i < 4; ++i)
        if (name == names[i]) {
            channel = i;
            return true;
        }
    return false;
}

}  // namespace

void print_messages(const CommandResult& result, std::ostream& err) {
    for (const Message& m : result.messages)
        err << "vora-cli: " << message_title(m.kind) << " " << m.text << "\n";
}

// The workbench as the program starts: defaults, "vora.vrs" of the current directory,
// then --settings and each --set in order. Returns the exit status on failure.
int prepare(const CommonOptions& options, Workbench& wb, std::ostream& err) {
    reset_settings(wb, 0);
    read_startup_settings(wb, ".");
    if (!options.settings_file.empty()) {
        const ReadResult loaded = load_settings_file(wb, options.settings_file);
        if (!loaded.ok()) {
            err << "vora-cli: cannot read settings file " << options.settings_file << ": "
                << loaded.detail << "\n";
            return kExitFailed;
        }
    }
    for (const std::string& assignment : options.overrides) {
        std::string text;
        if (!override_text(assignment, text, err)) return kExitUsage;
        read_settings(text, wb.settings);
    }
    if (!options.dark_files.empty()) {
        // As the DARK dialog's OK: a refused list is reported and images open uncorrected.
        std::array<std::string, kDarkFileCount> list;
        for (std::size_t i = 0; i < list.size() && i < options.dark_files.size(); ++i)
            list[i] = options.dark_files[i];
        print_messages(set_dark_files(wb, list), err);
    }
    return kExitOk;
}

// Saves the current image as OUT; a script asked for this output, so an existing file is
// replaced without a question.
int save_output(Workbench& wb, const std::string& out_path, int type, std::ostream& out,
                std::ostream& err) {
    if (type == 0) type = propose_save_name(out_path, wb.save_filter_index).filter_index;
    const CommandResult saved =
        save_image_command(wb, out_path, type, [](const std::string&) { return true; });
    print_messages(saved, err);
    if (saved.outcome != Outcome::done) return kExitFailed;
    out << wb.table.current().name << "\n";
    return kExitOk;
}

std::unique_ptr<Workbench> new_workbench() {
    auto wb = std::make_unique<Workbench>();
    init_image_table(wb->table);
    return wb;
}

int parse_stars(const std::string& text, std::vector<std::array<int32_t, 2>>& stars,
                std::ostream& err) {
    if (parse_groups<2>(text, 0, kMaxCoordinate, stars) && stars.size() == 2) return kExitOk;
    err << "vora-cli: --stars takes X1,Y1;X2,Y2: two stars in the first image (pixels, y from "
           "the top)\n";
    return kExitUsage;
}

bool click_stars(Workbench& wb, const std::vector<std::array<int32_t, 2>>& stars,
                 std::ostream& err) {
    const ImageRecord& image = wb.table.current();
    for (const auto& [x, y] : stars) {
        const int32_t before = wb.star_pick.star_pick_mode;
        star_pick_click(wb.star_pick, image.width, image.height, x, y);
        if (wb.star_pick.star_pick_mode == before) {
            err << "vora-cli: star " << x << "," << y << " lies less than half the rotation size ("
                << wb.star_pick.box_size / 2 << " pixels) from an edge of the first image\n";
            return false;
        }
    }
    return true;
}

int run_info(const CommonOptions& options, const std::vector<std::string>& files, std::ostream& out,
             std::ostream& err) {
    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    int status = kExitOk;
    for (const std::string& file : files) {
        const CommandResult opened = open_image_command(*wb, file);
        print_messages(opened, err);
        if (!opened.ok()) {
            status = kExitFailed;
            continue;
        }
        out << info_line(file, wb->table.current()) << "\n";
        release_slot(wb->table.current());  // one slot at a time, however many files
    }
    return status;
}

int run_convert(const CommonOptions& options, const std::string& in, const std::string& out_path,
                int type, std::ostream& out, std::ostream& err) {
    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    const CommandResult opened = open_image_command(*wb, in);
    print_messages(opened, err);
    if (!opened.ok()) return kExitFailed;
    return save_output(*wb, out_path, type, out, err);
}

int run_apply(const CommonOptions& options, const std::string& in, const std::string& out_path,
              const ApplyOptions& apply, std::ostream& out, std::ostream& err) {
    const CommandRow* command = find_cli_operation(apply.operation);
    if (!command) {
        err << "vora-cli: unknown operation '" << apply.operation << "'\n"
            << apply_operations_help();
        return kExitUsage;
    }
    BackgroundInputs inputs;
    if (const int status = parse_background_inputs(apply, inputs, err)) return status;
    if (const int status = check_filter_options(apply, err)) return status;
    GeometryInputs geometry;
    if (const int status = parse_geometry_inputs(apply, geometry, err)) return status;
    ColourInputs colour;
    if (const int status = parse_colour_inputs(apply, colour, err)) return status;
    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    if (!apply.channel.empty() && !(set_channel(apply.channel, wb->settings.gamma.channel) &&
                                    set_channel(apply.channel, wb->settings.level.channel))) {
        err << "vora-cli: --channel must be all, r, g or b\n";
        return kExitUsage;
    }
    const CommandResult opened = open_image_command(*wb, in);
    print_messages(opened, err);
    if (!opened.ok()) return kExitFailed;
    if (const int status = install_background_inputs(*wb, inputs, err)) return status;
    install_filter_options(*wb, apply);
    install_geometry_inputs(*wb, geometry);
    const int in_slot = wb->table.current_slot;
    std::optional<CommandResult> special = run_geometry_operation(*wb, apply, geometry);
    if (!special) special = run_colour_operation(*wb, apply, colour);
    const CommandResult done =
        special ? *special : run_apply_operation(*wb, apply, inputs, command->run);
    print_messages(done, err);
    if (done.outcome != Outcome::done) return kExitFailed;
    if (const int status = save_output(*wb, out_path, apply.type, out, err)) return status;
    return save_even_lines(*wb, apply, in_slot, out, err);
}

int run_settings_write(const CommonOptions& options, const std::string& path, std::ostream& err) {
    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    const WriteResult written = save_settings_file(*wb, path);
    if (!written.ok()) {
        err << "vora-cli: cannot write " << path << ": " << written.detail << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

std::string apply_operations_help() {
    std::ostringstream text;
    text << "Operations:\n";
    for (const CommandRow& row : processing_commands()) {
        if (!row.cli_name) continue;
        text << "  " << std::left << std::setw(19) << row.cli_name << row.summary;
        if (row.settings_keyword) text << " (settings group \"" << row.settings_keyword << "\")";
        text << "\n";
    }
    return text.str();
}

}  // namespace vora::cli
