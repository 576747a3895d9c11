#include "ui/FormBrowseLanSetting.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/CvAppPropertyEditor.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvLangTexts.h"
#include "ui/CvFormHost.h"

namespace Id = CvSettingId;

namespace {

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

QLabel* Heading(int textId) {
    auto* label = new QLabel(Text(textId));
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

}  // namespace

FormBrowseLanSetting::FormBrowseLanSetting(CvFormHost& main, QWidget* owner)
    : QFrame(owner, Qt::Popup), m_main(main), m_ok(new QPushButton(Text(101))) {
    setObjectName("FormBrowseLanSetting");
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->setSpacing(2);
    auto addBox = [this, layout](int32_t id, int textId) {
        auto* box = new QCheckBox(Text(textId));
        box->setChecked(m_main.Settings().Get(id).GetInt() != 0);
        m_boxes.emplace_back(id, box);
        layout->addWidget(box);
    };
    layout->addWidget(Heading(2207));
    addBox(Id::kLanSrchInNet, 2208);
    addBox(Id::kLanSrchInAD, 2209);
    addBox(Id::kLanSrchCheckADState, 2206);
    layout->addSpacing(4);
    layout->addWidget(Heading(2201));
    addBox(Id::kLanSrchTypeComp, 2204);
    addBox(Id::kLanSrchTypeUser, 2203);
    addBox(Id::kLanSrchTypeGroup, 2202);
    layout->addSpacing(4);
    addBox(Id::kLanSrchStateOnline, 2205);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    layout->addLayout(buttons);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &FormBrowseLanSetting::Accept);

    // Larger only where the texts (a language file's, a large font) need it.
    const QSize hint = sizeHint();
    resize(std::max(kWidth, hint.width()), std::max(kHeight, hint.height()));
}

QCheckBox* FormBrowseLanSetting::Box(int32_t id) const {
    for (const auto& [boxId, box] : m_boxes) {
        if (boxId == id) {
            return box;
        }
    }
    return nullptr;
}

void FormBrowseLanSetting::Accept() {
    CvAppPropertyEditor editor(m_main.Settings());
    for (const int32_t id :
         {Id::kLanSrchStateOnline, Id::kLanSrchTypeGroup, Id::kLanSrchTypeUser,
          Id::kLanSrchTypeComp, Id::kLanSrchInNet, Id::kLanSrchInAD, Id::kLanSrchCheckADState}) {
        editor.Set(id, CvPropertyValue::Integer(Box(id)->isChecked() ? 1 : 0));
    }
    // The main window applies and saves what the commit changed.
    editor.Commit();
    close();
}
