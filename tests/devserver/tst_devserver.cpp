#include "DevServer.h"
#include "QrCodes.h"
#include "platform/QrDecoder.h"
#include "support/TestData.h"

#include <httplib.h>

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <mutex>

using namespace orvelle::devserver;
using orvelle::test::addRows;
using orvelle::test::testJson;

namespace {

// A fixed morning, so "today" never crosses midnight during a run.
const qint64 baseTime = QDateTime(QDate(2026, 6, 1), QTime(9, 30)).toMSecsSinceEpoch();
const char *const uploadPath = "/fastdfs/fastdfs/upload/file/sample";

struct Reply
{
    int status = 0; // 0 when no answer arrived
    QJsonObject json;
    std::string body;
    QString error; // Qt's, when sent through it
};

Reply finish(const httplib::Result &result)
{
    if (!result)
        return {};
    return {result->status,
            QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object(),
            result->body, {}};
}

// The value at a path of an answer ("a/0/b"; "#" is an array's size), null when absent.
QJsonValue at(QJsonValue value, const QString &path)
{
    for (const QString &part : path.split(u'/'))
        value = !value.isArray() ? value[part]
                : part == u'#'   ? QJsonValue(value.toArray().size())
                                 : value[part.toInt()];
    return value.isUndefined() ? QJsonValue() : value;
}

} // namespace

