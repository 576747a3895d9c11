#include <QAbstractButton>
#include <QDesktopServices>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "widgets/CvRichEdit.h"

namespace {

constexpr int kTimeoutMs = 5000;

// Stands in for the desktop's URL opener for the schemes it is installed for.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> m_opened;

public slots:
    void Open(const QUrl& url) { m_opened.append(url); }
};

// The texts of the document's anchor ranges, in order; adjacent fragments
// of one anchor are joined.
QStringList AnchorTexts(const QTextDocument& document) {
    QStringList texts;
    QString href;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (!format.isAnchor()) {
                href.clear();
                continue;
            }
            if (format.anchorHref() == href && !texts.isEmpty()) {
                texts.last() += fragment.text();
            } else {
                texts.append(fragment.text());
                href = format.anchorHref();
            }
        }
        href.clear();
    }
    return texts;
}

// The centre of the character at document position `position`, in viewport
// coordinates.
QPoint CharacterCentre(const CvRichEdit& edit, int position) {
    QTextCursor cursor(edit.document());
    cursor.setPosition(position);
    const QRect before = edit.cursorRect(cursor);
    cursor.setPosition(position + 1);
    const QRect after = edit.cursorRect(cursor);
    return {(before.left() + after.left()) / 2, before.center().y()};
}

}  // namespace

class CvRichEditTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void linksPerMode_data();
    void linksPerMode();
    void lineBreaksEachBecomeOne_data();
    void lineBreaksEachBecomeOne();
    void anchorsCoverExactlyTheLinks_data();
    void anchorsCoverExactlyTheLinks();
    void clickOpensLink_data();
    void clickOpensLink();
    void dragSelectionOpensNothing();
    void keyboardOpensLink();
    void heightFollowsTextAndWidth();

private:
    UrlRecorder m_recorder;
};

void CvRichEditTest::init() {
    m_recorder.m_opened.clear();
    for (const char* scheme : {"http", "https", "smb", "mailto", "irc", "file"}) {
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_recorder, "Open");
    }
}

void CvRichEditTest::cleanup() {
    for (const char* scheme : {"http", "https", "smb", "mailto", "irc", "file"}) {
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
}

void CvRichEditTest::linksPerMode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("urls");

    const QString mixed = QStringLiteral("see http://a.example/x and irc://chat.example now");
    QTest::newRow("standard") << mixed << 1 << QStringList{"http://a.example/x"};
    QTest::newRow("any") << mixed << 2 << QStringList{"http://a.example/x", "irc://chat.example"};
    QTest::newRow("disabled") << mixed << 0 << QStringList{};
    QTest::newRow("unknown mode") << mixed << 7 << QStringList{};
    QTest::newRow("share") << QStringLiteral("\\\\host\\share\\dir\\file.txt") << 1
                           << QStringList{"smb://host/share/dir/file.txt"};
    QTest::newRow("brackets keep spaces") << QStringLiteral("<http://a.example/my page> end") << 1
                                          << QStringList{"http://a.example/my%20page"};
    QTest::newRow("mailto") << QStringLiteral("write to MailTo:x@example.org") << 1
                            << QStringList{"mailto:x@example.org"};
    QTest::newRow("drive path") << QStringLiteral("c:\\temp") << 2 << QStringList{};
}

void CvRichEditTest::linksPerMode() {
    QFETCH(QString, text);
    QFETCH(int, mode);
    QFETCH(QStringList, urls);

    CvRichEdit edit(nullptr);
    edit.SetMessageText(text.toStdString());
    // The mode re-parses the text already shown.
    edit.SetLinkMode(mode);
    QStringList shown;
    for (const QUrl& url : edit.LinkUrls()) {
        shown.append(url.toString(QUrl::FullyEncoded));
    }
    QCOMPARE(shown, urls);
    QCOMPARE(AnchorTexts(*edit.document()).size(), urls.size());
    QCOMPARE(edit.toPlainText(), text);
}

void CvRichEditTest::lineBreaksEachBecomeOne_data() {
    QTest::addColumn<QString>("lineBreak");
    QTest::newRow("CR LF") << QStringLiteral("\r\n");
    QTest::newRow("LF") << QStringLiteral("\n");
    QTest::newRow("CR") << QStringLiteral("\r");
}

