#include "Store.h"

#include "Contract.h"
#include "Schema.h"

#include <QDateTime>
#include <QRandomGenerator>

namespace orvelle::devserver {

namespace {

QString randomHex(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    for (char &c : raw)
        c = char(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(raw.toHex());
}

const char *purposeName(CodePurpose purpose)
{
    return purpose == CodePurpose::Binding ? "bind" : "change";
}

void putText(QJsonObject &object, const char *key, const std::optional<QString> &value)
{
    if (value)
        object.insert(QLatin1String(key), *value);
}

} // namespace

Store::Store(StoreSettings settings)
    : m_settings(std::move(settings))
{
    if (!m_settings.now)
        m_settings.now = [] { return QDateTime::currentMSecsSinceEpoch(); };
}

qint64 Store::now() const
{
    return m_settings.now();
}

bool Store::open(const QString &path, QString *error)
{
    std::lock_guard lock(m_mutex);
    if (!m_db.open(path)) {
        *error = m_db.lastError();
        return false;
    }
    SqlStatement probe(m_db, QStringLiteral("PRAGMA user_version"));
    const qint64 version = probe.next() ? probe.integer(0) : -1;
    if (version == schemaVersion)
        return true;
    if (version != 0) {
        *error = QStringLiteral("%1 has schema version %2, expected %3")
                     .arg(path)
                     .arg(version)
                     .arg(schemaVersion);
        return false;
    }
    // Schema and seed in one transaction: a failed first start leaves an
    // empty file that the next start fills again.
    SqlTransaction transaction(m_db);
    if (!transaction.started() || !m_db.exec(QString::fromLatin1(schemaSql))
        || !seedDatabase(m_db, m_settings.updateAddress, error)
        || !m_db.exec(QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion))) {
        if (error->isEmpty())
            *error = m_db.lastError();
        return false;
    }
    if (!transaction.commit()) {
        *error = m_db.lastError();
        return false;
    }
    return true;
}

Result<QJsonObject> Store::signIn(SignInBy by, const QString &identifier, const QString &password)
{
    std::lock_guard lock(m_mutex);
    const QString column =
        by == SignInBy::Mobile ? QStringLiteral("mobile") : QStringLiteral("username");
    SqlStatement query(m_db, QStringLiteral("SELECT id, password, notes_password, mobile, username,"
                                            " jobnumber, ou1, ou2, dept, positiongrade, position,"
                                            " level FROM accounts WHERE %1 = ?")
                                 .arg(column));
    query.bind(1, identifier);
    if (!query.next())
        return Result<QJsonObject>::refuse(QStringLiteral("账号不存在"));
    if (query.textOr(1) != password)
        return Result<QJsonObject>::refuse(QStringLiteral("密码错误"));
    if (!query.text(3))
        return Result<QJsonObject>::refuse(QString::fromUtf8(contract::unboundPhoneText));
    if (query.textOr(2) != password)
        return Result<QJsonObject>::refuse(QString::fromUtf8(contract::passwordMismatchText));

    const QString token = randomHex(16);
    SqlTransaction transaction(m_db);
    SqlStatement insert(m_db, QStringLiteral("INSERT INTO tokens VALUES (?, ?, ?)"));
    insert.bindAll({token, query.integer(0), now()});
    if (!insert.run() || !transaction.commit())
        return Result<QJsonObject>::refuse(QStringLiteral("服务器错误"));

    QJsonObject userinfo;
    putText(userinfo, "mobile", query.text(3));
    putText(userinfo, "username", query.text(4));
    putText(userinfo, "jobnumber", query.text(5));
    putText(userinfo, "ou1", query.text(6));
    putText(userinfo, "ou2", query.text(7));
    userinfo.insert(QLatin1String("token"), token);
    putText(userinfo, "dept", query.text(8));
    putText(userinfo, "password", query.text(1));
    putText(userinfo, "positiongrade", query.text(9));
    putText(userinfo, "position", query.text(10));
    putText(userinfo, "level", query.text(11));
    return Result<QJsonObject>::ok(userinfo);
}

Result<qint64> Store::checkToken(const QString &token)
{
    std::lock_guard lock(m_mutex);
    SqlStatement query(m_db,
                       QStringLiteral("SELECT account_id, issued_ms FROM tokens WHERE token = ?"));
    query.bind(1, token);
    if (token.isEmpty() || !query.next())
        return Result<qint64>::refuse(QStringLiteral("登录已失效，请重新登录"),
                                      contract::codeSignInEnded);
    if (now() - query.integer(1) > m_settings.tokenLifetimeMs)
        return Result<qint64>::refuse(QStringLiteral("登录已过期，请重新登录"),
                                      contract::codeSignInEnded);
    return Result<qint64>::ok(query.integer(0));
}

Result<QString> Store::issueCode(CodePurpose purpose, const QString &mobile)
{
    std::lock_guard lock(m_mutex);
    SqlStatement owner(m_db, QStringLiteral("SELECT id FROM accounts WHERE mobile = ?"));
    owner.bind(1, mobile);
    const bool bound = owner.next();
    if (purpose == CodePurpose::Binding && bound)
        return Result<QString>::refuse(QStringLiteral("该手机号已绑定其他账号"));
    if (purpose == CodePurpose::PasswordChange && !bound)
        return Result<QString>::refuse(QStringLiteral("该手机号未绑定账号"));

    const QString code = QStringLiteral("%1").arg(QRandomGenerator::system()->bounded(1000000), 6,
                                                  10, QLatin1Char('0'));
    SqlTransaction transaction(m_db);
    // Only the newest code is good: "used" 2 marks one a later code ended.
    SqlStatement end(m_db, QStringLiteral("UPDATE codes SET used = 2 WHERE purpose = ?"
                                          " AND mobile = ? AND used = 0"));
    end.bindAll({QLatin1String(purposeName(purpose)), mobile});
    SqlStatement insert(m_db, QStringLiteral("INSERT INTO codes (purpose, mobile, code, issued_ms)"
                                             " VALUES (?, ?, ?, ?)"));
    insert.bindAll({QLatin1String(purposeName(purpose)), mobile, code, now()});
    if (!end.run() || !insert.run() || !transaction.commit())
        return Result<QString>::refuse(QStringLiteral("服务器错误"));
    return Result<QString>::ok(code);
}

// With the lock held; forgets wrong codes older than the window.
bool Store::tooManyWrongCodes(const QString &mobile)
{
    std::vector<qint64> &times = m_wrongCodes[mobile];
    const qint64 since = now() - wrongCodeWindowMs;
    std::erase_if(times, [since](qint64 at) { return at <= since; });
    return times.size() >= std::size_t(wrongCodeLimit);
}

// Called inside the caller's transaction, with the lock held.
bool Store::consumeCode(CodePurpose purpose, const QString &mobile, const QString &code,
                        QString *refusal)
{
    SqlStatement query(m_db,
                       QStringLiteral("SELECT id, issued_ms, used FROM codes WHERE purpose = ?"
                                      " AND mobile = ? AND code = ? ORDER BY id DESC"));
    query.bindAll({QLatin1String(purposeName(purpose)), mobile, code});
    if (tooManyWrongCodes(mobile)) {
        *refusal = QStringLiteral("验证码错误次数过多，请稍后再试");
        return false;
    }
    // An ended code is no better than a guess.
    const bool found = query.next();
    if (!found || query.integer(2) == 2) {
        m_wrongCodes[mobile].push_back(now());
        *refusal = found ? QStringLiteral("验证码已失效，请使用最新的验证码")
                         : QStringLiteral("验证码错误");
        return false;
    }
    if (query.integer(2) != 0) {
        *refusal = QStringLiteral("验证码已使用，请重新获取");
        return false;
    }
    if (now() - query.integer(1) > m_settings.codeLifetimeMs) {
        *refusal = QStringLiteral("验证码已过期，请重新获取");
        return false;
    }
    SqlStatement use(m_db, QStringLiteral("UPDATE codes SET used = 1 WHERE id = ?"));
    use.bind(1, query.integer(0));
    if (!use.run()) {
        *refusal = QStringLiteral("服务器错误");
        return false;
    }
    return true;
}

Result<QString> Store::bindPhone(const QString &username, const QString &password,
                                 const QString &mobile, const QString &code)
{
    std::lock_guard lock(m_mutex);
    SqlTransaction transaction(m_db);
    SqlStatement account(m_db,
                         QStringLiteral("SELECT id, password FROM accounts WHERE username = ?"));
    account.bind(1, username);
    if (!account.next())
        return Result<QString>::refuse(QStringLiteral("账号不存在"));
    if (account.textOr(1) != password)
        return Result<QString>::refuse(QStringLiteral("密码错误"));
    SqlStatement taken(m_db,
                       QStringLiteral("SELECT id FROM accounts WHERE mobile = ? AND id <> ?"));
    taken.bindAll({mobile, account.integer(0)});
    if (taken.next())
        return Result<QString>::refuse(QStringLiteral("该手机号已绑定其他账号"));
    QString refusal;
    if (!consumeCode(CodePurpose::Binding, mobile, code, &refusal))
        return Result<QString>::refuse(refusal);
    SqlStatement update(m_db, QStringLiteral("UPDATE accounts SET mobile = ? WHERE id = ?"));
    update.bindAll({mobile, account.integer(0)});
    if (!update.run() || !transaction.commit())
        return Result<QString>::refuse(QStringLiteral("服务器错误"));
    return Result<QString>::ok(QStringLiteral("绑定手机号成功，请重新登录"));
}

Result<QString> Store::changePassword(const QString &name, const QString &mobile,
                                      const QString &code, const QString &newPassword)
{
    std::lock_guard lock(m_mutex);
    SqlTransaction transaction(m_db);
    SqlStatement account(m_db,
                         QStringLiteral("SELECT id, mobile FROM accounts WHERE username = ?"));
    account.bind(1, name);
    if (!account.next())
        return Result<QString>::refuse(QStringLiteral("账号不存在"));
    if (account.text(1) != mobile)
        return Result<QString>::refuse(QStringLiteral("手机号与账号不符"));
    QString refusal;
    if (!consumeCode(CodePurpose::PasswordChange, mobile, code, &refusal))
        return Result<QString>::refuse(refusal);
    // The Notes password follows, and earlier sign-ins end with the old one.
    SqlStatement update(m_db, QStringLiteral("UPDATE accounts SET password = ?, notes_password = ?"
                                             " WHERE id = ?"));
    update.bindAll({newPassword, newPassword, account.integer(0)});
    SqlStatement revoke(m_db, QStringLiteral("DELETE FROM tokens WHERE account_id = ?"));
    revoke.bind(1, account.integer(0));
    if (!update.run() || !revoke.run() || !transaction.commit())
        return Result<QString>::refuse(QStringLiteral("服务器错误"));
    return Result<QString>::ok(QStringLiteral("修改密码成功"));
}

Result<QJsonObject> Store::version(const QString &edition)
{
    std::lock_guard lock(m_mutex);
    SqlStatement query(m_db, QStringLiteral("SELECT v_number, v_title, v_address, v_meno"
                                            " FROM versions WHERE edition = ?"));
    query.bind(1, edition);
    if (!query.next())
        return Result<QJsonObject>::refuse(QStringLiteral("没有该版本信息"));
    QJsonObject version{{QStringLiteral("v_number"), query.integer(0)}};
    putText(version, "v_title", query.text(1));
    putText(version, "v_address", query.text(2));
    putText(version, "v_meno", query.text(3));
    return Result<QJsonObject>::ok(version);
}

bool Store::publishBuild(qint64 build, QString *error)
{
    std::lock_guard lock(m_mutex);
    SqlStatement update(m_db, QStringLiteral("UPDATE versions SET v_number = ?, v_title = ?,"
                                             " v_meno = ? WHERE edition = 'ios'"));
    update.bindAll({build, QStringLiteral("Orvelle build %1").arg(build),
                    QStringLiteral("新版本（build %1）已发布，请更新到新版本").arg(build)});
    if (!update.run()) {
        *error = update.error();
        return false;
    }
    return true;
}

QList<AccountSummary> Store::accounts()
{
    std::lock_guard lock(m_mutex);
    SqlStatement query(m_db, QStringLiteral("SELECT username, mobile, password, notes_password,"
                                            " ou1, ou2 FROM accounts ORDER BY id"));
    QList<AccountSummary> result;
    while (query.next())
        result.append({query.textOr(0), query.textOr(1), query.textOr(2), query.textOr(3),
                       query.textOr(4), query.textOr(5)});
    return result;
}

} // namespace orvelle::devserver
