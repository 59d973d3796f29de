#include "store/DeviceStore.h"
#include "store/FormDraft.h"
#include "store/PhotoFiles.h"
#include "support/FullDisk.h"
#include "support/SqlAnswer.h"
#include "support/StoredWork.h"
#include "support/TestData.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace orvelle;
using orvelle::test::fileContents;
using orvelle::test::filesUnder;
using orvelle::test::FullDisk;
using orvelle::test::sqlAnswer;
using orvelle::test::storePhotos;

namespace {
const QString account = QStringLiteral("13800000000");
const QJsonObject fields{{"remark", "锈蚀"}, {"items", QJsonArray{"0", "1"}}};

void write(const QString &file, const QByteArray &bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

void copyFolder(const QString &from, const QString &to)
{
    for (QDirIterator files(from, QDir::Files, QDirIterator::Subdirectories); files.hasNext();) {
        const QString file = files.next();
        const QString copy = to + file.mid(from.size());
        QVERIFY(QDir().mkpath(QFileInfo(copy).path()) && QFile::copy(file, copy));
    }
}

// The folder as a client killed right after `statement` leaves it: the
// database with its journal and its index, the photos beside them.
void copyAsKilled(const QString &from, const QString &to, const QString &statement)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "killed");
        db.setDatabaseName(from + "/device.sqlite");
        QVERIFY(db.open() && QSqlQuery(db).exec(statement));
        copyFolder(from, to);
    }
    QSqlDatabase::removeDatabase("killed");
}

enum class Prepared { Damaged, FileInTheWay, Current, Newer, NewerKilled, OlderKilled };

} // namespace

Q_DECLARE_METATYPE(Prepared)
Q_DECLARE_METATYPE(orvelle::DeviceStore::Failure)

class TestStore : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> dir;
    QString folder;
    DeviceStore store;

    // A photo as the camera gives it; the store only ever sees its bytes. Forty of
    // them, so the kill test's writer comes back to files a killed round was writing.
    static QByteArray jpeg(int n)
    {
        return QByteArray(300000 + n % 40, 'a') + QByteArray::number(n % 40);
    }
    static QString keyOf(int n) { return QStringLiteral("sheet/%1").arg(n % 5); }
    static Draft draft(const QString &key, const QStringList &hashes)
    {
        return {account, key, fields, {{"onsite", hashes.mid(0, 1)}, {"added", hashes}}, {}};
    }

    // A store holding a draft with two photos, closed as a client leaves it.
    static void storeWithWork(const QString &at)
    {
        DeviceStore other;
        QStringList hashes;
        QVERIFY(other.open(at) && storePhotos(other, {jpeg(1), jpeg(2)}, hashes)
                && other.saveDraft(draft("hazard", hashes)));
    }

    void prepare(Prepared kind)
    {
        const QString from = dir->filePath("from");
        switch (kind) {
        case Prepared::Damaged:
            QVERIFY(QDir().mkpath(folder + "/photos"));
            write(folder + "/device.sqlite", QByteArray(8192, 'x'));
            for (int n : {1, 2})
                write(folder + "/photos/" + photofiles::fileName(photofiles::hashOf(jpeg(n))),
                      jpeg(n));
            return;
        case Prepared::FileInTheWay:
            return write(folder, "x");
        case Prepared::Current:
        case Prepared::Newer:
            storeWithWork(folder);
            if (kind == Prepared::Newer)
                sqlAnswer(folder + "/device.sqlite", "PRAGMA user_version=99");
            return;
        case Prepared::NewerKilled:
            storeWithWork(from);
            return copyAsKilled(from, folder, "PRAGMA user_version=99");
        case Prepared::OlderKilled:
            copyFolder(ORVELLE_TEST_DATA "/store/version-1", from);
            return copyAsKilled(from, folder, "SELECT count(*) FROM drafts");
        }
    }

