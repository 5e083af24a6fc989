#include "ui/restore_command.h"

#include <utility>

#include "core/edit_commands.h"
#include "core/engine.h"

namespace vora {
namespace {
constexpr int kRestoreCode = 102;
constexpr int kRestoreProbe = 5;  // image copies the restoration's working planes need
}  // namespace

void fill_restore_params(const RestoreSettings& settings, ParamVector& p) {
    p[0] = settings.spread;
    p[1] = settings.bluntness;
    p[2] = settings.iterations;
    p[3] = settings.emphasis;
}

void apply_restore(Workbench& wb, int slot) {
    fill_restore_params(wb.settings.restore, wb.params);
    apply_operation(wb, slot, kRestoreCode);
}

CommandResult restore_command(Workbench& wb, std::function<bool()> dialog) {
    InPlaceCommand command;
    command.probe_count = kRestoreProbe;
    command.all_probe_count = kRestoreProbe;
    command.dialog = std::move(dialog);
    command.operation = apply_restore;
    return run_in_place_command(wb, command);
}

}  // namespace vora
