#pragma once

#include <QColor>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRandomGenerator>
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

// A file's bytes; empty when it cannot be read.
inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file under the folder, by its path there, but SQLite's index and
// empty files (journals any reader may make, a lock): what a store that is
// left alone must keep byte for byte.
inline QMap<QString, QByteArray> filesUnder(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator found(folder, QDir::Files, QDirIterator::Subdirectories); found.hasNext();) {
        const QString file = found.next();
        if (!file.endsWith(QLatin1String("-shm")) && QFileInfo(file).size() > 0)
            files.insert(file.mid(folder.size()), fileContents(file));
    }
    return files;
}

inline QJsonValue testJson(const QString &name)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(testData(name), &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("%s: %s at %d", qPrintable(name), qPrintable(error.errorString()), error.offset);
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

// An answer as the service sends it: a string as it stands (it need not be
// JSON), an object or an array as compact JSON.
inline std::string answerText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString().toStdString();
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return document.toJson(QJsonDocument::Compact).toStdString();
}

// The answer `name` of a data file that holds one object of named answers.
inline std::string answerIn(const QString &file, const QString &name)
{
    const QJsonValue value = testJson(file)[name];
    if (value.isUndefined())
        qFatal("%s has no answer %s", qPrintable(file), qPrintable(name));
    return answerText(value);
}

// The same answer as the record a decoder gets.
inline QJsonObject recordIn(const QString &file, const QString &name)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(answerIn(file, name))).object();
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

// A photo told apart by its width.
inline QImage photo(int width)
{
    QImage image(width, 8, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(width * 5 % 360, 200, 200));
    return image;
}

// A square photo of that width whose JPEG is large: noise does not compress.
inline QImage noisyPhoto(int width)
{
    QImage image(width, width, QImage::Format_RGB32);
    QRandomGenerator random{quint32(width)};
    for (int y = 0; y < image.height(); ++y)
        random.fillRange(reinterpret_cast<quint32 *>(image.scanLine(y)), image.width());
    return image;
}

} // namespace orvelle::test
