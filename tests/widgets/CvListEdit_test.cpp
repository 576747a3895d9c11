#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include "widgets/CvListEdit.h"

namespace {

constexpr int kTimeoutMs = 5000;

using Recipients = std::vector<CvRecipient>;

QString Describe(const Recipients& recipients) {
    QStringList parts;
    for (const CvRecipient& recipient : recipients) {
        parts.append(
            QString("%1:%2").arg(recipient.kind).arg(QString::fromStdString(recipient.name)));
    }
    return parts.join(", ");
}

Recipients ItemsOnly(const CvListEdit& field) {
    Recipients items;
    for (int i = 0; i < field.Count(); ++i) {
        items.push_back(field.Item(i));
    }
    return items;
}

// The chip showing `name`: chips carry their name as accessible name.
QWidget* ChipOf(const CvListEdit& field, const QString& name) {
    for (QWidget* child : field.findChildren<QWidget*>()) {
        if (child->accessibleName() == name && !child->toolTip().isEmpty() && child->isVisible()) {
            return child;
        }
    }
    return nullptr;
}

}  // namespace

Q_DECLARE_METATYPE(Recipients)

class CvListEditTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void delimitersTurnTypedNamesIntoItems_data();
    void delimitersTurnTypedNamesIntoItems();
    void pastedListBecomesItems();
    void backspaceTakesLastItemBack();
    void kindCommands();
    void kindMenuShowsKindAndRunsCommand();
    void heightFollowsItems();
    void completionKeys_data();
    void completionKeys();
    void readOnlyRefusesEdits();
    void utf8NamesRoundTrip();
    void toolTipShowsMarkupAsTyped();

private:
    QWidget* m_window = nullptr;
    CvListEdit* m_field = nullptr;
};

void CvListEditTest::init() {
    m_window = new QWidget;
    m_window->resize(420, 200);
    m_field = new CvListEdit(m_window);
    m_field->setGeometry(10, 10, 400, CvListEdit::kMinHeight);
    // The window follows the field's height as the write window does.
    connect(m_field, &CvListEdit::heightChanged, m_window,
            [this](int height) { m_field->resize(m_field->width(), height); });
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window, kTimeoutMs));
    m_field->Editor()->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(m_field->Editor()->hasFocus(), kTimeoutMs);
}

void CvListEditTest::cleanup() {
    delete m_window;
    m_window = nullptr;
    m_field = nullptr;
}

void CvListEditTest::delimitersTurnTypedNamesIntoItems_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Recipients>("items");
    QTest::addColumn<QString>("rest");

    QTest::newRow("comma") << "alice," << Recipients{{1, "alice"}} << "";
    QTest::newRow("semicolon then more") << "alice;bob" << Recipients{{1, "alice"}} << "bob";
    QTest::newRow("spaces trimmed")
        << "  alice  , bob ;carol" << Recipients{{1, "alice"}, {1, "bob"}} << "carol";
    QTest::newRow("empty names skipped") << ",; ,alice;;" << Recipients{{1, "alice"}} << "";
    QTest::newRow("other punctuation kept")
        << "dept.sales-1 x,y" << Recipients{{1, "dept.sales-1 x"}} << "y";
}

void CvListEditTest::delimitersTurnTypedNamesIntoItems() {
    QFETCH(QString, typed);
    QFETCH(Recipients, items);
    QFETCH(QString, rest);

    QSignalSpy typedChanged(m_field, &CvListEdit::typedTextChanged);
    QTest::keyClicks(m_field->Editor(), typed);

    QCOMPARE(Describe(ItemsOnly(*m_field)), Describe(items));
    QCOMPARE(m_field->TypedText(), rest);
    QCOMPARE(typedChanged.count(), typed.size());
    QCOMPARE(typedChanged.last().first().toString(), rest);

    // Items() ends with the typed text when there is any.
    Recipients all = items;
    if (!rest.isEmpty()) {
        all.push_back({1, rest.toStdString()});
    }
    QCOMPARE(Describe(m_field->Items()), Describe(all));
}

