#include "widgets/CvCtrlList.h"

#include <QAbstractListModel>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <functional>

#include "storage/CvCoolMenuManagerInterface.h"

// The rows as read at the last refresh, one column.
class CvCtrlList::Model : public QAbstractListModel {
public:
    explicit Model(CvCtrlList& list) : QAbstractListModel(&list), m_list(list) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_list.m_rows.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= static_cast<int>(m_list.m_rows.size())) {
            return {};
        }
        const Row& row = m_list.m_rows[static_cast<size_t>(index.row())];
        switch (role) {
            case Qt::DisplayRole:
                return row.text;
            case Qt::DecorationRole:
                if (row.image >= 0 && row.image < static_cast<int>(m_list.m_images.size())) {
                    return m_list.m_images[static_cast<size_t>(row.image)];
                }
                return {};
            case Qt::FontRole:
                if (row.kind == kRowKindToggle) {
                    QFont font = m_list.font();
                    font.setBold(true);
                    return font;
                }
                return {};
            case Qt::ForegroundRole:
                if (m_list.m_textColor.isValid()) {
                    return m_list.m_textColor;
                }
                return {};
            case Qt::SizeHintRole:
                return QSize(0, m_list.m_rowHeight);
            default:
                return {};
        }
    }

    void Reset(const std::function<void()>& change) {
        beginResetModel();
        change();
        endResetModel();
    }

private:
    CvCtrlList& m_list;
};

CvCtrlList::CvCtrlList(int controlId, QWidget* parent)
    : QTreeView(parent),
      m_controlId(controlId),
      m_model(new Model(*this)),
      m_rowHeight(std::max(20, fontMetrics().height() + 6)) {
    setModel(m_model);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setTextElideMode(Qt::ElideRight);
    setIconSize(QSize(16, 16));
    setMouseTracking(true);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    header()->setStretchLastSection(true);
}

CvCtrlList::~CvCtrlList() = default;

void CvCtrlList::SetProvider(CvCoolMenuManagerInterface* provider) {
    m_provider = provider;
    Refresh();
}

void CvCtrlList::SetImages(std::vector<QIcon> images) {
    m_images = std::move(images);
    viewport()->update();
}

void CvCtrlList::SetRowValues(std::vector<qintptr> values) {
    m_values = std::move(values);
}

void CvCtrlList::SetEmptyText(const QString& text) {
    m_emptyText = text;
    viewport()->update();
}

void CvCtrlList::SetTextColor(const QColor& color) {
    m_textColor = color;
    viewport()->update();
}

void CvCtrlList::SetMaxVisibleRows(int rows) {
    m_maxVisibleRows = std::max(0, rows);
    const int height = PreferredHeight();
    if (height != m_lastPreferredHeight) {
        m_lastPreferredHeight = height;
        emit preferredHeightChanged(height);
    }
}

int CvCtrlList::RowCount() const {
    return static_cast<int>(m_rows.size());
}

QString CvCtrlList::RowText(int row) const {
    return row >= 0 && row < RowCount() ? m_rows[static_cast<size_t>(row)].text : QString();
}

int CvCtrlList::RowImage(int row) const {
    return row >= 0 && row < RowCount() ? m_rows[static_cast<size_t>(row)].image : -1;
}

int CvCtrlList::RowKind(int row) const {
    return row >= 0 && row < RowCount() ? m_rows[static_cast<size_t>(row)].kind : 0;
}

qintptr CvCtrlList::RowValue(int row) const {
    if (row >= 0 && row < static_cast<int>(m_values.size())) {
        return m_values[static_cast<size_t>(row)];
    }
    return row;
}

int CvCtrlList::CurrentRow() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.row() : -1;
}

void CvCtrlList::SetCurrentRow(int row) {
    if (row < 0 || row >= RowCount()) {
        setCurrentIndex(QModelIndex());
        clearSelection();
        return;
    }
    setCurrentIndex(m_model->index(row, 0));
}

int CvCtrlList::PreferredHeight() const {
    int rows = std::max(1, RowCount());
    if (m_maxVisibleRows > 0) {
        rows = std::min(rows, m_maxVisibleRows);
    }
    return rows * m_rowHeight + 2 * frameWidth();
}

