#include <cstring>

#include "platform/win32/winio_port_io.h"

namespace quarzo::platform {
namespace {

constexpr const char* kServiceName = "WINIO";

#pragma pack(push, 1)
struct PortRecord {
    uint16_t port;
    uint32_t value;
    uint8_t size;
};
#pragma pack(pop)
static_assert(sizeof(PortRecord) == 7);

// Owns the real system seam for the port it serves.
class SystemWinIoPortIo final : public PortIo {
public:
    SystemWinIoPortIo() : io_(system_) {}
    void Select(uint16_t base, const std::string& path) override {
        PortIo::Select(base, path);
        io_.Select(base, path);
    }
    bool OpenDriver() override {
        ready_ = io_.OpenDriver();
        failure_ = io_.FailureReason();
        return ready_;
    }
    void CloseDriver() override { io_.CloseDriver(); }
    uint32_t ReadPort(uint16_t port) override { return io_.ReadPort(port); }
    bool WritePort(uint16_t port, uint8_t value) override { return io_.WritePort(port, value); }

private:
    WinIoSystem system_;
    WinIoPortIo io_;
};

}  // namespace

bool WinIoPortIo::OpenDriver() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = 148;
    system_.GetVersionExA(&version);
    isNt = version.dwPlatformId == 2;
    if (isNt) {
        handle = system_.CreateFileA("\\\\.\\WINIO", 0xC0000000, 3, 3, 0x80);
        if (handle == INVALID_HANDLE_VALUE) {
            LocateDriverFile();
            if (InstallDriver(driverPath, false)) handle = system_.CreateFileA("\\\\.\\WINIO", 0xC0000000, 3, 3, 0x80);
        }
        ready_ = false;
        if (handle != INVALID_HANDLE_VALUE) {
            DWORD returned = 0;
            ready_ = system_.DeviceIoControl(handle, kGrantAccess, nullptr, 0, nullptr, 0, &returned) == 1;
        }
    } else {
        handle = system_.CreateFileA("\\\\.\\WINIO.VXD", 0, 0, 1, 0x04000000);
        ready_ = handle != INVALID_HANDLE_VALUE;
    }
    failure_ = ready_ ? "" : "the WinIo driver could not be started";
    return ready_;
}

void WinIoPortIo::CloseDriver() {
    if (isNt) {
        if (handle != INVALID_HANDLE_VALUE) {
            DWORD returned = 0;
            system_.DeviceIoControl(handle, kWithdrawAccess, nullptr, 0, nullptr, 0, &returned);
            system_.CloseHandle(handle);
        }
        RemoveDriver();  // also when the service was there before we started
    } else {
        system_.CloseHandle(handle);
    }
}

bool WinIoPortIo::LocateDriverFile() {
    DWORD n = system_.GetModuleFileNameA(driverPath, MAX_PATH);
    if (n == 0) return false;
    driverPath[MAX_PATH - 1] = '\0';
    char* slash = std::strrchr(driverPath, '\\');
    if (slash == nullptr) return false;
    size_t room = static_cast<size_t>(driverPath + MAX_PATH - (slash + 1));
    if (room <= std::strlen("winio.sys")) return false;
    std::strcpy(slash + 1, "winio.sys");
    if (system_.GetFileAttributesA(driverPath) != INVALID_FILE_ATTRIBUTES) return true;
    UINT length = system_.GetSystemDirectoryA(driverPath, MAX_PATH);
    if (length == 0 || length + std::strlen("\\winio.sys") >= MAX_PATH) length = 0;
    driverPath[length] = '\0';
    std::strcat(driverPath, "\\winio.sys");
    return true;
}

bool WinIoPortIo::InstallDriver(const char* path, bool demandStart) {
    RemoveDriver();
    SC_HANDLE manager = system_.OpenSCManagerA(SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) return false;
    SC_HANDLE service = system_.CreateServiceA(manager, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                               SERVICE_KERNEL_DRIVER,
                                               demandStart ? SERVICE_DEMAND_START : SERVICE_SYSTEM_START,
                                               SERVICE_ERROR_NORMAL, path);
    bool ok = false;
    if (service != nullptr) {
        ok = system_.StartServiceA(service) || system_.GetLastError() == kServiceAlreadyRunning;
        system_.CloseServiceHandle(service);
    }
    system_.CloseServiceHandle(manager);
    return ok;
}

bool WinIoPortIo::StopDriver() {
    SC_HANDLE manager = system_.OpenSCManagerA(SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) return false;
    SC_HANDLE service = system_.OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    system_.CloseServiceHandle(manager);
    if (service == nullptr) return false;
    bool ok = system_.ControlService(service, SERVICE_CONTROL_STOP) != 0;
    system_.CloseServiceHandle(service);
    return ok;
}

bool WinIoPortIo::RemoveDriver() {
    StopDriver();
    SC_HANDLE manager = system_.OpenSCManagerA(SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) return false;
    SC_HANDLE service = system_.OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    bool ok = false;
    if (service != nullptr) {
        ok = system_.DeleteService(service) != 0;
        system_.CloseServiceHandle(service);
    }
    system_.CloseServiceHandle(manager);
    return ok;
}

uint32_t WinIoPortIo::ReadPort(uint16_t port) {
    if (!ready_) return 0xFF;
    if (isNt) return system_.InByte(port);
    PortRecord record{port, 0, 1};
    uint32_t value = 0;
    DWORD returned = 0;
    system_.DeviceIoControl(handle, kReadPort9x, &record, sizeof(record), &value, sizeof(value), &returned);
    return value;
}

bool WinIoPortIo::WritePort(uint16_t port, uint8_t value) {
    if (!ready_) return false;
    if (isNt) {
        system_.OutByte(port, value);
        return true;
    }
    PortRecord record{port, value, 1};
    DWORD returned = 0;
    return system_.DeviceIoControl(handle, kWritePort9x, &record, sizeof(record), nullptr, 0, &returned) != 0;
}

std::unique_ptr<PortIo> MakeParallelPortIo() {
    return std::make_unique<SystemWinIoPortIo>();
}

}  // namespace quarzo::platform
