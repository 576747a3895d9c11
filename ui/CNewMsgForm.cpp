#include "ui/CNewMsgForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvFormatMessage.h"
#include "app/CvLangTexts.h"
#include "messaging/CvMsgComposer.h"
#include "messaging/CvStation.h"
#include "messaging/SendResultCode.h"
#include "platform/CvTextCodec.h"
#include "storage/CvContactListAutocompleteData.h"
#include "storage/CvContactsManager.h"
#include "ui/CContactsForm.h"
#include "ui/CvFormHost.h"
#include "ui/CvFormPlacement.h"
#include "ui/CvResources.h"
#include "ui/CvWindowMessage.h"
#include "ui/FormAddrAutocomp.h"
#include "widgets/CvListEdit.h"
#include "widgets/CvSizeGrip.h"

namespace {

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

constexpr const char* kPlacementName = "sendmsg";
constexpr int kDefaultWidth = 400;
constexpr int kDefaultHeight = 300;

}  // namespace

CNewMsgForm::CNewMsgForm(CvFormHost& main) : CvFormBase(nullptr, Qt::Window), m_main(main) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Text(1401));
    setWindowIcon(CvResources::WriteIcon());

    m_toLabel = new QLabel(Text(1402), this);
    m_toLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_recipients = new CvListEdit(this);
    m_recipients->SetMenuTexts(Text(1404), Text(1405), Text(1406), Text(109));
    m_recipients->SetKindIcons(CvResources::KindIcon(kRecipientUser),
                               CvResources::KindIcon(kRecipientWorkgroup),
                               CvResources::KindIcon(kRecipientGroup));
    m_recipients->setFixedHeight(CvListEdit::kMinHeight);
    m_text = new QPlainTextEdit(this);
    m_text->setTabChangesFocus(true);
    m_send = new QPushButton(Text(105), this);
    m_close = new QPushButton(Text(106), this);
    m_grip = new CvSizeGrip(this);
    // The contact picker's button.
    m_picker = new QToolButton(this);
    m_picker->setObjectName("ContactPicker");
    m_picker->setIcon(CvResources::KindIcon(kRecipientGroup));
    m_picker->setIconSize(QSize(16, 16));
    m_picker->setAutoRaise(true);
    m_picker->setFixedSize(CvListEdit::kMinHeight, CvListEdit::kMinHeight);
    m_picker->setVisible(m_main.Contacts() != nullptr);
    connect(m_picker, &QToolButton::clicked, this, [this] { Command(kCmdContactPicker); });

    auto* top = new QHBoxLayout;
    top->addWidget(m_toLabel, 0, Qt::AlignTop);
    top->addWidget(m_recipients, 1);
    top->addWidget(m_picker, 0, Qt::AlignTop);
    m_toLabel->setMinimumHeight(CvListEdit::kMinHeight);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(m_send);
    bottom->addWidget(m_close);
    bottom->addWidget(m_grip, 0, Qt::AlignBottom | Qt::AlignRight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(m_text, 1);
    layout->addLayout(bottom);

    connect(m_recipients, &CvListEdit::heightChanged, this,
            [this](int height) { m_recipients->setFixedHeight(height); });
    connect(m_send, &QPushButton::clicked, this, &CNewMsgForm::Send);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this,
                [this] { CvWindowMessage::Post(this, kCmdSend); });
    }

    if (CvContactsManager* contacts = m_main.Contacts()) {
        m_autocompleteSource = std::make_unique<CvContactListAutocompleteData>(contacts);
        m_autocomplete = new FormAddrAutocomp(*m_recipients, m_autocompleteSource.get(), this);
        connect(m_recipients, &CvListEdit::typedTextChanged, m_autocomplete,
                &FormAddrAutocomp::Update);
        connect(m_recipients, &CvListEdit::navigate, m_autocomplete, &FormAddrAutocomp::Move);
        connect(m_recipients, &CvListEdit::acceptCompletion, m_autocomplete,
                [this] { m_autocomplete->Accept(); });
    }
    // The text fields handle Return themselves; Ctrl+Return must still send.
    m_recipients->Editor()->installEventFilter(this);
    m_text->installEventFilter(this);
    RestorePlacement();
}

CNewMsgForm::~CNewMsgForm() {
    // Deleted without closing (the main window shuts its tasks down): a send
    // still running must not report to the window that is gone.
    WithdrawUnfinished();
}

void CNewMsgForm::WithdrawUnfinished() {
    if (CvStation* station = m_main.Station()) {
        station->Withdraw(m_pending.Unfinished());
    }
}

void CNewMsgForm::SetRecipients(const std::vector<CvRecipient>& recipients) {
    m_pendingRecipients = recipients;
    m_recipientsPending = true;
    if (isVisible()) {
        m_recipients->Clear();
        for (const CvRecipient& recipient : recipients) {
            m_recipients->AddItem(recipient.kind, recipient.name);
        }
        m_recipientsPending = false;
    }
}

