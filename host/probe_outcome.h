#pragma once
// Whether the probe driver ran in this start of the host, and why not when it
// did not. Deployment gives it; evaluation shows it. Pure: no platform include.

#include <cstdint>

enum class ProbeOutcomeKind {
    Ran,           // the start call succeeded: the key holds this start's values
    StartFailed,   // the service could not be created or started; status says why
    ImageNotHeld,  // the image could not be written beside the host and held
    Windows32Bit,  // a 32-bit Windows cannot load the 64-bit driver
};

struct ProbeOutcome {
    ProbeOutcomeKind kind;
    std::int32_t status;  // StartFailed: the Win32 status of the call that failed; else 0
};
