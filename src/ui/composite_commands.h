// The commands of the composite menu: the automatic composite of open images and the
// multi-file composite of up to sixteen files.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/workbench.h"

namespace vora {

// Automatic composite (302) of the images named by the composite settings' list texts
// ("%02d(%s)") with their weights, into a new current image. With the rotation method it
// only makes the first image current and starts the star pick (3020 goes on).
CommandResult auto_composite_command(Workbench& wb, std::function<bool()> dialog = {});

// Called before each file is opened and each stacking pass starts, with a short text.
using ProgressFn = std::function<void(const std::string& step)>;

// Multi-file composite (3021) of the files listed in the multi-file settings, into a new
// current image; one file is simply opened. With the rotation method the first file is opened
// as the current image and the star pick starts (3022 goes on).
CommandResult multi_file_composite_command(Workbench& wb, std::function<bool()> dialog = {},
                                           const ProgressFn& progress = {});

// 3022: the multi-file composite on the stars picked in the first file (the current image):
// each pass stacks its files on the stars found in them, and the pass results are stacked on
// the stars once more; the result replaces the first file's image.
CommandResult multi_file_rotation_command(Workbench& wb, const ProgressFn& progress = {});

// The multi-file composite of images already open, file i in slots[i] (the batch composite
// step): stacked in the same passes into a new current image; the open images stay. One image
// is left as it is. With the rotation method the first image becomes current and the star
// pick starts (3023 goes on).
CommandResult composite_open_images(Workbench& wb, const std::vector<int>& slots,
                                    const ProgressFn& progress = {});
// 3023: the same on the stars picked in slots[0], stacked as 3022 does; the result replaces
// the image in slots[0] and becomes current.
CommandResult composite_open_images_on_stars(Workbench& wb, const std::vector<int>& slots,
                                             const ProgressFn& progress = {});

// Appends dropped files to the multi-file list as far as its sixteen places allow; the
// message says when some were left out.
CommandResult add_composite_files(MultiFileCompositeSettings& settings,
                                  const std::vector<std::string>& dropped);

}  // namespace vora
