#include "ui/COptionsFormPgFonts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/CvAppSettingsTable.h"
#include "app/CvCompoundText.h"
#include "ui/CvAppearance.h"

namespace Id = CvSettingId;

namespace {

QIcon Swatch(const QColor& color) {
    QPixmap pixmap(36, 14);
    pixmap.fill(color);
    QPainter painter(&pixmap);
    painter.setPen(QApplication::palette().color(QPalette::WindowText));
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return QIcon(pixmap);
}

}  // namespace

COptionsFormPgFonts::COptionsFormPgFonts(CvPropertyEditor& editor, LockRule isLocked,
                                         const AskFont& askFont, const AskColor& askColor)
    : CvOptionsPage(editor, std::move(isLocked)),
      m_askFont(askFont),
      m_askColor(askColor),
      m_enabled(nullptr),
      m_object(new QComboBox),
      m_item(new QComboBox),
      m_fontRows(new QWidget),
      m_fontName(new QLabel),
      m_fontSize(new QLabel),
      m_fontButton(new QPushButton(Text(110))),
      m_colorButton(new QToolButton),
      m_backgroundLabel(new QLabel(Text(2414))),
      m_backgroundButton(new QToolButton),
      m_sample(new QLabel(QString::fromLatin1(kSampleText))) {
    QVBoxLayout* layout = PageLayout();
    m_enabled = AddCheckBox(layout, Id::kAppearanceEnabled, 2402);
    connect(m_enabled, &QCheckBox::clicked, this, &COptionsFormPgFonts::FollowEnabled);

    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    grid->addWidget(new QLabel(Text(2403)), 0, 0);
    grid->addWidget(m_object, 0, 1, 1, 2);
    grid->addWidget(new QLabel(Text(2404)), 1, 0);
    grid->addWidget(m_item, 1, 1, 1, 2);
    layout->addLayout(grid);
    m_object->setObjectName("AppearanceObject");
    m_object->addItems({Text(2408), Text(2409)});
    m_item->setObjectName("AppearanceItem");

    // Font name and size with the button that changes both.
    auto* fontGrid = new QGridLayout(m_fontRows);
    fontGrid->setContentsMargins(0, 0, 0, 0);
    fontGrid->setColumnStretch(1, 1);
    fontGrid->addWidget(new QLabel(Text(2405)), 0, 0);
    fontGrid->addWidget(m_fontName, 0, 1);
    fontGrid->addWidget(m_fontButton, 0, 2);
    fontGrid->addWidget(new QLabel(Text(2406)), 1, 0);
    fontGrid->addWidget(m_fontSize, 1, 1);
    m_fontName->setObjectName("FontName");
    m_fontSize->setObjectName("FontSize");
    m_fontButton->setObjectName("ChooseFont");
    layout->addWidget(m_fontRows);

    auto* colors = new QGridLayout;
    colors->setColumnStretch(2, 1);
    colors->addWidget(new QLabel(Text(2413)), 0, 0);
    colors->addWidget(m_colorButton, 0, 1);
    colors->addWidget(m_backgroundLabel, 1, 0);
    colors->addWidget(m_backgroundButton, 1, 1);
    layout->addLayout(colors);
    m_colorButton->setObjectName("ChooseColor");
    m_backgroundButton->setObjectName("ChooseBackground");
    m_colorButton->setIconSize(QSize(36, 14));
    m_backgroundButton->setIconSize(QSize(36, 14));

    layout->addWidget(new QLabel(Text(2407)));
    m_sample->setObjectName("Sample");
    m_sample->setFrameShape(QFrame::StyledPanel);
    m_sample->setAutoFillBackground(true);
    m_sample->setAlignment(Qt::AlignCenter);
    m_sample->setMinimumHeight(48);
    layout->addWidget(m_sample);

    connect(m_object, &QComboBox::currentIndexChanged, this, [this] {
        FillItems();
        ShowItem();
    });
    connect(m_item, &QComboBox::currentIndexChanged, this, [this] { ShowItem(); });
    connect(m_fontButton, &QPushButton::clicked, this, &COptionsFormPgFonts::ChooseFont);
    connect(m_colorButton, &QToolButton::clicked, this, [this] { ChooseColor("color"); });
    connect(m_backgroundButton, &QToolButton::clicked, this, [this] { ChooseColor("bkcolor"); });

    FillItems();
    ShowItem();
    Finish();
}

void COptionsFormPgFonts::Select(Object object, Item item) {
    m_object->setCurrentIndex(object);
    m_item->setCurrentIndex(object == kArchiveWindow ? item : kMessageText);
}