void CvListEditTest::pastedListBecomesItems() {
    m_field->AddItem(2, "WORKGROUP");
    QSignalSpy itemsChanged(m_field, &CvListEdit::itemsChanged);
    QApplication::clipboard()->setText(QStringLiteral("a; b,c"));
    QTest::keyClick(m_field->Editor(), Qt::Key_V, Qt::ControlModifier);

    QCOMPARE(Describe(m_field->Items()), QStringLiteral("2:WORKGROUP, 1:a, 1:b, 1:c"));
    QCOMPARE(m_field->TypedText(), QString());
    QCOMPARE(itemsChanged.count(), 1);

    // A pasted single name stays text to go on typing.
    QApplication::clipboard()->setText(QStringLiteral("dave"));
    QTest::keyClick(m_field->Editor(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(m_field->Count(), 4);
    QCOMPARE(m_field->TypedText(), QStringLiteral("dave"));
}

void CvListEditTest::backspaceTakesLastItemBack() {
    m_field->AddItem(2, "WORKGROUP");
    m_field->AddItem(1, "bob");
    QSignalSpy typedChanged(m_field, &CvListEdit::typedTextChanged);

    QTest::keyClick(m_field->Editor(), Qt::Key_Backspace);
    QCOMPARE(m_field->Count(), 1);
    QCOMPARE(m_field->TypedText(), QStringLiteral("bob"));
    QCOMPARE(m_field->Editor()->cursorPosition(), 3);
    QCOMPARE(typedChanged.last().first().toString(), QStringLiteral("bob"));

    // With text in the editor Backspace edits the text.
    QTest::keyClick(m_field->Editor(), Qt::Key_Backspace);
    QCOMPARE(m_field->TypedText(), QStringLiteral("bo"));
    QCOMPARE(m_field->Count(), 1);

    m_field->Editor()->clear();
    QTest::keyClick(m_field->Editor(), Qt::Key_Backspace);
    QCOMPARE(m_field->Count(), 0);
    QCOMPARE(m_field->TypedText(), QStringLiteral("WORKGROUP"));

    // Nothing left to take back: Backspace on an empty field is harmless.
    m_field->Editor()->clear();
    QTest::keyClick(m_field->Editor(), Qt::Key_Backspace);
    QCOMPARE(m_field->Count(), 0);
    QCOMPARE(m_field->TypedText(), QString());
}

void CvListEditTest::kindCommands() {
    m_field->AddItem(1, "alice");
    m_field->AddItem(1, "bob");
    m_field->AddItem(1, "carol");
    m_field->AddItem(1, "");  // adds nothing
    QCOMPARE(m_field->Count(), 3);
    QSignalSpy itemsChanged(m_field, &CvListEdit::itemsChanged);

    m_field->RunCommand(1, CvListEdit::kCommandWorkgroup);
    m_field->RunCommand(2, CvListEdit::kCommandGroup);
    QCOMPARE(Describe(ItemsOnly(*m_field)), QStringLiteral("1:alice, 2:bob, 3:carol"));
    m_field->RunCommand(2, CvListEdit::kCommandUser);
    QCOMPARE(m_field->Item(2).kind, 1);

    m_field->RunCommand(0, CvListEdit::kCommandDelete);
    QCOMPARE(Describe(ItemsOnly(*m_field)), QStringLiteral("2:bob, 1:carol"));
    QCOMPARE(itemsChanged.count(), 4);
    QCOMPARE(ChipOf(*m_field, QStringLiteral("alice")), nullptr);

    // Out of range or unknown: nothing happens.
    m_field->RunCommand(2, CvListEdit::kCommandDelete);
    m_field->RunCommand(-1, CvListEdit::kCommandGroup);
    m_field->RunCommand(0, 0);
    m_field->RunCommand(0, 5);
    QCOMPARE(Describe(ItemsOnly(*m_field)), QStringLiteral("2:bob, 1:carol"));
    QCOMPARE(itemsChanged.count(), 4);
    QCOMPARE(m_field->Item(7), CvRecipient{});

    m_field->Clear();
    QCOMPARE(m_field->Count(), 0);
    QCOMPARE(itemsChanged.count(), 5);
}

void CvListEditTest::kindMenuShowsKindAndRunsCommand() {
    m_field->SetMenuTexts("User or computer", "Domain or workgroup", "Contact group", "Delete");
    m_field->AddItem(1, "alice");
    m_field->AddItem(2, "WORKGROUP");
    QWidget* chip = ChipOf(*m_field, QStringLiteral("WORKGROUP"));
    QVERIFY(chip != nullptr);

    QStringList texts;
    QString checked;
    bool menuSeen = false;
    // The menu runs its own loop: look at it and pick from inside.
    QTimer::singleShot(0, this, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) {
            return;
        }
        menuSeen = true;
        QAction* group = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator()) {
                continue;
            }
            texts.append(action->text());
            if (action->isChecked()) {
                checked = action->text();
            }
            if (action->text() == QLatin1String("Contact group")) {
                group = action;
            }
        }
        if (group != nullptr) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(group).center());
        }
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            chip->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(chip, &event);

    QVERIFY(menuSeen);
    QCOMPARE(texts,
             (QStringList{"User or computer", "Domain or workgroup", "Contact group", "Delete"}));
    QCOMPARE(checked, QStringLiteral("Domain or workgroup"));
    QCOMPARE(Describe(ItemsOnly(*m_field)), QStringLiteral("1:alice, 3:WORKGROUP"));
}

