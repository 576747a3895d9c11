#include "ui/CHistoryForm.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvCompoundText.h"
#include "app/CvLangTexts.h"
#include "platform/CvTextCodec.h"
#include "storage/CvArchiveExport.h"
#include "storage/CvDbDataSet.h"
#include "storage/CvLocaleDateTimeFormat.h"
#include "storage/CvMsgArchive.h"
#include "ui/CvAppearance.h"
#include "ui/CvFormHost.h"
#include "ui/CvFormPlacement.h"
#include "ui/CvFormRegistry.h"
#include "ui/CvResources.h"
#include "widgets/CvDataSetGrid2.h"
#include "widgets/CvEdit.h"
#include "widgets/CvSizeGrip.h"

namespace Id = CvSettingId;

namespace {

constexpr const char* kPlacementName = "msgarchive";
constexpr int kDefaultWidth = 450;
constexpr int kDefaultHeight = 350;

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(name, QApplication::style()->standardIcon(fallback));
}

}  // namespace

CHistoryForm::CHistoryForm(CvFormHost& main, CvMsgArchive& archive, int linkMode)
    : m_main(main),
      m_archive(archive),
      m_back(new QToolButton),
      m_caption(new QLabel),
      m_search(new CvEdit),
      m_write(new QToolButton),
      m_service(new QToolButton),
      m_dialogues(new CvDataSetGrid2),
      m_messages(new CvDataSetGrid2),
      m_serviceMenu(new QMenu(this)),
      m_rowMenu(new QMenu(this)) {
    setObjectName("CHistoryForm");
    setWindowTitle(Text(1201));
    setWindowIcon(CvResources::AppIcon());
    setMinimumSize(350, 250);
    const CvAppPropertyList& settings = m_main.Settings();
    auto flag = [&settings](int32_t id) { return settings.Get(id).GetInt() != 0; };

    // The service menu and the row menu.
    if (!flag(Id::kMsgArcSvcMenuClearDisabled)) {
        m_serviceMenu->addAction(Text(1212), this, [this] { Command(kCmdClear); });
    }
    m_serviceMenu->addAction(Text(1214), this, [this] { Command(kCmdExport); });
    if (!flag(Id::kMsgSendDisabled)) {
        m_rowMenu->addAction(Text(1208), this, [this] { Command(kCmdWriteToSender); });
        m_rowMenu->addSeparator();
    }
    m_rowMenu->addAction(Text(1209), this, [this] { Command(kCmdCopy); });
    if (!flag(Id::kMsgArcCntxMenuDelDisabled)) {
        m_rowMenu->addSeparator();
        m_rowMenu->addAction(Text(1210), this, [this] { Command(kCmdDelete); });
    }

    // The toolbars: "Back" on the left (view 1), the write button and the
    // service menu button on the right.
    m_back->setText(Text(1215));
    m_back->setIcon(ThemeIcon("go-previous", QStyle::SP_ArrowBack));
    m_back->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_back->setAutoRaise(true);
    connect(m_back, &QToolButton::clicked, this, [this] { Command(kCmdBack); });
    m_write->setIcon(CvResources::WriteIcon());
    m_write->setAutoRaise(true);
    m_write->setToolTip(Text(1208));
    m_write->setVisible(!flag(Id::kMsgSendDisabled));
    connect(m_write, &QToolButton::clicked, this, [this] {
        Command(m_view == kMessages ? kCmdWriteToCorrespondent : kCmdWriteToSender);
    });
    m_service->setIcon(ThemeIcon("open-menu", QStyle::SP_FileDialogDetailedView));
    m_service->setAutoRaise(true);
    m_service->setToolTip(Text(1214));
    connect(m_service, &QToolButton::clicked, this, [this] { Command(kCmdServiceMenu); });
    m_caption->setTextFormat(Qt::PlainText);  // a correspondent's name from the network
    QFont captionFont = m_caption->font();
    captionFont.setBold(true);
    m_caption->setFont(captionFont);

    // The search field.
    m_search->setPlaceholderText(Text(1216));
    m_search->SetButtonIcons(ThemeIcon("edit-find", QStyle::SP_FileDialogContentsView),
                             ThemeIcon("edit-clear", QStyle::SP_LineEditClearButton));
    m_searchTimer.setSingleShot(true);
    m_searchTimer.setInterval(kSearchDelayMs);
    connect(&m_searchTimer, &QTimer::timeout, this, &CHistoryForm::Search);
    connect(m_search, &QLineEdit::textChanged, this, [this] {
        // A result for the text before is of no use any more.
        m_archive.Dialogues().CancelSearch();
        m_searchTimer.start();
    });
    connect(m_search, &CvEdit::buttonClicked, this, &CHistoryForm::ClearSearch);

    // The two grids over the archive's views.
    const auto format = std::make_shared<CvLocaleDateTimeFormat>(CvText::CurrentLocaleName());
    auto formatTime = [format](const QString& stamp) {
        std::string date;
        std::string time;
        if (!format->Format(stamp.toStdString(), date, time)) {
            return stamp;
        }
        return QString::fromStdString(date + " " + time);
    };
    for (CvDataSetGrid2* grid : {m_dialogues, m_messages}) {
        grid->SetHeading(Text(1211));
        grid->SetTimeFormatter(formatTime);
        grid->SetLinkMode(linkMode);
        connect(grid, &CvDataSetGrid2::contextMenuRequested, this,
                [this](int row, const QPoint& at) {
                    if (row >= 0) {
                        m_rowMenu->popup(at);
                    }
                });
    }
    m_dialogues->setObjectName("DialogueGrid");
    m_messages->setObjectName("MessageGrid");
    m_dialogues->Attach(&m_archive.Dialogues());
    m_messages->Attach(&m_archive.Conversation());
    // Searches and exports read on threads of their own; a search's result
    // is taken here, on the window's thread.
    m_archive.ReadInBackground([this] {
        QMetaObject::invokeMethod(this, &CHistoryForm::SearchFinished, Qt::QueuedConnection);
    });
    connect(m_dialogues, &CvDataSetGrid2::rowActivated, this,
            [this] { Command(kCmdOpenDialogue); });

    auto* top = new QHBoxLayout;
    top->setContentsMargins(4, 4, 4, 0);
    top->addWidget(m_back);
    top->addWidget(m_caption, 1);
    top->addWidget(m_search, 1);
    top->addWidget(m_write);
    top->addWidget(m_service);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(m_dialogues, 1);
    layout->addWidget(m_messages, 1);
    auto* grip = new CvSizeGrip(this);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(grip);
    layout->addLayout(bottom);

    SetOnTop(flag(Id::kMsgArcOnTop));
    RestorePlacement();
    SwitchView(kDialogues);
    CvFormRegistry::Instance().Register("CHistoryForm", this);
}

