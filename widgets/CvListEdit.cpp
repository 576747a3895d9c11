#include "widgets/CvListEdit.h"

#include <algorithm>
#include <cmath>

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>

namespace {

constexpr int kMargin = 3;        // between the frame and the first row
constexpr int kSpacing = 3;       // between chips, and between rows
constexpr int kChipPaddingX = 5;  // inside a chip, left and right
constexpr int kIconSize = 16;
constexpr int kIconGap = 3;  // between a chip's icon and its name
constexpr int kEditorMinWidth = 60;
const QColor kChipFill(0xE3, 0xEB, 0xF7);
const QColor kChipBorder(0x9F, 0xB4, 0xD2);
const QColor kChipText(0x1A, 0x1A, 0x1A);
const QColor kChipDisabledText(0x6A, 0x6A, 0x6A);

bool IsDelimiter(QChar c) {
    return c == u',' || c == u';';
}

QString DefaultMenuText(int command) {
    switch (command) {
        case CvListEdit::kCommandUser:
            return QStringLiteral("User or computer");
        case CvListEdit::kCommandWorkgroup:
            return QStringLiteral("Domain or workgroup");
        case CvListEdit::kCommandGroup:
            return QStringLiteral("Contact group");
        default:
            return QStringLiteral("Delete");
    }
}

}  // namespace

// One recipient as a chip: the kind's icon and the name. Its context menu,
// or a click on the icon, opens the kind menu.
struct CvListEdit::ItemWidget : public QWidget {
    ItemWidget(CvListEdit* owner, QWidget* parent) : QWidget(parent), m_owner(owner) {
        setCursor(Qt::ArrowCursor);
    }

    void Set(const QIcon& icon, const QString& name) {
        m_icon = icon;
        m_name = name;
        // A name may come from the network (a reply): shown as typed, never
        // as markup.
        setToolTip(Qt::convertFromPlainText(name, Qt::WhiteSpaceNoWrap));
        setAccessibleName(name);
        updateGeometry();
        update();
    }

    QString Name() const { return m_name; }

    QRect IconRect() const {
        if (m_icon.isNull()) {
            return {};
        }
        return {kChipPaddingX, (height() - kIconSize) / 2, kIconSize, kIconSize};
    }

    QSize sizeHint() const override {
        const QFontMetrics metrics = fontMetrics();
        // The exact width, rounded up: a rounded-down width would make the
        // name elide itself in its own chip.
        int width = 2 * kChipPaddingX +
                    static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(m_name))) +
                    1;
        if (!m_icon.isNull()) {
            width += kIconSize + kIconGap;
        }
        return {width, std::max(kIconSize + 4, metrics.height() + 4)};
    }

    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath outline;
        outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        painter.fillPath(outline, kChipFill);
        painter.setPen(kChipBorder);
        painter.drawPath(outline);

        int textLeft = kChipPaddingX;
        const QRect iconRect = IconRect();
        if (!iconRect.isNull()) {
            m_icon.paint(&painter, iconRect, Qt::AlignCenter,
                         isEnabled() ? QIcon::Normal : QIcon::Disabled);
            textLeft = iconRect.right() + 1 + kIconGap;
        }
        const QRect textRect(textLeft, 0, width() - textLeft - kChipPaddingX, height());
        painter.setPen(isEnabled() && !m_owner->m_readOnly ? kChipText : kChipDisabledText);
        painter.drawText(
            textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            fontMetrics().elidedText(m_name, Qt::ElideRight, std::max(0, textRect.width())));
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && IconRect().contains(event->position().toPoint())) {
            event->accept();
            m_owner->ShowKindMenu(Index(), mapToGlobal(QPoint(0, height())));
            return;
        }
        // Elsewhere on a chip a click goes on to the field: it focuses the
        // editor.
        event->ignore();
    }

    void contextMenuEvent(QContextMenuEvent* event) override {
        event->accept();
        m_owner->ShowKindMenu(Index(), event->globalPos());
    }

    int Index() const {
        const auto& chips = m_owner->m_chips;
        const auto found = std::find(chips.begin(), chips.end(), this);
        return found == chips.end() ? -1 : static_cast<int>(found - chips.begin());
    }

    CvListEdit* m_owner;
    QIcon m_icon;
    QString m_name;
};

