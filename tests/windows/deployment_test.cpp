// The shipped i686 host with the real signed driver, run as a user would run it,
// watched from outside: the service it registers, the files it leaves, the
// probe values that land in the registry, its window.

#include <gtest/gtest.h>
#include <intrin.h>
#include <windows.h>

#include <string>
#include <vector>

#include "host_process.h"

namespace {

const char kKey[] = "SOFTWARE\\Quorvel";
const DWORD kWaitMs = 30000;

HKEY openProbeKey(REGSAM access) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, access | KEY_WOW64_64KEY, nullptr, &key,
                    nullptr);
    return key;
}

void setDword(const char* name, DWORD value) {
    HKEY key = openProbeKey(KEY_SET_VALUE);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

void setText(const char* name, const std::string& text) {
    HKEY key = openProbeKey(KEY_SET_VALUE);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

DWORD readDword(const char* name) {
    DWORD value = 0xDEAD, size = sizeof(value);
    RegGetValueA(HKEY_LOCAL_MACHINE, kKey, name, RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY, nullptr,
                 &value, &size);
    return value;
}

std::string readText(const char* name) {
    char text[256] = {};
    DWORD size = sizeof(text);
    RegGetValueA(HKEY_LOCAL_MACHINE, kKey, name, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, text,
                 &size);
    return text;
}

// The value of the current vendor class that CPUID alone decides, its name
// and what CPUID says it must be: SVM on AMD, CPU_VT on Intel.
struct ClassValue {
    const char* name;
    DWORD expected;
};

ClassValue cpuidClassValue() {
    int r[4];
    std::string vendor = cpuidVendor();
    if (vendor == "GenuineIntel") {
        __cpuid(r, 1);
        return {"CPU_VT", (static_cast<unsigned>(r[2]) >> 5) & 1};
    }
    if (vendor == "AuthenticAMD") {
        __cpuid(r, 0x80000001);
        return {"SVM", (static_cast<unsigned>(r[2]) >> 2) & 1};
    }
    return {nullptr, 0};
}

std::string narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool isDirectory(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Plants values that no probe writes, so that a fresh probe is told apart.
void plantStaleValues(const ClassValue& cls) {
    setText("CPU_Vendor", "stale");
    setText("CPU_Name", "stale");
    if (cls.name != nullptr) setDword(cls.name, 7);
}

// Waits until the probe of this run has replaced the planted vendor text.
bool waitForFreshValues() {
    for (DWORD waited = 0; waited < kWaitMs; waited += 100) {
        if (readText("CPU_Vendor") != "stale") return true;
        Sleep(100);
    }
    return false;
}

void expectFreshValues(const ClassValue& cls) {
    EXPECT_EQ(readText("CPU_Vendor"), cpuidVendor());
    EXPECT_NE(readText("CPU_Name"), "stale");
    if (cls.name != nullptr) {
        EXPECT_EQ(readDword(cls.name), cls.expected) << cls.name;
    }
}

// Wine keeps a loaded driver's image mapped and refuses to delete it (Windows
// deletes it); so the image is either gone or it is the loaded, embedded image.
void expectImageGoneOrLoaded(const HostDirectory& dir) {
    std::wstring image = dir.file(L"inc\\VTdrvsys.sys");
    if (exists(image)) {
        EXPECT_EQ(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_EQ(readFileBytes(image), readFileBytes(distPath(L"VTdrvsys.sys")));
    }
}

class Deployment : public ::testing::Test {
protected:
    static void SetUpTestSuite() { createProbeKey(); }
    ClassValue cls = cpuidClassValue();
};

// The tests run in this order and share the prefix's service manager: first
// run on a clean machine, then later runs.
TEST_F(Deployment, FirstRunRegistersAndStartsTheDriver) {
    ASSERT_FALSE(queryService().exists);
    HostDirectory dir(L"first");
    plantStaleValues(cls);
    HostProcess host(dir);
    ASSERT_TRUE(host.started());
    ASSERT_NE(host.waitForVisibleWindow(kWaitMs), nullptr);
    expectFreshValues(cls);

    ServiceState s = queryService();
    ASSERT_TRUE(s.exists);
    EXPECT_EQ(s.type, static_cast<DWORD>(SERVICE_FILE_SYSTEM_DRIVER));
    EXPECT_EQ(s.start, static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(s.errorControl, static_cast<DWORD>(SERVICE_ERROR_IGNORE));
    EXPECT_EQ(s.path, narrow(dir.file(L"inc\\VTdrvsys.sys")));
    EXPECT_EQ(s.group, "");
    EXPECT_EQ(s.dependencies, "");
    EXPECT_EQ(s.tag, 0u);
    EXPECT_EQ(s.state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(isDirectory(dir.file(L"inc")));
    expectImageGoneOrLoaded(dir);
    EXPECT_EQ(host.closeAndWait(), 0u);
}

TEST_F(Deployment, RunWhileTheDriverIsStillLoadedProbesAgain) {
    ASSERT_EQ(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
    HostDirectory dir(L"second");
    plantStaleValues(cls);
    HostProcess host(dir, L"/some --arguments that are ignored");
    ASSERT_NE(host.waitForVisibleWindow(kWaitMs), nullptr);
    expectFreshValues(cls);
    ServiceState s = queryService();
    EXPECT_EQ(s.path, narrow(dir.file(L"inc\\VTdrvsys.sys")));
    EXPECT_EQ(s.state, static_cast<DWORD>(SERVICE_RUNNING));
    expectImageGoneOrLoaded(dir);
    EXPECT_EQ(host.closeAndWait(), 0u);
}

TEST_F(Deployment, LaterRunAfterTheDriverStoppedProbesAgainAndReplacesALeftFile) {
    // As after a reboot: the service exists, the driver is not loaded, and a
    // foreign file lies where the image goes.
    HostDirectory dir(L"later");
    CreateDirectoryW(dir.file(L"inc").c_str(), nullptr);
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = OpenServiceA(manager, "VTdrvsys", SERVICE_STOP | SERVICE_QUERY_STATUS);
        SERVICE_STATUS status;
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        for (int i = 0; i < 100 && queryService().state != SERVICE_STOPPED; ++i) Sleep(50);
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }
    ASSERT_EQ(queryService().state, static_cast<DWORD>(SERVICE_STOPPED));
    dir.writeFile(L"inc\\VTdrvsys.sys", "not a driver");
    plantStaleValues(cls);

    HostProcess host(dir);
    ASSERT_NE(host.waitForVisibleWindow(kWaitMs), nullptr);
    expectFreshValues(cls);
    EXPECT_EQ(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
    expectImageGoneOrLoaded(dir);
    EXPECT_EQ(host.closeAndWait(), 0u);
}

TEST_F(Deployment, HiddenWindowStillDeploysAndEvaluatesAndKeepsRunning) {
    HostDirectory dir(L"hidden");
    dir.writeFile(L"config.ini", "[config]\r\nshowWindow=0\r\n");
    plantStaleValues(cls);
    HostProcess host(dir);
    ASSERT_TRUE(waitForFreshValues());
    expectFreshValues(cls);
    HWND window = host.waitForWindow(kWaitMs);
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < 20; ++i) {  // two seconds in which it must never show
        EXPECT_FALSE(IsWindowVisible(window));
        Sleep(100);
    }
    EXPECT_TRUE(host.running());
}

TEST_F(Deployment, IncAsAFileIsLeftAloneAndEvaluationStillRuns) {
    HostDirectory dir(L"incfile");
    dir.writeFile(L"inc", "a file where the directory goes");
    setText("CPU_Vendor", "kept");
    HostProcess host(dir);
    ASSERT_NE(host.waitForVisibleWindow(kWaitMs), nullptr);
    EXPECT_EQ(readText("CPU_Vendor"), "kept");
    EXPECT_FALSE(isDirectory(dir.file(L"inc")));
    EXPECT_EQ(host.closeAndWait(), 0u);
}

TEST_F(Deployment, IncAsASymbolicLinkIsNotWrittenThrough) {
    HostDirectory dir(L"inclink");
    std::wstring target = L"C:\\korvane-link-target";
    CreateDirectoryW(target.c_str(), nullptr);
    CreateSymbolicLinkW(dir.file(L"inc").c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    DWORD attributes = GetFileAttributesW(dir.file(L"inc").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // Measured on Wine 8: CreateSymbolicLinkW reports success but makes
        // nothing, and FSCTL_SET_REPARSE_POINT fails with ERROR_NOT_SUPPORTED.
        GTEST_SKIP() << "this system cannot make a directory symbolic link";
    }
    setText("CPU_Vendor", "kept");
    HostProcess host(dir);
    ASSERT_NE(host.waitForVisibleWindow(kWaitMs), nullptr);
    EXPECT_EQ(readText("CPU_Vendor"), "kept");
    EXPECT_FALSE(exists(target + L"\\VTdrvsys.sys"));
    EXPECT_EQ(host.closeAndWait(), 0u);
}

// A leftover that this run can neither replace nor hold as its image: the
// driver loaded by an earlier run must stay loaded, its values untouched.
struct StuckLeftover {
    const wchar_t* name;
    bool readOnly;  // else another process holds it open, sharing nothing
};

const StuckLeftover kStuckLeftovers[] = {{L"read_only", true}, {L"locked", false}};

TEST_F(Deployment, LeftoverThatCannotBeReplacedLeavesTheLoadedDriverAndTheFileAsTheyWere) {
    for (const StuckLeftover& c : kStuckLeftovers) {
        SCOPED_TRACE(narrow(c.name));
        ASSERT_EQ(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
        const std::string servicePath = queryService().path;
        HostDirectory dir(c.name);
        CreateDirectoryW(dir.file(L"inc").c_str(), nullptr);
        const std::wstring leftover = dir.file(L"inc\\VTdrvsys.sys");
        dir.writeFile(L"inc\\VTdrvsys.sys", "not a driver");
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (c.readOnly) {
            ASSERT_TRUE(SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_READONLY));
        } else {
            lock = CreateFileW(leftover.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        }
        plantStaleValues(cls);

        HostProcess host(dir);
        ASSERT_NE(host.waitForVisibleWindow(kWaitMs), nullptr);
        ServiceState s = queryService();
        EXPECT_EQ(s.state, static_cast<DWORD>(SERVICE_RUNNING)) << "the earlier driver was stopped";
        EXPECT_EQ(s.path, servicePath);
        EXPECT_EQ(readText("CPU_Vendor"), "stale");
        EXPECT_EQ(host.closeAndWait(), 0u);

        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        std::vector<unsigned char> left = readFileBytes(leftover);
        EXPECT_EQ(std::string(left.begin(), left.end()), "not a driver");
        SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// Last of the runs: nothing maps an image whose start failed, so it must be gone.
TEST_F(Deployment, DisabledServiceLeavesNoImageAndTheValuesAsTheyWere) {
    ASSERT_TRUE(queryService().exists);
    setServiceStartType(SERVICE_DISABLED);
    HostDirectory dir(L"disabled");
    plantStaleValues(cls);
    HostProcess host(dir);
    ASSERT_NE(host.waitForVisibleWindow(kWaitMs), nullptr);
    EXPECT_EQ(readText("CPU_Vendor"), "stale");
    EXPECT_TRUE(isDirectory(dir.file(L"inc")));
    EXPECT_FALSE(exists(dir.file(L"inc\\VTdrvsys.sys")));
    EXPECT_NE(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(host.closeAndWait(), 0u);
    setServiceStartType(SERVICE_DEMAND_START);
}

TEST(EmbeddedImage, TheHostCarriesTheSignedImage) {
    std::vector<unsigned char> signedImage = readFileBytes(distPath(L"VTdrvsys.sys"));
    ASSERT_GT(signedImage.size(), 1024u);
    HMODULE module = LoadLibraryExW(distPath(L"KorvaneVT.exe").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << GetLastError();
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(201), MAKEINTRESOURCEW(10));
    ASSERT_NE(info, nullptr);
    auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, info)));
    std::vector<unsigned char> embedded(data, data + SizeofResource(module, info));
    EXPECT_EQ(embedded, signedImage);
    FreeLibrary(module);
}

}  // namespace
