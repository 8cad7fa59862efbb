// Evaluation over the probe values alone: no hypervisor, and the driver ran.

#include "verdict_test_support.h"

#include <string>
#include <vector>

namespace {

TEST(UsesIntelRules, MatchesIntelAnywhereWithoutRegardToCase) {
    struct Case {
        const char* name;
        bool intel;
    } cases[] = {
        {"Intel(R) Core(TM) i5-4590 CPU @ 3.30GHz", true},
        {"       Intel(R) Xeon(R) CPU E5-2680 v4", true},
        {"INTEL PENTIUM", true},
        {"iNtEl", true},
        {"Genuine intel", true},
        {"AMD Ryzen 5 3600 6-Core Processor", false},
        {"VIA Nano", false},
        {"", false},
        {"inte", false},
        {"intl", false},
        {"Int el", false},
        // Multi-byte characters before the match do not throw the walk off.
        {"英特尔 Intel 处理器", true},
        {"处理器", false},
        // A truncated multi-byte character at the end is never read past.
        {"intel\xE4", true},
        {"inte\xE4", false},
        {"\xE4\xB8", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(usesIntelRules(c.name), c.intel) << '"' << c.name << '"';
    }
}

TEST(EvaluateVerdicts, IntelRulesReadEightValuesInOrderAndGiveNineRows) {
    TableReader reader;
    reader.ints = {{"BIOSLock", 1}, {"CPU_VT", 1}, {"CR0_NE", 1}, {"CR0_PE", 1},
                   {"CR0_PG", 1},   {"CR4_VMXE", 1}, {"VMInSMX", 0}, {"VMOutSideSMX", 1}};
    VerdictSet set = evaluateVerdicts(kIntelName, reader, kBareMetalRan);

    EXPECT_EQ(reader.reads, (std::vector<std::string>{"BIOSLock", "CPU_VT", "CR0_NE", "CR0_PE",
                                                      "CR0_PG", "CR4_VMXE", "VMInSMX",
                                                      "VMOutSideSMX"}));
    expectRows(set, {{"CPU型号", kIntelName, Marker::Check},
                     {"BIOSLock", "1", Marker::Check},
                     {"CPU_VT", "1", Marker::Check},
                     {"CR0_NE", "1", Marker::Check},
                     {"CR0_PE", "1", Marker::Check},
                     {"CR0_PG", "1", Marker::Check},
                     {"CR4_VMXE", "至少有一个VT驱动加载", Marker::Check},
                     {"VMInSMX", "0", Marker::Cross},
                     {"VMOutSideSMX", "1", Marker::Check}});
    expectLine(set.VtEnabled, " VT是否开启：    开启", P);
    expectLine(set.BoardSupport, " 主板VT支持：    支持", P);
    expectLine(set.CpuSupport, " CPU支持VT：    支持", P);
}

TEST(EvaluateVerdicts, AmdRulesReadFourValuesInOrderAndGiveFiveRows) {
    TableReader reader;
    reader.texts = {{"CPU_Vendor", "AuthenticAMD"}};
    reader.ints = {{"SVM", 1}, {"SVM_NP", 1}, {"VM_CR", 1}};
    VerdictSet set = evaluateVerdicts(kAmdName, reader, kBareMetalRan);

    EXPECT_EQ(reader.reads, (std::vector<std::string>{"CPU_Vendor", "SVM", "SVM_NP", "VM_CR"}));
    expectRows(set, {{"CPU型号", kAmdName, Marker::Check},
                     {"CPU_Vendor", "AuthenticAMD", Marker::Check},
                     {"SVM", "1", Marker::Check},
                     {"SVM_NP", "1", Marker::Check},
                     {"VM_CR", "开启", Marker::Check}});
    expectLine(set.VtEnabled, " VT是否开启：    开启", P);
    expectLine(set.BoardSupport, " 主板VT支持：    支持", P);
    expectLine(set.CpuSupport, " CPU支持VT：    支持", P);
}

// The three verdict lines for combinations of the values that decide them.
TEST(EvaluateVerdicts, IntelVerdictLines) {
    struct Case {
        std::int32_t biosLock, cpuVt, inSmx, outsideSmx;
        VerdictBackground vt, board, cpu;
    } cases[] = {
        {0, 0, 0, 0, N, N, N},  {1, 0, 0, 0, N, P, N},  {0, 1, 0, 0, N, N, P},
        {0, 0, 1, 0, P, N, N},  {0, 0, 0, 1, P, N, N},  {0, 0, 1, 1, P, N, N},
        // Only exactly 1 counts: 2 and -1 take the other side.
        {2, -1, 2, -1, N, N, N}, {1, 1, -1, 2, N, P, P},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.biosLock << ' ' << c.cpuVt << ' ' << c.inSmx << ' '
                                          << c.outsideSmx);
        TableReader reader;
        reader.ints = {{"BIOSLock", c.biosLock},
                       {"CPU_VT", c.cpuVt},
                       {"VMInSMX", c.inSmx},
                       {"VMOutSideSMX", c.outsideSmx}};
        VerdictSet set = evaluateVerdicts(kIntelName, reader, kBareMetalRan);
        expectLine(set.VtEnabled, c.vt == P ? " VT是否开启：    开启" : " VT是否开启：    关闭", c.vt);
        expectLine(set.BoardSupport,
                   c.board == P ? " 主板VT支持：    支持" : " 主板VT支持：    不支持", c.board);
        expectLine(set.CpuSupport, c.cpu == P ? " CPU支持VT：    支持" : " CPU支持VT：    不支持",
                   c.cpu);
        EXPECT_EQ(set.rows[1].value, c.biosLock == 1 ? "1" : "0");
        EXPECT_EQ(set.rows[1].marker, c.biosLock == 1 ? Marker::Check : Marker::Cross);
        EXPECT_EQ(set.rows[2].value, c.cpuVt == 1 ? "1" : "0");
    }
}

TEST(EvaluateVerdicts, AmdVerdictLines) {
    struct Case {
        std::int32_t svm, vmCr;
        const char* vt;
        VerdictBackground vtBg;
        const char* board;
        VerdictBackground boardBg;
        const char* cpu;
        VerdictBackground cpuBg;
        const char* vmCrValue;
        Marker vmCrMarker;
    } cases[] = {
        {1, 1, " VT是否开启：    开启", P, " 主板VT支持：    支持", P, " CPU支持VT：    支持", P, "开启", Marker::Check},
        {1, 0, " VT是否开启：    关闭", N, " 主板VT支持：    支持", P, " CPU支持VT：    支持", P, "关闭或不支持", Marker::Cross},
        {0, 1, " VT是否开启：    开启", P, " 主板VT支持：    未知", U, " CPU支持VT：    不支持", N, "开启", Marker::Check},
        {0, 0, " VT是否开启：    关闭", N, " 主板VT支持：    未知", U, " CPU支持VT：    不支持", N, "关闭或不支持", Marker::Cross},
        {2, 2, " VT是否开启：    关闭", N, " 主板VT支持：    未知", U, " CPU支持VT：    不支持", N, "关闭或不支持", Marker::Cross},
        {-1, -1, " VT是否开启：    关闭", N, " 主板VT支持：    未知", U, " CPU支持VT：    不支持", N, "关闭或不支持", Marker::Cross},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "SVM " << c.svm << " VM_CR " << c.vmCr);
        TableReader reader;
        reader.ints = {{"SVM", c.svm}, {"VM_CR", c.vmCr}};
        VerdictSet set = evaluateVerdicts(kAmdName, reader, kBareMetalRan);
        expectLine(set.VtEnabled, c.vt, c.vtBg);
        expectLine(set.BoardSupport, c.board, c.boardBg);
        expectLine(set.CpuSupport, c.cpu, c.cpuBg);
        EXPECT_EQ(set.rows[4].value, c.vmCrValue);
        EXPECT_EQ(set.rows[4].marker, c.vmCrMarker);
    }
}

