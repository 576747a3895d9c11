#pragma once

#include <QBasicTimer>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

#include "app/CvMemberFunction.h"
#include "messaging/CvMsgOutboxSendResult.h"
#include "messaging/CvPendingSends.h"
#include "messaging/CvRecipient.h"
#include "ui/CvFormBase.h"

class CvFormHost;
class CvContactListAutocompleteData;
class CvListEdit;
class CvSizeGrip;
class FormAddrAutocomp;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

// Where the user writes a message and chooses its recipients. Sending hands
// one record per recipient to the outbox and waits, with the input locked
// and the icon blinking, for every result: all delivered closes the window;
// otherwise it stays with its text and the error popup names the recipients
// that failed. Closing it during a send withdraws what was not sent yet.
class CNewMsgForm : public CvFormBase {
    Q_OBJECT
public:
    static constexpr int kMsgFieldChanged = 0x403;
    static constexpr int kMsgOpenContact = 0x404;
    static constexpr int kMsgSendDone = 0x801;
    static constexpr int kCmdSend = 106;
    static constexpr int kCmdClose = 107;
    static constexpr int kMsgContactLayout = 0x435;
    static constexpr int kCmdContactPicker = 32788;
    static constexpr int kCmdContactPickerKey = 124;
    static constexpr int kIconTimerPeriodMs = 500;

    explicit CNewMsgForm(CvFormHost& main);
    ~CNewMsgForm() override;

    // Loads the recipients now, or, before the window is shown, when it is.
    void SetRecipients(const std::vector<CvRecipient>& recipients);
    std::vector<CvRecipient> Recipients() const;

    bool IsTextEmpty() const;
    bool IsSending();
    void Send();
    // 106 send, 107 and 2 close, 32788 and 124 the contact picker.
    void Command(int id);
    // Shows the contact list at the cursor; a contact picked there joins
    // the recipients.
    void OpenContactPicker();

    CvListEdit* RecipientField() const { return m_recipients; }
    QPlainTextEdit* TextField() const { return m_text; }
    QPushButton* SendButton() const { return m_send; }
    QToolButton* PickerButton() const { return m_picker; }
    FormAddrAutocomp* Autocomplete() const { return m_autocomplete; }

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnSendResult(CvMsgOutboxSendResult& result);
    // Sends of this window whose results have not come are withdrawn; their
    // results are no longer delivered once it returns.
    void WithdrawUnfinished();
    void OnSendDone();
    void SetSending(bool sending);
    void RestorePlacement();
    void SavePlacement();
    std::vector<CvRecipient> GroupMembers(const std::string& group) const;
    void AddPickedContact(int index);

    CvFormHost& m_main;
    CvListEdit* m_recipients;
    QPlainTextEdit* m_text;
    QLabel* m_toLabel;
    QPushButton* m_send;
    QPushButton* m_close;
    QToolButton* m_picker;
    CvSizeGrip* m_grip;
    FormAddrAutocomp* m_autocomplete = nullptr;
    std::unique_ptr<CvContactListAutocompleteData> m_autocompleteSource;

    std::vector<CvRecipient> m_pendingRecipients;
    bool m_recipientsPending = false;
    CvPendingSends m_pending;
    CvVoidUnaryMemberFunction<CNewMsgForm, CvMsgOutboxSendResult&> m_resultBinding{
        this, &CNewMsgForm::OnSendResult};
    QBasicTimer m_iconTimer;
    int m_blinkCount = 0;
};
