#include "settings/batch_steps.h"

#include <memory>

namespace vora {
namespace {

// Index of the gamma step's per-channel switch; its control points start after it.
constexpr int kGammaSwitchIndex = 1;

// Calls visit(index, field) for every settings field a step of `operation` keeps, in the
// order of the settings file's groups. S is Settings or const Settings. The gamma step's
// per-channel switch is derived from the selected channel and handled by the callers.
template <class S, class Visit>
void visit_layout(S& s, int32_t operation, Visit&& visit) {
    auto run = [&](int first, auto&... fields) {
        int index = first;
        (visit(index++, fields), ...);
    };
    switch (operation) {
        case kStepOpenComposite: {
            auto& m = s.multi_file_composite;
            run(0, m.compare_range, m.compare_method, m.normalize, m.reject_mode, m.noise_level,
                m.stack_mode);
            run(11, m.min_shift, s.composite.rotation_size);
            break;
        }
        case kStepCut: {
            auto& c = s.cut;
            run(0, c.cut_anchor, c.cut_width, c.cut_height, c.output_mode, c.output_width,
                c.output_height, c.output_scale);
            break;
        }
        case kStepBackground: {
            auto& b = s.background_generation;
            run(0, b.detection_size, b.averaging_size, b.correction, b.shift, b.two_step,
                b.exclude_zero);
            break;
        }
        case kStepSharpen: {
            auto& h = s.sharp;
            run(0, h.use_r, h.use_g, h.use_b, h.radius, h.threshold, h.smooth_strength,
                h.sharp_strength, h.falloff);
            break;
        }
        case kStepEdge: {
            auto& e = s.edge;
            run(0, e.use_r, e.use_g, e.use_b, e.edge_area, e.edge_threshold, e.edge_smooth,
                e.edge_strength, e.dark_bright_split);
            break;
        }
        case kStepWavelet: {
            auto& g = s.wavelet.gain;
            run(0, s.wavelet_filter.order, g[0], g[1], g[2], g[3], g[4], g[5]);
            break;
        }
        case kStepRestore: {
            auto& r = s.restore;
            run(0, r.spread, r.bluntness, r.iterations, r.emphasis);
            break;
        }
        case kStepRotate:
            run(0, s.rotate.rotate_mode, s.rotate.angle);
            break;
        case kStepDistortion:
            run(0, s.distortion.corner_shift);
            break;
        case kStepGamma: {
            run(0, s.gamma.curve_mode);
            int index = kGammaSwitchIndex + 1;
            for (auto& set : s.gamma.points)
                for (auto& point : set) {
                    run(index, point.in, point.out);
                    index += 2;
                }
            break;
        }
        case kStepLevel: {
            run(0, s.level.channel);
            int index = 1;
            for (auto& l : s.level.sets) {
                run(index, l.in_low, l.in_high, l.brightness, l.contrast, l.gamma, l.out_low,
                    l.out_high);
                index += 7;
            }
            break;
        }
        case kStepColor:
            run(0, s.color.saturation, s.color.hue);
            break;
        case kStepNoise: {
            auto& n = s.noise;
            run(0, n.noise_area, n.noise_tolerance, n.noise_strength);
            break;
        }
        case kStepDynamicRange: {
            auto& d = s.dynamic_range;
            run(0, d.radius, d.tone_difference, d.strength);
            break;
        }
        default:
            break;  // no settings of their own
    }
}

// Writes the layout's indices of `values`; the other indices keep what they hold.
void copy_into_values(const Settings& s, int32_t operation,
                      std::array<int32_t, kStepValues>& values) {
    visit_layout(s, operation,
                 [&](int index, const int32_t& field) { values[std::size_t(index)] = field; });
    if (operation == kStepGamma) values[kGammaSwitchIndex] = s.gamma.channel != kToneAll ? 1 : 0;
}

// The whole settings group(s) of `operation` taken from `from`.
void restore_group(Settings& live, const Settings& from, int32_t operation) {
    switch (operation) {
        case kStepOpenComposite:
            live.multi_file_composite = from.multi_file_composite;
            live.composite.rotation_size = from.composite.rotation_size;
            break;
        case kStepCut:
            live.cut = from.cut;
            break;
        case kStepBackground:
            live.background_generation = from.background_generation;
            break;
        case kStepSharpen:
            live.sharp = from.sharp;
            break;
        case kStepEdge:
            live.edge = from.edge;
            break;
        case kStepWavelet:
            live.wavelet = from.wavelet;
            live.wavelet_filter = from.wavelet_filter;
            break;
        case kStepRestore:
            live.restore = from.restore;
            break;
        case kStepRotate:
            live.rotate = from.rotate;
            break;
        case kStepDistortion:
            live.distortion = from.distortion;
            break;
        case kStepGamma:
            live.gamma = from.gamma;
            break;
        case kStepLevel:
            live.level = from.level;
            break;
        case kStepColor:
            live.color = from.color;
            break;
        case kStepNoise:
            live.noise = from.noise;
            break;
        case kStepDynamicRange:
            live.dynamic_range = from.dynamic_range;
            break;
        default:
            break;
    }
}

bool valid_step(int step) {
    return step >= 0 && step < kBatchSteps;
}

}  // namespace

std::array<int32_t, kStepValues> step_values_from(const Settings& s, int32_t operation) {
    std::array<int32_t, kStepValues> values{};
    copy_into_values(s, operation, values);
    return values;
}

void step_values_to(const std::array<int32_t, kStepValues>& values, int32_t operation,
                    Settings& s) {
    visit_layout(s, operation,
                 [&](int index, int32_t& field) { field = values[std::size_t(index)]; });
    if (operation != kStepGamma) return;
    // The switch only says whether one channel is selected; a selected channel is kept.
    if (values[kGammaSwitchIndex] == 0)
        s.gamma.channel = kToneAll;
    else if (s.gamma.channel < kToneRed || s.gamma.channel > kToneBlue)
        s.gamma.channel = kToneRed;
}

void load_step_settings(BatchRecipe& recipe, Settings& live, int32_t operation, int step) {
    if (!valid_step(step)) return;
    recipe.saved_live = std::make_shared<Settings>(live);
    const BatchStep& st = recipe.steps[std::size_t(step)];
    if (st.stored_operation == operation) step_values_to(st.values, operation, live);
}

void store_step_settings(BatchRecipe& recipe, Settings& live, int32_t operation, int step) {
    if (!valid_step(step)) return;
    BatchStep& st = recipe.steps[std::size_t(step)];
    // Indices the layout does not cover (the save filter index of a save step, unused
    // ones) keep their values while the step stays with the same operation.
    if (st.stored_operation != operation) st.values = {};
    copy_into_values(live, operation, st.values);
    st.stored_operation = operation;
    if (!recipe.saved_live) return;
    restore_group(live, *recipe.saved_live, operation);
    recipe.saved_live.reset();
}

}  // namespace vora