// The dev service on this test's loopback address, fresh before each test (a
// token lives a minute, a code half of one), with its data in a temporary
// folder, a clock the test moves by hand and its log captured; zhangwei is
// signed in. Requests go over real HTTPS, trusting the CA the service made.
// Most cases are conversations in tests/data/devserver: requests, moves of
// the clock and restarts, each with what its answer must hold. The
// end-to-end tests take the client's own sign-in, binding, password change,
// sheet, hazard report and photos through the same service.
class TestDevServer : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    DevServerOptions options;
    std::unique_ptr<DevServer> server;
    std::atomic<qint64> offsetMs{0};
    std::mutex logMutex;
    QStringList log;
    QHash<QString, QString> vars; // "$token" and what conversations keep
    bool viaQt = false;

    QString host() const { return options.listenAddress; }
    QString caFile() const { return dir->filePath(QStringLiteral("tls/ca.pem")); }
    bool start(QString *error)
    {
        server.reset();
        server = std::make_unique<DevServer>(options);
        return server->start(error);
    }
    QStringList logLines()
    {
        std::lock_guard lock(logMutex);
        return log;
    }

    std::unique_ptr<httplib::SSLClient> client() const
    {
        auto c = std::make_unique<httplib::SSLClient>(host().toStdString(), 50000);
        c->set_ca_cert_path(caFile().toStdString().c_str());
        c->enable_server_certificate_verification(true);
        c->set_connection_timeout(10);
        c->set_read_timeout(30);
        return c;
    }
    Reply post(const std::string &path, const std::string &body, const std::string &type)
    {
        const std::string full = path.rfind("/notes/", 0) == 0 ? "/TolvKsServer" + path : path;
        return viaQt ? qtPost(full, body, type) : finish(client()->Post(full, body, type));
    }
    // As the client sends it: Qt resends a request whose connection closed unanswered.
    Reply qtPost(const std::string &path, const std::string &body, const std::string &type)
    {
        QNetworkRequest request(QUrl(server->serviceUrl() + QString::fromStdString(path)));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(caFile()));
        request.setSslConfiguration(tls);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray::fromStdString(type));
        QNetworkAccessManager manager;
        std::unique_ptr<QNetworkReply> reply(
            manager.post(request, QByteArray::fromStdString(body)));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        const QByteArray bytes = finished.wait(30000) ? reply->readAll() : QByteArray();
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                QJsonDocument::fromJson(bytes).object(), bytes.toStdString(),
                QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(reply->error())};
    }
    Reply postJson(const std::string &path, const QJsonObject &body)
    {
        return post(path, QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(),
                    "application/json");
    }
    Reply postForm(const std::string &path, const QJsonObject &fields)
    {
        httplib::Params params;
        for (auto it = fields.begin(); it != fields.end(); ++it)
            params.emplace(it.key().toStdString(), it.value().toString().toStdString());
        return finish(client()->Post("/TolvKsServer" + path, params));
    }
    Reply upload(const std::string &content, const std::string &field = "file")
    {
        return finish(client()->Post(
            uploadPath, httplib::MultipartFormDataItems{{field, content, "image.png", "image/*"}}));
    }
    // An operation with the Notes database and "server", as the seeded phone
    // user with the token of the sign-in before the test, unless given.
    Reply call(const std::string &path, QJsonObject params)
    {
        const std::pair<const char *, QString> defaults[] = {
            {"db", QStringLiteral("QMDB/gongan/SafetyCheck.nsf")},
            {"server", QStringLiteral("DevNotes/Orvelle")},
            {"mobile", QStringLiteral("13800000001")},
            {"token", vars["$token"]}};
        for (const auto &[key, value] : defaults)
            if (!params.contains(QLatin1String(key)))
                params[QLatin1String(key)] = value;
        if (params["token"].isNull())
            params.remove("token");
        return postJson(path, params);
    }
    QString signIn(const char *account, const char *password)
    {
        return at(postForm("/notes/NotesLogin", {{"mobile", account}, {"password", password}}).json,
                  "userinfo/token")
            .toString();
    }
    // The last verification code the service "sent" to the number.
    QString lastCode(const QString &mobile)
    {
        const QRegularExpression pattern(QStringLiteral("^SMS to %1: verification code (\\d{6})$")
                                             .arg(QRegularExpression::escape(mobile)));
        const QStringList lines = logLines();
        for (auto it = lines.crbegin(); it != lines.crend(); ++it)
            if (const auto match = pattern.match(*it); match.hasMatch())
                return match.captured(1);
        return {};
    }

    QJsonObject blankSheet(const QString &key)
    {
        return call("/notes/notesreceiveKs", {{"db_vw", "vw-ProjectByKey"}, {"key", key}}).json;
    }
    // A sheet of the blank one of a check point with every item found qualified.
    QJsonObject qualifiedSheet(const QString &key)
    {
        const QJsonObject blank = blankSheet(key);
        QJsonObject sheet = testJson(QStringLiteral("devserver/sheet.json")).toObject();
        for (const char *field : {"checkdept", "checkname", "checkpl", "key", "yhfrom"})
            sheet[QLatin1String(field)] = blank.value(QLatin1String(field));
        QJsonArray items;
        for (const QJsonValue &item : blank.value("checkitems").toArray()) {
            QJsonObject kept{{"isapprove", "0"}, {"distription", ""}};
            for (const char *field : {"id", "projectitem", "yhlevel", "yhtype", "yhtypes"})
                kept[QLatin1String(field)] = item[QLatin1String(field)];
            items.append(kept);
        }
        sheet["rowcount"] = items.size();
        sheet["checkitems"] = items;
        return sheet;
    }

    // A text of a conversation: "$code <mobile>" is the last code sent there,
    // "$wrong <mobile>" a code that is not, "$host" the service's address.
    QJsonValue resolve(const QJsonValue &value)
    {
        QString text = value.toString();
        if (text.startsWith(QLatin1String("$code ")))
            return lastCode(text.mid(6));
        if (text.startsWith(QLatin1String("$wrong ")))
            return lastCode(text.mid(7)) == "000000" ? "111111" : "000000";
        if (vars.contains(text))
            return vars[text];
        return value.isString() ? QJsonValue(text.replace("$host", host())) : value;
    }

    // One step of a conversation; what went wrong, if anything.
    QString exchange(const QJsonObject &step)
    {
        QJsonObject with = step["base"].isString()    ? testJson(step["base"].toString()).toObject()
                           : step["sheet"].isString() ? qualifiedSheet(step["sheet"].toString())
                                                      : QJsonObject();
        const QJsonObject overrides = step["with"].toObject();
        for (auto it = overrides.begin(); it != overrides.end(); ++it)
            with[it.key()] = resolve(it.value());
        const auto text = [&](const char *key) { return step[key].toString().toStdString(); };
        viaQt = step.contains("viaQt");
        Reply reply;
        if (step.contains("advance")) {
            offsetMs += step["advance"].toInteger();
            return {};
        } else if (step.contains("restart")) {
            const QJsonValue build = step["restart"]["publishBuild"];
            options.publishBuild =
                build.isDouble() ? std::optional(build.toInteger()) : std::nullopt;
            options.fault = faultNamed(step["restart"]["fault"].toString()).value_or(Fault::None);
            QString error;
            return start(&error) ? QString() : error;
        } else if (step.contains("form")) {
            reply = postForm(text("form"), with);
        } else if (step.contains("call")) {
            reply = call(text("call"), with);
        } else if (step.contains("sheet")) {
            reply = call("/notes/notescreate", with);
        } else if (step.contains("json")) {
            reply = postJson(text("json"), with);
        } else if (step.contains("raw")) { // "blanks": a body of that many spaces
            reply = post(text("raw"),
                         step.contains("blanks") ? std::string(step["blanks"].toInt(), ' ')
                                                 : text("body"),
                         text("type"));
        } else if (step.contains("upload")) { // bytes as Latin-1 characters
            reply = upload(step["upload"].toString().toLatin1().toStdString(),
                           step["field"].toString("file").toStdString());
        } else if (step.contains("get")) {
            reply = finish(client()->Get(text("get")));
        } else if (step.contains("fetch") || step.contains("admin")) { // plain HTTP
            httplib::Client plain(host().toStdString(), 50080);
            reply = finish(step.contains("fetch") ? plain.Get(text("fetch"))
                                                  : plain.Post(text("admin")));
        }

        QStringList wrong;
        if (step.contains("status") && reply.status != step["status"].toInt())
            wrong << QStringLiteral("status %1").arg(reply.status);
        if (viaQt && reply.error != step["viaQt"].toString())
            wrong << reply.error;
        QJsonObject answer = step["answer"].toObject();
        for (const char *key : {"code", "msg"})
            if (step.contains(key))
                answer[key] = step[key];
        for (auto it = answer.begin(); it != answer.end(); ++it)
            if (at(reply.json, it.key()) != resolve(it.value()))
                wrong << it.key();
        if (step.contains("contains") && reply.body.find(text("contains")) == std::string::npos)
            wrong << QStringLiteral("no ") + step["contains"].toString();
        if (step.contains("noCodeTo") && !lastCode(step["noCodeTo"].toString()).isEmpty())
            wrong << QStringLiteral("a code was sent");
        const QJsonObject keep = step["keep"].toObject();
        for (auto it = keep.begin(); it != keep.end(); ++it) {
            vars[it.key()] = at(reply.json, it.value().toString()).toString();
            if (vars[it.key()].isEmpty())
                wrong << QStringLiteral("no ") + it.value().toString();
        }
        if (wrong.isEmpty())
            return {};
        return wrong.join(", ") + " in " + QString::fromStdString(reply.body.substr(0, 2000));
    }

    // A row of the table is a conversation ("steps") or a single step.
    void converse()
    {
        QFETCH(QJsonObject, row);
        const QJsonArray steps = row.contains("steps") ? row["steps"].toArray() : QJsonArray{row};
        for (const QJsonValue &step : steps) {
            const QString problem = exchange(step.toObject());
            QVERIFY2(problem.isEmpty(),
                     qPrintable(QJsonDocument(step.toObject()).toJson(QJsonDocument::Compact)
                                + "\n   " + problem));
        }
    }

