#include "DevServerFixture.h"

#include <QJsonArray>
#include <QtTest>

namespace {

constexpr qint64 tokenLifetimeMs = 60 * 1000;
constexpr qint64 codeLifetimeMs = 30 * 1000;

const QString unboundText = QStringLiteral("此账号未绑定手机号，请绑定手机号");
const QString mismatchText = QStringLiteral("Notes与APP密码不一致，请前往修改密码");

} // namespace

// Sign-in, tokens, the published version, verification codes, binding and
// password change, each followed through to what it changes.
class TestDevServerAccount : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<DevServerFixture>();
        m_fixture->options().tokenLifetimeMs = tokenLifetimeMs;
        m_fixture->options().codeLifetimeMs = codeLifetimeMs;
        QString error;
        QVERIFY2(m_fixture->start(&error), qPrintable(error));
    }
    void cleanup() { m_fixture.reset(); }

    void signIn()
    {
        struct Row
        {
            const char *path, *mobile, *password;
            QString msg; // empty: success
            QString username;
        };
        const QList<Row> rows{
            {"/notes/MobileLogin", "13800000001", "orvelle1", {}, "zhangwei"},
            {"/notes/NotesLogin", "liming", "orvelle2", {}, "liming"},
            {"/notes/NotesLogin", "wangfang", "orvelle3", unboundText, {}},
            {"/notes/NotesLogin", "chenjing", "orvelle4", mismatchText, {}},
            {"/notes/MobileLogin", "13800000001", "orvelle2", "密码错误", {}},
            {"/notes/NotesLogin", "nobody", "x", "账号不存在", {}},
            // An account name at the phone endpoint.
            {"/notes/MobileLogin", "zhangwei", "orvelle1", "账号不存在", {}},
        };
        for (const Row &row : rows) {
            const auto reply = m_fixture->postForm(row.path, {{"mobile", row.mobile},
                                                              {"password", row.password},
                                                              {"PhoneAppType", "ios"},
                                                              {"verson", "ios"}});
            QVERIFY2(reply.status == 200, row.mobile);
            QVERIFY2(reply.json.value("code").isDouble(), row.mobile);
            if (!row.msg.isEmpty()) {
                QVERIFY2(reply.code() == 0, row.mobile);
                QCOMPARE(reply.msg(), row.msg);
                QVERIFY2(!reply.json.contains("userinfo"), row.mobile);
                continue;
            }
            QVERIFY2(reply.code() == 1, row.mobile);
            const QJsonObject info = reply.json.value("userinfo").toObject();
            QCOMPARE(info.value("username").toString(), row.username);
            for (const char *key : {"mobile", "username", "jobnumber", "ou1", "ou2", "token",
                                    "dept", "password", "positiongrade", "position", "level"})
                QVERIFY2(info.value(QLatin1String(key)).isString(), key);
            QCOMPARE(info.value("password").toString(), QString::fromUtf8(row.password));
            QCOMPARE(info.value("dept").toString(),
                     info.value("ou1").toString() + '/' + info.value("ou2").toString());
        }
    }

    void everySignInGetsItsOwnTokenUntilItExpires()
    {
        const QString first = m_fixture->signIn("zhangwei", "orvelle1");
        m_fixture->advance(tokenLifetimeMs / 2);
        const QString second = m_fixture->signIn("zhangwei", "orvelle1");
        QVERIFY(!first.isEmpty());
        QVERIFY(first != second);
        QCOMPARE(places(first).code(), 1);

        m_fixture->advance(tokenLifetimeMs / 2 + 1);
        const auto expired = places(first);
        QCOMPARE(expired.code(), 9);
        QCOMPARE(expired.msg(), QStringLiteral("登录已过期，请重新登录"));
        QCOMPARE(places(second).code(), 1);
        QCOMPARE(places("forged").code(), 9);
        QCOMPARE(places(QString()).code(), 9);
    }

    void publishedBuildIsAnnouncedAndKept()
    {
        const auto first = m_fixture->postForm("/notes/QueryVersion2", {{"edition", "ios"}});
        QCOMPARE(first.code(), 1);
        const QJsonObject version = first.json.value("version").toObject();
        QVERIFY(version.value("v_number").isDouble());
        QCOMPARE(version.value("v_number").toInt(), 1);
        QVERIFY(version.value("v_address").toString().startsWith("http://"));
        QVERIFY(version.value("v_meno").isString());

        m_fixture->options().publishBuild = 13;
        QString error;
        QVERIFY2(m_fixture->start(&error), qPrintable(error));
        m_fixture->options().publishBuild.reset();
        QVERIFY2(m_fixture->start(&error), qPrintable(error));
        const auto later = m_fixture->postForm("/notes/QueryVersion2", {{"edition", "ios"}});
        QCOMPARE(later.json.value("version").toObject().value("v_number").toInt(), 13);

        QCOMPARE(m_fixture->postForm("/notes/QueryVersion2", {{"edition", "android"}}).code(), 0);
    }

    void bindingNeedsAFreshCodeUsedOnce()
    {
        const auto badNumber =
            m_fixture->postForm("/notes/verifyRegistCode", {{"mobile", "2390000"}});
        QCOMPARE(badNumber.msg(), QStringLiteral("请输入正确的手机号"));
        const auto taken =
            m_fixture->postForm("/notes/verifyRegistCode", {{"mobile", "13800000001"}});
        QCOMPARE(taken.code(), 0);
        QVERIFY(m_fixture->lastCode("13800000001").isEmpty());

        const QString code = sendCode("/notes/verifyRegistCode", "13900000003");
        QCOMPARE(code.size(), 6);
        const QString wrong = code == "000000" ? "111111" : "000000";
        QCOMPARE(bind(wrong).msg(), QStringLiteral("验证码错误"));
        QCOMPARE(bind(code, "not-it").msg(), QStringLiteral("密码错误"));
        const auto bound = bind(code);
        QCOMPARE(bound.code(), 1);
        QVERIFY(!bound.msg().isEmpty());
        QCOMPARE(bind(code).msg(), QStringLiteral("验证码已使用，请重新获取"));

        // The account now signs in both ways, and its answer names the number.
        const auto notes = m_fixture->postForm("/notes/NotesLogin",
                                               {{"mobile", "wangfang"}, {"password", "orvelle3"}});
        QCOMPARE(notes.code(), 1);
        QCOMPARE(notes.json["userinfo"]["mobile"].toString(), QStringLiteral("13900000003"));
        QCOMPARE(m_fixture
                     ->postForm("/notes/MobileLogin",
                                {{"mobile", "13900000003"}, {"password", "orvelle3"}})
                     .code(),
                 1);
    }

    void codesExpire()
    {
        const QString code = sendCode("/notes/verifyRegistCode", "13900000003");
        m_fixture->advance(codeLifetimeMs + 1);
        QCOMPARE(bind(code).msg(), QStringLiteral("验证码已过期，请重新获取"));
        QCOMPARE(
            m_fixture
                ->postForm("/notes/NotesLogin", {{"mobile", "wangfang"}, {"password", "orvelle3"}})
                .msg(),
            unboundText);
    }

    void passwordChangeEndsOldSignIns()
    {
        const QString oldToken = m_fixture->signIn("zhangwei", "orvelle1");
        const auto request = m_fixture->postForm(
            "/notes/verifyRegistReCode",
            {{"mobile", "13800000001"}, {"token", oldToken.toStdString()}, {"verson", "ios"}});
        QCOMPARE(request.code(), 1);
        const QString code = m_fixture->lastCode("13800000001");
        const auto change = [&](const char *name, const char *password) {
            return changePassword(code, "13800000001", name, password);
        };
        QCOMPARE(change("zhangwei", "short").msg(), QStringLiteral("密码长度不能小于6位"));
        QCOMPARE(change("liming", "newpass1").msg(), QStringLiteral("手机号与账号不符"));
        QCOMPARE(change("zhangwei", "newpass1").code(), 1);
        QCOMPARE(change("zhangwei", "newpass2").msg(), QStringLiteral("验证码已使用，请重新获取"));

        QCOMPARE(places(oldToken).code(), 9);
        QVERIFY(m_fixture->signIn("zhangwei", "orvelle1").isEmpty());
        QVERIFY(!m_fixture->signIn("zhangwei", "newpass1").isEmpty());

        // The account whose Notes password differed is brought in line.
        const QString other = sendCode("/notes/verifyRegistReCode", "13800000004");
        QCOMPARE(changePassword(other, "13800000004", "chenjing", "一二三四五六").code(), 1);
        QVERIFY(!m_fixture->signIn("chenjing", "一二三四五六").isEmpty());

        QCOMPARE(
            m_fixture->postForm("/notes/verifyRegistReCode", {{"mobile", "13911111111"}}).msg(),
            QStringLiteral("该手机号未绑定账号"));
    }

