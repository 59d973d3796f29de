#include "User.h"

#include "core/Logging.h"
#include "session/SecretStore.h"
#include <orvelle/BuildInfo.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace orvelle {

namespace {
// Shown to the user when the account record could not be saved.
const QString storeFailureMessage = QStringLiteral("账号信息保存失败，请检查存储空间后重试");
// Shown once when there is no keychain to keep the password and the token in.
const QString noKeychainMessage = QStringLiteral("无法使用系统钥匙串，本次登录不会被记住");

bool isSecret(const char *key)
{
    return qstrcmp(key, "password") == 0 || qstrcmp(key, "token") == 0;
}

// The record names the account: the file is made readable by its owner only
// before anything is written to it.
void createOwnerOnly(const QString &file)
{
    if (QFileInfo::exists(file))
        return;
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile created(file);
    if (created.open(QIODevice::NewOnly | QIODevice::WriteOnly,
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        created.close();
}
} // namespace

User::User(QObject *parent)
    : User(defaultStoreFile(), parent)
{}

User::User(const QString &storeFile, QObject *parent)
    : QObject(parent)
    , m_storeFile(storeFile)
    , m_secrets(SecretStore::forRecord(storeFile))
{
    connect(m_secrets.get(), &SecretStore::cannotRemember, this, &User::cannotRemember);
    createOwnerOnly(storeFile);
    openStore();
    load();
}

User::~User() = default;

void User::cannotRemember()
{
    m_storeError = noKeychainMessage;
    emit storeFailed(m_storeError);
}

QString User::defaultStoreFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
           + QStringLiteral("/account.ini");
}

void User::openStore()
{
    m_store = std::make_unique<QSettings>(m_storeFile, QSettings::IniFormat);
    // The file is parsed at the first access, and only then is its status known.
    m_store->allKeys();
    if (m_store->status() == QSettings::AccessError) {
        qCDebug(lcStore) << m_storeFile << "cannot be read; starting signed out";
    } else if (m_store->status() == QSettings::FormatError) {
        // QSettings keeps a format error for every later write, and a record
        // that is partly garbage cannot be trusted: start again signed out.
        qCDebug(lcStore) << m_storeFile << "is corrupt; discarded, starting signed out";
        m_store.reset();
        QFile::remove(m_storeFile);
        createOwnerOnly(m_storeFile);
        m_store = std::make_unique<QSettings>(m_storeFile, QSettings::IniFormat);
    }
}

void User::load()
{
    // The published flags first, each written straight back as it was.
    writeTogether([this] {
        m_islogin = readFile("islogin");
        write("islogin", m_islogin);
        m_isGuest = readFile("isGuest");
        write("isGuest", m_isGuest);
    });
    m_mobile = readFile("mobile");
    m_username = readFile("username");
    loadSecret(m_token, "token");
    m_asn = readFile("asn");
    m_loginout = readFile("loginout");
    m_jobnumber = readFile("jobnumber");
    m_ou1 = readFile("ou1");
    m_ou2 = readFile("ou2");
    m_dept = readFile("dept");
    loadSecret(m_password, "password");
    m_positiongrade = readFile("positiongrade");
    m_position = readFile("position");
    m_verson = readFile("verson");
    m_level = readFile("level");
}

void User::reloadThroughSetters()
{
    writeTogether([this] {
        setMobile(readFile("mobile"));
        setUsername(readFile("username"));
        setJobnumber(readFile("jobnumber"));
        setOu1(readFile("ou1"));
        setOu2(readFile("ou2"));
        loadSecret(m_token, "token");
        setIslogin(readFile("islogin"));
        setAsn(readFile("asn"));
        setLoginout(readFile("loginout"));
        setDept(readFile("dept"));
        loadSecret(m_password, "password");
        setPositiongrade(readFile("positiongrade"));
        setPosition(readFile("position"));
        setVerson(readFile("verson"));
        setLevel(readFile("level"));
        setIsGuest(readFile("isGuest"));
    });
}

void User::loadSecret(Secret &secret, const char *key)
{
    if (OptionalText plain = readFile(key)) {
        // An older client kept it in the file: it goes to the keychain now.
        m_secrets->write(QLatin1String(key), plain);
        m_store->remove(QLatin1String(key));
        m_store->sync();
        secret = {true, plain};
        return;
    }
    secret = {};
}

void User::readSecretsInBackground()
{
    m_secrets->prefetch(QStringLiteral("token"));
    m_secrets->prefetch(QStringLiteral("password"));
}

OptionalText User::known(Secret &secret, const char *key) const
{
    if (!secret.known)
        secret = {true, m_secrets->read(QLatin1String(key))};
    return secret.value;
}

void User::whenTokenKnown(QObject *context, std::function<void()> work)
{
    if (m_token.known)
        return work();
    m_secrets->prefetch(QStringLiteral("token"));
    m_secrets->whenAnswered(QStringLiteral("token"), context, std::move(work));
}

OptionalText User::readFile(const char *key) const
{
    const QVariant value = m_store->value(QLatin1String(key));
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() != QMetaType::QString) {
        // Another writer or a damaged file; the value itself may be a secret.
        qCDebug(lcStore) << "stored" << key << "is a" << value.metaType().name()
                         << "not text; taken as absent";
        return std::nullopt;
    }
    return value.toString();
}

