#pragma once

#include "outbox/FormFiling.h"
#include "outbox/Outbox.h"
#include "platform/Camera.h"
#include "store/DeviceStore.h"
#include "support/ManualScheduler.h"

#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace orvelle::test {

// What the forms are built with, over a client, an uploader and a session
// made elsewhere: a real device store in a temporary folder of its own, an
// outbox and forms on a scheduler the test moves by hand, and no camera.
struct FilingFixture
{
    std::unique_ptr<CameraProvider> cameras = CameraProvider::none();
    std::optional<QTemporaryDir> storeDir;
    std::unique_ptr<DeviceStore> store;
    std::unique_ptr<ManualScheduler> scheduler;
    std::unique_ptr<Outbox> outbox;
    std::unique_ptr<FormServices> forms;

    // Lets go of the services before what they refer to goes.
    void release()
    {
        forms.reset();
        outbox.reset();
    }
    // A fresh store, outbox and services; false when the store did not open.
    bool renew(ServiceClient &client, PhotoUploader &uploader, Session &session,
               const QString &notesServer)
    {
        release();
        store.reset();
        storeDir.emplace();
        store = std::make_unique<DeviceStore>();
        scheduler = std::make_unique<ManualScheduler>();
        if (!store->open(storeDir->path()))
            return false;
        rebuild(client, uploader, session, notesServer);
        return true;
    }
    // The services and the outbox again, over the store as it is.
    void rebuild(ServiceClient &client, PhotoUploader &uploader, Session &session,
                 const QString &notesServer)
    {
        release();
        const FilingServices filing{client, uploader, *store, session};
        outbox = std::make_unique<Outbox>(filing, *scheduler);
        forms = std::make_unique<FormServices>(
            FormServices{filing, outbox.get(), *cameras, notesServer, scheduler.get()});
    }

    // A report as a user completes it: the description, then the source,
    // place and weather pickers each turned to `choice` and confirmed.
    template <typename Report>
    static void describe(Report &report, const QString &text, int choice = 1)
    {
        report.setDescriptionText(text);
        using Row = typename Report::Row;
        for (const Row row : {Row::Source, Row::Place, Row::Weather}) {
            report.tapRow(int(row));
            report.picker()->turn(choice);
            report.picker()->done();
        }
    }
};

} // namespace orvelle::test
