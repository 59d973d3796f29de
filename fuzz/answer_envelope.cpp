#include "FuzzTarget.h"

#include "net/ServiceClient.h"

#include <QJsonValue>

namespace {

// What a decimal code text means once a sign and leading zeros are set aside.
QString canonicalDecimal(QString text)
{
    bool negative = false;
    if (text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-'))) {
        negative = text.startsWith(QLatin1Char('-'));
        text.remove(0, 1);
    }
    while (text.size() > 1 && text.startsWith(QLatin1Char('0')))
        text.remove(0, 1);
    if (text == QLatin1String("0"))
        negative = false;
    return negative ? QLatin1Char('-') + text : text;
}

} // namespace

// Any body of a whole answer: an envelope or one of the two client failures.
ORVELLE_FUZZ_TARGET(answer_envelope)
{
    const auto answer = orvelle::readAnswer(orvelle::fuzz::bytes(data, size));
    if (const auto *failure = std::get_if<orvelle::ServiceFailure>(&answer)) {
        FUZZ_CHECK(failure->code == -1 || failure->code == -2);
        FUZZ_CHECK(!failure->message.isEmpty());
        return 0;
    }
    const auto &response = std::get<orvelle::AppResponse>(answer);
    FUZZ_CHECK(response.msg.has_value() == response.json.value(QLatin1String("msg")).isString());
    // A code is a whole number or a plain decimal text, never "1.5" or " 1".
    const QJsonValue code = response.json.value(QLatin1String("code"));
    if (code.isDouble())
        FUZZ_CHECK(double(response.code) == code.toDouble());
    else
        FUZZ_CHECK(code.isString()
                   && QString::number(response.code) == canonicalDecimal(code.toString()));
    return 0;
}
