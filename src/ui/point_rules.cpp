#include "ui/point_rules.h"

namespace vora {

int chosen_slot(const ImageTable& table, const std::string& label) {
    if (label.empty() || label[0] == '(') return -1;
    const int slot = slot_from_label(label);
    return slot >= 0 && table[slot].occupied() ? slot : -2;
}

AlignPoints marked_points(const ImageRecord& r) {
    AlignPoints p;
    if (r.point_a_x >= 0) {
        p.a_x = r.point_a_x;
        p.a_y = r.height - 1 - r.point_a_y;
    }
    if (r.point_b_x >= 0) {
        p.b_x = r.point_b_x;
        p.b_y = r.height - 1 - r.point_b_y;
    }
    return p;
}

bool complete_b_points(std::span<AlignPoints> points) {
    bool missing = false;
    for (AlignPoints& p : points) {
        if (p.b_x == p.a_x && p.b_y == p.a_y) p.b_x = p.b_y = 0;
        missing = missing || (p.b_x == 0 && p.b_y == 0);
    }
    if (!missing) return false;
    for (AlignPoints& p : points) {
        p.b_x = p.a_x + 100;
        p.b_y = p.a_y + 100;
    }
    return true;
}

}  // namespace vora
