#pragma once
// Makes the probe driver run on this machine so that the probe values of this
// run are in the registry before evaluation: the embedded image is written to
// inc\VTdrvsys.sys beside the host, registered as the kernel driver service
// VTdrvsys, started, and deleted again. No failure is reported on the way; the
// outcome says whether the driver ran, and why not.

#include "probe_outcome.h"

#include <cstdint>
#include <string>

ProbeOutcome deployDriver();

// Creates the service, or points the existing one at imagePath, and starts it.
// 0 on success, otherwise the Win32 error code of the call that failed.
std::int32_t installAndStartService(const std::string& serviceName, const std::string& imagePath);

// Stops the service when it is running, so that its driver is unloaded, and
// waits until it has stopped. Nothing happens when it does not exist.
void stopService(const std::string& serviceName);