void CvRichEditTest::lineBreaksEachBecomeOne() {
    QFETCH(QString, lineBreak);
    CvRichEdit edit(nullptr);
    edit.SetMessageText(QStringList{"one", "two", "", "four"}.join(lineBreak).toStdString());
    QCOMPARE(edit.document()->blockCount(), 4);
    QCOMPARE(edit.toPlainText(), QStringLiteral("one\ntwo\n\nfour"));
}

void CvRichEditTest::anchorsCoverExactlyTheLinks_data() {
    QTest::addColumn<QString>("lineBreak");
    QTest::newRow("CR LF") << QStringLiteral("\r\n");
    QTest::newRow("LF") << QStringLiteral("\n");
    QTest::newRow("CR") << QStringLiteral("\r");
    QTest::newRow("line separator") << QStringLiteral("\u2028");
}

void CvRichEditTest::anchorsCoverExactlyTheLinks() {
    QFETCH(QString, lineBreak);
    // Every line break before a link shifts it by one position if counted
    // wrong; a surrogate pair counts two, as in the document.
    const QString text = QStringList{"2024-05-01 10:00:00",
                                     "ALICE wrote to BOB:",
                                     " ",
                                     "look at http://a.example/one,",
                                     "\U0001F600 <https://b.example/two words> and",
                                     "\\\\srv\\pub"}
                             .join(lineBreak);
    CvRichEdit edit(nullptr);
    edit.SetMessageText(text.toStdString());

    QCOMPARE(AnchorTexts(*edit.document()),
             (QStringList{"http://a.example/one,", "https://b.example/two words", "\\\\srv\\pub"}));
}

void CvRichEditTest::clickOpensLink_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("clicked");  // the word whose middle is clicked
    QTest::addColumn<int>("answer");       // to the question; 0: no question may come
    QTest::addColumn<QString>("opened");   // empty: nothing opens

    const QString text =
        QStringLiteral("Hello\r\nopen http://a.example/p?q=1 or\r\n\\\\host\\share\\path now");
    QTest::newRow("web link") << text << 1 << "http://a.example/p?q=1" << 0
                              << "http://a.example/p?q=1";
    QTest::newRow("share, yes") << text << 1 << "\\\\host\\share\\path" << int(QMessageBox::Yes)
                                << "smb://host/share/path";
    QTest::newRow("share, no") << text << 1 << "\\\\host\\share\\path" << int(QMessageBox::No)
                               << QString();
    QTest::newRow("plain word") << text << 1 << "Hello" << 0 << QString();
    const QString mail =
        QStringLiteral("mailto:a@x.example?attach=/etc/passwd&subject=hi&cc=b@y.example&body=yo");
    QTest::newRow("mail fields") << mail << 1 << mail << 0
                                 << "mailto:a@x.example?subject=hi&body=yo";
    const QString other = QStringLiteral("irc://chat.example/room");
    QTest::newRow("other scheme, yes") << other << 2 << other << int(QMessageBox::Yes) << other;
    QTest::newRow("other scheme, no") << other << 2 << other << int(QMessageBox::No) << QString();
    const QString file = QStringLiteral("file:///etc/passwd");
    QTest::newRow("local file") << file << 2 << file << 0 << QString();
}

void CvRichEditTest::clickOpensLink() {
    QFETCH(QString, text);
    QFETCH(int, mode);
    QFETCH(QString, clicked);
    QFETCH(int, answer);
    QFETCH(QString, opened);

    CvRichEdit edit(nullptr);
    edit.resize(600, 200);
    edit.SetLinkMode(mode);
    edit.SetMessageText(text.toStdString());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit, kTimeoutMs));
    QSignalSpy linkOpened(&edit, &CvRichEdit::linkOpened);

    const int start = edit.toPlainText().indexOf(clicked);
    QVERIFY(start >= 0);
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {},
                      CharacterCentre(edit, start + static_cast<int>(clicked.size()) / 2));

    if (answer != 0) {
        QMessageBox* question = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((question = edit.findChild<QMessageBox*>()) != nullptr,
                                 kTimeoutMs);
        // The link is shown as it would open (the last one of the text), as
        // text.
        QCOMPARE(question->textFormat(), Qt::PlainText);
        QVERIFY2(question->text().endsWith(edit.LinkUrls().last().toDisplayString()),
                 qPrintable(question->text()));
        QVERIFY(m_recorder.m_opened.isEmpty());  // not before the answer
        question->button(static_cast<QMessageBox::StandardButton>(answer))->click();
        QTRY_VERIFY_WITH_TIMEOUT(edit.findChild<QMessageBox*>() == nullptr, kTimeoutMs);
    } else {
        QVERIFY(edit.findChild<QMessageBox*>() == nullptr);
    }
    if (opened.isEmpty()) {
        QTest::qWait(50);
        QVERIFY(m_recorder.m_opened.isEmpty());
        QCOMPARE(linkOpened.count(), 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder.m_opened.size(), 1, kTimeoutMs);
        QCOMPARE(m_recorder.m_opened.first().toString(), opened);
        QCOMPARE(linkOpened.count(), 1);
    }
}

