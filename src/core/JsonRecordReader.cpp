#include "JsonRecordReader.h"

#include <cmath>
#include <limits>

namespace orvelle {

namespace {
// For QJsonValue and QJsonValueConstRef alike.
template <typename Value> std::optional<qint64> wholeNumber(const Value &value)
{
    if (!value.isDouble())
        return std::nullopt;
    // Integers beyond 2^53 are kept exactly by QJsonValue; the double is only
    // used to tell a fraction or an out-of-range value.
    const double number = value.toDouble();
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!std::isfinite(number) || std::trunc(number) != number || number >= limit
        || number < -limit)
        return std::nullopt;
    return value.toInteger(static_cast<qint64>(number));
}
} // namespace

void JsonRecordReader::text(const char *key, std::optional<QString> &field)
{
    field.reset();
    if (!m_ok)
        return;
    const auto found = m_object.constFind(QLatin1StringView(key));
    if (found == m_object.constEnd())
        return;
    switch (found->type()) {
    case QJsonValue::String:
        field.emplace(found->toString());
        return;
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return;
    default:
        m_ok = false;
    }
}

void JsonRecordReader::requiredText(const char *key, std::optional<QString> &field)
{
    text(key, field);
    if (!field)
        m_ok = false;
}

void JsonRecordReader::integer(const char *key, std::optional<qint64> &field)
{
    field.reset();
    if (!m_ok)
        return;
    const auto found = m_object.constFind(QLatin1StringView(key));
    if (found == m_object.constEnd() || found->isNull() || found->isUndefined())
        return;
    field = wholeNumber(*found);
    if (!field)
        m_ok = false;
}

std::optional<qint64> jsonWholeNumber(const QJsonValue &value)
{
    return wholeNumber(value);
}

} // namespace orvelle
