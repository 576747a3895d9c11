#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "storage/CvContact.h"
#include "ui/CvContactLayout.h"

class CvFormHost;
class CvActionLinks;
class CvContactsManager;
class CvCtrlList;
class QFrame;
class QMenu;

// The contact list: a menu-like window that drops from the tray icon or from
// a write-message window. The upper list shows the contacts in their groups;
// the lower one the action links (add a contact, find users, the archive).
// A click on a contact asks the owner (the main window, or the write-message
// window that opened it as a picker) to write to it. It is made once and
// hides when it loses activation or is closed.
class CContactsForm : public QWidget {
    Q_OBJECT
public:
    // Messages to and from the lists and the owner.
    static constexpr int kMsgListRow = 0x404;  // wParam: list id, lParam: row value
    static constexpr int kMsgRelayout = 0x435;
    static constexpr int kListContacts = 150;
    static constexpr int kListActions = 151;

    // Action links.
    static constexpr int kActionAddContact = 1;
    static constexpr int kActionFindUsers = 2;
    static constexpr int kActionHistory = 3;

    // Commands.
    static constexpr int kCmdAddContact = 148;
    static constexpr int kCmdFindUsers = 149;
    static constexpr int kCmdHistory = 117;
    static constexpr int kCmdWrite = 160;
    static constexpr int kCmdEdit = 161;
    static constexpr int kCmdDelete = 162;
    static constexpr int kCmdContactHistory = 185;

    static constexpr int kWidth = 260;

    // Reads its four flags from the main window's settings now. `contacts`
    // may be null (no contact list file): the list then stays empty.
    CContactsForm(CvFormHost& main, CvContactsManager* contacts);
    ~CContactsForm() override;

    // Remembers the owner, places the window at `anchor` by the flags and
    // shows it.
    void ShowAt(QObject* owner, const QPoint& anchor, int verticalFlags, int horizontalFlags);
    // Places it again by the last anchor (the owner's answer to 0x435).
    void ApplyLayout();
    QObject* Owner() const { return m_owner.data(); }

    void HandleMessage(int message, qintptr wParam, qintptr lParam);
    void Command(int id);

    CvCtrlList* ContactsList() const { return m_contacts; }
    CvCtrlList* ActionsList() const { return m_actions; }
    QMenu* RowMenu() const { return m_rowMenu; }
    const CvContactLayout& Layout() const { return m_layout; }
    // Opens the row menu for `row` at `globalPos` (the upper list's right
    // button); with `exec` false it only prepares the menu's entries.
    void OpenRowMenu(int row, const QPoint& globalPos, bool exec = true);

    // The contact on line `index` of the contact list, none on a group line or
    // beyond the end.
    static std::optional<CvContact> ContactAt(CvContactsManager& contacts, int index);
    // The group name on line `index` when it is a group line.
    static std::optional<std::string> GroupAt(CvContactsManager& contacts, int index);

    // Asks a Yes/No/Cancel question before deleting; tests replace it.
    std::function<QMessageBox::StandardButton(const QString& question)> askDelete;

    QSize sizeHint() const override;

protected:
    void customEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void SendToOwner(int message, qintptr wParam, qintptr lParam);
    void RunAction(int action);
    void Write();
    void Edit();
    void Delete();
    void ContactHistory();
    void PlaceChildren();
    void OnPreferredHeightChanged();
    void HideList();

    CvFormHost& m_main;
    CvContactsManager* m_manager;
    QPointer<QObject> m_owner;
    CvCtrlList* m_contacts;
    CvCtrlList* m_actions;
    QFrame* m_separator;
    int m_selected = -1;
    QMenu* m_rowMenu;
    QAction* m_writeAction = nullptr;
    QAction* m_editAction = nullptr;
    QAction* m_historyAction = nullptr;
    QAction* m_deleteAction = nullptr;
    std::unique_ptr<CvActionLinks> m_links;
    bool m_searchDisabled;
    bool m_editDisabled;
    bool m_sendDisabled;
    bool m_archiveDisabled;
    // While a menu or a question of its own is open, losing activation does
    // not hide the window.
    int m_busy = 0;
    CvContactLayout m_layout{this};
};
