#include "HttpAnswerReader.h"

#include <QList>
#include <algorithm>

namespace orvelle {

namespace {
// The status line, the headers and the trailers together; a service that
// sends more is broken or hostile.
constexpr qint64 maxHeaderBytes = 64 * 1024;

bool isDigits(const QByteArray &text)
{
    return !text.isEmpty() && text.size() <= 18
           && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

QList<QByteArray> tokens(const QByteArray &value)
{
    QList<QByteArray> list;
    for (const QByteArray &token : value.split(','))
        list.append(token.trimmed().toLower());
    return list;
}
} // namespace

HttpAnswerReader::HttpAnswerReader(qint64 maxBodyBytes)
    : m_maxBody(maxBodyBytes)
{}

HttpAnswerReader::State HttpAnswerReader::feed(QByteArrayView bytes)
{
    if (m_state != State::Reading) {
        m_excess = m_excess || !bytes.isEmpty();
        return m_state;
    }
    m_pending.append(bytes);
    while (m_state == State::Reading && step()) {
    }
    return m_state;
}

// One step of the answer; false when it needs more bytes or has ended.
bool HttpAnswerReader::step()
{
    switch (m_step) {
    case Step::Body:
        if (m_framing == Framing::UntilClose) {
            takeBody(m_pending.size());
            return false;
        }
        if (!takeBody(m_bodyLeft))
            return false;
        finish();
        return true;
    case Step::ChunkData:
        if (!takeBody(m_chunkLeft))
            return false;
        if (m_chunkLeft == 0)
            m_step = Step::ChunkEnd;
        return true;
    default:
        QByteArray line;
        return readLine(line) && onLine(line);
    }
}

bool HttpAnswerReader::onLine(const QByteArray &line)
{
    switch (m_step) {
    case Step::StatusLine:
        // Blank lines before an answer are tolerated.
        return line.isEmpty() || onStatusLine(line);
    case Step::Headers:
        return line.isEmpty() ? onHeadersEnd() : onHeader(line);
    case Step::ChunkSize:
        return onChunkSize(line);
    case Step::ChunkEnd:
        if (!line.isEmpty()) {
            fail(QStringLiteral("a chunk longer than its size"));
            return false;
        }
        m_step = Step::ChunkSize;
        return true;
    case Step::Trailers:
        if (line.isEmpty())
            finish();
        return true;
    default:
        return false;
    }
}

HttpAnswerReader::State HttpAnswerReader::closed()
{
    if (m_state != State::Reading)
        return m_state;
    if (m_step == Step::Body && m_framing == Framing::UntilClose) {
        m_keepAlive = false;
        return finish();
    }
    return fail(QStringLiteral("the connection closed before the answer ended"));
}

bool HttpAnswerReader::readLine(QByteArray &line)
{
    const qsizetype end = m_pending.indexOf('\n');
    const qint64 length = end < 0 ? m_pending.size() : end + 1;
    if (m_headerBytes + length > maxHeaderBytes) {
        fail(QStringLiteral("answer headers larger than %1 bytes").arg(maxHeaderBytes));
        return false;
    }
    if (end < 0)
        return false;
    m_headerBytes += length;
    line = m_pending.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    m_pending.remove(0, length);
    return true;
}

bool HttpAnswerReader::onStatusLine(const QByteArray &line)
{
    // "HTTP/1.1 200 OK"; the reason may be empty or missing.
    const QByteArray code = line.mid(9, 3);
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || line[8] != ' ' || !isDigits(code)
        || code[0] == '0' || (line.size() > 12 && line[12] != ' ')) {
        fail(QStringLiteral("not an HTTP answer"));
        return false;
    }
    m_status = code.toInt();
    // HTTP/1.0 keeps a connection only when it says so.
    m_keepAlive = line[7] != '0';
    m_keepAliveSeconds = -1;
    m_bodyLeft = -1;
    m_transferCoded = m_chunked = false;
    m_step = Step::Headers;
    return true;
}

bool HttpAnswerReader::onHeader(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || line.front() == ' ' || line.front() == '\t') {
        fail(QStringLiteral("a malformed answer header"));
        return false;
    }
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "content-length") {
        // Two different lengths would let either side choose where the body ends.
        if (!isDigits(value) || (m_bodyLeft >= 0 && m_bodyLeft != value.toLongLong())) {
            fail(QStringLiteral("a malformed Content-Length"));
            return false;
        }
        m_bodyLeft = value.toLongLong();
    } else if (name == "transfer-encoding") {
        m_transferCoded = true;
        m_chunked = tokens(value).constLast() == "chunked";
    } else if (name == "connection") {
        const QList<QByteArray> options = tokens(value);
        if (options.contains("close"))
            m_keepAlive = false;
        else if (options.contains("keep-alive"))
            m_keepAlive = true;
    } else if (name == "keep-alive") {
        for (const QByteArray &option : tokens(value)) {
            const QByteArray seconds = option.mid(8).trimmed();
            if (option.startsWith("timeout=") && isDigits(seconds) && seconds.size() <= 6)
                m_keepAliveSeconds = seconds.toInt();
        }
    }
    return true;
}

