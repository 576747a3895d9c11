#pragma once

// The size and screen position of the message popup, in pixels. Pure
// arithmetic, so that a screen of any size can be tried without one.
namespace CvPopupGeometry {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;  // exclusive
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Width and height bounds from the screen width and the settings
// PopupMsgWndScale (percent of the screen width, 0 = 300 pixels, above 100 =
// 100) and PopupMsgWndAspectRatioMin/Max (height in percent of the width; 0
// in either = the defaults 51.666668 and 118.333336).
struct Bounds {
    int width = 0;
    int minHeight = 0;
    int maxHeight = 0;
};
Bounds ComputeBounds(int screenWidth, int scale, int ratioMin, int ratioMax);

// The text needs `textHeight` pixels at width - 12: the popup is 55 pixels
// taller, at least minHeight and at most maxHeight (the maximum wins when
// the bounds cross).
int ComputeHeight(const Bounds& bounds, int textHeight);

// The text area's width for a popup of `width`.
inline int TextWidth(int width) {
    return width - 12;
}

// Top-left corner of the popup. `screen` is the whole screen, `available`
// the part that panels leave free (a panel at the bottom or right edge
// widens that margin). Not fixed: 15 pixels from the right and 10 from the
// bottom of the free area. Fixed: centred on (fixedX, fixedY) percent of the
// screen.
Point PlaceMessagePopup(const Rect& screen, const Rect& available, int width, int height,
                        bool fixed, int fixedX, int fixedY);

// The error popup always sits in the corner; above a visible message popup
// that is not at a fixed position (10 pixels apart).
Point PlaceErrorPopup(const Rect& screen, const Rect& available, int width, int height,
                      bool messagePopupInCorner, int messagePopupHeight);

}  // namespace CvPopupGeometry
