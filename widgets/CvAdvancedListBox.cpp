#include "widgets/CvAdvancedListBox.h"

#include <QMouseEvent>

CvAdvancedListBox::CvAdvancedListBox(QWidget* parent) : QListWidget(parent) {
    // Mouse moves reach the view through its viewport.
    viewport()->setMouseTracking(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The keyboard stays in the editor the list completes.
    setFocusPolicy(Qt::NoFocus);
    // Hovering must not scroll the list under the cursor; SelectRow scrolls.
    setAutoScroll(false);
}

void CvAdvancedListBox::Fill(const QStringList& texts, const QList<QIcon>& icons) {
    clear();
    for (qsizetype i = 0; i < texts.size(); ++i) {
        addItem(new QListWidgetItem(icons.value(i), texts.at(i)));
    }
}

void CvAdvancedListBox::SelectRow(int row) {
    if (row < 0 || row >= count()) {
        clearSelection();
        setCurrentIndex(QModelIndex());
        return;
    }
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    scrollToItem(item(row));
}

int CvAdvancedListBox::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void CvAdvancedListBox::mouseMoveEvent(QMouseEvent* event) {
    // Not the base: a move with the button held would start a drag
    // selection.
    const QListWidgetItem* entry = itemAt(event->position().toPoint());
    const int row = entry != nullptr ? this->row(entry) : -1;
    if (row != SelectedRow() || (row >= 0 && currentRow() != row)) {
        if (row < 0) {
            clearSelection();
            setCurrentIndex(QModelIndex());
        } else {
            setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        }
    }
    event->accept();
}

void CvAdvancedListBox::leaveEvent(QEvent* event) {
    QListWidget::leaveEvent(event);
    clearSelection();
    setCurrentIndex(QModelIndex());
}

void CvAdvancedListBox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QListWidgetItem* entry = itemAt(event->position().toPoint());
    if (entry != nullptr) {
        emit entryClicked(row(entry));
    }
}