CvListEdit::CvListEdit(QWidget* parent) : QWidget(parent) {
    for (int command = kCommandUser; command <= kCommandDelete; ++command) {
        m_menuTexts[command - 1] = DefaultMenuText(command);
    }

    m_scroll = new QScrollArea(this);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(false);
    m_scroll->setBackgroundRole(QPalette::Base);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_content = new QWidget;
    m_content->setBackgroundRole(QPalette::Base);
    m_content->setAutoFillBackground(true);
    m_scroll->setWidget(m_content);

    m_editor = new QLineEdit(m_content);
    m_editor->setFrame(false);
    m_editor->installEventFilter(this);
    connect(m_editor, &QLineEdit::textEdited, this, &CvListEdit::OnTextEdited);
    // Also text set from outside: the next edit is measured against it. For
    // an edit, textChanged follows textEdited, so OnTextEdited still sees
    // the text before the edit.
    connect(m_editor, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_lastText = text; });

    setFocusProxy(m_editor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Relayout();
}

void CvListEdit::SetMenuTexts(const QString& user, const QString& workgroup, const QString& group,
                              const QString& remove) {
    m_menuTexts[0] = user;
    m_menuTexts[1] = workgroup;
    m_menuTexts[2] = group;
    m_menuTexts[3] = remove;
}

void CvListEdit::SetKindIcons(const QIcon& user, const QIcon& workgroup, const QIcon& group) {
    m_icons[0] = user;
    m_icons[1] = workgroup;
    m_icons[2] = group;
    for (size_t i = 0; i < m_items.size(); ++i) {
        UpdateChip(i);
    }
    Relayout();
}

void CvListEdit::AddItem(int32_t kind, const std::string& name) {
    if (QString::fromStdString(name).trimmed().isEmpty()) {
        return;
    }
    InsertItem(kind, name);
    Relayout();
    emit itemsChanged();
}

void CvListEdit::Clear() {
    const bool hadItems = !m_items.empty();
    for (QWidget* chip : m_chips) {
        DisposeChip(chip);
    }
    m_chips.clear();
    m_items.clear();
    SetTyped(QString(), 0);
    Relayout();
    if (hadItems) {
        emit itemsChanged();
    }
}

int CvListEdit::Count() const {
    return static_cast<int>(m_items.size());
}

CvRecipient CvListEdit::Item(int index) const {
    if (index < 0 || index >= Count()) {
        return {};
    }
    return m_items[static_cast<size_t>(index)];
}

std::vector<CvRecipient> CvListEdit::Items() const {
    std::vector<CvRecipient> items = m_items;
    // The editor holds no delimiter after an edit, but text set from outside
    // may.
    for (const QString& name : SplitNames(m_editor->text())) {
        items.push_back({kRecipientUser, name.toStdString()});
    }
    return items;
}

void CvListEdit::RunCommand(int index, int command) {
    if (m_readOnly || index < 0 || index >= Count()) {
        return;
    }
    const auto position = static_cast<size_t>(index);
    switch (command) {
        case kCommandUser:
        case kCommandWorkgroup:
        case kCommandGroup:
            if (m_items[position].kind == command) {
                return;
            }
            m_items[position].kind = command;
            UpdateChip(position);
            break;
        case kCommandDelete:
            DisposeChip(m_chips[position]);
            m_chips.erase(m_chips.begin() + index);
            m_items.erase(m_items.begin() + index);
            break;
        default:
            return;
    }
    Relayout();
    emit itemsChanged();
}

QString CvListEdit::TypedText() const {
    return m_editor->text();
}

void CvListEdit::AcceptTyped(int32_t kind, const std::string& name) {
    SetTyped(QString(), 0);
    AddItem(kind, name);
    Relayout();
}

void CvListEdit::SetReadOnly(bool readOnly) {
    m_readOnly = readOnly;
    m_editor->setReadOnly(readOnly);
    // A read-only field looks like a disabled one but keeps its text
    // selectable.
    const QPalette::ColorRole background = readOnly ? QPalette::Window : QPalette::Base;
    m_scroll->setBackgroundRole(background);
    m_content->setBackgroundRole(background);
    m_editor->setBackgroundRole(background);
    for (QWidget* chip : m_chips) {
        chip->update();
    }
}

int CvListEdit::NeededHeight() const {
    return m_neededHeight;
}

QSize CvListEdit::sizeHint() const {
    return {200, m_neededHeight};
}