QString User::storeKey() const
{
    // Guest mode writes this over the phone number, and keeps the last
    // account's employee number.
    if (m_mobile == guestMobile())
        return guestStoreKey();
    if (m_jobnumber && !m_jobnumber->isEmpty())
        return QStringLiteral("job:") + *m_jobnumber;
    if (m_mobile && !m_mobile->isEmpty())
        return QStringLiteral("mobile:") + *m_mobile;
    return {};
}

void User::setIslogin(const OptionalText &v)
{
    m_islogin = v;
    emit isloginChanged();
    write("islogin", v);
}

void User::setIsGuest(const OptionalText &v)
{
    m_isGuest = v;
    emit isGuestChanged();
    write("isGuest", v);
}

void User::assign(OptionalText &field, const char *key, const OptionalText &value)
{
    field = value;
    write(key, value);
}

void User::assignSecret(Secret &secret, const char *key, const OptionalText &value)
{
    secret = {true, value};
    write(key, value);
}

void User::write(const char *key, const OptionalText &value)
{
    if (isSecret(key))
        return m_secrets->write(QLatin1String(key), value);
    // A QSettings object keeps its first error for good: reopened, it takes
    // over the pending entries and judges this write on its own.
    if (m_store->status() != QSettings::NoError)
        m_store = std::make_unique<QSettings>(m_storeFile, QSettings::IniFormat);
    if (value)
        m_store->setValue(QLatin1String(key), *value);
    else
        m_store->remove(QLatin1String(key));
    if (m_writesHeld == 0)
        saveFile();
}

void User::writeTogether(const std::function<void()> &writes)
{
    ++m_writesHeld;
    writes();
    if (--m_writesHeld == 0)
        saveFile();
}

void User::saveFile()
{
    m_store->sync();
    if (m_store->status() != QSettings::NoError) {
        const QString reason = m_store->status() == QSettings::AccessError
                                   ? QStringLiteral("access error")
                                   : QStringLiteral("format error");
        qCDebug(lcStore) << "writing to" << m_store->fileName() << "failed:" << reason;
        m_storeError = storeFailureMessage;
        emit storeFailed(m_storeError);
        return;
    }
    if (m_storeError == storeFailureMessage)
        m_storeError.clear();
    // It holds the account: readable by its owner only.
    QFile::setPermissions(m_store->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void User::applyLoginResponse(const QJsonObject &json, const std::function<void(User &)> &onSuccess,
                              const std::function<void(int, const QString &)> &onFailure)
{
    const QJsonValue userinfoValue = json.value(QLatin1String("userinfo"));
    if (!userinfoValue.isObject() || !userinfoValue.toObject().contains(QLatin1String("token"))) {
        onFailure(-1, QStringLiteral("登录失败"));
        return;
    }
    const QJsonObject userinfo = userinfoValue.toObject();
    const auto text = [&userinfo](const char *key) -> OptionalText {
        const QJsonValue value = userinfo.value(QLatin1String(key));
        if (!value.isString())
            return std::nullopt;
        return value.toString();
    };

    writeTogether([&] {
        setMobile(text("mobile"));
        setUsername(text("username"));
        setJobnumber(text("jobnumber"));
        setOu1(text("ou1"));
        setOu2(text("ou2"));
        setIslogin(QStringLiteral("true"));
        setToken(text("token"));
        setDept(text("dept"));
        setPassword(text("password"));
        setPositiongrade(text("positiongrade"));
        setPosition(text("position"));
        setLoginout(QStringLiteral("false"));
        setVerson(QString::fromLatin1(build::marketingVersion));
        setLevel(text("level"));
        setIsGuest(QStringLiteral("false"));
    });
    onSuccess(*this);
}

} // namespace orvelle
