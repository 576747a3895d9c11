#include "ui/CContactsForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>

#include <vector>

#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvLangTexts.h"
#include "storage/CvContactsManager.h"
#include "storage/CvCoolMenuManagerInterface.h"
#include "ui/CHistoryForm.h"
#include "ui/CvFormHost.h"
#include "ui/CvResources.h"
#include "ui/CvWindowMessage.h"
#include "widgets/CvCtrlList.h"

namespace Id = CvSettingId;

// The lower list's rows: the action links the settings allow, in order.
class CvActionLinks : public CvCoolMenuManagerInterface {
public:
    struct Link {
        int action;
        std::string text;
        int image;
    };
    void Add(Link link) { m_links.push_back(std::move(link)); }
    const std::vector<Link>& Links() const { return m_links; }

    int GetItemCount() override { return static_cast<int>(m_links.size()); }
    std::string GetItemText(int index) override {
        return Valid(index) ? m_links[static_cast<size_t>(index)].text : std::string();
    }
    int GetItemImage(int index) override {
        return Valid(index) ? m_links[static_cast<size_t>(index)].image : -1;
    }
    int IsGroup(int /*index*/) override { return 0; }
    void Toggle(int /*index*/) override {}
    bool FindByPrefix(int from, int to, const std::string& text, int& index) override {
        for (int i = std::max(from, 0); i < std::min(to, GetItemCount()); ++i) {
            if (QString::fromStdString(GetItemText(i))
                    .startsWith(QString::fromStdString(text), Qt::CaseInsensitive)) {
                index = i;
                return true;
            }
        }
        return false;
    }

private:
    bool Valid(int index) const { return index >= 0 && index < static_cast<int>(m_links.size()); }
    std::vector<Link> m_links;
};

namespace {

constexpr int kFrame = 1;
constexpr int kSeparatorHeight = 2;

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

QIcon ArrowIcon(QStyle::PrimitiveElement arrow, const QPalette& palette) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QStyleOption option;
    option.rect = QRect(3, 3, 10, 10);
    option.palette = palette;
    option.state = QStyle::State_Enabled;
    QApplication::style()->drawPrimitive(arrow, &option, &painter);
    return QIcon(pixmap);
}

// The kind's picture with a green dot: the name answered the last probe.
QIcon OnlineIcon(int32_t kind) {
    QPixmap pixmap = CvResources::KindIcon(kind).pixmap(16, 16);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(QColor(0x1E, 0xA0, 0x32));
    painter.drawEllipse(QRectF(8.5, 8.5, 6.5, 6.5));
    return QIcon(pixmap);
}

QIcon OfflineIcon(int32_t kind) {
    return QIcon(CvResources::KindIcon(kind).pixmap(16, 16, QIcon::Disabled));
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(name, QApplication::style()->standardIcon(fallback));
}

}  // namespace

