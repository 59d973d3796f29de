#include "outbox/OutboxEntries.h"
#include "outbox/SheetDeliveryCheck.h"
#include "support/FormFixture.h"
#include "support/SqlAnswer.h"
#include "support/StoredWork.h"
#include "support/TestData.h"

#include <QAbstractItemModelTester>
#include <QJsonArray>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

using namespace orvelle;
using namespace orvelle::test;

namespace {
const QLatin1String record = endpoints::json::createDanger;
} // namespace

// The outbox against the test service: a real store in a temporary folder,
// real HTTPS, and a scheduler the test moves by hand.
class TestOutbox : public QObject, FormFixture
{
    Q_OBJECT

    // Queued as a form that met no network leaves it, then the outbox is asked.
    qint64 file(const QString &title, const QList<int> &widths)
    {
        QList<QImage> photos;
        for (int width : widths)
            photos.append(photo(width));
        const qint64 id = queueReport(*store, zhangwei, title, photos, {{"place", title}});
        outbox->retry();
        return id;
    }
    OutboxEntry entry(qint64 id) const
    {
        for (const OutboxEntry &found : store->outbox(zhangwei))
            if (found.id == id)
                return found;
        return {};
    }
    // A sheet opened under "K-1" and filed under "K-2", whose record went at
    // 02:00 UTC on 8 December and got no answer; its one photo is stored.
    OutboxEntry maybeArrivedSheet()
    {
        QStringList hashes;
        const Submission sheet{"sheet/K-1",
                               "sheet",
                               "K-1",
                               endpoints::json::createSheet,
                               {{"key", "K-2"}},
                               {{"image", "added", "----"}},
                               {{"key", "K-1"}, {"server", config.notesServer}}};
        std::optional<OutboxEntry> made;
        if (storePhotos(*store, {uploadJpeg(photo(60))}, hashes)
            && store->saveDraft({zhangwei, sheet.draftKey, {}, {{"added", hashes}}, {}}))
            made =
                store->enqueue(zhangwei, sheet.draftKey, sheet.kind, sheet.title, sheet.payload());
        if (!made || !store->recordUpload(made->id, hashes[0], "http://g/w60.jpg")
            || !store->setState(made->id, OutboxState::MaybeDelivered, {},
                                QDateTime::fromString("2026-12-08T02:00:00Z", Qt::ISODate)))
            return {};
        return entry(made->id);
    }
    bool idle() const
    {
        return QTest::qWaitFor([&] { return !outbox->isSending(); }, 20000);
    }

public:
    // As a child: delivers what the store holds until it is killed.
    static int deliverUntilKilled(const QString &storeFolder, const QString &accountFile)
    {
        Session session(accountFile);
        const AppConfig config = testConfig();
        ServiceClient client(config, session);
        PhotoUploader uploader(config);
        DeviceStore store;
        if (!store.open(storeFolder))
            return 1;
        Outbox outbox({client, uploader, store, session}, Scheduler::system());
        std::puts("sending");
        std::fflush(stdout);
        outbox.start();
        return QCoreApplication::exec();
    }

private slots:
    void initTestCase() { QVERIFY(start()); }
    void init()
    {
        QVERIFY(reset());
        QVERIFY(signIn());
    }

    // Entries go oldest first once the account signs in; one whose photo the
    // file store refused rests while the next goes, then only that photo is
    // sent again, and the record carries the addresses in the order they
    // were stored.
    void noEntryBlocksAnotherAndEachPhotoGoesOnce()
    {
        session->signOut();
        service->answerAlways(record, R"({"code":1,"msg":"ok"})");
        service->refuseWidth(21);
        const qint64 first = file("一号", {20, 21});
        const qint64 second = file("二号", {22});
        QVERIFY(first && second && service->uploadCount() == 0);
        QCOMPARE(outbox->waitingCount(), 2);

        QSignalSpy delivered(outbox.get(), &Outbox::delivered);
        QVERIFY(signIn());
        QVERIFY(QTest::qWaitFor([&] { return delivered.size() == 1 && idle(); }, 20000));
        QCOMPARE(delivered[0][0].toLongLong(), second);
        QCOMPARE(entry(first).state, OutboxState::Waiting);
        QCOMPARE(entry(first).reason, "上传失败，请重试。");
        QCOMPARE(entry(first).uploaded.size(), 1);
        QCOMPARE(service->uploadCount(), 3);

        // The file store takes it again; the retry comes after the backoff.
        service->refuseWidth(-1);
        scheduler->advance(Outbox::firstRetry);
        QVERIFY(QTest::qWaitFor([&] { return delivered.size() == 2; }, 20000));
        QCOMPARE(delivered[1][0].toLongLong(), first);
        QCOMPARE(service->uploadCount(), 4);
        QCOMPARE(service->requestCount(record), 2);
        const QJsonObject body = service->lastBody(record);
        QCOMPARE(body["image"], "http://g/w20.jpg----http://g/w21.jpg");
        QCOMPARE(body["token"], "t-1");
        QCOMPARE(outbox->waitingCount(), 0);
    }

