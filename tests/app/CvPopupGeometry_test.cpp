#include "app/CvPopupGeometry.h"

#include <gtest/gtest.h>

namespace {

using CvPopupGeometry::Point;
using CvPopupGeometry::Rect;

TEST(CvPopupGeometry, Bounds) {
    struct Case {
        int screenWidth, scale, ratioMin, ratioMax;
        int width, minHeight, maxHeight;
    };
    const Case cases[] = {
        {1280, 0, 0, 0, 300, 155, 355},      // the defaults: 300 pixels wide
        {1366, 0, 0, 0, 300, 155, 355},      // whatever the screen
        {1280, 150, 0, 0, 1280, 661, 1514},  // above 100 % is the whole screen
        {1280, 50, 0, 0, 640, 330, 757},
        {1280, 25, 40, 0, 320, 165, 378},   // one ratio 0: both defaults
        {1280, 25, 40, 60, 320, 128, 192},  // both set
        {200, 0, 0, 0, 200, 103, 236},      // a screen narrower than 300 pixels
    };
    for (const Case& c : cases) {
        const auto bounds =
            CvPopupGeometry::ComputeBounds(c.screenWidth, c.scale, c.ratioMin, c.ratioMax);
        EXPECT_EQ(bounds.width, c.width) << c.screenWidth << " scale " << c.scale;
        EXPECT_EQ(bounds.minHeight, c.minHeight) << c.screenWidth << " scale " << c.scale;
        EXPECT_EQ(bounds.maxHeight, c.maxHeight) << c.screenWidth << " scale " << c.scale;
    }
}

TEST(CvPopupGeometry, HeightFollowsTheTextWithinBounds) {
    const auto bounds = CvPopupGeometry::ComputeBounds(1280, 0, 0, 0);
    EXPECT_EQ(CvPopupGeometry::ComputeHeight(bounds, 20), 155);
    EXPECT_EQ(CvPopupGeometry::ComputeHeight(bounds, 200), 255);
    EXPECT_EQ(CvPopupGeometry::ComputeHeight(bounds, 2000), 355);
    // Crossed bounds: the maximum wins.
    EXPECT_EQ(CvPopupGeometry::ComputeHeight({300, 400, 350}, 10), 350);
    EXPECT_EQ(CvPopupGeometry::TextWidth(300), 288);
}

TEST(CvPopupGeometry, Placement) {
    const Rect screen{0, 0, 1280, 800};
    struct Case {
        const char* what;
        Rect available;
        bool fixed;
        int x, y;
        Point expected;
    };
    const Case cases[] = {
        {"no panel", screen, false, 0, 0, {1280 - 300 - 15, 800 - 200 - 10}},
        {"bottom panel", {0, 0, 1280, 760}, false, 0, 0, {965, 800 - 200 - 50}},
        {"right panel", {0, 0, 1220, 800}, false, 0, 0, {1280 - 300 - 75, 590}},
        {"top panel leaves the corner alone", {0, 30, 1280, 800}, false, 0, 0, {965, 590}},
        {"fixed in the centre", screen, true, 50, 50, {490, 300}},
        {"fixed ignores panels", {0, 0, 1220, 760}, true, 50, 50, {490, 300}},
        {"fixed at the top left", screen, true, 0, 0, {-150, -100}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            CvPopupGeometry::PlaceMessagePopup(screen, c.available, 300, 200, c.fixed, c.x, c.y),
            c.expected)
            << c.what;
    }
    // A second screen to the right of the first one.
    EXPECT_EQ(CvPopupGeometry::PlaceMessagePopup({1280, 0, 2560, 800}, {1280, 0, 2560, 800}, 300,
                                                 200, false, 0, 0),
              (Point{2560 - 315, 590}));
}

TEST(CvPopupGeometry, ErrorPopupStandsAboveTheMessagePopup) {
    const Rect screen{0, 0, 1280, 800};
    EXPECT_EQ(CvPopupGeometry::PlaceErrorPopup(screen, screen, 300, 155, false, 200),
              (Point{965, 800 - 155 - 10}));
    EXPECT_EQ(CvPopupGeometry::PlaceErrorPopup(screen, screen, 300, 155, true, 200),
              (Point{965, 800 - 155 - 10 - 210}));
}

}  // namespace
