#include "app/CvWindowState.h"

#include <algorithm>
#include <cstdint>

namespace CvWindowState {

namespace {

constexpr const char* kNames[] = {"Top", "Left", "Height", "Width", "State", "Visible"};

int32_t StateNumber(CvShowState state) {
    switch (state) {
        case CvShowState::Minimized:
            return 1;
        case CvShowState::Maximized:
            return 2;
        default:
            return 0;
    }
}

CvShowState StateFromNumber(int32_t number) {
    switch (number) {
        case 1:
            return CvShowState::Minimized;
        case 2:
            return CvShowState::Maximized;
        default:
            return CvShowState::Normal;
    }
}

// Hand-edited values must not overflow the edges.
int32_t Clamped(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

bool Save(const CvWindowPlacement& placement, CvSettingStorage& storage, uint32_t mask) {
    const int32_t values[] = {placement.top,
                              placement.left,
                              Clamped(int64_t{placement.bottom} - placement.top),
                              Clamped(int64_t{placement.right} - placement.left),
                              StateNumber(placement.showState),
                              placement.visible ? 1 : 0};
    bool allWritten = true;
    for (int bit = 0; bit < 6; ++bit) {
        if ((mask & (1u << bit)) != 0) {
            allWritten = storage.WriteInt(kNames[bit], values[bit]) && allWritten;
        }
    }
    return allWritten;
}

bool Restore(CvWindowPlacement& placement, CvSettingStorage& storage, uint32_t mask) {
    CvWindowPlacement result = placement;
    bool complete = true;
    for (int bit = 0; bit < 6; ++bit) {
        if ((mask & (1u << bit)) == 0) {
            continue;
        }
        int32_t value = 0;
        if (!storage.ValueExists(kNames[bit]) || !storage.TryReadInt(kNames[bit], value)) {
            complete = false;
            continue;
        }
        switch (bit) {
            case 0:
                result.top = value;
                break;
            case 1:
                result.left = value;
                break;
            case 2:
                result.bottom = Clamped(int64_t{result.top} + value);
                break;
            case 3:
                result.right = Clamped(int64_t{result.left} + value);
                break;
            case 4:
                result.showState = StateFromNumber(value);
                break;
            default:
                result.visible = value > 0;
                break;
        }
    }
    if (complete) {
        placement = result;
    }
    return complete;
}

}  // namespace CvWindowState
