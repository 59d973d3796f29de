#include "FuzzTarget.h"

#include "net/ServiceClient.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using orvelle::fuzz::targets;

class TestCorpusReplay : public QObject
{
    Q_OBJECT

private slots:
    // Each target listed for the build is linked here and has seeds, and each
    // corpus folder belongs to a target: a renamed target cannot leave its
    // corpus silently unplayed.
    void everyTargetHasItsCorpus()
    {
        const QDir corpus(QStringLiteral(ORVELLE_FUZZ_CORPUS));
        const QStringList listed = QStringLiteral(ORVELLE_FUZZ_TARGETS).split(QLatin1Char(','));
        QCOMPARE(int(targets().size()), int(listed.size()));
        for (const QString &name : listed) {
            QVERIFY2(targets().count(name.toStdString()), qPrintable(name));
            QVERIFY2(!QDir(corpus.filePath(name)).isEmpty(QDir::Files), qPrintable(name));
        }
        const QStringList folders = corpus.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &folder : folders)
            QVERIFY2(listed.contains(folder), qPrintable(folder));
    }

    // Inputs the fuzzer found wrongly accepted, with the outcome they must have.
    void foundByFuzzing()
    {
        // "$" let a code text end in a newline, so "1\n" read as success.
        for (const char *body : {"{\"code\":\"1\\n\"}", "{\"code\":\"9\n\"}"}) {
            const auto answer = orvelle::readAnswer(body);
            QVERIFY2(std::holds_alternative<orvelle::ServiceFailure>(answer), body);
            QVERIFY2(std::get<orvelle::ServiceFailure>(answer).code == -1, body);
        }
    }

    void replay_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("file");
        const QDir corpus(QStringLiteral(ORVELLE_FUZZ_CORPUS));
        for (const auto &[name, entry] : targets()) {
            const QDir folder(corpus.filePath(QString::fromStdString(name)));
            for (const QString &file : folder.entryList(QDir::Files, QDir::Name))
                QTest::newRow(qPrintable(folder.dirName() + QLatin1Char('/') + file))
                    << folder.dirName() << folder.filePath(file);
        }
    }

    // A crash or a broken check aborts the run under the sanitizers.
    void replay()
    {
        QFETCH(QString, target);
        QFETCH(QString, file);
        QFile input(file);
        QVERIFY2(input.open(QIODevice::ReadOnly), qPrintable(input.errorString()));
        const QByteArray data = input.readAll();
        const auto entry = targets().at(target.toStdString());
        QCOMPARE(entry(reinterpret_cast<const std::uint8_t *>(data.constData()),
                       std::size_t(data.size())),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestCorpusReplay)
#include "tst_corpus_replay.moc"
