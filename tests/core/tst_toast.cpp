#include "core/ToastManager.h"
#include "support/ManualScheduler.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using orvelle::ToastManager;
using orvelle::test::ManualScheduler;

class TestToast : public QObject
{
    Q_OBJECT
private slots:
    // Two seconds each; every call schedules its own reset, so the first one
    // ends the toast though a second message came later.
    void showsForTwoSecondsFromTheFirstCall()
    {
        ManualScheduler clock;
        ToastManager toast(clock);
        QSignalSpy changes(&toast, &ToastManager::isShowingChanged);
        toast.show(QStringLiteral("a"));
        clock.advance(1000ms);
        toast.show(QStringLiteral("b"));
        QCOMPARE(toast.message(), QStringLiteral("b"));
        clock.advance(999ms);
        QVERIFY(toast.isShowing());
        clock.advance(1ms);
        QVERIFY(!toast.isShowing());
        QCOMPARE(toast.message(), QStringLiteral("b"));
        clock.advance(1000ms);
        QVERIFY(!toast.isShowing());
        QCOMPARE(changes.count(), 2);
    }

    void resetOfADestroyedManagerNeverRuns()
    {
        ManualScheduler clock;
        auto *toast = new ToastManager(clock);
        toast->show(QStringLiteral("x"));
        delete toast;
        QCOMPARE(clock.pending(), size_t(0));
        clock.advance(5000ms); // would touch freed memory under ASan
    }

    void realTimerResets()
    {
        ToastManager toast;
        toast.show(QStringLiteral("x"));
        QVERIFY(toast.isShowing());
        QTRY_VERIFY_WITH_TIMEOUT(!toast.isShowing(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestToast)
#include "tst_toast.moc"
