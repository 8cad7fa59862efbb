// installAndStartService and stopService against Wine's real service manager,
// with the real signed image. The cases run in order on one prefix.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "driver_deployment.h"
#include "host_process.h"

namespace {

const char kService[] = "VTdrvsys";

std::string imageCopy(const char* name) {
    std::string path = std::string("C:\\") + name + ".sys";
    CopyFileW(distPath(L"VTdrvsys.sys").c_str(), std::wstring(path.begin(), path.end()).c_str(), FALSE);
    return path;
}

struct Service {
    DWORD state = 0;
    std::string path;
};

Service query() {
    Service s;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, kService, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        union {
            QUERY_SERVICE_CONFIGA config;
            BYTE bytes[8192];
        } buffer;
        DWORD needed = 0;
        if (QueryServiceConfigA(service, &buffer.config, sizeof buffer, &needed)) {
            s.path = buffer.config.lpBinaryPathName;
        }
        SERVICE_STATUS status{};
        QueryServiceStatus(service, &status);
        s.state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return s;
}

class ServiceInstall : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Wine's kernel does not create the probe key on the driver's first write.
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvel", 0, nullptr, 0,
                        KEY_READ | KEY_WOW64_64KEY, nullptr, &key, nullptr);
        RegCloseKey(key);
    }
};

TEST_F(ServiceInstall, FirstCallCreatesAndStartsTheService) {
    ASSERT_EQ(query().state, 0u) << "the prefix must not know the service yet";
    std::string image = imageCopy("first");
    EXPECT_EQ(installAndStartService(kService, image), 0);
    Service s = query();
    EXPECT_EQ(s.state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(s.path, image);
}

TEST_F(ServiceInstall, StartOfARunningDriverReportsAlreadyRunning) {
    ASSERT_EQ(query().state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(installAndStartService(kService, imageCopy("running")),
              static_cast<int>(ERROR_SERVICE_ALREADY_RUNNING));
}

TEST_F(ServiceInstall, StopUnloadsTheDriverAndWaitsForIt) {
    stopService(kService);
    EXPECT_EQ(query().state, static_cast<DWORD>(SERVICE_STOPPED));
    // Stopping a stopped or unknown service is harmless.
    stopService(kService);
    stopService("NoSuchService");
    EXPECT_EQ(query().state, static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceInstall, ExistingServiceIsPointedAtThisRunsImageAndStarted) {
    std::string image = imageCopy("later");
    EXPECT_EQ(installAndStartService(kService, image), 0);
    Service s = query();
    EXPECT_EQ(s.state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(s.path, image);
}

TEST_F(ServiceInstall, MissingImageGivesTheStartsErrorCode) {
    stopService(kService);
    int status = installAndStartService(kService, "C:\\nowhere\\VTdrvsys.sys");
    EXPECT_NE(status, 0);
    EXPECT_EQ(query().path, "C:\\nowhere\\VTdrvsys.sys");
    EXPECT_NE(query().state, static_cast<DWORD>(SERVICE_RUNNING));
}

}  // namespace
