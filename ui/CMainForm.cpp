#include "ui/CMainForm.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvCompoundText.h"
#include "app/CvFileTime.h"
#include "app/CvFormatMessage.h"
#include "app/CvHotKeyDispatcher.h"
#include "app/CvLangTexts.h"
#include "app/CvPopupGeometry.h"
#include "app/CvSoundPlayer.h"
#include "app/CvTimeStamp.h"
#include "app/CvTrayIconManager.h"
#include "messaging/CvHostScanner.h"
#include "messaging/CvNetNamePinger.h"
#include "messaging/CvNetbiosNetwork.h"
#include "messaging/CvStation.h"
#include "platform/CvStationNames.h"
#include "platform/CvTextCodec.h"
#include "storage/CvContactListFile.h"
#include "storage/CvContactsImport.h"
#include "storage/CvContactsManager.h"
#include "storage/CvLocaleDateTimeFormat.h"
#include "storage/CvMsgArchive.h"
#include "storage/CvPingerPresenceProbe.h"
#include "storage/CvStationHost.h"
#include "ui/CBrowseNetForm.h"
#include "ui/CContactEditForm.h"
#include "ui/CContactMassAddForm.h"
#include "ui/CContactsForm.h"
#include "ui/CHistoryForm.h"
#include "ui/CNewMsgForm.h"
#include "ui/CNoTrayForm.h"
#include "ui/COptionsForm.h"
#include "ui/CPopupMsgForm.h"
#include "ui/CvAppearance.h"
#include "ui/CvDesktopServices.h"
#include "ui/CvFormRegistry.h"
#include "ui/CvResources.h"
#include "ui/CvTaskAbout.h"
#include "ui/CvTaskWriteMsg.h"
#include "ui/CvWindowMessage.h"
#include "widgets/CvRichEdit.h"

