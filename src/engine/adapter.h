#pragma once

#include <cstddef>
#include <cstdint>

#include "core/device_info.h"
#include "engine/cancel_flag.h"

namespace quarzo {

// Which adapter a run uses: 0 direct JTAG, 1 FET library, 2 bootstrap loader, anything else the null adapter.
using AdapterKind = int;
inline constexpr AdapterKind kAdapterRawJtag = 0;
inline constexpr AdapterKind kAdapterFetDll = 1;
inline constexpr AdapterKind kAdapterBsl = 2;
inline constexpr AdapterKind kAdapterNull = 3;

// The programming-adapter interface. Operations returning int give 0 on success and nonzero on
// failure; the reason is then read with GetErrorCode and turned into text with GetErrorText.
class Adapter {
public:
    static constexpr size_t kNameSize = 128;
    static constexpr size_t kInfoSize = 256;

    virtual ~Adapter() = default;

    virtual int GetName(char* out) = 0;  // out holds kNameSize bytes
    virtual int GetInfo(char* out) = 0;  // out holds kInfoSize bytes
    virtual int GetBlockSize() = 0;
    virtual bool IsOpen() { return open; }
    virtual int Open() = 0;
    virtual int Close() = 0;
    virtual int GetErrorCode() = 0;
    virtual const char* GetErrorText(int code) = 0;
    virtual int Erase(int type, int address, int length) = 0;
    virtual int BlankCheck(int address, int length) = 0;
    virtual int WriteMemory(int address, const uint8_t* data, int length) = 0;
    virtual int ReadMemory(int address, uint8_t* data, int length) = 0;
    virtual int VerifyMemory(int address, const uint8_t* data, int length) = 0;
    virtual int Reset(int method, int execute, int releaseJtag) = 0;
    virtual int BlowFuse() = 0;

    // The run's cancellation signal; long waits inside the adapter give up when it is raised.
    virtual void SetCancelFlag(const CancelFlag* flag) { cancel_ = flag; }
    bool IsCancelled() const { return cancel_ != nullptr && cancel_->IsRaised(); }

    DeviceInfo device;
    bool open = false;

protected:
    const CancelFlag* cancel_ = nullptr;
};

}  // namespace quarzo
