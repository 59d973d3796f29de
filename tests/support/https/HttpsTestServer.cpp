#include "HttpsTestServer.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace orvelle::test {

std::string RecordedRequest::header(const std::string &name) const
{
    for (const auto &[key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    }
    return {};
}

namespace {
// More connections than the photo uploader opens at once (the library's own
// default is eight), so that a test sees the client's limit, not the server's.
constexpr std::size_t servedAtOnce = 16;

// Small, so that an accepted connection holds little unread: on a shaped
// link what the client's kernel sees acknowledged is then what the server
// has read, within this buffer (the kernel doubles it).
constexpr int receiveBuffer = 32 * 1024;

using Clock = std::chrono::steady_clock;

// The library's pool, each connection served at the niceness asked last.
class PoolAtNiceness final : public httplib::TaskQueue
{
public:
    PoolAtNiceness(const std::atomic<int> &niceness, std::atomic<int> &accepted)
        : m_pool(servedAtOnce)
        , m_niceness(niceness)
        , m_accepted(accepted)
    {}

    // One task per accepted connection.
    void enqueue(std::function<void()> serve) override
    {
        ++m_accepted;
        m_pool.enqueue([serve = std::move(serve), niceness = m_niceness.load()] {
            if (niceness > 0)
                setpriority(PRIO_PROCESS, gettid(), niceness);
            serve();
        });
    }
    void shutdown() override { m_pool.shutdown(); }

private:
    httplib::ThreadPool m_pool;
    const std::atomic<int> &m_niceness;
    std::atomic<int> &m_accepted;
};

// Ends a request's connection without a byte more: the library's answer goes
// to a null BIO (no write on the socket, so no SIGPIPE either) and the
// socket's shutdown makes the library's next read fail, so it closes.
void closeSilently(const httplib::Request &req)
{
    auto *ssl = const_cast<SSL *>(req.ssl);
    if (!ssl)
        return;
    const int fd = SSL_get_fd(ssl);
    SSL_set0_wbio(ssl, BIO_new(BIO_s_null()));
    if (fd >= 0)
        shutdown(fd, SHUT_RDWR);
}
} // namespace

struct HttpsTestServer::State
{
    std::unique_ptr<httplib::SSLServer> server;
    std::thread thread;
    bool listening = false;

    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    std::map<std::string, std::deque<Answer>> queues;
    static Answer ok() { return Answer::json(R"({"code":1,"msg":"ok"})"); }
    Answer fallback = ok();
    Responder responder;
    bool held = false;
    std::vector<RecordedRequest> requests;
    std::atomic<int> started{0};
    std::atomic<std::size_t> sent{0};
    std::atomic<bool> keepBodies{true};
    std::atomic<int> niceness{0};
    std::atomic<int> accepted{0};
    std::atomic<bool> announceKeepAlive{false};
    std::atomic<std::size_t> bodyBytesRead{0};
    // The mark requests count bytesAfterMark against (0: none); a new mark
    // takes a number never used before, so counts of an older one end.
    std::atomic<std::uint64_t> mark{0};
    std::uint64_t marks = 0;
    // The mark each recorded request's bytesAfterMark was counted against.
    std::vector<std::uint64_t> requestMarks;
    Link link;
    Clock::time_point linkFreeAt;

    // The answer for a path without taking it from its queue.
    Answer peek(const std::string &path) const
    {
        std::lock_guard lock(mutex);
        const auto queue = queues.find(path);
        return queue != queues.end() && !queue->second.empty() ? queue->second.front() : fallback;
    }

    void keepRecord(const RecordedRequest &request, std::uint64_t countedMark)
    {
        requests.push_back(request);
        requestMarks.push_back(countedMark);
    }

    Answer take(const RecordedRequest &request, std::uint64_t countedMark)
    {
        std::unique_lock lock(mutex);
        keepRecord(request, countedMark);
        // Chosen once let go: the test may script it meanwhile.
        stopped.wait(lock, [this] { return !held || stopping; });
        if (responder) {
            const Responder copy = responder;
            lock.unlock();
            return copy(request);
        }
        auto &queue = queues[request.path];
        if (queue.empty())
            return fallback;
        Answer answer = queue.front();
        queue.pop_front();
        return answer;
    }

    // Waits out a scripted delay, cut short when the server stops.
    void wait(std::chrono::milliseconds delay)
    {
        std::unique_lock lock(mutex);
        stopped.wait_for(lock, delay, [this] { return stopping; });
    }

    std::chrono::milliseconds latency() const
    {
        std::lock_guard lock(mutex);
        return link.latency;
    }

    // Holds a piece of the body until the shared link has carried it: each
    // piece takes the link's next free slot, as long as its bits take at
    // the link's rate. A piece that was already waiting when the one before
    // had crossed follows it without a gap: the server's own lateness in
    // reading is no idle link (up to what the receive buffer holds). True
    // when the next piece is waiting now.
    bool carry(std::size_t bytes, bool wasWaiting, const SSL *ssl)
    {
        std::unique_lock lock(mutex);
        if (link.bitsPerSecond <= 0)
            return false;
        const auto crossing = [this](std::int64_t count) {
            return std::chrono::nanoseconds(count * 8 * 1'000'000'000 / link.bitsPerSecond);
        };
        const auto now = Clock::now();
        const auto start = wasWaiting ? std::max(linkFreeAt, now - crossing(2 * receiveBuffer))
                                      : std::max(linkFreeAt, now);
        linkFreeAt = start + crossing(std::int64_t(bytes));
        stopped.wait_until(lock, linkFreeAt, [this] { return stopping; });
        return isWaiting(ssl);
    }

    static bool isWaiting(const SSL *ssl)
    {
        if (!ssl)
            return false;
        int queued = 0;
        return SSL_pending(ssl) > 0
               || (ioctl(SSL_get_fd(ssl), FIONREAD, &queued) == 0 && queued > 0);
    }

    // `reader` is null for a request without a body (GET).
    void handle(const httplib::Request &req, httplib::Response &res,
                const httplib::ContentReader *reader);
    void stream(const Answer &answer, httplib::Response &res);
};

void HttpsTestServer::State::handle(const httplib::Request &req, httplib::Response &res,
                                    const httplib::ContentReader *reader)
{
    ++started;
    RecordedRequest record;
    record.method = req.method;
    record.path = req.path;
    record.headers.insert(req.headers.begin(), req.headers.end());

    const bool cut = peek(req.path).fault == Answer::Fault::CloseHalfUpload;
    const size_t half = std::strtoull(record.header("Content-Length").c_str(), nullptr, 10) / 2;
    std::uint64_t countedMark = 0;
    bool waiting = false;
    const auto keep = [&](std::string &to, const char *data, size_t length) {
        waiting = carry(length, waiting, req.ssl);
        if (keepBodies)
            to.append(data, length);
        record.bodyBytes += length;
        bodyBytesRead += length;
        if (const std::uint64_t now = mark; now != 0) {
            if (now != countedMark)
                record.bytesAfterMark = 0;
            countedMark = now;
            record.bytesAfterMark += length;
        }
        return !(cut && record.bodyBytes >= half);
    };
    // False when the client's connection went (or the server cut it) before
    // the whole body came.
    bool whole = true;
    if (!reader) {
    } else if (req.is_multipart_form_data()) {
        whole = (*reader)(
            [&](const httplib::MultipartFormData &file) {
                record.parts.push_back({file.name, file.filename, file.content_type, {}});
                return true;
            },
            [&](const char *data, size_t length) {
                return keep(record.parts.back().content, data, length);
            });
    } else {
        whole = (*reader)(
            [&](const char *data, size_t length) { return keep(record.body, data, length); });
    }
    record.complete = whole;

    if (!whole && !cut) {
        // Nobody is left to answer, and the body is not whole: a file store
        // would store nothing of it.
        {
            std::lock_guard lock(mutex);
            keepRecord(record, countedMark);
        }
        closeSilently(req);
        return;
    }
    const Answer answer = take(record, countedMark);
    if (cut) {
        // Headers only, then the connection goes: the client is still sending.
        res.set_content_provider(1, "text/plain",
                                 [](size_t, size_t, httplib::DataSink &) { return false; });
        return;
    }
    if (answer.fault == Answer::Fault::CloseAfterBody) {
        closeSilently(req);
        return;
    }
    const bool stall = answer.fault == Answer::Fault::StallHalfway;
    const auto late = latency() + (stall ? std::chrono::milliseconds(0) : answer.delay);
    if (late.count() > 0)
        wait(late);
    res.status = answer.status;
    if (!answer.date.empty())
        res.set_header("Date", answer.date);
    if (!answer.location.empty())
        res.set_header("Location", answer.location);
    if (answer.streamedBytes > 0 || answer.fault == Answer::Fault::DropHalfway || stall)
        return stream(answer, res);
    sent += answer.body.size();
    res.set_content(answer.body, answer.contentType.c_str());
}

// A streamed answer's body is padded with blanks; a faulty one stops halfway
// and, stalling, goes silent before the connection closes.
void HttpsTestServer::State::stream(const Answer &answer, httplib::Response &res)
{
    const bool halfway =
        answer.fault == Answer::Fault::DropHalfway || answer.fault == Answer::Fault::StallHalfway;
    const std::string body = answer.body;
    const std::size_t total = halfway ? body.size() / 2 : answer.streamedBytes;
    const auto silence =
        answer.fault == Answer::Fault::StallHalfway ? answer.delay : std::chrono::milliseconds(0);
    const auto provide = [this, body, total, halfway, silence](size_t offset,
                                                               httplib::DataSink &sink) {
        static const std::string filler(64 * 1024, ' ');
        if (offset >= total) {
            if (halfway)
                wait(silence);
            else
                sink.done();
            return !halfway;
        }
        const std::string &piece = offset < body.size() ? body : filler;
        const std::size_t from = offset < body.size() ? offset : 0;
        const std::size_t length = std::min(piece.size() - from, total - offset);
        if (!sink.write(piece.data() + from, length))
            return false;
        sent += length;
        return true;
    };
    if (answer.chunked) {
        res.set_chunked_content_provider(answer.contentType, provide);
        return;
    }
    res.set_content_provider(halfway ? body.size() : total, answer.contentType,
                             [provide](size_t offset, size_t, httplib::DataSink &sink) {
                                 return provide(offset, sink);
                             });
}

HttpsTestServer::HttpsTestServer(Certificate certificate, const std::string &host, int port,
                                 std::chrono::seconds keepAlive)
    : m_state(std::make_shared<State>())
{
    const std::string dir = ORVELLE_TEST_CERT_DIR;
    const std::string name = certificate == Certificate::Valid       ? "server"
                             : certificate == Certificate::WrongHost ? "wrong-host"
                                                                     : "expired";
    m_state->server = std::make_unique<httplib::SSLServer>((dir + "/" + name + ".pem").c_str(),
                                                           (dir + "/" + name + ".key").c_str());
    // Without SO_REUSEPORT (the library's default adds it), a second server
    // on the same address fails to bind instead of silently taking half of
    // the other one's connections.
    // Accepted connections inherit the listening socket's receive buffer.
    m_state->server->set_socket_options([](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    });
    m_state->server->set_tcp_nodelay(true);
    m_state->server->set_keep_alive_timeout(keepAlive.count());
    State *state = m_state.get();
    m_state->server->new_task_queue = [state] {
        return new PoolAtNiceness(state->niceness, state->accepted);
    };
    // The library names its idle limit in every kept answer; a file store
    // need not, so the header is there only when asked for.
    m_state->server->set_post_routing_handler(
        [state](const httplib::Request &, httplib::Response &res) {
            if (!state->announceKeepAlive)
                res.headers.erase("Keep-Alive");
        });
    m_state->server->Post(
        ".*", [state](const httplib::Request &req, httplib::Response &res,
                      const httplib::ContentReader &reader) { state->handle(req, res, &reader); });
    m_state->server->Get(".*", [state](const httplib::Request &req, httplib::Response &res) {
        state->handle(req, res, nullptr);
    });
    m_state->listening = m_state->server->bind_to_port(host.c_str(), port);
    if (m_state->listening)
        m_state->thread = std::thread([state] { state->server->listen_after_bind(); });
    // Serve only once the listening loop runs, so the first request is not refused.
    while (m_state->listening && !m_state->server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpsTestServer::~HttpsTestServer()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->stopped.notify_all();
    m_state->server->stop();
    if (m_state->thread.joinable())
        m_state->thread.join();
}

bool HttpsTestServer::isListening() const
{
    return m_state->listening;
}

void HttpsTestServer::enqueue(const std::string &path, Answer answer)
{
    std::lock_guard lock(m_state->mutex);
    m_state->queues[path].push_back(std::move(answer));
}

void HttpsTestServer::setFallback(Answer answer)
{
    std::lock_guard lock(m_state->mutex);
    m_state->fallback = std::move(answer);
}

void HttpsTestServer::setResponder(Responder responder)
{
    std::lock_guard lock(m_state->mutex);
    m_state->responder = std::move(responder);
}

void HttpsTestServer::holdAnswers(bool held)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->held = held;
    }
    m_state->stopped.notify_all();
}

void HttpsTestServer::setNiceness(int niceness)
{
    m_state->niceness = niceness;
}

void HttpsTestServer::setKeepBodies(bool keep)
{
    m_state->keepBodies = keep;
}

void HttpsTestServer::setLink(const Link &link)
{
    std::lock_guard lock(m_state->mutex);
    m_state->link = link;
}

std::vector<RecordedRequest> HttpsTestServer::requests() const
{
    std::lock_guard lock(m_state->mutex);
    std::vector<RecordedRequest> requests = m_state->requests;
    const std::uint64_t mark = m_state->mark;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (mark == 0 || m_state->requestMarks[i] != mark)
            requests[i].bytesAfterMark = 0;
    }
    return requests;
}