    // How each failure of the record request leaves the entry, and whether
    // the outbox tries again by itself.
    void recordFailures_data() { addRows(QStringLiteral("outbox/record-failures.json")); }
    void recordFailures()
    {
        QFETCH(QJsonObject, row);
        const QHash<QString, OutboxState> states{{"failed", OutboxState::Failed},
                                                 {"waiting", OutboxState::Waiting},
                                                 {"maybe delivered", OutboxState::MaybeDelivered}};
        if (row["fault"] == "untrusted") {
            AppConfig untrusting = config;
            untrusting.caFile = QString::fromStdString(HttpsTestServer::otherCaFile());
            release();
            client = std::make_unique<ServiceClient>(untrusting, *session);
            rebuild();
        }
        Answer answer = Answer::json(row["answer"].toString().toStdString());
        if (row["fault"] == "drop")
            answer.fault = Answer::Fault::DropHalfway;
        server.setResponder([answer](const RecordedRequest &) { return answer; });
        QSignalSpy failed(outbox.get(), &Outbox::attemptFailed);
        const qint64 id = file("漏水", {});
        QVERIFY(QTest::qWaitFor([&] { return failed.size() == 1; }, 20000));
        QCOMPARE(failed[0][1].value<Delivery::Result>().failure.mayHaveArrived,
                 row["mayHaveArrived"].toBool());
        QCOMPARE(entry(id).state, states.value(row["state"].toString()));
        QCOMPARE(scheduler->pending() > 0, row["triesAgain"].toBool());
    }

    // A mark that cannot be written stops the outbox and says so: without its
    // "sending" mark nothing goes; a record whose "sent" mark was lost never
    // goes again without the user's word. Delivered, its photos go at once.
    void aMarkNotWrittenStopsTheOutbox_data() { addRows(QStringLiteral("outbox/marks.json")); }
    void aMarkNotWrittenStopsTheOutbox()
    {
        QFETCH(QJsonObject, row);
        const QString mark = row["mark"].toString();
        service->answerAlways(record, R"({"code":1,"msg":"ok"})");
        const QString db = store->databaseFile();
        sqlAnswer(db, "CREATE TRIGGER full BEFORE UPDATE ON outbox WHEN NEW.state = '" + mark
                          + "' BEGIN SELECT RAISE(ABORT, 'disk full'); END");
        const qint64 id = file("满", {60});
        QVERIFY(QTest::qWaitFor([&] { return outbox->problem().contains("disk full"); }, 20000));
        QCOMPARE(service->requestCount(record), mark == "sent" ? 1 : 0);
        sqlAnswer(db, "DROP TRIGGER full");
        outbox->start(); // as the next run finds it
        outbox->retry();
        QVERIFY(idle());
        QCOMPARE(service->requestCount(record), 1);
        // Delivered and gone, or waiting for the user's word.
        QCOMPARE(entry(id).state == OutboxState::MaybeDelivered, mark == "sent");
        QCOMPARE(QDir(storeDir->filePath("photos")).isEmpty(), mark == "sending");
    }

