#pragma once

#include "platform/MediaModule.h"

namespace orvelle {

bool hasSystemCamera();
// QtMultimedia's default video input; null when there is none.
std::unique_ptr<MediaModule::OpenedCamera> openSystemCamera(MediaModule::CameraEvents events);

} // namespace orvelle
