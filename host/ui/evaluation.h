#pragma once
// The host's side of verdict evaluation: the processor name and the probe
// values come from the registry, the facts of this start from the caller, the
// rules from evaluateVerdicts.

#include "registry/registry_access.h"
#include "ui/verdicts.h"

#include <windows.h>

#include <cstdint>
#include <string>

// A string value read with ordinary access, as ANSI bytes: REG_SZ exactly as
// stored, REG_EXPAND_SZ with its environment references expanded; any other
// type, a missing key or value, or any failure gives the empty text.
std::string readRegistryString(HKEY root, const char* keyPath, const char* valueName);

// The system's ProcessorNameString, in UTF-8; empty when it cannot be read.
std::string readProcessorName();

// Probe values from HKLM\SOFTWARE\Quorvel in the 64-bit view; every call reads
// the registry afresh.
class RegistryProbeReader : public ProbeReader {
public:
    std::int32_t readInt(const std::string& name) override;
    std::string readText(const std::string& name) override;

private:
    RegistryAccess access;
};

VerdictSet runVerdictEvaluation(const StartFacts& facts);
