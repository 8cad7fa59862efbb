#pragma once
// Makes the probe driver run on this machine so that the probe values of this
// run are in the registry before evaluation: the embedded image is written to
// inc\VTdrvsys.sys beside the host, registered as the kernel driver service
// VTdrvsys, started, and deleted again. Every failure is silent.

#include <cstdint>
#include <string>

#include "driver_image.h"
#include "probe_outcome.h"

// Whether the driver ran in this start, and why not when it did not.
ProbeOutcome deployDriver();

// deployDriver for the host beside runDirectory carrying image: inc is created
// and held; the image is written and held (a file this call created is deleted
// again when that fails, and then nothing else happens); only then is a driver
// still loaded from an earlier run stopped, the service created or updated and
// started, and the file deleted.
ProbeOutcome deployImage(const std::string& runDirectory, const DriverImage& image);

// Creates the service, or points the existing one at imagePath, and starts it.
// 0 on success, otherwise the Win32 error code of the call that failed.
std::int32_t installAndStartService(const std::string& serviceName, const std::string& imagePath);

// Stops the service when it is running, so that its driver is unloaded, and
// waits until it has stopped. Nothing happens when it does not exist.
void stopService(const std::string& serviceName);
