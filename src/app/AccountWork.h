#pragma once

#include <QObject>
#include <QPointer>

namespace orvelle {

struct AppContext;
class BlankSheets;
class Outbox;
class StandardPlaces;

// The work that runs whatever page is up, from the first frame on: the outbox
// delivering what the forms filed, and what a round without a network needs
// kept on the device (the standard places, the blank sheets of today's check
// points), for the account signed in. A guest has none of it.
class AccountWork : public QObject
{
    Q_OBJECT

public:
    explicit AccountWork(AppContext &context, QObject *parent = nullptr);

    // Null until started, and when no device store could be opened.
    Outbox *outbox() const { return m_outbox; }
    // This sign-in's kept sheets, made when a task list first asks: they keep
    // coming after the list is left.
    BlankSheets *blankSheets();
    // Home showed: the places are asked again once the kept list is a day old.
    void refreshPlaces();

signals:
    // The work started (again at each sign-in): the store has been opened,
    // and the outbox runs when there is one.
    void started();

private:
    void begin();
    void startOutbox();
    void leave();

    AppContext &m_context;
    Outbox *m_outbox = nullptr;
    QPointer<BlankSheets> m_blankSheets;
    QPointer<StandardPlaces> m_places;
};

} // namespace orvelle
