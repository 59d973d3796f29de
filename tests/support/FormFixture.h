#pragma once

#include "outbox/FormFiling.h"
#include "outbox/Outbox.h"
#include "platform/Camera.h"
#include "store/DeviceStore.h"
#include "support/ManualScheduler.h"
#include "support/ServiceFixture.h"

#include <optional>

namespace orvelle::test {

// A ServiceFixture with what the forms are built with: a real device store
// in its own temporary folder, an outbox on a scheduler the test moves by
// hand, and no camera. reset() gives a fresh store and outbox too.
struct FormFixture : ServiceFixture
{
    std::unique_ptr<CameraProvider> cameras = CameraProvider::none();
    std::optional<QTemporaryDir> storeDir;
    std::unique_ptr<DeviceStore> store;
    std::unique_ptr<ManualScheduler> scheduler;
    std::unique_ptr<Outbox> outbox;
    std::unique_ptr<FormServices> forms;

    bool start()
    {
        const bool listening = ServiceFixture::start();
        return reset() && listening;
    }
    bool reset()
    {
        forms.reset();
        outbox.reset();
        store.reset();
        ServiceFixture::reset();
        storeDir.emplace();
        store = std::make_unique<DeviceStore>();
        if (!store->open(storeDir->path()))
            return false;
        scheduler = std::make_unique<ManualScheduler>();
        rebuild();
        return true;
    }
    // The forms' services and the outbox again, over the client and store as they are.
    void rebuild()
    {
        outbox.reset();
        const FilingServices filing{*client, *uploader, *store, *session};
        forms = std::make_unique<FormServices>(
            FormServices{filing, nullptr, *cameras, config.notesServer});
        outbox = std::make_unique<Outbox>(filing, *scheduler);
        forms->outbox = outbox.get();
    }
};

} // namespace orvelle::test
