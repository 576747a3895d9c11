#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "app/CvFunction.h"
#include "widgets/CvCloudWnd.h"

class CvButton;
class CvRichEdit;
class CvStaticLink;
class cvDragBar;

// The popup settings a message popup keeps a copy of.
struct CvPopupSettings {
    bool captionDisabled = false;  // PopupMsgWndCaptionDisabled
    bool toolbarDisabled = false;  // PopupMsgWndToolBarDisabled
    bool useFixedPos = false;      // PopupMsgWndUseFixedPos
    int fixedX = 0;                // PopupMsgWndFixedPosX, percent of the screen
    int fixedY = 0;
    int scale = 0;  // PopupMsgWndScale, percent of the screen width
    int ratioMin = 0;
    int ratioMax = 0;
};

// The popup that shows received messages one at a time in a cloud near the
// notification area, and, with other colours and no buttons, an error. It
// holds no messages: it shows the text it is given and calls its owner's
// bindings for every action. Created hidden on first use and kept; closing
// hides it.
class CPopupMsgForm : public CvCloudWnd {
    Q_OBJECT
public:
    static constexpr int kCommandClose = 5;
    static constexpr int kCaptionHeight = 25;
    static constexpr int kTextMargin = 6;
    static constexpr int kToolbarHeight = 20;
    static constexpr int kCaptionTileSize = 25;

    // Border colour and caption picture: message popup or error popup.
    CPopupMsgForm(const QColor& border, const QPixmap& captionTile);
    ~CPopupMsgForm() override;

    // Before Create: a toolbar button with its binding (not owned).
    void AddToolbarButton(const QString& text, CvNullaryFunction<void>* binding);
    // The owner's bindings (not owned, null for none): may the popup close
    // (close button), what to do after it was hidden, may it close itself.
    void SetBindings(CvNullaryFunction<bool>* closeRequest, CvNullaryFunction<void>* afterHide,
                     CvNullaryFunction<bool>* mayAutoClose);
    // Places the popup on the screen from its size; called by every layout
    // while the popup is shown (not owned).
    void SetPlacer(CvUnaryFunction<void, CPopupMsgForm&>* placer) { m_placer = placer; }
    void SetSettings(const CvPopupSettings& settings) { m_settings = settings; }
    const CvPopupSettings& Settings() const { return m_settings; }
    // The message font; nullopt for the default one.
    void SetMessageFont(const std::optional<QFont>& font);
    // The message text's colour; an invalid colour: black or white by the
    // background.
    void SetMessageColor(const QColor& color);
    void SetLinkMode(int mode);

    // Builds the children with the caption text (hidden window).
    void Create(const QString& caption);
    bool IsCreated() const { return m_created; }
    void SetText(const std::string& text);
    void SetCaption(const QString& caption);
    // Lays out and shows the popup without taking the focus, then refreshes
    // its content. `activate` is kept for the callers' sake: a popup never
    // takes the focus by itself.
    void ShowPopup(bool activate);

    // What the close button does: hides the popup unless the owner keeps it
    // open. Escape does the same, so that a popup without its caption (and
    // so without the close button) can be closed.
    void RequestClose();

    QSize ComputeSize() override;
    void LayOut() override;
    bool MayAutoClose() override;

    CvRichEdit* TextArea() const { return m_text; }
    cvDragBar* CaptionBar() const { return m_caption; }
    CvButton* CloseButton() const { return m_closeButton; }
    const std::vector<CvStaticLink*>& ToolbarButtons() const { return m_buttons; }
    QString Caption() const { return m_captionText; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnCommand(int id);

    struct ToolbarButton {
        QString text;
        CvNullaryFunction<void>* binding;
    };

    QPixmap m_captionTile;
    bool m_created = false;
    QString m_captionText;
    cvDragBar* m_caption = nullptr;
    CvButton* m_closeButton = nullptr;
    CvRichEdit* m_text = nullptr;
    std::vector<ToolbarButton> m_toolbar;
    std::vector<CvStaticLink*> m_buttons;
    std::optional<QFont> m_font;
    QColor m_textColor;
    CvNullaryFunction<bool>* m_closeRequest = nullptr;
    CvNullaryFunction<void>* m_afterHide = nullptr;
    CvNullaryFunction<bool>* m_mayAutoClose = nullptr;
    CvUnaryFunction<void, CPopupMsgForm&>* m_placer = nullptr;
    int m_linkMode = 1;
    CvPopupSettings m_settings;
    bool m_placing = false;
};
