#pragma once

#include <QSize>
#include <string>

class CvAppSettingsStore;
class QWidget;

// A window's position and size kept in its window storage ("Windows.<name>"
// in INI mode, the Windows\<name> key in registry mode).
namespace CvFormPlacement {

// Gives `window` the stored geometry. False, and nothing changed, when none
// is stored, when it is smaller than `minimum`, or when it would not lie on
// any screen (a placement from another screen layout must not hide it).
bool Restore(QWidget& window, const CvAppSettingsStore& store, const std::string& name,
             QSize minimum);
void Save(const QWidget& window, const CvAppSettingsStore& store, const std::string& name);

}  // namespace CvFormPlacement
