#include "PlatformServices.h"

namespace orvelle {

PlatformServices buildPlatformServices(const QString &cameraImageFile)
{
    PlatformServices services;
    services.cameras = cameraImageFile.isEmpty() ? CameraProvider::system()
                                                 : CameraProvider::imageFile(cameraImageFile);
    services.beeper = Beeper::soundEffect();
    return services;
}

} // namespace orvelle
