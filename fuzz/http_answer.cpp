#include "FuzzTarget.h"

#include "net/HttpAnswerReader.h"

// The file store's answer is read however the connection splits it: the
// same bytes in two pieces end as they end in one, and within the cap.
ORVELLE_FUZZ_TARGET(http_answer)
{
    using orvelle::HttpAnswerReader;
    constexpr qint64 cap = 1024;
    const QByteArray bytes = orvelle::fuzz::bytes(data, size);
    HttpAnswerReader whole(cap);
    whole.feed(bytes);
    whole.closed();
    HttpAnswerReader split(cap);
    const qsizetype cut = bytes.isEmpty() ? 0 : qsizetype(std::uint8_t(bytes[0])) % bytes.size();
    split.feed(QByteArrayView(bytes).first(cut));
    split.feed(QByteArrayView(bytes).sliced(cut));
    split.closed();

    FUZZ_CHECK(whole.state() == split.state());
    FUZZ_CHECK(whole.state() != HttpAnswerReader::State::Reading);
    if (whole.state() != HttpAnswerReader::State::Done)
        return 0;
    FUZZ_CHECK(whole.body() == split.body() && whole.status() == split.status());
    FUZZ_CHECK(whole.keepAlive() == split.keepAlive());
    FUZZ_CHECK(whole.keepAliveSeconds() == split.keepAliveSeconds());
    FUZZ_CHECK(whole.body().size() <= cap);
    FUZZ_CHECK(whole.status() >= 200 && whole.status() <= 999);
    return 0;
}
