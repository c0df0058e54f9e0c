#include "adapters/jtag/raw_jtag_adapter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "adapters/base/port_names.h"
#include "adapters/jtag/flash_clock.h"
#include "core/device_table.h"
#include "core/settings_store.h"

namespace quarzo {
namespace {

constexpr uint16_t kBaseAddresses[] = {0x378, 0x278, 0x3BC};

const char* const kErrorTexts[] = {
    "No error",
    "Could not initialize direct port access interface",
    "Invalid parameter(s)",
    "Could not find device (or device not supported)",
    "Unknown device",
    "Could not read device memory",
    "Could not write device memory",
    "Could not read device configuration fuses",
    "Could not reset device",
    "Could not erase device memory",
    "Could not run device",
    "Verification error",
    "Invalid JTAG version ID",
    "Could not access device - security fuse is blown",
    "<Pyrel> not found",
    "Invalid error number",
    "<Pyrel> boost error",
    "<Pyrel> synchronization failed",
    "<Pyrel> fuse not blown",
};
constexpr int kErrorNoDevice = 3;
constexpr int kErrorUnknownDevice = 4;
constexpr int kErrorRead = 5;
constexpr int kErrorWrite = 6;
constexpr int kErrorFuses = 7;
constexpr int kErrorReset = 8;
constexpr int kErrorErase = 9;
constexpr int kErrorVerify = 11;
constexpr int kErrorFuseBlown = 13;
constexpr int kErrorPyrelNotFound = 14;
constexpr int kUnnumbered = 15;
constexpr int kErrorPyrelBoost = 16;
constexpr int kErrorPyrelSync = 17;
constexpr int kErrorPyrelNotBlown = 18;

uint16_t Address(int address) {
    return static_cast<uint16_t>(address);
}

uint32_t Words(int length) {
    return length > 0 ? static_cast<uint32_t>(length) / 2 : 0;
}

}  // namespace

RawJtagAdapter::RawJtagAdapter() : RawJtagAdapter(platform::MakeParallelPortIo(), SystemClock()) {}

RawJtagAdapter::RawJtagAdapter(std::unique_ptr<platform::PortIo> port, Clock& clock)
    : port_(std::move(port)), cable_(*port_, clock), jtag_(cable_), pyrel_(cable_) {}

RawJtagAdapter::~RawJtagAdapter() {
    if (port_->Ready()) port_->CloseDriver();
}

void RawJtagAdapter::SetCancelFlag(const CancelFlag* flag) {
    Adapter::SetCancelFlag(flag);
    cable_.SetCancelFlag(flag);
}

void RawJtagAdapter::ApplySettings(const SettingsStore& s) {
    portIndex_ = s.GetIntSetting(kSetRawPort);
    customAddress_ = s.GetIntSetting(kSetRawCustomAddress);
    for (int i = 0; i < kPortPathCount; ++i) portPaths_[static_cast<size_t>(i)] = s.parallelPorts[static_cast<size_t>(i)];
    devicePath_.clear();
}

std::string RawJtagAdapter::PortName() {
    const auto& names = PortNames(kAdapterRawJtag);
    if (portIndex_ < 0 || portIndex_ >= static_cast<int>(names.size())) portIndex_ = 0;
    return devicePath_.empty() ? names[static_cast<size_t>(portIndex_)] : devicePath_;
}

int RawJtagAdapter::GetName(char* out) {
    std::snprintf(out, kNameSize, "FET RAW (%s)", PortName().c_str());
    return 0;
}

bool RawJtagAdapter::PreparePort() {
    bool custom = portIndex_ < 0 || portIndex_ >= kPortPathCount;
    cable_.SetBase(custom ? static_cast<uint16_t>(customAddress_) : kBaseAddresses[portIndex_]);
    std::string path;
#ifndef _WIN32
    // LPT1 to LPT3 are devices here; LPTx is the port address itself.
    path = !devicePath_.empty() ? devicePath_ : custom ? "" : portPaths_[static_cast<size_t>(portIndex_)];
#endif
    port_->Select(cable_.Base(), path);
    if (port_->Ready() || port_->OpenDriver()) return true;
    std::string reason = port_->FailureReason();
    port_->CloseDriver();
    Fail(kErrorPortAccess, reason);
    return false;
}

int RawJtagAdapter::GetInfo(char* out) {
    out[0] = '\0';
    if (!PreparePort()) return -1;
    pyrel_.Begin();
    bool found = pyrel_.Detect(out, kInfoSize);
    pyrel_.End();
    if (found) return 0;
    Fail(kErrorPyrelNotFound);
    return -1;
}

void RawJtagAdapter::Fail(int code, const std::string& reason) {
    errorCode_ = code;
    failureCode_ = code;
    failureText_ = std::string(kErrorTexts[code]) + (reason.empty() ? "" : " (" + reason + ")");
}

// The JTAG layer's errors in the adapter's codes (a flash operation's own for a held-up clock); -1 for
// the caller to return.
int RawJtagAdapter::Failed(JtagError error, int flashCode) {
    switch (error) {
        case JtagError::kNone:
            return 0;
        case JtagError::kCpuX:
            Fail(kErrorNoDevice, std::string(DeviceName(jtag_.RefusedCpuX())) +
                                     " has the 20-bit CPUX, which direct JTAG does not drive");
            break;
        case JtagError::kNoDevice:
            Fail(kErrorNoDevice);
            break;
        case JtagError::kFuseBlown:
            Fail(kErrorFuseBlown);
            break;
        case JtagError::kUnknownDevice:
            Fail(kErrorUnknownDevice);
            break;
        case JtagError::kFuses:
            Fail(kErrorFuses);
            break;
        case JtagError::kReset:
            Fail(kErrorReset);
            break;
        case JtagError::kVerify:
            Fail(kErrorVerify);
            break;
        case JtagError::kStopped:
            break;  // the run says it was cancelled
        case JtagError::kHeldUp:
            Fail(flashCode, "the system held up TCLK below the flash clock's range in every try");
            break;
    }
    return -1;
}

int RawJtagAdapter::Open() {
    open = false;
    if (!PreparePort()) return -1;
    cable_.MeasureTclk();
    int result = Failed(jtag_.Open(device));
    open = result == 0;
    return result;
}

// The flash timing generator runs on TCLK: its rate is measured again before each erase and block of
// writes, and nothing is erased or programmed when this port cannot keep it in range.
// A measurement the system held up says nothing of the port: three tries before the refusal.
bool RawJtagAdapter::FlashClockReady(int code) {
    double hz = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        hz = cable_.MeasureTclk();
        if (flash_clock::Usable(hz)) return true;
    }
    char reason[160];
    std::snprintf(reason, sizeof(reason),
                  "TCLK runs at %.0f kHz on this port; the flash timing generator needs %.0f-%.0f kHz", hz / 1000,
                  (flash_clock::kMinHz + flash_clock::kMarginHz) / 1000,
                  (flash_clock::kMaxHz - flash_clock::kMarginHz) / 1000);
    Fail(code, reason);
    return false;
}

