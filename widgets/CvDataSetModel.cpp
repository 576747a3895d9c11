#include "widgets/CvDataSetModel.h"

#include "storage/CvDataSet2.h"
#include "storage/CvDbValue.h"

CvDataSetModel::CvDataSetModel(QObject* parent) : QAbstractListModel(parent) {}

CvDataSetModel::~CvDataSetModel() {
    Attach(nullptr);
}

void CvDataSetModel::Attach(CvDataSet2* dataSet) {
    if (m_dataSet != nullptr) {
        m_dataSet->Detach(this);
    }
    beginResetModel();
    m_dataSet = dataSet;
    m_rows = m_dataSet != nullptr ? m_dataSet->GetLastIndex() + 1 : 0;
    endResetModel();
    if (m_dataSet != nullptr) {
        m_dataSet->Attach(this);
    }
}

int CvDataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

std::string CvDataSetModel::Text(int row, const char16_t* column) const {
    if (m_dataSet == nullptr || row < 0 || row >= m_rows) {
        return {};
    }
    return m_dataSet->ReadValue(row, column).AsUtf8();
}

QVariant CvDataSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(Text(index.row(), u"message"));
        case SenderRole:
            return QString::fromStdString(Text(index.row(), u"sender"));
        case RecipientRole:
            return QString::fromStdString(Text(index.row(), u"recipient"));
        case TimeRole:
            return QString::fromStdString(Text(index.row(), u"msgtime"));
        case RidRole:
            return QVariant::fromValue<qlonglong>(
                m_dataSet->ReadValue(index.row(), u"rid").AsInteger());
        default:
            return {};
    }
}

void CvDataSetModel::Update(CvObservationSubject*) {
    beginResetModel();
    m_rows = m_dataSet != nullptr ? m_dataSet->GetLastIndex() + 1 : 0;
    endResetModel();
    emit refreshed();
}
