#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "app/CvAppPropertyEditor.h"
#include "ui/CvFormBase.h"

class CvAppPropertyList;
class CvOptionsPage;
class QFrame;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A settings dialog: a tree of groups and pages on the left, the selected
// page with its heading on the right, OK and Cancel below. Every page works
// on one editor over the settings list; OK commits what the pages changed
// (the list's listener applies and saves it), Cancel or closing the window
// drops it. Only the page shown exists; it is made again when selected.
// Deletes itself when closed.
class CvOptionsForm : public CvFormBase {
    Q_OBJECT
public:
    using PageFactory = std::function<CvOptionsPage*(CvAppPropertyEditor& editor)>;

    // Client geometry of the frame's parts.
    static constexpr int kTreeRight = 190;
    static constexpr int kPageLeft = 200;
    static constexpr int kPageTop = 30;

    // `settings` outlives the window.
    explicit CvOptionsForm(CvAppPropertyList& settings);

    void AddGroup(const QString& title);
    // A page of the group added last.
    void AddPage(const QString& title, const QString& heading, int templateId, PageFactory make);

    // Shows the page with `templateId`; false when there is none.
    bool SelectPage(int templateId);
    CvOptionsPage* CurrentPage() const { return m_page; }
    // The template of the page shown, 0 when none is.
    int CurrentTemplate() const;

    void Ok();
    void Cancel();

    CvAppPropertyEditor& Editor() { return m_editor; }
    QTreeWidget* Tree() const { return m_tree; }
    QLabel* Heading() const { return m_heading; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Entry {
        QString heading;
        int templateId;
        PageFactory make;
        QTreeWidgetItem* item;
    };

    void ShowEntry(const Entry& entry);
    void KeepButtonsLastInTabOrder();
    void LayOut();

    CvAppPropertyEditor m_editor;
    std::vector<Entry> m_entries;
    QTreeWidgetItem* m_group = nullptr;
    const Entry* m_shown = nullptr;
    CvOptionsPage* m_page = nullptr;
    QTreeWidget* m_tree;
    QLabel* m_heading;
    QFrame* m_separator;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
