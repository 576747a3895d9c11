#include "ui/CPopupMsgForm.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>

#include "app/CvPopupGeometry.h"
#include "widgets/CvButton.h"
#include "widgets/CvClientAreaWnd.h"
#include "widgets/CvRichEdit.h"
#include "widgets/CvStaticLink.h"
#include "widgets/cvDragBar.h"

namespace {

const QColor kTextBackground(0xFF, 0xFF, 0xE1);
const QColor kStaticBackground(0xFF, 0xF9, 0xE6);

}  // namespace

CPopupMsgForm::CPopupMsgForm(const QColor& border, const QPixmap& captionTile)
    : m_captionTile(captionTile) {
    SetBorderColors(border, border);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &CPopupMsgForm::RequestClose);
}

CPopupMsgForm::~CPopupMsgForm() = default;

void CPopupMsgForm::AddToolbarButton(const QString& text, CvNullaryFunction<void>* binding) {
    m_toolbar.push_back({text, binding});
}

void CPopupMsgForm::SetBindings(CvNullaryFunction<bool>* closeRequest,
                                CvNullaryFunction<void>* afterHide,
                                CvNullaryFunction<bool>* mayAutoClose) {
    m_closeRequest = closeRequest;
    m_afterHide = afterHide;
    m_mayAutoClose = mayAutoClose;
}

void CPopupMsgForm::SetMessageFont(const std::optional<QFont>& font) {
    m_font = font;
    if (m_text != nullptr) {
        m_text->setFont(m_font.value_or(QFont()));
    }
}

void CPopupMsgForm::SetMessageColor(const QColor& color) {
    m_textColor = color;
    if (m_text != nullptr) {
        m_text->SetTextColor(m_textColor);
    }
}

void CPopupMsgForm::SetLinkMode(int mode) {
    m_linkMode = mode;
    if (m_text != nullptr) {
        m_text->SetLinkMode(mode);
    }
}

void CPopupMsgForm::Create(const QString& caption) {
    if (m_created) {
        return;
    }
    m_created = true;
    m_captionText = caption;
    setWindowTitle(caption);
    QWidget* area = ClientArea();
    ClientArea()->SetBackground(kStaticBackground);
    if (!m_settings.captionDisabled) {
        m_caption = new cvDragBar(area);
        m_caption->SetTile(m_captionTile);
        m_caption->SetText(caption);
        m_caption->setGeometry(0, 0, 298, kCaptionHeight);
    }
    m_text = new CvRichEdit(area);
    m_text->SetBackground(kTextBackground);
    m_text->SetTextColor(m_textColor);
    m_text->SetLinkMode(m_linkMode);
    m_text->setGeometry(6, 30, 288, 70);
    connect(m_text, &CvRichEdit::heightNeeded, this, [this] {
        if (isVisible()) {
            ReLayOut();
        }
    });
    if (!m_settings.captionDisabled) {
        m_closeButton = new CvButton(kCommandClose, QPixmap(QStringLiteral(":/corvane/close.png")),
                                     QPixmap(QStringLiteral(":/corvane/close-hot.png")), area);
        connect(m_closeButton, &CvButton::command, this, &CPopupMsgForm::OnCommand);
    }
    if (!m_settings.toolbarDisabled) {
        int id = 1000;
        for (const ToolbarButton& button : m_toolbar) {
            auto* link = new CvStaticLink(button.text, id++, area);
            link->SetBinding(button.binding);
            link->setGeometry(5, 130, 95, 15);
            m_buttons.push_back(link);
        }
    }
    LayOut();
}

void CPopupMsgForm::SetText(const std::string& text) {
    if (m_text == nullptr) {
        return;
    }
    m_text->SetMessageText(text);
    ReLayOut();
}

void CPopupMsgForm::SetCaption(const QString& caption) {
    m_captionText = caption;
    setWindowTitle(caption);
    if (m_caption != nullptr && !m_settings.captionDisabled) {
        m_caption->SetText(caption);
    }
}

void CPopupMsgForm::ShowPopup(bool /*activate*/) {
    LayOut();
    ShowWithoutActivation();
    RefreshContent();
}

QSize CPopupMsgForm::ComputeSize() {
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen != nullptr ? screen->geometry().width() : 1024;
    const auto bounds = CvPopupGeometry::ComputeBounds(screenWidth, m_settings.scale,
                                                       m_settings.ratioMin, m_settings.ratioMax);
    const int textHeight =
        m_text != nullptr ? m_text->HeightForWidth(CvPopupGeometry::TextWidth(bounds.width)) : 0;
    return {bounds.width, CvPopupGeometry::ComputeHeight(bounds, textHeight)};
}

void CPopupMsgForm::LayOut() {
    if (!m_created || m_placing) {
        return;
    }
    // Placing moves and resizes the window, which lays it out again.
    m_placing = true;
    const QSize size = ComputeSize();
    resize(size);
    if (m_placer != nullptr) {
        (*m_placer)(*this);
    }
    CvCloudWnd::LayOut();
    // Children are placed in the client area, which starts 2 pixels in.
    const int width = size.width();
    const int height = size.height();
    const int inset = 2;
    int top = kTextMargin - inset;
    if (m_caption != nullptr) {
        m_caption->setGeometry(0, 0, width - 2 * inset, kCaptionHeight);
        m_closeButton->setGeometry(width - 26 - inset, 3, 20, 20);
        m_closeButton->raise();
        top = kCaptionHeight + 5 - inset;
    }
    const bool toolbar = !m_settings.toolbarDisabled && !m_buttons.empty();
    const int bottomMargin = toolbar ? kToolbarHeight : 2;
    const int textLeft = kTextMargin - inset;
    const int textWidth = CvPopupGeometry::TextWidth(width);
    m_text->setGeometry(textLeft, top, textWidth, std::max(0, height - bottomMargin - inset - top));
    if (toolbar) {
        const int count = static_cast<int>(m_buttons.size());
        const int part = textWidth / count;
        for (int i = 0; i < count; ++i) {
            m_buttons[static_cast<size_t>(i)]->setGeometry(
                textLeft + i * part, height - kToolbarHeight - inset, part, 15);
        }
    }
    m_placing = false;
}

bool CPopupMsgForm::MayAutoClose() {
    return m_mayAutoClose == nullptr || (*m_mayAutoClose)();
}

void CPopupMsgForm::showEvent(QShowEvent* event) {
    if (m_text != nullptr) {
        m_text->setFont(m_font.value_or(QFont()));
    }
    CvCloudWnd::showEvent(event);
    LayOut();
}

void CPopupMsgForm::hideEvent(QHideEvent* event) {
    CvCloudWnd::hideEvent(event);
    if (m_afterHide != nullptr) {
        (*m_afterHide)();
    }
}

void CPopupMsgForm::OnCommand(int id) {
    if (id == kCommandClose) {
        RequestClose();
    }
}

void CPopupMsgForm::RequestClose() {
    if (!isVisible()) {
        return;
    }
    if (m_closeRequest != nullptr && !(*m_closeRequest)()) {
        return;  // the owner keeps it open, possibly at another row
    }
    hide();
}
