#pragma once

#include <QByteArray>
#include <QIODevice>

namespace orvelle {

// A request body that can be read once only. QNetworkAccessManager sends a
// request again by itself when its connection closes before the answer came;
// for a record the service may already have filed, that would file it twice.
// Refusing to rewind makes Qt give up with ContentReSendError instead.
class OneShotBody : public QIODevice
{
    Q_OBJECT

public:
    explicit OneShotBody(QByteArray bytes, QObject *parent = nullptr);

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    // Only a body nothing has been read from yet may start over.
    bool reset() override { return m_read == 0; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_read = 0;
};

} // namespace orvelle
