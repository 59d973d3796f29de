#include "account/LoginView.h"
#include "session/User.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace orvelle;

// The part of the sign-in screen that needs no service.
class TestLoginView : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString storeFile() const { return dir.filePath("account.ini"); }

    QVariant stored(const QString &key) const
    {
        return QSettings(storeFile(), QSettings::IniFormat).value(key);
    }

private slots:
    void init() { QFile::remove(storeFile()); }

    void phoneNumberChoosesTheEndpoint_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("path");
        QTest::newRow("mobile") << "13800000000"
                                << "/notes/MobileLogin";
        QTest::newRow("ten digits") << "1380000000"
                                    << "/notes/NotesLogin";
        QTest::newRow("twelve digits") << "138000000000"
                                       << "/notes/NotesLogin";
        QTest::newRow("not starting with 1") << "23800000000"
                                             << "/notes/NotesLogin";
        QTest::newRow("trailing newline") << "13800000000\n"
                                          << "/notes/NotesLogin";
        QTest::newRow("full-width digits") << "１３８００００００００"
                                           << "/notes/NotesLogin";
        QTest::newRow("notes name") << "zhang.san"
                                    << "/notes/NotesLogin";
    }
    void phoneNumberChoosesTheEndpoint()
    {
        QFETCH(QString, typed);
        QFETCH(QString, path);
        QCOMPARE(LoginView::signInPath(typed), path);
    }

    void emptyFieldsAreToastedNotSent()
    {
        User appState(storeFile()), shared(storeFile());
        LoginView view(appState, shared, QUrl("http://127.0.0.1/site/"));
        QSignalSpy requests(&view, &LoginView::signInRequested);

        view.signIn();
        QCOMPARE(view.toastManager()->message(), QStringLiteral("手机号不能为空"));
        QVERIFY(view.toastManager()->isShowing());

        view.setPassword(QStringLiteral("x"));
        view.signIn();
        QCOMPARE(view.toastManager()->message(), QStringLiteral("手机号不能为空"));

        view.setPhoneNumber(QStringLiteral("13800000000"));
        view.setPassword(QString());
        view.signIn();
        QCOMPARE(view.toastManager()->message(), QStringLiteral("密码不能为空"));
        QCOMPARE(requests.count(), 0);

        // What was typed is sent as it is: a blank is not trimmed away.
        view.setPhoneNumber(QStringLiteral(" zhang.san"));
        view.setPassword(QStringLiteral("a+b &c"));
        view.signIn();
        QCOMPARE(requests.count(), 1);
        QCOMPARE(requests.at(0).at(0).toString(), QStringLiteral("/notes/NotesLogin"));
        QCOMPARE(requests.at(0).at(1).toString(), QStringLiteral(" zhang.san"));
        QCOMPARE(requests.at(0).at(2).toString(), QStringLiteral("a+b &c"));
    }

    void refusalsLeadOnOnceAcknowledged()
    {
        User appState(storeFile()), shared(storeFile());
        LoginView view(appState, shared, QUrl());

        view.handleFailure(QStringLiteral("此账号未绑定手机号，请绑定手机号"));
        QVERIFY(view.showAlert());
        QVERIFY(view.shouldNavigate());
        QVERIFY(!view.shouldNavigatemobile());
        view.acknowledgeAlert();
        QVERIFY(!view.showAlert());
        QVERIFY(view.shouldNavigatemobile());
        view.setShouldNavigatemobile(false);

        // A later hint must not push the binding screen again.
        view.forgotPassword();
        QCOMPARE(view.alertMessage(), QStringLiteral("请填写资讯服务申请单申请重置密码"));
        view.acknowledgeAlert();
        QVERIFY(!view.shouldNavigatemobile());

        view.handleFailure(QStringLiteral("Notes与APP密码不一致，请前往修改密码"));
        QVERIFY(view.shouldNavigatepass());
        view.acknowledgeAlert();
        QVERIFY(view.shouldNavigatepassword());

        view.handleFailure(QStringLiteral("网络错误!"));
        QVERIFY(view.showAlert());
        QCOMPARE(view.alertMessage(), QStringLiteral("网络错误!"));
    }

    void webSiteNeedsAnAddress()
    {
        User appState(storeFile()), shared(storeFile());
        LoginView without(appState, shared, QUrl());
        without.openWebSite();
        QVERIFY(!without.showWebView());
        LoginView with(appState, shared, QUrl("https://www.example.org/"));
        with.openWebSite();
        QVERIFY(with.showWebView());
    }

    void guestModeWritesTheGuestAccount()
    {
        {
            QSettings settings(storeFile(), QSettings::IniFormat);
            settings.setValue("token", "old-token");
            settings.setValue("ou1", "岚石水泥");
            settings.setValue("password", "pw");
        }
        User appState(storeFile()), shared(storeFile());
        LoginView view(appState, shared, QUrl());
        QSignalSpy login(&appState, &User::isloginChanged);
        view.enterGuestMode();
        QCOMPARE(login.count(), 1);
        QVERIFY(appState.isSignedIn());
        QVERIFY(appState.isGuestMode());
        QCOMPARE(shared.username(), QStringLiteral("游客模式"));
        QCOMPARE(shared.mobile(), QStringLiteral("游客"));
        QCOMPARE(shared.ou1(), QString());
        QCOMPARE(stored("islogin").toString(), QStringLiteral("true"));
        QCOMPARE(stored("isGuest").toString(), QStringLiteral("true"));
        QCOMPARE(stored("ou1").toString(), QString());
        QVERIFY(stored("ou1").isValid());
        QCOMPARE(stored("ou2").toString(), QString());
        QCOMPARE(stored("mobile").toString(), QStringLiteral("游客"));
        // An earlier sign-in's token and password stay.
        QCOMPARE(stored("token").toString(), QStringLiteral("old-token"));
        QCOMPARE(stored("password").toString(), QStringLiteral("pw"));
    }
};

QTEST_MAIN(TestLoginView)
#include "tst_loginview.moc"