void CvListEditTest::heightFollowsItems() {
    QSignalSpy heightChanged(m_field, &CvListEdit::heightChanged);
    QCOMPARE(m_field->NeededHeight(), CvListEdit::kMinHeight);

    int lastHeight = m_field->NeededHeight();
    for (int i = 0; i < 40; ++i) {
        m_field->AddItem(1, QString("recipient-%1").arg(i).toStdString());
        const int height = m_field->NeededHeight();
        QVERIFY(height >= CvListEdit::kMinHeight && height <= CvListEdit::kMaxHeight);
        QVERIFY(height >= lastHeight);
        lastHeight = height;
    }
    QCOMPARE(m_field->NeededHeight(), CvListEdit::kMaxHeight);
    QVERIFY(heightChanged.count() >= 2);
    QCOMPARE(heightChanged.last().first().toInt(), CvListEdit::kMaxHeight);
    QCOMPARE(m_field->height(), CvListEdit::kMaxHeight);

    // The editor stays in reach by scrolling to it as the user types.
    QTest::keyClicks(m_field->Editor(), QStringLiteral("x"));
    QTRY_VERIFY_WITH_TIMEOUT(
        m_field->Editor()->visibleRegion().boundingRect().height() == m_field->Editor()->height(),
        kTimeoutMs);

    // Narrower needs more rows; wider fewer.
    m_field->Clear();
    m_field->AddItem(1, "one");
    m_field->AddItem(1, "two");
    m_field->AddItem(1, "three");
    const int wide = m_field->NeededHeight();
    QCOMPARE(heightChanged.last().first().toInt(), wide);
    m_field->resize(120, m_field->height());
    QVERIFY(m_field->NeededHeight() > wide);
    m_field->resize(400, m_field->height());
    QCOMPARE(m_field->NeededHeight(), wide);
}

void CvListEditTest::completionKeys_data() {
    QTest::addColumn<bool>("active");
    QTest::addColumn<int>("key");
    QTest::addColumn<QList<int>>("navigated");
    QTest::addColumn<int>("accepted");

    QTest::newRow("active down") << true << int(Qt::Key_Down) << QList<int>{1} << 0;
    QTest::newRow("active up") << true << int(Qt::Key_Up) << QList<int>{-1} << 0;
    QTest::newRow("active return") << true << int(Qt::Key_Return) << QList<int>{} << 1;
    QTest::newRow("active enter") << true << int(Qt::Key_Enter) << QList<int>{} << 1;
    QTest::newRow("inactive down") << false << int(Qt::Key_Down) << QList<int>{} << 0;
    QTest::newRow("inactive up") << false << int(Qt::Key_Up) << QList<int>{} << 0;
    QTest::newRow("inactive return") << false << int(Qt::Key_Return) << QList<int>{} << 0;
}

