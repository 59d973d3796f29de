#include "AccountFixture.h"
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

// The account pages as a person uses them: the names a screen reader gives
// the fields.
class TestAccountPages : public QObject, AccountFixture
{
    Q_OBJECT

    std::unique_ptr<VersionChecker> checker;

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
