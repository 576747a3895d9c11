#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>

#include "app/CvPropertyValue.h"

class CvPropertyEditor;
class QBoxLayout;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QVBoxLayout;

// One page of the options dialog. A page reads its controls' values from the
// dialog's editor when it is created and writes every change back at once,
// so a page that is left and shown again shows what was changed on it.
// Settings an administrator fixed are shown disabled, with a note saying so.
class CvOptionsPage : public QWidget {
    Q_OBJECT
public:
    using LockRule = std::function<bool(int32_t id)>;

    // `editor` outlives the page; `isLocked` tells which settings the user may
    // not change.
    CvOptionsPage(CvPropertyEditor& editor, LockRule isLocked);

    CvPropertyValue Get(int32_t id) const;
    void Set(int32_t id, const CvPropertyValue& value);
    int32_t GetInt(int32_t id) const { return Get(id).GetInt(); }
    void SetInt(int32_t id, int32_t value) { Set(id, CvPropertyValue::Integer(value)); }
    bool IsLocked(int32_t id) const { return m_isLocked && m_isLocked(id); }

    // What a locked control says about itself.
    static QString LockedText();
    static QString Text(int id);

protected:
    QVBoxLayout* PageLayout() const { return m_layout; }
    // A titled frame added to the page; its layout takes the controls.
    QVBoxLayout* AddGroup(int titleId);
    QLabel* AddLabel(QBoxLayout* layout, int textId);
    // A check box that stores 1 or 0 in `id` as soon as it is clicked.
    QCheckBox* AddCheckBox(QBoxLayout* layout, int32_t id, int textId);
    // Radio buttons, each storing its value in `id` as soon as it is clicked.
    QButtonGroup* AddRadioGroup(QBoxLayout* layout, int32_t id,
                                std::initializer_list<std::pair<int, int32_t>> choices);
    // Disables `control` when `id` is locked; true when it did.
    bool ApplyLock(QWidget* control, int32_t id);
    // For locked entries that are not controls of their own (list rows).
    void ShowLockNote();
    // Ends the layout: the rest of the page stays empty, the note about
    // locked settings at the bottom.
    void Finish();

private:
    CvPropertyEditor& m_editor;
    LockRule m_isLocked;
    QVBoxLayout* m_layout;
    QLabel* m_lockNote;
};
