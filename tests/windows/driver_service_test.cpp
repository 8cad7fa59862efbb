// The signed VTdrvsys.sys installed and started as the kernel driver service the
// host registers (type 2, demand start, error ignore). Wine runs its entry routine
// with the real processor's CPUID, so the values it writes must match a
// user-mode CPUID here; the expectations are derived from CPUID, never assumed.

#include <gtest/gtest.h>
#include <windows.h>

#include <cpuid.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const wchar_t kKey[] = L"SOFTWARE\\Quorvel";
const char kService[] = "VTdrvsys";
const DWORD kPlanted = 7;  // neither 0 nor 1: a rewrite is always visible

const char* const kIntelNames[] = {"CPU_VT", "BIOSLock", "VMInSMX", "VMOutSideSMX",
                                   "CR0_NE", "CR0_PE",   "CR0_PG",  "CR4_VMXE"};
const char* const kAmdNames[] = {"SVM", "SVM_NP", "VM_CR"};

struct Regs {
    unsigned eax, ebx, ecx, edx;
};

Regs cpuid(unsigned leaf) {
    Regs r{};
    __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}

std::string bytesUpToZero(const void* bytes, size_t count) {
    const char* p = static_cast<const char*>(bytes);
    return std::string(p, strnlen(p, count));
}

std::string cpuidVendor() {
    const Regs r = cpuid(0);
    const unsigned words[3] = {r.ebx, r.edx, r.ecx};
    return bytesUpToZero(words, sizeof words);
}

std::string cpuidBrand() {
    std::string brand;
    for (unsigned leaf = 0x80000002; leaf <= 0x80000004; ++leaf) {
        const Regs r = cpuid(leaf);
        brand += bytesUpToZero(&r, sizeof r);  // each chunk ends at its own first zero byte
    }
    return brand;
}

unsigned bit(unsigned value, unsigned index) { return (value >> index) & 1u; }

std::wstring widen(const char* text) {
    std::wstring wide;
    for (; *text != '\0'; ++text) {
        wide.push_back(static_cast<unsigned char>(*text));
    }
    return wide;
}

// The stored form of a text: the ANSI bytes converted to UTF-16, then one NUL unit.
std::vector<BYTE> storedText(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                          &wide[0], static_cast<int>(wide.size()));
    wide.resize(units + 1);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(wide.data());
    return std::vector<BYTE>(bytes, bytes + wide.size() * sizeof(wchar_t));
}

HKEY openKey(REGSAM access) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, access | KEY_WOW64_64KEY,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
}