private slots:
    void init()
    {
        offsetMs = 0;
        log.clear();
        dir = std::make_unique<QTemporaryDir>();
        options = {};
        options.dataDir = dir->path();
        options.listenAddress = QStringLiteral(ORVELLE_TEST_HOST);
        options.tokenLifetimeMs = 60 * 1000;
        options.codeLifetimeMs = 30 * 1000;
        options.clock = [this] { return baseTime + offsetMs.load(); };
        options.log = [this](const QString &line) {
            std::lock_guard lock(logMutex);
            log.append(line);
        };
        QString error;
        QVERIFY2(start(&error), qPrintable(error));
        vars = {{"$token", signIn("zhangwei", "orvelle1")}};
        QVERIFY(!vars["$token"].isEmpty());
    }
    void cleanup()
    {
        server.reset();
        dir.reset();
    }

    // Sign-in, tokens, the published version, verification codes, binding
    // and password change, each followed through to what it changes.
    void account_data() { addRows(QStringLiteral("devserver/account.json")); }
    void account() { converse(); }
    // Check points, sheets, places and hazard reports, what a sheet leaves in
    // the review lists, and the file store.
    void inspection_data() { addRows(QStringLiteral("devserver/inspection.json")); }
    void inspection() { converse(); }
    // The frame: data kept across restarts, the JSON envelope, refusal of
    // malformed requests.
    void service_data() { addRows(QStringLiteral("devserver/service.json")); }
    void service() { converse(); }

    void checkPointsOfEachDepartment_data()
    {
        QTest::addColumn<QString>("dept");
        QTest::newRow("mine") << QStringLiteral("岚石水泥/矿山分厂");
        QTest::newRow("clinker") << QStringLiteral("岚石水泥/熟料分厂");
        QTest::newRow("a guest's, none") << QStringLiteral("/");
    }
    void checkPointsOfEachDepartment()
    {
        QFETCH(QString, dept);
        const auto reply =
            call("/notes/notestodayqzDeptKs", {{"db_vw", "vw-ProjectByQzdept"}, {"qzDept", dept}});
        QCOMPARE(reply.json.value("code"), 1);
        QCOMPARE(reply.json.value("dbvw").toString(), QStringLiteral("vw-ProjectByQzdept"));
        const QJsonArray points = reply.json.value("checkitems").toArray();
        QCOMPARE(points.size() >= 5, dept != "/");
        for (const QJsonValue &point : points) {
            for (const char *key : {"id", "key", "project", "qzdept"})
                QVERIFY2(point[QLatin1String(key)].isString(), key);
            QCOMPARE(point["qzdept"].toString(), dept);

            const QJsonObject sheet = blankSheet(point["key"].toString());
            QCOMPARE(sheet.value("code"), 1);
            QCOMPARE(sheet.value("key"), point["key"]);
            const QJsonArray items = sheet.value("checkitems").toArray();
            QCOMPARE(sheet.value("rowcount"), items.size());
            QVERIFY(items.size() >= 3 && items.size() <= 8);
            for (const QJsonValue &item : items)
                for (const char *key : {"id", "projectitem", "yhtype", "yhtypes", "yhlevel"})
                    QVERIFY2(item[QLatin1String(key)].isString(), key);
            for (const char *key : {"checkdept", "checkname", "checkpl", "place", "yhfrom"})
                QVERIFY2(sheet.value(QLatin1String(key)).isString(), key);
        }
    }

    // The client above trusts that CA and checks the host's IP SAN.
    void tlsIsVerifiedAgainstTheCaItMade()
    {
        // Without that CA the handshake fails.
        httplib::SSLClient untrusting(host().toStdString(), 50000);
        untrusting.enable_server_certificate_verification(true);
        QVERIFY(!untrusting.Post("/TolvKsServer/notes/QueryVersion2", "edition=ios",
                                 "application/x-www-form-urlencoded"));
        // There is no plain-HTTP service endpoint.
        httplib::Client plain(host().toStdString(), 50000);
        const auto answer = plain.Post("/TolvKsServer/notes/QueryVersion2", "edition=ios",
                                       "application/x-www-form-urlencoded");
        QVERIFY(!answer || answer->status >= 400);
    }

    void uploadsOver32MiBAreRefused()
    {
        QCOMPARE(upload("\xFF\xD8\xFF\xE0" + std::string(32 * 1024 * 1024, 'x')).status, 413);
    }

    // The end-to-end road finds no password or token in it.
    void logHasOneLinePerRequest()
    {
        postForm("/notes/NotesLogin", {{"mobile", "zhangwei"}, {"password", "secret-typo"}});
        QCOMPARE(logLines().filter("POST /TolvKsServer/notes/NotesLogin -> 200").size(), 2);
    }

    void secondInstanceOnTheSameAddressFailsClearly()
    {
        QTemporaryDir otherData;
        DevServerOptions other = options;
        other.dataDir = otherData.path();
        QString error;
        QVERIFY(!DevServer(other).start(&error));
        QVERIFY2(error.contains(QLatin1String("cannot listen")), qPrintable(error));
    }

    // The end-to-end road scans a check point's printed code to open its sheet.
    void printedCodesScanToNotices()
    {
        QTemporaryDir out;
        const QString photoHost = host() + QStringLiteral(":50080");
        QString error;
        QVERIFY2(printQrCodes(server->store(), photoHost, out.path(), &error), qPrintable(error));
        QCOMPARE(QDir(out.path()).entryList({"checkpoint-*.png"}).size(), 10);
        const QString notice =
            orvelle::decodeQr(QImage(out.filePath("notice-1.png"))).text.value_or(QString());
        QCOMPARE(notice, "http://" + photoHost + "/notice/1");
    }

    // As scripts/run starts it, with a fault that meets the first record
    // request only, and its --accounts listing.
    void executableServesUntilStoppedAndListsAccounts()
    {
        server.reset(); // its address is the one the executable takes
        QTemporaryDir data;
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(ORVELLE_DEVSERVER_EXE),
                      {"--data", data.path(), "--listen", ORVELLE_TEST_HOST, "--publish-build", "7",
                       "--fault", "drop-before-store"});
        QVERIFY(process.waitForStarted());
        QByteArray output;
        while (!output.contains("ready https://") && process.waitForReadyRead(30000))
            output += process.readAllStandardOutput();
        QVERIFY2(output.contains("orvelle-devserver: ready https://" ORVELLE_TEST_HOST ":50000"),
                 output.constData());
        QVERIFY(output.contains(QDir(data.path()).filePath("tls/ca.pem").toUtf8()));

        httplib::SSLClient started(ORVELLE_TEST_HOST, 50000);
        started.set_ca_cert_path(QDir(data.path()).filePath("tls/ca.pem").toStdString().c_str());
        started.enable_server_certificate_verification(true);
        const auto answer = started.Post("/TolvKsServer/notes/QueryVersion2", "edition=ios",
                                         "application/x-www-form-urlencoded");
        QVERIFY(answer);
        QCOMPARE(at(finish(answer).json, "version/v_number"), 7);
        const auto record = [&] {
            return finish(
                started.Post("/TolvKsServer/notes/notescreate", "{}", "application/json"));
        };
        QCOMPARE(record().status, 0);
        QCOMPARE(record().json.value("code"), 9);

        process.terminate();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);

        QProcess accounts;
        accounts.start(QStringLiteral(ORVELLE_DEVSERVER_EXE),
                       {"--data", data.path(), "--accounts"});
        QVERIFY(accounts.waitForFinished(30000));
        QCOMPARE(accounts.exitCode(), 0);
        const QString listing = QString::fromUtf8(accounts.readAllStandardOutput());
        for (const char *account : {"zhangwei", "liming", "wangfang", "chenjing", "13800000001"})
            QVERIFY2(listing.contains(QLatin1String(account)), qPrintable(listing));
    }
};

QTEST_GUILESS_MAIN(TestDevServer)
#include "tst_devserver.moc"