private:
    DevServerFixture::Reply places(const QString &token)
    {
        return m_fixture->call("/notes/notestodayqzDeptKs",
                               {{"db_vw", "vw-ProjectByQzdept"}, {"qzDept", "岚石水泥/矿山分厂"}},
                               token);
    }

    // Asks for a code and returns the one the service "sent".
    QString sendCode(const std::string &path, const QString &mobile)
    {
        if (m_fixture->postForm(path, {{"mobile", mobile.toStdString()}}).code() != 1)
            return {};
        return m_fixture->lastCode(mobile);
    }

    DevServerFixture::Reply bind(const QString &code, const char *password = "orvelle3")
    {
        return m_fixture->postForm("/notes/NotesTellNo", {{"code", code.toStdString()},
                                                          {"password", password},
                                                          {"username", "wangfang"},
                                                          {"mobile", "13900000003"}});
    }

    DevServerFixture::Reply changePassword(const QString &code, const char *mobile,
                                           const char *name, const char *password)
    {
        return m_fixture->postForm("/notes/NotesChangePassword", {{"code", code.toStdString()},
                                                                  {"mobile", mobile},
                                                                  {"repassword", password},
                                                                  {"name", name}});
    }

    std::unique_ptr<DevServerFixture> m_fixture;
};

QTEST_GUILESS_MAIN(TestDevServerAccount)
#include "tst_devserver_account.moc"
