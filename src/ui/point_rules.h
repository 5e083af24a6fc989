// What the composites aligned by points (by point, L+RGB, L+R+G+B) share at the command
// level: the marks as the dialogs show them, the rules that complete missing B points, and
// the parameter entries they pass.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/engine.h"
#include "core/image_record.h"
#include "core/image_table.h"
#include "settings/composite_settings.h"

namespace vora {

// The slot a dialog's list text ("%02d(%s)") names: −1 for none (an empty text or one that
// starts with "("), −2 for a text that names no picture.
int chosen_slot(const ImageTable& table, const std::string& label);

// The image's marks A and B in display coordinates (y from the top); a mark not set is (0, 0).
AlignPoints marked_points(const ImageRecord& r);

// Each B equal to its A becomes (0, 0); then, when any B is (0, 0), every B becomes
// A + (100, 100), so that only the translation by the midpoints remains. Returns whether
// that second rule applied.
bool complete_b_points(std::span<AlignPoints> points);

inline int32_t packed_a(const AlignPoints& p) {
    return pack_point(p.a_x, p.a_y);
}
inline int32_t packed_b(const AlignPoints& p) {
    return pack_point(p.b_x, p.b_y);
}

// The average's rejection entry: the noise level, the level + 256 in move mode, and −1 for
// none or when the images are deliberately shifted apart.
inline int32_t rejection_param(int32_t reject_mode, int32_t noise_level, int32_t shift_x,
                               int32_t shift_y) {
    if (shift_x != 0 || shift_y != 0) return -1;
    if (reject_mode == kRejectNoise) return noise_level;
    if (reject_mode == kRejectMove) return noise_level + 256;
    return -1;
}

}  // namespace vora
