#include "Certificates.h"
#include "DevServer.h"
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
            result->body,
            {}};
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
    // The last verification code the service "sent" to the number, or the
    // one `back` codes before it.
    QString lastCode(const QString &mobile, int back = 0)
    {
        const QRegularExpression pattern(QStringLiteral("^SMS to %1: verification code (\\d{6})$")
                                             .arg(QRegularExpression::escape(mobile)));
        const QStringList lines = logLines();
        for (auto it = lines.crbegin(); it != lines.crend(); ++it)
            if (const auto match = pattern.match(*it); match.hasMatch() && back-- == 0)
                return match.captured(1);
        return {};
    }

    // A text of a conversation: "$code <mobile>" is the last code sent there,
    // "$earlier <mobile>" the one before it, "$wrong <mobile>" a code that is
    // neither, "$host" the service's address.
    QJsonValue resolve(const QJsonValue &value)
    {
        QString text = value.toString();
        if (text.startsWith(QLatin1String("$code ")))
            return lastCode(text.mid(6));
        if (text.startsWith(QLatin1String("$earlier ")))
            return lastCode(text.mid(9), 1);
        if (text.startsWith(QLatin1String("$wrong "))) {
            const QStringList sent{lastCode(text.mid(7)), lastCode(text.mid(7), 1)};
            for (const char *guess : {"000000", "111111", "222222"})
                if (!sent.contains(QLatin1String(guess)))
                    return QLatin1String(guess);
        }
        if (vars.contains(text))
            return vars[text];
        return value.isString() ? QJsonValue(text.replace("$host", host())) : value;
    }

    // One step of a conversation; what went wrong, if anything.
    QString exchange(const QJsonObject &step)
    {
        QJsonObject with =
            step["base"].isString() ? testJson(step["base"].toString()).toObject() : QJsonObject();
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
        } else if (step.contains("json")) {
            reply = postJson(text("json"), with);
        } else if (step.contains("raw")) { // "blanks": a body of that many spaces
            reply = post(text("raw"),
                         step.contains("blanks") ? std::string(step["blanks"].toInt(), ' ')
                                                 : text("body"),
                         text("type"));
        } else if (step.contains("upload")) { // bytes as Latin-1, padded with "padMiB" MiB
            const std::string content = step["upload"].toString().toLatin1().toStdString()
                                        + std::string(step["padMiB"].toInt() << 20, 'x');
            reply =
                finish(client()->Post(uploadPath, httplib::MultipartFormDataItems{
                                                      {step["field"].toString("file").toStdString(),
                                                       content, "image.png", "image/*"}}));
        } else if (step.contains("get")) {
            reply = finish(client()->Get(text("get")));
        } else if (step.contains("untrusted")) { // without the CA the service made
            httplib::SSLClient untrusting(host().toStdString(), 50000);
            untrusting.enable_server_certificate_verification(true);
            reply = finish(untrusting.Get(text("untrusted")));
        } else if (step.contains("fetch")) { // plain HTTP; a kept address from its path on
            httplib::Client plain(host().toStdString(), step["port"].toInt(50080));
            const QString target = resolve(step["fetch"]).toString();
            httplib::Headers headers;
            if (step.contains("range"))
                headers.emplace("Range", text("range"));
            reply = finish(plain.Get(target.mid(target.indexOf(u'/')).toStdString(), headers));
        } else if (step.contains("admin")) { // with the token unless "withoutToken"
            httplib::Client plain(host().toStdString(), step["port"].toInt(50080));
            httplib::Headers headers;
            if (!step["withoutToken"].toBool())
                headers.emplace(adminTokenHeader, server->adminToken().toStdString());
            reply = finish(plain.Post(text("admin"), headers));
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
        // The server logs a request once its answer has gone out.
        const auto logged = [&] {
            return logLines().filter(step["logged"].toString()).size() == step["times"].toInt();
        };
        if (step.contains("logged") && !QTest::qWaitFor(logged, 5000))
            wrong << QStringLiteral("not logged %1 times").arg(step["times"].toInt());
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
        for (const QJsonValue &step : steps)
            for (int n = step["repeat"].toInt(1); n > 0; --n) {
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
        viaQt = false;
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
        const auto signedIn =
            postForm("/notes/NotesLogin", {{"mobile", "zhangwei"}, {"password", "orvelle1"}});
        vars = {{"$token", at(signedIn.json, "userinfo/token").toString()}};
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

    // Each department's check points, each with a blank sheet of 3 to 8 items
    // whose fields are texts; a guest's department has none.
    void checkPointsOfEachDepartment()
    {
        const auto texts = [](const QJsonValue &object, std::initializer_list<const char *> keys) {
            return std::all_of(keys.begin(), keys.end(), [&](const char *key) {
                return object[QLatin1String(key)].isString();
            });
        };
        for (const QString dept : {"岚石水泥/矿山分厂", "岚石水泥/熟料分厂", "/"}) {
            const QJsonObject list = call("/notes/notestodayqzDeptKs",
                                          {{"db_vw", "vw-ProjectByQzdept"}, {"qzDept", dept}})
                                         .json;
            QVERIFY(list.value("code") == 1 && list.value("dbvw") == "vw-ProjectByQzdept");
            const QJsonArray points = list.value("checkitems").toArray();
            QVERIFY2((points.size() >= 5) == (dept != "/"), qPrintable(dept));
            for (const QJsonValue &point : points) {
                QVERIFY(texts(point, {"id", "key", "project"}) && point["qzdept"] == dept);
                const QJsonObject sheet =
                    call("/notes/notesreceiveKs",
                         {{"db_vw", "vw-ProjectByKey"}, {"key", point["key"]}})
                        .json;
                const QJsonArray items = sheet.value("checkitems").toArray();
                QVERIFY2(
                    sheet.value("code") == 1 && sheet.value("key") == point["key"]
                        && sheet.value("rowcount") == items.size() && items.size() >= 3
                        && items.size() <= 8
                        && texts(sheet, {"checkdept", "checkname", "checkpl", "place", "yhfrom"}),
                    qPrintable(point["key"].toString()));
                for (const QJsonValue &item : items)
                    QVERIFY(texts(item, {"id", "projectitem", "yhtype", "yhtypes", "yhlevel"}));
            }
        }
    }

    // The data folder is narrowed to its owner; a CA made before it was
    // limited to this machine's names is replaced.
    void dataAndCaAreKeptToThisMachine()
    {
        QVERIFY(limitedToThisMachine(caFile()));
        server.reset();
        QVERIFY(QFile::setPermissions(dir->path(), QFileDevice::Permissions(0x7755)));
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                  "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=old",
                                  "-keyout", dir->filePath("tls/ca-key.pem"), "-out", caFile()});
        QVERIFY(openssl.waitForFinished(60000) && !limitedToThisMachine(caFile()));
        QString error;
        QVERIFY2(start(&error), qPrintable(error));
        QVERIFY(limitedToThisMachine(caFile()));
        QCOMPARE(QFile::permissions(dir->path()) & 0x7077, QFileDevice::Permissions(0x7000));
        QVERIFY(!postForm("/notes/NotesLogin", {{"mobile", "zhangwei"}, {"password", "orvelle1"}})
                     .json.isEmpty());
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

    // As scripts/run starts it, on this test's data; its admin switch opens to
    // the token it prints (what a fault does is the conversations' and the
    // end-to-end road's); its --accounts listing and --print-qr.
    void executableServesUntilStoppedAndListsAccounts()
    {
        server.reset(); // its address is the one the executable takes
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(ORVELLE_DEVSERVER_EXE),
                      {"--data", dir->path(), "--listen", ORVELLE_TEST_HOST, "--publish-build", "7",
                       "--fault", "drop-before-store"});
        QVERIFY(process.waitForStarted());
        QByteArray output;
        while (!output.contains("ready https://") && process.waitForReadyRead(30000))
            output += process.readAllStandardOutput();
        QVERIFY2(output.contains("orvelle-devserver: ready https://" ORVELLE_TEST_HOST ":50000"),
                 output.constData());
        QVERIFY(output.contains(caFile().toUtf8()));
        const auto token = QRegularExpression("admin token: (\\w+)").match(output);
        QVERIFY(token.hasMatch());
        httplib::Client admin(ORVELLE_TEST_HOST, 50080);
        const httplib::Headers withToken{{adminTokenHeader, token.captured(1).toStdString()}};
        QCOMPARE(admin.Post("/admin/fault?mode=drop-before-store", withToken)->status, 200);
        const auto version =
            post("/notes/QueryVersion2", "edition=ios", "application/x-www-form-urlencoded");
        QCOMPARE(at(version.json, "version/v_number"), 7);

        process.terminate();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);

        // The codes it prints: the end-to-end road scans a check point's to
        // open its sheet; a notice's leads to its page on the HTTP port.
        QTemporaryDir codes;
        QProcess printer;
        printer.start(QStringLiteral(ORVELLE_DEVSERVER_EXE),
                      {"--data", dir->path(), "--listen", ORVELLE_TEST_HOST, "--accounts",
                       "--print-qr", codes.path()});
        QVERIFY(printer.waitForFinished(60000));
        QCOMPARE(printer.exitCode(), 0);
        const QString listing = QString::fromUtf8(printer.readAllStandardOutput());
        for (const char *account : {"zhangwei", "liming", "wangfang", "chenjing", "13800000001"})
            QVERIFY2(listing.contains(QLatin1String(account)), qPrintable(listing));
        QCOMPARE(QDir(codes.path()).entryList({"checkpoint-*.png"}).size(), 10);
        QCOMPARE(orvelle::decodeQr(QImage(codes.filePath("notice-1.png"))).text,
                 QStringLiteral("http://" ORVELLE_TEST_HOST ":50080/notice/1"));
    }
};

QTEST_GUILESS_MAIN(TestDevServer)
#include "tst_devserver.moc"