CContactsForm::CContactsForm(CvFormHost& main, CvContactsManager* contacts)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_main(main),
      m_manager(contacts),
      m_contacts(new CvCtrlList(kListContacts, this)),
      m_actions(new CvCtrlList(kListActions, this)),
      m_separator(new QFrame(this)),
      m_rowMenu(new QMenu(this)),
      m_links(std::make_unique<CvActionLinks>()) {
    setObjectName("Contacts");
    setWindowTitle(Text(401));
    setWindowIcon(CvResources::AppIcon());
    CvResources::Init();
    const CvAppPropertyList& settings = m_main.Settings();
    auto flag = [&settings](int32_t id) { return settings.Get(id).GetInt() != 0; };
    m_searchDisabled = flag(Id::kContactListDisableSearch);
    m_editDisabled = flag(Id::kContactListDisableEdit);
    m_sendDisabled = flag(Id::kMsgSendDisabled);
    m_archiveDisabled = flag(Id::kMsgArcDisabled);

    // The button face, as a menu.
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    // The contacts.
    m_contacts->setObjectName("ContactsList");
    m_contacts->setFrameShape(QFrame::NoFrame);
    m_contacts->SetImages({ArrowIcon(QStyle::PE_IndicatorArrowRight, face),
                           ArrowIcon(QStyle::PE_IndicatorArrowDown, face),
                           OnlineIcon(kContactWorkgroup), OnlineIcon(kContactUser),
                           OfflineIcon(kContactWorkgroup), OfflineIcon(kContactUser)});
    m_contacts->SetEmptyText(Text(1110));
    m_contacts->SetProvider(m_manager);
    if (m_manager != nullptr) {
        m_manager->SetRepaint(m_contacts->RepaintBinding());
    }

    // The action links.
    if (!m_editDisabled) {
        m_links->Add({kActionAddContact, CvLangTexts::Instance().GetText(1101), 0});
    }
    if (!m_searchDisabled) {
        m_links->Add({kActionFindUsers, CvLangTexts::Instance().GetText(1108), 1});
    }
    if (!m_archiveDisabled) {
        m_links->Add({kActionHistory, CvLangTexts::Instance().GetText(1102), 2});
    }
    std::vector<qintptr> values;
    for (const auto& link : m_links->Links()) {
        values.push_back(link.action);
    }
    m_actions->setObjectName("ActionsList");
    m_actions->setFrameShape(QFrame::NoFrame);
    m_actions->SetImages({ThemeIcon("contact-new", QStyle::SP_FileDialogNewFolder),
                          ThemeIcon("system-search", QStyle::SP_FileDialogContentsView),
                          ThemeIcon("document-open-recent", QStyle::SP_FileDialogDetailedView)});
    m_actions->SetRowValues(std::move(values));
    m_actions->SetTextColor(face.color(QPalette::Link));
    m_actions->SetProvider(m_links.get());
    m_actions->setVisible(!m_links->Links().empty());

    m_separator->setFrameShape(QFrame::HLine);
    m_separator->setFrameShadow(QFrame::Sunken);
    m_separator->setVisible(!m_links->Links().empty());

    // The row menu.
    m_writeAction = m_rowMenu->addAction(Text(1103), this, [this] { Command(kCmdWrite); });
    m_rowMenu->setDefaultAction(m_writeAction);
    m_editAction = m_rowMenu->addAction(Text(1104), this, [this] { Command(kCmdEdit); });
    if (!m_archiveDisabled) {
        m_historyAction =
            m_rowMenu->addAction(Text(1107), this, [this] { Command(kCmdContactHistory); });
    }
    m_rowMenu->addSeparator();
    m_deleteAction = m_rowMenu->addAction(Text(1105), this, [this] { Command(kCmdDelete); });

    for (CvCtrlList* list : {m_contacts, m_actions}) {
        connect(list, &CvCtrlList::rowActivated, this, [this](int controlId, qintptr value) {
            HandleMessage(kMsgListRow, controlId, value);
        });
        connect(list, &CvCtrlList::preferredHeightChanged, this,
                &CContactsForm::OnPreferredHeightChanged);
    }
    connect(m_contacts->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                m_selected = current.isValid() ? current.row() : -1;
            });
    connect(m_contacts, &CvCtrlList::contextMenuRequested, this,
            [this](int row, const QPoint& position) { OpenRowMenu(row, position); });
    resize(sizeHint());
}

CContactsForm::~CContactsForm() {
    if (m_manager != nullptr) {
        m_manager->SetRepaint(nullptr);
    }
}

QSize CContactsForm::sizeHint() const {
    const int actions = m_links->Links().empty() ? 0 : m_actions->PreferredHeight();
    int contacts = m_contacts->PreferredHeight();
    // Many contacts scroll instead of growing past the screen.
    if (const QScreen* screen = QGuiApplication::screenAt(m_layout.Anchor())
                                    ? QGuiApplication::screenAt(m_layout.Anchor())
                                    : QGuiApplication::primaryScreen()) {
        const int room = CvContactLayout::WorkArea(screen->availableGeometry()).height() - actions -
                         kSeparatorHeight - 1 - 2 * kFrame;
        contacts = std::max(m_contacts->RowHeight(), std::min(contacts, room));
    }
    return {kWidth, contacts + actions + kSeparatorHeight + 1 + 2 * kFrame};
}

void CContactsForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceChildren();
}

void CContactsForm::PlaceChildren() {
    const int clientWidth = width() - 2 * kFrame;
    const int clientHeight = height() - 2 * kFrame;
    const int actions = m_links->Links().empty() ? 0 : m_actions->PreferredHeight();
    const int contacts =
        std::max(0, clientHeight - actions - (m_links->Links().empty() ? 0 : kSeparatorHeight + 1));
    m_contacts->setGeometry(kFrame + 2, kFrame, clientWidth - 4, contacts);
    m_separator->setGeometry(kFrame, kFrame + contacts, clientWidth, kSeparatorHeight);
    m_actions->setGeometry(kFrame + 2, kFrame + contacts + kSeparatorHeight, clientWidth - 4,
                           actions);
}

void CContactsForm::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CContactsForm::OnPreferredHeightChanged() {
    updateGeometry();
    if (!isVisible()) {
        resize(sizeHint());
        return;
    }
    // The owner decides when the window is placed again.
    CvWindowMessage::Post(m_owner ? m_owner.data() : m_main.MessageTarget(), kMsgRelayout);
}

void CContactsForm::ShowAt(QObject* owner, const QPoint& anchor, int verticalFlags,
                           int horizontalFlags) {
    m_owner = owner;
    m_layout.SetAnchor(anchor, verticalFlags, horizontalFlags);
    m_layout.Apply();
    raise();
    activateWindow();
    m_contacts->setFocus();
}

void CContactsForm::ApplyLayout() {
    if (isVisible()) {
        m_layout.Apply();
    }
}

void CContactsForm::HideList() {
    hide();
}

void CContactsForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible() &&
        m_busy == 0) {
        HideList();
    }
}

void CContactsForm::closeEvent(QCloseEvent* event) {
    // Made once: closing only hides it.
    event->ignore();
    HideList();
}

void CContactsForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        HideList();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CContactsForm::customEvent(QEvent* event) {
    if (event->type() != CvWindowMessage::EventType()) {
        QWidget::customEvent(event);
        return;
    }
    const auto* message = static_cast<CvWindowMessage*>(event);
    HandleMessage(message->message, message->wParam, message->lParam);
}

void CContactsForm::SendToOwner(int message, qintptr wParam, qintptr lParam) {
    QObject* owner = m_owner ? m_owner.data() : m_main.MessageTarget();
    CvWindowMessage sent(message, wParam, lParam, {});
    QCoreApplication::sendEvent(owner, &sent);
}

void CContactsForm::HandleMessage(int message, qintptr wParam, qintptr lParam) {
    if (message != kMsgListRow) {
        return;
    }
    if (wParam == kListContacts) {
        if (!m_sendDisabled) {
            SendToOwner(kMsgListRow, kListContacts, lParam);
        }
        HideList();
    } else if (wParam == kListActions) {
        HideList();
        RunAction(static_cast<int>(lParam));
    }
}

void CContactsForm::RunAction(int action) {
    switch (action) {
        case kActionAddContact:
            if (!m_editDisabled) {
                m_main.OpenContactEdit(nullptr, CvContact{});
            }
            break;
        case kActionFindUsers:
            if (!m_searchDisabled) {
                m_main.OpenLanBrowser();
            }
            break;
        case kActionHistory:
            if (!m_archiveDisabled) {
                m_main.OpenArchive(-1);
            }
            break;
        default:
            break;
    }
}

