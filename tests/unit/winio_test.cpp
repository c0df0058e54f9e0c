// The WinIo driver access: every system call and its arguments, in order, against a recording seam.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
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
        Log("GetVersionExA %lu", info->dwOSVersionInfoSize);
        info->dwPlatformId = platform;
        return TRUE;
    }
    HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
        Log("CreateFileA %s %lX %lu %lu %lX", name, access, share, disposition, flags);
        if (deviceOpens == 0) return INVALID_HANDLE_VALUE;
        --deviceOpens;
        return kDevice;
    }
    BOOL DeviceIoControl(HANDLE, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD*) override {
        std::string bytes;
        for (DWORD i = 0; i < inSize; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", static_cast<const uint8_t*>(in)[i]);
            bytes += hex;
        }
        Log("DeviceIoControl %08lX in%s out %lu", code, bytes.c_str(), outSize);
        if (out && outSize == 4) std::memcpy(out, &readValue, 4);
        return ioResult;
    }
    BOOL CloseHandle(HANDLE) override {
        Log("CloseHandle");
        return TRUE;
    }
    DWORD GetModuleFileNameA(char* path, DWORD size) override {
        Log("GetModuleFileNameA %lu", size);
        std::strcpy(path, "C:\\tools\\quarzo.exe");
        return static_cast<DWORD>(std::strlen(path));
    }
    DWORD GetFileAttributesA(const char* path) override {
        Log("GetFileAttributesA %s", path);
        return driverBesideProgram ? FILE_ATTRIBUTE_NORMAL : INVALID_FILE_ATTRIBUTES;
    }
    UINT GetSystemDirectoryA(char* path, UINT size) override {
        Log("GetSystemDirectoryA %u", size);
        std::strcpy(path, "C:\\windows\\system32");
        return static_cast<UINT>(std::strlen(path));
    }
    SC_HANDLE OpenSCManagerA(DWORD access) override {
        Log("OpenSCManagerA %lX", access);
        return kManager;
    }
    SC_HANDLE CreateServiceA(SC_HANDLE, const char* name, const char* display, DWORD access, DWORD type,
                             DWORD start, DWORD errorControl, const char* path) override {
        Log("CreateServiceA %s %s %lX %lu %lu %lu %s", name, display, access, type, start, errorControl, path);
        return kService;
    }
    SC_HANDLE OpenServiceA(SC_HANDLE, const char* name, DWORD access) override {
        Log("OpenServiceA %s %lX", name, access);
        return serviceExists ? kService : nullptr;
    }
    BOOL StartServiceA(SC_HANDLE) override {
        Log("StartServiceA");
        return startError == 0;
    }
    BOOL ControlService(SC_HANDLE, DWORD control) override {
        Log("ControlService %lu", control);
        return TRUE;
    }
    BOOL DeleteService(SC_HANDLE) override {
        Log("DeleteService");
        return TRUE;
    }
    BOOL CloseServiceHandle(SC_HANDLE handle) override {
        Log(handle == kManager ? "CloseServiceHandle manager" : "CloseServiceHandle service");
        return TRUE;
    }
    DWORD GetLastError() override {
        Log("GetLastError");
        return startError;
    }
    uint8_t InByte(uint16_t port) override {
        Log("in %X", port);
        return 0x5A;
    }
    void OutByte(uint16_t port, uint8_t value) override { Log("out %X %02X", port, value); }

    template <typename... Args>
    void Log(const char* format, Args... args) {
        char line[256];
        std::snprintf(line, sizeof line, format, args...);
        calls.push_back(line);
    }

    DWORD platform = 2;
    int deviceOpens = 1;
    bool driverBesideProgram = true;
    bool serviceExists = true;
    DWORD startError = 0;
    uint32_t readValue = 0;
    BOOL ioResult = 1;
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

