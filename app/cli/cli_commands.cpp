#include "cli_commands.h"

#include <cstdio>
#include <memory>
#include <ostream>
#include <sstream>

#include "core/image_table.h"
#include "core/workbench.h"
#include "io/file_kind.h"
#include "io/open_save.h"

namespace vora::cli {
namespace {

void print_messages(const CommandResult& result, std::ostream& err) {
    for (const Message& m : result.messages)
        err << "vora-cli: " << message_title(m.kind) << " " << m.text << "\n";
}

// Settings files and dark frames are accepted on every subcommand; until the workbench
// can load them they are announced as not applied.
void apply_common(const CommonOptions& options, Workbench&, std::ostream& err) {
    if (!options.settings_file.empty())
        err << "vora-cli: note: --settings is not applied yet in this version\n";
    if (!options.dark_files.empty())
        err << "vora-cli: note: --dark is not applied yet in this version\n";
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
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

}  // namespace

int run_info(const CommonOptions& options, const std::vector<std::string>& files,
             std::ostream& out, std::ostream& err) {
    auto wb = std::make_unique<Workbench>();
    init_image_table(wb->table);
    apply_common(options, *wb, err);
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
    auto wb = std::make_unique<Workbench>();
    init_image_table(wb->table);
    apply_common(options, *wb, err);
    const CommandResult opened = open_image_command(*wb, in);
    print_messages(opened, err);
    if (!opened.ok()) return kExitFailed;
    if (type == 0) type = propose_save_name(out_path, wb->save_filter_index).filter_index;
    // A script asked for this output: an existing file is replaced without a question.
    const CommandResult saved =
        save_image_command(*wb, out_path, type, [](const std::string&) { return true; });
    print_messages(saved, err);
    if (saved.outcome != Outcome::done) return kExitFailed;
    out << wb->table.current().name << "\n";
    return kExitOk;
}

}  // namespace vora::cli
