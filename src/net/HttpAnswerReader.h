#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace orvelle {

// Reads one HTTP/1.1 answer as its bytes arrive: the status line, the
// headers, then a body sized by Content-Length, by chunks, or by the end of
// the connection. Interim (1xx) answers are skipped.
class HttpAnswerReader
{
public:
    enum class State { Reading, Done, Failed };

    explicit HttpAnswerReader(qint64 maxBodyBytes);

    // Takes the next bytes of the connection. Bytes after a finished answer
    // are left unread: an answer nobody asked for makes the connection unfit
    // for reuse (see keepAlive()).
    State feed(QByteArrayView bytes);
    // The connection closed: ends a body that runs until the close, fails
    // any other unfinished answer.
    State closed();

    State state() const { return m_state; }
    int status() const { return m_status; }
    QByteArray body() const { return m_body; }
    // Whether the connection may carry the next request.
    bool keepAlive() const { return m_state == State::Done && m_keepAlive && !m_excess; }
    // How long the service keeps an unused connection, when its "Keep-Alive"
    // header says (timeout=N); -1 when it does not.
    int keepAliveSeconds() const { return m_keepAliveSeconds; }
    QString error() const { return m_error; }

private:
    enum class Framing { Length, Chunks, UntilClose };
    enum class Step { StatusLine, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailers };

    bool step();
    bool onLine(const QByteArray &line);
    bool readLine(QByteArray &line);
    bool onStatusLine(const QByteArray &line);
    bool onHeader(const QByteArray &line);
    bool onHeadersEnd();
    bool onChunkSize(const QByteArray &line);
    bool takeBody(qint64 upTo);
    State fail(const QString &why);
    State finish();

    qint64 m_maxBody;
    State m_state = State::Reading;
    Step m_step = Step::StatusLine;
    Framing m_framing = Framing::UntilClose;
    QByteArray m_pending;
    qint64 m_headerBytes = 0;
    int m_status = 0;
    bool m_keepAlive = true;
    bool m_excess = false;
    bool m_transferCoded = false;
    bool m_chunked = false;
    int m_keepAliveSeconds = -1;
    qint64 m_bodyLeft = -1;
    qint64 m_chunkLeft = 0;
    QByteArray m_body;
    QString m_error;
};

} // namespace orvelle
