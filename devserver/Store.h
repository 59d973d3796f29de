#pragma once

#include "Sql.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace orvelle::devserver {

// Milliseconds since the epoch; tests inject their own to move time on.
using Clock = std::function<qint64()>;

// A value, or the refusal (code and "msg") the service answers instead.
template <typename T> struct Result
{
    std::optional<T> value;
    int code = 0;
    QString msg;

    static Result ok(T v) { return Result{std::move(v), 1, {}}; }
    static Result refuse(QString message, int refusalCode = 0)
    {
        return Result{std::nullopt, refusalCode, std::move(message)};
    }
    explicit operator bool() const { return value.has_value(); }
};

struct StoreSettings
{
    qint64 tokenLifetimeMs = 7LL * 24 * 3600 * 1000;
    qint64 codeLifetimeMs = 5LL * 60 * 1000;
    Clock now;
    // Download address announced with the published version.
    QString updateAddress;
};

enum class SignInBy { Mobile, NotesAccount };
enum class CodePurpose { Binding, PasswordChange };

struct SheetItem
{
    std::optional<QString> id, projectitem, yhlevel, yhtype, yhtypes, isapprove, distription;
};

// A submitted check sheet or hazard report, as the client sends it.
struct NewSheet
{
    bool hazard = false;
    QString key, checkname, checkdept, checkpl, allapprove, openimageurl, image, ou1, ou2, place,
        username, weather, yhfrom, server, mobile, rowcount;
    QList<SheetItem> items;
};

struct CreatedSheet
{
    QString frmno, docid;
};

struct AccountSummary
{
    QString username, mobile, password, notesPassword, ou1, ou2;
};

// The dev service's data, in one SQLite file. Every method locks, so the
// HTTP worker threads can call it directly; every write is one transaction.
class Store
{
public:
    explicit Store(StoreSettings settings);

    // Opens (creating and seeding on first use) the database file.
    bool open(const QString &path, QString *error);

    Result<QJsonObject> signIn(SignInBy by, const QString &identifier, const QString &password);
    // The account id of a token that is known and not older than its lifetime.
    Result<qint64> checkToken(const QString &token);
    // Issues a single-use code for the number, which ends the codes issued
    // before it; for a password change the number must belong to an
    // account, for a binding it must be free.
    Result<QString> issueCode(CodePurpose purpose, const QString &mobile);
    Result<QString> bindPhone(const QString &username, const QString &password,
                              const QString &mobile, const QString &code);
    Result<QString> changePassword(const QString &name, const QString &mobile, const QString &code,
                                   const QString &newPassword);
    Result<QJsonObject> version(const QString &edition);
    bool publishBuild(qint64 build, QString *error);

    QJsonArray checkPoints(const QString &qzdept);
    QJsonArray sheetsToday(const QString &key);
    Result<QJsonObject> sheet(const QString &frmno);
    Result<QJsonObject> blankSheet(const QString &key);
    QJsonArray places();
    Result<CreatedSheet> createSheet(const NewSheet &sheet);

    QList<AccountSummary> accounts();
    // Every check point as (key, project), for the printable codes.
    QList<std::pair<QString, QString>> allCheckPoints();

private:
    qint64 now() const;
    bool consumeCode(CodePurpose purpose, const QString &mobile, const QString &code,
                     QString *refusal);
    bool tooManyWrongCodes(const QString &mobile);

    StoreSettings m_settings;
    std::mutex m_mutex;
    SqlDatabase m_db;
    // When wrong codes were given, by the number the codes go to (the
    // account), whatever their purpose. A new code does not clear them: else
    // each request would buy a fresh set of guesses.
    std::map<QString, std::vector<qint64>> m_wrongCodes;
};

// Six digits fall to guessing unless the wrong tries are few: at most this
// many for a number within an hour, after which it takes no code at all
// until the hour is over.
inline constexpr int wrongCodeLimit = 5;
inline constexpr qint64 wrongCodeWindowMs = 60 * 60 * 1000;

// Fills a fresh database (inside the caller's transaction).
bool seedDatabase(SqlDatabase &db, const QString &updateAddress, QString *error);

} // namespace orvelle::devserver
