#include "ui/CvFormPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "app/CvAppSettingsStore.h"
#include "app/CvWindowState.h"

namespace CvFormPlacement {

bool Restore(QWidget& window, const CvAppSettingsStore& store, const std::string& name,
             QSize minimum) {
    CvWindowPlacement placement;
    auto storage = store.OpenWindowStorage(name, false);
    if (!storage ||
        !CvWindowState::Restore(placement, *storage,
                                CvWindowStateBits::kTop | CvWindowStateBits::kLeft |
                                    CvWindowStateBits::kHeight | CvWindowStateBits::kWidth)) {
        return false;
    }
    const QRect rect(placement.left, placement.top, placement.right - placement.left,
                     placement.bottom - placement.top);
    if (QGuiApplication::screenAt(rect.center()) == nullptr || rect.width() < minimum.width() ||
        rect.height() < minimum.height()) {
        return false;
    }
    window.setGeometry(rect);
    return true;
}

void Save(const QWidget& window, const CvAppSettingsStore& store, const std::string& name) {
    auto storage = store.OpenWindowStorage(name, true);
    if (!storage) {
        return;
    }
    const QRect rect = window.geometry();
    CvWindowPlacement placement;
    placement.top = rect.top();
    placement.left = rect.left();
    placement.bottom = rect.bottom() + 1;
    placement.right = rect.right() + 1;
    placement.showState = window.isMaximized() ? CvShowState::Maximized : CvShowState::Normal;
    CvWindowState::Save(placement, *storage, CvWindowStateBits::kAll);
}

}  // namespace CvFormPlacement