namespace {

namespace Id = CvSettingId;

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

constexpr int kBlinkRunOut = 14;
constexpr int kCloseRetryMs = 50;
// Received records filed per turn of the event loop.
constexpr size_t kReceivedBatch = 500;
constexpr int kTextArchiveProblem = 1302;
constexpr int kTextClose = 106;
constexpr int kTextContactList = 307;
constexpr int kTextFindUsers = 1108;
// How long the end waits for an archive file another program holds locked.
constexpr std::chrono::milliseconds kArchiveFlushTime{5000};
constexpr int kErrorPopupSeconds = 20;
const QColor kMessageBorder(0xFF, 0xC5, 0x19);
const QColor kErrorBorder(0xC6, 0x00, 0x00);

CvPopupGeometry::Rect ToRect(const QRect& rect) {
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

}  // namespace

CMainForm::CMainForm(CvDesktopServices& services)
    : m_services(services), m_tray(std::make_unique<CvTrayIconManager>(services.TrayHost())) {
    m_archiveRetry.setInterval(1000);
    connect(&m_archiveRetry, &QTimer::timeout, this, [this] {
        if (!m_host || m_host->RetryArchive()) {
            m_archiveRetry.stop();
        }
    });
    PostMessage(kMsgStartup);
}

CMainForm::~CMainForm() {
    Shutdown();
    delete m_noTray.data();
}

int CMainForm::Int(int32_t id) const {
    return m_settings.Get(id).GetInt();
}

void CMainForm::PostMessage(int message, qintptr wParam, qintptr lParam, const QString& text) {
    CvWindowMessage::Post(this, message, wParam, lParam, text);
}

void CMainForm::customEvent(QEvent* event) {
    if (event->type() != CvWindowMessage::EventType()) {
        QObject::customEvent(event);
        return;
    }
    const auto* message = static_cast<CvWindowMessage*>(event);
    if (m_closed) {
        return;
    }
    switch (message->message) {
        case kMsgStartup:
            Startup();
            break;
        case kMsgReceived:
            OnReceived();
            break;
        case kMsgNewMessage:
            OnNewMessage(static_cast<int32_t>(message->wParam));
            break;
        case kMsgSent:
            OnSent();
            break;
        case kMsgShowError:
            ShowErrorPopup(message->text.toStdString());
            break;
        case kMsgImportAnswer:
            OnImportAnswer(static_cast<int>(message->wParam));
            break;
        case kMsgOpenContact:
            if (message->wParam == CContactsForm::kListContacts) {
                OnOpenContact(message->lParam);
            }
            break;
        case kMsgContactLayout:
            if (m_contactList) {
                m_contactList->ApplyLayout();
            }
            break;
        case kMsgClose:
            Close();
            break;
        default:
            break;
    }
}

void CMainForm::Startup() {
    if (m_started) {
        return;
    }
    m_loopLevel = QThread::currentThread()->loopLevel();
    // Storage mode and settings.
    const CvAppPaths paths = m_services.Paths();
    m_store = std::make_unique<CvAppSettingsStore>(paths);
    m_store->Load(m_settings);
    CvLangTexts::Instance().LoadSelectedLanguage(paths.LanguageFolder(),
                                                 m_settings.Get(Id::kSysLanguageFile).GetText());
    m_settings.SetListener(&m_settingsBinding);

    CvResources::Init();
    BuildTrayMenu();

    // The archive and the contact list.
    const std::string folderProblem = paths.CreateStorageFolders();
    m_host = std::make_unique<CvStationHost>(CvStationHost::Filing::OnDrain, &m_popupList);
    m_host->SetWakeUps(&m_receivedWakeUp, &m_sentWakeUp);
    if (Int(Id::kMsgArcDisabled) == 0) {
        auto archive = std::make_unique<CvMsgArchive>();
        const std::string file = paths.MessageArchiveFile(m_settings);
        if (archive->Open(file)) {
            m_host->SetArchive(std::move(archive));
        } else {
            // Messages are still received and shown; the user is told below.
            m_archiveProblem =
                file + ": " +
                (folderProblem.empty() ? archive->Database().OpenError() : folderProblem);
            std::fprintf(stderr, "corvane-messenger: cannot open the message archive %s\n",
                         m_archiveProblem.c_str());
        }
    }
    m_contactFile = std::make_unique<CvContactListFile>();
    m_contactFile->Open(paths.ContactListFile(m_settings), Int(Id::kContactListDisableEdit) != 0);

    // The station's names and the network.
    m_computerName = CvStationNames::ComputerName();
    m_userName = CvStationNames::UserName();
    m_domainName = CvStationNames::Workgroup();
    const CvStationSettings stationSettings =
        CvStationSettings::FromList(m_settings, m_computerName, m_userName, m_domainName);
    m_host->Filer().SetOwnBroadcastFilter(Int(Id::kRecvMsgDiscardOwnBcMsg) == 1, m_userName,
                                          m_computerName, &m_ownNameStateBinding);
    std::string controlError;
    if (!m_host->Start(m_services.CreateStation(stationSettings), m_services.ControlSocketPath(),
                       &controlError)) {
        std::fprintf(stderr,
                     "corvane-messenger: no control socket (%s); corvane send cannot hand "
                     "messages to this program\n",
                     controlError.c_str());
    }

    m_queryNetwork = std::make_unique<CvNetbiosNetwork>(m_services.QueryProvider());
    m_queryNetwork->StartWatch();
    m_pinger = std::make_unique<CvNetNamePinger>(*m_queryNetwork);
    m_pinger->Start();
    m_scanner = std::make_unique<CvHostScanner>(m_services.Neighbourhood(), m_domainName);
    m_scanner->Start();
    m_probe = std::make_unique<CvPingerPresenceProbe>(*m_pinger, *m_scanner);
    m_contacts = std::make_unique<CvContactsManager>(m_contactFile->Database(),
                                                     m_contactFile->Contacts(), m_probe.get());
    m_contacts->Load();
    m_contacts->StartPresence();
    // Made once, then only shown and hidden.
    m_contactList = new CContactsForm(*this, m_contacts.get());

    // The tray icon.
    m_tray->SetNames(m_computerName, m_userName, m_domainName);
    m_tray->SetTexts(CvLangTexts::Instance());
    m_tray->SetIconDisabled(Int(Id::kTrayIconDisabled) != 0);
    m_tray->SetNameStates(&m_nameStateBinding);
    m_tray->SetCounts(&m_countsBinding);
    m_tray->SetMouseListener(&m_trayMouseBinding);
    m_tray->SetHoverListener(&m_trayHoverBinding);
    m_tray->Start();
    if (Int(Id::kTrayIconDisabled) == 0 && !m_services.IsTrayAvailable()) {
        ShowNoTrayNotice();
    }

    // Global hot keys.
    m_hotKeys =
        std::make_unique<CvHotKeyDispatcher>(m_services.HotKeyGrabber(&m_hotKeysUnavailable));
    if (!m_hotKeysUnavailable.empty()) {
        std::fprintf(stderr, "corvane-messenger: global hot keys are off: %s\n",
                     m_hotKeysUnavailable.c_str());
    }
    RegisterHotKeys();
    if (Int(Id::kHotKeyEnabled) != 0) {
        m_hotKeys->Enable();
    }
    m_started = true;
    if (!m_archiveProblem.empty()) {
        ShowArchiveProblem();
    }
    emit started();
}

void CMainForm::ShowArchiveProblem() {
    ShowErrorPopup(
        CvFormatMessage(CvLangTexts::Instance().GetText(kTextArchiveProblem), {m_archiveProblem}));
}

void CMainForm::BuildTrayMenu() {
    m_trayMenu = new QMenu;
    m_trayMenu->setObjectName("TrayMenu");
    if (Int(Id::kMsgSendDisabled) == 0) {
        m_trayMenu->addAction(Text(304), this, [this] { Command(kCmdWriteMessage); });
    }
    if (Int(Id::kMsgArcDisabled) == 0) {
        m_trayMenu->addAction(Text(305), this, [this] { Command(kCmdReadMessages); });
    }
    if (!m_trayMenu->isEmpty()) {
        m_trayMenu->addSeparator();
    }
    if (Int(Id::kTrayMenuOptionsDisabled) == 0) {
        m_trayMenu->addAction(Text(301), this, [this] { Command(kCmdOptions); });
        m_trayMenu->addSeparator();
    }
    m_trayMenu->addAction(Text(302), this, [this] { Command(kCmdAbout); });
    if (Int(Id::kTrayMenuExitDisabled) == 0) {
        m_trayMenu->addSeparator();
        m_trayMenu->addAction(Text(303), this, [this] { Command(kCmdExit); });
    }
    connect(m_trayMenu, &QMenu::aboutToShow, this, [this] { m_menuOpen = true; });
    connect(m_trayMenu, &QMenu::aboutToHide, this, [this] { m_menuOpen = false; });

    m_moreMenu = new QMenu;
    m_moreMenu->setObjectName("MoreMenu");
    m_moreMenu->addAction(Text(209), this, [this] { Command(kCmdCopy); });
    m_moreMenu->addSeparator();
    m_moreMenu->addAction(Text(210), this, [this] { Command(kCmdDelete); });
    connect(m_moreMenu, &QMenu::aboutToShow, this, [this] { m_menuOpen = true; });
    connect(m_moreMenu, &QMenu::aboutToHide, this, [this] {
        m_menuOpen = false;
        // The chosen entry runs after the menu hid; the row is let go after it.
        QTimer::singleShot(0, this, [this] { m_heldRow = -1; });
    });
}

void CMainForm::ShowNoTrayNotice() {
    // Everything the tray icon would give: its menu, the contact list its
    // click opens, and the LAN search the contact list leads to.
    std::vector<CNoTrayForm::Entry> entries;
    if (Int(Id::kMsgSendDisabled) == 0) {
        entries.push_back({Text(304), [this] { Command(kCmdWriteMessage); }});
    }
    if (Int(Id::kMsgArcDisabled) == 0) {
        entries.push_back({Text(305), [this] { Command(kCmdReadMessages); }});
    }
    entries.push_back({Text(kTextContactList), [this] { Command(kCmdTrayClick); }});
    if (Int(Id::kContactListDisableSearch) == 0) {
        entries.push_back({Text(kTextFindUsers), [this] { OpenLanBrowser(); }});
    }
    if (Int(Id::kTrayMenuOptionsDisabled) == 0) {
        entries.push_back({Text(301), [this] { Command(kCmdOptions); }});
    }
    entries.push_back({Text(302), [this] { Command(kCmdAbout); }});
    if (Int(Id::kTrayMenuExitDisabled) == 0) {
        entries.push_back({Text(303), [this] { Command(kCmdExit); }});
    }
    m_noTray = new CNoTrayForm(Text(2601), entries);
    m_noTray->setAttribute(Qt::WA_DeleteOnClose);
    CvFormRegistry::Instance().Register("CNoTrayForm", m_noTray);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        m_noTray->adjustSize();
        m_noTray->move(screen->availableGeometry().center() - m_noTray->rect().center());
    }
    m_noTray->show();
    std::fprintf(stderr, "corvane-messenger: no notification area on this desktop: no tray icon\n");
}