CHistoryForm::~CHistoryForm() {
    m_archive.ReadInBackground(nullptr);  // nothing calls back after this
    Follow(false);
    m_dialogues->Attach(nullptr);
    m_messages->Attach(nullptr);
}

void CHistoryForm::SetOnTop(bool onTop) {
    if (onTop != windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
        const bool visible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
        if (visible) {
            show();
        }
    }
}

void CHistoryForm::SetLinkMode(int mode) {
    m_dialogues->SetLinkMode(mode);
    m_messages->SetLinkMode(mode);
}

void CHistoryForm::ShowDialogueList() {
    SwitchView(kDialogues);
    m_dialogues->SetCurrentRow(0);
}

void CHistoryForm::ShowDialogueOf(const CvRecipient& correspondent, int64_t rid) {
    m_correspondent = correspondent;
    m_archive.SetPartner(correspondent.name);
    const int row = m_archive.Conversation().Find(u"rid", CvDbValue::FromInteger(rid));
    m_messages->SetCurrentRow(std::max(row, 0));
    SwitchView(kMessages);
}

void CHistoryForm::Command(int id) {
    switch (id) {
        case kCmdBack:
            SwitchView(kDialogues);
            break;
        case kCmdServiceMenu:
            m_serviceMenu->popup(m_service->mapToGlobal(QPoint(0, m_service->height())));
            break;
        case kCmdClear:
            Clear();
            break;
        case kCmdExport:
            Export();
            break;
        case kCmdWriteToSender:
            WriteToSender();
            break;
        case kCmdCopy:
            Copy();
            break;
        case kCmdDelete:
            Delete();
            break;
        case kCmdWriteToCorrespondent:
            if (!m_correspondent.name.empty()) {
                m_main.OpenWriteMessage({m_correspondent});
            }
            break;
        case kCmdOpenDialogue:
            OpenSelectedDialogue();
            break;
        default:
            break;
    }
}

