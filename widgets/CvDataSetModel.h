#pragma once

#include <QAbstractListModel>
#include <string>

#include "app/CvObserver.h"

class CvDataSet2;

// The rows of a data set of messages (columns sender, recipient, message,
// msgtime, rid) as a list model. A row is read from the data set only when a
// view asks for it; the model resets when the data set's subject notifies.
class CvDataSetModel : public QAbstractListModel, private CvObserver {
    Q_OBJECT
public:
    enum Role {
        SenderRole = Qt::UserRole + 1,
        RecipientRole,
        TimeRole,  // the stored time stamp, "yyyy-MM-dd HH:mm:ss"
        RidRole,
    };

    explicit CvDataSetModel(QObject* parent = nullptr);
    ~CvDataSetModel() override;

    // Shows `dataSet` (null: no rows) and follows its subject.
    void Attach(CvDataSet2* dataSet);
    CvDataSet2* DataSet() const { return m_dataSet; }

    int rowCount(const QModelIndex& parent = {}) const override;
    // Qt::DisplayRole is the message text.
    QVariant data(const QModelIndex& index, int role) const override;

    // A column of a row as UTF-8, "" outside the rows.
    std::string Text(int row, const char16_t* column) const;

signals:
    // The data set changed and the model was reset; views keep their current
    // row by its "rid".
    void refreshed();

private:
    void Update(CvObservationSubject* subject) override;

    CvDataSet2* m_dataSet = nullptr;
    int m_rows = 0;
};
