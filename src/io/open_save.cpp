#include "io/open_save.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <new>

#include "core/undo.h"
#include "io/dark_frames.h"
#include "io/file_kind.h"
#include "io/registry.h"

namespace vora {
namespace {

const char* const kExtensions[kSaveFilterCount] = {".BMP", ".PNG", ".JPG", ".JPG",
                                                   ".TIF", ".PPM", ".PPM"};

bool file_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

enum class Stop { no, yes };

struct OpenStep {
    CommandResult result;
    Stop stop_loop;  // memory, slots or (when dropped) an unsupported name
    bool dark_mismatch = false;
};

OpenStep open_one(Workbench& wb, const std::string& path, OpenSource source) {
    ImageTable& table = wb.table;
    CommandResult capacity = check_open_capacity(table);
    if (!capacity.ok()) return {capacity, Stop::yes};
    if (file_kind(path) == kKindUnknown)
        return {CommandResult::fail(format_message(msg::kFormatNotSupported, path, kProgramName)),
                source == OpenSource::dropped ? Stop::yes : Stop::no};
    const int slot = find_free_slot(table);
    ReadResult read;
    try {
        read = open_image_file(wb, path, table[slot]);
    } catch (const std::bad_alloc&) {
        release_slot(table[slot]);
        return {CommandResult::fail(msg::kNoMemoryToOpen), Stop::yes};
    }
    if (!read.ok())
        return {CommandResult::fail(format_message(msg::kCannotRead, path, read.detail)), Stop::no};
    ImageRecord& r = table[slot];
    mark_loaded(r);
    r.scroll_x = r.scroll_y = 0;
    table.current_slot = slot;
    return {{}, Stop::no, dark_mismatch(wb.dark, file_kind(path), r)};
}

// The notice shown once after opening when any image could not be dark-corrected.
void add_dark_notice(CommandResult& result, bool any_mismatch) {
    if (any_mismatch) result.messages.push_back({MessageKind::error, msg::kDarkNotApplied});
}

}  // namespace

ReadResult open_image_file(const Workbench& wb, const std::string& path, ImageRecord& slot) {
    const FileKind kind = file_kind(path);
    const FormatHandlers handlers = format_handlers(kind);
    if (!handlers.read) {
        return read_failed(ReadStatus::unsupported, kind == kKindUnknown
                                                        ? "unknown file type"
                                                        : "this file type cannot be read yet");
    }
    ImageRecord staged;
    ReadResult result = handlers.read(wb, path, staged);
    if (!result.ok()) return result;
    // Images of these kinds are corrected on their 16-bit samples; FITS and RAW images are
    // corrected inside their readers, TIFF and PPM/PGM images not at all.
    if (kind == kKindBmp || kind == kKindPng || kind == kKindGif || kind == kKindJpeg)
        subtract_dark_frame(wb.dark, staged);
    adopt_picture(slot, std::move(staged));
    return result;
}

CommandResult check_open_capacity(const ImageTable& table) {
    if (!probe_memory(table, -1, 6)) return CommandResult::fail(msg::kNoMemoryToOpen);
    if (find_free_slot(table) < 0) return CommandResult::fail(msg::kNoSlotToOpen);
    return {};
}

CommandResult open_image_command(Workbench& wb, const std::string& path) {
    OpenStep step = open_one(wb, path, OpenSource::dropped);
    add_dark_notice(step.result, step.dark_mismatch);
    return step.result;
}

CommandResult open_image_files(Workbench& wb, const std::vector<std::string>& paths,
                               OpenSource source) {
    CommandResult all;
    bool any_mismatch = false;
    for (const std::string& path : paths) {
        OpenStep step = open_one(wb, path, source);
        for (Message& m : step.result.messages) all.messages.push_back(std::move(m));
        if (!step.result.ok()) all.outcome = Outcome::failed;
        any_mismatch = any_mismatch || step.dark_mismatch;
        if (step.stop_loop == Stop::yes) break;
    }
    add_dark_notice(all, any_mismatch);
    return all;
}

std::vector<std::string> split_command_line(std::string_view text) {
    std::vector<std::string> names;
    std::string name;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            if (!name.empty()) names.push_back(std::move(name));
            name.clear();
        } else if (c == ' ' && !quoted) {
            if (!name.empty()) names.push_back(std::move(name));
            name.clear();
        } else {
            name += c;
        }
    }
    if (!name.empty()) names.push_back(std::move(name));
    return names;
}

int filter_index_for_extension(std::string_view extension, int fallback) {
    const std::string ext = upper(extension);
    if (ext == "BMP") return 1;
    if (ext == "PNG") return 2;
    if (ext == "JPG" || ext == "JPEG") return 3;
    if (ext == "TIF" || ext == "TIFF") return 5;
    if (ext == "PPM") return 6;
    return fallback;
}

const char* default_extension(int filter_index) {
    return kExtensions[std::clamp(filter_index, 1, kSaveFilterCount) - 1];
}

SaveProposal propose_save_name(const std::string& image_name, int last_filter_index) {
    const std::size_t slash = image_name.find_last_of('/');
    const std::size_t dot = image_name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {image_name, last_filter_index};
    return {image_name.substr(0, dot),
            filter_index_for_extension(std::string_view(image_name).substr(dot + 1),
                                       last_filter_index)};
}

CommandResult save_image_command(Workbench& wb, const std::string& chosen_path,
                                 int filter_index, const ConfirmFn& confirm_overwrite) {
    ImageTable& table = wb.table;
    if (!table.has_current_image()) return CommandResult::skip();
    ImageRecord& r = table.current();
    filter_index = std::clamp(filter_index, 1, kSaveFilterCount);
    wb.save_filter_index = filter_index;

    std::string path = chosen_path;
    FileKind kind = file_kind(path);
    if (kind == kKindUnknown || kind == kKindRaw) {
        path += default_extension(filter_index);
        kind = file_kind(path);
    }
    const FormatHandlers handlers = format_handlers(kind);
    // Types that are read but never written are refused: the image keeps its name and
    // stays marked as changed instead of pretending to be saved.
    if (!handlers.writable)
        return CommandResult::fail(format_message(msg::kFormatNotWritable, path, kProgramName));
    if (!handlers.write)
        return CommandResult::fail(
            format_message(msg::kCannotWrite, path, "this file type cannot be written yet"));
    if (file_exists(path) && !confirm_overwrite(format_message(msg::kOverwriteQuestion, path)))
        return CommandResult::skip();

    expand_mono(r);  // every writer writes three planes
    const WriteResult written = handlers.write(path, r, filter_index);
    if (!written.ok())
        return CommandResult::fail(format_message(msg::kCannotWrite, path, written.detail));
    r.name = path;
    r.changed = 0;
    r.changed_before = 0;
    return {};
}

}  // namespace vora
