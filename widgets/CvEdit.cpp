#include "widgets/CvEdit.h"

#include <QAction>

CvEdit::CvEdit(QWidget* parent) : QLineEdit(parent), m_button(new QAction(this)) {
    addAction(m_button, QLineEdit::TrailingPosition);
    connect(m_button, &QAction::triggered, this, &CvEdit::buttonClicked);
    connect(this, &QLineEdit::textChanged, this, &CvEdit::ShowIcon);
}

void CvEdit::SetButtonIcons(const QIcon& empty, const QIcon& filled) {
    m_empty = empty;
    m_filled = filled;
    ShowIcon();
}

void CvEdit::ShowIcon() {
    m_button->setIcon(text().isEmpty() ? m_empty : m_filled);
}
