#include "cli_filters.h"

#include <ostream>

#include "cli_support.h"

namespace vora::cli {
namespace {

struct Channels {
    int32_t r = 0, g = 0, b = 0;
};

// "rgb", "rg", "b" ...: each letter at most once, at least one.
bool parse_channels(const std::string& letters, Channels& out) {
    if (letters.empty()) return false;
    for (const char c : letters) {
        int32_t* use = c == 'r' ? &out.r : c == 'g' ? &out.g : c == 'b' ? &out.b : nullptr;
        if (!use || *use) return false;
        *use = 1;
    }
    return true;
}

}  // namespace

int check_filter_options(const ApplyOptions& apply, std::ostream& err) {
    const bool filters_channels = apply.operation == "sharpen" || apply.operation == "edge";
    if (!apply.channels.empty()) {
        Channels unused;
        if (!filters_channels) {
            err << "vora-cli: --channels belongs to sharpen and edge\n";
            return kExitUsage;
        }
        if (!parse_channels(apply.channels, unused)) {
            err << "vora-cli: --channels takes the letters r, g and b, each at most once\n";
            return kExitUsage;
        }
    }
    if (!apply.even_file.empty() && apply.operation != "lines") {
        err << "vora-cli: --even belongs to lines\n";
        return kExitUsage;
    }
    return kExitOk;
}

void install_filter_options(Workbench& wb, const ApplyOptions& apply) {
    Channels c;
    if (!parse_channels(apply.channels.empty() ? "rgb" : apply.channels, c)) return;
    if (apply.operation == "sharpen") {
        wb.settings.sharp.use_r = c.r, wb.settings.sharp.use_g = c.g, wb.settings.sharp.use_b = c.b;
    } else if (apply.operation == "edge") {
        wb.settings.edge.use_r = c.r, wb.settings.edge.use_g = c.g, wb.settings.edge.use_b = c.b;
    }
}

int save_even_lines(Workbench& wb, const ApplyOptions& apply, int in_slot, std::ostream& out,
                    std::ostream& err) {
    if (apply.operation != "lines" || apply.even_file.empty()) return kExitOk;
    // Three images are open: IN, the even-line image and the odd-line image, which is current.
    const int odd = wb.table.current_slot;
    int even = -1;
    for (int slot = 0; slot < kSlotCount; ++slot)
        if (slot != odd && slot != in_slot && wb.table[slot].occupied()) even = slot;
    if (even < 0) {
        err << "vora-cli: the even-line image was not made\n";
        return kExitFailed;
    }
    wb.table.current_slot = even;
    const int status = save_output(wb, apply.even_file, apply.type, out, err);
    wb.table.current_slot = odd;
    return status;
}

}  // namespace vora::cli
