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

class ServiceInstall : public ::testing::Test {
protected:
    static void SetUpTestSuite() { createProbeKey(); }
};

TEST_F(ServiceInstall, FirstCallCreatesAndStartsTheService) {
    ASSERT_FALSE(queryService().exists) << "the prefix must not know the service yet";
    std::string image = imageCopy("first");
    EXPECT_EQ(installAndStartService(kService, image), 0);
    ServiceState s = queryService();
    EXPECT_EQ(s.state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(s.path, image);
}

TEST_F(ServiceInstall, StartOfARunningDriverReportsAlreadyRunning) {
    ASSERT_EQ(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(installAndStartService(kService, imageCopy("running")),
              static_cast<int>(ERROR_SERVICE_ALREADY_RUNNING));
}

TEST_F(ServiceInstall, StopUnloadsTheDriverAndWaitsForIt) {
    stopService(kService);
    EXPECT_EQ(queryService().state, static_cast<DWORD>(SERVICE_STOPPED));
    // Stopping a stopped or unknown service is harmless.
    stopService(kService);
    stopService("NoSuchService");
    EXPECT_EQ(queryService().state, static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceInstall, ExistingServiceIsPointedAtThisRunsImageAndStarted) {
    std::string image = imageCopy("later");
    EXPECT_EQ(installAndStartService(kService, image), 0);
    ServiceState s = queryService();
    EXPECT_EQ(s.state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(s.path, image);
}

TEST_F(ServiceInstall, MissingImageGivesTheStartsErrorCode) {
    stopService(kService);
    int status = installAndStartService(kService, "C:\\nowhere\\VTdrvsys.sys");
    EXPECT_NE(status, 0);
    EXPECT_EQ(queryService().path, "C:\\nowhere\\VTdrvsys.sys");
    EXPECT_NE(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
}

}  // namespace