std::vector<CvRecipient> CNewMsgForm::Recipients() const {
    if (m_recipientsPending) {
        std::vector<CvRecipient> pending;
        for (const CvRecipient& recipient : m_pendingRecipients) {
            if (!recipient.name.empty()) {
                pending.push_back(recipient);
            }
        }
        return pending;
    }
    return m_recipients->Items();
}

bool CNewMsgForm::IsTextEmpty() const {
    return m_text->document()->isEmpty();
}

bool CNewMsgForm::IsSending() {
    return m_pending.IsSending();
}

void CNewMsgForm::showEvent(QShowEvent* event) {
    CvFormBase::showEvent(event);
    if (m_recipientsPending) {
        m_recipients->Clear();
        for (const CvRecipient& recipient : m_pendingRecipients) {
            m_recipients->AddItem(recipient.kind, recipient.name);
        }
        m_recipientsPending = false;
    }
    if (m_recipients->Count() > 0) {
        m_text->setFocus();
    } else {
        m_recipients->Editor()->setFocus();
    }
}

std::vector<CvRecipient> CNewMsgForm::GroupMembers(const std::string& group) const {
    std::vector<CvRecipient> members;
    CvContactsManager* contacts = m_main.Contacts();
    if (contacts == nullptr) {
        return members;
    }
    // Group names are unique without regard to letter case.
    const std::string wanted = CvText::UpperCase(group);
    for (const CvContactGroup& candidate : contacts->Groups()) {
        if (CvText::UpperCase(candidate.name) != wanted) {
            continue;
        }
        for (const CvContact& contact : candidate.contacts) {
            members.push_back({contact.conttype, contact.name});
        }
    }
    return members;
}

void CNewMsgForm::Send() {
    if (IsSending()) {
        return;
    }
    const auto collected = CvMsgComposer::Collect(
        m_recipients->Items(), [this](const std::string& group) { return GroupMembers(group); });
    if (!collected.emptyGroups.empty()) {
        QString names;
        for (const std::string& group : collected.emptyGroups) {
            names += QString::fromStdString(group) + " (" + Text(1409) + ")\n";
        }
        QMessageBox::warning(this, windowTitle(), Text(1403) + "\n" + names);
        return;
    }
    if (collected.recipients.empty()) {
        QMessageBox::warning(this, windowTitle(), Text(1411));
        return;
    }
    // The text goes out with CR LF line breaks, as messenger peers write them.
    std::string text = m_text->toPlainText().toStdString();
    std::string wire;
    for (char c : text) {
        if (c == '\n') {
            wire += '\r';
        }
        wire += c;
    }
    const bool large = m_main.Settings().Get(CvSettingId::kMessagesLargeBcastEnabled).GetInt() != 0;
    if (CvMsgComposer::ExceedsLimits(collected.recipients, wire, large)) {
        const QString question = QString::fromStdString(
            CvFormatMessage(CvLangTexts::Instance().GetText(1407),
                            {std::to_string(CvMsgComposer::BroadcastLimit(large))}));
        if (QMessageBox::question(this, windowTitle(), question,
                                  QMessageBox::Ok | QMessageBox::Cancel,
                                  QMessageBox::Cancel) != QMessageBox::Ok) {
            return;
        }
    }
    wire = CvMsgComposer::CutToPersonalLimit(wire);

    CvStation* station = m_main.Station();
    std::string sender;
    if (station != nullptr) {
        const auto& settings = station->Settings();
        sender = m_main.Settings().Get(CvSettingId::kUserSignMsgWith).GetInt() == 1
                     ? settings.userName
                     : settings.computerName;
    }
    std::vector<CMsg> messages = CvMsgComposer::BuildMessages(collected.recipients, sender, wire);
    if (station != nullptr) {
        // A broadcast goes out cut by the clients; each record holds what its
        // recipients get, which is what gets filed as sent.
        for (CMsg& msg : messages) {
            msg.text = station->SentText(msg);
        }
    }
    SetSending(true);
    const auto entries = m_pending.Start(messages);
    for (const auto& entry : entries) {
        if (station == nullptr || !station->Enqueue(entry.msg, &m_resultBinding, entry.id)) {
            // No station to send with: that recipient is not reachable.
            if (m_pending.Record(entry.id, SendResultNoInterface, {})) {
                CvWindowMessage::Post(this, kMsgSendDone);
            }
        }
    }
}

void CNewMsgForm::OnSendResult(CvMsgOutboxSendResult& result) {
    // On the send thread: record and post; the window changes on its own
    // thread. The station files what went out, whatever becomes of the window.
    if (m_pending.Record(result.id, result.code, result.errorText)) {
        CvWindowMessage::Post(this, kMsgSendDone);
    }
}

