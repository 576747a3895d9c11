#pragma once

#include <cstdint>

#include "app/CvSettingStorage.h"

enum class CvShowState { Normal, Minimized, Maximized };

// A window's normal (restored) rectangle in screen pixels, how it is shown,
// and whether it is visible.
struct CvWindowPlacement {
    int32_t top = 0;
    int32_t left = 0;
    int32_t bottom = 0;
    int32_t right = 0;
    CvShowState showState = CvShowState::Normal;
    bool visible = true;

    bool operator==(const CvWindowPlacement&) const = default;
};

// Bits of the mask that select the stored values.
namespace CvWindowStateBits {
inline constexpr uint32_t kTop = 1;       // "Top"
inline constexpr uint32_t kLeft = 2;      // "Left"
inline constexpr uint32_t kHeight = 4;    // "Height"
inline constexpr uint32_t kWidth = 8;     // "Width"
inline constexpr uint32_t kState = 16;    // "State": 0 normal, 1 minimised, 2 maximised
inline constexpr uint32_t kVisible = 32;  // "Visible": 1 or 0
inline constexpr uint32_t kAll = 63;
}  // namespace CvWindowStateBits

namespace CvWindowState {

// Writes the values the mask selects. False when a write failed.
bool Save(const CvWindowPlacement& placement, CvSettingStorage& storage, uint32_t mask);

// Applies the selected values in bit order (Height and Width count from the
// Top and Left just read). Only when every selected value exists is
// `placement` changed; false (placement untouched) otherwise, and the caller
// falls back to its default placement.
bool Restore(CvWindowPlacement& placement, CvSettingStorage& storage, uint32_t mask);

}  // namespace CvWindowState
