// installAndStartService and stopService against Wine's real service manager,
// with the real signed image. The cases run in order on one prefix.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver_deployment.h"
#include "host_process.h"
#include "registry/registry_access.h"

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

// --- deployImage: the whole deployment in this process -----------------------

std::vector<unsigned char> signedImage() { return readFileBytes(distPath(L"VTdrvsys.sys")); }

std::string runDirectory(const char* name) {
    std::string path = std::string("C:\\korvane-deploy-") + name;
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void setStartType(DWORD startType) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, kService, SERVICE_CHANGE_CONFIG);
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(ChangeServiceConfigA(service, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

void expectOutcome(const ProbeOutcome& outcome, ProbeOutcomeKind kind, std::int32_t status) {
    EXPECT_EQ(static_cast<int>(outcome.kind), static_cast<int>(kind));
    EXPECT_EQ(outcome.status, status);
}

TEST_F(ServiceInstall, DeployImageStartsTheDriverAndSaysItRan) {
    ASSERT_EQ(detect64BitSystem(), 1);
    std::vector<unsigned char> image = signedImage();
    std::string dir = runDirectory("ran");
    expectOutcome(deployImage(dir, {image.data(), image.size()}), ProbeOutcomeKind::Ran, 0);
    EXPECT_EQ(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(queryService().path, dir + "\\inc\\VTdrvsys.sys");
}

// An image whose bytes end in an unreadable page: the file is created, the
// write fails part way. Nothing of it may stay behind, and the driver that is
// loaded stays loaded: this run has nothing better to offer.
TEST_F(ServiceInstall, HalfWrittenImageIsDeletedAndTheLoadedDriverStays) {
    ASSERT_EQ(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
    const DWORD page = 4096;
    auto* bytes = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(bytes, nullptr);
    std::vector<unsigned char> image = signedImage();
    std::copy(image.begin(), image.begin() + page, bytes);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(bytes + page, page, PAGE_NOACCESS, &old));

    std::string dir = runDirectory("short");
    expectOutcome(deployImage(dir, {bytes, 2 * page}), ProbeOutcomeKind::ImageNotHeld, 0);
    EXPECT_FALSE(fileExists(dir + "\\inc\\VTdrvsys.sys"));
    EXPECT_EQ(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
    VirtualFree(bytes, 0, MEM_RELEASE);
}

// A start that fails maps nothing: the file must be gone afterwards.
TEST_F(ServiceInstall, DisabledServiceGivesItsStatusAndLeavesNoImage) {
    stopService(kService);
    setStartType(SERVICE_DISABLED);
    std::vector<unsigned char> image = signedImage();
    std::string dir = runDirectory("disabled");
    expectOutcome(deployImage(dir, {image.data(), image.size()}), ProbeOutcomeKind::StartFailed,
                  ERROR_SERVICE_DISABLED);
    EXPECT_FALSE(fileExists(dir + "\\inc\\VTdrvsys.sys"));
    EXPECT_TRUE(fileExists(dir + "\\inc"));
    EXPECT_NE(queryService().state, static_cast<DWORD>(SERVICE_RUNNING));
    setStartType(SERVICE_DEMAND_START);
}

TEST_F(ServiceInstall, IncThatIsAFileGivesImageNotHeld) {
    std::string dir = runDirectory("incfile");
    HANDLE file = CreateFileA((dir + "\\inc").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                              nullptr);
    CloseHandle(file);
    std::vector<unsigned char> image = signedImage();
    expectOutcome(deployImage(dir, {image.data(), image.size()}), ProbeOutcomeKind::ImageNotHeld, 0);
}

}  // namespace