QSize CvListEdit::minimumSizeHint() const {
    return {kEditorMinWidth + 2 * kMargin, kMinHeight};
}

bool CvListEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_editor && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (m_completionActive) {
            switch (key->key()) {
                case Qt::Key_Up:
                    emit navigate(-1);
                    return true;
                case Qt::Key_Down:
                    emit navigate(1);
                    return true;
                case Qt::Key_Return:
                case Qt::Key_Enter:
                    emit acceptCompletion();
                    return true;
                default:
                    break;
            }
        }
        if (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier && !m_readOnly &&
            m_editor->text().isEmpty() && !m_items.empty()) {
            TakeBackLastItem();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CvListEdit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void CvListEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_editor->setFocus(Qt::MouseFocusReason);
        m_editor->end(false);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

QStringList CvListEdit::SplitNames(const QString& text) {
    QStringList names;
    QString name;
    for (const QChar c : text) {
        if (IsDelimiter(c)) {
            if (!name.trimmed().isEmpty()) {
                names.append(name.trimmed());
            }
            name.clear();
        } else {
            name.append(c);
        }
    }
    if (!name.trimmed().isEmpty()) {
        names.append(name.trimmed());
    }
    return names;
}

void CvListEdit::InsertItem(int32_t kind, const std::string& name) {
    auto* chip = new ItemWidget(this, m_content);
    m_items.push_back({kind, name});
    m_chips.push_back(chip);
    UpdateChip(m_items.size() - 1);
    chip->show();
}

void CvListEdit::UpdateChip(size_t index) {
    const CvRecipient& item = m_items[index];
    const bool knownKind = item.kind >= kRecipientUser && item.kind <= kRecipientGroup;
    static_cast<ItemWidget*>(m_chips[index])
        ->Set(knownKind ? m_icons[item.kind - 1] : QIcon(), QString::fromStdString(item.name));
}

void CvListEdit::DisposeChip(QWidget* chip) {
    // The chip may be the one whose menu is running right now.
    chip->hide();
    chip->deleteLater();
}

void CvListEdit::TakeBackLastItem() {
    const CvRecipient item = m_items.back();
    DisposeChip(m_chips.back());
    m_chips.pop_back();
    m_items.pop_back();
    const QString name = QString::fromStdString(item.name);
    SetTyped(name, static_cast<int>(name.size()));
    Relayout();
    emit itemsChanged();
}

void CvListEdit::SetTyped(const QString& text, int cursor) {
    const bool changed = m_editor->text() != text;
    m_editor->setText(text);
    m_editor->setCursorPosition(cursor);
    if (changed) {
        emit typedTextChanged(text);
    }
}

void CvListEdit::OnTextEdited(const QString& text) {
    if (m_readOnly) {
        return;
    }
    // What this edit inserted: the text between the parts it kept.
    qsizetype prefix = 0;
    const qsizetype shorter = std::min(text.size(), m_lastText.size());
    while (prefix < shorter && text[prefix] == m_lastText[prefix]) {
        ++prefix;
    }
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           text[text.size() - 1 - suffix] == m_lastText[m_lastText.size() - 1 - suffix]) {
        ++suffix;
    }
    const QString inserted = text.mid(prefix, text.size() - prefix - suffix);

    const auto lastDelimiter =
        std::find_if(text.rbegin(), text.rend(), [](QChar c) { return IsDelimiter(c); });
    if (lastDelimiter == text.rend()) {
        Relayout();
        emit typedTextChanged(text);
        return;
    }
    // A typed delimiter ends the names before it and leaves the rest for
    // typing on; a pasted list becomes items whole.
    const bool pastedList =
        inserted.size() > 1 && std::any_of(inserted.begin(), inserted.end(), IsDelimiter);
    const qsizetype split = pastedList ? text.size() : text.rend() - lastDelimiter;
    QString rest = text.mid(split);
    qsizetype restStart = 0;
    while (restStart < rest.size() && rest[restStart].isSpace()) {
        ++restStart;
    }
    rest = rest.mid(restStart);
    const int cursor = std::clamp(static_cast<int>(m_editor->cursorPosition() - split - restStart),
                                  0, static_cast<int>(rest.size()));

    const QStringList names = SplitNames(text.left(split));
    for (const QString& name : names) {
        InsertItem(kRecipientUser, name.toStdString());
    }
    m_editor->setText(rest);
    m_editor->setCursorPosition(cursor);
    Relayout();
    if (!names.isEmpty()) {
        emit itemsChanged();
    }
    emit typedTextChanged(rest);
}

