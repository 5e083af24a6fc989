#include "cli_background.h"

#include <ostream>

#include "cli_parse.h"
#include "cli_support.h"
#include "io/open_save.h"
#include "ui/background_commands.h"

namespace vora::cli {
namespace {

bool parse_densities(const std::string& text, std::array<int32_t, 3>& out) {
    const auto parts = split(text, ',');
    if (parts.size() != 3) return false;
    for (std::size_t c = 0; c < 3; ++c)
        if (!parse_int(parts[c], 0, 255, out[c])) return false;
    return true;
}

bool parse_points(const std::string& text, std::vector<std::array<int32_t, 2>>& out) {
    for (const std::string& point : split(text, ';')) {
        if (point.empty()) continue;
        const auto xy = split(point, ',');
        std::array<int32_t, 2> p{};
        if (xy.size() != 2 || !parse_int(xy[0], 0, 1 << 30, p[0]) ||
            !parse_int(xy[1], 0, 1 << 30, p[1]))
            return false;
        out.push_back(p);
    }
    return !out.empty() && int(out.size()) <= kMaxBackgroundPoints;
}

int usage(std::ostream& err, const std::string& text) {
    err << "vora-cli: " << text << "\n";
    return kExitUsage;
}

}  // namespace

int parse_background_inputs(const ApplyOptions& apply, BackgroundInputs& inputs,
                            std::ostream& err) {
    const std::string& op = apply.operation;
    const bool takes_with = op == "background-image" || op == "compare";
    if (takes_with != !apply.with_file.empty())
        return usage(err, takes_with ? op + " needs --with FILE"
                                     : "--with is only for background-image and compare");
    inputs.with_file = apply.with_file;
    const bool takes_points = op == "background-points";
    if (takes_points != !apply.points.empty())
        return usage(err, takes_points ? "background-points needs --points X,Y;X,Y;..."
                                       : "--points is only for background-points");
    if (takes_points && !parse_points(apply.points, inputs.points))
        return usage(err, "--points takes 1 to 100 points X,Y;X,Y;... (pixels, y from the top)");
    if ((!apply.centre.empty() || !apply.edge.empty()) && op != "background")
        return usage(err, "--centre and --edge are only for background");
    for (const auto& [text, target] :
         {std::pair{&apply.centre, &inputs.centre}, std::pair{&apply.edge, &inputs.edge}}) {
        if (text->empty()) continue;
        std::array<int32_t, 3> densities{};
        if (!parse_densities(*text, densities))
            return usage(err, "--centre and --edge take R,G,B densities 0..255");
        *target = densities;
    }
    inputs.needs_edges = op == "background";
    if (!apply.base.empty()) {
        int32_t base = 0;
        if (op != "compare") return usage(err, "--base is only for compare");
        if (!parse_int(apply.base, 0, 255, base)) return usage(err, "--base takes 0..255");
        inputs.base = base;
    }
    return kExitOk;
}

int install_background_inputs(Workbench& wb, const BackgroundInputs& inputs, std::ostream& err) {
    if (inputs.centre) wb.settings.background.centre = *inputs.centre;
    if (inputs.edge) wb.settings.background.edge = *inputs.edge;
    if (inputs.base) wb.settings.comparison.base = *inputs.base;
    // Without edge densities the command would only wait for a click on the image.
    const auto& edge = wb.settings.background.edge;
    if (inputs.needs_edges && edge[0] == 0 && edge[1] == 0 && edge[2] == 0)
        return usage(err, "background needs edge densities: --edge R,G,B or --set back2=...");
    if (inputs.with_file.empty()) return kExitOk;
    const int image = wb.table.current_slot;
    const CommandResult opened = open_image_command(wb, inputs.with_file);
    print_messages(opened, err);
    if (!opened.ok()) return kExitFailed;
    wb.settings.background.reference_slot = wb.table.current_slot;
    wb.settings.comparison.image_slot = wb.table.current_slot;
    wb.table.current_slot = image;
    return kExitOk;
}

CommandResult run_apply_operation(Workbench& wb, const ApplyOptions& apply,
                                  const BackgroundInputs& inputs,
                                  CommandResult (*run)(Workbench&)) {
    if (apply.operation != "background-points") return run(wb);
    const CommandResult started = background_points_command(wb);
    if (started.outcome != Outcome::done) return started;
    for (const auto& [x, y] : inputs.points) {
        const CommandResult clicked = background_click(wb, x, y, false);
        if (!clicked.ok()) return clicked;
    }
    if (wb.background_pick.state == kPickIdle) return {};  // the hundredth point ran the fit
    return background_click(wb, 0, 0, true);
}

}  // namespace vora::cli
