#pragma once

#include <QIcon>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

#include "messaging/CvRecipient.h"

class QLineEdit;
class QScrollArea;

// The recipient field: recipients as items, each a name with a kind (1 user
// or computer, 2 domain or workgroup, 3 contact group) shown as an icon,
// followed by the text being typed. Typing "," or ";" (the only delimiters)
// turns the typed name into an item of kind 1; so does pasting a list. The
// kind menu of an item (its context menu, or a click on its icon) sets its
// kind or deletes it; Backspace in the empty text field takes the last item
// back into it for editing.
//
// The field grows with its items between 30 and 100 pixels and emits
// heightChanged when the height it needs changes. While an autocomplete list
// is open (SetCompletionActive), Up and Down emit navigate(-1 / +1) and
// Return emits acceptCompletion() instead of moving or inserting.
class CvListEdit : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinHeight = 30;
    static constexpr int kMaxHeight = 100;
    // Commands of the kind menu.
    static constexpr int kCommandUser = 1;
    static constexpr int kCommandWorkgroup = 2;
    static constexpr int kCommandGroup = 3;
    static constexpr int kCommandDelete = 4;

    explicit CvListEdit(QWidget* parent);

    // The texts of the kind menu, in command order ("User or computer",
    // "Domain or workgroup", "Contact group", "Delete").
    void SetMenuTexts(const QString& user, const QString& workgroup, const QString& group,
                      const QString& remove);
    void SetKindIcons(const QIcon& user, const QIcon& workgroup, const QIcon& group);

    // Appends an item (an empty name adds nothing).
    void AddItem(int32_t kind, const std::string& name);
    void Clear();
    int Count() const;
    CvRecipient Item(int index) const;
    // The items, then the typed text as one more item of kind 1 when it is
    // not blank. UTF-8 names.
    std::vector<CvRecipient> Items() const;
    // Runs a kind-menu command on item `index`.
    void RunCommand(int index, int command);

    QString TypedText() const;
    // Replaces the typed text by an item.
    void AcceptTyped(int32_t kind, const std::string& name);

    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const { return m_readOnly; }
    void SetCompletionActive(bool active) { m_completionActive = active; }
    // The text field, for focus and the drop-down's position.
    QLineEdit* Editor() const { return m_editor; }
    int NeededHeight() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void heightChanged(int height);
    void typedTextChanged(const QString& text);
    void navigate(int delta);
    void acceptCompletion();
    void itemsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    struct ItemWidget;

    // The non-blank names between the delimiters of `text`, trimmed.
    static QStringList SplitNames(const QString& text);
    // Appends an item and its chip; the caller lays out and notifies.
    void InsertItem(int32_t kind, const std::string& name);
    void UpdateChip(size_t index);
    void DisposeChip(QWidget* chip);
    void TakeBackLastItem();
    // Replaces the typed text from here, not by the user.
    void SetTyped(const QString& text, int cursor);
    // Places the chips and the editor in rows `width` pixels wide (only
    // measures unless `place`); returns the height of the rows.
    int LayOutRows(int width, bool place);
    void Relayout();
    void OnTextEdited(const QString& text);
    void ShowKindMenu(int index, const QPoint& globalPos);

    QScrollArea* m_scroll = nullptr;
    QWidget* m_content = nullptr;  // the chips and the editor, scrolled by m_scroll
    QLineEdit* m_editor = nullptr;
    QString m_lastText;  // the editor's text before the current edit
    std::vector<CvRecipient> m_items;
    std::vector<QWidget*> m_chips;
    QString m_menuTexts[4];
    QIcon m_icons[3];
    bool m_readOnly = false;
    bool m_completionActive = false;
    int m_neededHeight = kMinHeight;
};