void CvListEdit::ShowKindMenu(int index, const QPoint& globalPos) {
    if (m_readOnly || index < 0 || index >= Count()) {
        return;
    }
    QPointer<QWidget> chip = m_chips[static_cast<size_t>(index)];
    QMenu menu(this);
    QActionGroup kinds(&menu);
    for (int command = kCommandUser; command <= kCommandGroup; ++command) {
        QAction* action = menu.addAction(m_menuTexts[command - 1]);
        action->setData(command);
        action->setCheckable(true);
        action->setChecked(m_items[static_cast<size_t>(index)].kind == command);
        if (!m_icons[command - 1].isNull()) {
            action->setIcon(m_icons[command - 1]);
        }
        kinds.addAction(action);
    }
    menu.addSeparator();
    menu.addAction(m_menuTexts[kCommandDelete - 1])->setData(kCommandDelete);

    const QAction* chosen = menu.exec(globalPos);
    if (chosen == nullptr || chip.isNull()) {
        return;
    }
    // The items may have changed while the menu was open.
    const auto found = std::find(m_chips.begin(), m_chips.end(), chip.data());
    if (found != m_chips.end()) {
        RunCommand(static_cast<int>(found - m_chips.begin()), chosen->data().toInt());
    }
}

int CvListEdit::LayOutRows(int width, bool place) {
    const int rowWidth = std::max(1, width - 2 * kMargin);
    const int editorHeight = m_editor->sizeHint().height();
    int rowHeight = editorHeight;
    for (QWidget* chip : m_chips) {
        rowHeight = std::max(rowHeight, chip->sizeHint().height());
    }

    int x = 0;
    int y = 0;
    for (QWidget* chip : m_chips) {
        const int chipWidth = std::min(chip->sizeHint().width(), rowWidth);
        if (x > 0 && x + chipWidth > rowWidth) {
            x = 0;
            y += rowHeight + kSpacing;
        }
        if (place) {
            const int chipHeight = chip->sizeHint().height();
            chip->setGeometry(kMargin + x, kMargin + y + (rowHeight - chipHeight) / 2, chipWidth,
                              chipHeight);
        }
        x += chipWidth + kSpacing;
    }
    // The editor takes the rest of the last row when its text fits there.
    const int editorWidth = std::min(
        rowWidth,
        std::max(kEditorMinWidth,
                 m_editor->fontMetrics().horizontalAdvance(m_editor->text()) + 2 * kSpacing));
    if (x > 0 && x + editorWidth > rowWidth) {
        x = 0;
        y += rowHeight + kSpacing;
    }
    if (place) {
        m_editor->setGeometry(kMargin + x, kMargin + y + (rowHeight - editorHeight) / 2,
                              rowWidth - x, editorHeight);
    }
    return y + rowHeight + 2 * kMargin;
}

void CvListEdit::Relayout() {
    if (m_editor == nullptr) {
        return;
    }
    m_scroll->setGeometry(rect());
    const int frame = 2 * m_scroll->frameWidth();
    const int fullWidth = std::max(1, width() - frame);
    const int contentHeight = LayOutRows(fullWidth, false);

    const int needed = std::clamp(contentHeight + frame, kMinHeight, kMaxHeight);
    // Scroll when the rows do not fit, either beyond the largest height or
    // because the parent has not given the field its height yet.
    const int viewportHeight = std::max(0, height() - frame);
    const bool scroll = contentHeight > viewportHeight && height() > 0;
    const int scrollBarWidth = scroll ? m_scroll->verticalScrollBar()->sizeHint().width() : 0;
    const int contentWidth = std::max(1, fullWidth - scrollBarWidth);
    const int placedHeight = LayOutRows(contentWidth, true);
    m_scroll->setVerticalScrollBarPolicy(scroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    m_content->resize(contentWidth, std::max(placedHeight, viewportHeight));
    if (m_editor->hasFocus()) {
        m_scroll->ensureWidgetVisible(m_editor, 0, kMargin);
    }

    if (needed != m_neededHeight) {
        m_neededHeight = needed;
        updateGeometry();
        emit heightChanged(needed);
    }
}