void CMainForm::Command(int id) {
    switch (id) {
        case kCmdWriteMessage:
            OpenWriteMessage({});
            break;
        case kCmdAbout:
            ShowAbout();
            break;
        case kCmdReadMessages:
            OpenArchive(-1);
            break;
        case kCmdOptions:
            OpenOptions();
            break;
        case kCmdExit:
            Close();
            break;
        case kCmdTrayClick:
            ShowContactList(nullptr, QCursor::pos(), CvContactLayout::kAlignCentre,
                            CvContactLayout::kAlignCentre);
            break;
        case kCmdNewContact:
            OpenContactEdit(nullptr, CvContact{});
            break;
        case kCmdCopy:
            CopyCurrentMessage();
            break;
        case kCmdDelete:
            DeleteCurrentMessage();
            break;
        default:
            break;
    }
}

CHistoryForm* CMainForm::ArchiveWindow() const {
    return m_history.data();
}

CHistoryForm* CMainForm::OpenArchive(int dialogue) {
    CvMsgArchive* archive = Archive();
    if (archive == nullptr) {
        if (!m_archiveProblem.empty()) {
            ShowArchiveProblem();
        }
        return nullptr;
    }
    if (!m_history) {
        m_history = new CHistoryForm(*this, *archive, Int(Id::kMessagesHandleLinks));
    }
    m_history->SetOnTop(Int(Id::kMsgArcOnTop) == 1);
    if (dialogue >= 0) {
        m_history->ShowDialogueList();
    }
    m_history->showNormal();
    m_history->raise();
    m_history->activateWindow();
    m_tray->StopBlinkingAfter(kBlinkRunOut);
    // The messages the popup list held back are shown here.
    m_popupList.ClearHeldBack();
    m_popupList.Recount();
    if (m_popup && m_popup->isVisible()) {
        FillPopup();
    }
    return m_history;
}

CBrowseNetForm* CMainForm::LanBrowser() const {
    return m_lanBrowser && !m_lanBrowser->IsClosed() ? m_lanBrowser.data() : nullptr;
}

CBrowseNetForm* CMainForm::OpenLanBrowser() {
    if (!m_pinger || !m_scanner || m_closed) {
        return nullptr;
    }
    if (LanBrowser() == nullptr) {
        m_lanBrowser = new CBrowseNetForm(*this, *m_pinger, *m_scanner, m_directory);
    }
    m_lanBrowser->showNormal();
    m_lanBrowser->raise();
    m_lanBrowser->activateWindow();
    return m_lanBrowser;
}

COptionsForm* CMainForm::OpenOptions() {
    if (Int(Id::kTrayMenuOptionsDisabled) != 0 || m_closed) {
        return nullptr;
    }
    auto* options = OptionsWindow();
    if (options == nullptr) {
        options = new COptionsForm(*this);
    }
    options->showNormal();
    options->raise();
    options->activateWindow();
    return options;
}

