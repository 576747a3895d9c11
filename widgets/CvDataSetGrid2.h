#pragma once

#include <QColor>
#include <QWidget>
#include <functional>

class CvDataSet2;
class CvDataSetModel;
class CvMessageRowDelegate;
class CvRichEdit;
class QTreeView;

// The messages of a data set (columns sender, recipient, message, msgtime,
// rid): a list of one row per record, each headed "<sender> wrote to
// <recipient>:" with its time and the first lines of its text, and below it
// the current row's whole text, selectable and with its links. The list
// reads records only for the rows it shows and follows the data set's
// subject, keeping its current record. Enter or a double-click activates the
// current row; the right button asks for the context menu.
class CvDataSetGrid2 : public QWidget {
    Q_OBJECT
public:
    explicit CvDataSetGrid2(QWidget* parent = nullptr);
    ~CvDataSetGrid2() override;

    // Shows `dataSet` (null: nothing) and follows it.
    void Attach(CvDataSet2* dataSet);
    // The heading pattern, %1 the sender, %2 the recipient.
    void SetHeading(const QString& pattern);
    void SetTimeFormatter(std::function<QString(const QString&)> format);
    // 0 none, 1 standard protocols, 2 any protocol (MessagesHandleLinks).
    void SetLinkMode(int mode);
    // Colours of the current row; invalid colours use the palette's.
    void SetHighlight(const QColor& text, const QColor& background);
    void SetTextFont(const QFont& font);
    // The colour of the messages' text (an invalid colour: the standard one).
    void SetTextColor(const QColor& color);

    int RowCount() const;
    // -1 when no row is current.
    int CurrentRow() const;
    // Makes `row` current (clamped to the rows; nothing without rows).
    void SetCurrentRow(int row);
    // A column of the current row as UTF-8, "" without one.
    std::string CurrentText(const char16_t* column) const;
    // The text selected in the current row's text, "" for none.
    QString SelectedText() const;

    QTreeView* List() const { return m_list; }
    CvRichEdit* TextView() const { return m_text; }
    CvMessageRowDelegate* Delegate() const { return m_delegate; }

signals:
    void rowActivated(int row);
    void contextMenuRequested(int row, const QPoint& globalPos);
    void currentRowChanged(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowCurrent();
    void KeepCurrentAfterRefresh();

    CvDataSetModel* m_model;
    CvMessageRowDelegate* m_delegate;
    QTreeView* m_list;
    CvRichEdit* m_text;
    qlonglong m_currentRid = -1;
};
