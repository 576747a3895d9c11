#include "ui/CNoTrayForm.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CvLangTexts.h"
#include "ui/CvFormRegistry.h"
#include "ui/CvResources.h"

namespace {

constexpr int kButtonsPerRow = 4;

}  // namespace

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
    auto* buttons = new QGridLayout;
    for (const Entry& entry : entries) {
        auto* button = new QPushButton(entry.text, this);
        connect(button, &QPushButton::clicked, this, entry.action);
        const int index = static_cast<int>(m_buttons.size());
        buttons->addWidget(button, index / kButtonsPerRow, index % kButtonsPerRow);
        m_buttons.push_back(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setMinimumWidth(480);
}

QString CNoTrayForm::Explanation() const {
    return m_text->text();
}

void CNoTrayForm::closeEvent(QCloseEvent* event) {
    if (CvFormRegistry::Instance().IsClosing()) {
        CvFormBase::closeEvent(event);
        return;
    }
    // Without a tray icon this window is the way back to the program.
    event->ignore();
    showMinimized();
}