int RawJtagAdapter::Close() {
    open = false;
    if (port_->Ready()) {
        jtag_.ReleaseDevice(0xFFFE);
        cable_.Release();
    }
    port_->Flush();
    return 0;
}

int RawJtagAdapter::GetErrorCode() {
    int code = errorCode_;
    errorCode_ = 0;
    if (code != failureCode_) failureText_.clear();
    return code;
}

const char* RawJtagAdapter::GetErrorText(int code) {
    if (code == failureCode_ && !failureText_.empty()) return failureText_.c_str();
    if (code < 0 || code >= static_cast<int>(std::size(kErrorTexts))) code = kUnnumbered;
    return kErrorTexts[code];
}

int RawJtagAdapter::Erase(int type, int address, int) {
    if (!FlashClockReady(kErrorErase)) return -1;
    // A stop between the passes of a mass erase leaves memory half erased: not a success.
    int result = Failed(jtag_.FlashErase(type, Address(address), cable_.TclkHz()), kErrorErase);
    return IsCancelled() ? -1 : result;
}

int RawJtagAdapter::BlankCheck(int address, int length) {
    return Failed(jtag_.Verify(Address(address), Words(length), nullptr));
}

int RawJtagAdapter::WriteMemory(int address, const uint8_t* data, int length) {
    if (jtag_.DeviceIndex() == 0) {
        Fail(kErrorWrite);
        return -1;
    }
    if (!FlashClockReady(kErrorWrite)) return -1;
    return Failed(jtag_.FlashWrite(Address(address), Words(length), data), kErrorWrite);
}

