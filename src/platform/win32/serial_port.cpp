// The COM port through the Win32 communications API: no overlapped I/O, waits poll ClearCommError.
#include "platform/serial_port.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/win32/line_settings.h"

namespace quarzo {
namespace {

class Win32SerialPort final : public SerialPort {
public:
    explicit Win32SerialPort(Clock& clock) : clock_(clock) {}
    ~Win32SerialPort() override { Close(); }

    bool Open() override {
        Close();
        handle_ =
            CreateFileA(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) return FailOpen();
        if (!SetupComm(handle_, queueSize_, queueSize_)) return FailOpen();
        COMMTIMEOUTS timeouts{};
        if (!GetCommTimeouts(handle_, &timeouts)) return FailOpen();
        timeouts.ReadIntervalTimeout = 50;
        timeouts.ReadTotalTimeoutMultiplier = 1;
        timeouts.ReadTotalTimeoutConstant = 50;
        timeouts.WriteTotalTimeoutMultiplier = 1;
        timeouts.WriteTotalTimeoutConstant = 50;
        if (!SetCommTimeouts(handle_, &timeouts)) return FailOpen();
        if (!SetCommMask(handle_, EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_ERR)) return FailOpen();
        if (!Configure()) return FailOpen();
        if (!PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT)) return FailOpen();
        if (!PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR)) return FailOpen();
        return true;
    }

    bool Close() override {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != 0;
    }

    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

    bool Configure() override {
        if (!GetCommState(handle_, &dcb_)) return false;
        platform::MakeLineSettings(dcb_, baudRate_, parity_);
        return SetCommState(handle_, &dcb_) != 0;
    }

    bool ChangeSpeed(uint32_t baud) override {
        // The stored line state carries the present DTR and RTS levels.
        dcb_.BaudRate = baud;
        if (!SetCommState(handle_, &dcb_)) return false;
        baudRate_ = baud;
        return true;
    }

    bool Purge(uint32_t flags) override { return PurgeComm(handle_, flags) != 0; }

    uint32_t WaitForInput(uint32_t count, uint32_t timeoutMs) override {
        uint32_t start = clock_.TickMs();
        for (;;) {
            RefreshStatus();
            if (status_.cbInQue >= count) break;
            if (clock_.TickMs() - start >= timeoutMs) break;
            clock_.SleepMs(1);
        }
        return status_.cbInQue;
    }

    uint32_t WaitForOutputEmpty(uint32_t timeoutMs) override {
        uint32_t start = clock_.TickMs();
        do {
            RefreshStatus();
        } while (status_.cbOutQue != 0 && clock_.TickMs() - start < timeoutMs);
        return status_.cbOutQue;
    }

    bool WaitForByte(uint8_t value, uint32_t timeoutMs) override {
        uint32_t start = clock_.TickMs();
        for (;;) {
            RefreshStatus();
            if (status_.cbInQue > 0) {
                uint8_t byte = 0;
                DWORD got = 0;
                if (ReadFile(handle_, &byte, 1, &got, nullptr) && got == 1 && byte == value) return true;
            }
            clock_.SleepMs(1);
            if (clock_.TickMs() - start >= timeoutMs) return false;
        }
    }

    uint32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override {
        if (WaitForInput(count, timeoutMs) < count) return 0;
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, count, &got, nullptr)) return 0;
        return got;
    }

    uint32_t Write(const uint8_t* buffer, uint32_t count) override {
        DWORD written = 0;
        if (!WriteFile(handle_, buffer, count, &written, nullptr)) return 0;
        return written;
    }

    bool SetDtr(bool level) override {
        dcb_.fDtrControl = level ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        return SetCommState(handle_, &dcb_) != 0;
    }

    bool SetRts(bool level) override {
        dcb_.fRtsControl = level ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        return SetCommState(handle_, &dcb_) != 0;
    }

private:
    bool FailOpen() {
        DWORD error = GetLastError();
        lastError_ = error;
        std::string shown = name_.rfind("\\\\.\\", 0) == 0 ? name_.substr(4) : name_;
        if (error == ERROR_ACCESS_DENIED) {
            // A COM port is never shared: denied access means another program has it.
            openFailure_ = shown + ": port in use (another program has it open)";
        } else {
            char text[256] = "";
            DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                     error, 0, text, sizeof text, nullptr);
            while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.'))
                text[--n] = '\0';
            openFailure_ = shown + ": " + (n > 0 ? text : "system error " + std::to_string(error));
        }
        Close();
        return false;
    }

    // A failed query counts as nothing waiting.
    void RefreshStatus() {
        status_.cbInQue = 0;
        DWORD errors = 0;
        if (!ClearCommError(handle_, &errors, &status_)) status_ = COMSTAT{};
    }

    Clock& clock_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DCB dcb_{};
    COMSTAT status_{};
};

}  // namespace

std::unique_ptr<SerialPort> CreateSystemSerialPort(Clock& clock) {
    return std::make_unique<Win32SerialPort>(clock);
}

std::vector<int> PresentSerialPorts() {
    // Every serial port driver registers its ports here, as name = "COMn".
    std::vector<int> ports;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        char name[256], data[32];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        LONG rc =
            RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataSize] = '\0';
        int number = 0;
        if (_strnicmp(data, "COM", 3) != 0 || std::sscanf(data + 3, "%d", &number) != 1) continue;
        if (number >= 1 && number <= 256) ports.push_back(number - 1);
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

namespace platform {

void MakeLineSettings(DCB& dcb, uint32_t baud, uint8_t parity) {
    dcb.BaudRate = baud;
    dcb.Parity = parity;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.ErrorChar = static_cast<char>(0xFF);
    dcb.fParity = parity != SerialPort::kParityNone;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fBinary = TRUE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
}

}  // namespace platform

}  // namespace quarzo
