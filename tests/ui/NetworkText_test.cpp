// Names that came from the network are shown as the peer wrote them, never
// interpreted as markup: the archive window's caption over a dialogue, and
// the recipient chip of the write window that answers it.
#include <QLabel>
#include <QTextDocument>
#include <QtTest>

#include <string>

#include "messaging/CMsg.h"
#include "support/MainFormTestCase.h"
#include "ui/CHistoryForm.h"
#include "ui/CMainForm.h"
#include "ui/CNewMsgForm.h"
#include "widgets/CvDataSetGrid2.h"
#include "widgets/CvListEdit.h"

namespace {

constexpr int kWait = 10000;

// What a person sees of `text` in a widget that shows it in `format`.
QString Shown(const QString& text, Qt::TextFormat format) {
    QTextDocument document;
    if (format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text))) {
        document.setHtml(text);
    } else {
        document.setPlainText(text);
    }
    return document.toPlainText();
}

}  // namespace

class NetworkTextTest : public MainFormTestCase {
    Q_OBJECT

private slots:
    void aPeersNameIsShownAsWritten() {
        const char* names[] = {"<b>EVE</b>", "<font color=red>EVE</font>", "<img src=x>EVE",
                               "<table><tr><td>EVE"};
        QVERIFY(Start());
        for (const char* name : names) {
            CMsg msg;
            msg.type = MsgPersonal;
            msg.sender = name;
            msg.recipient = msg.address = "ALICE";
            msg.text = "hello";
            m_main->ReceivedBinding()(msg);
        }
        m_main->Command(CMainForm::kCmdReadMessages);
        CHistoryForm* form = m_main->ArchiveWindow();
        QVERIFY(form != nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(form->DialogueGrid()->RowCount(), 4, kWait);

        for (int row = 0; row < 4; ++row) {
            form->Command(CHistoryForm::kCmdBack);
            QTRY_COMPARE_WITH_TIMEOUT(form->DialogueGrid()->RowCount(), 4, kWait);
            form->DialogueGrid()->SetCurrentRow(row);
            form->Command(CHistoryForm::kCmdOpenDialogue);
            QCOMPARE(form->CurrentView(), CHistoryForm::kMessages);
            const QString name = QString::fromStdString(form->Correspondent().name);
            QVERIFY2(name.contains("EVE"), qPrintable(name));

            // The caption names the correspondent, as written.
            int captions = 0;
            for (QLabel* label : form->findChildren<QLabel*>()) {
                if (label->isVisible() && label->text().contains("EVE")) {
                    ++captions;
                    QCOMPARE(Shown(label->text(), label->textFormat()), name);
                }
            }
            QCOMPARE(captions, 1);

            // The answer's recipient chip shows it the same way.
            form->Command(CHistoryForm::kCmdWriteToCorrespondent);
            QTRY_VERIFY_WITH_TIMEOUT(!m_main->WriteWindows().empty(), kWait);
            CNewMsgForm* write = m_main->WriteWindows().back();
            int chips = 0;
            for (QWidget* child : write->RecipientField()->findChildren<QWidget*>()) {
                if (child->accessibleName() == name && !child->toolTip().isEmpty()) {
                    ++chips;
                    QCOMPARE(Shown(child->toolTip(), Qt::AutoText), name);
                }
            }
            QCOMPARE(chips, 1);
            write->close();
            QTRY_VERIFY_WITH_TIMEOUT(m_main->WriteWindows().empty(), kWait);
        }
    }
};

QTEST_MAIN(NetworkTextTest)
#include "NetworkText_test.moc"