int HttpsTestServer::startedCount() const
{
    return m_state->started;
}

std::size_t HttpsTestServer::sentBytes() const
{
    return m_state->sent;
}

std::size_t HttpsTestServer::bodyBytesRead() const
{
    return m_state->bodyBytesRead;
}

void HttpsTestServer::markTime()
{
    std::lock_guard lock(m_state->mutex);
    m_state->mark = ++m_state->marks;
}

int HttpsTestServer::connectionCount() const
{
    return m_state->accepted;
}

int HttpsTestServer::resumedSessions() const
{
    return int(SSL_CTX_sess_hits(m_state->server->ssl_context()));
}

void HttpsTestServer::announceKeepAlive(bool on)
{
    m_state->announceKeepAlive = on;
}

void HttpsTestServer::clear()
{
    std::lock_guard lock(m_state->mutex);
    m_state->requests.clear();
    m_state->requestMarks.clear();
    m_state->queues.clear();
    m_state->responder = nullptr;
    m_state->fallback = State::ok();
    m_state->started = 0;
    m_state->sent = 0;
    m_state->bodyBytesRead = 0;
    m_state->accepted = 0;
    m_state->mark = 0;
}

std::string HttpsTestServer::testHost()
{
    const char *host = std::getenv("ORVELLE_TEST_HOST");
    return host && *host ? host : "127.0.0.10";
}

std::string HttpsTestServer::caFile()
{
    return ORVELLE_TEST_CERT_DIR "/ca.pem";
}

std::string HttpsTestServer::otherCaFile()
{
    return ORVELLE_TEST_CERT_DIR "/other-ca.pem";
}

} // namespace orvelle::test
