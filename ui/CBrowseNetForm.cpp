#include "ui/CBrowseNetForm.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <set>

#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvLangTexts.h"
#include "messaging/CvHostScanner.h"
#include "messaging/CvNetNamePinger.h"
#include "messaging/CvNetworkSearch.h"
#include "messaging/CvRecipient.h"
#include "messaging/CvStation.h"
#include "ui/CHistoryForm.h"
#include "ui/CvFormHost.h"
#include "ui/CvFormPlacement.h"
#include "ui/CvFormRegistry.h"
#include "ui/CvResources.h"
#include "ui/CvWindowMessage.h"
#include "ui/FormBrowseLanSetting.h"
#include "widgets/CvSizeGrip.h"

namespace Id = CvSettingId;

namespace {

constexpr const char* kPlacementName = "lanbrowser";
constexpr const char* kSortingValue = "Sorting";
constexpr int kKeyRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;  // the row's image number + 1
// The visible rows are found by probing the list this far apart, this deep.
constexpr int kProbeStep = 15;
constexpr int kProbeDepth = 2048;
constexpr uint8_t kMessengerSuffix = 0x03;
constexpr int kColumnWidths[] = {130, 180, 90, 80, 80, 180};
// Column header clicked -> grouping mode.
constexpr int kColumnGrouping[] = {
    CBrowseNetForm::kGroupByName,     CBrowseNetForm::kGroupByComment,
    CBrowseNetForm::kGroupByComputer, CBrowseNetForm::kGroupByDomain,
    CBrowseNetForm::kGroupByState,    CBrowseNetForm::kGroupBySource};

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

// The first character (a whole code point), upper-cased.
QString FirstUpper(const std::string& text) {
    const QString value = FromUtf8(text);
    if (value.isEmpty()) {
        return {};
    }
    const qsizetype length = value.at(0).isHighSurrogate() && value.size() > 1 ? 2 : 1;
    return value.left(length).toUpper();
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(name, QApplication::style()->standardIcon(fallback));
}

// The picture of an entry that is not available: the kind's picture greyed.
QIcon Greyed(const QIcon& icon) {
    QIcon result;
    for (const int size : {16, 32}) {
        result.addPixmap(icon.pixmap(QSize(size, size), QIcon::Disabled));
    }
    return result;
}

}  // namespace

CBrowseNetForm::Entry CBrowseNetForm::Entry::FromResource(const CvNetResourceInfo& info) {
    Entry entry;
    entry.name = info.name;
    entry.comment = info.comment;
    entry.computer = info.computerName;
    entry.domain = info.domain;
    switch (info.type) {
        case kNetResourceComputerNode:
            entry.kind = kKindComputerNode;
            break;
        case kNetResourceDomain:
            entry.kind = kKindDomain;
            break;
        default:
            entry.kind = kKindAccount;
            break;
    }
    switch (info.state) {
        case kNetResourceAvailable:
            entry.state = kStateAvailable;
            break;
        case kNetResourceNoAnswer:
            entry.state = kStateOffline;
            break;
        default:
            entry.state = kStateUnknown;
            break;
    }
    entry.source = info.directory == 1 ? kSourceDirectory : kSourceNeighbourhood;
    return entry;
}

