// What the shipped host shows when it runs as a user runs it, read from outside
// its process: on this machine's own hypervisor, and in starts where the driver
// cannot run. The three lines and the probe rows must be what the values in the
// key give on bare metal; only the rows of this start's facts are added.

#include <gtest/gtest.h>
#include <intrin.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "host_process.h"
#include "shown_window.h"
#include "ui/evaluation.h"

namespace {

const DWORD kWaitMs = 30000;

// The platform row that this machine's CPUID calls for, decoded here on its own:
// none without the hypervisor-present bit (CPUID.1:ECX bit 31); for a KVM guest
// a check when it passes VMX (CPUID.1:ECX bit 5) or SVM (CPUID.80000001h:ECX
// bit 2) on, else a cross. False for any other hypervisor: no expectation here.
bool expectedPlatformRows(std::vector<ShownRow>& rows, std::string& signature) {
    int r[4];
    __cpuid(r, 1);
    const auto featureEcx = static_cast<unsigned>(r[2]);
    if ((featureEcx >> 31) == 0) return true;
    bool showsVt = (featureEcx >> 5) & 1;
    __cpuid(r, 0x80000000);
    if (static_cast<unsigned>(r[0]) >= 0x80000001) {
        __cpuid(r, 0x80000001);
        showsVt = showsVt || ((static_cast<unsigned>(r[2]) >> 2) & 1);
    }
    __cpuid(r, 0x40000000);
    signature.assign(reinterpret_cast<const char*>(&r[1]), 12);
    if (signature != std::string("KVMKVMKVM\0\0\0", 12)) return false;
    rows.push_back(showsVt ? ShownRow{"虚拟化平台", "KVM 虚拟机，已开放嵌套VT", 1}
                           : ShownRow{"虚拟化平台", "KVM 虚拟机，未开放嵌套VT", 0});
    return true;
}

// CPU_Vendor as an earlier check leaves it; null removes it, as where none ran.
void plantVendor(const char* vendor) {
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvel", 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key);
    if (vendor == nullptr) {
        RegDeleteValueA(key, "CPU_Vendor");
    } else {
        RegSetValueExA(key, "CPU_Vendor", 0, REG_SZ, reinterpret_cast<const BYTE*>(vendor),
                       static_cast<DWORD>(strlen(vendor) + 1));
    }
    RegCloseKey(key);
}

// The window must show the bare-metal evaluation of the values now in the key,
// then exactly the extra rows; ten rows or more scroll.
void expectShown(HWND window, const std::vector<ShownRow>& extra) {
    const ShownWindow shown = readShownWindow(window);
    RegistryProbeReader reader;
    const VerdictSet bare = evaluateVerdicts(
        readProcessorName(), reader, {HypervisorFacts{}, ProbeOutcome{ProbeOutcomeKind::Ran, 0}});

    EXPECT_EQ(shown.captions, (std::vector<std::string>{bare.VtEnabled.caption,
                                                        bare.BoardSupport.caption,
                                                        bare.CpuSupport.caption}));
    std::vector<ShownRow> want;
    for (const DetailRow& row : bare.rows) {
        want.push_back({row.item, row.value, static_cast<int>(row.marker)});
    }
    want.insert(want.end(), extra.begin(), extra.end());
    EXPECT_EQ(shown.rows.size(), want.size());
    // Every row is compared, a missing or surplus one against an empty row.
    for (std::size_t i = 0; i < std::max(shown.rows.size(), want.size()); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        const ShownRow got = i < shown.rows.size() ? shown.rows[i] : ShownRow{};
        const ShownRow expected = i < want.size() ? want[i] : ShownRow{};
        EXPECT_EQ(got.item, expected.item);
        EXPECT_EQ(got.value, expected.value);
        EXPECT_EQ(got.stateImage, expected.stateImage);
    }
    EXPECT_EQ(shown.listScrollsVertically, want.size() >= 10);
}

class HostWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { createProbeKey(); }
    void SetUp() override {
        std::string signature;
        if (!expectedPlatformRows(platform, signature)) {
            GTEST_SKIP() << "no expectation for the hypervisor signature '" << signature << "'";
        }
    }
    std::vector<ShownRow> platform;
};

// First of the runs: the driver runs and registers the service that the later
// runs find.
TEST_F(HostWindow, DriverRanListEndsWithThePlatformRowOnly) {
    ASSERT_FALSE(queryService().exists);
    HostDirectory dir(L"window-ran");
    plantVendor("stale");
    HostProcess host(dir);
    HWND window = host.waitForVisibleWindow(kWaitMs);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(RegistryProbeReader().readText("CPU_Vendor"), cpuidVendor())
        << "the driver ran in this start";
    expectShown(window, platform);
    EXPECT_EQ(host.closeAndWait(), 0u);
}

// Undoes a disabled start type however the case ends.
struct DisabledService {
    DisabledService() { setServiceStartType(SERVICE_DISABLED); }
    ~DisabledService() { setServiceStartType(SERVICE_DEMAND_START); }
};

void incAsAFile(const HostDirectory& dir) { dir.writeFile(L"inc", "a file where the directory goes"); }

TEST_F(HostWindow, DriverThatCannotRunAddsItsReasonAfterThePlatformRow) {
    ASSERT_TRUE(queryService().exists) << "the first run registers the service";
    struct Case {
        const wchar_t* name;
        void (*prepare)(const HostDirectory&);  // null: nothing in the way of the image
        bool disabled;
        const char* vendor;  // CPU_Vendor in the key; null: absent
        const char* value;
    } cases[] = {
        {L"window-inc-earlier", incAsAFile, false, "GenuineIntel",
         "本次未能运行（无法写入驱动文件），显示上次检测结果"},
        {L"window-inc-none", incAsAFile, false, nullptr,
         "本次未能运行（无法写入驱动文件），尚无检测结果"},
        {L"window-disabled-earlier", nullptr, true, "AuthenticAMD",
         "本次未能运行（驱动服务已被禁用），显示上次检测结果"},
        {L"window-disabled-none", nullptr, true, nullptr,
         "本次未能运行（驱动服务已被禁用），尚无检测结果"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        HostDirectory dir(c.name);
        if (c.prepare != nullptr) c.prepare(dir);
        plantVendor(c.vendor);
        std::vector<ShownRow> extra = platform;
        extra.push_back({"检测驱动", c.value, 0});
        std::optional<DisabledService> disabled;
        if (c.disabled) disabled.emplace();
        HostProcess host(dir);
        HWND window = host.waitForVisibleWindow(kWaitMs);
        ASSERT_NE(window, nullptr);
        expectShown(window, extra);
        EXPECT_EQ(host.closeAndWait(), 0u);
    }
}

}  // namespace
