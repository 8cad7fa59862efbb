#pragma once
// The hypervisor facts as this processor gives them to the host process.

#include "hypervisor/hypervisor_facts.h"

// Executes CPUID itself; CPUID is not privileged, so no driver is needed.
HypervisorFacts readHostHypervisorFacts();
