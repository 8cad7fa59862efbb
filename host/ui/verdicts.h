#pragma once
// Verdict evaluation: probe values and the facts of this start in, three verdict
// lines and the detail rows out. Pure: no platform include. Every text here is
// UTF-8; the registry-backed readers convert the system's ANSI texts once, where
// they read them.

#include "hypervisor/hypervisor_facts.h"
#include "probe_outcome.h"

#include <cstdint>
#include <string>
#include <vector>

using ColorBGR = std::uint32_t;  // 0x00BBGGRR

enum class VerdictBackground { Positive, Negative, Unchanged };

// The text colour of the "querying" state. Evaluation sets every line's colour
// (white); a line left with this one was built without it.
constexpr ColorBGR kUnsetTextColor = 0x606060;

struct VerdictLine {
    std::string caption;
    VerdictBackground background = VerdictBackground::Unchanged;
    ColorBGR textColor = kUnsetTextColor;
};

enum class Marker : int { Cross = 0, Check = 1 };

struct DetailRow {
    std::string item;
    std::string value;
    Marker marker = Marker::Cross;
};

struct VerdictSet {
    VerdictLine VtEnabled;
    VerdictLine BoardSupport;
    VerdictLine CpuSupport;
    std::vector<DetailRow> rows;
};

// Read access to the probe values by value name. An absent or unreadable value
// gives 0 from readInt and the empty text from readText.
class ProbeReader {
public:
    virtual ~ProbeReader() = default;
    virtual std::int32_t readInt(const std::string& name) = 0;
    virtual std::string readText(const std::string& name) = 0;
};

// True when "intel" occurs in the UTF-8 name, ASCII letters compared without
// regard to case; a match never begins inside a multi-byte character.
bool usesIntelRules(const std::string& processorName);

// What this start found out beside the probe values: what user-mode CPUID says
// about a hypervisor, and whether the driver ran.
struct StartFacts {
    HypervisorFacts hypervisor;
    ProbeOutcome probe;
};

VerdictSet evaluateVerdicts(const std::string& processorName, ProbeReader& reader,
                            const StartFacts& facts);
