#include "ui/COptionsForm.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>

#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvLangTexts.h"
#include "ui/CDlgEditAutoStartup.h"
#include "ui/COptionsFormDlgHist.h"
#include "ui/COptionsFormDlgTray.h"
#include "ui/COptionsFormPgHKDlg.h"
#include "ui/COptionsFormPgIfaceDlg.h"
#include "ui/COptionsFormPgMsgs.h"
#include "ui/COptionsFormPgPopWndDlg.h"
#include "ui/COptionsFormPgRdMsgDlg.h"
#include "ui/CvFormHost.h"
#include "ui/CvFormRegistry.h"
#include "ui/CvResources.h"

namespace {

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

}  // namespace

COptionsForm::COptionsForm(CvFormHost& main) : CvOptionsForm(main.Settings()), m_main(main) {
    setObjectName("COptionsForm");
    setWindowTitle(Text(601));
    setWindowIcon(CvResources::AppIcon());
    setMinimumSize(560, 420);
    resize(kDefaultWidth, kDefaultHeight);

    askSoundFile = [this](const QString& current) {
        return QFileDialog::getOpenFileName(this, Text(801), current,
                                            QStringLiteral("Sound files (*.wav *.ogg *.oga)"));
    };
    playSound = [this](const std::string& path) { m_main.PlaySoundFile(path); };
    askFont = [this](const QFont& current) -> std::optional<QFont> {
        bool ok = false;
        const QFont font = QFontDialog::getFont(&ok, current, this);
        return ok ? std::optional<QFont>(font) : std::nullopt;
    };
    askColor = [this](const QColor& current) -> std::optional<QColor> {
        const QColor color = QColorDialog::getColor(current, this);
        return color.isValid() ? std::optional<QColor>(color) : std::nullopt;
    };
    changeAutostart = [this](std::function<void()> finished) {
        CDlgEditAutoStartup::Change(this, Editor(),
                                    [finished = std::move(finished)](bool) { finished(); });
    };
    isLocked = &COptionsForm::IsAdministratorSetting;

    AddGroup(Text(602));
    AddPage(Text(603), Text(701), kPageSystem, [this](CvAppPropertyEditor& editor) {
        return new COptionsFormPgGenDlg(
            editor, Locks(), m_main.LanguageFolder(), changeAutostart, [this] {
                // The dialog wrote the entries itself.
                m_main.Settings().Set(
                    CvSettingId::kAutoStart,
                    CvPropertyValue::Integer(CvAppSettingsStore::ReadAutostartState()));
            });
    });
    AddGroup(Text(604));
    AddPage(Text(614), Text(2401), kPageAppearance, [this](CvAppPropertyEditor& editor) {
        return new COptionsFormPgFonts(editor, Locks(), askFont, askColor);
    });
    AddPage(Text(611), Text(1901), kPageHotKeys, [this](CvAppPropertyEditor& editor) {
        return new COptionsFormPgHKDlg(editor, Locks(), m_main.HotKeysUnavailable());
    });
    AddPage(Text(605), Text(801), kPageSound, [this](CvAppPropertyEditor& editor) {
        return new COptionsFormDlgSound(editor, Locks(), askSoundFile, playSound);
    });
    AddGroup(Text(606));
    AddPage(Text(608), Text(1501), kPageTray, [this](CvAppPropertyEditor& editor) {
        return new COptionsFormDlgTray(editor, Locks());
    });
    AddPage(Text(613), Text(2301), kPagePopup, [this](CvAppPropertyEditor& editor) {
        return new COptionsFormPgPopWndDlg(editor, Locks());
    });
    AddPage(Text(615), Text(2501), kPageMessages, [this](CvAppPropertyEditor& editor) {
        return new COptionsFormPgMsgs(editor, Locks());
    });
    AddPage(Text(609), Text(1601), kPageSending, [this](CvAppPropertyEditor& editor) {
        return new COptionsFormPgIfaceDlg(editor, Locks());
    });
    AddPage(Text(607), Text(901), kPageReceiving, [this](CvAppPropertyEditor& editor) {
        return new COptionsFormPgRdMsgDlg(editor, Locks());
    });
    AddPage(Text(610), Text(1701), kPageArchive, [this](CvAppPropertyEditor& editor) {
        return new COptionsFormDlgHist(editor, Locks());
    });
    SelectPage(kPageSystem);
    CvFormRegistry::Instance().Register("COptionsForm", this);
}

bool COptionsForm::IsAdministratorSetting(int32_t id) {
    const CvSettingRow* row = CvFindSettingRow(id);
    return row != nullptr && row->readOnly != 0;
}

CvOptionsPage::LockRule COptionsForm::Locks() {
    // Read at each call, so a replaced rule reaches the next page made.
    return [this](int32_t id) { return isLocked && isLocked(id); };
}