bool HttpAnswerReader::onHeadersEnd()
{
    if (m_status == 101) {
        fail(QStringLiteral("the service switched protocols"));
        return false;
    }
    if (m_status / 100 == 1) {
        // "100 Continue" and the like: the real answer follows.
        m_step = Step::StatusLine;
        return true;
    }
    m_step = Step::Body;
    if (m_status == 204 || m_status == 304) {
        finish();
    } else if (m_chunked) {
        m_framing = Framing::Chunks;
        m_step = Step::ChunkSize;
    } else if (m_bodyLeft >= 0 && !m_transferCoded) {
        m_framing = Framing::Length;
        if (m_bodyLeft > m_maxBody) {
            fail(QStringLiteral("answer larger than %1 bytes").arg(m_maxBody));
            return false;
        }
        if (m_bodyLeft == 0)
            finish();
    } else {
        // No length, or a body coded otherwise: it runs until the close.
        m_framing = Framing::UntilClose;
        m_keepAlive = false;
    }
    return true;
}

bool HttpAnswerReader::onChunkSize(const QByteArray &line)
{
    const qsizetype extensions = line.indexOf(';');
    const QByteArray size = (extensions < 0 ? line : line.left(extensions)).trimmed();
    bool ok = !size.isEmpty() && size.size() <= 15;
    const qint64 bytes = ok ? size.toLongLong(&ok, 16) : 0;
    if (!ok || bytes < 0) {
        fail(QStringLiteral("a malformed chunk size"));
        return false;
    }
    m_chunkLeft = bytes;
    m_step = bytes == 0 ? Step::Trailers : Step::ChunkData;
    return true;
}

// Moves up to `upTo` pending bytes into the body; false while more must come.
bool HttpAnswerReader::takeBody(qint64 upTo)
{
    const qint64 count = std::min<qint64>(upTo, m_pending.size());
    if (m_body.size() + count > m_maxBody) {
        fail(QStringLiteral("answer larger than %1 bytes").arg(m_maxBody));
        return false;
    }
    m_body.append(m_pending.constData(), count);
    m_pending.remove(0, count);
    if (m_framing == Framing::Length)
        m_bodyLeft -= count;
    else if (m_framing == Framing::Chunks)
        m_chunkLeft -= count;
    return count == upTo;
}

HttpAnswerReader::State HttpAnswerReader::fail(const QString &why)
{
    m_error = why;
    m_pending.clear();
    return m_state = State::Failed;
}

HttpAnswerReader::State HttpAnswerReader::finish()
{
    m_excess = !m_pending.isEmpty();
    m_pending.clear();
    return m_state = State::Done;
}

} // namespace orvelle