public:
    // The child of the kill test: saves drafts with photos until killed, printing
    // each n once its draft is committed.
    static int writeUntilKilled(const QString &folder, int start)
    {
        DeviceStore store;
        for (int n = start; store.isOpen() || store.open(folder); ++n) {
            QStringList hashes;
            if (!storePhotos(store, {jpeg(n), jpeg(n + 1)}, hashes)
                || !store.saveDraft({account, keyOf(n), {{"n", n}}, {{"added", hashes}}, {}}))
                break;
            if (n % 10 == 0)
                store.collectPhotos();
            printf("%d\n", n);
            fflush(stdout);
        }
        fprintf(stderr, "%s\n", qPrintable(store.errorString()));
        return 1;
    }

private slots:
    void init()
    {
        dir.emplace();
        folder = dir->filePath("store");
    }
    void cleanup() { store.close(); }

    // Only a damaged store is set aside, and its photos with it, so the new
    // one cannot collect them. A newer client's store and one on a full disk
    // are left byte for byte as they were; once there is room again it opens.
    void openRefusals_data()
    {
        using Failure = DeviceStore::Failure;
        QTest::addColumn<Prepared>("prepared");
        QTest::addColumn<bool>("full");
        QTest::addColumn<Failure>("failure");
        QTest::newRow("damaged, with photos") << Prepared::Damaged << false << Failure::Damaged;
        QTest::newRow("folder is a file") << Prepared::FileInTheWay << false << Failure::Other;
        QTest::newRow("newer client") << Prepared::Newer << false << Failure::NewerClient;
        QTest::newRow("newer client, killed with its journal")
            << Prepared::NewerKilled << false << Failure::NewerClient;
        QTest::newRow("full disk, index must grow")
            << Prepared::Current << true << Failure::NoSpace;
        QTest::newRow("full disk, older store left by a kill")
            << Prepared::OlderKilled << true << Failure::NoSpace;
    }
    void openRefusals()
    {
        QFETCH(Prepared, prepared);
        QFETCH(bool, full);
        QFETCH(DeviceStore::Failure, failure);
        prepare(prepared);
        const auto before = filesUnder(folder);
        {
            std::optional<FullDisk> noRoom;
            if (full)
                noRoom.emplace(folder);
            QVERIFY(!store.open(folder));
            QVERIFY2(store.failure() == failure, qPrintable(store.errorString()));
        }
        QVERIFY(!store.saveDraft(draft("hazard", {})));
        const QString aside = store.moveAside();
        if (failure != DeviceStore::Failure::Damaged) {
            QCOMPARE(aside, QString());
            QCOMPARE(filesUnder(folder), before);
            QCOMPARE(store.open(folder), full);
            QVERIFY(!full || store.saveDraft(draft("hazard", {})));
            return;
        }
        const QString kept = QFileInfo(aside).path();
        QVERIFY(kept.startsWith(folder + "/device-unreadable-"));
        QCOMPARE(filesUnder(kept), before);
        QVERIFY(store.open(folder));
        store.collectPhotos();
        QCOMPARE(filesUnder(kept), before);
        QVERIFY(QDir(folder + "/photos").isEmpty());
    }

    // A file of the first version, as that client left it, opens with every
    // draft, entry, address and kept answer, each under the name it was kept
    // by until an account of that name takes them, but for what it already has.
    void versionOneFile()
    {
        copyFolder(ORVELLE_TEST_DATA "/store/version-1", folder);
        sqlAnswer(folder + "/device.sqlite",
                  "INSERT INTO drafts VALUES ('游客模式', 'hazard', '{}', '{}', 0)");
        QVERIFY2(store.open(folder), qPrintable(store.errorString()));
        QVERIFY(store.drafts("zhangwei").isEmpty() && store.loadDraft("guest", "hazard"));
        QVERIFY(store.saveDraft({"job:1", "sheet/KS-01", {{"mine", true}}, {}, {}}));
        QVERIFY(store.moveAccount("name:zhangwei", "job:1"));
        QCOMPARE(store.drafts("job:1").size(), 2);
        QCOMPARE(store.loadDraft("job:1", "sheet/KS-01")->payload, QJsonObject({{"mine", true}}));
        QCOMPARE(store.loadDraft("name:zhangwei", "sheet/KS-01")->photos["added"].size(), 2);
        QCOMPARE(store.drafts("name:liming").size(), 1);
        const QList<OutboxEntry> entries = store.outbox("job:1");
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].uploaded.values(), QStringList{"http://files/v1-queued.jpg"});
        QCOMPARE(entries[1].state, OutboxState::Failed);
        QCOMPARE(store.outbox("name:liming").value(0).state, OutboxState::MaybeDelivered);
        QVERIFY(store.cached("job:1", "points"));
    }

    // A photo file goes in the step that drops the last row naming it, a
    // draft's as an entry's, but not one stored again since: a form holds it.
    void photosGoWithTheirLastRow()
    {
        QVERIFY(store.open(folder));
        QStringList hashes;
        QVERIFY(storePhotos(store, {jpeg(1), jpeg(2), jpeg(3)}, hashes));
        const auto kept = [&](int n) { return QFileInfo::exists(store.photoFile(hashes[n])); };
        const auto save = [&](const QString &key, const QStringList &photos) {
            return store.saveDraft({account, key, fields, {{"added", photos}}, {}});
        };
        QVERIFY(save("A", {hashes[0], hashes[1]}) && save("B", {hashes[0]}));
        QVERIFY(save("A", {hashes[0]}));
        QVERIFY(kept(0) && !kept(1));
        QVERIFY(store.removeDraft(account, "A") && kept(0));
        QVERIFY(store.removeDraft(account, "B") && !kept(0));
        QVERIFY(save("C", {hashes[2]}));
        QStringList again;
        QTest::qWait(2); // stored again later than the row was saved
        QVERIFY(storePhotos(store, {jpeg(3)}, again) && again == hashes.mid(2));
        QVERIFY(store.removeDraft(account, "C") && kept(2));
    }

    // A new folder, and a loose folder and database: owner-only either way.
    void permissions()
    {
        for (const bool loose : {false, true}) {
            store.close();
            folder = dir->filePath(loose ? "loose" : "new");
            const mode_t umaskBefore = umask(0); // a umask must not decide who may read photos
            if (loose)
                QDir().mkpath(folder), write(folder + "/device.sqlite", {});
            QStringList hashes;
            const bool ok = store.open(folder) && storePhotos(store, {jpeg(1)}, hashes)
                            && store.saveDraft(draft("hazard", hashes));
            umask(umaskBefore);
            QVERIFY2(ok, qPrintable(store.errorString()));
            const QString db = store.databaseFile();
            for (const QString &path : {folder, folder + "/photos", db, db + "-wal", db + "-shm",
                                        store.photoFile(hashes[0])}) {
                struct stat st;
                QVERIFY2(stat(qPrintable(path), &st) == 0
                             && (st.st_mode & 0777) == (S_ISDIR(st.st_mode) ? 0700u : 0600u),
                         qPrintable(path));
            }
        }
    }

    void draftsAndPhotos()
    {
        QVERIFY(store.open(folder));
        QStringList hashes, again;
        QVERIFY(storePhotos(store, {jpeg(1), jpeg(2), jpeg(1)}, hashes));
        QVERIFY(storePhotos(store, {jpeg(1)}, again));
        QCOMPARE(again[0], hashes[2]); // the same photo is one file, kept byte for byte
        QCOMPARE(QDir(folder + "/photos").entryList(QDir::Files).size(), 2);
        QCOMPARE(fileContents(store.photoFile(hashes[0])), jpeg(1));

        // A draft waits for its photos: a row must never point at a missing file.
        QStringList missing{hashes[0], QString(64, 'f')};
        QVERIFY(!store.saveDraft(draft("sheet/A1", missing)));
        QVERIFY(store.errorString().contains(missing[1]));
        QVERIFY(!store.saveDraft(draft("sheet/A1", {"../device.sqlite"})));
        QVERIFY(!store.loadDraft(account, "sheet/A1"));

        const Draft saved = draft("sheet/A1", {hashes[1], hashes[0]});
        QVERIFY(store.saveDraft(saved));
        QVERIFY(store.saveDraft({"someone else", "hazard", {}, {}, {}}));
        store.close();
        QVERIFY(store.open(folder));
        const std::optional<Draft> loaded = store.loadDraft(account, "sheet/A1");
        QVERIFY(loaded);
        QCOMPARE(loaded->payload, saved.payload);
        QCOMPARE(loaded->photos, saved.photos);
        QVERIFY(qAbs(loaded->savedAt.secsTo(QDateTime::currentDateTimeUtc())) < 60);
        QCOMPARE(store.drafts(account).size(), 1);

        // A fresh store keeps what a draft uses and collects what nothing
        // names, such as a photo taken for a form that was then killed.
        QVERIFY(storePhotos(store, {jpeg(3)}, again));
        store.close();
        QVERIFY(store.open(folder));
        QCOMPARE(store.collectPhotos(), 1);
        QVERIFY(QFileInfo::exists(store.photoFile(hashes[1])));
        QVERIFY(store.removeDraft(account, "sheet/A1"));
        QVERIFY(!store.loadDraft(account, "sheet/A1"));

        // A draft the store refuses is said, until it is kept again.
        FormDraft form(&store, account, "hazard", [] { return FormDraft::Snapshot{fields, {}}; });
        sqlAnswer(store.databaseFile(), "CREATE TRIGGER full BEFORE INSERT ON drafts BEGIN"
                                        " SELECT RAISE(ABORT, 'disk full'); END");
        QVERIFY(!form.save() && form.problem().contains("disk full"));
        sqlAnswer(store.databaseFile(), "DROP TRIGGER full");
        QVERIFY(form.save() && form.problem().isEmpty());
    }

    void outbox()
    {
        QVERIFY(store.open(folder));
        QStringList hashes;
        QVERIFY(storePhotos(store, {jpeg(1), jpeg(2)}, hashes));
        QVERIFY(store.saveDraft(draft("hazard", hashes)) && store.saveDraft(draft("sheet/B", {})));
        const QJsonObject sent{{"place", "磨机房"}};
        const auto hazardEntry = store.enqueue(account, "hazard", "hazard", "漏水", sent);
        QVERIFY(hazardEntry && !store.loadDraft(account, "hazard"));
        // The entry as made, without a second read that could fail.
        QCOMPARE(hazardEntry->photos, draft("hazard", hashes).photos);
        QCOMPARE(hazardEntry->account, account);
        const qint64 hazard = hazardEntry->id;
        // A draft that cannot be removed keeps its copy out of the outbox.
        const QString db = store.databaseFile();
        sqlAnswer(
            db,
            "CREATE TRIGGER keep BEFORE DELETE ON drafts BEGIN SELECT RAISE(ABORT, 'kept'); END");
        QVERIFY(!store.enqueue(account, "sheet/B", "sheet", "B", sent));
        QVERIFY(store.errorString().contains("kept"));
        sqlAnswer(db, "DROP TRIGGER keep");
        const qint64 sheet =
            store.enqueue(account, "sheet/B", "sheet", "B", sent).value_or(OutboxEntry{}).id;
        QVERIFY(sheet && !store.enqueue(account, "sheet/B", "sheet", "B", sent));

        QVERIFY(store.recordUpload(hazard, hashes[0], "http://files/1"));
        // The address went unsynced; the commits after it sync again.
        const auto connections = QSqlDatabase::connectionNames();
        const auto own = std::find_if(connections.begin(), connections.end(), [&](auto &name) {
            return QSqlDatabase::database(name, false).databaseName() == db;
        });
        QVERIFY(own != connections.end());
        QSqlQuery synchronous("PRAGMA synchronous", QSqlDatabase::database(*own, false));
        QVERIFY(synchronous.next());
        QCOMPARE(synchronous.value(0).toInt(), 2);
        QVERIFY(store.setState(hazard, OutboxState::Failed, "网络错误!"));
        QVERIFY(store.putCache(account, "points", QJsonDocument(QJsonArray{"A1", "B"})));
        store.close();
        QVERIFY(store.open(folder));
        const QList<OutboxEntry> entries = store.outbox(account);
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].id, hazard);
        QCOMPARE(entries[0].payload, sent);
        QCOMPARE(entries[0].photos, draft("hazard", hashes).photos);
        QCOMPARE(entries[0].uploaded, (QHash<QString, QString>{{hashes[0], "http://files/1"}}));
        QCOMPARE(entries[0].state, OutboxState::Failed);
        QCOMPARE(entries[0].reason, "网络错误!");
        QCOMPARE(store.cached(account, "points")->payload, QJsonDocument(QJsonArray{"A1", "B"}));
        QVERIFY(!store.cached(account, "places"));
        // Its photos go with it, but not one taken again since it was filed.
        QStringList again;
        QVERIFY(storePhotos(store, {jpeg(2)}, again));
        QVERIFY(store.removeEntry(hazard, true));
        QCOMPARE(sqlAnswer(db, "SELECT count(*) FROM uploads"), "0");
        QVERIFY(!QFileInfo::exists(store.photoFile(hashes[0]))
                && QFileInfo::exists(store.photoFile(again[0])));
    }

    // A writer killed at a random moment leaves a sound database whose drafts
    // are all whole, photos included.
    void killAtRandomMoment()
    {
        // Each round carries on where the last was killed, as a restarted app would.
        for (int round = 0, start = 0; round < 4; ++round) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {"--write-until-killed", folder, QString::number(start)});
            QByteArray out;
            QVERIFY(QTest::qWaitFor(
                [&] { return (out += child.readAllStandardOutput()).count('\n') >= 5; }, 30000));
            QTest::qWait(QRandomGenerator::global()->bounded(1, 300));
            child.kill();
            QVERIFY(child.waitForFinished(10000));
            QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAllStandardError());
            const int last =
                (out + child.readAllStandardOutput()).trimmed().split('\n').last().toInt();

            QCOMPARE(sqlAnswer(folder + "/device.sqlite", "PRAGMA integrity_check"), "ok");
            for (const QFileInfo &photo : QDir(folder + "/photos").entryInfoList({"*.jpg"}))
                QCOMPARE(photo.fileName(),
                         photofiles::hashOf(fileContents(photo.filePath())) + ".jpg");
            QVERIFY2(store.open(folder), qPrintable(store.errorString()));
            const QList<Draft> drafts = store.drafts(account);
            QCOMPARE(drafts.size(), 5);
            for (const Draft &d : drafts) {
                const int n = d.payload["n"].toInt();
                QCOMPARE(d.key, keyOf(n));
                QVERIFY2(n == last || (keyOf(n) != keyOf(last) && n >= last - 4 && n <= last + 1),
                         qPrintable(QStringLiteral("%1 after %2").arg(n).arg(last)));
                QCOMPARE(fileContents(store.photoFile(d.photos["added"].value(0))), jpeg(n));
                QCOMPARE(fileContents(store.photoFile(d.photos["added"].value(1))), jpeg(n + 1));
            }
            store.close();
            start = last + 1;
        }
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--write-until-killed") == 0)
        return TestStore::writeUntilKilled(QString::fromLocal8Bit(argv[2]), atoi(argv[3]));
    TestStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_store.moc"
