#include "Contract.h"
#include "Operations.h"

#include <QRegularExpression>

namespace orvelle::devserver {

namespace {

bool isPhoneNumber(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^1[0-9]{10}$"));
    return pattern.match(text).hasMatch();
}

QJsonObject signIn(ServiceContext &context, Params &params, SignInBy by)
{
    const QString mobile = params.text("mobile");
    const QString password = params.text("password");
    if (auto bad = params.problem())
        return *bad;
    Result<QJsonObject> result = context.store.signIn(by, mobile, password);
    if (!result)
        return refusal(result.msg, result.code);
    return okAnswer({{QStringLiteral("userinfo"), *result.value}}, QStringLiteral("登录成功"));
}

QJsonObject sendCode(ServiceContext &context, CodePurpose purpose, const QString &mobile)
{
    Result<QString> code = context.store.issueCode(purpose, mobile);
    if (!code)
        return refusal(code.msg, code.code);
    // Stands in for the SMS: the tester reads the code from the log.
    context.log(QStringLiteral("SMS to %1: verification code %2").arg(mobile, *code.value));
    return okAnswer({}, QStringLiteral("发送验证码成功"));
}

QJsonObject requestBindingCode(ServiceContext &context, Params &params)
{
    const QString mobile = params.text("mobile");
    if (auto bad = params.problem())
        return *bad;
    if (!isPhoneNumber(mobile))
        return refusal(QStringLiteral("请输入正确的手机号"));
    return sendCode(context, CodePurpose::Binding, mobile);
}

// The account is known by the stored phone number the client sends along.
QJsonObject requestChangeCode(ServiceContext &context, Params &params)
{
    const QString mobile = params.text("mobile");
    if (auto bad = params.problem())
        return *bad;
    return sendCode(context, CodePurpose::PasswordChange, mobile);
}

QJsonObject bindPhone(ServiceContext &context, Params &params)
{
    const QString code = params.text("code");
    const QString password = params.text("password");
    const QString username = params.text("username");
    const QString mobile = params.text("mobile");
    if (auto bad = params.problem())
        return *bad;
    if (!isPhoneNumber(mobile))
        return refusal(QStringLiteral("请输入正确的手机号"));
    Result<QString> result = context.store.bindPhone(username, password, mobile, code);
    return result ? okAnswer({}, *result.value) : refusal(result.msg, result.code);
}

QJsonObject changeAccountPassword(ServiceContext &context, Params &params)
{
    const QString code = params.text("code");
    const QString mobile = params.text("mobile");
    const QString password = params.text("repassword");
    const QString name = params.text("name");
    if (auto bad = params.problem())
        return *bad;
    if (password.size() < 6)
        return refusal(QStringLiteral("密码长度不能小于6位"));
    Result<QString> result = context.store.changePassword(name, mobile, code, password);
    return result ? okAnswer({}, *result.value) : refusal(result.msg, result.code);
}

QJsonObject answerVersion(ServiceContext &context, Params &params)
{
    const QString edition = params.text("edition");
    if (auto bad = params.problem())
        return *bad;
    Result<QJsonObject> version = context.store.version(edition);
    if (!version)
        return refusal(version.msg, version.code);
    return okAnswer({{QStringLiteral("version"), *version.value}});
}

} // namespace

QList<Operation> accountOperations()
{
    using namespace contract::paths;
    return {
        {mobileLogin, BodyKind::Form,
         [](ServiceContext &c, Params &p) { return signIn(c, p, SignInBy::Mobile); }},
        {notesLogin, BodyKind::Form,
         [](ServiceContext &c, Params &p) { return signIn(c, p, SignInBy::NotesAccount); }},
        {verifyRegistCode, BodyKind::Form, requestBindingCode},
        {verifyRegistReCode, BodyKind::Form, requestChangeCode},
        {tellNo, BodyKind::Form, bindPhone},
        {changePassword, BodyKind::Form, changeAccountPassword},
        {queryVersion, BodyKind::Form, answerVersion},
    };
}

std::optional<QJsonObject> refuseUnlessSignedIn(ServiceContext &context, Params &params,
                                                bool guestAllowed)
{
    const std::optional<QString> mobile = params.optionalText("mobile");
    const std::optional<QString> token = params.optionalText("token");
    if (auto bad = params.problem())
        return bad;
    if (guestAllowed && mobile == QString::fromUtf8(contract::guestMobile))
        return std::nullopt;
    Result<qint64> account = context.store.checkToken(token.value_or(QString()));
    if (!account)
        return refusal(account.msg, account.code);
    return std::nullopt;
}

} // namespace orvelle::devserver
