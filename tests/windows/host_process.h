#pragma once
// Runs the shipped i686 host in a directory of its own inside the test prefix
// and watches it from outside: its main window, its process, its files, and
// the driver service it leaves.

#include <windows.h>

#include <string>
#include <vector>

// The build's output folder as Wine sees it (Z: is the Unix root).
std::wstring distPath(const std::wstring& file);

std::vector<unsigned char> readFileBytes(const std::wstring& path);

// A scratch directory holding a copy of KorvaneVT.exe.
class HostDirectory {
public:
    explicit HostDirectory(const std::wstring& name);
    ~HostDirectory();
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& relative) const { return path_ + L"\\" + relative; }
    void writeFile(const std::wstring& relative, const std::string& bytes) const;

private:
    std::wstring path_;
};

class HostProcess {
public:
    HostProcess(const HostDirectory& directory, const std::wstring& arguments = L"");
    ~HostProcess();
    bool started() const { return process_.hProcess != nullptr; }
    bool running() const;
    // The process's main window once it exists, or null after the timeout.
    HWND waitForWindow(DWORD timeoutMs) const;
    HWND waitForVisibleWindow(DWORD timeoutMs) const;
    // Closes the main window and waits for the process to end; its exit code.
    DWORD closeAndWait();
    void terminate();

private:
    HWND findWindow(bool visibleOnly) const;
    PROCESS_INFORMATION process_{};
};

extern const wchar_t kMainWindowTitle[];

// Windows creates HKLM\SOFTWARE\Quorvel on the driver's first write; Wine's
// kernel does not, so tests that load the driver stand in for Windows here.
void createProbeKey();

// The vendor text of CPUID leaf 0 (EBX, EDX, ECX): what the driver writes as CPU_Vendor.
std::string cpuidVendor();

// The VTdrvsys service as the service manager reports it.
struct ServiceState {
    bool exists = false;
    DWORD type = 0, start = 0, errorControl = 0, state = 0, tag = 0;
    std::string path, group, dependencies;
};
ServiceState queryService();

// Sets the start type of the VTdrvsys service: SERVICE_DISABLED makes every
// start fail with ERROR_SERVICE_DISABLED, SERVICE_DEMAND_START undoes it.
void setServiceStartType(DWORD startType);