CBrowseNetForm::CBrowseNetForm(CvFormHost& main, CvNetNamePinger& pinger, CvHostScanner& scanner,
                               CvNetDirectory& directory)
    : m_main(main),
      m_pinger(pinger),
      m_scanner(scanner),
      m_directory(directory),
      m_toolbar(new QToolBar),
      m_list(new QTreeWidget),
      m_status(new QLabel),
      m_menu(new QMenu(this)),
      m_userIcon(CvResources::KindIcon(kContactUser)),
      m_userOffIcon(Greyed(m_userIcon)),
      m_domainIcon(CvResources::KindIcon(kContactWorkgroup)),
      m_domainOffIcon(Greyed(m_domainIcon)) {
    setObjectName("CBrowseNetForm");
    setWindowTitle(Text(1801));
    setWindowIcon(CvResources::AppIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(300, 200);
    m_requester = m_pinger.NewRequester();
    addOneContact = [this](const CvContact& contact) { m_main.OpenContactEdit(nullptr, contact); };
    addSeveralContacts = [this](const std::vector<CvContact>& contacts) {
        m_main.OpenContactMassAdd(contacts);
    };
    m_pingBinding =
        std::make_shared<CvVoidUnaryMemberFunctionSafe<CBrowseNetForm, CvNetNamePingResult&>>(
            this, &CBrowseNetForm::OnPingResult);

    // The toolbar.
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->setIconSize(QSize(18, 18));
    m_start = m_toolbar->addAction(ThemeIcon("media-playback-start", QStyle::SP_MediaPlay),
                                   Text(1802), this, [this] { Command(kCmdStartSearch); });
    m_stop = m_toolbar->addAction(ThemeIcon("process-stop", QStyle::SP_BrowserStop), Text(1803),
                                  this, [this] { Command(kCmdStopSearch); });
    m_settingsAction =
        m_toolbar->addAction(ThemeIcon("preferences-system", QStyle::SP_FileDialogDetailedView),
                             QString(), this, [this] { Command(kCmdSettings); });
    m_settingsAction->setToolTip(Text(2207) + " / " + Text(2201));
    if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(m_settingsAction))) {
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }

    // The list: one header row per group, the entries below it.
    m_list->setObjectName("BrowseList");
    m_list->setColumnCount(6);
    m_list->setHeaderLabels(
        {Text(1804), Text(1805), Text(1806), Text(1807), Text(1808), Text(1819)});
    for (int column = 0; column < 6; ++column) {
        m_list->setColumnWidth(column, kColumnWidths[column]);
    }
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Not uniform: the group rows carry no picture and would set the height.
    m_list->setIconSize(QSize(16, 16));
    m_list->setAllColumnsShowFocus(true);
    m_list->setExpandsOnDoubleClick(false);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->header()->setSectionsClickable(true);
    m_list->header()->setStretchLastSection(true);
    connect(m_list->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (column >= 0 && column < 6) {
            SetGrouping(kColumnGrouping[column]);
        }
    });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (EntryOf(item) != nullptr && !Flag(Id::kMsgSendDisabled)) {
            Command(kCmdWriteMessage);
        }
    });
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint&) { m_menu->popup(QCursor::pos()); });
    // Ctrl+C copies every selected row, not only the current cell.
    auto* copy = new QAction(m_list);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &CBrowseNetForm::CopySelection);
    m_list->addAction(copy);

    // The context menu.
    if (!Flag(Id::kMsgSendDisabled)) {
        QAction* write = m_menu->addAction(Text(1814), this, [this] { Command(kCmdWriteMessage); });
        m_menu->setDefaultAction(write);
    }
    m_addAction = m_menu->addAction(Text(1815), this, [this] { Command(kCmdAddToContacts); });
    // Greyed while the contact list may not be edited (it would do nothing).
    connect(m_menu, &QMenu::aboutToShow, this,
            [this] { m_addAction->setEnabled(!Flag(Id::kContactListDisableEdit)); });
    if (m_main.HasArchive()) {
        m_menu->addAction(Text(1816), this, [this] { Command(kCmdViewHistory); });
    }

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(6, 0, 0, 0);
    bottom->addWidget(m_status, 1);
    bottom->addWidget(new CvSizeGrip(this));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_list, 1);
    layout->addLayout(bottom);

    RestorePlacement();
    m_stateTimer.setInterval(kStateTimerMs);
    connect(&m_stateTimer, &QTimer::timeout, this, &CBrowseNetForm::ProbeVisibleRows);
    m_stateTimer.start();
    CvFormRegistry::Instance().Register("CBrowseNetForm", this);
    // A scan older than a few seconds may miss a station that came up since.
    StartSearch(m_scanner.Age() > std::chrono::milliseconds(kFreshPassAgeMs));
}

CBrowseNetForm::~CBrowseNetForm() {
    Finish();
}

bool CBrowseNetForm::Flag(int32_t id) const {
    return m_main.Settings().Get(id).GetInt() != 0;
}

FormBrowseLanSetting* CBrowseNetForm::SettingsPopup() const {
    return m_settingsPopup.data();
}

QString CBrowseNetForm::StatusText() const {
    return m_status->text();
}

void CBrowseNetForm::Command(int id) {
    switch (id) {
        case kCmdStartSearch:
            if (!m_searching) {
                StartSearch(true);
            }
            break;
        case kCmdStopSearch:
            StopSearch();
            break;
        case kCmdSettings:
            if (!m_searching) {
                OpenSettings();
            }
            break;
        case kCmdWriteMessage:
            if (!Flag(Id::kMsgSendDisabled)) {
                WriteMessage();
            }
            break;
        case kCmdAddToContacts:
            if (!Flag(Id::kContactListDisableEdit)) {
                AddToContacts();
            }
            break;
        case kCmdViewHistory:
            ViewHistory();
            break;
        default:
            break;
    }
}

