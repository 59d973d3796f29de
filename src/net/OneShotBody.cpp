#include "OneShotBody.h"

#include <cstring>

namespace orvelle {

OneShotBody::OneShotBody(QByteArray bytes, QObject *parent)
    : QIODevice(parent)
    , m_bytes(std::move(bytes))
{
    open(QIODevice::ReadOnly);
}

qint64 OneShotBody::bytesAvailable() const
{
    return m_bytes.size() - m_read + QIODevice::bytesAvailable();
}

qint64 OneShotBody::readData(char *data, qint64 maxSize)
{
    const qint64 count = qMin(maxSize, m_bytes.size() - m_read);
    if (count <= 0)
        return m_read >= m_bytes.size() ? -1 : 0;
    std::memcpy(data, m_bytes.constData() + m_read, size_t(count));
    m_read += count;
    return count;
}

} // namespace orvelle