void CNewMsgForm::OnSendDone() {
    const auto outcome = m_pending.Summarize(CvLangTexts::Instance());
    SetSending(false);
    CvAppPropertyList& settings = m_main.Settings();
    const bool sound = settings.Get(CvSettingId::kSoundEnabled).GetInt() == 1;
    if (!outcome.failed) {
        CvWindowMessage::Post(this, kCmdClose);
        if (sound && settings.Get(CvSettingId::kMsgSendSuccessSoundNotify).GetInt() == 1) {
            m_main.PlaySoundFile(settings.Get(CvSettingId::kSoundEventSendSuccess).GetText());
        }
        return;
    }
    if (settings.Get(CvSettingId::kMsgSendFailTextNotify).GetInt() == 1) {
        m_main.ShowErrorPopup(CvLangTexts::Instance().GetText(1403) + "\r\n" + outcome.failureText);
    }
    if (sound && settings.Get(CvSettingId::kMsgSendFailSoundNotify).GetInt() == 1) {
        m_main.PlaySoundFile(settings.Get(CvSettingId::kSoundEventSendFail).GetText());
    }
}

void CNewMsgForm::SetSending(bool sending) {
    setWindowTitle(Text(sending ? 1413 : 1401));
    m_send->setEnabled(!sending);
    m_recipients->SetReadOnly(sending);
    m_picker->setEnabled(!sending);  // the recipients are locked while a send runs
    m_text->setEnabled(!sending);
    if (sending) {
        m_blinkCount = 0;
        m_iconTimer.start(kIconTimerPeriodMs, this);
    } else {
        m_iconTimer.stop();
        setWindowIcon(CvResources::WriteIcon());
    }
}

void CNewMsgForm::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_iconTimer.timerId()) {
        CvFormBase::timerEvent(event);
        return;
    }
    ++m_blinkCount;
    setWindowIcon(m_blinkCount % 2 == 0 ? CvResources::WriteSendingIcon()
                                        : CvResources::WriteIcon());
}

void CNewMsgForm::customEvent(QEvent* event) {
    if (event->type() != CvWindowMessage::EventType()) {
        CvFormBase::customEvent(event);
        return;
    }
    const auto* message = static_cast<CvWindowMessage*>(event);
    switch (message->message) {
        case kMsgSendDone:
            OnSendDone();
            break;
        case kCmdSend:
            Send();
            break;
        case kCmdClose:
            close();
            break;
        case kMsgOpenContact:
            if (message->wParam == CContactsForm::kListContacts) {
                AddPickedContact(static_cast<int>(message->lParam));
            }
            break;
        case kMsgContactLayout:
            if (CContactsForm* picker = m_main.ContactList()) {
                picker->ApplyLayout();
            }
            break;
        default:
            break;
    }
}

void CNewMsgForm::Command(int id) {
    switch (id) {
        case kCmdSend:
            Send();
            break;
        case kCmdClose:
        case 2:
            close();
            break;
        case kCmdContactPicker:
        case kCmdContactPickerKey:
            OpenContactPicker();
            break;
        default:
            break;
    }
}

void CNewMsgForm::OpenContactPicker() {
    if (IsSending()) {
        return;  // the recipients are locked
    }
    raise();
    activateWindow();
    m_main.ShowContactList(this, QCursor::pos(), CvContactLayout::kAlignCentre,
                           CvContactLayout::kAlignLeft);
}

void CNewMsgForm::AddPickedContact(int index) {
    CvContactsManager* contacts = m_main.Contacts();
    // While a send runs the recipients are locked.
    if (contacts == nullptr || m_recipients->IsReadOnly()) {
        return;
    }
    if (const auto contact = CContactsForm::ContactAt(*contacts, index)) {
        m_recipients->AddItem(contact->conttype, contact->name);
    }
}

bool CNewMsgForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
        return CvFormBase::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && (key->modifiers() & Qt::ControlModifier) != 0) {
        if (event->type() == QEvent::KeyPress) {
            CvWindowMessage::Post(this, kCmdSend);
        }
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress && m_autocomplete != nullptr &&
        watched == m_recipients->Editor() && key->key() == Qt::Key_Escape &&
        m_autocomplete->isVisible()) {
        m_autocomplete->Close();
        return true;
    }
    return CvFormBase::eventFilter(watched, event);
}

void CNewMsgForm::keyPressEvent(QKeyEvent* event) {
    // Escape is Cancel, as in a dialog; an open completion list took its
    // Escape before (eventFilter).
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        Command(kCmdClose);
        return;
    }
    CvFormBase::keyPressEvent(event);
}

void CNewMsgForm::closeEvent(QCloseEvent* event) {
    // Results that come later must not reach a closed window.
    WithdrawUnfinished();
    if (m_autocomplete != nullptr) {
        m_autocomplete->Close();
    }
    SavePlacement();
    event->accept();
}

void CNewMsgForm::RestorePlacement() {
    if (CvFormPlacement::Restore(*this, m_main.SettingsStore(), kPlacementName, {200, 150})) {
        return;
    }
    resize(kDefaultWidth, kDefaultHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - QPoint(kDefaultWidth / 2, kDefaultHeight / 2));
    }
}

void CNewMsgForm::SavePlacement() {
    CvFormPlacement::Save(*this, m_main.SettingsStore(), kPlacementName);
}