// ---- the search --------------------------------------------------------------

void CBrowseNetForm::StartSearch(bool freshPass) {
    // The previous search ends first, so nothing of it reaches the new list.
    if (m_search) {
        m_search->Stop();
        m_search.reset();
    }
    {
        std::lock_guard guard(m_foundLock);
        m_found.clear();
    }
    // Probes of the old rows report under the old identifier and are dropped.
    m_pinger.ReleaseRequester(m_requester);
    m_requester = m_pinger.NewRequester();
    ClearList();
    m_status->setText(Text(1811));

    m_search = std::make_unique<CvNetworkSearch>(m_pinger, m_scanner, m_directory);
    CvNetworkSearchOptions options = CvNetworkSearchOptions::FromList(m_main.Settings());
    options.freshPass = freshPass;
    if (const CvStation* station = m_main.Station()) {
        options.ownComputer = station->Settings().computerName;
        options.ownWorkgroup = station->Settings().workgroup;
        for (const CvStation::Name& name : station->Names()) {
            if (name.kind == MsgPersonal) {
                options.ownMessengerNames.push_back(name.name);
            }
        }
    }
    m_search->SetOptions(options);
    ++m_searchNumber;
    m_searching = true;
    UpdateCommands();
    m_search->Start(&m_foundBinding, &m_finishedBinding);
}

void CBrowseNetForm::StopSearch() {
    if (m_search) {
        m_search->Stop();
    }
    if (m_searching) {
        m_searching = false;
        m_status->setText(Text(1813));
    }
    UpdateCommands();
}

void CBrowseNetForm::UpdateCommands() {
    m_start->setEnabled(!m_searching);
    m_settingsAction->setEnabled(!m_searching);
    m_stop->setEnabled(m_searching);
}

void CBrowseNetForm::OnFound(CvNetResourceInfo& info) {
    {
        std::lock_guard guard(m_foundLock);
        m_found.push_back(Entry::FromResource(info));
    }
    CvWindowMessage::Post(this, kMsgFound);
}

void CBrowseNetForm::OnSearchFinished() {
    CvWindowMessage::Post(this, kMsgSearchFinished, static_cast<qintptr>(m_searchNumber.load()));
}

void CBrowseNetForm::OnPingResult(CvNetNamePingResult& result) {
    {
        std::lock_guard guard(m_resultLock);
        m_results.push_back(result);
    }
    CvWindowMessage::Post(this, kMsgPingResult);
}

void CBrowseNetForm::customEvent(QEvent* event) {
    if (event->type() != CvWindowMessage::EventType()) {
        CvFormBase::customEvent(event);
        return;
    }
    const auto* message = static_cast<CvWindowMessage*>(event);
    switch (message->message) {
        case kMsgFound:
            TakeFound();
            break;
        case kMsgPingResult:
            TakePingResults();
            break;
        case kMsgSearchFinished:
            // A search stopped or replaced meanwhile has its own status.
            if (m_searching && message->wParam == m_searchNumber.load()) {
                m_searching = false;
                m_status->setText(Text(1812));
                UpdateCommands();
            }
            break;
        default:
            break;
    }
}

void CBrowseNetForm::TakeFound() {
    std::deque<Entry> found;
    {
        std::lock_guard guard(m_foundLock);
        found.swap(m_found);
    }
    // Not merged: a resource reported twice is listed twice.
    for (Entry& entry : found) {
        const uint64_t key = m_nextKey++;
        Row& row = m_rows[key];
        row.entry = std::move(entry);
        row.item = new QTreeWidgetItem;
        row.item->setData(0, kKeyRole, QVariant::fromValue<qulonglong>(key));
        PlaceInGroup(key);
        UpdateRow(key);
    }
    FitNameColumns();
}

void CBrowseNetForm::FitNameColumns() {
    // Names are never cut while the list has room: the Name column (with its
    // indent and picture), Computer and Domain grow to their longest entry
    // (they never shrink, so a width the user chose stays when it is wider).
    for (int column : {0, 2, 3}) {
        const int needed = static_cast<const QAbstractItemView*>(m_list)->sizeHintForColumn(column);
        if (needed > m_list->columnWidth(column)) {
            m_list->setColumnWidth(column, needed);
        }
    }
}

