#pragma once

#include "session/User.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace orvelle {

// The common "mobile" and "token" of one sign-in, taken at the start of
// work that must go with that sign-in and no other.
struct Credentials
{
    OptionalText mobile;
    OptionalText token;
    // Session::generation() when they were taken.
    quint64 generation = 0;
};

// The one thing that changes sign-in state. It keeps the two stored
// records (the one the root view watches and the one requests read), applies
// every change to them whole, and only then announces it. Whatever depends on
// who is signed in follows these announcements, never the raw flags.
class Session : public QObject
{
    Q_OBJECT

public:
    enum class State { SignedOut, Guest, SignedIn, Ended };
    Q_ENUM(State)

    // Both records from the store in the user's config folder, or from `storeFile`.
    explicit Session(QObject *parent = nullptr);
    explicit Session(const QString &storeFile, QObject *parent = nullptr);
    ~Session() override;

    // Watched by the root view: its "islogin" picks the screen.
    User &appState() { return m_appState; }
    const User &appState() const { return m_appState; }
    // The account record requests and screens read.
    User &account() { return m_account; }
    const User &account() const { return m_account; }

    // Starts reading the password and the token from the keychain, and
    // removes a token an older sign-out kept. The application calls it once
    // its window is up; what needs the token earlier waits for it.
    void readSecrets();

    State state() const { return m_state; }
    // The signed-in account's store key (also after the service ended its
    // sign-in); "" for a guest or when signed out.
    QString accountKey() const;
    // Changes with every sign-in, guest entry, sign-out and end.
    quint64 generation() const { return m_generation; }
    Credentials credentials() const;

    // Fills the account from a sign-in answer; on success the user is signed
    // in, otherwise `onFailure` gets (-1, "登录失败") and nothing changes.
    void signIn(const QJsonObject &answer,
                const std::function<void(int, const QString &)> &onFailure);
    // "游客访问": the main tabs for a visitor, without a request.
    void enterGuest();
    // "登出", and after a password change or a phone binding: the token goes.
    void signOut();
    // The service answered code 9 to a request made under `generation`;
    // an answer to a request of an earlier sign-in ends nothing.
    void endedByService(quint64 generation);
    // A new phone number was bound to the account: its work on the device
    // follows it when the number was its key.
    void phoneBound(const QString &phone);

signals:
    // Each after the whole change is applied.
    void signedIn(const QString &accountKey);
    // The account's store key changed from `before` to `after`.
    void accountKeyChanged(const QString &before, const QString &after);
    void guestEntered();
    void signedOut();
    void ended();
    // After any of the four.
    void stateChanged();

private:
    void enter(State state);

    User m_appState;
    User m_account;
    State m_state = State::SignedOut;
    quint64 m_generation = 0;
};

} // namespace orvelle