    // A photo file gone or damaged fails its entry in words and holds no one
    // back; the user takes entries out ("删除", "已提交") with their photos,
    // or back into their form ("编辑", not over a draft the form keeps). A
    // report that may have arrived (the kill loop below makes them) is listed
    // as such and goes again only on the user's word.
    void theInspectorActsOnEachEntry()
    {
        service->answerAlways(record, R"({"code":1,"msg":"ok"})");
        session->signOut();
        const qint64 damaged = file("坏照片", {30});
        const qint64 gone = file("丢照片", {31});
        const qint64 maybe = file("也许", {});
        const qint64 edited = file("再改", {32});
        const qint64 cut = file("中断", {});
        QVERIFY(store->setState(maybe, OutboxState::MaybeDelivered)
                && store->setState(cut, OutboxState::MaybeDelivered));
        QFile photo(store->photoFile(entry(damaged).photos["photos"][0]));
        QVERIFY(photo.open(QIODevice::ReadWrite) && photo.write("x") && photo.flush());
        QVERIFY(QFile::remove(store->photoFile(entry(gone).photos["photos"][0])));
        QVERIFY(store->saveDraft({zhangwei, "再改", {{"new", 1}}, {}, {}}));
        QVERIFY(!outbox->edit(edited) && !outbox->confirmDelivered(edited));
        QVERIFY(store->removeDraft(zhangwei, "再改") && outbox->edit(edited));
        QCOMPARE(store->loadDraft(zhangwei, "再改")->photos["photos"].size(), 1);
        OutboxEntries listed(*outbox);
        QAbstractItemModelTester tester(&listed,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(listed.rowCount(), 4); // oldest first: the cut one last
        QVERIFY(listed.index(3).data(OutboxEntries::StateRole).toString().endsWith("未收到回复）"));
        QVERIFY(listed.index(3).data(OutboxEntries::CanResendRole).toBool());

        QVERIFY(signIn());
        QTest::qWait(0);
        QVERIFY(idle());
        for (const qint64 id : {damaged, gone})
            QVERIFY(entry(id).state == OutboxState::Failed
                    && entry(id).reason == Delivery::photoDamagedMessage());
        QCOMPARE(service->uploadCount() + service->requestCount(record), 0);
        QVERIFY(!outbox->remove(edited) && outbox->confirmDelivered(maybe));
        QVERIFY(outbox->remove(damaged) && outbox->remove(gone));
        outbox->resend(cut);
        QTRY_COMPARE_WITH_TIMEOUT(service->requestCount(record), 1, 20000);
        QVERIFY(idle());
        QCOMPARE(outbox->waitingCount(), 0);
        QCOMPARE(QDir(storeDir->filePath("photos")).entryList(QDir::Files).size(), 1);
    }

    // Entries belong to an account, not to its name. Another employee of
    // the same name signs in while an entry's photo is on its way: that
    // record waits for its own account and then goes with that one's token,
    // while the queue goes on at once with the newcomer's own entry. An
    // attempt on another account's entry never sends its record.
    void aSignInMidDeliveryHoldsTheRecord()
    {
        service->answerAlways(record, R"({"code":1,"msg":"ok"})");
        const QString namesake = QStringLiteral("job:10002");
        const qint64 theirs = queueReport(*store, namesake, "同名", {}, {{"place", "同名"}});
        std::optional<Delivery::Result> refused;
        FilingServices filing{*client, *uploader, *store, *session};
        Delivery::run(filing, Parcel::of(store->outbox(namesake).constFirst()), this,
                      [&](const Delivery::Result &result) { refused = result; });
        QTRY_VERIFY(refused.has_value());
        QCOMPARE(refused->outcome, Delivery::Outcome::SessionChanged);

        service->delayByWidth(true); // about a second for this photo
        const qint64 id = file("换人", {10});
        QVERIFY(outbox->isSending());
        session->signOut();
        QVERIFY(signIn("t-2", "zhangwei", "10002"));
        QTRY_COMPARE_WITH_TIMEOUT(service->requestCount(record), 1, 20000);
        QCOMPARE(service->lastBody(record)["place"], "同名");
        QCOMPARE(service->lastBody(record)["token"], "t-2");
        QTRY_VERIFY(store->outbox(namesake).isEmpty() && theirs != id);
        QVERIFY(idle());
        QCOMPARE(entry(id).state, OutboxState::Waiting);
        QCOMPARE(entry(id).uploaded.size(), 1);
        QVERIFY(signIn("t-3"));
        QTRY_COMPARE_WITH_TIMEOUT(service->requestCount(record), 2, 20000);
        QCOMPARE(service->lastBody(record)["token"], "t-3");
        QCOMPARE(service->uploadCount(), 1);
    }

    // An account known by its phone keeps its work through a rebinding.
    void workFollowsARebinding()
    {
        QVERIFY(signIn("t-1", "zhangwei", ""));
        const qint64 id = queueReport(*store, "mobile:13800000001", "绑定", {}, {});
        session->phoneBound("13900000009");
        QCOMPARE(outbox->account(), "mobile:13900000009");
        QCOMPARE(store->outbox("mobile:13900000009").value(0).id, id);
    }

    // The outbox sends a missing sheet again only after a second look, a
    // while after the first, has missed it too; a look the service refuses
    // rests like any failure instead of coming round again at once. The
    // service's clock, as its answers' Date header tells it, is "now".
    void aMissedSheetIsLookedForTwice_data() { addRows("outbox/missed-sheet.json"); }
    void aMissedSheetIsLookedForTwice()
    {
        QFETCH(QJsonObject, row);
        const QLatin1String dayList = endpoints::json::todayDeptCheck;
        service->setDate("Tue, 08 Dec 2026 03:00:00 GMT");
        service->answerAlways(dayList, answerText(row["list"]));
        service->answerAlways(endpoints::json::createSheet, R"({"code":1,"msg":"ok"})");
        bool clockSet = false;
        const auto done = [&](auto &&...) { clockSet = true; };
        client->sendJSONRequest(endpoints::json::todayCheckNo, {}, this, done, done);
        QTRY_VERIFY(clockSet);
        QVERIFY(qAbs(client->serviceNow().secsTo(
                    QDateTime::fromString("2026-12-08T03:00:00Z", Qt::ISODate)))
                < 60);
        const OutboxEntry sheet = maybeArrivedSheet();
        outbox->retry();
        QVERIFY(idle());
        QTest::qWait(200);
        // Each look reads the lists of both keys.
        const int looks = row["list"].toObject()["code"].toInt() == 1 ? 2 : 1;
        QCOMPARE(service->requestCount(dayList), looks);
        QCOMPARE(service->requestCount(endpoints::json::createSheet), 0);
        scheduler->advance(Outbox::firstRetry);
        QVERIFY(idle());
        QTRY_COMPARE(service->requestCount(dayList), 2 * looks);
        QVERIFY(idle());
        QCOMPARE(service->requestCount(endpoints::json::createSheet), looks == 2 ? 1 : 0);
        // Filed and gone, or still waiting to be told.
        QCOMPARE(store->outbox(zhangwei).isEmpty(), looks == 2);
        if (looks == 1)
            QCOMPARE(entry(sheet.id).state, OutboxState::MaybeDelivered);
    }

    // A sheet that may have arrived is looked for under the key it was opened
    // with and the key the service gave it, among the sheets of the day its
    // record went, read in one time zone, by either photo field. Near a
    // midnight, or on another day, it waits for the user's word; a day that
    // the service's clock says is over cannot be told.
    void sheetDeliveryCheck_data() { addRows("outbox/sheet-check.json"); }
    void sheetDeliveryCheck()
    {
        QFETCH(QJsonObject, row);
        using sheetDelivery::Outcome;
        const QHash<QString, Outcome> outcomes{{"delivered", Outcome::Delivered},
                                               {"sent again", Outcome::NotDelivered},
                                               {"unknown", Outcome::Unknown}};
        Parcel sheet = Parcel::of(maybeArrivedSheet());
        if (row.contains("attempt"))
            sheet.lastAttempt = QDateTime::fromString(row["attempt"].toString(), Qt::ISODate);
        const QDateTime now = QDateTime::fromString(row["now"].toString(), Qt::ISODate);
        const QTimeZone zone(row["zone"].toInt() * 3600);
        const bool checkable = sheetDelivery::checkable(sheet, now, zone);
        QCOMPARE(checkable, row["outcome"] != "user's word");
        if (!checkable)
            return;
        // Both keys list F2 and F1 (or only the key named); F1 holds the photo.
        const QString listed = row["listedUnder"].toString();
        const QString field = row["field"].toString("image");
        const std::string date =
            row["serviceDate"]
                .toString(QLocale::c().toString(now.toUTC(), "ddd, dd MMM yyyy HH:mm:ss 'GMT'"))
                .toStdString();
        server.setResponder([listed, field, date](const RecordedRequest &request) {
            const QJsonObject body =
                QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
            QJsonObject found{{"code", 1}, {"checkitems", QJsonArray()}};
            if (body["frmno"] == "F1")
                found = {{"code", 1}, {field, "http://g/w60.jpg"}};
            else if (body["frmno"] == "F2")
                found = {{"code", 1}, {"image", "http://g/w9.jpg"}};
            else if (listed.isEmpty() || body["key"] == listed)
                found["checkitems"] =
                    QJsonArray{QJsonObject{{"frmno", "F2"}}, QJsonObject{{"frmno", "F1"}}};
            Answer answer = Answer::json(answerText(found));
            answer.date = date;
            return answer;
        });
        std::optional<Outcome> outcome;
        sheetDelivery::check(
            *client, sheet, this, [&](auto found, auto &) { outcome = found; }, zone);
        QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 20000);
        QCOMPARE(*outcome, outcomes.value(row["outcome"].toString()));
    }