// ---- probing -----------------------------------------------------------------

void CBrowseNetForm::ProbeVisibleRows() {
    if (!Flag(Id::kLanSrchCheckADState) || !m_list->isVisible()) {
        return;
    }
    QWidget* viewport = m_list->viewport();
    const int x = viewport->width() / 2;
    const int depth = std::min(viewport->height(), kProbeDepth);
    std::set<uint64_t> seen;
    for (int y = 0; y < depth; y += kProbeStep) {
        const uint64_t key = KeyOf(m_list->itemAt(x, y));
        if (key == 0 || !seen.insert(key).second) {
            continue;
        }
        Row& row = m_rows.at(key);
        if (row.entry.state != kStateUnknown) {
            continue;
        }
        row.entry.state = kStateRetrieving;
        UpdateRow(key);
        m_probing[row.entry.name].push_back(key);
        m_pinger.Ping(m_requester, kMessengerSuffix, row.entry.name, m_pingBinding);
    }
}

void CBrowseNetForm::TakePingResults() {
    std::deque<CvNetNamePingResult> results;
    {
        std::lock_guard guard(m_resultLock);
        results.swap(m_results);
    }
    for (const CvNetNamePingResult& result : results) {
        if (result.requester != m_requester) {
            continue;
        }
        // The result names what was probed; the oldest probe of that name
        // is the one answered.
        auto probe = m_probing.find(result.name);
        if (probe == m_probing.end()) {
            continue;
        }
        const uint64_t key = probe->second.front();
        probe->second.pop_front();
        if (probe->second.empty()) {
            m_probing.erase(probe);
        }
        if (m_rows.count(key) == 0) {
            continue;  // the row went away meanwhile
        }
        if (Flag(Id::kLanSrchStateOnline) && result.status == kPingStatusNoAnswer) {
            RemoveRow(key);
            continue;
        }
        Entry& entry = m_rows.at(key).entry;
        entry.state = result.status;
        if (!result.name.empty()) {
            entry.name = result.name;
        }
        UpdateRow(key);
    }
}

// ---- rows and groups -----------------------------------------------------------

QString CBrowseNetForm::GroupHeader(const Entry& entry, int mode) {
    QString header;
    switch (mode) {
        case kGroupByName:
            header = FirstUpper(entry.name);
            break;
        case kGroupByComment:
            header = FirstUpper(entry.comment);
            break;
        case kGroupByComputer:
            header = FromUtf8(entry.computer);
            break;
        case kGroupByDomain:
            header = FromUtf8(entry.domain);
            break;
        case kGroupByState:
            switch (entry.state) {
                case kStateAvailable:
                    header = Text(1809);
                    break;
                case kStateOffline:
                    header = Text(1810);
                    break;
                case kStateRetrieving:
                    header = Text(1817);
                    break;
                default:
                    header = Text(1818);
                    break;
            }
            break;
        case kGroupBySource:
            if (entry.source == kSourceNeighbourhood) {
                header = Text(1820);
            } else if (entry.source == kSourceDirectory) {
                header = Text(1821);
            }
            break;
        default:
            break;
    }
    return header.isEmpty() ? QStringLiteral("-") : header;
}

QString CBrowseNetForm::StateText(int32_t state) const {
    Entry probe;
    probe.state = state;
    return GroupHeader(probe, kGroupByState);
}

QString CBrowseNetForm::SourceText(int32_t source) const {
    if (source == kSourceNeighbourhood) {
        return Text(1820);
    }
    return source == kSourceDirectory ? Text(1821) : QString();
}

QIcon CBrowseNetForm::RowIcon(const Entry& entry) const {
    const bool available = entry.state == kStateAvailable;
    if (entry.kind == kKindDomain) {
        return available ? m_domainIcon : m_domainOffIcon;
    }
    return available ? m_userIcon : m_userOffIcon;
}

