#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QTextBrowser>
#include <QUrl>

#include <string>

// The read-only text of a message. Links that CvParser finds (by the link
// handling mode, the MessagesHandleLinks setting) are shown as links; a click
// on one (not a drag that selects text) opens it with the desktop's URL
// opener, a network share "\\host\share" as smb://host/share. What a
// message may open is limited (CvLinkOpenRule): web and mail links open at
// once, a share or another scheme only after the user agrees, a local file
// never.
class CvRichEdit : public QTextBrowser {
    Q_OBJECT
public:
    explicit CvRichEdit(QWidget* parent);

    // 0 none, 1 standard protocols, 2 any protocol; re-parses the text.
    void SetLinkMode(int mode);
    int LinkMode() const { return m_linkMode; }
    // UTF-8 text; CR LF, LF and CR are line breaks.
    void SetMessageText(const std::string& text);
    std::string MessageText() const { return m_text; }
    void SetBackground(const QColor& color);
    // The text's colour (the user's choice); an invalid colour: black or
    // white, whichever reads on the background.
    void SetTextColor(const QColor& color);
    QColor TextColor() const { return palette().color(QPalette::Text); }

    // The height in pixels the text needs at `width` (frame and margins
    // included).
    int HeightForWidth(int width) const;
    // The URLs of the links shown, in text order.
    QList<QUrl> LinkUrls() const;

signals:
    // A link was clicked and handed to the URL opener (whether it opened).
    void linkOpened(const QUrl& url);
    // The height the text needs changed.
    void heightNeeded(int height);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Render();
    void ApplyColors();
    void UpdateHeightNeeded();
    void OnAnchorClicked(const QUrl& url);
    // Asks whether to open `url` and opens it on Yes.
    void AskToOpen(const QUrl& url);
    void Open(const QUrl& url);

    std::string m_text;
    QColor m_background;  // invalid: the palette's
    QColor m_textColor;   // invalid: by the background
    int m_linkMode = 1;
    QList<QUrl> m_links;              // in text order; a link's href is its index here
    int m_heightNeeded = -1;          // last value of heightNeeded
    bool m_releaseAfterDrag = false;  // during the release of a drag
};
