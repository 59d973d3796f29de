#include "session/Session.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include <orvelle/BuildInfo.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using orvelle::OptionalText;
using orvelle::Session;
using orvelle::User;
using orvelle::test::addRows;
using orvelle::test::fileContents;

namespace {
// Opens a store; `logged` tells whether loading it wrote to the store's log.
std::unique_ptr<User> load(const QString &file, bool &logged)
{
    const orvelle::test::LogCapture log(QStringLiteral("orvelle.store"));
    auto user = std::make_unique<User>(file);
    logged = !log.lines().isEmpty();
    return user;
}

// Owner, group and other; Qt's "user" bits repeat the owner's.
const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
QFileDevice::Permissions modeOf(const QString &file)
{
    return QFileInfo(file).permissions() & QFileDevice::Permissions::fromInt(0x7077);
}
} // namespace

class TestUser : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString storeFile() const { return dir.filePath("account.ini"); }

    QVariant stored(const QString &key) const
    {
        QSettings s(storeFile(), QSettings::IniFormat);
        return s.value(key);
    }

    // What a fresh instance reads: the file's entry, or the keychain's secret.
    QVariant readBack(const QString &key) const
    {
        if (key != "token" && key != "password")
            return stored(key);
        const User again(storeFile());
        const OptionalText secret = key == "token" ? again.token() : again.password();
        return secret ? QVariant(*secret) : QVariant();
    }

