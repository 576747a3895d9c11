// Sounds never hold up the caller: a missing file, or no sound server at
// all, is counted as refused and stays silent; the player ends promptly.
#include <QtTest>

#include <chrono>
#include <memory>

#include "ui/shell/CvCanberraSoundPlayer.h"

class CanberraSoundPlayerTest : public QObject {
    Q_OBJECT

private slots:
    void missingFileIsSilentAndQuick() {
        using Clock = std::chrono::steady_clock;
        auto player = std::make_unique<CvCanberraSoundPlayer>();
        const auto start = Clock::now();
        player->PlaySoundFile("/nonexistent/corvane-test.wav");
        player->PlaySoundFile("");  // plays nothing at all
        QVERIFY(Clock::now() - start < std::chrono::milliseconds(200));
        QTRY_COMPARE_WITH_TIMEOUT(player->Failed(), 1, 10000);
        QCOMPARE(player->Played(), 0);
        const auto stop = Clock::now();
        player.reset();
        QVERIFY(Clock::now() - stop < std::chrono::seconds(5));
    }
};

QTEST_MAIN(CanberraSoundPlayerTest)
#include "CvCanberraSoundPlayer_test.moc"
