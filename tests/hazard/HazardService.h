#pragma once

#include "net/Endpoints.h"
#include "support/https/HttpsTestServer.h"

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <deque>
#include <map>
#include <mutex>

namespace orvelle::test {

// The inspection service and the file store on the test server. Service
// answers are queued per operation (the last one repeats); each photo is
// stored as "files/w<width>.jpg", so a test can tell them apart.
class HazardService
{
public:
    explicit HazardService(HttpsTestServer &server)
        : m_server(server)
    {
        server.setResponder([this](const RecordedRequest &request) { return respond(request); });
    }
    ~HazardService() { m_server.setResponder(nullptr); }

    static std::string path(QLatin1String operation)
    {
        return std::string(endpoints::serviceBase.data(), endpoints::serviceBase.size())
               + std::string(operation.data(), operation.size());
    }

    void answer(QLatin1String operation, const std::string &body)
    {
        std::lock_guard lock(m_mutex);
        m_answers[path(operation)].push_back(Answer::json(body));
    }
    void clearAnswers()
    {
        std::lock_guard lock(m_mutex);
        m_answers.clear();
    }
    // Photos of this width fail to store; 0 for none.
    void refuseWidth(int width)
    {
        std::lock_guard lock(m_mutex);
        m_refusedWidth = width;
    }

    std::vector<RecordedRequest> requestsTo(const std::string &requestPath) const
    {
        std::vector<RecordedRequest> found;
        for (const RecordedRequest &request : m_server.requests())
            if (request.path == requestPath)
                found.push_back(request);
        return found;
    }
    std::vector<RecordedRequest> requestsTo(QLatin1String operation) const
    {
        return requestsTo(path(operation));
    }
    int uploadCount() const
    {
        return int(
            requestsTo(std::string(endpoints::photoUpload.data(), endpoints::photoUpload.size()))
                .size());
    }
    QJsonObject lastBody(QLatin1String operation) const
    {
        const auto found = requestsTo(operation);
        if (found.empty())
            return {};
        return QJsonDocument::fromJson(QByteArray::fromStdString(found.back().body)).object();
    }

private:
    Answer respond(const RecordedRequest &request)
    {
        std::lock_guard lock(m_mutex);
        if (!request.parts.empty()) {
            const QImage photo =
                QImage::fromData(QByteArray::fromStdString(request.parts.front().content));
            if (photo.isNull() || photo.width() == m_refusedWidth)
                return Answer::json(R"({"success":false})");
            return Answer::json(R"({"success":true,"httpUrl":"files/w)"
                                + std::to_string(photo.width()) + R"(.jpg"})");
        }
        auto &queue = m_answers[request.path];
        if (queue.empty())
            return Answer::json(R"({"code":0,"msg":"没有准备答复"})");
        Answer next = queue.front();
        if (queue.size() > 1)
            queue.pop_front();
        return next;
    }

    HttpsTestServer &m_server;
    mutable std::mutex m_mutex;
    std::map<std::string, std::deque<Answer>> m_answers;
    int m_refusedWidth = 0;
};

} // namespace orvelle::test
