#include "ui/verdicts.h"

#include <cstddef>

namespace {

// Every decision on a probe value asks whether it is exactly 1; 2 or -1 count as 0.
bool isOn(std::int32_t value) { return value == 1; }

const char* const kVtOn = " VT是否开启：    开启";
const char* const kVtOff = " VT是否开启：    关闭";
const char* const kBoardYes = " 主板VT支持：    支持";
const char* const kBoardNo = " 主板VT支持：    不支持";
const char* const kBoardUnknown = " 主板VT支持：    未知";
const char* const kCpuYes = " CPU支持VT：    支持";
const char* const kCpuNo = " CPU支持VT：    不支持";

VerdictLine line(bool positive, const char* yes, const char* no,
                 VerdictBackground otherwise = VerdictBackground::Negative) {
    return positive ? VerdictLine{yes, VerdictBackground::Positive, 0xFFFFFF}
                    : VerdictLine{no, otherwise, 0xFFFFFF};
}

// Reads one integer value and appends its row: (name, "1", Check) or (name, "0", Cross).
bool flagRow(VerdictSet& set, ProbeReader& reader, const char* name) {
    bool on = isOn(reader.readInt(name));
    set.rows.push_back({name, on ? "1" : "0", on ? Marker::Check : Marker::Cross});
    return on;
}

void applyIntelRules(VerdictSet& set, ProbeReader& reader) {
    bool biosLock = flagRow(set, reader, "BIOSLock");
    bool cpuVt = flagRow(set, reader, "CPU_VT");
    flagRow(set, reader, "CR0_NE");
    flagRow(set, reader, "CR0_PE");
    flagRow(set, reader, "CR0_PG");
    // CR4.VMXE only tells whether some VT driver is active now; it is never a fault.
    bool vmxe = isOn(reader.readInt("CR4_VMXE"));
    set.rows.push_back({"CR4_VMXE", vmxe ? "至少有一个VT驱动加载" : "当前无VT驱动加载", Marker::Check});
    bool inSmx = flagRow(set, reader, "VMInSMX");
    bool outsideSmx = flagRow(set, reader, "VMOutSideSMX");

    set.VtEnabled = line(inSmx || outsideSmx, kVtOn, kVtOff);
    set.BoardSupport = line(biosLock, kBoardYes, kBoardNo);
    set.CpuSupport = line(cpuVt, kCpuYes, kCpuNo);
}

void applyAmdRules(VerdictSet& set, ProbeReader& reader) {
    set.rows.push_back({"CPU_Vendor", reader.readText("CPU_Vendor"), Marker::Check});
    bool svm = flagRow(set, reader, "SVM");
    flagRow(set, reader, "SVM_NP");
    // VM_CR is stored inverted: 1 means the firmware has not set SVMDIS.
    bool enabled = isOn(reader.readInt("VM_CR"));
    set.rows.push_back({"VM_CR", enabled ? "开启" : "关闭或不支持", enabled ? Marker::Check : Marker::Cross});

    set.CpuSupport = line(svm, kCpuYes, kCpuNo);
    // Without SVM nothing tells whether the board would support it.
    set.BoardSupport = line(svm, kBoardYes, kBoardUnknown, VerdictBackground::Unchanged);
    set.VtEnabled = line(enabled, kVtOn, kVtOff);
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length in bytes of the UTF-8 character that starts at text[i], never past the end.
std::size_t characterLength(const std::string& text, std::size_t i) {
    std::size_t n = 1;
    if (static_cast<unsigned char>(text[i]) >= 0x80) {
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
    }
    return n;
}

}  // namespace

bool usesIntelRules(const std::string& processorName) {
    static const char kIntel[] = "intel";
    const std::size_t needle = sizeof(kIntel) - 1;
    for (std::size_t i = 0; i + needle <= processorName.size();
         i += characterLength(processorName, i)) {
        std::size_t k = 0;
        while (k < needle && lower(processorName[i + k]) == kIntel[k]) ++k;
        if (k == needle) return true;
    }
    return false;
}

VerdictSet evaluateVerdicts(const std::string& processorName, ProbeReader& reader) {
    VerdictSet set;
    set.rows.push_back({"CPU型号", processorName, Marker::Check});
    if (usesIntelRules(processorName)) {
        applyIntelRules(set, reader);
    } else {
        applyAmdRules(set, reader);
    }
    return set;
}
