#include "AccountFixture.h"
#include "QuickItems.h"
#include "account/ChangePasswordView.h"
#include "account/LoginView.h"
#include "account/VersionChecker.h"
#include "core/Scheduler.h"
#include "core/UrlOpener.h"
#include "support/QmlPageFixture.h"
#include "support/TestData.h"

#include <QAccessible>
#include <QQuickStyle>
#include <QScopeGuard>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <tuple>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvelleSessionPlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleAccountPlugin)

using namespace orvelle;
using namespace orvelle::test;
using namespace std::chrono_literals;

namespace {
// What a screen reader connected to the client is told the item is called.
QString nameInTree(QQuickItem *item)
{
    QAccessibleInterface *node = QAccessible::queryAccessibleInterface(item);
    return node ? node->text(QAccessible::Name) : QStringLiteral("(not in the tree)");
}

// Each field found on the page by its name, and that name in the tree.
bool named(QObject *page, const QStringList &names)
{
    for (const QString &name : names) {
        QQuickItem *field = QmlPageFixture::findItem(page, name);
        if (!field || nameInTree(field) != name) {
            qWarning("field \"%s\": %s", qPrintable(name),
                     field ? qPrintable("named \"" + nameInTree(field) + '"') : "not found");
            return false;
        }
    }
    return true;
}
} // namespace

// The account pages as a person uses them: the sign-in's wait, and the names
// a screen reader gives the fields.
class TestAccountPages : public QObject, AccountFixture
{
    Q_OBJECT

    std::unique_ptr<VersionChecker> checker;

    static Answer answerOf(const QJsonObject &row)
    {
        Answer answer = Answer::json(row["answer"].toString().toStdString());
        if (row["drop"].toBool())
            answer.fault = Answer::Fault::DropHalfway;
        return answer;
    }
    static void pressEnter(QQuickItem *field)
    {
        field->forceActiveFocus();
        QTest::keyClick(field->window(), Qt::Key_Return);
    }

private slots:
    void initTestCase()
    {
        QQuickStyle::setStyle(QStringLiteral("Material"));
        QVERIFY(prepare());
    }

    void init()
    {
        server.clear();
        checker.reset();
        QVERIFY(start());
        checker = std::make_unique<VersionChecker>(VersionChecker::serviceQuery(*client), "5",
                                                   Scheduler::system(), UrlOpener::system());
    }

    void signInWaitsForItsAnswerAndSendsOnce_data()
    {
        addRows(QStringLiteral("account/held-sign-ins.json"));
    }
    // From "登入" to the answer, whichever it is: the button shows its work,
    // another tap or Enter sends nothing, the hint and guest entry still work.
    void signInWaitsForItsAnswerAndSendsOnce()
    {
        QFETCH(QJsonObject, row);
        server.setResponder([answer = answerOf(row)](const RecordedRequest &) { return answer; });
        server.holdAnswers(true);
        const auto letGo = qScopeGuard([this] {
            server.holdAnswers(false);
            server.setResponder(nullptr);
        });
        client->setTransferTimeout(std::chrono::milliseconds(row.value("timeoutMs").toInt(60000)));
        LoginView view(*session, *client, *checker, QUrl());
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/Account/qml/LoginPage.qml"),
                                     {{"view", QVariant::fromValue(&view)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        view.setProperty("phoneNumber", QStringLiteral("13800000001"));
        view.setProperty("password", QStringLiteral("pw"));
        QQuickItem *signIn = QmlPageFixture::findItem(page, "登入");
        QQuickItem *password = QmlPageFixture::findItem(page, "密码");
        QVERIFY(QmlPageFixture::settled(signIn));
        QVERIFY(!QmlPageFixture::findItem(page, "busyIndicator"));
        QVERIFY(QmlPageFixture::tap(signIn));
        QVERIFY(view.signingIn());
        QCOMPARE(running(), 1);
        QVERIFY(QmlPageFixture::findItem(page, "busyIndicator"));
        QVERIFY(QmlPageFixture::tap(signIn));
        pressEnter(password);
        QCOMPARE(running(), 1);
        QVERIFY(quickitems::tappable(QmlPageFixture::findItem(page, "游客访问")));
        QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(page, "忘记密码")));
        QCOMPARE(view.alert()->message(), QStringLiteral("请填写资讯服务申请单申请重置密码"));
        view.alert()->acknowledge();
        QVERIFY(view.signingIn());
        // Up to here nothing waited: the time-out cannot have come yet.
        QTRY_COMPARE(server.startedCount(), 1);

        // A time-out row's answer stays held: the client gives up on its own.
        if (!row.contains("timeoutMs"))
            server.holdAnswers(false);
        QTRY_VERIFY_WITH_TIMEOUT(!view.signingIn(), 20000);
        QVERIFY(!QmlPageFixture::findItem(page, "busyIndicator"));
        QCOMPARE(session->appState().isSignedIn(), row["signedIn"].toBool());
        QCOMPARE(view.alert()->shown() ? view.alert()->message() : QString(),
                 row["message"].toString());
        QCOMPARE(server.startedCount(), 1);

        // Over: Enter in the password field signs in again. A failure keeps
        // what was typed and stores nothing.
        if (view.alert()->shown())
            view.alert()->acknowledge();
        QVERIFY(row["signedIn"].toBool()
                || (view.password() == "pw" && view.phoneNumber() == "13800000001"
                    && !shared->token()));
        QTRY_VERIFY(!QmlPageFixture::findItem(&fixture.window(), "确定"));
        pressEnter(password);
        QVERIFY(view.signingIn());
        QTRY_COMPARE(server.startedCount(), 2);
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // A reader that connects while a page is open, as one does, and one
    // already there when it opens: each field by the name its page gives.
    void fieldsReachScreenReadersByTheirNames()
    {
        const auto quiet = qScopeGuard([] { QAccessible::setActive(false); });
        LoginView login(*session, *client, *checker, QUrl());
        ChangePasswordView change(*session, *client, Scheduler::system());
        const std::tuple<QString, QObject *, QStringList> pages[]{
            {"LoginPage", &login, {"手机号", "密码"}},
            {"ChangePasswordPage", &change, {"请输入验证码", "请输入密码", "请重新输入密码"}}};
        for (const bool readerFirst : {false, true}) {
            for (const auto &[file, view, fields] : pages) {
                QAccessible::setActive(readerFirst);
                QmlPageFixture fixture;
                QObject *page = fixture.load(QUrl("qrc:/Orvelle/Account/qml/" + file + ".qml"),
                                             {{"view", QVariant::fromValue(view)}});
                QVERIFY2(page, qPrintable(fixture.warningText()));
                QAccessible::setActive(true);
                QVERIFY(named(page, fields));
                // Still a password field to the reader, which then does not echo keys.
                QQuickItem *password = QmlPageFixture::findItem(page, fields.last());
                QVERIFY(QAccessible::queryAccessibleInterface(password)->state().passwordEdit);
                QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
            }
        }
    }
};

QTEST_MAIN(TestAccountPages)
#include "tst_account_pages.moc"
