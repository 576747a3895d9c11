#pragma once

#include <QTimer>
#include <string>

#include "messaging/CvRecipient.h"
#include "ui/CvFormBase.h"

class CvFormHost;
class CvDataSetGrid2;
class CvEdit;
class CvMsgArchive;
class QLabel;
class QMenu;
class QToolButton;

// The message archive: the dialogue list (one row per correspondent, its
// newest message) and, after opening a row, the messages exchanged with that
// correspondent. It searches, copies, deletes, answers, clears and exports.
// The list on screen follows the archive, so messages that arrive or are sent
// while it is open appear at once; a list not shown does no work for them and
// catches up when shown again. Searches and exports run on the archive's
// reader threads, so the window (and the popup) never wait for them. Down in
// the search field moves to the dialogue list. Closing or Escape only hides
// it.
class CHistoryForm : public CvFormBase {
    Q_OBJECT
public:
    // Commands.
    static constexpr int kCmdWriteToSender = 171;
    static constexpr int kCmdCopy = 172;
    static constexpr int kCmdDelete = 173;
    static constexpr int kCmdServiceMenu = 187;
    static constexpr int kCmdClear = 188;
    static constexpr int kCmdExport = 191;
    static constexpr int kCmdBack = 193;
    static constexpr int kCmdWriteToCorrespondent = 196;
    static constexpr int kCmdOpenDialogue = 199;
    static constexpr int kSearchDelayMs = 500;

    enum View { kDialogues = 0, kMessages = 1 };

    CHistoryForm(CvFormHost& main, CvMsgArchive& archive, int linkMode);
    ~CHistoryForm() override;

    void SetOnTop(bool onTop);
    void SetLinkMode(int mode);
    // Font and current-row colours from the settings, or the standard ones
    // while custom appearance is off.
    void ApplyAppearance();
    // View 0 with the first (newest) dialogue selected.
    void ShowDialogueList();
    // View 1 with the messages exchanged with `correspondent`, the row of
    // message `rid` selected (the first row when it is not there).
    void ShowDialogueOf(const CvRecipient& correspondent, int64_t rid);

    void Command(int id);

    View CurrentView() const { return m_view; }
    const CvRecipient& Correspondent() const { return m_correspondent; }
    CvDataSetGrid2* DialogueGrid() const { return m_dialogues; }
    CvDataSetGrid2* MessageGrid() const { return m_messages; }
    CvEdit* SearchField() const { return m_search; }
    QMenu* ServiceMenu() const { return m_serviceMenu; }
    QMenu* RowMenu() const { return m_rowMenu; }
    // Opens the save dialog; tests replace it. Returns the chosen file name
    // ("" when cancelled) and whether the HTML filter was chosen.
    std::function<std::pair<QString, bool>()> askExportFile;
    // Asks the question before the archive is cleared; tests replace it.
    std::function<bool()> confirmClear;
    // Asks whether an existing file (the name with its extension) is to be
    // replaced by the export; tests replace it.
    std::function<bool(const QString& path)> confirmReplace;
    // Tells the user that an export could not be written; tests replace it.
    std::function<void(const QString& path)> exportFailed;

    // The name an export writes to and whether it is HTML, by the chosen
    // name and filter: a name without extension gets "html" with the HTML
    // filter and "csv" otherwise; only an "html" extension (any case) is
    // written as HTML.
    static std::pair<QString, bool> ExportTarget(const QString& chosen, bool htmlFilter);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SwitchView(View view);
    // Only the list on screen follows the archive.
    void Follow(bool shown);
    // A search's result came in on the reader thread.
    void SearchFinished();
    void Search();
    void ClearSearch();
    void OpenSelectedDialogue();
    CvDataSetGrid2* CurrentGrid() const;
    // The correspondent of the current row (name "" without one).
    CvRecipient SelectedCorrespondent();
    void WriteToSender();
    void Copy();
    void Delete();
    void Clear();
    void Export();
    void RestorePlacement();
    void SavePlacement();

    CvFormHost& m_main;
    CvMsgArchive& m_archive;
    View m_view = kDialogues;
    CvRecipient m_correspondent;
    QToolButton* m_back;
    QLabel* m_caption;
    CvEdit* m_search;
    QToolButton* m_write;
    QToolButton* m_service;
    CvDataSetGrid2* m_dialogues;
    CvDataSetGrid2* m_messages;
    QMenu* m_serviceMenu;
    QMenu* m_rowMenu;
    QTimer m_searchTimer;
    // A search the user started: its result shows from the first row.
    bool m_newSearch = false;
};
