#include "DevServerFixture.h"
#include "QrCodes.h"

#include <ZXing/ReadBarcode.h>
#include <httplib.h>

#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

namespace {

QString decodeQr(const QString &file)
{
    const QImage gray = QImage(file).convertToFormat(QImage::Format_Grayscale8);
    if (gray.isNull())
        return {};
    const ZXing::ImageView view(gray.constBits(), gray.width(), gray.height(),
                                ZXing::ImageFormat::Lum, int(gray.bytesPerLine()));
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    return result.isValid() ? QString::fromStdString(result.text()) : QString();
}

} // namespace

// The executable as scripts/run starts it, and its two helper commands.
class TestDevServerTools : public QObject
{
    Q_OBJECT

private slots:
    void printedCodesScanToCheckPointsAndNotices()
    {
        DevServerFixture fixture;
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        QTemporaryDir out;
        const QString photoHost = fixture.host() + QStringLiteral(":50080");
        QVERIFY2(orvelle::devserver::printQrCodes(fixture.server().store(), photoHost, out.path(),
                                                  &error),
                 qPrintable(error));

        // The end-to-end road scans a check point's code to open its sheet.
        QCOMPARE(QDir(out.path()).entryList({"checkpoint-*.png"}).size(), 10);

        const QString notice = decodeQr(out.filePath("notice-1.png"));
        QCOMPARE(notice, "http://" + photoHost + "/notice/1");
        QCOMPARE(fixture.fetch(notice.mid(7)).status, 200);
    }

    void executableServesUntilStoppedAndListsAccounts()
    {
        QTemporaryDir data;
        QProcess server;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(
            QStringLiteral(ORVELLE_DEVSERVER_EXE),
            {"--data", data.path(), "--listen", ORVELLE_TEST_HOST, "--publish-build", "7"});
        QVERIFY(server.waitForStarted());
        QByteArray output;
        while (!output.contains("ready https://") && server.waitForReadyRead(30000))
            output += server.readAllStandardOutput();
        QVERIFY2(output.contains("orvelle-devserver: ready https://" ORVELLE_TEST_HOST ":50000"),
                 output.constData());
        QVERIFY(output.contains(QDir(data.path()).filePath("tls/ca.pem").toUtf8()));

        httplib::SSLClient client(ORVELLE_TEST_HOST, 50000);
        client.set_ca_cert_path(QDir(data.path()).filePath("tls/ca.pem").toStdString().c_str());
        client.enable_server_certificate_verification(true);
        const auto answer = client.Post("/TolvKsServer/notes/QueryVersion2", "edition=ios",
                                        "application/x-www-form-urlencoded");
        QVERIFY(answer);
        QCOMPARE(
            QJsonDocument::fromJson(QByteArray::fromStdString(answer->body))["version"]["v_number"]
                .toInt(),
            7);

        server.terminate();
        QVERIFY(server.waitForFinished(30000));
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.exitCode(), 0);

        QProcess accounts;
        accounts.start(QStringLiteral(ORVELLE_DEVSERVER_EXE),
                       {"--data", data.path(), "--accounts"});
        QVERIFY(accounts.waitForFinished(30000));
        QCOMPARE(accounts.exitCode(), 0);
        const QString listing = QString::fromUtf8(accounts.readAllStandardOutput());
        for (const char *account : {"zhangwei", "liming", "wangfang", "chenjing"})
            QVERIFY2(listing.contains(QLatin1String(account)), qPrintable(listing));
        QVERIFY(listing.contains("13800000001"));
    }
};

QTEST_GUILESS_MAIN(TestDevServerTools)
#include "tst_devserver_tools.moc"