void CBrowseNetForm::UpdateRow(uint64_t key) {
    Row& row = m_rows.at(key);
    const Entry& entry = row.entry;
    const QString cells[] = {FromUtf8(entry.name),     FromUtf8(entry.comment),
                             FromUtf8(entry.computer), FromUtf8(entry.domain),
                             StateText(entry.state),   SourceText(entry.source)};
    for (int column = 0; column < 6; ++column) {
        if (row.item->text(column) != cells[column]) {
            row.item->setText(column, cells[column]);
        }
    }
    const int image = entry.kind == kKindDomain ? (entry.state == kStateAvailable ? 1 : 3)
                                                : (entry.state == kStateAvailable ? 0 : 2);
    if (row.item->data(0, kImageRole).toInt() != image + 1) {
        row.item->setData(0, kImageRole, image + 1);
        row.item->setIcon(0, RowIcon(entry));
    }
    if (row.item->parent() == nullptr ||
        row.item->parent()->text(0) != GroupHeader(entry, m_grouping)) {
        PlaceInGroup(key);
    }
}

QTreeWidgetItem* CBrowseNetForm::GroupItem(const QString& header) {
    // Groups in the order of their headers, "-" among them.
    int index = 0;
    for (; index < m_list->topLevelItemCount(); ++index) {
        QTreeWidgetItem* group = m_list->topLevelItem(index);
        const int order = QString::localeAwareCompare(group->text(0), header);
        if (order == 0 && group->text(0) == header) {
            return group;
        }
        if (order > 0) {
            break;
        }
    }
    auto* group = new QTreeWidgetItem;
    group->setText(0, header);
    group->setFlags(Qt::ItemIsEnabled);
    QFont bold = m_list->font();
    bold.setBold(true);
    group->setFont(0, bold);
    group->setForeground(0, m_list->palette().brush(QPalette::Link));
    m_list->insertTopLevelItem(index, group);
    group->setFirstColumnSpanned(true);
    group->setExpanded(true);
    return group;
}

void CBrowseNetForm::PlaceInGroup(uint64_t key) {
    Row& row = m_rows.at(key);
    const bool selected = row.item->isSelected();
    const bool current = m_list->currentItem() == row.item;
    if (QTreeWidgetItem* old = row.item->parent()) {
        old->removeChild(row.item);
        if (old->childCount() == 0) {
            delete old;
        }
    }
    QTreeWidgetItem* group = GroupItem(GroupHeader(row.entry, m_grouping));
    // Rows keep the order they were added in within their group.
    int index = 0;
    while (index < group->childCount() && KeyOf(group->child(index)) < key) {
        ++index;
    }
    group->insertChild(index, row.item);
    row.item->setSelected(selected);
    if (current) {
        m_list->setCurrentItem(row.item, 0, QItemSelectionModel::NoUpdate);
    }
}

void CBrowseNetForm::SetGrouping(int mode) {
    if (mode < kGroupByName || mode > kGroupByComment) {
        return;
    }
    m_grouping = mode;
    for (const auto& [key, row] : m_rows) {
        if (row.item->parent()->text(0) != GroupHeader(row.entry, m_grouping)) {
            PlaceInGroup(key);
        }
    }
}

void CBrowseNetForm::RemoveRow(uint64_t key) {
    auto it = m_rows.find(key);
    if (it == m_rows.end()) {
        return;
    }
    QTreeWidgetItem* group = it->second.item->parent();
    delete it->second.item;
    m_rows.erase(it);
    if (group != nullptr && group->childCount() == 0) {
        delete group;
    }
}

void CBrowseNetForm::ClearList() {
    m_list->clear();
    m_rows.clear();
    m_probing.clear();
}

uint64_t CBrowseNetForm::KeyOf(const QTreeWidgetItem* item) const {
    if (item == nullptr || item->parent() == nullptr) {
        return 0;
    }
    return item->data(0, kKeyRole).toULongLong();
}

const CBrowseNetForm::Entry* CBrowseNetForm::EntryOf(const QTreeWidgetItem* item) const {
    const auto it = m_rows.find(KeyOf(item));
    return it == m_rows.end() ? nullptr : &it->second.entry;
}

std::vector<QTreeWidgetItem*> CBrowseNetForm::EntryRows() const {
    std::vector<QTreeWidgetItem*> items;
    for (const auto& [key, row] : m_rows) {
        items.push_back(row.item);
    }
    return items;
}

std::vector<uint64_t> CBrowseNetForm::SelectedKeys() const {
    std::vector<uint64_t> keys;
    for (const auto& [key, row] : m_rows) {
        if (row.item->isSelected()) {
            keys.push_back(key);
        }
    }
    return keys;
}

// ---- commands on the entries ----------------------------------------------------