    // Killed at each point of a delivery, round after round: the store stays
    // sound, and the entry is neither lost nor filed twice without the user's word.
    void killedWhileDelivering()
    {
        using namespace std::chrono_literals;
        service->answerAlways(record, R"({"code":1,"msg":"ok"})", 600ms);
        service->delayByWidth(true);
        enum Point { PhotoOnItsWay, RecordOnItsWay, RecordAnswered };
        int round = 0;
        for (const Point point : {PhotoOnItsWay, RecordOnItsWay, RecordAnswered, PhotoOnItsWay}) {
            const QString title = QStringLiteral("第%1份").arg(round++);
            const auto filed = [&] {
                int count = 0;
                for (const RecordedRequest &request : service->requestsTo(record))
                    count += QJsonDocument::fromJson(QByteArray::fromStdString(request.body))
                                 .object()["place"]
                             == title;
                return count;
            };
            session->signOut();
            const qint64 id = file(title, {50, 51, 52});
            QVERIFY(id);
            release();
            store.reset();
            QVERIFY(signIn()); // written for the child to read
            const int uploads = service->uploadCount();
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {"--deliver-until-killed", storeDir->path(), dir.filePath("account.ini")});
            QVERIFY(child.waitForReadyRead(30000));
            QVERIFY(QTest::qWaitFor(
                [&] { return point == PhotoOnItsWay ? service->uploadCount() > uploads : filed(); },
                20000));
            if (point == RecordAnswered)
                QTest::qWait(1500);
            child.kill();
            QVERIFY(child.waitForFinished(10000));

            QCOMPARE(sqlAnswer(storeDir->filePath("device.sqlite"), "PRAGMA integrity_check"),
                     "ok");
            session->signOut();
            store = std::make_unique<DeviceStore>();
            QVERIFY(store->open(storeDir->path()));
            rebuild();
            outbox->start();
            const OutboxEntry left = entry(id);
            const QString where = QStringLiteral("round %1").arg(round);
            if (point == RecordAnswered)
                QVERIFY2(left.id == 0, qPrintable(where));
            else
                QVERIFY2(left.state
                             == (point == PhotoOnItsWay ? OutboxState::Waiting
                                                        : OutboxState::MaybeDelivered),
                         qPrintable(where));
            QCOMPARE(filed(), point == PhotoOnItsWay ? 0 : 1);
            QVERIFY(signIn());
            QTest::qWait(0);
            QVERIFY(idle());
            QCOMPARE(filed(), 1);
        }
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--deliver-until-killed") == 0)
        return TestOutbox::deliverUntilKilled(QString::fromLocal8Bit(argv[2]),
                                              QString::fromLocal8Bit(argv[3]));
    TestOutbox test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_outbox.moc"