void CvCtrlList::Refresh() {
    const int current = CurrentRow();
    std::vector<Row> rows;
    if (m_provider != nullptr) {
        const int count = m_provider->GetItemCount();
        rows.reserve(static_cast<size_t>(std::max(0, count)));
        for (int i = 0; i < count; ++i) {
            Row row;
            row.text = QString::fromStdString(m_provider->GetItemText(i));
            row.image = m_provider->GetItemImage(i);
            row.kind = m_provider->IsGroup(i);
            rows.push_back(std::move(row));
        }
    }
    m_model->Reset([this, &rows] { m_rows = std::move(rows); });
    if (current >= 0) {
        SetCurrentRow(std::min(current, RowCount() - 1));
    }
    viewport()->update();
    const int height = PreferredHeight();
    if (height != m_lastPreferredHeight) {
        m_lastPreferredHeight = height;
        emit preferredHeightChanged(height);
    }
}

void CvCtrlList::RefreshLater() {
    QMetaObject::invokeMethod(this, &CvCtrlList::Refresh, Qt::QueuedConnection);
}

void CvCtrlList::OnRepaintRequest() {
    // The provider calls this after its own edits (this thread) and after a
    // presence pass (its worker thread).
    if (QThread::currentThread() == thread()) {
        Refresh();
    } else {
        RefreshLater();
    }
}

void CvCtrlList::Update(CvObservationSubject* /*subject*/) {
    OnRepaintRequest();
}

void CvCtrlList::ToggleRow(int row) {
    if (m_provider == nullptr || RowKind(row) != kRowKindToggle) {
        return;
    }
    m_provider->Toggle(row);
    // A provider that does not call back is read again here.
    Refresh();
}

void CvCtrlList::ActivateRow(int row) {
    if (row < 0 || row >= RowCount()) {
        return;
    }
    if (RowKind(row) == kRowKindToggle) {
        ToggleRow(row);
        return;
    }
    emit rowActivated(m_controlId, RowValue(row));
}

void CvCtrlList::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Plus:
        case Qt::Key_Minus:
            // Plus and minus open and close only from the keypad.
            if ((event->key() == Qt::Key_Plus || event->key() == Qt::Key_Minus) &&
                (event->modifiers() & Qt::KeypadModifier) == 0) {
                break;
            }
            ToggleRow(CurrentRow());
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            ActivateRow(CurrentRow());
            event->accept();
            return;
        default:
            break;
    }
    QTreeView::keyPressEvent(event);
}

void CvCtrlList::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        m_pressedRow = index.isValid() ? index.row() : -1;
        if (index.isValid()) {
            setCurrentIndex(index);
        }
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton && index.isValid()) {
        setCurrentIndex(index);
    }
    QTreeView::mousePressEvent(event);
}

void CvCtrlList::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        const int pressed = m_pressedRow;
        m_pressedRow = -1;
        if (index.isValid() && index.row() == pressed) {
            ActivateRow(pressed);
        }
        event->accept();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void CvCtrlList::mouseDoubleClickEvent(QMouseEvent* event) {
    // The first click already acted; a double click must not act twice more.
    if (event->button() == Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void CvCtrlList::mouseMoveEvent(QMouseEvent* event) {
    // As in a menu, the row under the pointer is the current one.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index != currentIndex()) {
        setCurrentIndex(index);
    }
    event->accept();
}

void CvCtrlList::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (event->reason() == QContextMenuEvent::Mouse && !index.isValid()) {
        return;
    }
    const int row = index.isValid() ? index.row() : CurrentRow();
    if (row < 0) {
        return;
    }
    QPoint position = event->globalPos();
    if (event->reason() != QContextMenuEvent::Mouse) {
        position = viewport()->mapToGlobal(visualRect(m_model->index(row, 0)).center());
    }
    emit contextMenuRequested(row, position);
    event->accept();
}

void CvCtrlList::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (!m_rows.empty() || m_emptyText.isEmpty()) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    const QRect line(0, 0, viewport()->width(), m_rowHeight);
    painter.drawText(line.adjusted(6, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, m_emptyText);
}

void CvCtrlList::hideEvent(QHideEvent* event) {
    // Shown again, the list starts without a current row, as a menu does.
    m_pressedRow = -1;
    SetCurrentRow(-1);
    QTreeView::hideEvent(event);
}

void CvCtrlList::focusInEvent(QFocusEvent* event) {
    // The view would make its first row current; a menu starts with none
    // until the pointer or a key picks one.
    const bool hadCurrent = currentIndex().isValid();
    QTreeView::focusInEvent(event);
    if (!hadCurrent) {
        SetCurrentRow(-1);
    }
}