TEST(EvaluateVerdicts, Cr4VmxeIsAlwaysACheckAndDecidesNoLine) {
    for (std::int32_t vmxe : {0, 1}) {
        TableReader reader;
        reader.ints = {{"CR4_VMXE", vmxe}};
        VerdictSet set = evaluateVerdicts(kIntelName, reader, kBareMetalRan);
        EXPECT_EQ(set.rows[6].item, "CR4_VMXE");
        EXPECT_EQ(set.rows[6].value, vmxe ? "至少有一个VT驱动加载" : "当前无VT驱动加载");
        EXPECT_EQ(set.rows[6].marker, Marker::Check);
        EXPECT_EQ(set.VtEnabled.background, N);
        EXPECT_EQ(set.BoardSupport.background, N);
        EXPECT_EQ(set.CpuSupport.background, N);
    }
}

TEST(EvaluateVerdicts, Cr0PgAloneSetsOnlyItsOwnRow) {
    TableReader reader;
    reader.ints = {{"CR0_PG", 1}};
    VerdictSet set = evaluateVerdicts(kIntelName, reader, kBareMetalRan);
    expectRows(set, {{"CPU型号", kIntelName, Marker::Check},
                     {"BIOSLock", "0", Marker::Cross},
                     {"CPU_VT", "0", Marker::Cross},
                     {"CR0_NE", "0", Marker::Cross},
                     {"CR0_PE", "0", Marker::Cross},
                     {"CR0_PG", "1", Marker::Check},
                     {"CR4_VMXE", "当前无VT驱动加载", Marker::Check},
                     {"VMInSMX", "0", Marker::Cross},
                     {"VMOutSideSMX", "0", Marker::Cross}});
    expectLine(set.VtEnabled, " VT是否开启：    关闭", N);
    expectLine(set.BoardSupport, " 主板VT支持：    不支持", N);
    expectLine(set.CpuSupport, " CPU支持VT：    不支持", N);
}

