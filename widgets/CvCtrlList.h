#pragma once

#include <QColor>
#include <QIcon>
#include <QString>
#include <QTreeView>

#include <vector>

#include "app/CvMemberFunction.h"
#include "app/CvObserver.h"

class CvCoolMenuManagerInterface;

// A menu-like list of rows drawn from a row provider: one line of text with
// an image each. Rows of kind 1 (the provider's "is group") open and close
// through the provider: Left, Right, keypad + and -, or a click on them.
// A click on any other row, or Enter, activates it: the list reports its
// control id and the row's value (the row index, or the value set for it).
// The row under the mouse becomes current, as in a menu.
//
// The rows are read once per refresh, so the view never sees the provider
// change under it. Refresh runs when the provider's subject notifies
// (Update), when the provider calls RepaintBinding (from any thread), or on
// Refresh.
class CvCtrlList : public QTreeView, public CvObserver {
    Q_OBJECT
public:
    static constexpr int kRowKindToggle = 1;

    CvCtrlList(int controlId, QWidget* parent = nullptr);
    ~CvCtrlList() override;

    int ControlId() const { return m_controlId; }
    // Not owned; null shows no rows.
    void SetProvider(CvCoolMenuManagerInterface* provider);
    // The images by the provider's image numbers; a number without an image
    // draws none.
    void SetImages(std::vector<QIcon> images);
    // The values rows report when activated, by row; rows without one report
    // their index.
    void SetRowValues(std::vector<qintptr> values);
    // Shown greyed in place of the rows while there are none.
    void SetEmptyText(const QString& text);
    void SetTextColor(const QColor& color);
    // At most this many rows count towards the preferred height (0: all).
    void SetMaxVisibleRows(int rows);

    int RowCount() const;
    QString RowText(int row) const;
    int RowImage(int row) const;
    int RowKind(int row) const;
    qintptr RowValue(int row) const;
    // -1 when none.
    int CurrentRow() const;
    void SetCurrentRow(int row);
    int RowHeight() const { return m_rowHeight; }
    // The height that shows every row (or the empty text) without scrolling.
    int PreferredHeight() const;

    // Reads the rows again; keeps the current row where it can.
    void Refresh();
    // Safe from any thread: the refresh runs on the list's thread.
    void RefreshLater();
    CvNullaryFunction<void>* RepaintBinding() { return &m_repaintBinding; }
    void Update(CvObservationSubject* subject) override;

    // What a click or Enter does to `row`: toggles it (kind 1) or activates it.
    void ActivateRow(int row);
    // Hands `row` to the provider when it is of kind 1.
    void ToggleRow(int row);

signals:
    void rowActivated(int controlId, qintptr value);
    void contextMenuRequested(int row, const QPoint& globalPos);
    void preferredHeightChanged(int height);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    class Model;
    struct Row {
        QString text;
        int image = -1;
        int kind = 0;
    };
    void OnRepaintRequest();

    const int m_controlId;
    Model* m_model;
    CvCoolMenuManagerInterface* m_provider = nullptr;
    std::vector<Row> m_rows;
    std::vector<QIcon> m_images;
    std::vector<qintptr> m_values;
    QString m_emptyText;
    QColor m_textColor;
    int m_rowHeight;
    int m_maxVisibleRows = 0;
    int m_pressedRow = -1;
    int m_lastPreferredHeight = -1;
    CvVoidNullaryMemberFunction<CvCtrlList> m_repaintBinding{this, &CvCtrlList::OnRepaintRequest};
};
