#include "ui/CvOptionsPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/CvLangTexts.h"
#include "app/CvPropertyEditor.h"

CvOptionsPage::CvOptionsPage(CvPropertyEditor& editor, LockRule isLocked)
    : m_editor(editor),
      m_isLocked(std::move(isLocked)),
      m_layout(new QVBoxLayout(this)),
      m_lockNote(new QLabel(LockedText(), this)) {
    // The dialog's frame already leaves room on the left and above.
    m_layout->setContentsMargins(0, 6, 10, 6);
    m_layout->setSpacing(8);
    m_lockNote->setObjectName("LockNote");
    m_lockNote->setWordWrap(true);
    m_lockNote->setVisible(false);
}

CvPropertyValue CvOptionsPage::Get(int32_t id) const {
    return m_editor.Get(id);
}

void CvOptionsPage::Set(int32_t id, const CvPropertyValue& value) {
    // A locked control is disabled; this guards code paths that are not.
    if (!IsLocked(id)) {
        m_editor.Set(id, value);
    }
}

QString CvOptionsPage::LockedText() {
    return Text(616);
}

QString CvOptionsPage::Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

QVBoxLayout* CvOptionsPage::AddGroup(int titleId) {
    auto* group = new QGroupBox(Text(titleId));
    auto* layout = new QVBoxLayout(group);
    layout->setSpacing(4);
    m_layout->addWidget(group);
    return layout;
}

QLabel* CvOptionsPage::AddLabel(QBoxLayout* layout, int textId) {
    auto* label = new QLabel(Text(textId));
    label->setWordWrap(true);
    layout->addWidget(label);
    return label;
}

QCheckBox* CvOptionsPage::AddCheckBox(QBoxLayout* layout, int32_t id, int textId) {
    auto* box = new QCheckBox(Text(textId));
    box->setChecked(GetInt(id) != 0);
    connect(box, &QCheckBox::clicked, this, [this, id](bool checked) { SetInt(id, checked); });
    ApplyLock(box, id);
    layout->addWidget(box);
    return box;
}

QButtonGroup* CvOptionsPage::AddRadioGroup(QBoxLayout* layout, int32_t id,
                                           std::initializer_list<std::pair<int, int32_t>> choices) {
    auto* group = new QButtonGroup(this);
    const int32_t current = GetInt(id);
    for (const auto& [textId, value] : choices) {
        auto* button = new QRadioButton(Text(textId));
        button->setChecked(value == current);
        group->addButton(button, value);
        ApplyLock(button, id);
        layout->addWidget(button);
    }
    connect(group, &QButtonGroup::idClicked, this, [this, id](int value) { SetInt(id, value); });
    return group;
}

bool CvOptionsPage::ApplyLock(QWidget* control, int32_t id) {
    if (!IsLocked(id)) {
        return false;
    }
    control->setEnabled(false);
    control->setToolTip(LockedText());
    m_lockNote->setVisible(true);
    return true;
}

void CvOptionsPage::ShowLockNote() {
    m_lockNote->setVisible(true);
}

void CvOptionsPage::Finish() {
    m_layout->addStretch(1);
    m_layout->addWidget(m_lockNote);
}
