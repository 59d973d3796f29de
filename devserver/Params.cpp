#include "Params.h"

#include "Contract.h"

#include <cmath>

namespace orvelle::devserver {

Params Params::fromForm(const QJsonObject &texts)
{
    Params params;
    params.m_values = texts;
    return params;
}

Params Params::fromJson(const QJsonObject &object)
{
    Params params;
    params.m_values = object;
    return params;
}

void Params::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message;
}

QString Params::text(const char *key)
{
    const QJsonValue value = m_values.value(QLatin1String(key));
    if (value.isUndefined()) {
        fail(QStringLiteral("缺少参数 %1").arg(QLatin1String(key)));
        return {};
    }
    if (!value.isString()) {
        fail(QStringLiteral("参数 %1 应为文本").arg(QLatin1String(key)));
        return {};
    }
    return value.toString();
}

std::optional<QString> Params::optionalText(const char *key)
{
    const QJsonValue value = m_values.value(QLatin1String(key));
    if (value.isUndefined())
        return std::nullopt;
    if (!value.isString()) {
        fail(QStringLiteral("参数 %1 应为文本").arg(QLatin1String(key)));
        return std::nullopt;
    }
    return value.toString();
}

qint64 Params::integer(const char *key)
{
    const QJsonValue value = m_values.value(QLatin1String(key));
    if (value.isUndefined()) {
        fail(QStringLiteral("缺少参数 %1").arg(QLatin1String(key)));
        return 0;
    }
    const double number = value.toDouble();
    if (!value.isDouble() || std::trunc(number) != number) {
        fail(QStringLiteral("参数 %1 应为整数").arg(QLatin1String(key)));
        return 0;
    }
    return value.toInteger();
}

QJsonArray Params::array(const char *key)
{
    const QJsonValue value = m_values.value(QLatin1String(key));
    if (value.isUndefined()) {
        fail(QStringLiteral("缺少参数 %1").arg(QLatin1String(key)));
        return {};
    }
    if (!value.isArray()) {
        fail(QStringLiteral("参数 %1 应为数组").arg(QLatin1String(key)));
        return {};
    }
    return value.toArray();
}

void Params::expect(const char *key, const char *expected)
{
    const QString value = text(key);
    if (!m_error.isEmpty())
        return;
    if (value != QLatin1String(expected))
        fail(QStringLiteral("参数 %1 的值 %2 不正确").arg(QLatin1String(key), value));
}

std::optional<QJsonObject> Params::problem() const
{
    if (m_error.isEmpty())
        return std::nullopt;
    return refusal(m_error);
}

QJsonObject okAnswer(QJsonObject payload, const QString &msg)
{
    payload.insert(QStringLiteral("code"), contract::codeOk);
    payload.insert(QStringLiteral("msg"), msg);
    return payload;
}

QJsonObject refusal(const QString &msg, int code)
{
    return QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("msg"), msg}};
}

} // namespace orvelle::devserver
