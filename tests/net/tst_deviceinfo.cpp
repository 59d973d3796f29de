#include "net/DeviceInfo.h"
#include "support/TestData.h"

#include <QTest>

using orvelle::AppConfig;
using orvelle::DeviceInfo;

class TestDeviceInfo : public QObject
{
    Q_OBJECT

private slots:
    // Identifiers that share a prefix, and the fallbacks; not every row.
    void tableRowsThatCanGoWrong_data() { orvelle::test::addRows("net/device-models.json"); }

    void tableRowsThatCanGoWrong()
    {
        QFETCH(QJsonObject, row);
        QCOMPARE(DeviceInfo::modelNameFor(row["identifier"].toString()), row["name"].toString());
    }

    void configurationOverridesTheMachine()
    {
        QVERIFY(!DeviceInfo().deviceName().isEmpty());
        AppConfig config;
        config.deviceModel = QStringLiteral("iPhone 11");
        config.deviceName = QStringLiteral("巡检一号");
        config.deviceSystemVersion = QStringLiteral("16.1");
        const DeviceInfo phone(config);
        QCOMPARE(phone.modelName(), QStringLiteral("iPhone 11"));
        QCOMPARE(phone.deviceName(), QStringLiteral("巡检一号"));
        QCOMPARE(phone.systemVersion(), QStringLiteral("16.1"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceInfo)
#include "tst_deviceinfo.moc"
