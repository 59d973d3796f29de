#include "Session.h"

namespace orvelle {

namespace {
const QString yes = QStringLiteral("true");
const QString no = QStringLiteral("false");
} // namespace

Session::Session(QObject *parent)
    : Session(User::defaultStoreFile(), parent)
{}

Session::Session(const QString &storeFile, QObject *parent)
    : QObject(parent)
    , m_appState(storeFile)
    , m_account(storeFile)
{
    // The account record is read once more through its setters, so each
    // value is written back once, as it always was.
    m_account.reloadThroughSetters();
    if (m_appState.isSignedIn())
        m_state = m_appState.isGuestMode() ? State::Guest : State::SignedIn;
}

void Session::readSecrets()
{
    m_account.readSecretsInBackground();
    if (m_state == State::SignedOut)
        m_account.setToken(std::nullopt); // an older sign-out may have kept it
}

Session::~Session() = default;

QString Session::accountKey() const
{
    if (m_state != State::SignedIn && m_state != State::Ended)
        return {};
    return m_account.storeKey();
}

void Session::phoneBound(const QString &phone)
{
    const QString before = m_account.storeKey();
    m_account.setMobile(phone);
    if (const QString after = m_account.storeKey(); after != before)
        emit accountKeyChanged(before, after);
}

Credentials Session::credentials() const
{
    return {m_account.mobile(), m_account.token(), m_generation};
}

void Session::signIn(const QJsonObject &answer,
                     const std::function<void(int, const QString &)> &onFailure)
{
    m_account.applyLoginResponse(
        answer,
        [this](User &) {
            m_appState.setIslogin(yes);
            // The root's record follows; the store already holds this value.
            m_appState.setIsGuest(no);
            enter(State::SignedIn);
        },
        onFailure);
}

void Session::enterGuest()
{
    m_appState.setIslogin(yes);
    m_appState.setIsGuest(yes);
    m_account.setUsername(User::guestName());
    m_account.setOu1(QString());
    m_account.setOu2(QString());
    m_account.setMobile(User::guestMobile());
    // A guest sends no token, also none an earlier sign-out kept.
    m_account.setToken(std::nullopt);
    enter(State::Guest);
}

void Session::signOut()
{
    // The token would let anyone holding the device act as the user; the
    // account name stays for the next sign-in, and a guest sends no token.
    m_account.setToken(std::nullopt);
    m_appState.setIslogin(no);
    m_appState.setIsGuest(no);
    enter(State::SignedOut);
}

void Session::endedByService(quint64 generation)
{
    if (generation != m_generation)
        return;
    // The main tabs stay until the next start; the records say signed out.
    m_account.setIslogin(no);
    if (m_state == State::SignedIn)
        enter(State::Ended);
}

void Session::enter(State state)
{
    m_state = state;
    ++m_generation;
    switch (state) {
    case State::SignedIn:
        emit signedIn(accountKey());
        break;
    case State::Guest:
        emit guestEntered();
        break;
    case State::SignedOut:
        emit signedOut();
        break;
    case State::Ended:
        emit ended();
        break;
    }
    emit stateChanged();
}

} // namespace orvelle