int RawJtagAdapter::ReadMemory(int address, uint8_t* data, int length) {
    if (jtag_.DeviceIndex() == 0) {
        Fail(kErrorRead);
        return -1;
    }
    if (length <= 0) return 0;
    // The last word is read whole; only the bytes asked for are delivered.
    uint32_t words = (static_cast<uint32_t>(length) + 1) / 2;
    std::vector<uint8_t> buffer(words * 2);
    jtag_.ReadMemQuick(Address(address), words, buffer.data());
    std::copy_n(buffer.begin(), length, data);
    return 0;
}

int RawJtagAdapter::VerifyMemory(int address, const uint8_t* data, int length) {
    return Failed(jtag_.Verify(Address(address), Words(length), data));
}

int RawJtagAdapter::Reset(int method, int execute, int releaseJtag) {
    return Failed(jtag_.ResetDevice(method & 7, execute != 0, releaseJtag != 0));
}

// The device puts the blow voltage on TEST, or on TDI for a part without a TEST pin once TDO has taken
// over as the data input; the blow is proven when the chip no longer comes under JTAG.
int RawJtagAdapter::BlowFuse() {
    cable_.SetDeviceLine(true);
    cable_.SetSelect(true);
    int code = pyrel_.Detect(nullptr, 0) ? 0 : kErrorPyrelNotFound;
    bool testPin = HasTestPin(jtag_.DeviceIndex()) != 0;
    if (code == 0 && !testPin) {
        jtag_.TdoAsDataInput();
        PyrelLink::Result r = pyrel_.Command(PyrelLink::kPrepareNoTestPin, 3);
        if (r != PyrelLink::Result::kDone)
            code = r == PyrelLink::Result::kNotFound ? kErrorPyrelNotFound : kErrorPyrelSync;
    }
    if (code == 0) {
        cable_.Sleep(1);
        jtag_.PrepareBlow();
        PyrelLink::Result r = pyrel_.Command(testPin ? PyrelLink::kBlowOnTest : PyrelLink::kBlowOnTdi, 120);
        if (r == PyrelLink::Result::kDone) {
            cable_.Sleep(200);
            jtag_.ExecuteBlow();
            cable_.Sleep(10);
        } else {
            // A failure code from the device: its boost failed; no answer: no contact.
            code = r == PyrelLink::Result::kRefused ? kErrorPyrelBoost : kErrorPyrelSync;
        }
    }
    pyrel_.Wake();
    jtag_.ResetTap();
    cable_.SetSupply(false);
    cable_.Release();
    if (code == 0) {
        cable_.SetSupply(true);
        cable_.Connect();
        if (jtag_.ResetDevice(6, false, false) == JtagError::kNone)
            code = kErrorPyrelNotBlown;
        else if (!jtag_.IsFuseBlown())
            code = kErrorReset;
    }
    if (code != 0) {
        Fail(code);
        return -1;
    }
    errorCode_ = 0;
    return 0;
}

}  // namespace quarzo
