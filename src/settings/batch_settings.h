// The batch recipe: eight steps run on every file dropped in batch mode (open, or open and
// composite; up to six operations; save or end), each with its own private copy of its
// operation's settings, independent of the interactive settings.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace vora {

struct Settings;

inline constexpr int kBatchSteps = 8;
inline constexpr int kStepValues = 32;

// Step operation numbers.
enum BatchOperation : int32_t {
    kStepNothing = 0,
    kStepOpen = 1,           // the dropped file itself
    kStepOpenComposite = 2,  // every dropped file, composited
    kStepSave = 3,
    kStepCut = 4,
    kStepBackground = 5,
    kStepSharpen = 6,
    kStepEdge = 7,
    kStepWavelet = 8,
    kStepRestore = 9,
    kStepRotate = 10,
    kStepDistortion = 11,
    kStepGamma = 12,
    kStepLevel = 13,
    kStepColor = 14,
    kStepNoise = 15,
    kStepDynamicRange = 16,
    kStepEnd = 17,  // end without saving
    kStepOperationCount = 18,
};

// Whether step `step` (0..7) offers operation `operation`: the first step opens (1, 2), the
// last saves or ends (3, 17), the six between do nothing (0) or process (4..16).
inline bool step_offers(int step, int32_t operation) {
    if (step == 0) return operation == kStepOpen || operation == kStepOpenComposite;
    if (step == kBatchSteps - 1) return operation == kStepSave || operation == kStepEnd;
    if (step < 0 || step >= kBatchSteps) return false;
    return operation == kStepNothing || (operation >= kStepCut && operation <= kStepDynamicRange);
}

// Batch modes: off, one file at a time, composite then process.
enum BatchMode : int32_t { kBatchOff = 0, kBatchSingle = 1, kBatchComposite = 2 };

struct BatchStep {
    int32_t operation = kStepNothing;
    int32_t stored_operation = kStepNothing;  // the operation `values` belong to
    std::array<int32_t, kStepValues> values{};
    std::string save_extension;  // step 8 only
    std::string save_folder;
};

struct BatchRecipe {
    BatchRecipe() {
        steps[0].operation = kStepOpen;
        steps[kBatchSteps - 1].operation = kStepSave;
    }
    std::array<BatchStep, kBatchSteps> steps{};
    bool folder_set = false;  // the run is refused until it is, unless step 8 ends without saving
    bool timing = false;      // "時間計測"
    int32_t batch_mode = kBatchOff;
    // The live settings put aside while a step's private settings are loaded.
    std::shared_ptr<Settings> saved_live;
};

}  // namespace vora
