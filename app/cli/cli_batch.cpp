// vora-cli batch: runs a batch recipe (".vrb") on files as a drop in batch mode, or writes a
// recipe from step numbers and the current settings.
#include <ostream>

#include "cli_commands.h"
#include "cli_parse.h"
#include "cli_support.h"
#include "settings/batch_file.h"
#include "settings/batch_steps.h"
#include "ui/batch_dialog.h"
#include "ui/batch_run.h"

namespace vora::cli {
namespace {

int usage(std::ostream& err, const std::string& text) {
    err << "vora-cli: " << text << "\n";
    return kExitUsage;
}

int write_recipe(const CommonOptions& options, const BatchOptions& batch, std::ostream& out,
                 std::ostream& err) {
    const std::vector<std::string> parts = split(batch.steps, ',');
    if (parts.size() != std::size_t(kBatchSteps))
        return usage(err, "--steps takes eight operation numbers S1,...,S8");
    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    BatchRecipe& recipe = wb->batch;
    for (int step = 0; step < kBatchSteps; ++step) {
        int32_t number = 0;
        if (!parse_int(parts[std::size_t(step)], 0, kStepOperationCount - 1, number) ||
            !step_offers(step, number))
            return usage(err, "step " + std::to_string(step + 1) + " cannot be operation " +
                                  parts[std::size_t(step)] +
                                  " (step 1: 1 or 2; steps 2-7: 0 or 4-16; step 8: 3 or 17)");
        recipe.steps[std::size_t(step)].operation = number;
        // As opening the step's details and pressing OK: the current settings become its own.
        load_step_settings(recipe, wb->settings, number, step);
        store_step_settings(recipe, wb->settings, number, step);
    }
    if (recipe.steps[kBatchSteps - 1].operation == kStepSave) {
        if (batch.save_dir.empty()) return usage(err, "a recipe that saves needs --save-dir");
        Message problem;
        const SaveChoice choice{true, batch.save_dir + "/vora", batch.save_type};
        if (!apply_save_choice(recipe, kBatchSteps - 1, choice, problem))
            return usage(err, problem.text);
    }
    const std::string path = batch_file_name(batch.recipe);
    const WriteResult written = save_batch_file(recipe, path);
    if (!written.ok()) {
        err << "vora-cli: " << path << ": " << written.detail << "\n";
        return kExitFailed;
    }
    out << path << "\n";
    return kExitOk;
}

}  // namespace

int run_batch_command(const CommonOptions& options, const BatchOptions& batch, bool terminal,
                      std::ostream& out, std::ostream& err) {
    if (!batch.steps.empty() || !batch.write.empty()) {
        if (batch.write.empty() || batch.steps.empty() || !batch.files.empty())
            return usage(err, "batch --write RECIPE.vrb --steps S1,...,S8 takes no files");
        BatchOptions writing = batch;
        writing.recipe = batch.write;
        return write_recipe(options, writing, out, err);
    }
    if (batch.recipe.empty() || batch.files.empty())
        return usage(err, "batch takes RECIPE.vrb and at least one file");
    auto wb = new_workbench();
    if (const int status = prepare(options, *wb, err)) return status;
    const CommandResult loaded = open_batch_file_command(*wb, batch.recipe, {});
    if (!loaded.ok()) {
        print_messages(loaded, err);
        return kExitFailed;
    }
    wb->batch.timing = batch.timing;
    BatchCallbacks callbacks;
    // Without --yes the run keeps an existing output and reports it.
    callbacks.confirm_overwrite = [&batch](const std::string&) { return batch.yes; };
    if (terminal)
        callbacks.progress = [&err](int file, int count) {
            err << "\rvora-cli: file " << file << " of " << count << "\033[K" << std::flush;
        };
    const CommandResult started = batch_start_command(*wb, callbacks);
    if (!started.ok()) {
        print_messages(started, err);
        return kExitFailed;
    }
    BatchRun run = batch_drop(*wb, batch.files, callbacks);
    if (run.pending && run.result.ok()) {
        std::vector<std::array<int32_t, 2>> stars;
        if (parse_stars(batch.stars, stars, err) != kExitOk || !click_stars(*wb, stars, err))
            return kExitFailed;
        run = resume_batch_after_pick(*wb, *run.pending, callbacks);
    }
    if (terminal) err << "\r\033[K" << std::flush;
    print_messages(run.result, err);
    return run.result.ok() ? kExitOk : kExitFailed;
}

}  // namespace vora::cli