COptionsForm* CMainForm::OptionsWindow() const {
    return qobject_cast<COptionsForm*>(CvFormRegistry::Instance().Find("COptionsForm"));
}

std::string CMainForm::LanguageFolder() const {
    return m_services.Paths().LanguageFolder();
}

CContactsForm* CMainForm::ContactList() const {
    return m_contactList.data();
}

void CMainForm::ShowContactList(QObject* owner, QPoint anchor, int verticalFlags,
                                int horizontalFlags) {
    if (!m_contactList || m_closed) {
        return;
    }
    m_contactList->ShowAt(owner != nullptr ? owner : this, anchor, verticalFlags, horizontalFlags);
}

void CMainForm::OnOpenContact(qintptr index) {
    if (!m_contacts) {
        return;
    }
    // The contact list sends this while the row is still the one clicked.
    if (const auto contact = CContactsForm::ContactAt(*m_contacts, static_cast<int>(index))) {
        OpenWriteMessage({{contact->conttype, contact->name}});
    }
}

CContactEditForm* CMainForm::OpenContactEdit(const CvContact* existing, const CvContact& prefill) {
    if (!m_contacts || m_closed || Int(Id::kContactListDisableEdit) != 0) {
        return nullptr;
    }
    CContactEditForm* form = nullptr;
    for (QWidget* window : CvFormRegistry::Instance().Windows()) {
        auto* open = qobject_cast<CContactEditForm*>(window);
        if (open != nullptr && open->IsEditing(existing) && existing != nullptr) {
            form = open;
            break;
        }
    }
    if (form == nullptr) {
        form = new CContactEditForm(*m_contacts, existing, prefill);
        CvFormRegistry::Instance().Register("CContactEditForm", form);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            form->adjustSize();
            form->move(screen->availableGeometry().center() - form->rect().center());
        }
    }
    form->showNormal();
    form->raise();
    form->activateWindow();
    return form;
}

CContactMassAddForm* CMainForm::OpenContactMassAdd(const std::vector<CvContact>& recipients) {
    if (!m_contacts || m_closed || recipients.empty() || Int(Id::kContactListDisableEdit) != 0) {
        return nullptr;
    }
    auto* form = new CContactMassAddForm(*m_contacts, recipients);
    CvFormRegistry::Instance().Register("CContactMassAddForm", form);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        form->adjustSize();
        form->move(screen->availableGeometry().center() - form->rect().center());
    }
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

void CMainForm::ShowAbout() {
    PruneTasks();
    for (const auto& task : m_tasks) {
        if (auto* about = dynamic_cast<CvTaskAbout*>(task.get()); about && about->IsOpen()) {
            about->Window()->raise();
            about->Window()->activateWindow();
            return;
        }
    }
    auto task = std::make_unique<CvTaskAbout>();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        task->Window()->adjustSize();
        task->Window()->move(screen->availableGeometry().center() -
                             task->Window()->rect().center());
    }
    task->Window()->show();
    task->Window()->raise();
    task->Window()->activateWindow();
    m_tasks.push_back(std::move(task));
}

void CMainForm::PruneTasks() {
    m_tasks.erase(std::remove_if(m_tasks.begin(), m_tasks.end(),
                                 [](const auto& task) { return !task->IsOpen(); }),
                  m_tasks.end());
}

std::vector<CNewMsgForm*> CMainForm::WriteWindows() {
    PruneTasks();
    std::vector<CNewMsgForm*> forms;
    for (const auto& task : m_tasks) {
        if (auto* write = dynamic_cast<CvTaskWriteMsg*>(task.get())) {
            forms.push_back(write->Form());
        }
    }
    return forms;
}

CNewMsgForm* CMainForm::OpenWriteMessage(const std::vector<CvRecipient>& recipients) {
    if (Int(Id::kMsgSendDisabled) != 0 || m_closed) {
        return nullptr;
    }
    auto sameNames = [&recipients](const std::vector<CvRecipient>& present) {
        std::vector<std::string> wanted;
        for (const CvRecipient& recipient : recipients) {
            if (!recipient.name.empty()) {
                wanted.push_back(recipient.name);
            }
        }
        if (wanted.size() != present.size()) {
            return false;
        }
        for (size_t i = 0; i < wanted.size(); ++i) {
            if (wanted[i] != present[i].name) {
                return false;
            }
        }
        return true;
    };
    CNewMsgForm* form = nullptr;
    for (CNewMsgForm* open : WriteWindows()) {
        if (open->IsTextEmpty() && !open->IsSending() && sameNames(open->Recipients())) {
            form = open;
            break;
        }
    }
    if (form == nullptr) {
        auto task = std::make_unique<CvTaskWriteMsg>(*this);
        form = task->Form();
        form->SetRecipients(recipients);
        m_tasks.push_back(std::move(task));
    }
    form->show();
    form->raise();
    form->activateWindow();
    if (!recipients.empty()) {
        form->TextField()->setFocus();
    }
    return form;
}

// ---- received and sent messages -------------------------------------------

CvStation* CMainForm::Station() const {
    return m_host ? m_host->Station() : nullptr;
}

CvMsgArchive* CMainForm::Archive() const {
    return m_host ? m_host->Archive() : nullptr;
}

CvUnaryFunction<void, CMsg&>& CMainForm::ReceivedBinding() {
    return m_host->ReceivedBinding();
}

