#include "JsonRecordReader.h"

#include <cmath>
#include <limits>

namespace orvelle {

void JsonRecordReader::text(const char *key, std::optional<QString> &field)
{
    field.reset();
    if (!m_ok)
        return;
    const QJsonValue value = m_object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return;
    if (!value.isString()) {
        m_ok = false;
        return;
    }
    field = value.toString();
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
    const QJsonValue value = m_object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return;
    field = jsonWholeNumber(value);
    if (!field)
        m_ok = false;
}

std::optional<qint64> jsonWholeNumber(const QJsonValue &value)
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

} // namespace orvelle
