#pragma once

#include "net/Endpoints.h"
#include "support/TestData.h"
#include "support/https/HttpsTestServer.h"

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>

namespace orvelle::test {

// The inspection service and the file store on the test server. Service
// answers are queued per operation (the last one repeats); each photo is
// stored under its width, "g/w<width>.jpg", so a test can tell them apart.
// An operation without an answer gets code 5. Only requests whose body came
// whole count: a photo cut short on its way is not stored.
class NotesService
{
public:
    explicit NotesService(HttpsTestServer &server)
        : m_server(server)
    {
        install();
    }
    ~NotesService() { m_server.setResponder(nullptr); }

    static std::string path(QLatin1String operation)
    {
        return (QString(endpoints::serviceBase) + QString(operation)).toStdString();
    }
    static std::string uploadPath() { return QString(endpoints::photoUpload).toStdString(); }

    void answer(QLatin1String operation, const std::string &body)
    {
        std::lock_guard lock(m_mutex);
        m_answers[path(operation)].push_back(Answer::json(body));
    }
    // Forgets the answers, the refusals and the recorded requests.
    void reset()
    {
        m_server.clear();
        clearAnswers();
    }
    void clearAnswers()
    {
        {
            std::lock_guard lock(m_mutex);
            m_answers.clear();
            m_refusedWidth = -1;
            m_delayByWidth = false;
            m_date.clear();
        }
        install();
    }
    // From now on every request to the operation gets this answer, after `delay`.
    void answerAlways(QLatin1String operation, const std::string &body,
                      std::chrono::milliseconds delay = {})
    {
        std::lock_guard lock(m_mutex);
        m_answers[path(operation)] = {Answer::json(body)};
        m_answers[path(operation)].front().delay = delay;
    }
    // Every service answer from now on carries this HTTP Date ("" for the
    // server's own clock).
    void setDate(const std::string &date)
    {
        std::lock_guard lock(m_mutex);
        m_date = date;
    }
    // Photos of this width fail to store (`drop`: the connection closes
    // halfway through the answer); -1 for none.
    void refuseWidth(int width, bool drop = false)
    {
        std::lock_guard lock(m_mutex);
        m_refusedWidth = width;
        m_dropRefused = drop;
    }
    // Photos answer later the smaller this makes them: arrival order differs
    // from sending order.
    void delayByWidth(bool on)
    {
        std::lock_guard lock(m_mutex);
        m_delayByWidth = on;
    }

    // The requests to a path that came whole.
    std::vector<RecordedRequest> requestsTo(const std::string &requestPath) const
    {
        std::vector<RecordedRequest> found;
        for (const RecordedRequest &request : m_server.requests())
            if (request.path == requestPath && request.complete)
                found.push_back(request);
        return found;
    }
    std::vector<RecordedRequest> requestsTo(QLatin1String operation) const
    {
        return requestsTo(path(operation));
    }
    int uploadCount() const { return int(requestsTo(uploadPath()).size()); }
    int requestCount(QLatin1String operation) const { return int(requestsTo(operation).size()); }
    // The JSON body of the last request to an operation.
    QJsonObject lastBody(QLatin1String operation) const
    {
        const auto found = requestsTo(operation);
        if (found.empty())
            return {};
        return QJsonDocument::fromJson(QByteArray::fromStdString(found.back().body)).object();
    }

    // -1 for a body that did not come whole: part of a JPEG may still decode.
    static int widthOf(const RecordedRequest &request)
    {
        if (!request.complete || request.parts.empty())
            return -1;
        return QImage::fromData(QByteArray::fromStdString(request.parts.front().content), "JPEG")
            .width();
    }

private:
    void install()
    {
        m_server.setResponder([this](const RecordedRequest &request) { return respond(request); });
    }
    Answer respond(const RecordedRequest &request)
    {
        std::lock_guard lock(m_mutex);
        if (request.path == uploadPath()) {
            const int width = widthOf(request);
            if (width < 0 || width == m_refusedWidth) {
                Answer refused = Answer::json(R"({"success":false})");
                if (m_dropRefused && width >= 0)
                    refused.fault = Answer::Fault::DropHalfway;
                return refused;
            }
            Answer stored = Answer::json("{\"success\":true,\"httpUrl\":\"g/w"
                                         + std::to_string(width) + ".jpg\"}");
            if (m_delayByWidth)
                stored.delay = std::chrono::milliseconds(std::max(0, 60 - width) * 20);
            return stored;
        }
        auto &queue = m_answers[request.path];
        Answer next =
            queue.empty() ? Answer::json(R"({"code":5,"msg":"没有安排"})") : queue.front();
        if (queue.size() > 1)
            queue.pop_front();
        if (!m_date.empty())
            next.date = m_date;
        return next;
    }

    HttpsTestServer &m_server;
    std::mutex m_mutex;
    std::map<std::string, std::deque<Answer>> m_answers;
    int m_refusedWidth = -1;
    bool m_dropRefused = false;
    bool m_delayByWidth = false;
    std::string m_date;
};

} // namespace orvelle::test
