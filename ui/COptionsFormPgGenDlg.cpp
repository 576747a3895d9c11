#include "ui/COptionsFormPgGenDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CvAppSettingsTable.h"
#include "app/CvAppVersion.h"
#include "app/CvLangTexts.h"
#include "ui/CDlgEditAutoStartup.h"

namespace Id = CvSettingId;

namespace {

// The row of the built-in texts, before the files: SysLanguageFile "".
constexpr int kBuiltInRow = 0;

}  // namespace

COptionsFormPgGenDlg::COptionsFormPgGenDlg(CvPropertyEditor& editor, LockRule isLocked,
                                           const std::string& languageFolder,
                                           const ChangeAutostart& changeAutostart,
                                           std::function<void()> reread)
    : CvOptionsPage(editor, std::move(isLocked)),
      m_changeAutostart(changeAutostart),
      m_reread(std::move(reread)),
      m_list(CvLanguageList::Enumerate(languageFolder)),
      m_state(new QLabel),
      m_change(new QPushButton(Text(110))),
      m_languages(new QListWidget),
      m_info(new QLabel) {
    QVBoxLayout* startup = AddGroup(702);
    auto* line = new QHBoxLayout;
    line->addWidget(m_state, 1);
    line->addWidget(m_change);
    startup->addLayout(line);
    m_state->setObjectName("AutostartState");
    m_state->setWordWrap(true);
    m_change->setObjectName("ChangeAutostart");
    connect(m_change, &QPushButton::clicked, this, [this] {
        if (!m_changeAutostart || m_changing) {
            return;
        }
        m_changing = true;
        m_change->setEnabled(false);
        m_changeAutostart([page = QPointer<COptionsFormPgGenDlg>(this)] {
            if (page.isNull()) {
                return;  // another page is shown meanwhile
            }
            page->m_changing = false;
            page->m_change->setEnabled(true);
            if (page->m_reread) {
                page->m_reread();
            }
            page->ShowAutostart();
        });
    });
    ShowAutostart();

    QVBoxLayout* language = AddGroup(704);
    AddLabel(language, 705);
    m_languages->setObjectName("Languages");
    // Without a row for the built-in texts a chosen file could not be left.
    m_languages->addItem(QStringLiteral("English"));
    const std::string current = Get(Id::kSysLanguageFile).GetText();
    int selected = current.empty() ? kBuiltInRow : -1;
    for (const CvLanguageInfo& info : m_list.Entries()) {
        m_languages->addItem(QString::fromStdString(info.languageName));
        if (info.fileName == current) {
            selected = m_languages->count() - 1;
        }
    }
    m_languages->setCurrentRow(selected);
    language->addWidget(m_languages, 1);
    m_info->setObjectName("LanguageInfo");
    m_info->setFrameShape(QFrame::StyledPanel);
    m_info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    language->addWidget(m_info);
    QLabel* note = AddLabel(language, 708);
    note->setObjectName("RestartNote");
    ApplyLock(m_languages, Id::kSysLanguageFile);
    ShowLanguage();
    connect(m_languages, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) {
            return;
        }
        Set(Id::kSysLanguageFile,
            CvPropertyValue::Text(row == kBuiltInRow ? std::string()
                                                     : m_list.Entries()[row - 1].fileName));
        ShowLanguage();
    });
    PageLayout()->setStretchFactor(language->parentWidget(), 1);
    Finish();
}

void COptionsFormPgGenDlg::showEvent(QShowEvent* event) {
    // The hook may be connected after the page was made.
    m_change->setEnabled(static_cast<bool>(m_changeAutostart) && !m_changing);
    CvOptionsPage::showEvent(event);
}

void COptionsFormPgGenDlg::ShowAutostart() {
    m_state->setText(CDlgEditAutoStartup::StateText(GetInt(Id::kAutoStart)));
}

void COptionsFormPgGenDlg::ShowLanguage() {
    const int row = m_languages->currentRow();
    CvLanguageInfo info;
    if (row > kBuiltInRow) {
        info = m_list.Entries()[row - 1];
    } else if (row == kBuiltInRow) {
        info.version = CvAppVersion();
    }
    const QString text = QString::fromStdString(
        row >= 0 ? CvLanguageList::InfoText(info, CvLangTexts::Instance()) : std::string());
    m_info->setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}