void CBrowseNetForm::WriteMessage() {
    std::vector<CvRecipient> recipients;
    for (const uint64_t key : SelectedKeys()) {
        const Entry& entry = m_rows.at(key).entry;
        recipients.push_back(
            {entry.kind == kKindDomain ? kRecipientWorkgroup : kRecipientUser, entry.name});
    }
    if (!recipients.empty()) {
        m_main.OpenWriteMessage(recipients);
    }
}

void CBrowseNetForm::CopySelection() {
    // The rows as shown, group by group; the cells tab-separated.
    QStringList lines;
    for (int group = 0; group < m_list->topLevelItemCount(); ++group) {
        const QTreeWidgetItem* header = m_list->topLevelItem(group);
        for (int child = 0; child < header->childCount(); ++child) {
            const QTreeWidgetItem* item = header->child(child);
            if (!item->isSelected() || EntryOf(item) == nullptr) {
                continue;
            }
            QStringList cells;
            for (int column = 0; column < m_list->columnCount(); ++column) {
                cells << item->text(column);
            }
            lines << cells.join('\t');
        }
    }
    if (!lines.isEmpty()) {
        QGuiApplication::clipboard()->setText(lines.join('\n') + '\n');
    }
}

void CBrowseNetForm::AddToContacts() {
    std::vector<CvContact> contacts;
    for (const uint64_t key : SelectedKeys()) {
        const Entry& entry = m_rows.at(key).entry;
        CvContact contact;
        contact.conttype = entry.kind == kKindDomain ? kContactWorkgroup : kContactUser;
        contact.name = entry.name;
        contact.displayname = entry.comment.empty() ? entry.name : entry.comment;
        contacts.push_back(std::move(contact));
    }
    if (contacts.size() == 1) {
        if (addOneContact) {
            addOneContact(contacts.front());
        }
    } else if (contacts.size() > 1) {
        if (addSeveralContacts) {
            addSeveralContacts(contacts);
        }
    }
}

void CBrowseNetForm::ViewHistory() {
    const Entry* entry = EntryOf(m_list->currentItem());
    if (entry == nullptr) {
        return;
    }
    const CvRecipient partner{entry->kind == kKindDomain ? kRecipientWorkgroup : kRecipientUser,
                              entry->name};
    if (CHistoryForm* history = m_main.OpenArchive(-1)) {
        history->ShowDialogueOf(partner, -1);
    }
}

void CBrowseNetForm::OpenSettings() {
    delete m_settingsPopup.data();
    m_settingsPopup = new FormBrowseLanSetting(m_main, this);
    QWidget* button = m_toolbar->widgetForAction(m_settingsAction);
    const QPoint corner = button != nullptr ? button->mapToGlobal(QPoint(0, button->height()))
                                            : mapToGlobal(QPoint(0, 0));
    m_settingsPopup->move(corner);
    m_settingsPopup->show();
}

// ---- placement and closing -----------------------------------------------------

void CBrowseNetForm::RestorePlacement() {
    const CvAppSettingsStore& store = m_main.SettingsStore();
    if (!CvFormPlacement::Restore(*this, store, kPlacementName, minimumSize())) {
        resize(kDefaultWidth, kDefaultHeight);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(0, 0), size());
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    int32_t mode = kGroupByDomain;
    if (auto storage = store.OpenWindowStorage(kPlacementName, false)) {
        storage->TryReadInt(kSortingValue, mode);
    }
    m_grouping = mode >= kGroupByName && mode <= kGroupByComment ? mode : kGroupByDomain;
}

void CBrowseNetForm::SavePlacement() {
    const CvAppSettingsStore& store = m_main.SettingsStore();
    CvFormPlacement::Save(*this, store, kPlacementName);
    if (auto storage = store.OpenWindowStorage(kPlacementName, true)) {
        storage->WriteInt(kSortingValue, m_grouping);
    }
}

void CBrowseNetForm::Finish() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_stateTimer.stop();
    if (m_search) {
        m_search->Stop();
        m_search.reset();
    }
    StopSearch();
    // No probe result reaches this window any more.
    m_pingBinding->Unbind();
    m_pinger.ReleaseRequester(m_requester);
    delete m_settingsPopup.data();
    SavePlacement();
    CvFormRegistry::Instance().Unregister(this);
    emit closed();
}

void CBrowseNetForm::closeEvent(QCloseEvent* event) {
    Finish();
    event->accept();
}
