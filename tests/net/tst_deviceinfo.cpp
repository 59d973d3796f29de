#include "net/DeviceInfo.h"

#include <QProcess>
#include <QTest>

using orvelle::AppConfig;
using orvelle::DeviceInfo;

class TestDeviceInfo : public QObject
{
    Q_OBJECT

private slots:
    void tableRowsThatCanGoWrong()
    {
        // Identifiers that share a prefix, and the fallbacks; not every row.
        const QList<std::pair<QString, QString>> rows{
            {"iPhone9,1", "iPhone 7"},
            {"iPhone9,3", "美版、台版iPhone 7"},
            {"iPhone9,4", "美版、台版iPhone 7 Plus"},
            {"iPhone12,8", "iPhone SE(2nd generation)"},
            {"x86_64", "Simulator"},
            // Unknown identifiers come back unchanged, case-sensitively.
            {"iPhone11,4", "iPhone11,4"},
            {"arm64", "arm64"},
            {"iphone12,1", "iphone12,1"},
            {"iPhone9,", "iPhone9,"},
            {"", ""},
        };
        for (const auto &[identifier, name] : rows)
            QCOMPARE(DeviceInfo::modelNameFor(identifier), name);
    }

    void machineValuesAndOverrides()
    {
        QProcess uname;
        uname.start(QStringLiteral("uname"), {QStringLiteral("-m")});
        QVERIFY(uname.waitForFinished());
        const QString machine = QString::fromLatin1(uname.readAllStandardOutput()).trimmed();
        QCOMPARE(DeviceInfo::machineIdentifier(), machine);

        const DeviceInfo machineInfo;
        QCOMPARE(machineInfo.modelName(), DeviceInfo::modelNameFor(machine));
        QVERIFY(!machineInfo.deviceName().isEmpty());

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
