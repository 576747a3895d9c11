#include "app/CvPopupGeometry.h"

#include <algorithm>

namespace CvPopupGeometry {

namespace {

constexpr float kDefaultRatioMin = 51.666668f;
constexpr float kDefaultRatioMax = 118.333336f;
constexpr int kDefaultWidth = 300;
constexpr int kRightMargin = 15;
constexpr int kBottomMargin = 10;
constexpr int kTextExtra = 55;
constexpr int kStackGap = 10;

Point Corner(const Rect& screen, const Rect& available, int width, int height, int extraBottom) {
    const int rightMargin = kRightMargin + std::max(0, screen.right - available.right);
    const int bottomMargin = kBottomMargin + std::max(0, screen.bottom - available.bottom);
    return {screen.right - width - rightMargin,
            screen.bottom - height - bottomMargin - extraBottom};
}

}  // namespace

Bounds ComputeBounds(int screenWidth, int scale, int ratioMin, int ratioMax) {
    float minRatio = kDefaultRatioMin;
    float maxRatio = kDefaultRatioMax;
    if (ratioMin != 0 && ratioMax != 0) {
        minRatio = static_cast<float>(ratioMin);
        maxRatio = static_cast<float>(ratioMax);
    }
    Bounds bounds;
    if (scale == 0) {
        // 300 pixels exactly: 300 / W * 100 / 100 * W can land a hair below.
        bounds.width = std::min(kDefaultWidth, std::max(0, screenWidth));
    } else {
        const float percent = std::min(static_cast<float>(scale), 100.0f);
        bounds.width = static_cast<int>(percent / 100.0f * static_cast<float>(screenWidth));
    }
    const auto width = static_cast<float>(bounds.width);
    bounds.minHeight = static_cast<int>(width * minRatio / 100.0f);
    bounds.maxHeight = static_cast<int>(width * maxRatio / 100.0f);
    return bounds;
}

int ComputeHeight(const Bounds& bounds, int textHeight) {
    int height = std::max(textHeight + kTextExtra, bounds.minHeight);
    return std::min(height, bounds.maxHeight);
}

Point PlaceMessagePopup(const Rect& screen, const Rect& available, int width, int height,
                        bool fixed, int fixedX, int fixedY) {
    if (!fixed) {
        return Corner(screen, available, width, height, 0);
    }
    const auto x = static_cast<float>(fixedX) / 100.0f * static_cast<float>(screen.Width()) -
                   static_cast<float>(width) / 2.0f;
    const auto y = static_cast<float>(fixedY) / 100.0f * static_cast<float>(screen.Height()) -
                   static_cast<float>(height) / 2.0f;
    return {screen.left + static_cast<int>(x), screen.top + static_cast<int>(y)};
}

Point PlaceErrorPopup(const Rect& screen, const Rect& available, int width, int height,
                      bool messagePopupInCorner, int messagePopupHeight) {
    const int extra = messagePopupInCorner ? messagePopupHeight + kStackGap : 0;
    return Corner(screen, available, width, height, extra);
}

}  // namespace CvPopupGeometry
