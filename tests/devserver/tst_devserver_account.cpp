#include "DevServerFixture.h"
#include "support/TestData.h"

#include <QJsonArray>
#include <QtTest>

// Sign-in, tokens, the published version, verification codes, binding and
// password change, each followed through to what it changes. The end-to-end
// sign-in road walks the successful binding and password change.
class TestDevServerAccount : public DevServerTest
{
    Q_OBJECT

private slots:
    void signIn_data() { orvelle::test::addRows(QStringLiteral("devserver/sign-in.json")); }

    void signIn()
    {
        QFETCH(QJsonObject, row);
        const std::string password = row["password"].toString().toStdString();
        const auto reply = fixture->postForm(row["path"].toString().toStdString(),
                                             {{"mobile", row["mobile"].toString().toStdString()},
                                              {"password", password},
                                              {"PhoneAppType", "ios"},
                                              {"verson", "ios"}});
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.json.value("code").isDouble());
        if (row.contains("msg")) {
            QCOMPARE(reply.code(), 0);
            QCOMPARE(reply.msg(), row["msg"].toString());
            QVERIFY(!reply.json.contains("userinfo"));
            return;
        }
        QCOMPARE(reply.code(), 1);
        const QJsonObject info = reply.json.value("userinfo").toObject();
        QCOMPARE(info.value("username"), row["username"]);
        for (const char *key : {"mobile", "username", "jobnumber", "ou1", "ou2", "token", "dept",
                                "password", "positiongrade", "position", "level"})
            QVERIFY2(info.value(QLatin1String(key)).isString(), key);
        QCOMPARE(info.value("password"), row["password"]);
        QCOMPARE(info.value("dept").toString(),
                 info.value("ou1").toString() + '/' + info.value("ou2").toString());
    }

    void everySignInGetsItsOwnTokenUntilItExpires()
    {
        fixture->advance(tokenLifetimeMs / 2);
        const QString second = fixture->signIn("zhangwei", "orvelle1");
        QVERIFY(token != second);
        QCOMPARE(places(token).code(), 1);

        fixture->advance(tokenLifetimeMs / 2 + 1);
        const auto expired = places(token);
        QCOMPARE(expired.code(), 9);
        QCOMPARE(expired.msg(), QStringLiteral("登录已过期，请重新登录"));
        QCOMPARE(places(second).code(), 1);
        QCOMPARE(places("forged").code(), 9);
        QCOMPARE(places(QString()).code(), 9);
    }

    void publishedBuildIsAnnouncedAndKept()
    {
        const auto first = version();
        QCOMPARE(first.code(), 1);
        const QJsonObject announced = first.json.value("version").toObject();
        QVERIFY(announced.value("v_number").isDouble());
        QCOMPARE(announced.value("v_number").toInt(), 1);
        QVERIFY(announced.value("v_address").toString().startsWith("http://"));
        QVERIFY(announced.value("v_meno").isString());

        fixture->options().publishBuild = 13;
        QString error;
        QVERIFY2(fixture->start(&error), qPrintable(error));
        fixture->options().publishBuild.reset();
        QVERIFY2(fixture->start(&error), qPrintable(error));
        QCOMPARE(version().json.value("version")["v_number"].toInt(), 13);
        QCOMPARE(version("android").code(), 0);
    }

    void bindingNeedsAFreshCodeUsedOnce()
    {
        QCOMPARE(codeFor("/notes/verifyRegistCode", "2390000").msg(),
                 QStringLiteral("请输入正确的手机号"));
        QCOMPARE(codeFor("/notes/verifyRegistCode", "13800000001").code(), 0);
        QVERIFY(fixture->lastCode("13800000001").isEmpty());

        QCOMPARE(codeFor("/notes/verifyRegistCode", "13900000003").code(), 1);
        const QString code = fixture->lastCode("13900000003");
        QCOMPARE(code.size(), 6);
        const QString wrong = code == "000000" ? "111111" : "000000";
        QCOMPARE(bind(wrong).msg(), QStringLiteral("验证码错误"));
        QCOMPARE(bind(code, "not-it").msg(), QStringLiteral("密码错误"));
        const auto bound = bind(code);
        QCOMPARE(bound.code(), 1);
        QVERIFY(!bound.msg().isEmpty());
        QCOMPARE(bind(code).msg(), QStringLiteral("验证码已使用，请重新获取"));

        // The Notes sign-in's answer now names the number.
        const auto notes = fixture->postForm("/notes/NotesLogin",
                                             {{"mobile", "wangfang"}, {"password", "orvelle3"}});
        QCOMPARE(notes.json["userinfo"]["mobile"].toString(), QStringLiteral("13900000003"));
    }

    void codesExpire()
    {
        QCOMPARE(codeFor("/notes/verifyRegistCode", "13900000003").code(), 1);
        const QString code = fixture->lastCode("13900000003");
        fixture->advance(codeLifetimeMs + 1);
        QCOMPARE(bind(code).msg(), QStringLiteral("验证码已过期，请重新获取"));
        QCOMPARE(
            fixture
                ->postForm("/notes/NotesLogin", {{"mobile", "wangfang"}, {"password", "orvelle3"}})
                .msg(),
            QStringLiteral("此账号未绑定手机号，请绑定手机号"));
    }

    void passwordChangeEndsOldSignIns()
    {
        QCOMPARE(fixture
                     ->postForm("/notes/verifyRegistReCode", {{"mobile", "13800000001"},
                                                              {"token", token.toStdString()},
                                                              {"verson", "ios"}})
                     .code(),
                 1);
        const QString code = fixture->lastCode("13800000001");
        const auto change = [&](const char *name, const char *password) {
            return changePassword(code, "13800000001", name, password);
        };
        QCOMPARE(change("zhangwei", "short").msg(), QStringLiteral("密码长度不能小于6位"));
        QCOMPARE(change("liming", "newpass1").msg(), QStringLiteral("手机号与账号不符"));
        QCOMPARE(change("zhangwei", "newpass1").code(), 1);
        QCOMPARE(change("zhangwei", "newpass2").msg(), QStringLiteral("验证码已使用，请重新获取"));

        QCOMPARE(places(token).code(), 9);
        QVERIFY(fixture->signIn("zhangwei", "orvelle1").isEmpty());

        // The account whose Notes password differed is brought in line.
        QCOMPARE(codeFor("/notes/verifyRegistReCode", "13800000004").code(), 1);
        const QString other = fixture->lastCode("13800000004");
        QCOMPARE(changePassword(other, "13800000004", "chenjing", "一二三四五六").code(), 1);
        QVERIFY(!fixture->signIn("chenjing", "一二三四五六").isEmpty());

        QCOMPARE(codeFor("/notes/verifyRegistReCode", "13911111111").msg(),
                 QStringLiteral("该手机号未绑定账号"));
    }

