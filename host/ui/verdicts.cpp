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
const char* const kVendorValue = "CPU_Vendor";
const char* const kHypervisorItem = "虚拟化平台";

VerdictLine positiveLine(const char* caption) {
    return VerdictLine{caption, VerdictBackground::Positive, 0xFFFFFF};
}

VerdictLine line(bool positive, const char* yes, const char* no,
                 VerdictBackground otherwise = VerdictBackground::Negative) {
    return positive ? positiveLine(yes) : VerdictLine{no, otherwise, 0xFFFFFF};
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

// Gives the CPU_Vendor text it read.
std::string applyAmdRules(VerdictSet& set, ProbeReader& reader) {
    std::string vendor = reader.readText(kVendorValue);
    set.rows.push_back({kVendorValue, vendor, Marker::Check});
    bool svm = flagRow(set, reader, "SVM");
    flagRow(set, reader, "SVM_NP");
    // VM_CR is stored inverted: 1 means the firmware has not set SVMDIS.
    bool enabled = isOn(reader.readInt("VM_CR"));
    set.rows.push_back({"VM_CR", enabled ? "开启" : "关闭或不支持", enabled ? Marker::Check : Marker::Cross});

    set.CpuSupport = line(svm, kCpuYes, kCpuNo);
    // Without SVM nothing tells whether the board would support it.
    set.BoardSupport = line(svm, kBoardYes, kBoardUnknown, VerdictBackground::Unchanged);
    set.VtEnabled = line(enabled, kVtOn, kVtOff);
    return vendor;
}

DetailRow hypervisorRow(const HypervisorFacts& hypervisor) {
    if (hypervisor.rootPartition) {
        return {kHypervisorItem, "Hyper-V（Windows 虚拟化）正在使用VT", Marker::Check};
    }
    char name[kHypervisorNameBytes + 1];
    hypervisorName(hypervisor.signature, name);
    // A guest sees the virtual processor: VT shows only when the hypervisor passes it on.
    if (hypervisor.processorShowsVt) {
        return {kHypervisorItem, std::string(name) + " 虚拟机，已开放嵌套VT", Marker::Check};
    }
    return {kHypervisorItem, std::string(name) + " 虚拟机，未开放嵌套VT", Marker::Cross};
}

struct StartFailure {
    std::int32_t status;
    const char* reason;
};

const StartFailure kStartFailures[] = {
    {577, "系统不接受驱动签名"},   // ERROR_INVALID_IMAGE_HASH
    {1275, "驱动被系统策略阻止"},  // ERROR_DRIVER_BLOCKED
    {5, "没有管理员权限"},         // ERROR_ACCESS_DENIED
    {1058, "驱动服务已被禁用"},    // ERROR_SERVICE_DISABLED
};

std::string notRunReason(const ProbeOutcome& probe) {
    if (probe.kind == ProbeOutcomeKind::ImageNotHeld) return "无法写入驱动文件";
    if (probe.kind == ProbeOutcomeKind::Windows32Bit) return "32位 Windows 无法运行64位检测驱动";
    for (const StartFailure& failure : kStartFailures) {
        if (failure.status == probe.status) return failure.reason;
    }
    // Win32 error codes are DWORDs: shown the way Windows numbers them.
    return "错误 " + std::to_string(static_cast<std::uint32_t>(probe.status));
}

// storedVendor is CPU_Vendor as the key holds it: the driver writes it first, so an
// empty one means that no earlier check left values either.
DetailRow notRunRow(const ProbeOutcome& probe, const std::string& storedVendor) {
    return {"检测驱动",
            "本次未能运行（" + notRunReason(probe) + "）" +
                (storedVendor.empty() ? "，尚无检测结果" : "，显示上次检测结果"),
            Marker::Cross};
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

VerdictSet evaluateVerdicts(const std::string& processorName, ProbeReader& reader,
                            const StartFacts& facts) {
    VerdictSet set;
    set.rows.push_back({"CPU型号", processorName, Marker::Check});
    const bool intel = usesIntelRules(processorName);
    std::string storedVendor;
    if (intel) {
        applyIntelRules(set, reader);
    } else {
        storedVendor = applyAmdRules(set, reader);
    }
    // The Microsoft hypervisor holds VT itself and hides it from the root partition
    // (no VMX or SVM in CPUID, CR4.VMXE shadowed): that it runs proves all three.
    if (facts.hypervisor.rootPartition) {
        set.VtEnabled = positiveLine(kVtOn);
        set.BoardSupport = positiveLine(kBoardYes);
        set.CpuSupport = positiveLine(kCpuYes);
    }
    if (facts.hypervisor.present) set.rows.push_back(hypervisorRow(facts.hypervisor));
    if (facts.probe.kind != ProbeOutcomeKind::Ran) {
        // Every value is read once per evaluation: the AMD rules have read this one.
        if (intel) storedVendor = reader.readText(kVendorValue);
        set.rows.push_back(notRunRow(facts.probe, storedVendor));
    }
    return set;
}
