#pragma once

#include <QListWidget>

// A list that follows the mouse: the entry under the cursor becomes the
// selected and current one (none when the cursor is over no entry or leaves
// the list), and releasing the left button on an entry emits entryClicked.
class CvAdvancedListBox : public QListWidget {
    Q_OBJECT
public:
    explicit CvAdvancedListBox(QWidget* parent);

    // Replaces the entries: texts with their icons.
    void Fill(const QStringList& texts, const QList<QIcon>& icons);
    // Selects `row` (wrapping is the caller's choice) and scrolls to it; -1
    // clears the selection.
    void SelectRow(int row);
    int SelectedRow() const;

signals:
    void entryClicked(int index);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
