// The WinIo driver access against a small model of the system: a service manager that holds the WINIO
// service, a device that opens while the service runs, handles that must all be given back.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/winio_port_io.h"

namespace quarzo::platform {
namespace {

HANDLE const kDevice = reinterpret_cast<HANDLE>(0x100);
SC_HANDLE const kManager = reinterpret_cast<SC_HANDLE>(0x200);
SC_HANDLE const kService = reinterpret_cast<SC_HANDLE>(0x300);

class FakeSystem final : public WinIoSystem {
public:
    BOOL GetVersionExA(OSVERSIONINFOA* info) override {
        info->dwPlatformId = platform;
        return TRUE;
    }
    HANDLE CreateFileA(const char* name, DWORD, DWORD, DWORD, DWORD) override {
        bool present = platform == 2 ? std::strcmp(name, "\\\\.\\WINIO") == 0 && running
                                     : std::strcmp(name, "\\\\.\\WINIO.VXD") == 0;
        if (!present) return INVALID_HANDLE_VALUE;
        ++handles;
        return kDevice;
    }
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                         DWORD*) override {
        EXPECT_EQ(device, kDevice);
        if (code == WinIoPortIo::kGrantAccess) granted = true;
        if (code == WinIoPortIo::kWithdrawAccess) granted = false;
        records.emplace_back(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + inSize);
        if (out && outSize == 4) std::memcpy(out, &readValue, 4);
        return ioResult;
    }
    BOOL CloseHandle(HANDLE) override { return --handles, TRUE; }
    DWORD GetModuleFileNameA(char* path, DWORD) override { return Copy(path, "C:\\tools\\quarzo.exe"); }
    DWORD GetFileAttributesA(const char* path) override {
        return files.count(path) ? FILE_ATTRIBUTE_NORMAL : INVALID_FILE_ATTRIBUTES;
    }
    UINT GetSystemDirectoryA(char* path, UINT) override { return Copy(path, "C:\\windows\\system32"); }
    SC_HANDLE OpenSCManagerA(DWORD) override { return ++serviceHandles, kManager; }
    SC_HANDLE CreateServiceA(SC_HANDLE, const char* name, const char*, DWORD, DWORD, DWORD, DWORD,
                             const char* path) override {
        if (service || std::string(name) != "WINIO") return nullptr;
        service = true;
        servicePath = path;
        return ++serviceHandles, kService;
    }
    SC_HANDLE OpenServiceA(SC_HANDLE, const char* name, DWORD) override {
        return service && std::string(name) == "WINIO" ? (++serviceHandles, kService) : nullptr;
    }
    BOOL StartServiceA(SC_HANDLE) override {
        error = running                    ? WinIoPortIo::kServiceAlreadyRunning
                : files.count(servicePath) ? 0
                                           : ERROR_FILE_NOT_FOUND;
        running = running || error == 0;
        return error == 0;
    }
    BOOL ControlService(SC_HANDLE, DWORD control) override {
        if (control == SERVICE_CONTROL_STOP) running = false;
        return TRUE;
    }
    BOOL DeleteService(SC_HANDLE) override {
        service = running = false;
        return TRUE;
    }
    BOOL CloseServiceHandle(SC_HANDLE) override { return --serviceHandles, TRUE; }
    DWORD GetLastError() override { return error; }
    static DWORD Copy(char* to, const char* text) {
        return static_cast<DWORD>(std::strlen(std::strcpy(to, text)));
    }
    uint8_t InByte(uint16_t port) override { return ports[port]; }
    void OutByte(uint16_t port, uint8_t value) override { ports[port] = value; }

    DWORD platform = 2;
    bool service = false, running = false, granted = false;
    std::string servicePath;
    std::set<std::string> files{"C:\\tools\\winio.sys"};
    int handles = 0, serviceHandles = 0;
    DWORD error = 0;
    uint8_t ports[0x400] = {};
    uint32_t readValue = 0;
    BOOL ioResult = TRUE;
    std::vector<std::vector<uint8_t>> records;
};

// Whatever the service's state before, the port works and closing leaves no service and no handle.
TEST(WinIo, TheServiceIsRegisteredWhenNeededAndAlwaysRemovedAtClose) {
    for (bool installed : {true, false}) {
        SCOPED_TRACE(installed);
        FakeSystem system;
        system.service = system.running = installed;
        system.servicePath = "C:\\elsewhere\\winio.sys";
        WinIoPortIo io(system);
        EXPECT_EQ(io.ReadPort(0x379), 0xFFu);  // not ready: the port is not touched
        ASSERT_TRUE(io.OpenDriver());
        EXPECT_TRUE(system.granted);
        EXPECT_EQ(system.servicePath, installed ? "C:\\elsewhere\\winio.sys" : "C:\\tools\\winio.sys");
        EXPECT_TRUE(io.WritePort(0x378, 0xF1));
        EXPECT_EQ(system.ports[0x378], 0xF1);
        system.ports[0x379] = 0x5A;
        EXPECT_EQ(io.ReadPort(0x379), 0x5Au);
        io.CloseDriver();
        EXPECT_FALSE(system.granted);
        EXPECT_FALSE(system.service);
        EXPECT_EQ(system.handles, 0);
        EXPECT_EQ(system.serviceHandles, 0);
    }
}

TEST(WinIo, ADriverFileFoundNowhereLeavesThePortClosed) {
    FakeSystem system;
    system.files.clear();
    WinIoPortIo io(system);
    EXPECT_FALSE(io.OpenDriver());
    EXPECT_EQ(io.FailureReason(), "the WinIo driver could not be started");
    EXPECT_EQ(system.servicePath, "C:\\windows\\system32\\winio.sys");  // the last place looked
    EXPECT_FALSE(io.WritePort(0x378, 1));
    EXPECT_EQ(system.handles, 0);
    EXPECT_EQ(system.serviceHandles, 0);
}

// Windows 9x: every access is a call to the virtual driver with the port, the value and the size.
TEST(WinIo, Windows9xCallsTheVirtualDriverForEveryAccess) {
    FakeSystem system;
    system.platform = 1;
    system.readValue = 0x77;
    WinIoPortIo io(system);
    EXPECT_TRUE(io.OpenDriver());
    EXPECT_EQ(io.ReadPort(0x379), 0x77u);
    EXPECT_TRUE(io.WritePort(0x37A, 0x0C));
    system.ioResult = FALSE;
    EXPECT_FALSE(io.WritePort(0x37A, 0x0C));
    io.CloseDriver();
    EXPECT_EQ(system.handles, 0);
    using Bytes = std::vector<uint8_t>;
    EXPECT_EQ(system.records, (std::vector<Bytes>{{0x79, 0x03, 0, 0, 0, 0, 1},
                                                  {0x7A, 0x03, 0x0C, 0, 0, 0, 1},
                                                  {0x7A, 0x03, 0x0C, 0, 0, 0, 1}}));
}

}  // namespace
}  // namespace quarzo::platform