void CMainForm::OnReceived() {
    // The transport threads queued the records and woke this thread once. A
    // flood is taken a batch at a time, so that clicks and paints come
    // between the batches.
    const auto result = m_host->DrainReceived(kReceivedBatch);
    RetryArchiveLater();
    if (result.kept > 0) {
        PostMessage(kMsgNewMessage, result.lastType);
    }
    if (result.more) {
        PostMessage(kMsgReceived);
    }
}

void CMainForm::OnNewMessage(int32_t type) {
    m_tray->Blink();
    if (Int(Id::kSoundEnabled) == 1 && Int(Id::kRecvMsgSoundNotify) == 1) {
        PlaySoundFile(
            m_settings
                .Get(type == MsgPersonal ? Id::kSoundEventIncMsgPriv : Id::kSoundEventIncMsgBcast)
                .GetText());
    }
    const int action = Int(Id::kRecvMsgMainAct);
    if (action == 2 && Archive() != nullptr) {
        OpenArchive(0);
    } else if (action == 1 || action == 2) {
        ShowPopup(true, CvPopupList::kOpenDefault);
    } else if (m_popup && m_popup->isVisible()) {
        FillPopup();  // keep the count in its caption right
    }
    m_popupList.Recount();
    emit messagesArrived(m_popupList.Count());
}

void CMainForm::OnSent() {
    m_host->DrainSent();
    RetryArchiveLater();
}

void CMainForm::RetryArchiveLater() {
    if (m_host->ArchivePending() > 0 && !m_archiveRetry.isActive()) {
        m_archiveRetry.start();
    }
}

int32_t CMainForm::OnOwnNameState(const std::string& name) {
    CvStation* station = Station();
    return station != nullptr ? station->NameState({name, MsgPersonal}) : 0;
}

int32_t CMainForm::OnNameState(const std::string& name, int32_t kind) {
    CvStation* station = Station();
    return station != nullptr ? station->NameState({name, kind}) : 0;
}

void CMainForm::OnCounts(int& total, int& unread) {
    m_popupList.Counts(total, unread);
}

void CMainForm::PlaySoundFile(const std::string& path) {
    m_services.Sounds().PlaySoundFile(path);
}

// ---- the popup --------------------------------------------------------------

void CMainForm::ApplyPopupSettings() {
    CvPopupSettings settings;
    settings.captionDisabled = Int(Id::kPopupMsgWndCaptionDisabled) != 0;
    settings.toolbarDisabled = Int(Id::kPopupMsgWndToolBarDisabled) != 0;
    settings.useFixedPos = Int(Id::kPopupMsgWndUseFixedPos) != 0;
    settings.fixedX = Int(Id::kPopupMsgWndFixedPosX);
    settings.fixedY = Int(Id::kPopupMsgWndFixedPosY);
    settings.scale = Int(Id::kPopupMsgWndScale);
    settings.ratioMin = Int(Id::kPopupMsgWndAspectRatioMin);
    settings.ratioMax = Int(Id::kPopupMsgWndAspectRatioMax);
    // Caption and toolbar are made with the window; they keep what they were.
    if (m_popup->IsCreated()) {
        settings.captionDisabled = m_popup->Settings().captionDisabled;
        settings.toolbarDisabled = m_popup->Settings().toolbarDisabled;
    }
    m_popup->SetSettings(settings);
    const bool custom = Int(Id::kAppearanceEnabled) == 1;
    const std::string look = m_settings.Get(Id::kPopupMsgWndFontMsgText).GetText();
    m_popup->SetMessageFont(custom ? std::optional<QFont>(CvAppearance::Font(look, QFont()))
                                   : std::nullopt);
    m_popup->SetMessageColor(custom ? CvAppearance::Color(look, "color").value_or(QColor())
                                    : QColor());
}

void CMainForm::ShowPopup(bool activate, int mode) {
    if (m_closed) {
        return;
    }
    if (!m_popup) {
        m_popup = new CPopupMsgForm(kMessageBorder, CvResources::CaptionMessage());
        m_popup->setObjectName("CPopupMsgForm");
        m_popup->SetBindings(&m_closeRequestBinding, &m_afterHideBinding, &m_autoCloseBinding);
        m_popup->SetPlacer(&m_placerBinding);
        m_popup->SetLinkMode(Int(Id::kMessagesHandleLinks));
        if (Int(Id::kMsgSendDisabled) == 0) {
            m_popup->AddToolbarButton(Text(207), &m_replyBinding);
        }
        m_popup->AddToolbarButton(Text(202), &m_previousBinding);
        m_popup->AddToolbarButton(Text(203), &m_nextBinding);
        m_popup->AddToolbarButton(Text(208), &m_moreBinding);
        if (Int(Id::kPopupMsgWndCaptionDisabled) != 0) {
            // No caption, so no close button: the toolbar offers one.
            m_popup->AddToolbarButton(Text(kTextClose), &m_closeBinding);
        }
        ApplyPopupSettings();
        m_popup->Create(Text(201));
        CvFormRegistry::Instance().Register("CPopupMsgForm", m_popup);
    }
    ApplyPopupSettings();
    m_popupList.ChooseRow(mode, Int(Id::kPopupMsgWndOpenAtNewest) != 0, m_popup->isVisible());
    FillPopup();
    m_popup->ShowPopup(activate);
    if (Int(Id::kPopupMsgWndMarkReadWhenShown) == 1) {
        m_popupList.MarkCurrentRead();
        m_popupList.Recount();
        m_tray->StopBlinkingAfter(kBlinkRunOut);
    }
    ApplyPopupClosing();
}

