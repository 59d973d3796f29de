#pragma once

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace orvelle::test {

// A file under tests/data: recorded answers and the rows of test tables.
inline QByteArray testData(const QString &name)
{
    QFile file(QStringLiteral(ORVELLE_TEST_DATA "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return file.readAll();
}

inline QJsonValue testJson(const QString &name)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(testData(name), &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("%s: %s at %d", qPrintable(name), qPrintable(error.errorString()), error.offset);
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

// One row a JSON object of the array in the data file, in the column "row",
// named by its "tag" (or, without one, by the whole object).
inline void addRows(const QString &name)
{
    QTest::addColumn<QJsonObject>("row");
    for (const QJsonValue &row : testJson(name).toArray()) {
        const QString tag = row[QLatin1String("tag")].toString(
            QString::fromUtf8(QJsonDocument(row.toObject()).toJson(QJsonDocument::Compact)));
        QTest::newRow(qPrintable(tag)) << row.toObject();
    }
}

} // namespace orvelle::test