// Nothing readable (an empty key, or no 64-bit view): what the user sees.
TEST(EvaluateVerdicts, NothingReadable) {
    TableReader empty;
    VerdictSet amd = evaluateVerdicts("", empty, kBareMetalRan);
    expectRows(amd, {{"CPU型号", "", Marker::Check},
                     {"CPU_Vendor", "", Marker::Check},
                     {"SVM", "0", Marker::Cross},
                     {"SVM_NP", "0", Marker::Cross},
                     {"VM_CR", "关闭或不支持", Marker::Cross}});
    expectLine(amd.VtEnabled, " VT是否开启：    关闭", N);
    expectLine(amd.BoardSupport, " 主板VT支持：    未知", U);
    expectLine(amd.CpuSupport, " CPU支持VT：    不支持", N);
}

TEST(EvaluateVerdicts, NameIsKeptAsGivenAndChoosesTheRules) {
    struct Case {
        const char* name;
        size_t rows;
    } cases[] = {
        {"   Intel(R) Core(TM) i3 ", 9},
        {"VIA Eden Processor", 5},
        {"Genuine CPU 0000", 5},  // an Intel part whose name lacks the word
        {"", 5},
    };
    for (const auto& c : cases) {
        TableReader reader;
        reader.texts = {{"CPU_Vendor", "GenuineIntel"}};
        VerdictSet set = evaluateVerdicts(c.name, reader, kBareMetalRan);
        ASSERT_EQ(set.rows.size(), c.rows) << c.name;
        EXPECT_EQ(set.rows[0].item, "CPU型号");
        EXPECT_EQ(set.rows[0].value, c.name);
        EXPECT_EQ(set.rows[0].marker, Marker::Check);
        if (c.rows == 5) {
            EXPECT_EQ(set.rows[1].value, "GenuineIntel");
        }
    }
}

TEST(EvaluateVerdicts, EveryCaptionHasItsShape) {
    // One ASCII space, the title, a full-width colon, exactly four spaces, the word.
    TableReader on, off;
    on.ints = {{"BIOSLock", 1}, {"CPU_VT", 1}, {"VMInSMX", 1}, {"SVM", 1}, {"VM_CR", 1}};
    std::vector<VerdictSet> sets = {evaluateVerdicts(kIntelName, on, kBareMetalRan),
                                    evaluateVerdicts(kIntelName, off, kBareMetalRan),
                                    evaluateVerdicts(kAmdName, on, kBareMetalRan),
                                    evaluateVerdicts(kAmdName, off, kBareMetalRan)};
    for (const auto& set : sets) {
        for (const VerdictLine* line : {&set.VtEnabled, &set.BoardSupport, &set.CpuSupport}) {
            const std::string& c = line->caption;
            EXPECT_EQ(c[0], ' ') << c;
            size_t colon = c.find("：");
            ASSERT_NE(colon, std::string::npos) << c;
            EXPECT_EQ(c.substr(colon + 3, 4), "    ") << c;
            EXPECT_NE(c[colon + 7], ' ') << c;
            EXPECT_EQ(line->textColor, 0xFFFFFFu);
        }
    }
}

}  // namespace