void CMainForm::ApplyPopupClosing() {
    if (Int(Id::kRecvMsgPopWndAutoclose) == 1) {
        m_popup->SetAutoCloseDelay(Int(Id::kRecvMsgPopWndDeadline));
    } else {
        m_popup->SetAutoCloseDelay(0);
        m_tray->StopBlinkingAfter(kBlinkRunOut);
    }
}

void CMainForm::FillPopup() {
    if (!m_popup) {
        return;
    }
    const auto content = m_popupList.CurrentContent(CvLangTexts::Instance(),
                                                    Int(Id::kPopupMsgWndMsgInfoDisabled) != 0);
    m_popup->SetCaption(QString::fromStdString(content.caption));
    m_popup->SetText(content.body);
}

void CMainForm::PlacePopup(CPopupMsgForm& popup) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const auto whole = ToRect(screen->geometry());
    const auto available = ToRect(screen->availableGeometry());
    CvPopupGeometry::Point corner;
    if (&popup == m_errorPopup.data()) {
        const bool stacked = m_popup && m_popup->isVisible() && !m_popup->Settings().useFixedPos;
        corner = CvPopupGeometry::PlaceErrorPopup(whole, available, popup.width(), popup.height(),
                                                  stacked, m_popup ? m_popup->height() : 0);
    } else {
        const auto& settings = popup.Settings();
        corner = CvPopupGeometry::PlaceMessagePopup(whole, available, popup.width(), popup.height(),
                                                    settings.useFixedPos, settings.fixedX,
                                                    settings.fixedY);
    }
    popup.move(corner.x, corner.y);
}

void CMainForm::MarkCurrentRead() {
    m_tray->StopBlinkingAfter(kBlinkRunOut);
    m_popupList.MarkCurrentRead();
}

void CMainForm::PopupPrevious() {
    MarkCurrentRead();
    if (m_popupList.Previous()) {
        FillPopup();
    }
    m_popupList.Recount();
}

void CMainForm::PopupNext() {
    MarkCurrentRead();
    if (m_popupList.Next()) {
        FillPopup();
    }
    m_popupList.Recount();
}

void CMainForm::PopupReply() {
    MarkCurrentRead();
    const std::string origin = m_popupList.CurrentOrigin();
    m_popupList.Recount();
    if (!origin.empty()) {
        OpenWriteMessage({{kRecipientUser, origin}});
    }
}

void CMainForm::PopupMore() {
    if (!m_popup) {
        return;
    }
    m_popup->raise();
    // The menu's entries act on the message shown now, whatever arrives or
    // is removed while the menu is open.
    m_heldRow = m_popupList.CurrentId();
    const QPoint cursor = QCursor::pos();
    m_moreMenu->popup(cursor - QPoint(m_moreMenu->sizeHint().width(), 0));
}

void CMainForm::PopupClose() {
    if (m_popup) {
        m_popup->RequestClose();
    }
}

bool CMainForm::SelectHeldRow() {
    if (m_heldRow < 0) {
        return true;
    }
    const bool present = m_popupList.SelectId(m_heldRow);
    m_heldRow = -1;
    return present;
}

void CMainForm::CopyCurrentMessage() {
    if (!SelectHeldRow()) {
        return;
    }
    FillPopup();
    MarkCurrentRead();
    // The clipboard of this desktop takes LF line breaks.
    QString text = QString::fromStdString(m_popupList.CurrentMessage());
    text.replace("\r\n", "\n");
    QGuiApplication::clipboard()->setText(text);
    m_popupList.Recount();
}

void CMainForm::DeleteCurrentMessage() {
    if (!SelectHeldRow()) {
        return;
    }
    MarkCurrentRead();
    m_popupList.DeleteCurrent();
    FillPopup();
    if (m_popup) {
        m_popup->ReLayOut();
    }
    m_popupList.Recount();
}

bool CMainForm::PopupCloseRequest() {
    if (Int(Id::kPopupMsgWndKeepUntilRead) != 1) {
        return true;
    }
    const bool openAtNewest = Int(Id::kPopupMsgWndOpenAtNewest) != 0;
    m_popupList.RemoveRead(Int(Id::kPopupMsgWndRemoveReadMsg) != 0, openAtNewest);
    m_popupList.Recount();
    if (m_popupList.GetCounters().unread > 0) {
        ShowPopup(true,
                  openAtNewest ? CvPopupList::kOpenLastUnread : CvPopupList::kOpenFirstUnread);
        return false;
    }
    return true;
}

void CMainForm::PopupAfterHide() {
    m_popupList.RemoveRead(Int(Id::kPopupMsgWndRemoveReadMsg) != 0,
                           Int(Id::kPopupMsgWndOpenAtNewest) != 0);
    if (Archive() == nullptr) {
        // Without an archive the held-back messages are gone; the popup
        // said how many there were.
        m_popupList.ClearHeldBack();
    }
    m_popupList.Recount();
}

bool CMainForm::PopupAutoCloseRequest() {
    if (m_moreMenu != nullptr && m_moreMenu->isVisible()) {
        return false;  // the user is choosing what to do with this message
    }
    if (Int(Id::kPopupMsgWndKeepUntilRead) == 1) {
        return !m_popupList.AnyUnread();
    }
    return true;
}