void CvRichEditTest::dragSelectionOpensNothing() {
    CvRichEdit edit(nullptr);
    edit.resize(400, 200);
    const QString link = QStringLiteral("http://a.example/page");
    edit.SetMessageText(("go " + link + " now").toStdString());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit, kTimeoutMs));
    QSignalSpy linkOpened(&edit, &CvRichEdit::linkOpened);

    // Press and release both on the link, with a drag between them; twice,
    // as a drag that starts inside an earlier selection is the one the text
    // control itself would take for a click.
    const QPoint from = CharacterCentre(edit, 4);
    const QPoint to = CharacterCentre(edit, 3 + static_cast<int>(link.size()) - 2);
    for (int drag = 0; drag < 2; ++drag) {
        QTest::mousePress(edit.viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(edit.viewport(), (from + to) / 2);
        QTest::mouseMove(edit.viewport(), to);
        QTest::mouseRelease(edit.viewport(), Qt::LeftButton, {}, to);
        QVERIFY(edit.textCursor().hasSelection());
    }
    QTest::qWait(50);
    QVERIFY(m_recorder.m_opened.isEmpty());
    QCOMPARE(linkOpened.count(), 0);

    // A plain click on the same link afterwards does open it.
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, from);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder.m_opened.size(), 1, kTimeoutMs);
}

void CvRichEditTest::keyboardOpensLink() {
    // Tab selects the link, Return opens it: that selection is no drag.
    CvRichEdit edit(nullptr);
    edit.resize(400, 200);
    edit.SetMessageText("text https://a.example/k more");
    edit.show();
    edit.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&edit, kTimeoutMs));
    edit.setFocus();

    QTest::keyClick(&edit, Qt::Key_Tab);
    QVERIFY(edit.textCursor().hasSelection());
    QTest::keyClick(&edit, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder.m_opened.size(), 1, kTimeoutMs);
    QCOMPARE(m_recorder.m_opened.first(), QUrl("https://a.example/k"));
}

void CvRichEditTest::heightFollowsTextAndWidth() {
    CvRichEdit edit(nullptr);
    edit.resize(288, 100);
    QSignalSpy needed(&edit, &CvRichEdit::heightNeeded);

    edit.SetMessageText("one line");
    QVERIFY(!needed.isEmpty());
    const int oneLine = edit.HeightForWidth(288);
    QCOMPARE(needed.last().first().toInt(), oneLine);

    const std::string longText =
        "A longer message that wraps over several lines at this width, with "
        "more words than one line holds.\r\nAnd a second paragraph.";
    edit.SetMessageText(longText);
    const int wrapped = edit.HeightForWidth(288);
    QVERIFY2(wrapped > oneLine, qPrintable(QString("%1 %2").arg(wrapped).arg(oneLine)));
    QCOMPARE(needed.last().first().toInt(), wrapped);
    QVERIFY(edit.HeightForWidth(150) > wrapped);
    QVERIFY(edit.HeightForWidth(900) < wrapped);

    // The measured height is enough to show the text without scrolling, and
    // a resize to another width reports the new need.
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit, kTimeoutMs));
    const int countBefore = static_cast<int>(needed.count());
    edit.resize(200, edit.HeightForWidth(200));
    QCOMPARE(needed.count(), countBefore + 1);
    QCOMPARE(needed.last().first().toInt(), edit.HeightForWidth(200));
    QTRY_COMPARE_WITH_TIMEOUT(edit.viewport()->height(), edit.height() - 2 * edit.frameWidth(),
                              kTimeoutMs);
    QCOMPARE(edit.verticalScrollBar()->maximum(), 0);
    // The same width again needs no new report.
    edit.resize(200, 300);
    QCOMPARE(needed.count(), countBefore + 1);
}

QTEST_MAIN(CvRichEditTest)
#include "CvRichEdit_test.moc"
