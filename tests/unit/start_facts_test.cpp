// Evaluation with the facts of this start: the Microsoft hypervisor's root
// partition, a guest of any hypervisor, and a driver that did not run. Each set
// is compared with the bare-metal result over the same stored values, so what a
// fact adds or changes is all that differs.

#include "verdict_test_support.h"

#include <string>
#include <vector>

namespace {

const ProbeOutcome kRan{ProbeOutcomeKind::Ran, 0};

HypervisorFacts hypervisor(const char (&signature)[13], bool showsVt, bool root = false) {
    HypervisorFacts facts;
    facts.present = true;
    facts.highestLeaf = 0x4000000B;
    for (size_t i = 0; i < kHypervisorSignatureBytes; ++i) facts.signature[i] = signature[i];
    facts.rootPartition = root;
    facts.processorShowsVt = showsVt;
    return facts;
}

const HypervisorFacts kHyperVRoot = hypervisor("Microsoft Hv", false, true);

const char* const kAllInts[] = {"BIOSLock", "CPU_VT",   "CR0_NE",  "CR0_PE",
                                "CR0_PG",   "CR4_VMXE", "VMInSMX", "VMOutSideSMX",
                                "SVM",      "SVM_NP",   "VM_CR"};

// The values as an earlier or this start's run left them: every integer on or
// none stored, and CPU_Vendor when given.
TableReader stored(bool on, const char* vendor) {
    TableReader reader;
    if (on) {
        for (const char* name : kAllInts) reader.ints[name] = 1;
    }
    if (vendor != nullptr) reader.texts["CPU_Vendor"] = vendor;
    return reader;
}

struct Rules {
    const char* processorName;
    const char* vendor;
    bool intel;
};
const Rules kRules[] = {{kIntelName, "GenuineIntel", true}, {kAmdName, "AuthenticAMD", false}};

struct Evaluated {
    VerdictSet bare;  // the same stored values, bare metal, driver ran
    VerdictSet set;
    std::vector<std::string> bareReads;
    std::vector<std::string> reads;
};

Evaluated evaluate(const Rules& rules, bool on, const char* vendor, const StartFacts& facts) {
    TableReader bareReader = stored(on, vendor);
    TableReader reader = stored(on, vendor);
    Evaluated e;
    e.bare = evaluateVerdicts(rules.processorName, bareReader, kBareMetalRan);
    e.set = evaluateVerdicts(rules.processorName, reader, facts);
    e.bareReads = bareReader.reads;
    e.reads = reader.reads;
    return e;
}

// The bare-metal rows, then exactly the extra ones.
void expectBareRowsThen(const Evaluated& e, const std::vector<Row>& extra) {
    std::vector<Row> want;
    for (const DetailRow& row : e.bare.rows) {
        want.push_back({row.item.c_str(), row.value.c_str(), row.marker});
    }
    want.insert(want.end(), extra.begin(), extra.end());
    expectRows(e.set, want);
}

void expectBareLines(const Evaluated& e) {
    for (auto line : {&VerdictSet::VtEnabled, &VerdictSet::BoardSupport, &VerdictSet::CpuSupport}) {
        expectLine(e.set.*line, (e.bare.*line).caption.c_str(), (e.bare.*line).background);
    }
}

void expectPositiveLines(const VerdictSet& set) {
    expectLine(set.VtEnabled, " VT是否开启：    开启", P);
    expectLine(set.BoardSupport, " 主板VT支持：    支持", P);
    expectLine(set.CpuSupport, " CPU支持VT：    支持", P);
}

const Row kRootRow{"虚拟化平台", "Hyper-V（Windows 虚拟化）正在使用VT", Marker::Check};

TEST(StartFacts, NoHypervisorAndDriverRanIsTheBareResult) {
    // The processor showing VT to a system without a hypervisor adds nothing.
    HypervisorFacts bareWithVt;
    bareWithVt.processorShowsVt = true;
    for (const Rules& rules : kRules) {
        for (bool on : {false, true}) {
            SCOPED_TRACE(::testing::Message() << rules.processorName << (on ? ", on" : ", off"));
            const Evaluated e = evaluate(rules, on, rules.vendor, {bareWithVt, kRan});
            expectBareRowsThen(e, {});
            expectBareLines(e);
            EXPECT_EQ(e.reads, e.bareReads);
        }
    }
}

TEST(StartFacts, RootPartitionGivesThreePositiveLinesOverAllZeroValues) {
    for (const Rules& rules : kRules) {
        SCOPED_TRACE(rules.processorName);
        const Evaluated e = evaluate(rules, false, rules.vendor, {kHyperVRoot, kRan});
        // The bare result over these values is all off: the root partition alone turns it.
        EXPECT_NE(e.bare.VtEnabled.background, P);
        EXPECT_NE(e.bare.BoardSupport.background, P);
        EXPECT_NE(e.bare.CpuSupport.background, P);
        expectPositiveLines(e.set);
        expectBareRowsThen(e, {kRootRow});
        EXPECT_EQ(e.reads, e.bareReads);
    }
}

TEST(StartFacts, GuestRowNamesTheHypervisorAndLeavesTheLinesToTheValues) {
    struct Case {
        HypervisorFacts facts;
        Row row;
    } cases[] = {
        {hypervisor("KVMKVMKVM\0\0\0", false),
         {"虚拟化平台", "KVM 虚拟机，未开放嵌套VT", Marker::Cross}},
        {hypervisor("KVMKVMKVM\0\0\0", true),
         {"虚拟化平台", "KVM 虚拟机，已开放嵌套VT", Marker::Check}},
        {hypervisor("Microsoft Hv", false),
         {"虚拟化平台", "Hyper-V 虚拟机，未开放嵌套VT", Marker::Cross}},
        {hypervisor("Microsoft Hv", true),
         {"虚拟化平台", "Hyper-V 虚拟机，已开放嵌套VT", Marker::Check}},
        {hypervisor("VMwareVMware", false),
         {"虚拟化平台", "VMware 虚拟机，未开放嵌套VT", Marker::Cross}},
        {hypervisor("  Acme HV   ", true),
         {"虚拟化平台", "Acme HV 虚拟机，已开放嵌套VT", Marker::Check}},
        {hypervisor("\x01\x02\x03\x04\0\0\0\0\0\0\0\0", false),
         {"虚拟化平台", "未知 虚拟机，未开放嵌套VT", Marker::Cross}},
    };
    for (const auto& c : cases) {
        for (const Rules& rules : kRules) {
            for (bool on : {false, true}) {
                SCOPED_TRACE(::testing::Message() << c.row.value << ", " << rules.processorName
                                                  << (on ? ", on" : ", off"));
                const Evaluated e = evaluate(rules, on, rules.vendor, {c.facts, kRan});
                expectBareRowsThen(e, {c.row});
                expectBareLines(e);
                EXPECT_EQ(e.reads, e.bareReads);
            }
        }
    }
}

// Every reason, with and without an earlier check's values in the key; under the
// Intel rules CPU_Vendor is read once more to tell which, under the AMD rules the
// rules' own read tells it.
TEST(StartFacts, DriverNotRunRowGivesTheReasonAndWhetherEarlierValuesAreShown) {
    struct Case {
        ProbeOutcome probe;
        const char* reason;
    } cases[] = {
        {{ProbeOutcomeKind::StartFailed, 577}, "系统不接受驱动签名"},
        {{ProbeOutcomeKind::StartFailed, 1275}, "驱动被系统策略阻止"},
        {{ProbeOutcomeKind::StartFailed, 5}, "没有管理员权限"},
        {{ProbeOutcomeKind::StartFailed, 1058}, "驱动服务已被禁用"},
        {{ProbeOutcomeKind::ImageNotHeld, 0}, "无法写入驱动文件"},
        {{ProbeOutcomeKind::Windows32Bit, 0}, "32位 Windows 无法运行64位检测驱动"},
        {{ProbeOutcomeKind::StartFailed, 1053}, "错误 1053"},
        {{ProbeOutcomeKind::StartFailed, 2}, "错误 2"},
        // A Win32 code is a DWORD: one with the top bit set is shown unsigned.
        {{ProbeOutcomeKind::StartFailed, static_cast<std::int32_t>(0xE0000100u)},
         "错误 3758096640"},
    };
    for (const auto& c : cases) {
        for (const Rules& rules : kRules) {
            for (bool earlier : {true, false}) {
                SCOPED_TRACE(::testing::Message()
                             << c.reason << ", " << rules.processorName
                             << (earlier ? ", earlier values" : ", empty key"));
                const std::string value = std::string("本次未能运行（") + c.reason + "）" +
                                          (earlier ? "，显示上次检测结果" : "，尚无检测结果");
                const Evaluated e = evaluate(rules, earlier, earlier ? rules.vendor : nullptr,
                                             {HypervisorFacts{}, c.probe});
                expectBareRowsThen(e, {{"检测驱动", value.c_str(), Marker::Cross}});
                expectBareLines(e);
                std::vector<std::string> reads = e.bareReads;
                if (rules.intel) reads.push_back("CPU_Vendor");
                EXPECT_EQ(e.reads, reads);
            }
        }
    }
}

TEST(StartFacts, HypervisorRowComesBeforeTheDriverRow) {
    const ProbeOutcome refused{ProbeOutcomeKind::StartFailed, 577};
    const Row refusedRow{"检测驱动", "本次未能运行（系统不接受驱动签名），显示上次检测结果",
                         Marker::Cross};
    for (const Rules& rules : kRules) {
        SCOPED_TRACE(rules.processorName);
        const Evaluated guest =
            evaluate(rules, true, rules.vendor, {hypervisor("KVMKVMKVM\0\0\0", false), refused});
        expectBareRowsThen(guest,
                           {{"虚拟化平台", "KVM 虚拟机，未开放嵌套VT", Marker::Cross}, refusedRow});
        expectBareLines(guest);

        // The root partition's lines stand even when the values are an earlier run's.
        const Evaluated root = evaluate(rules, false, rules.vendor, {kHyperVRoot, refused});
        expectBareRowsThen(root, {kRootRow, refusedRow});
        expectPositiveLines(root.set);
    }
}

}  // namespace