void CMainForm::ShowErrorPopup(const std::string& text) {
    if (m_closed) {
        return;
    }
    if (m_errorPopup) {
        delete m_errorPopup.data();
    }
    m_errorPopup = new CPopupMsgForm(kErrorBorder, CvResources::CaptionError());
    m_errorPopup->setObjectName("CPopupErrorForm");
    m_errorPopup->SetPlacer(&m_placerBinding);
    CvPopupSettings settings;
    settings.toolbarDisabled = true;
    m_errorPopup->SetSettings(settings);
    m_errorPopup->SetLinkMode(Int(Id::kMessagesHandleLinks));
    m_errorPopup->Create(Text(1301));
    // The locale's date and time, as the message popup shows them.
    const std::string stamp = CvTimeStampText();
    std::string date = stamp.substr(0, 10);
    std::string time = stamp.substr(11);
    CvLocaleDateTimeFormat(CvText::CurrentLocaleName()).Format(stamp, date, time);
    m_errorPopup->SetText(date + " " + time + "\r\n\r\n" + text);
    m_errorPopup->ShowPopup(true);
    m_errorPopup->SetAutoCloseDelay(kErrorPopupSeconds);
}

// ---- the tray and the hot keys ---------------------------------------------

void CMainForm::OnTrayMouse(long message) {
    switch (message) {
        case CvTrayIcon::kLeftButtonDown:
        case CvTrayIcon::kLeftButtonDoubleClick:
            RunImportPrompt();
            // 2 opens the archive, 3 the popup; anything else (1, the
            // default) shows the contact list at the cursor.
            if (Int(Id::kTrayLeftMouseBtn) == 2) {
                OpenArchive(-1);
            } else if (Int(Id::kTrayLeftMouseBtn) == 3) {
                m_tray->StopBlinkingAfter(kBlinkRunOut);
                ShowPopup(true, CvPopupList::kOpenDefault);
            } else {
                Command(kCmdTrayClick);
            }
            break;
        case CvTrayIcon::kRightButtonUp:
            RunImportPrompt();
            ShowTrayMenu();
            break;
        default:
            break;
    }
}

void CMainForm::ShowTrayMenu() {
    m_trayMenu->popup(QCursor::pos());
    m_trayMenu->activateWindow();
}

void CMainForm::OnTrayHover() {
    const bool errorShown = m_errorPopup && m_errorPopup->isVisible();
    if (m_popupList.Count() > 0 && m_popup && !m_menuOpen && !m_popup->isVisible() && !errorShown) {
        ShowPopup(false, CvPopupList::kOpenDefault);
    }
}

void CMainForm::RegisterHotKeys() {
    m_hotKeys->Register(kHotKeyWriteNewMsg, Int(Id::kHotKeyWriteNewMsg), &m_hotKeyWrite);
    m_hotKeys->Register(kHotKeyReplyLastMsg, Int(Id::kHotKeyReplyLastMsg), &m_hotKeyReply);
    m_hotKeys->Register(kHotKeyOpenIncoming, Int(Id::kHotKeyOpenIncoming), &m_hotKeyOpenIncoming);
    m_hotKeys->Register(kHotKeyBrowseLan, Int(Id::kHotKeyBrowseLan), &m_hotKeyBrowseLan);
}

void CMainForm::OnHotKeyWrite() {
    OpenWriteMessage({});
}

void CMainForm::OnHotKeyReply() {
    const std::string sender = m_popupList.LastReceived().sender;
    if (!sender.empty()) {
        OpenWriteMessage({{kRecipientUser, sender}});
    }
}

void CMainForm::OnSettingsChanged(CvPropertyIterator& changes) {
    int32_t id = 0;
    CvPropertyValue value;
    changes.Rewind();
    while (changes.Next(id, value)) {
        if (id >= kHotKeyWriteNewMsg && id <= kHotKeyBrowseLan) {
            m_hotKeys->Unregister(id);
        }
    }
    changes.Rewind();
    while (changes.Next(id, value)) {
        switch (id) {
            case Id::kMessagesHandleLinks:
                if (m_popup) {
                    m_popup->SetLinkMode(value.GetInt());
                }
                if (m_history) {
                    m_history->SetLinkMode(value.GetInt());
                }
                break;
            case Id::kMsgArcOnTop:
                if (m_history) {
                    m_history->SetOnTop(value.GetInt() == 1);
                }
                break;
            case Id::kAppearanceEnabled:
            case Id::kMsgArcFontMsgText:
            case Id::kMsgArcCurRowHighlight:
                if (m_history) {
                    m_history->ApplyAppearance();
                }
                break;
            case Id::kHotKeyOpenIncoming:
                m_hotKeys->Register(id, value.GetInt(), &m_hotKeyOpenIncoming);
                break;
            case Id::kHotKeyWriteNewMsg:
                m_hotKeys->Register(id, value.GetInt(), &m_hotKeyWrite);
                break;
            case Id::kHotKeyReplyLastMsg:
                m_hotKeys->Register(id, value.GetInt(), &m_hotKeyReply);
                break;
            case Id::kHotKeyBrowseLan:
                m_hotKeys->Register(id, value.GetInt(), &m_hotKeyBrowseLan);
                break;
            case Id::kHotKeyEnabled:
                if (value.GetInt() != 0) {
                    m_hotKeys->Enable();
                } else {
                    m_hotKeys->Disable();
                }
                break;
            case Id::kMsgSendEnableMsgFragment:
                if (CvStation* station = Station()) {
                    station->SetFragmentEnabled(value.GetInt() != 0);
                }
                break;
            case Id::kMessagesLargeBcastEnabled:
                if (CvStation* station = Station()) {
                    station->SetMaxBroadcastLength(value.GetInt() != 0 ? 350 : 128);
                }
                break;
            case Id::kRecvMsgDiscardOwnBcMsg:
                m_host->Filer().SetDiscardOwnBroadcasts(value.GetInt() == 1);
                break;
            default:
                break;
        }
    }
    if (m_popup) {
        ApplyPopupSettings();
        if (m_popup->isVisible()) {
            m_popup->ReLayOut();
            // Whether and when it closes itself applies to the popup shown.
            ApplyPopupClosing();
        }
    }
    // Every stored setting, changed or not, as after any applied change.
    if (m_store) {
        m_store->Save(m_settings);
    }
}

