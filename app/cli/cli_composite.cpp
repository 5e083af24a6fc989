// vora-cli stack and composite: the multi-file and the automatic composite.
#include <ostream>

#include "cli_commands.h"
#include "cli_support.h"
#include "io/open_save.h"
#include "ui/composite_commands.h"

namespace vora::cli {
namespace {

// Each step on one terminal line, overwritten by the next.
ProgressFn terminal_progress(std::ostream& err) {
    return [&err](const std::string& step) {
        err << "\rvora-cli: " << step << "\033[K" << std::flush;
    };
}

}  // namespace

int run_stack(const CommonOptions& options, const std::vector<std::string>& files,
              const std::string& out_path, int type, bool progress, std::ostream& out,
              std::ostream& err) {
    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    MultiFileCompositeSettings& settings = wb->settings.multi_file_composite;
    settings.files.clear();
    print_messages(add_composite_files(settings, files), err);
    const CommandResult stacked =
        multi_file_composite_command(*wb, {}, progress ? terminal_progress(err) : ProgressFn());
    if (progress) err << "\r\033[K" << std::flush;
    print_messages(stacked, err);
    if (stacked.outcome != Outcome::done) return kExitFailed;
    return save_output(*wb, out_path, type, out, err);
}

int run_composite(const CommonOptions& options, const std::vector<std::string>& files,
                  const std::vector<int>& weights, const std::string& out_path, int type,
                  std::ostream& out, std::ostream& err) {
    if (files.size() < 2 || files.size() > 4) {
        err << "vora-cli: composite takes 2 to 4 files\n";
        return kExitUsage;
    }
    if (!weights.empty() && weights.size() != files.size()) {
        err << "vora-cli: --weights needs one weight per file\n";
        return kExitUsage;
    }
    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    CompositeSettings& settings = wb->settings.composite;
    settings.images = {};
    for (std::size_t i = 0; i < files.size(); ++i) {
        const CommandResult opened = open_image_command(*wb, files[i]);
        print_messages(opened, err);
        if (!opened.ok()) return kExitFailed;
        settings.images[i] = list_label(wb->table, wb->table.current_slot, LabelStyle::composite);
        settings.weights[i] = weights.empty() ? 100 : weights[i];
    }
    const CommandResult stacked = auto_composite_command(*wb);
    print_messages(stacked, err);
    if (stacked.outcome != Outcome::done) return kExitFailed;
    return save_output(*wb, out_path, type, out, err);
}

}  // namespace vora::cli
