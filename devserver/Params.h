#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace orvelle::devserver {

// The parameters of one request, form-encoded or JSON, with typed reads.
// The first missing or wrongly typed parameter is remembered; a handler reads
// what it needs and then asks problem() before using any value.
class Params
{
public:
    static Params fromForm(const QJsonObject &texts);
    static Params fromJson(const QJsonObject &object);

    QString text(const char *key);
    // Absent is fine; a present value must be text.
    std::optional<QString> optionalText(const char *key);
    // A JSON integer (a number without a fraction), as the JSON operations send it.
    qint64 integer(const char *key);
    QJsonArray array(const char *key);
    // Refuses unless the value is exactly the expected text (the Notes names).
    void expect(const char *key, const char *expected);

    // The refusal answer for the first problem, if there was one.
    std::optional<QJsonObject> problem() const;

private:
    void fail(const QString &message);

    QJsonObject m_values;
    QString m_error;
};

// Envelope answers.
QJsonObject okAnswer(QJsonObject payload = {}, const QString &msg = {});
QJsonObject refusal(const QString &msg, int code = 0);

} // namespace orvelle::devserver