void CHistoryForm::SwitchView(View view) {
    m_view = view;
    const bool messages = view == kMessages;
    m_back->setVisible(messages);
    m_caption->setVisible(messages);
    m_caption->setText(QString::fromStdString(m_correspondent.name));
    m_messages->setVisible(messages);
    m_search->setVisible(!messages);
    m_dialogues->setVisible(!messages);
    (messages ? m_messages : m_dialogues)->setFocus();
    layout()->activate();
    Follow(isVisible());
}

void CHistoryForm::Follow(bool shown) {
    m_archive.Conversation().SetFollowing(shown && m_view == kMessages);
    m_archive.Dialogues().SetFollowing(shown && m_view == kDialogues);
}

void CHistoryForm::SearchFinished() {
    if (m_archive.Dialogues().FinishSearch() && m_newSearch) {
        m_newSearch = false;
        m_dialogues->SetCurrentRow(0);
    }
}

void CHistoryForm::Search() {
    m_searchTimer.stop();
    m_newSearch = true;
    m_archive.SetSearchText(m_search->text().toStdString());
    m_dialogues->SetCurrentRow(0);
}

void CHistoryForm::ClearSearch() {
    m_search->clear();
    Search();  // at once, not after the delay
}

void CHistoryForm::OpenSelectedDialogue() {
    if (m_dialogues->CurrentRow() < 0) {
        return;
    }
    const int64_t rid =
        m_archive.Dialogues().ReadValue(m_dialogues->CurrentRow(), u"rid").AsInteger();
    ShowDialogueOf(SelectedCorrespondent(), rid);
}

CvRecipient CHistoryForm::SelectedCorrespondent() {
    if (m_view == kMessages) {
        return m_messages->CurrentRow() >= 0 ? m_correspondent : CvRecipient{kRecipientUser, ""};
    }
    // The dialogue's partner: the sender of a received row, the recipient
    // (with the kind it was sent as) of a sent one; never the user.
    const int row = m_dialogues->CurrentRow();
    if (row < 0) {
        return {kRecipientUser, ""};
    }
    CvArchiveDialogues& dialogues = m_archive.Dialogues();
    const auto kind = static_cast<int32_t>(dialogues.ReadValue(row, u"conttype").AsInteger());
    return {kind == 0 ? kRecipientUser : kind, m_dialogues->CurrentText(u"interlocutor")};
}

CvDataSetGrid2* CHistoryForm::CurrentGrid() const {
    return m_view == kMessages ? m_messages : m_dialogues;
}

void CHistoryForm::WriteToSender() {
    const CvRecipient correspondent = SelectedCorrespondent();
    if (!correspondent.name.empty()) {
        m_main.OpenWriteMessage({correspondent});
    }
}

void CHistoryForm::Copy() {
    CvDataSetGrid2* grid = CurrentGrid();
    if (grid->CurrentRow() < 0) {
        return;
    }
    const QString selected = grid->SelectedText();
    QGuiApplication::clipboard()->setText(
        !selected.isEmpty() ? selected : QString::fromStdString(grid->CurrentText(u"message")));
}

void CHistoryForm::Delete() {
    CvDataSetGrid2* grid = CurrentGrid();
    const int row = grid->CurrentRow();
    if (row < 0) {
        return;
    }
    // Row-wise: in the dialogue list this is the dialogue's newest message.
    CvDataSet2& view = m_view == kMessages ? static_cast<CvDataSet2&>(m_archive.Conversation())
                                           : m_archive.Dialogues();
    view.DeleteRecord(row);
    m_archive.NotifyViews();
}

void CHistoryForm::Clear() {
    const bool yes = confirmClear
                         ? confirmClear()
                         : QMessageBox::question(this, Text(1201), Text(1213),
                                                 QMessageBox::Yes | QMessageBox::No |
                                                     QMessageBox::Cancel) == QMessageBox::Yes;
    if (yes) {
        m_archive.Clear();
    }
}

std::pair<QString, bool> CHistoryForm::ExportTarget(const QString& chosen, bool htmlFilter) {
    QString name = chosen;
    const int slash = name.lastIndexOf('/');
    const int dot = name.lastIndexOf('.');
    if (dot <= slash + 1) {
        name += htmlFilter ? ".html" : ".csv";
    }
    return {name, name.section('.', -1).compare("html", Qt::CaseInsensitive) == 0};
}

