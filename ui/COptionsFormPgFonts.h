#pragma once

#include <QColor>
#include <QFont>

#include <functional>
#include <optional>
#include <string>

#include "ui/CvOptionsPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class QWidget;

// Appearance page: the font and colour of the message text in the popup and
// archive windows, and the colours of the archive's current row. Each choice
// goes into its compound text setting ("name=..., size=..., color=...";
// "color=..., bkcolor=..."), keeping pairs the page does not edit; a sample
// shows the result.
class COptionsFormPgFonts : public CvOptionsPage {
    Q_OBJECT
public:
    // Asks for a font or a colour starting at the current one; nullopt when
    // cancelled.
    using AskFont = std::function<std::optional<QFont>(const QFont& current)>;
    using AskColor = std::function<std::optional<QColor>(const QColor& current)>;

    enum Object { kPopupWindow = 0, kArchiveWindow = 1 };
    enum Item { kMessageText = 0, kRowHighlight = 1 };

    static constexpr const char* kSampleText = "AaBbCcXxYyZz";

    // `askFont` and `askColor` outlive the page.
    COptionsFormPgFonts(CvPropertyEditor& editor, LockRule isLocked, const AskFont& askFont,
                        const AskColor& askColor);

    void Select(Object object, Item item);
    QComboBox* ObjectBox() const { return m_object; }
    QComboBox* ItemBox() const { return m_item; }
    QPushButton* FontButton() const { return m_fontButton; }
    QToolButton* ColorButton() const { return m_colorButton; }
    QToolButton* BackgroundButton() const { return m_backgroundButton; }
    QLabel* Sample() const { return m_sample; }
    QLabel* FontName() const { return m_fontName; }
    QLabel* FontSize() const { return m_fontSize; }

private:
    int32_t SettingId() const;
    QFont CurrentFont() const;
    std::optional<QColor> CurrentColor(const char* key) const;
    void Store(const char* key, const std::string& value);
    void FillItems();
    void ShowItem();
    void ChooseFont();
    void ChooseColor(const char* key);
    void FollowEnabled();

    const AskFont& m_askFont;
    const AskColor& m_askColor;
    QCheckBox* m_enabled;
    QComboBox* m_object;
    QComboBox* m_item;
    QWidget* m_fontRows;
    QLabel* m_fontName;
    QLabel* m_fontSize;
    QPushButton* m_fontButton;
    QToolButton* m_colorButton;
    QLabel* m_backgroundLabel;
    QToolButton* m_backgroundButton;
    QLabel* m_sample;
};
