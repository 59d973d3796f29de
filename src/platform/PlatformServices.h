#pragma once

#include "Beeper.h"
#include "Camera.h"

#include <QString>
#include <memory>

namespace orvelle {

// The hardware-facing adaptors one run of the client uses, chosen once from
// what the machine has. Views receive references to these.
struct PlatformServices
{
    std::unique_ptr<CameraProvider> cameras;
    std::unique_ptr<Beeper> beeper;
};

// The system camera and sound; with `cameraImageFile` set, that image stands
// in for the camera (a desktop without a webcam, demonstrations).
PlatformServices buildPlatformServices(const QString &cameraImageFile = {});

} // namespace orvelle
