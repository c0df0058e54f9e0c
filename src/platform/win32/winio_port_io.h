#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/port_io.h"

namespace quarzo::platform {

// The system calls the WinIo driver access makes, behind one seam so that tests can check each call
// and its arguments. The real one forwards to the system; port instructions are the processor's.
class WinIoSystem {
public:
    virtual ~WinIoSystem() = default;
    virtual BOOL GetVersionExA(OSVERSIONINFOA* info) { return ::GetVersionExA(info); }
    virtual HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
        return ::CreateFileA(name, access, share, nullptr, disposition, flags, nullptr);
    }
    virtual BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                                 DWORD* returned) {
        return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, nullptr);
    }
    virtual BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }
    virtual DWORD GetModuleFileNameA(char* path, DWORD size) { return ::GetModuleFileNameA(nullptr, path, size); }
    virtual DWORD GetFileAttributesA(const char* path) { return ::GetFileAttributesA(path); }
    virtual UINT GetSystemDirectoryA(char* path, UINT size) { return ::GetSystemDirectoryA(path, size); }
    virtual SC_HANDLE OpenSCManagerA(DWORD access) { return ::OpenSCManagerA(nullptr, nullptr, access); }
    virtual SC_HANDLE CreateServiceA(SC_HANDLE manager, const char* name, const char* display, DWORD access,
                                     DWORD type, DWORD start, DWORD errorControl, const char* path) {
        return ::CreateServiceA(manager, name, display, access, type, start, errorControl, path, nullptr,
                                nullptr, nullptr, nullptr, nullptr);
    }
    virtual SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) {
        return ::OpenServiceA(manager, name, access);
    }
    virtual BOOL StartServiceA(SC_HANDLE service) { return ::StartServiceA(service, 0, nullptr); }
    virtual BOOL ControlService(SC_HANDLE service, DWORD control) {
        SERVICE_STATUS status{};
        return ::ControlService(service, control, &status);
    }
    virtual BOOL DeleteService(SC_HANDLE service) { return ::DeleteService(service); }
    virtual BOOL CloseServiceHandle(SC_HANDLE handle) { return ::CloseServiceHandle(handle); }
    virtual DWORD GetLastError() { return ::GetLastError(); }
    virtual uint8_t InByte(uint16_t port) {
        uint8_t value;
        __asm__ volatile("inb %1, %0" : "=a"(value) : "Nd"(port));
        return value;
    }
    virtual void OutByte(uint16_t port, uint8_t value) { __asm__ volatile("outb %0, %1" : : "a"(value), "Nd"(port)); }
};

// Port access through the WinIo kernel driver: on NT-family systems the driver grants the process the
// port instructions (registering the WINIO service when its device cannot be opened); on 9x systems
// every access is a call to its virtual device driver.
class WinIoPortIo final : public PortIo {
public:
    static constexpr DWORD kGrantAccess = 0x80102048;
    static constexpr DWORD kWithdrawAccess = 0x8010204C;
    static constexpr DWORD kWritePort9x = 0x00220007;
    static constexpr DWORD kReadPort9x = 0x0022000B;
    static constexpr DWORD kServiceAlreadyRunning = 1056;

    explicit WinIoPortIo(WinIoSystem& system) : system_(system) {}

    bool OpenDriver() override;
    void CloseDriver() override;
    uint32_t ReadPort(uint16_t port) override;
    bool WritePort(uint16_t port, uint8_t value) override;

    bool LocateDriverFile();
    bool InstallDriver(const char* path, bool demandStart);
    bool StopDriver();
    bool RemoveDriver();

    bool isNt = false;
    HANDLE handle = INVALID_HANDLE_VALUE;
    char driverPath[MAX_PATH] = {};

private:
    WinIoSystem& system_;
};

}  // namespace quarzo::platform
