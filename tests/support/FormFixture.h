#pragma once

#include "support/FilingFixture.h"
#include "support/ServiceFixture.h"

namespace orvelle::test {

// A ServiceFixture with what the forms are built with (FilingFixture);
// reset() gives a fresh store and outbox too.
struct FormFixture : ServiceFixture, FilingFixture
{
    bool start()
    {
        const bool listening = ServiceFixture::start();
        return reset() && listening;
    }
    bool reset()
    {
        release();
        ServiceFixture::reset();
        return renew(*client, *uploader, *session, config.notesServer);
    }
    void rebuild() { FilingFixture::rebuild(*client, *uploader, *session, config.notesServer); }
};

} // namespace orvelle::test