int32_t COptionsFormPgFonts::SettingId() const {
    if (m_object->currentIndex() == kPopupWindow) {
        return Id::kPopupMsgWndFontMsgText;
    }
    return m_item->currentIndex() == kRowHighlight ? Id::kMsgArcCurRowHighlight
                                                   : Id::kMsgArcFontMsgText;
}

QFont COptionsFormPgFonts::CurrentFont() const {
    // The windows keep their own font for what the setting leaves out.
    return CvAppearance::Font(Get(SettingId()).GetText(), QApplication::font());
}

std::optional<QColor> COptionsFormPgFonts::CurrentColor(const char* key) const {
    return CvAppearance::Color(Get(SettingId()).GetText(), key);
}

void COptionsFormPgFonts::Store(const char* key, const std::string& value) {
    const int32_t id = SettingId();
    CvCompoundText::Pairs pairs = CvCompoundText::Parse(Get(id).GetText());
    bool replaced = false;
    for (auto& [pairKey, pairValue] : pairs) {
        if (pairKey == key && !replaced) {
            pairValue = value;
            replaced = true;
        }
    }
    if (!replaced) {
        pairs.emplace_back(key, value);
    }
    Set(id, CvPropertyValue::Text(CvCompoundText::Format(pairs)));
}

void COptionsFormPgFonts::FillItems() {
    const QSignalBlocker block(m_item);
    m_item->clear();
    if (m_object->currentIndex() == kPopupWindow) {
        m_item->addItem(Text(2410));
    } else {
        m_item->addItems({Text(2411), Text(2412)});
    }
    m_item->setCurrentIndex(0);
}

void COptionsFormPgFonts::ShowItem() {
    const bool highlight = SettingId() == Id::kMsgArcCurRowHighlight;
    m_fontRows->setVisible(!highlight);
    m_backgroundLabel->setVisible(highlight);
    m_backgroundButton->setVisible(highlight);

    const QFont font = CurrentFont();
    m_fontName->setText(font.family());
    m_fontSize->setText(QString::number(font.pointSize()));
    const QPalette palette = QApplication::palette();
    const QColor text = CurrentColor("color").value_or(palette.color(QPalette::Text));
    const QColor fill = highlight ? CurrentColor("bkcolor").value_or(palette.color(QPalette::Base))
                                  : palette.color(QPalette::Base);
    m_colorButton->setIcon(Swatch(text));
    m_backgroundButton->setIcon(Swatch(fill));
    m_sample->setFont(highlight ? QApplication::font() : font);
    QPalette samplePalette = m_sample->palette();
    samplePalette.setColor(QPalette::WindowText, text);
    samplePalette.setColor(QPalette::Window, fill);
    m_sample->setPalette(samplePalette);
    FollowEnabled();
}

void COptionsFormPgFonts::ChooseFont() {
    if (!m_askFont) {
        return;
    }
    const std::optional<QFont> chosen = m_askFont(CurrentFont());
    if (!chosen) {
        return;
    }
    Store("name", chosen->family().toStdString());
    int points = chosen->pointSize();
    if (points <= 0) {
        points = static_cast<int>(std::lround(chosen->pointSizeF()));
    }
    if (points > 0) {
        Store("size", std::to_string(std::min(points, CvAppearance::kMaxPointSize)));
    }
    ShowItem();
}

void COptionsFormPgFonts::ChooseColor(const char* key) {
    if (!m_askColor) {
        return;
    }
    const QPalette palette = QApplication::palette();
    const QColor fallback =
        palette.color(std::string(key) == "bkcolor" ? QPalette::Base : QPalette::Text);
    const std::optional<QColor> chosen = m_askColor(CurrentColor(key).value_or(fallback));
    if (!chosen || !chosen->isValid()) {
        return;
    }
    Store(key, CvCompoundText::FormatColor(CvAppearance::ToColorRef(*chosen)));
    ShowItem();
}

void COptionsFormPgFonts::FollowEnabled() {
    // The choices only count while custom appearance is on.
    const bool on = m_enabled->isChecked();
    const bool locked = IsLocked(SettingId());
    for (QWidget* control : {static_cast<QWidget*>(m_object), static_cast<QWidget*>(m_item)}) {
        control->setEnabled(on);
    }
    for (QWidget* control :
         {static_cast<QWidget*>(m_fontButton), static_cast<QWidget*>(m_colorButton),
          static_cast<QWidget*>(m_backgroundButton)}) {
        control->setEnabled(on && !locked);
        control->setToolTip(locked ? LockedText() : QString());
    }
    if (locked) {
        ShowLockNote();
    }
}
