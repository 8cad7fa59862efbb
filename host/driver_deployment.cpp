#include "driver_deployment.h"

#include <windows.h>

#include "registry/registry_access.h"
#include "run_directory.h"

namespace {

const char kServiceName[] = "VTdrvsys";

// Standard rights plus query and change configuration, query status,
// enumerate dependents, start and stop: the service manager's full-access
// number, deliberately not SERVICE_ALL_ACCESS.
const DWORD kServiceAccess = 0xF003F;

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_ != nullptr) CloseServiceHandle(handle_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return handle_; }
    void reset(SC_HANDLE handle) {
        if (handle_ != nullptr) CloseServiceHandle(handle_);
        handle_ = handle;
    }

private:
    SC_HANDLE handle_;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    void close() {
        if (valid()) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }

private:
    HANDLE handle_;
};

bool isReparsePoint(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    return !GetFileInformationByHandle(handle, &info) ||
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Opens inc for the whole deployment, refusing a junction or symbolic link
// and anything that is not a directory. The handle does not share deletion,
// so inc cannot be renamed away and replaced while the image is in it.
HANDLE holdDirectory(const std::string& path) {
    CreateDirectoryA(path.c_str(), nullptr);
    HANDLE dir = CreateFileA(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (dir == INVALID_HANDLE_VALUE) return dir;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(dir, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(dir);
        return INVALID_HANDLE_VALUE;
    }
    return dir;
}

bool sameBytes(HANDLE file, const DriverImage& image) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || static_cast<ULONGLONG>(size.QuadPart) != image.size) {
        return false;
    }
    const unsigned char* expected = static_cast<const unsigned char*>(image.data);
    unsigned char chunk[4096];
    std::size_t offset = 0;
    while (offset < image.size) {
        DWORD got = 0;
        if (!ReadFile(file, chunk, sizeof(chunk), &got, nullptr) || got == 0) return false;
        for (DWORD i = 0; i < got; ++i) {
            if (offset + i >= image.size || chunk[i] != expected[offset + i]) return false;
        }
        offset += got;
    }
    return true;
}

// Opens the file at path for the loader only: readable, neither writable nor
// deletable by anyone else while the handle is open; refuses a link.
HANDLE holdFile(const std::string& path) {
    FileHandle held(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!held.valid() || isReparsePoint(held.get())) return INVALID_HANDLE_VALUE;
    return held.release();
}

// Writes the image to path, replacing whatever file or link stands there,
// and returns a handle that holds it (holdFile). The bytes are read back
// through that handle, so what the loader gets is what we wrote. A file that
// cannot be replaced but already is the image, byte for byte, is held as it
// is: Wine keeps a loaded driver's file mapped and refuses to delete it. When
// anything fails, a file that this call created is deleted again.
HANDLE writeAndHoldImage(const std::string& path, const DriverImage& image) {
    if (image.size == 0) return INVALID_HANDLE_VALUE;
    // Removes a link itself, never its target; CREATE_NEW then refuses
    // anything that appears in between.
    DeleteFileA(path.c_str());
    FileHandle out(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!out.valid()) {
        FileHandle existing(holdFile(path));
        if (existing.valid() && sameBytes(existing.get(), image)) return existing.release();
        return INVALID_HANDLE_VALUE;
    }
    DWORD written = 0;
    bool complete = !isReparsePoint(out.get()) &&
                    WriteFile(out.get(), image.data, static_cast<DWORD>(image.size), &written,
                              nullptr) &&
                    written == image.size;
    out.close();
    FileHandle held(complete ? holdFile(path) : INVALID_HANDLE_VALUE);
    if (held.valid() && sameBytes(held.get(), image)) return held.release();
    held.close();
    DeleteFileA(path.c_str());
    return INVALID_HANDLE_VALUE;
}

void waitUntilStopped(SC_HANDLE service) {
    for (int i = 0; i < 100; ++i) {
        SERVICE_STATUS status;
        if (!QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED) return;
        Sleep(50);
    }
}

}  // namespace

void stopService(const std::string& serviceName) {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager.get() == nullptr) return;
    ServiceHandle service(
        OpenServiceA(manager.get(), serviceName.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (service.get() == nullptr) return;
    SERVICE_STATUS status;
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) waitUntilStopped(service.get());
}

std::int32_t installAndStartService(const std::string& serviceName, const std::string& imagePath) {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (manager.get() == nullptr) return static_cast<std::int32_t>(GetLastError());

    ServiceHandle service(CreateServiceA(manager.get(), serviceName.c_str(), serviceName.c_str(),
                                         kServiceAccess, SERVICE_FILE_SYSTEM_DRIVER,
                                         SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                         imagePath.c_str(), nullptr, nullptr, nullptr, nullptr,
                                         nullptr));
    if (service.get() == nullptr && GetLastError() == ERROR_SERVICE_EXISTS) {
        // An earlier run registered it with the path of its own, long deleted,
        // file: point it at this run's image so that this run probes afresh.
        service.reset(OpenServiceA(manager.get(), serviceName.c_str(), kServiceAccess));
        if (service.get() != nullptr) {
            ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                 SERVICE_NO_CHANGE, imagePath.c_str(), nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr);
        }
    }
    if (!StartServiceA(service.get(), 0, nullptr)) return static_cast<std::int32_t>(GetLastError());
    return 0;
}

ProbeOutcome deployImage(const std::string& runDirectory, const DriverImage& image) {
    const std::string directoryPath = runDirectory + "\\inc";
    const std::string imagePath = directoryPath + "\\VTdrvsys.sys";
    const bool windows32Bit = detect64BitSystem() == 0;
    auto notRun = [windows32Bit](ProbeOutcome outcome) {
        return windows32Bit ? ProbeOutcome{ProbeOutcomeKind::Windows32Bit, 0} : outcome;
    };

    FileHandle directory(holdDirectory(directoryPath));
    if (!directory.valid()) return notRun({ProbeOutcomeKind::ImageNotHeld, 0});
    FileHandle held(writeAndHoldImage(imagePath, image));
    // Only an image that this run wrote and holds is ever loaded; without one
    // a driver still loaded from an earlier run stays as it is.
    if (!held.valid()) return notRun({ProbeOutcomeKind::ImageNotHeld, 0});
    // The earlier driver is unloaded so that this run probes afresh.
    stopService(kServiceName);
    std::int32_t status = installAndStartService(kServiceName, imagePath);
    held.close();
    DeleteFileA(imagePath.c_str());
    if (status != 0) return notRun({ProbeOutcomeKind::StartFailed, status});
    return {ProbeOutcomeKind::Ran, 0};
}

ProbeOutcome deployDriver() { return deployImage(runDirectory(), embeddedDriverImage()); }