const Calls kRemove = {
    "OpenSCManagerA F003F", "OpenServiceA WINIO F01FF", "CloseServiceHandle manager", "ControlService 1",
    "CloseServiceHandle service", "OpenSCManagerA F003F", "OpenServiceA WINIO F01FF", "DeleteService",
    "CloseServiceHandle service", "CloseServiceHandle manager",
};

Calls Join(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(WinIo, DeviceAlreadyThereIsUsedAndTheServiceStillRemovedAtClose) {
    FakeSystem system;
    WinIoPortIo io(system);
    EXPECT_EQ(io.ReadPort(0x379), 0xFFu);  // not ready: no call at all
    EXPECT_TRUE(system.calls.empty());
    EXPECT_TRUE(io.OpenDriver());
    EXPECT_EQ(system.calls, (Calls{"GetVersionExA 148", "CreateFileA \\\\.\\WINIO C0000000 3 3 80",
                                   "DeviceIoControl 80102048 in out 0"}));
    system.calls.clear();
    EXPECT_EQ(io.ReadPort(0x379), 0x5Au);
    EXPECT_TRUE(io.WritePort(0x378, 0xF1));
    io.CloseDriver();
    EXPECT_EQ(system.calls, Join({{"in 379", "out 378 F1", "DeviceIoControl 8010204C in out 0", "CloseHandle"},
                                  kRemove}));
}

TEST(WinIo, MissingDeviceRegistersTheDriverBesideTheProgram) {
    FakeSystem system;
    system.deviceOpens = 1;
    WinIoPortIo io(system);
    // The first open fails, the service is created and started, the second open succeeds.
    system.deviceOpens = 0;
    system.startError = WinIoPortIo::kServiceAlreadyRunning;  // counts as started
    io.OpenDriver();
    Calls expected = Join({{"GetVersionExA 148", "CreateFileA \\\\.\\WINIO C0000000 3 3 80", "GetModuleFileNameA 260",
                            "GetFileAttributesA C:\\tools\\winio.sys"},
                           kRemove,
                           {"OpenSCManagerA F003F", "CreateServiceA WINIO WINIO F01FF 1 1 1 C:\\tools\\winio.sys",
                            "StartServiceA", "GetLastError", "CloseServiceHandle service",
                            "CloseServiceHandle manager", "CreateFileA \\\\.\\WINIO C0000000 3 3 80"}});
    EXPECT_EQ(system.calls, expected);
    EXPECT_FALSE(io.Ready());  // the fake's device stays closed
}

TEST(WinIo, DriverFileMissingEverywhereLeavesThePortClosed) {
    FakeSystem system;
    system.deviceOpens = 0;
    system.driverBesideProgram = false;
    system.startError = ERROR_FILE_NOT_FOUND;
    WinIoPortIo io(system);
    EXPECT_FALSE(io.OpenDriver());
    EXPECT_STREQ(io.driverPath, "C:\\windows\\system32\\winio.sys");
    Calls& c = system.calls;
    EXPECT_NE(std::find(c.begin(), c.end(), "CreateServiceA WINIO WINIO F01FF 1 1 1 C:\\windows\\system32\\winio.sys"),
              c.end());
    EXPECT_EQ(std::count(c.begin(), c.end(), "CreateFileA \\\\.\\WINIO C0000000 3 3 80"), 1);
    EXPECT_FALSE(io.WritePort(0x378, 1));
}

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
    EXPECT_EQ(system.calls,
              (Calls{"GetVersionExA 148", "CreateFileA \\\\.\\WINIO.VXD 0 0 1 4000000",
                     "DeviceIoControl 0022000B in 79 03 00 00 00 00 01 out 4",
                     "DeviceIoControl 00220007 in 7A 03 0C 00 00 00 01 out 0",
                     "DeviceIoControl 00220007 in 7A 03 0C 00 00 00 01 out 0", "CloseHandle"}));
}

}  // namespace
}  // namespace quarzo::platform
