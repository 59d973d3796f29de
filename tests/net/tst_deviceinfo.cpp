#include "net/DeviceInfo.h"
#include "support/TestData.h"

#include <QTest>

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

    // What the configuration names instead goes into every request body,
    // as tst_net_client compares them.
    void theMachineHasAName() { QVERIFY(!DeviceInfo().deviceName().isEmpty()); }
};

QTEST_GUILESS_MAIN(TestDeviceInfo)
#include "tst_deviceinfo.moc"