// ---- the earlier version's contact list --------------------------------------

void CMainForm::RunImportPrompt() {
    if (!m_contacts || m_import) {
        return;
    }
    auto import = std::make_unique<CvContactsImport>(m_settings, m_services.Paths().AppDataFolder(),
                                                     m_store.get());
    switch (import->Check()) {
        case CvContactsImport::kNothing:
            return;
        case CvContactsImport::kDisableQuestion:
            import->DisableQuestion();
            return;
        case CvContactsImport::kAsk:
            break;
    }
    m_import = std::move(import);
    const auto answer = QMessageBox::question(
        nullptr, Text(401), Text(1111), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
        QMessageBox::Yes);
    PostMessage(kMsgImportAnswer,
                answer == QMessageBox::Yes ? 2 : (answer == QMessageBox::No ? 1 : 0));
}

void CMainForm::OnImportAnswer(int answer) {
    if (!m_import) {
        return;
    }
    if (answer == 2) {
        m_import->Answer(CvContactsImport::kYes, *m_contacts);
    } else if (answer == 1) {
        m_import->Answer(CvContactsImport::kNo, *m_contacts);
    }
    m_import.reset();
}

// ---- the end -------------------------------------------------------------------

void CMainForm::Close() {
    // A modal dialog or a menu runs an event loop of its own, and its owner
    // goes on once that returns: shutting down in there would delete windows
    // under it. They end first; the close comes again from the main loop.
    if (EndNestedLoops()) {
        QTimer::singleShot(kCloseRetryMs, this, [this] { PostMessage(kMsgClose); });
        return;
    }
    Shutdown();
    QCoreApplication::quit();
}

bool CMainForm::EndNestedLoops() {
    bool nested = QThread::currentThread()->loopLevel() > m_loopLevel;
    // Bounded: a window that refuses to close is hidden, and stays so.
    for (int i = 0; i < 32; ++i) {
        QWidget* open = QApplication::activePopupWidget();
        if (open == nullptr) {
            open = QApplication::activeModalWidget();
        }
        if (open == nullptr) {
            break;
        }
        nested = true;
        if (auto* dialog = qobject_cast<QDialog*>(open)) {
            dialog->done(QDialog::Rejected);  // as Cancel: nothing is changed
        } else {
            open->hide();
        }
    }
    return nested;
}

void CMainForm::Shutdown() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    CvFormRegistry& registry = CvFormRegistry::Instance();
    registry.SetClosing(true);
    // Write windows withdraw the sends that have not started; one under way
    // goes on, and the station reports its success for filing.
    for (auto& task : m_tasks) {
        task->Close();
    }
    m_tasks.clear();
    const auto windows = registry.Windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        (*it)->close();
    }
    if (m_contactList) {
        m_contactList->hide();
    }
    // The archive window follows the archive's views: it goes first.
    delete m_history.data();
    // Closed above (its search stopped); it would delete itself only later.
    delete m_lanBrowser.data();
    // No more requests or messages, no send under way; then every message
    // received or sent until now is filed and the archive closed.
    m_archiveRetry.stop();
    if (m_host) {
        m_host->Stop(kArchiveFlushTime);
    }
    if (m_contacts && Int(Id::kContactListDisableEdit) == 0) {
        m_contacts->SaveGroupStates();
    }
    if (m_contactFile) {
        m_contactFile->Close();
    }
    m_tray->Shutdown();
    if (m_contacts) {
        m_contacts->StopPresence();
    }
    // After the presence thread: its last pass may still ask the list to
    // repaint.
    delete m_contactList.data();
    if (m_scanner) {
        m_scanner->Stop();
    }
    if (m_pinger) {
        m_pinger->Stop();
    }
    if (m_queryNetwork) {
        m_queryNetwork->StopWatch();
    }
    if (m_hotKeys) {
        m_hotKeys->Disable();
    }
    for (QWidget* popup :
         {static_cast<QWidget*>(m_errorPopup.data()), static_cast<QWidget*>(m_popup.data())}) {
        if (popup != nullptr) {
            registry.Unregister(popup);
            delete popup;
        }
    }
    if (m_noTray) {
        // Its "Exit" button may be what runs this.
        m_noTray->hide();
        m_noTray->deleteLater();
    }
    delete m_trayMenu;
    m_trayMenu = nullptr;
    delete m_moreMenu;
    m_moreMenu = nullptr;
    registry.SetClosing(false);
}
