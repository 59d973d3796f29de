#include "DevServiceChild.h"
#include "hazard/SHazardDescriptorView.h"
#include "net/Endpoints.h"
#include "net/PhotoUploader.h"
#include "session/Session.h"
#include "support/FilingFixture.h"
#include "support/SqlAnswer.h"
#include "support/StoredWork.h"
#include "support/TestData.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace orvelle;
using namespace orvelle::test;

// Sign-ins, sign-outs, guests and ends of a sign-in in turn, against the
// outbox and the forms, with the real dev service judging every token: an
// entry goes only with the account that made it, and only with a token of
// the sign-in that sends it.
class TestSessions : public QObject, FilingFixture
{
    Q_OBJECT

    QTemporaryDir home;
    std::unique_ptr<DevServiceChild> server;
    AppConfig config = AppConfig::defaults();
    std::unique_ptr<Session> session;
    std::unique_ptr<ServiceClient> client;
    std::unique_ptr<PhotoUploader> uploader;
    std::unique_ptr<SHazardDescriptorView> form;
    int photos = 60;

    bool settled()
    {
        QTest::qWait(0); // the session's queued announcements
        return QTest::qWaitFor([&] { return !outbox->isSending(); }, 30000);
    }
    bool signIn(const QString &phone, const QString &password)
    {
        bool answered = false;
        client->sendFormRequest(endpoints::form::mobileLogin,
                                {{"mobile", phone}, {"password", password}}, this,
                                [&](const auto &, qint64, const QJsonObject &json) {
                                    session->signIn(json, [](int, const QString &) {});
                                    answered = true;
                                },
                                {});
        return QTest::qWaitFor([&] { return answered; }, 30000) && settled();
    }
    // A report filed earlier that met no network, waiting in the outbox.
    bool queue(const QString &title, const QString &account)
    {
        QJsonObject report = recordIn(QStringLiteral("hazard/form.json"), "full report");
        report["server"] = config.notesServer;
        QJsonObject item = report["checkitems"][0].toObject();
        item["projectitem"] = title;
        item["distription"] = title;
        report["checkitems"] = QJsonArray{item};
        return queueReport(*store, account, title, {photo(++photos)}, report) != 0;
    }
    // The hazard form with its places in.
    bool openForm()
    {
        form = std::make_unique<SHazardDescriptorView>(*forms);
        form->appeared();
        return QTest::qWaitFor([&] { return !form->place().isEmpty(); }, 30000);
    }
    // Through the hazard form (the open one, or a new one), as a user files
    // it; whether it answered, and closed or stayed as told.
    bool report(const QString &title, bool closes)
    {
        if (!form && !openForm())
            return false;
        form->photos()->selectedImages()->append(storedPhoto(*store, photo(++photos)));
        describe(*form, title, 0);
        form->submit();
        const bool answered = QTest::qWaitFor([&] { return form->alert()->shown(); }, 60000);
        const bool ended =
            answered && !form->isLoading() && form->navigateToContentView() == closes;
        form.reset();
        return ended;
    }
    // How many reports the service holds with this description, and their "mobile"s.
    QString stored(const QString &title) const
    {
        return sqlAnswer(server->databaseFile(),
                         QStringLiteral("SELECT rtrim(count(*) || ' ' || ifnull(group_concat("
                                        "s.mobile), '')) FROM sheets s JOIN sheet_items i "
                                        "USING (frmno) WHERE i.distription = '%1'")
                             .arg(title));
    }
    bool expect(const QStringList &words)
    {
        const QHash<QString, Session::State> states{{"SignedIn", Session::State::SignedIn},
                                                    {"Ended", Session::State::Ended}};
        if (words[1] == "session")
            return session->state() == states.value(words[2]);
        if (words[1] == "waiting")
            return outbox->waitingCount() == words[2].toInt();
        const QString was = stored(words[1]);
        const QString want = words.mid(2).join(' ');
        if (was != want)
            qWarning() << words[1] << "stored" << was << "not" << want;
        return was == want;
    }
    bool step(const QString &text)
    {
        const QStringList words = text.split(' ');
        const QString &verb = words[0];
        if (verb == "sign" && words[1] == "in")
            return signIn(words[2], words[3]);
        if (verb == "sign")
            return session->signOut(), settled();
        if (verb == "guest")
            return session->enterGuest(), settled();
        if (verb == "stale")
            return session->account().setToken(QStringLiteral("0123456789abcdef")), true;
        if (verb == "queue")
            return queue(words[1], words[2]);
        if (verb == "settle")
            return outbox->retry(), settled();
        if (verb == "open")
            return openForm();
        if (verb == "report")
            return report(words[1], words[2] == "closes");
        return verb == "expect" && expect(words);
    }

private slots:
    void initTestCase()
    {
        server = std::make_unique<DevServiceChild>(ORVELLE_DEVSERVER_EXE,
                                                   home.filePath("devserver"), ORVELLE_TEST_HOST);
        QString error;
        QVERIFY2(server->start({}, &error), qPrintable(error));
        config.serviceHost = config.fileStoreHost = server->host();
        config.caFile = server->caFile();
    }
    void init()
    {
        form.reset();
        release();
        client.reset();
        QFile::remove(home.filePath("account.ini"));
        session = std::make_unique<Session>(home.filePath("account.ini"));
        client = std::make_unique<ServiceClient>(config, *session);
        uploader = std::make_unique<PhotoUploader>(config);
        QVERIFY(renew(*client, *uploader, *session, config.notesServer));
    }

    void sequences_data() { addRows(QStringLiteral("outbox/session-sequences.json")); }
    void sequences()
    {
        QFETCH(QJsonObject, row);
        int number = 0;
        for (const QJsonValue &text : row["steps"].toArray())
            QVERIFY2(step(text.toString()),
                     qPrintable(QStringLiteral("step %1: %2").arg(++number).arg(text.toString())));
    }
};

QTEST_MAIN(TestSessions)
#include "tst_sessions.moc"
