#include "widgets/CvDataSetGrid2.h"

#include <QKeyEvent>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include "storage/CvDataSet2.h"
#include "storage/CvDbValue.h"
#include "widgets/CvDataSetModel.h"
#include "widgets/CvMessageRowDelegate.h"
#include "widgets/CvRichEdit.h"

CvDataSetGrid2::CvDataSetGrid2(QWidget* parent)
    : QWidget(parent),
      m_model(new CvDataSetModel(this)),
      m_delegate(new CvMessageRowDelegate(this)),
      m_list(new QTreeView),
      m_text(new CvRichEdit(nullptr)) {
    m_list->setModel(m_model);
    m_list->setItemDelegate(m_delegate);
    // One column as wide as the view; all rows of one height, so that a
    // million rows lay out without reading one.
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setItemsExpandable(false);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->installEventFilter(this);
    m_text->setMinimumHeight(40);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(m_list);
    splitter->addWidget(m_text);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    setFocusProxy(m_list);

    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                m_currentRid =
                    current.isValid() ? current.data(CvDataSetModel::RidRole).toLongLong() : -1;
                if (CvDataSet2* dataSet = m_model->DataSet(); dataSet && current.isValid()) {
                    dataSet->SetCurrentRow(current.row());
                }
                ShowCurrent();
                emit currentRowChanged(current.isValid() ? current.row() : -1);
            });
    connect(m_list, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit rowActivated(index.row()); });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = m_list->indexAt(pos);
        if (index.isValid()) {
            m_list->setCurrentIndex(index);
        }
        emit contextMenuRequested(CurrentRow(), m_list->viewport()->mapToGlobal(pos));
    });
    connect(m_model, &CvDataSetModel::refreshed, this, &CvDataSetGrid2::KeepCurrentAfterRefresh);
}

CvDataSetGrid2::~CvDataSetGrid2() {
    m_model->Attach(nullptr);
}

void CvDataSetGrid2::Attach(CvDataSet2* dataSet) {
    m_model->Attach(dataSet);
    m_currentRid = -1;
    SetCurrentRow(0);
    ShowCurrent();
}

void CvDataSetGrid2::SetHeading(const QString& pattern) {
    m_delegate->SetHeading(pattern);
    m_list->viewport()->update();
}

void CvDataSetGrid2::SetTimeFormatter(std::function<QString(const QString&)> format) {
    m_delegate->SetTimeFormatter(std::move(format));
    m_list->viewport()->update();
}

void CvDataSetGrid2::SetLinkMode(int mode) {
    m_text->SetLinkMode(mode);
}

void CvDataSetGrid2::SetHighlight(const QColor& text, const QColor& background) {
    m_delegate->SetHighlight(text, background);
    m_list->viewport()->update();
}

void CvDataSetGrid2::SetTextFont(const QFont& font) {
    m_list->setFont(font);
    m_text->setFont(font);
}

void CvDataSetGrid2::SetTextColor(const QColor& color) {
    QPalette colors = m_list->palette();
    colors.setColor(QPalette::Text, color.isValid() ? color : palette().color(QPalette::Text));
    m_list->setPalette(colors);
    m_text->SetTextColor(color);
}

int CvDataSetGrid2::RowCount() const {
    return m_model->rowCount();
}

int CvDataSetGrid2::CurrentRow() const {
    const QModelIndex current = m_list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void CvDataSetGrid2::SetCurrentRow(int row) {
    const int rows = RowCount();
    if (rows == 0) {
        return;
    }
    const QModelIndex index = m_model->index(std::clamp(row, 0, rows - 1));
    m_list->setCurrentIndex(index);
    m_list->scrollTo(index);
}

std::string CvDataSetGrid2::CurrentText(const char16_t* column) const {
    return m_model->Text(CurrentRow(), column);
}

QString CvDataSetGrid2::SelectedText() const {
    return m_text->textCursor().selectedText().replace(QChar::ParagraphSeparator, '\n');
}

void CvDataSetGrid2::ShowCurrent() {
    m_text->SetMessageText(CurrentText(u"message"));
}

void CvDataSetGrid2::KeepCurrentAfterRefresh() {
    // A new message moves the rows; the user keeps the record they look at.
    int row = 0;
    if (CvDataSet2* dataSet = m_model->DataSet(); dataSet && m_currentRid >= 0) {
        row = std::max(0, dataSet->Find(u"rid", CvDbValue::FromInteger(m_currentRid)));
    }
    if (RowCount() == 0) {
        m_currentRid = -1;
        ShowCurrent();
        emit currentRowChanged(-1);
        return;
    }
    SetCurrentRow(row);
}

bool CvDataSetGrid2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && CurrentRow() >= 0) {
            emit rowActivated(CurrentRow());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