private slots:
    void init()
    {
        {
            User record(storeFile());
            record.setToken(std::nullopt);
            record.setPassword(std::nullopt);
        }
        QFile::remove(storeFile());
    }

    // Every field under its own key, read back by a fresh instance: the
    // password and the token from the keychain, the others from the file.
    void allSixteenKeysRoundTrip()
    {
        const std::tuple<const char *, void (User::*)(const OptionalText &),
                         OptionalText (User::*)() const, QString>
            fields[]{
                {"mobile", &User::setMobile, &User::mobile, "13800000000"},
                {"username", &User::setUsername, &User::username, "张三"},
                {"jobnumber", &User::setJobnumber, &User::jobnumber, "J1"},
                {"ou1", &User::setOu1, &User::ou1, "岚石水泥"},
                {"ou2", &User::setOu2, &User::ou2, "安全部"},
                {"token", &User::setToken, &User::token, "tok=+/&"},
                {"islogin", &User::setIslogin, &User::islogin, "true"},
                {"asn", &User::setAsn, &User::asn, "asn"},
                {"loginout", &User::setLoginout, &User::loginout, "false"},
                {"dept", &User::setDept, &User::dept, "dept, with comma"},
                {"password", &User::setPassword, &User::password, "p@ss word"},
                {"positiongrade", &User::setPositiongrade, &User::positiongrade, "3"},
                {"position", &User::setPosition, &User::position, "inspector"},
                {"verson", &User::setVerson, &User::verson, "1.0.0"},
                // The empty text is a value, not absence.
                {"level", &User::setLevel, &User::level, ""},
                {"isGuest", &User::setIsGuest, &User::isGuest, "false"},
            };
        {
            User user(storeFile());
            QVERIFY(!user.isSignedIn());
            QCOMPARE(user.isloginText(), QString());
            for (const auto &[key, set, get, value] : fields) {
                QVERIFY2(!(user.*get)(), key);
                (user.*set)(value);
            }
        }
        User again(storeFile());
        for (const auto &[key, set, get, value] : fields)
            QCOMPARE((again.*get)(), value);
        const QStringList inFile = QSettings(storeFile(), QSettings::IniFormat).allKeys();
        QCOMPARE(inFile.size(), qsizetype(std::size(fields)) - 2);
        QVERIFY(!inFile.contains("token") && !inFile.contains("password"));
        QVERIFY(!fileContents(storeFile()).contains("tok=+/&"));
    }

    void absentRemovesAndNonTextLoadsAsAbsent()
    {
        {
            QSettings s(storeFile(), QSettings::IniFormat);
            s.setValue("mobile", 42);
            s.setValue("username", QStringList{"a", "b"});
            s.setValue("token", "t");
        }
        User user(storeFile());
        QVERIFY(!user.mobile());
        QVERIFY(!user.username());
        // A token an older client left in the file moves to the keychain.
        QCOMPARE(user.token(), QStringLiteral("t"));
        QVERIFY(!stored("token").isValid());
        QCOMPARE(readBack("token"), QStringLiteral("t"));
        user.setToken(std::nullopt);
        QVERIFY(!readBack("token").isValid());
    }

    // Without a Secret Service on the bus (a child run of this test): the
    // password and the token stay in memory, never in the file, and the user
    // is told once that the sign-in will not be remembered.
    void withoutAKeychainSecretsStayInMemory()
    {
        if (qgetenv("DBUS_SESSION_BUS_ADDRESS") != "unix:path=/none") {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.setEnvironment(QProcess::systemEnvironment()
                                 << "DBUS_SESSION_BUS_ADDRESS=unix:path=/none");
            child.start(QCoreApplication::applicationFilePath(), {QTest::currentTestFunction()});
            QVERIFY(child.waitForFinished(120000) && child.exitCode() == 0);
            return;
        }
        User user(storeFile());
        QSignalSpy told(&user, &User::storeFailed);
        user.applyLoginResponse(
            QJsonObject{{"userinfo", QJsonObject{{"token", "T-1"}, {"password", "pw-1"}}}},
            [](User &) {}, [](int, const QString &) {});
        QTRY_COMPARE(told.size(), 1);
        QCOMPARE(told[0][0].toString(), QStringLiteral("无法使用系统钥匙串，本次登录不会被记住"));
        QCOMPARE(readBack("password"), QStringLiteral("pw-1"));
        const QByteArray file = fileContents(storeFile());
        QVERIFY(file.contains("islogin=true") && !file.contains("T-1") && !file.contains("pw-1"));
    }

    // The secrets are read in the background: work that needs the token runs
    // once the keychain has answered, an answer that a later write made out
    // of date is never used, and a token a signed-out record kept goes.
    void secretsAreReadInTheBackground()
    {
        User(storeFile()).setToken(QStringLiteral("T-1"));
        User user(storeFile());
        user.readSecretsInBackground();
        User early(storeFile());
        OptionalText seen;
        user.whenTokenKnown(this, [&] { seen = user.token(); });
        QTRY_COMPARE(seen, QStringLiteral("T-1"));
        user.setToken(QStringLiteral("T-2"));
        QCOMPARE(early.token(), QStringLiteral("T-2"));
        bool ranAtOnce = false;
        user.whenTokenKnown(this, [&] { ranAtOnce = true; });
        QVERIFY(ranAtOnce);

        Session signedOut(storeFile());
        signedOut.readSecrets();
        QVERIFY(!User(storeFile()).token());
    }

    // Two instances share the file, not their memory; the flags announce
    // every assignment, also of the same value.
    void instancesAreNotLinkedAndFlagsPublish()
    {
        User a(storeFile());
        User b(storeFile());
        QSignalSpy login(&a, &User::isloginChanged);
        QSignalSpy guest(&a, &User::isGuestChanged);
        a.setIslogin(QStringLiteral("true"));
        a.setIslogin(QStringLiteral("true"));
        a.setIsGuest(QStringLiteral("false"));
        QCOMPARE(login.count(), 2);
        QCOMPARE(guest.count(), 1);
        QVERIFY(!b.islogin());
        QCOMPARE(stored("islogin").toString(), QStringLiteral("true"));
        // b writing another key must not undo a's write.
        b.setMobile(QStringLiteral("1"));
        QCOMPARE(stored("islogin").toString(), QStringLiteral("true"));
    }

    // The session announces a change once all of it is in both records, and
    // an end the service gave to an earlier sign-in ends nothing. An account
    // is known by its employee number, else by its phone, whose rebinding
    // moves it; never by its name; a guest is a guest whatever was kept.
    void sessionAnnouncesWholeChanges()
    {
        Session session(storeFile());
        QCOMPARE(session.state(), Session::State::SignedOut);
        QStringList heard;
        connect(&session, &Session::signedIn, this, [&](const QString &key) {
            heard << key + "/" + session.account().token().value_or("") + "/"
                         + session.appState().isloginText();
        });
        connect(&session, &Session::ended, this, [&] { heard << "ended"; });
        connect(
            &session, &Session::accountKeyChanged, this,
            [&](const QString &before, const QString &after) { heard << before + ">" + after; });
        const auto signIn = [&](const char *token, const char *jobnumber) {
            session.signIn(QJsonObject{{"userinfo", QJsonObject{{"username", "zhangwei"},
                                                                {"mobile", "13800000001"},
                                                                {"jobnumber", jobnumber},
                                                                {"token", token}}}},
                           [](int, const QString &) { QFAIL("refused"); });
        };
        signIn("t-1", "10001");
        session.phoneBound("13900000009");
        const quint64 first = session.generation();
        session.signOut();
        signIn("t-2", "");
        session.endedByService(first);
        QCOMPARE(session.state(), Session::State::SignedIn);
        session.phoneBound("13900000009");
        session.endedByService(session.generation());
        QCOMPARE(heard, QStringList({"job:10001/t-1/true", "mobile:13800000001/t-2/true",
                                     "mobile:13800000001>mobile:13900000009", "ended"}));
        QCOMPARE(stored("islogin").toString(), QStringLiteral("false"));
        QVERIFY(session.appState().isSignedIn()); // the tabs stay until the next start
        session.enterGuest();
        QCOMPARE(session.account().storeKey(), "guest");
    }

    void signedInOnlyForExactlyTrue()
    {
        User user(storeFile());
        for (const QString text : {"true", "TRUE", " true", "True", "true ", "1", ""}) {
            user.setIslogin(text);
            QVERIFY2(user.isSignedIn() == (text == QLatin1String("true")), qPrintable(text));
        }
    }

    // A row with "stored" signs in and leaves those entries (null: none);
    // any other fails with (-1, "登录失败") and changes nothing.
    void loginResponses_data() { addRows(QStringLiteral("session/login-answers.json")); }
    void loginResponses()
    {
        QFETCH(QJsonObject, row);
        User user(storeFile());
        user.setAsn(QStringLiteral("kept"));
        user.setMobile(QStringLiteral("old"));
        const QByteArray before = fileContents(storeFile());
        int code = 0;
        QString message;
        user.applyLoginResponse(
            row["answer"].toObject(), [&](User &u) { code = &u == &user ? 1 : 0; },
            [&](int c, const QString &m) {
                code = c;
                message = m;
            });
        if (!row.contains("stored")) {
            QCOMPARE(code, -1);
            QCOMPARE(message, QStringLiteral("登录失败"));
            QCOMPARE(fileContents(storeFile()), before);
            return;
        }
        QCOMPARE(code, 1);
        const QJsonObject expected = row["stored"].toObject();
        for (const QString &key : expected.keys())
            QVERIFY2(readBack(key)
                         == (expected[key].isNull() ? QVariant() : expected[key].toVariant()),
                     qPrintable(key));
        QCOMPARE(user.verson(), QString::fromLatin1(orvelle::build::marketingVersion));
    }

    // Files another writer or a crash could leave behind, as the Latin-1 of
    // "latin1". Each row has a file of its own: QSettings caches what it
    // parsed per file name.
    void damagedStoreLoadsSignedOut_data()
    {
        addRows(QStringLiteral("session/damaged-stores.json"));
    }

    void damagedStoreLoadsSignedOut()
    {
        QFETCH(QJsonObject, row);
        const QString file = dir.filePath(QString::number(qHash(row["tag"].toString())) + ".ini");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(row["latin1"].toString().toLatin1());
        }
        bool logged = false;
        const auto user = load(file, logged);
        QCOMPARE(logged, row["logged"].toBool());
        QVERIFY(!user->isSignedIn());
        // The next sign-in is stored: a damaged file must not fail every write.
        QSignalSpy failed(user.get(), &User::storeFailed);
        user->setIslogin(QStringLiteral("true"));
        user->setMobile(QStringLiteral("13800000000"));
        QCOMPARE(failed.count(), 0);
        QVERIFY(user->storeError().isEmpty());
        QVERIFY(fileContents(file).contains("islogin=true"));
        QCOMPARE(modeOf(file), ownerOnly);
    }

    // As root a read-only file does not make writes fail; a folder where the
    // file should be does.
    void unwritableStoreIsReported()
    {
        const QString blocked = dir.filePath("blocked.ini");
        QVERIFY(QDir().mkpath(blocked));
        bool logged = false;
        const auto user = load(blocked, logged);
        QVERIFY(logged);
        QVERIFY(!user->isSignedIn());

        QSignalSpy failed(user.get(), &User::storeFailed);
        QString errorSeenBySignIn;
        user->applyLoginResponse(
            QJsonDocument::fromJson(R"({"userinfo":{"token":"T","mobile":"13800000000"}})")
                .object(),
            [&](User &u) { errorSeenBySignIn = u.storeError(); },
            [](int, const QString &) { QFAIL("failure"); });
        QVERIFY(!errorSeenBySignIn.isEmpty());
        QVERIFY(failed.count() >= 1);
        QCOMPARE(failed.last().at(0).toString(), user->storeError());
        // Memory still holds the value so the screen can go on.
        QVERIFY(user->isSignedIn());

        // Once the obstacle is gone the next write lands, with what was pending.
        QVERIFY(QDir().rmdir(blocked));
        failed.clear();
        user->setLevel(QStringLiteral("2"));
        QCOMPARE(failed.count(), 0);
        QVERIFY(user->storeError().isEmpty());
        const QByteArray written = fileContents(blocked);
        QVERIFY(written.contains("level=2"));
        QVERIFY(written.contains("islogin=true"));
        QCOMPARE(modeOf(blocked), ownerOnly);
    }

    void storeIsOwnerOnly()
    {
        // A record left readable by an older build is closed at the next start.
        User(storeFile()).setMobile(QStringLiteral("1"));
        QFile::setPermissions(storeFile(),
                              ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        User user(storeFile());
        QCOMPARE(modeOf(storeFile()), ownerOnly);
        QCOMPARE(user.mobile(), QStringLiteral("1"));
    }
};

int main(int argc, char **argv)
{
    // Keep the default store away from the real config folder.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    TestUser test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_user.moc"
