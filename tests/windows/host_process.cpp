#include "host_process.h"

#include <intrin.h>

#include <cstring>
#include <fstream>
#include <iterator>

const wchar_t kMainWindowTitle[] = L"KorvaneVT/虚拟化检测 -  单机详细版 V1.0";

namespace {

std::wstring toWide(const std::string& text) {
    std::wstring wide;
    for (char c : text) wide += (c == '/') ? L'\\' : static_cast<wchar_t>(c);
    return wide;
}

struct WindowSearch {
    DWORD processId;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t title[128] = {};
    GetWindowTextW(window, title, 128);
    if (owner == search->processId && std::wstring(title) == kMainWindowTitle &&
        (!search->visibleOnly || IsWindowVisible(window))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::wstring distPath(const std::wstring& file) {
    return L"Z:" + toWide(KORVANE_DIST_DIR) + L"\\" + file;
}

std::vector<unsigned char> readFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    std::vector<unsigned char> bytes;
    if (file == INVALID_HANDLE_VALUE) return bytes;
    unsigned char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    CloseHandle(file);
    return bytes;
}

HostDirectory::HostDirectory(const std::wstring& name) : path_(L"C:\\korvane-" + name) {
    CreateDirectoryW(path_.c_str(), nullptr);
    CopyFileW(distPath(L"KorvaneVT.exe").c_str(), file(L"KorvaneVT.exe").c_str(), FALSE);
}

HostDirectory::~HostDirectory() = default;

void HostDirectory::writeFile(const std::wstring& relative, const std::string& bytes) const {
    HANDLE out = CreateFileW(file(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(out);
}

HostProcess::HostProcess(const HostDirectory& directory, const std::wstring& arguments) {
    std::wstring exe = directory.file(L"KorvaneVT.exe");
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.path().c_str(), &startup, &process_)) {
        process_ = {};
    }
}

HostProcess::~HostProcess() {
    terminate();
    if (process_.hProcess != nullptr) {
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
}

bool HostProcess::running() const {
    return started() && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND HostProcess::findWindow(bool visibleOnly) const {
    WindowSearch search{process_.dwProcessId, visibleOnly, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND HostProcess::waitForWindow(DWORD timeoutMs) const {
    for (DWORD waited = 0; waited < timeoutMs && running(); waited += 50) {
        if (HWND window = findWindow(false)) return window;
        Sleep(50);
    }
    return nullptr;
}

HWND HostProcess::waitForVisibleWindow(DWORD timeoutMs) const {
    for (DWORD waited = 0; waited < timeoutMs && running(); waited += 50) {
        if (HWND window = findWindow(true)) return window;
        Sleep(50);
    }
    return nullptr;
}

DWORD HostProcess::closeAndWait() {
    if (HWND window = findWindow(false)) PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 15000) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

void HostProcess::terminate() {
    if (running()) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
}

void createProbeKey() {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvel", 0, nullptr, 0, KEY_READ | KEY_WOW64_64KEY,
                    nullptr, &key, nullptr);
    RegCloseKey(key);
}

std::string cpuidVendor() {
    int r[4];
    __cpuid(r, 0);
    char text[13] = {};
    memcpy(text, &r[1], 4);
    memcpy(text + 4, &r[3], 4);
    memcpy(text + 8, &r[2], 4);
    return text;
}

ServiceState queryService() {
    ServiceState s;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, "VTdrvsys", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        s.exists = true;
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        if (QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                static_cast<DWORD>(buffer.size()), &needed)) {
            auto* c = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
            s.type = c->dwServiceType;
            s.start = c->dwStartType;
            s.errorControl = c->dwErrorControl;
            s.path = c->lpBinaryPathName ? c->lpBinaryPathName : "";
            s.group = c->lpLoadOrderGroup ? c->lpLoadOrderGroup : "";
            s.dependencies = c->lpDependencies ? c->lpDependencies : "";
            s.tag = c->dwTagId;
        }
        SERVICE_STATUS status{};
        QueryServiceStatus(service, &status);
        s.state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return s;
}

void setServiceStartType(DWORD startType) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, "VTdrvsys", SERVICE_CHANGE_CONFIG);
    ChangeServiceConfigA(service, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}