struct Stored {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

Stored readValue(const char* name) {
    Stored value;
    HKEY key = openKey(KEY_QUERY_VALUE);
    DWORD size = 0;
    const std::wstring wideName = widen(name);
    if (RegQueryValueExW(key, wideName.c_str(), nullptr, &value.type, nullptr, &size) ==
        ERROR_SUCCESS) {
        value.present = true;
        value.data.resize(size);
        RegQueryValueExW(key, wideName.c_str(), nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    RegCloseKey(key);
    return value;
}

std::set<std::string> valueNames() {
    std::set<std::string> names;
    HKEY key = openKey(KEY_QUERY_VALUE);
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.insert(name);
    }
    RegCloseKey(key);
    return names;
}

void clearKey() {
    HKEY key = openKey(KEY_QUERY_VALUE | KEY_SET_VALUE);
    for (const std::string& name : valueNames()) {
        RegDeleteValueA(key, name.c_str());
    }
    RegCloseKey(key);
}

void plantText(const char* name, const char* text) {
    HKEY key = openKey(KEY_SET_VALUE);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(strlen(text) + 1));
    RegCloseKey(key);
}

void plantDword(const char* name, DWORD value) {
    HKEY key = openKey(KEY_SET_VALUE);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

void expectText(const char* name, const std::string& expected) {
    SCOPED_TRACE(name);
    const Stored value = readValue(name);
    ASSERT_TRUE(value.present);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.data.size(), 2 * (expected.size() + 1));  // characters and NUL, nothing more
    EXPECT_EQ(value.data, storedText(expected)) << "expected \"" << expected << "\"";
}

// The REG_DWORD value of that name, checked for its type and its four bytes.
void readDwordValue(const char* name, DWORD& data) {
    const Stored value = readValue(name);
    ASSERT_TRUE(value.present);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(value.data.size(), 4u);
    memcpy(&data, value.data.data(), sizeof data);
}

void expectDword(const char* name, DWORD expected) {
    SCOPED_TRACE(name);
    DWORD data = ~expected;
    readDwordValue(name, data);
    EXPECT_EQ(data, expected);
}

// Values that hang on registers Wine emulates (MSRs, control registers): written, 0 or 1.
void expectWrittenFlag(const char* name) {
    SCOPED_TRACE(name);
    DWORD data = 2;
    readDwordValue(name, data);
    EXPECT_TRUE(data == 0 || data == 1) << data;
}

enum class Vendor { Intel, Amd, Other };

Vendor vendorClass() {
    const std::string vendor = cpuidVendor();
    return vendor == "GenuineIntel"   ? Vendor::Intel
           : vendor == "AuthenticAMD" ? Vendor::Amd
                                      : Vendor::Other;
}

// Everything the driver writes on this processor, as far as CPUID decides it.
void expectProbeValuesOfThisProcessor() {
    expectText("CPU_Vendor", cpuidVendor());
    expectText("CPU_Name", cpuidBrand());
    switch (vendorClass()) {
        case Vendor::Intel: {
            const unsigned ecx = cpuid(1).ecx;
            expectDword("CPU_VT", bit(ecx, 5));
            for (const char* name : {"BIOSLock", "VMInSMX", "VMOutSideSMX"}) {
                if (bit(ecx, 5) || bit(ecx, 6)) {
                    expectWrittenFlag(name);
                } else {
                    expectDword(name, 0);  // IA32_FEATURE_CONTROL absent: never read
                }
            }
            for (const char* name : {"CR0_NE", "CR0_PE", "CR0_PG", "CR4_VMXE"}) {
                expectWrittenFlag(name);
            }
            break;
        }
        case Vendor::Amd: {
            const unsigned svm = bit(cpuid(0x80000001).ecx, 2);
            expectDword("SVM", svm);
            expectDword("SVM_NP", bit(cpuid(0x8000000A).edx, 0));
            if (svm) {
                expectWrittenFlag("VM_CR");
            } else {
                expectDword("VM_CR", 0);  // VM_CR absent: never read
            }
            break;
        }
        case Vendor::Other:
            break;
    }
}

std::set<std::string> namesOfThisClass() {
    std::set<std::string> names = {"CPU_Vendor", "CPU_Name"};
    if (vendorClass() == Vendor::Intel) {
        names.insert(std::begin(kIntelNames), std::end(kIntelNames));
    } else if (vendorClass() == Vendor::Amd) {
        names.insert(std::begin(kAmdNames), std::end(kAmdNames));
    }
    return names;
}

class DriverService : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Windows creates the key on the first write; Wine's RtlWriteRegistryValue only
        // opens it. Stand in for Windows with the empty key.
        RegCloseKey(openKey(KEY_READ));

        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        image_ = std::string(temp) + "VTdrvsys.sys";
        const std::string dist = std::string("Z:") + KORVANE_DIST_DIR + "/VTdrvsys.sys";
        copied_ = CopyFileA(dist.c_str(), image_.c_str(), FALSE) != 0;

        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        service_ = CreateServiceA(manager_, kService, kService, 0xF003F, SERVICE_FILE_SYSTEM_DRIVER,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, image_.c_str(),
                                  nullptr, nullptr, nullptr, nullptr, nullptr);
    }

    static void TearDownTestSuite() {
        stop();
        DeleteService(service_);
        CloseServiceHandle(service_);
        CloseServiceHandle(manager_);
        DeleteFileA(image_.c_str());
    }

    void SetUp() override {
        ASSERT_TRUE(copied_) << "no signed image in " << KORVANE_DIST_DIR
                             << ": build the driver tree first (cmake --preset driver)";
        ASSERT_NE(manager_, nullptr) << GetLastError();
        ASSERT_NE(service_, nullptr) << "CreateServiceA failed";
    }

    // The very first driver start in a fresh prefix can time out once (1053) while
    // Wine brings up its driver host; the entry routine may still have run.
    static DWORD start() {
        if (StartServiceA(service_, 0, nullptr)) {
            return ERROR_SUCCESS;
        }
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_REQUEST_TIMEOUT) {
            if (StartServiceA(service_, 0, nullptr)) {
                return ERROR_SUCCESS;
            }
            error = GetLastError();
        }
        return error;
    }

    static bool stopped() {
        SERVICE_STATUS status{};
        return QueryServiceStatus(service_, &status) && status.dwCurrentState == SERVICE_STOPPED;
    }

    static void stop() {
        SERVICE_STATUS status{};
        ControlService(service_, SERVICE_CONTROL_STOP, &status);
        for (int i = 0; i < 100 && !stopped(); ++i) {
            Sleep(100);
        }
    }

    void restart() {
        stop();
        ASSERT_TRUE(stopped());
        ASSERT_EQ(start(), static_cast<DWORD>(ERROR_SUCCESS));
    }

    static SC_HANDLE manager_;
    static SC_HANDLE service_;
    static std::string image_;
    static bool copied_;
};

SC_HANDLE DriverService::manager_ = nullptr;
SC_HANDLE DriverService::service_ = nullptr;
std::string DriverService::image_;
bool DriverService::copied_ = false;

TEST_F(DriverService, StartWritesExactlyThisProcessorsValues) {
    clearKey();
    ASSERT_TRUE(valueNames().empty());
    ASSERT_NO_FATAL_FAILURE(restart());
    expectProbeValuesOfThisProcessor();
    EXPECT_EQ(valueNames(), namesOfThisClass());
}

TEST_F(DriverService, StartingAgainRewritesEveryValueAndKeepsTheOtherClass) {
    for (const std::string& name : namesOfThisClass()) {
        plantDword(name.c_str(), kPlanted);
    }
    plantText("CPU_Vendor", "planted vendor");
    plantText("CPU_Name", "planted name, longer than any brand text of forty-eight characters");
    // Values an earlier run on other hardware left: this processor's class never touches them.
    const char* const otherClass = vendorClass() == Vendor::Intel ? "SVM" : "CPU_VT";
    const char* const otherClassToo = vendorClass() == Vendor::Other ? "VM_CR" : nullptr;
    plantDword(otherClass, kPlanted);
    if (otherClassToo != nullptr) {
        plantDword(otherClassToo, kPlanted);
    }

    ASSERT_NO_FATAL_FAILURE(restart());

    expectProbeValuesOfThisProcessor();
    expectDword(otherClass, kPlanted);
    if (otherClassToo != nullptr) {
        expectDword(otherClassToo, kPlanted);
    }
}

}  // namespace
