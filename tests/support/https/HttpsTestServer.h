#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvelle::test {

// What the server answers to one request.
struct Answer
{
    enum class Fault {
        None,
        // Sends the headers and half of the body, then closes the connection.
        DropHalfway,
        // Reads half of the request body, then closes the connection.
        CloseHalfUpload,
        // Sends the headers and half of the body, then goes silent for
        // `delay` (or until the server stops) before closing.
        StallHalfway,
        // Reads the whole request body (recorded as complete and passed to
        // the responder, so a file store would have stored it), then closes
        // the connection without answering.
        CloseAfterBody,
    };

    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::chrono::milliseconds delay{0};
    Fault fault = Fault::None;
    // When set, the body is `body` padded with blanks to that many bytes,
    // made while sending so the server never holds it; `chunked` leaves out
    // the Content-Length (and a JSON one is then sent compressed).
    std::size_t streamedBytes = 0;
    bool chunked = false;
    // An HTTP Date header ("Wed, 09 Dec 2026 08:30:00 GMT"); none when empty.
    std::string date;
    // Sent as the Location header when not empty (a redirect).
    std::string location;

    static Answer json(std::string body, int status = 200)
    {
        Answer answer;
        answer.status = status;
        answer.body = std::move(body);
        return answer;
    }
};

// One part of a multipart/form-data request body.
struct Part
{
    std::string name;
    std::string filename;
    std::string contentType;
    std::string content;
};

// A request as it arrived. Multipart bodies are recorded as their parts;
// every other body as its raw bytes.
struct RecordedRequest
{
    std::string method;
    std::string path;
    std::multimap<std::string, std::string> headers;
    std::string body;
    std::vector<Part> parts;
    // false: the client's connection went before the whole body came (or the
    // server stopped reading it, Answer::Fault::CloseHalfUpload).
    bool complete = true;
    // Body bytes read (multipart: the parts' contents), kept even when bodies are not.
    std::size_t bodyBytes = 0;
    // Of those, read after the last HttpsTestServer::markTime().
    std::size_t bytesAfterMark = 0;

    // The first value of a header (names compared without case), or "".
    std::string header(const std::string &name) const;
};

enum class Certificate {
    // Signed by the test CA for 127.0.0.1 and 127.0.0.10 to 127.0.0.99.
    Valid,
    // Signed by the test CA for a host name no test connects to.
    WrongHost,
    // Valid's hosts, but its validity ended in 2021.
    Expired,
};

// A real HTTPS server on a loopback address, answering POST and GET from a
// script and recording every request. Answers are chosen by the responder when one is
// set, else from the queue of the request's path, else the fallback answer.
// A request whose body did not come whole because the client's connection
// went is recorded as incomplete, takes no answer and gets none.
class HttpsTestServer
{
public:
    using Responder = std::function<Answer(const RecordedRequest &)>;

    // A slow link in front of the server, as an underground access point
    // gives: request bodies are read at `bitsPerSecond`, all connections
    // sharing that rate (0: as fast as they come), and each answer leaves
    // `latency` late (on top of Answer::delay).
    struct Link
    {
        std::int64_t bitsPerSecond = 0;
        std::chrono::milliseconds latency{0};
    };

    // `keepAlive`: a kept connection unused that long is closed by the server.
    explicit HttpsTestServer(Certificate certificate = Certificate::Valid,
                             const std::string &host = testHost(), int port = 50000,
                             std::chrono::seconds keepAlive = std::chrono::seconds(5));
    ~HttpsTestServer();
    HttpsTestServer(const HttpsTestServer &) = delete;
    HttpsTestServer &operator=(const HttpsTestServer &) = delete;

    // False when the address could not be bound.
    bool isListening() const;

    void enqueue(const std::string &path, Answer answer);
    void setFallback(Answer answer);
    // Called on a server thread for every request once its body is read; it
    // must be safe to call from several threads. It cannot cut uploads short.
    void setResponder(Responder responder);

    // While held, each request is recorded and its answer waits until let go
    // (or the server stops); it is chosen then.
    void holdAnswers(bool held);

    // Benchmarks drop request bodies so the server's memory does not count
    // against the client's.
    void setKeepBodies(bool keep);
    // Benchmarks serve connections accepted from now on at a lower priority
    // (a nice value above 0), so that the server, which would run on another
    // machine, does not take the processor from the client's GUI thread.
    void setNiceness(int niceness);

    // Any time, from any thread.
    void setLink(const Link &link);

    // Complete and incomplete requests alike.
    std::vector<RecordedRequest> requests() const;
    // Requests whose headers arrived, including those not yet answered.
    int startedCount() const;
    // Answer body bytes handed to the connections so far.
    std::size_t sentBytes() const;
    // Request body bytes read so far over all requests (the same counting as
    // RecordedRequest::bodyBytes), also of requests still being read.
    std::size_t bodyBytesRead() const;
    // From now on RecordedRequest::bytesAfterMark counts.
    void markTime();
    // Connections accepted since the start or the last clear().
    int connectionCount() const;
    // TLS handshakes that resumed an earlier session since the start.
    int resumedSessions() const;
    // Answers name the server's idle limit in a "Keep-Alive: timeout=N, max=5"
    // header; off (the default), they carry no Keep-Alive header at all.
    void announceKeepAlive(bool on);
    // Forgets requests, answers and counters; the link, keep-alive and hold stay.
    void clear();

    // The loopback address this test executable owns (ORVELLE_TEST_HOST).
    static std::string testHost();
    static std::string caFile();
    // A CA that signed none of the server's certificates.
    static std::string otherCaFile();

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace orvelle::test
