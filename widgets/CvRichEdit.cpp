#include "widgets/CvRichEdit.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include "app/CvLangTexts.h"
#include "app/CvLinkUrl.h"
#include "app/CvParser.h"

namespace {

std::u16string ToU16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())};
}

bool IsDark(const QColor& color) {
    return color.lightnessF() < 0.5;
}

}  // namespace

CvRichEdit::CvRichEdit(QWidget* parent) : QTextBrowser(parent) {
    // Links are opened here, by the desktop, never by the browser itself.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setTextInteractionFlags(Qt::TextBrowserInteraction);
    connect(this, &QTextBrowser::anchorClicked, this, &CvRichEdit::OnAnchorClicked);
}

void CvRichEdit::SetLinkMode(int mode) {
    m_linkMode = mode;
    Render();
}

void CvRichEdit::SetMessageText(const std::string& text) {
    m_text = text;
    Render();
}

void CvRichEdit::SetBackground(const QColor& color) {
    m_background = color;
    ApplyColors();
}

void CvRichEdit::SetTextColor(const QColor& color) {
    m_textColor = color;
    ApplyColors();
}

void CvRichEdit::ApplyColors() {
    QPalette colors = palette();
    if (m_background.isValid()) {
        colors.setColor(QPalette::Base, m_background);
    }
    // Text and links stay readable whatever the desktop's colour scheme.
    const bool dark = IsDark(colors.color(QPalette::Base));
    colors.setColor(QPalette::Text, m_textColor.isValid()
                                        ? m_textColor
                                        : (dark ? QColor(Qt::white) : QColor(Qt::black)));
    colors.setColor(QPalette::Link, dark ? QColor(0x8A, 0xB4, 0xF8) : QColor(0x00, 0x00, 0xCC));
    setPalette(colors);
    Render();  // the links carry their colour in the text
}

int CvRichEdit::HeightForWidth(int width) const {
    const QMargins frame = contentsMargins();
    const QMargins viewport = viewportMargins();
    const int textWidth =
        std::max(1, width - frame.left() - frame.right() - viewport.left() - viewport.right());
    // Measured on a copy: laying out the shown document at another width
    // would disturb the view.
    const std::unique_ptr<QTextDocument> measure(document()->clone());
    measure->setDefaultFont(document()->defaultFont());
    measure->setDocumentMargin(document()->documentMargin());
    measure->setTextWidth(textWidth);
    return static_cast<int>(std::ceil(measure->size().height())) + frame.top() + frame.bottom() +
           viewport.top() + viewport.bottom();
}

QList<QUrl> CvRichEdit::LinkUrls() const {
    return m_links;
}

void CvRichEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The selection as the release finds it: a drag that selected text is no
    // click. Read before the base class handles the release, as it selects a
    // link when it activates one.
    m_releaseAfterDrag = textCursor().hasSelection();
    QTextBrowser::mouseReleaseEvent(event);
    m_releaseAfterDrag = false;
}

void CvRichEdit::resizeEvent(QResizeEvent* event) {
    QTextBrowser::resizeEvent(event);
    UpdateHeightNeeded();
}

void CvRichEdit::changeEvent(QEvent* event) {
    QTextBrowser::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateHeightNeeded();
    }
}

void CvRichEdit::Render() {
    // Invalid UTF-8 becomes U+FFFD; the parser sees the same characters as
    // the document, so both count positions alike.
    const QString text = QString::fromStdString(m_text);
    // CR LF, LF and CR each become one paragraph break.
    setPlainText(text);
    m_links.clear();

    CvParser parser;
    parser.SetText(ToU16(text));
    parser.SetMode(m_linkMode);
    parser.Parse();

    QTextCharFormat linkFormat;
    linkFormat.setAnchor(true);
    linkFormat.setForeground(palette().color(QPalette::Link));
    linkFormat.setFontUnderline(true);
    const int lastPosition = std::max(0, document()->characterCount() - 1);
    QTextCursor cursor(document());
    for (const CvParserToken& token : parser.Tokens()) {
        if (token.type != CvParser::kTokenLink) {
            continue;
        }
        const int start = std::clamp(token.start.position, 0, lastPosition);
        const int end = std::clamp(token.end.position, start, lastPosition);
        if (start == end) {
            continue;
        }
        const QUrl url(QString::fromStdString(CvLinkUrl(parser.TokenText(token))),
                       QUrl::TolerantMode);
        // The href is the link's number: what a click opens is the URL made
        // here, not one parsed back out of the document.
        linkFormat.setAnchorHref(QString::number(m_links.size()));
        // Escaped: the link came from the network and must not be markup.
        linkFormat.setToolTip(Qt::convertFromPlainText(url.toDisplayString()));
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(linkFormat);
        m_links.append(url);
    }
    UpdateHeightNeeded();
}

void CvRichEdit::UpdateHeightNeeded() {
    const int height = HeightForWidth(width());
    if (height != m_heightNeeded) {
        m_heightNeeded = height;
        emit heightNeeded(height);
    }
}

void CvRichEdit::OnAnchorClicked(const QUrl& url) {
    bool isNumber = false;
    const int index = url.toString().toInt(&isNumber);
    if (!isNumber || index < 0 || index >= m_links.size()) {
        return;
    }
    if (m_releaseAfterDrag) {
        return;
    }
    const QUrl target = m_links.at(index);
    switch (CvLinkOpenRule(target.toString(QUrl::FullyEncoded).toStdString())) {
        case CvLinkOpen::Refuse:
            QApplication::beep();
            break;
        case CvLinkOpen::Ask:
            AskToOpen(target);
            break;
        case CvLinkOpen::Open:
            Open(target);
            break;
    }
}

void CvRichEdit::AskToOpen(const QUrl& url) {
    // The link came from the network: shown as text, never as markup. Asked
    // without a nested event loop, so that whatever closes the window
    // meanwhile (the program ends) closes the question with it.
    auto* question = new QMessageBox(QMessageBox::Question,
                                     QString::fromStdString(CvLangTexts::Instance().GetText(113)),
                                     QString::fromStdString(CvLangTexts::Instance().GetText(114)) +
                                         "\n\n" + url.toDisplayString(),
                                     QMessageBox::Yes | QMessageBox::No, this);
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setTextFormat(Qt::PlainText);
    question->setDefaultButton(QMessageBox::No);
    connect(question, &QMessageBox::finished, this, [this, question, url] {
        if (question->clickedButton() == question->button(QMessageBox::Yes)) {
            Open(url);
        }
    });
    question->open();
}

void CvRichEdit::Open(const QUrl& url) {
    if (!QDesktopServices::openUrl(url)) {
        // The desktop has no opener for the link: the beep is all the user
        // gets, as the desktop shows nothing either.
        QApplication::beep();
    }
    emit linkOpened(url);
}
