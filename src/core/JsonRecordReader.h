#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <optional>

namespace orvelle {

// Reads the fields of one answer record with the service's typing rules:
// a missing key or null is absent; a value of the wrong JSON type fails the
// whole record; lists may be read leniently (any fault makes the list absent).
// Each read is a no-op once the record has failed.
class JsonRecordReader
{
public:
    // Holds on to `object`: keep it alive while reading.
    explicit JsonRecordReader(const QJsonObject &object)
        : m_object(object)
    {}
    explicit JsonRecordReader(QJsonObject &&) = delete;

    bool ok() const { return m_ok; }

    // The record read so far, or nothing when any field failed it.
    template <typename Record> std::optional<Record> finish(Record &&record) const
    {
        if (!m_ok)
            return std::nullopt;
        return std::forward<Record>(record);
    }

    void text(const char *key, std::optional<QString> &field);
    // Like text(), but a missing or null value fails the record too.
    void requiredText(const char *key, std::optional<QString> &field);
    // A JSON number holding a whole value within 64 bits.
    void integer(const char *key, std::optional<qint64> &field);

    // Each element must be an object whose fields `Element::read` accepts; any
    // other outcome leaves the list absent without failing the record.
    template <typename Element>
    void lenientList(const char *key, std::optional<QList<Element>> &field)
    {
        field.reset();
        if (!m_ok)
            return;
        const auto found = m_object.constFind(QLatin1StringView(key));
        if (found == m_object.constEnd() || !found->isArray())
            return;
        const QJsonArray array = found->toArray();
        // Filled aside: a fault halfway must not leave a partial list behind.
        QList<Element> elements;
        elements.reserve(array.size());
        for (const QJsonValueConstRef entry : array) {
            if (!entry.isObject())
                return;
            const QJsonObject object = entry.toObject();
            JsonRecordReader reader(object);
            // Read in place: no record is moved into the list.
            elements.emplaceBack().read(reader);
            if (!reader.ok())
                return;
        }
        field.emplace(std::move(elements));
    }

private:
    // Reads through references into the object: no QJsonValue is copied out.
    const QJsonObject &m_object;
    bool m_ok = true;
};

// A JSON number holding a whole value within 64 bits; absent for anything else.
std::optional<qint64> jsonWholeNumber(const QJsonValue &value);

// A record whose fields `Record::read` takes from `json`, or nothing when any failed.
template <typename Record> std::optional<Record> readRecord(const QJsonObject &json)
{
    JsonRecordReader reader(json);
    Record record;
    record.read(reader);
    return reader.finish(std::move(record));
}

// Decodes `json` as the record type `Record` (which has a static decode());
// nothing partial is ever delivered.
template <typename Record> std::optional<Record> decodeRecord(const QJsonObject &json)
{
    return Record::decode(json);
}

} // namespace orvelle