private:
    DevServerFixture::Reply places(const QString &withToken)
    {
        return fixture->call("/notes/notestodayqzDeptKs",
                             {{"db_vw", "vw-ProjectByQzdept"}, {"qzDept", "岚石水泥/矿山分厂"}},
                             withToken);
    }

    DevServerFixture::Reply version(const char *edition = "ios")
    {
        return fixture->postForm("/notes/QueryVersion2", {{"edition", edition}});
    }

    // Asks for a code; the one the service "sent" is fixture->lastCode(mobile).
    DevServerFixture::Reply codeFor(const std::string &path, const char *mobile)
    {
        return fixture->postForm(path, {{"mobile", mobile}});
    }

    DevServerFixture::Reply bind(const QString &code, const char *password = "orvelle3")
    {
        return fixture->postForm("/notes/NotesTellNo", {{"code", code.toStdString()},
                                                        {"password", password},
                                                        {"username", "wangfang"},
                                                        {"mobile", "13900000003"}});
    }

    DevServerFixture::Reply changePassword(const QString &code, const char *mobile,
                                           const char *name, const char *password)
    {
        return fixture->postForm("/notes/NotesChangePassword", {{"code", code.toStdString()},
                                                                {"mobile", mobile},
                                                                {"repassword", password},
                                                                {"name", name}});
    }
};

QTEST_GUILESS_MAIN(TestDevServerAccount)
#include "tst_devserver_account.moc"
