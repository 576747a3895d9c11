#include "ui/CNoTrayForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CvLangTexts.h"
#include "ui/CvResources.h"

CNoTrayForm::CNoTrayForm(const QString& explanation, const std::vector<Entry>& entries)
    : CvFormBase(nullptr, Qt::Window) {
    setWindowTitle(QString::fromStdString(CvLangTexts::Instance().GetText(401)));
    setWindowIcon(CvResources::AppIcon());
    auto* picture = new QLabel(this);
    picture->setPixmap(CvResources::AppIcon().pixmap(48, 48));
    m_text = new QLabel(explanation, this);
    m_text->setWordWrap(true);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (const Entry& entry : entries) {
        auto* button = new QPushButton(entry.text, this);
        connect(button, &QPushButton::clicked, this, entry.action);
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setMinimumWidth(420);
}

QString CNoTrayForm::Explanation() const {
    return m_text->text();
}
