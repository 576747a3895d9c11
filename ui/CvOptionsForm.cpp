#include "ui/CvOptionsForm.h"

#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "ui/CvOptionsPage.h"

namespace {

constexpr int kMargin = 7;
constexpr int kEntryRole = Qt::UserRole;

// The rectangle from (left, top) up to, not including, (right, bottom).
QRect Span(int left, int top, int right, int bottom) {
    return {left, top, right - left, bottom - top};
}

}  // namespace

CvOptionsForm::CvOptionsForm(CvAppPropertyList& settings)
    : m_editor(settings),
      m_tree(new QTreeWidget(this)),
      m_heading(new QLabel(this)),
      m_separator(new QFrame(this)),
      m_ok(new QPushButton(CvOptionsPage::Text(101), this)),
      m_cancel(new QPushButton(CvOptionsPage::Text(102), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setObjectName("OptionsTree");
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    m_heading->setFont(headingFont);
    m_heading->setObjectName("OptionsHeading");
    m_separator->setFrameShape(QFrame::HLine);
    m_separator->setFrameShadow(QFrame::Sunken);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &CvOptionsForm::Ok);
    connect(m_cancel, &QPushButton::clicked, this, &CvOptionsForm::Cancel);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item == nullptr) {
            return;
        }
        const QVariant index = item->data(0, kEntryRole);
        if (index.isValid()) {
            ShowEntry(m_entries[index.toUInt()]);
        }
    });
}

void CvOptionsForm::AddGroup(const QString& title) {
    m_group = new QTreeWidgetItem(m_tree, QStringList{title});
    // A group only holds pages; choosing it keeps the page shown.
    m_group->setFlags(Qt::ItemIsEnabled);
    m_group->setExpanded(true);
}

void CvOptionsForm::AddPage(const QString& title, const QString& heading, int templateId,
                            PageFactory make) {
    auto* item = m_group != nullptr ? new QTreeWidgetItem(m_group, QStringList{title})
                                    : new QTreeWidgetItem(m_tree, QStringList{title});
    item->setData(0, kEntryRole, static_cast<unsigned>(m_entries.size()));
    // Entries are only appended while the tree is filled, before a page shows.
    m_entries.push_back({heading, templateId, std::move(make), item});
    if (m_group != nullptr) {
        m_group->setExpanded(true);
    }
}

bool CvOptionsForm::SelectPage(int templateId) {
    for (const Entry& entry : m_entries) {
        if (entry.templateId == templateId) {
            m_tree->setCurrentItem(entry.item);
            return true;
        }
    }
    return false;
}

int CvOptionsForm::CurrentTemplate() const {
    return m_shown != nullptr ? m_shown->templateId : 0;
}

void CvOptionsForm::ShowEntry(const Entry& entry) {
    if (&entry == m_shown) {
        return;
    }
    // One page window at a time: the next one reads what this one wrote.
    delete m_page;
    m_page = entry.make(m_editor);
    m_page->setParent(this);
    m_shown = &entry;
    m_heading->setText(entry.heading);
    LayOut();
    m_page->show();
    KeepButtonsLastInTabOrder();
}

void CvOptionsForm::KeepButtonsLastInTabOrder() {
    // A page made later joins the end of the focus chain, behind OK and
    // Cancel; Tab should lead from the tree through the page to the buttons.
    QWidget* last = m_page;
    for (QWidget* next = last->nextInFocusChain(); m_page->isAncestorOf(next);
         next = next->nextInFocusChain()) {
        last = next;
    }
    setTabOrder(last, m_ok);
    setTabOrder(m_ok, m_cancel);
}

void CvOptionsForm::Ok() {
    m_editor.Commit();
    close();
}

void CvOptionsForm::Cancel() {
    // The editor and its pending values go with the window.
    close();
}

void CvOptionsForm::resizeEvent(QResizeEvent* event) {
    LayOut();
    CvFormBase::resizeEvent(event);
}

void CvOptionsForm::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            Cancel();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Ok();
            return;
        default:
            CvFormBase::keyPressEvent(event);
    }
}

void CvOptionsForm::LayOut() {
    const int w = width();
    const int h = height();
    m_tree->setGeometry(Span(kMargin, kMargin, kTreeRight, h - 40));
    m_heading->setGeometry(Span(195, kMargin, w - 10, 27));
    m_separator->setGeometry(Span(195, h - 40, w - 10, h - 38));
    m_ok->setGeometry(Span(w - 160, h - 30, w - 85, h - 5));
    m_cancel->setGeometry(Span(w - 80, h - 30, w - 5, h - 5));
    if (m_page != nullptr) {
        m_page->setGeometry(kPageLeft, kPageTop, w - kPageLeft, h - 70);
    }
}
