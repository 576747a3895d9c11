#include "ui/CAboutForm.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvAppVersion.h"
#include "app/CvLangTexts.h"
#include "app/CvLanguageList.h"
#include "ui/CvResources.h"

namespace {

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

}  // namespace

CAboutForm::CAboutForm() : CvFormBase(nullptr, Qt::Dialog) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Text(501));
    setWindowIcon(CvResources::AppIcon());

    auto* picture = new QLabel(this);
    picture->setPixmap(CvResources::AppIcon().pixmap(64, 64));
    picture->setAlignment(Qt::AlignTop);

    auto* name = new QLabel("<b>" + Text(502).toHtmlEscaped() + "</b>", this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    name->setFont(big);
    QStringList lines;
    lines << Text(503).toHtmlEscaped();
    lines << (Text(506) + " " + QString::fromStdString(CvAppVersion())).toHtmlEscaped();

    // The language file in use names its translator.
    const CvAppPaths paths = CvAppPaths::Detect();
    CvAppPropertyList settings;
    CvAppSettingsStore store(paths);
    store.SetInspectOnly(true);
    store.Load(settings);
    const std::string languageFile = settings.Get(CvSettingId::kSysLanguageFile).GetText();
    const CvLanguageList languages = CvLanguageList::Enumerate(paths.LanguageFolder());
    if (const CvLanguageInfo* info = languages.Find(languageFile)) {
        lines << QString::fromStdString(CvLanguageList::InfoText(*info, CvLangTexts::Instance()))
                     .toHtmlEscaped()
                     .replace("\r\n", "<br>");
    }
    // Installed programs have their documentation under the data prefix.
    const QString docs = QDir(QString::fromStdString(paths.ProgramFolder()))
                             .absoluteFilePath("../share/doc/corvane-messenger");
    if (QFileInfo(docs).isDir()) {
        lines << (Text(504) + " ").toHtmlEscaped() + "<a href=\"" +
                     QUrl::fromLocalFile(QDir::cleanPath(docs)).toString().toHtmlEscaped() + "\">" +
                     QDir::cleanPath(docs).toHtmlEscaped() + "</a>";
    }
    auto* details = new QLabel(lines.join("<br>"), this);
    details->setTextFormat(Qt::RichText);
    details->setOpenExternalLinks(true);
    details->setTextInteractionFlags(Qt::TextBrowserInteraction);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(Text(101), QDialogButtonBox::AcceptRole);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(details);
    text->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(picture);
    row->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}
