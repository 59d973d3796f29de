#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <functional>
#include <memory>
#include <optional>

class QSettings;

namespace orvelle {

class SecretStore;

using OptionalText = std::optional<QString>;

// The account record and the session flags. Every assignment is written through
// to the store at once; an absent value removes its entry. The password and
// the token go to the system keychain (a plain value an older client left in
// the file is moved there at load), everything else to the INI file. A run
// has two instances, made together (appState, watched by the root view, and
// the account record the service client and the screens use): they share the
// store but not their memory.
class User : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the application")
    Q_PROPERTY(QString islogin READ isloginText NOTIFY isloginChanged)
    Q_PROPERTY(QString isGuest READ isGuestText NOTIFY isGuestChanged)

public:
    // Loads from the store in the user's config folder.
    explicit User(QObject *parent = nullptr);
    // Loads from the given INI file (tests, tools).
    explicit User(const QString &storeFile, QObject *parent = nullptr);
    ~User() override;

    // The store every User uses unless told otherwise.
    static QString defaultStoreFile();

    // The sixteen fields; each setter writes through to the store.
    OptionalText mobile() const { return m_mobile; }
    OptionalText username() const { return m_username; }
    OptionalText jobnumber() const { return m_jobnumber; }
    OptionalText ou1() const { return m_ou1; }
    OptionalText ou2() const { return m_ou2; }
    // Waits for the keychain's answer when it has not come yet.
    OptionalText token() const { return known(m_token, "token"); }
    OptionalText islogin() const { return m_islogin; }
    OptionalText asn() const { return m_asn; }
    OptionalText loginout() const { return m_loginout; }
    OptionalText dept() const { return m_dept; }
    OptionalText password() const { return known(m_password, "password"); }
    OptionalText positiongrade() const { return m_positiongrade; }
    OptionalText position() const { return m_position; }
    OptionalText verson() const { return m_verson; }
    OptionalText level() const { return m_level; }
    OptionalText isGuest() const { return m_isGuest; }

    void setMobile(const OptionalText &v) { assign(m_mobile, "mobile", v); }
    void setUsername(const OptionalText &v) { assign(m_username, "username", v); }
    void setJobnumber(const OptionalText &v) { assign(m_jobnumber, "jobnumber", v); }
    void setOu1(const OptionalText &v) { assign(m_ou1, "ou1", v); }
    void setOu2(const OptionalText &v) { assign(m_ou2, "ou2", v); }
    void setToken(const OptionalText &v) { assignSecret(m_token, "token", v); }
    void setIslogin(const OptionalText &v);
    void setAsn(const OptionalText &v) { assign(m_asn, "asn", v); }
    void setLoginout(const OptionalText &v) { assign(m_loginout, "loginout", v); }
    void setDept(const OptionalText &v) { assign(m_dept, "dept", v); }
    void setPassword(const OptionalText &v) { assignSecret(m_password, "password", v); }
    void setPositiongrade(const OptionalText &v) { assign(m_positiongrade, "positiongrade", v); }
    void setPosition(const OptionalText &v) { assign(m_position, "position", v); }
    void setVerson(const OptionalText &v) { assign(m_verson, "verson", v); }
    void setLevel(const OptionalText &v) { assign(m_level, "level", v); }
    void setIsGuest(const OptionalText &v);

    QString isloginText() const { return m_islogin.value_or(QString()); }
    QString isGuestText() const { return m_isGuest.value_or(QString()); }
    bool isSignedIn() const { return m_islogin == QStringLiteral("true"); }
    // Whose drafts, outbox entries and kept answers on this device are the
    // record's: "guest" for a visitor, else the employee number, which
    // neither a namesake nor a renamed user shares, else the phone number the
    // account signs in with; never the display name. "" when none is known.
    QString storeKey() const;
    // What guest mode puts in place of the phone number and the name.
    static QString guestMobile() { return QStringLiteral("游客"); }
    static QString guestName() { return QStringLiteral("游客模式"); }
    static QString guestStoreKey() { return QStringLiteral("guest"); }
    bool isGuestMode() const { return m_isGuest == QStringLiteral("true"); }

    // Fills this record from the "userinfo" of a sign-in answer. On failure
    // (-1, "登录失败") nothing is changed.
    void applyLoginResponse(const QJsonObject &json, const std::function<void(User &)> &onSuccess,
                            const std::function<void(int, const QString &)> &onFailure);

    // Reads all sixteen keys again, each of the file through its setter (so
    // each is written back once). The shared instance does this when it is
    // made; tests use it after changing the store file.
    void reloadThroughSetters();

    // Asks the keychain for the password and the token now, so that they
    // are there when first used; until then nothing is asked.
    void readSecretsInBackground();
    // Runs `work` at once when the token is known, else once the keychain
    // has answered, without holding the GUI thread (a locked keyring may
    // wait for the user).
    void whenTokenKnown(QObject *context, std::function<void()> work);

    // The last write that did not reach the disk, or "" when all did.
    QString storeError() const { return m_storeError; }

signals:
    void isloginChanged();
    void isGuestChanged();
    // A write did not reach the disk; the frame shows it to the user.
    void storeFailed(const QString &message);

private:
    // A value of the keychain, read when first used: loading the record
    // asks the keychain nothing, so the window never waits for it.
    struct Secret
    {
        bool known = false;
        OptionalText value;
    };
    void openStore();
    void load();
    // Moves a secret left in the file to the keychain; otherwise it is
    // read when first used.
    void loadSecret(Secret &secret, const char *key);
    OptionalText known(Secret &secret, const char *key) const;
    OptionalText readFile(const char *key) const;
    void cannotRemember();
    void assign(OptionalText &field, const char *key, const OptionalText &value);
    void assignSecret(Secret &secret, const char *key, const OptionalText &value);
    void write(const char *key, const OptionalText &value);
    // Runs `writes` with every file write held, then saves the file once:
    // each save reads and rewrites the whole file.
    void writeTogether(const std::function<void()> &writes);
    void saveFile();

    QString m_storeFile;
    std::unique_ptr<QSettings> m_store;
    std::shared_ptr<SecretStore> m_secrets;
    QString m_storeError;
    int m_writesHeld = 0;
    OptionalText m_mobile, m_username, m_jobnumber, m_ou1, m_ou2, m_islogin, m_asn, m_loginout,
        m_dept, m_positiongrade, m_position, m_verson, m_level, m_isGuest;
    mutable Secret m_token, m_password;
};

} // namespace orvelle