void CHistoryForm::Export() {
    std::pair<QString, bool> chosen;
    if (askExportFile) {
        chosen = askExportFile();
    } else {
        const QString html = "HTML files (*.html)";
        QString filter;
        const QString file = QFileDialog::getSaveFileName(
            this, Text(1214), QString(), "CSV files (*.csv);;" + html + ";;All Files (*.*)",
            &filter, QFileDialog::DontConfirmOverwrite);
        chosen = {file, filter == html};
    }
    if (chosen.first.isEmpty()) {
        return;
    }
    const auto [path, html] = ExportTarget(chosen.first, chosen.second);
    // Asked here, once the extension is added: the save dialog saw the name
    // without it.
    if (QFileInfo(path).exists()) {
        const bool replace = confirmReplace
                                 ? confirmReplace(path)
                                 : QMessageBox::question(this, Text(1214),
                                                         Text(1218).replace("%1", path),
                                                         QMessageBox::Yes | QMessageBox::No,
                                                         QMessageBox::No) == QMessageBox::Yes;
        if (!replace) {
            return;
        }
    }
    // Written on the archive's export thread; a failure is told here.
    m_archive.Export(path.toStdString(), html, [this, path = path](bool written, int) {
        if (!written) {
            QMetaObject::invokeMethod(
                this,
                [this, path] {
                    if (exportFailed) {
                        exportFailed(path);
                    } else {
                        QMessageBox::warning(this, Text(1201), Text(1217).replace("%1", path));
                    }
                },
                Qt::QueuedConnection);
        }
    });
}

void CHistoryForm::ApplyAppearance() {
    const CvAppPropertyList& settings = m_main.Settings();
    if (settings.Get(Id::kAppearanceEnabled).GetInt() != 1) {
        for (CvDataSetGrid2* grid : {m_dialogues, m_messages}) {
            grid->SetTextFont(font());
            grid->SetTextColor(QColor());
            grid->SetHighlight(QColor(), QColor());
        }
        return;
    }
    const std::string text = settings.Get(Id::kMsgArcFontMsgText).GetText();
    const std::string highlight = settings.Get(Id::kMsgArcCurRowHighlight).GetText();
    for (CvDataSetGrid2* grid : {m_dialogues, m_messages}) {
        grid->SetTextFont(CvAppearance::Font(text, font()));
        grid->SetTextColor(CvAppearance::Color(text, "color").value_or(QColor()));
        grid->SetHighlight(CvAppearance::Color(highlight, "color").value_or(QColor()),
                           CvAppearance::Color(highlight, "bkcolor").value_or(QColor()));
    }
}

void CHistoryForm::RestorePlacement() {
    if (CvFormPlacement::Restore(*this, m_main.SettingsStore(), kPlacementName, minimumSize())) {
        return;
    }
    resize(kDefaultWidth, kDefaultHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // The bottom-left corner of the work area (beside a panel on the left).
        const QRect available = screen->availableGeometry();
        move(available.left(), available.bottom() + 1 - kDefaultHeight);
    }
}

void CHistoryForm::SavePlacement() {
    CvFormPlacement::Save(*this, m_main.SettingsStore(), kPlacementName);
}

void CHistoryForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        SavePlacement();
        hide();
        return;
    }
    // Down leaves the search field for the dialogues it found.
    if (event->key() == Qt::Key_Down && m_view == kDialogues && m_search->hasFocus()) {
        m_dialogues->setFocus();
        return;
    }
    CvFormBase::keyPressEvent(event);
}

void CHistoryForm::closeEvent(QCloseEvent* event) {
    SavePlacement();
    if (CvFormRegistry::Instance().IsClosing()) {
        event->accept();
        return;
    }
    // Closed by the user: it only hides.
    event->ignore();
    hide();
}

void CHistoryForm::showEvent(QShowEvent* event) {
    ApplyAppearance();
    Follow(true);
    CvFormBase::showEvent(event);
}

void CHistoryForm::hideEvent(QHideEvent* event) {
    Follow(false);
    CvFormBase::hideEvent(event);
}

void CHistoryForm::changeEvent(QEvent* event) {
    // Minimizing hides it instead.
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        QTimer::singleShot(0, this, &QWidget::hide);
    }
    CvFormBase::changeEvent(event);
}
