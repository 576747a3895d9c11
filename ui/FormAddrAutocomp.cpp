#include "ui/FormAddrAutocomp.h"

#include <QLineEdit>
#include <QVBoxLayout>

#include "storage/CvAutocompleteData.h"
#include "ui/CvResources.h"
#include "widgets/CvAdvancedListBox.h"
#include "widgets/CvListEdit.h"

FormAddrAutocomp::FormAddrAutocomp(CvListEdit& field, CvAutocompleteData* source, QWidget* owner)
    : CvWndAuto(owner), m_field(field), m_source(source), m_list(new CvAdvancedListBox(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_list);
    connect(m_list, &CvAdvancedListBox::entryClicked, this, &FormAddrAutocomp::AcceptRow);
}

FormAddrAutocomp::~FormAddrAutocomp() = default;

int FormAddrAutocomp::Count() const {
    return m_list->count();
}

void FormAddrAutocomp::Update(const QString& typed) {
    const QString trimmed = typed.trimmed();
    if (m_source == nullptr || trimmed.isEmpty()) {
        Close();
        return;
    }
    m_source->Rebuild(trimmed.toStdString());
    QStringList texts;
    QList<QIcon> icons;
    for (int i = 0; i < m_source->GetCount(); ++i) {
        const QString name = QString::fromStdString(m_source->GetText(i));
        const QString display = QString::fromStdString(m_source->GetSecondText(i));
        texts << (display.isEmpty() || display == name ? name : display + " (" + name + ")");
        icons << CvResources::KindIcon(m_source->GetKind(i));
    }
    if (texts.isEmpty()) {
        Close();
        return;
    }
    m_list->Fill(texts, icons);
    m_list->SelectRow(0);
    QLineEdit* editor = m_field.Editor();
    const int rowHeight = std::max(18, m_list->sizeHintForRow(0));
    const int rows = std::min<int>(static_cast<int>(texts.size()), 8);
    const QSize size(std::max(220, m_field.width() / 2), rows * rowHeight + 6);
    ShowAt(editor->mapToGlobal(QPoint(0, editor->height())), size);
    m_field.SetCompletionActive(true);
}

void FormAddrAutocomp::Move(int delta) {
    const int count = m_list->count();
    if (count == 0) {
        return;
    }
    int row = m_list->SelectedRow();
    if (row < 0) {
        row = delta > 0 ? 0 : count - 1;
    } else {
        row = (row + delta % count + count) % count;
    }
    m_list->SelectRow(row);
}

bool FormAddrAutocomp::Accept() {
    const int row = m_list->SelectedRow();
    if (row < 0) {
        return false;
    }
    AcceptRow(row);
    return true;
}

void FormAddrAutocomp::AcceptRow(int row) {
    if (m_source == nullptr || row < 0 || row >= m_source->GetCount()) {
        return;
    }
    const std::string name = m_source->GetText(row);
    const int32_t kind = m_source->GetKind(row);
    Close();
    m_field.AcceptTyped(kind, name);
    m_field.Editor()->setFocus();
}

void FormAddrAutocomp::Close() {
    hide();
    m_field.SetCompletionActive(false);
}

void FormAddrAutocomp::hideEvent(QHideEvent* event) {
    CvWndAuto::hideEvent(event);
    m_field.SetCompletionActive(false);
}