void CvListEditTest::completionKeys() {
    QFETCH(bool, active);
    QFETCH(int, key);
    QFETCH(QList<int>, navigated);
    QFETCH(int, accepted);

    QTest::keyClicks(m_field->Editor(), QStringLiteral("al"));
    m_field->Editor()->setCursorPosition(1);
    m_field->SetCompletionActive(active);
    QSignalSpy navigate(m_field, &CvListEdit::navigate);
    QSignalSpy accept(m_field, &CvListEdit::acceptCompletion);

    QTest::keyClick(m_field->Editor(), static_cast<Qt::Key>(key));

    QList<int> deltas;
    for (const QList<QVariant>& arguments : navigate) {
        deltas.append(arguments.first().toInt());
    }
    QCOMPARE(deltas, navigated);
    QCOMPARE(accept.count(), accepted);
    // The keys the completion takes leave the text and the caret alone.
    QCOMPARE(m_field->TypedText(), QStringLiteral("al"));
    if (active) {
        QCOMPARE(m_field->Editor()->cursorPosition(), 1);
    }
}

void CvListEditTest::readOnlyRefusesEdits() {
    m_field->AddItem(1, "alice");
    m_field->SetReadOnly(true);
    QVERIFY(m_field->IsReadOnly());

    QTest::keyClicks(m_field->Editor(), QStringLiteral("bob,"));
    QTest::keyClick(m_field->Editor(), Qt::Key_Backspace);
    m_field->RunCommand(0, CvListEdit::kCommandDelete);
    QCOMPARE(Describe(m_field->Items()), QStringLiteral("1:alice"));

    // No kind menu either.
    bool menuSeen = false;
    QTimer::singleShot(0, this, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menuSeen = true;
            popup->close();
        }
    });
    QWidget* chip = ChipOf(*m_field, QStringLiteral("alice"));
    QVERIFY(chip != nullptr);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            chip->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(chip, &event);
    QTest::qWait(20);
    QVERIFY(!menuSeen);

    m_field->SetReadOnly(false);
    QTest::keyClicks(m_field->Editor(), QStringLiteral("bob,"));
    QCOMPARE(Describe(m_field->Items()), QStringLiteral("1:alice, 1:bob"));
}

void CvListEditTest::utf8NamesRoundTrip() {
    // Names travel as UTF-8 both ways; a delimiter typed after non-Latin
    // text splits at the right place.
    // keyClicks takes Latin-1 only: type the characters as key events.
    for (const QChar c : QString::fromUtf8("Ольга;Δήμος")) {
        QTest::sendKeyEvent(QTest::Click, m_field->Editor(), Qt::Key_unknown, QString(c),
                            Qt::NoModifier);
    }
    QCOMPARE(m_field->Item(0).name, std::string("Ольга"));
    QCOMPARE(m_field->Items().back().name, std::string("Δήμος"));
    m_field->AddItem(1, "Jörg");
    QCOMPARE(ChipOf(*m_field, QString::fromUtf8("Jörg")) != nullptr, true);
}

void CvListEditTest::toolTipShowsMarkupAsTyped() {
    // A reply puts the sender's name, as a peer sent it, into a chip.
    for (const char* name :
         {"<b>EVE</b>", "<img src=x>", "<table><tr><td>A</td></tr></table>", "plain & <simple>"}) {
        m_field->Clear();
        m_field->AddItem(1, name);
        QWidget* chip = ChipOf(*m_field, QString::fromUtf8(name));
        QVERIFY2(chip != nullptr, name);
        // What the tool tip shows: rich text when Qt takes it for rich text.
        const QString tip = chip->toolTip();
        QTextDocument shown;
        if (Qt::mightBeRichText(tip)) {
            shown.setHtml(tip);
        } else {
            shown.setPlainText(tip);
        }
        QCOMPARE(shown.toPlainText(), QString::fromUtf8(name));
    }
}

QTEST_MAIN(CvListEditTest)
#include "CvListEdit_test.moc"