void CContactsForm::Command(int id) {
    switch (id) {
        case kCmdWrite:
            Write();
            break;
        case kCmdEdit:
            Edit();
            break;
        case kCmdDelete:
            Delete();
            break;
        case kCmdContactHistory:
            ContactHistory();
            break;
        case kCmdAddContact:
            HideList();
            RunAction(kActionAddContact);
            break;
        case kCmdFindUsers:
            HideList();
            RunAction(kActionFindUsers);
            break;
        case kCmdHistory:
            HideList();
            RunAction(kActionHistory);
            break;
        default:
            break;
    }
}

std::optional<CvContact> CContactsForm::ContactAt(CvContactsManager& contacts, int index) {
    if (index < 0) {
        return std::nullopt;
    }
    // Counted as the item model counts: each group line, then the contacts
    // of an expanded group.
    size_t remaining = static_cast<size_t>(index);
    for (const CvContactGroup& group : contacts.Groups()) {
        if (remaining == 0) {
            return std::nullopt;
        }
        --remaining;
        if (!group.collapsed) {
            if (remaining < group.contacts.size()) {
                return group.contacts[remaining];
            }
            remaining -= group.contacts.size();
        }
    }
    return std::nullopt;
}

std::optional<std::string> CContactsForm::GroupAt(CvContactsManager& contacts, int index) {
    if (index < 0) {
        return std::nullopt;
    }
    size_t remaining = static_cast<size_t>(index);
    for (const CvContactGroup& group : contacts.Groups()) {
        if (remaining == 0) {
            return group.name;
        }
        --remaining;
        if (!group.collapsed) {
            if (remaining < group.contacts.size()) {
                return std::nullopt;
            }
            remaining -= group.contacts.size();
        }
    }
    return std::nullopt;
}

void CContactsForm::OpenRowMenu(int row, const QPoint& globalPos, bool exec) {
    m_selected = row;
    const bool group = m_contacts->RowKind(row) == CvCtrlList::kRowKindToggle;
    // A group line has nobody to write to, no card and no dialogue of its
    // own; it can be deleted with its contacts.
    m_writeAction->setEnabled(!m_sendDisabled && !group);
    m_editAction->setEnabled(!m_editDisabled && !group);
    if (m_historyAction != nullptr) {
        m_historyAction->setEnabled(!group);
    }
    m_deleteAction->setEnabled(!m_editDisabled);
    if (!exec) {
        return;
    }
    ++m_busy;
    m_rowMenu->exec(globalPos);
    --m_busy;
}

void CContactsForm::Write() {
    if (m_manager == nullptr || m_sendDisabled || !ContactAt(*m_manager, m_selected)) {
        return;
    }
    SendToOwner(kMsgListRow, kListContacts, m_selected);
    HideList();
}

void CContactsForm::Edit() {
    if (m_manager == nullptr || m_editDisabled) {
        return;
    }
    const auto contact = ContactAt(*m_manager, m_selected);
    if (!contact) {
        return;
    }
    HideList();
    m_main.OpenContactEdit(&*contact, *contact);
}

void CContactsForm::Delete() {
    if (m_manager == nullptr || m_editDisabled) {
        return;
    }
    const auto contact = ContactAt(*m_manager, m_selected);
    const auto group = contact ? std::nullopt : GroupAt(*m_manager, m_selected);
    if (!contact && !group) {
        return;
    }
    const QString question = Text(contact ? 1106 : 1109);
    ++m_busy;
    const QMessageBox::StandardButton answer =
        askDelete ? askDelete(question)
                  : QMessageBox::question(this, Text(401), question,
                                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                          QMessageBox::Yes);
    --m_busy;
    if (answer != QMessageBox::Yes) {
        return;
    }
    if (contact) {
        m_manager->DeleteContact(*contact);
    } else {
        m_manager->DeleteGroup(*group);
    }
}

void CContactsForm::ContactHistory() {
    if (m_manager == nullptr || m_archiveDisabled) {
        return;
    }
    const auto contact = ContactAt(*m_manager, m_selected);
    if (!contact) {
        return;
    }
    HideList();
    if (CHistoryForm* history = m_main.OpenArchive(-1)) {
        history->ShowDialogueOf({contact->conttype, contact->name}, -1);
    }
}
