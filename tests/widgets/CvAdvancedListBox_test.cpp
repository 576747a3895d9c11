#include <QSignalSpy>
#include <QTest>

#include "widgets/CvAdvancedListBox.h"

namespace {

constexpr int kTimeoutMs = 5000;

QStringList Names(int count) {
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names.append(QString("name %1").arg(i));
    }
    return names;
}

}  // namespace

class CvAdvancedListBoxTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void hoverSelectsEntryUnderCursor();
    void releaseOnEntryEmitsClick();
    void selectRowScrollsAndClears();

private:
    CvAdvancedListBox* m_list = nullptr;
};

void CvAdvancedListBoxTest::init() {
    m_list = new CvAdvancedListBox(nullptr);
    m_list->resize(200, 200);
    m_list->Fill(Names(4), {});  // fewer icons than texts, here none
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list, kTimeoutMs));
}

void CvAdvancedListBoxTest::cleanup() {
    delete m_list;
    m_list = nullptr;
}

void CvAdvancedListBoxTest::hoverSelectsEntryUnderCursor() {
    QCOMPARE(m_list->count(), 4);
    QCOMPARE(m_list->SelectedRow(), -1);

    QTest::mouseMove(m_list->viewport(), m_list->visualItemRect(m_list->item(2)).center());
    QTRY_COMPARE_WITH_TIMEOUT(m_list->SelectedRow(), 2, kTimeoutMs);
    QCOMPARE(m_list->currentRow(), 2);

    QTest::mouseMove(m_list->viewport(), m_list->visualItemRect(m_list->item(0)).center());
    QTRY_COMPARE_WITH_TIMEOUT(m_list->SelectedRow(), 0, kTimeoutMs);
    QCOMPARE(m_list->selectedItems().size(), 1);

    // Below the last entry: nothing under the cursor, nothing selected.
    QTest::mouseMove(m_list->viewport(), QPoint(20, m_list->viewport()->height() - 5));
    QTRY_COMPARE_WITH_TIMEOUT(m_list->SelectedRow(), -1, kTimeoutMs);

    QTest::mouseMove(m_list->viewport(), m_list->visualItemRect(m_list->item(1)).center());
    QTRY_COMPARE_WITH_TIMEOUT(m_list->SelectedRow(), 1, kTimeoutMs);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_list, &leave);
    QCOMPARE(m_list->SelectedRow(), -1);
    QCOMPARE(m_list->currentRow(), -1);
}

void CvAdvancedListBoxTest::releaseOnEntryEmitsClick() {
    QSignalSpy clicked(m_list, &CvAdvancedListBox::entryClicked);
    const QPoint third = m_list->visualItemRect(m_list->item(3)).center();

    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, third);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.first().first().toInt(), 3);

    QTest::mouseClick(m_list->viewport(), Qt::RightButton, {}, third);
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {},
                      QPoint(20, m_list->viewport()->height() - 5));
    QCOMPARE(clicked.count(), 1);
}

void CvAdvancedListBoxTest::selectRowScrollsAndClears() {
    m_list->resize(200, 60);
    m_list->Fill(Names(30), {});
    m_list->SelectRow(29);
    QCOMPARE(m_list->SelectedRow(), 29);
    QTRY_VERIFY_WITH_TIMEOUT(
        m_list->viewport()->rect().contains(m_list->visualItemRect(m_list->item(29))), kTimeoutMs);

    m_list->SelectRow(-1);
    QCOMPARE(m_list->SelectedRow(), -1);
    m_list->SelectRow(5);
    m_list->SelectRow(30);  // out of range clears as well
    QCOMPARE(m_list->SelectedRow(), -1);
}

QTEST_MAIN(CvAdvancedListBoxTest)
#include "CvAdvancedListBox_test.moc"
