#include "adapters/jtag/raw_jtag_adapter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "adapters/base/port_names.h"
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
constexpr int kUnnumbered = 15;

uint16_t Address(int address) {
    return static_cast<uint16_t>(address);
}

uint32_t Words(int length) {
    return length > 0 ? static_cast<uint32_t>(length) / 2 : 0;
}

}  // namespace

RawJtagAdapter::RawJtagAdapter() : RawJtagAdapter(platform::MakeParallelPortIo(), SystemClock()) {}

RawJtagAdapter::RawJtagAdapter(std::unique_ptr<platform::PortIo> port, Clock& clock)
    : port_(std::move(port)), jtag_(*port_, clock) {}

RawJtagAdapter::~RawJtagAdapter() {
    if (port_->Ready()) port_->CloseDriver();
}

void RawJtagAdapter::SetCancelFlag(const CancelFlag* flag) {
    Adapter::SetCancelFlag(flag);
    jtag_.SetCancelFlag(flag);
}

void RawJtagAdapter::ApplySettings(const SettingsStore& s) {
    portIndex = s.GetIntSetting(kSetRawPort);
    customAddress = s.GetIntSetting(kSetRawCustomAddress);
    for (int i = 0; i < kPortPathCount; ++i) portPaths[static_cast<size_t>(i)] = s.parallelPorts[static_cast<size_t>(i)];
    devicePath.clear();
}

std::string RawJtagAdapter::PortName() {
    const auto& names = PortNames(kAdapterRawJtag);
    if (portIndex < 0 || portIndex >= static_cast<int>(names.size())) portIndex = 0;
    return devicePath.empty() ? names[static_cast<size_t>(portIndex)] : devicePath;
}

int RawJtagAdapter::GetName(char* out) {
    std::snprintf(out, kNameSize, "FET RAW (%s)", PortName().c_str());
    return 0;
}

bool RawJtagAdapter::PreparePort() {
    bool custom = portIndex < 0 || portIndex >= kPortPathCount;
    jtag_.basePort = custom ? static_cast<uint32_t>(customAddress) & 0xFFFF : kBaseAddresses[portIndex];
    std::string path;
#ifndef _WIN32
    // LPT1 to LPT3 are devices here; LPTx is the port address itself.
    path = !devicePath.empty() ? devicePath : custom ? "" : portPaths[static_cast<size_t>(portIndex)];
#endif
    port_->Select(static_cast<uint16_t>(jtag_.basePort), path);
    if (port_->Ready() || port_->OpenDriver()) return true;
    std::string reason = port_->FailureReason();
    port_->CloseDriver();
    Fail(kErrorPortAccess, reason);
    return false;
}

int RawJtagAdapter::GetInfo(char* out) {
    out[0] = '\0';
    if (!PreparePort()) return -1;
    jtag_.BeginPyrel();
    bool found = jtag_.PyrelDetect(out, kInfoSize);
    jtag_.EndPyrel();
    return found ? 0 : -1;
}

void RawJtagAdapter::Fail(int code, const std::string& reason) {
    failureCode_ = code;
    failureText_ = std::string(kErrorTexts[code]) + (reason.empty() ? "" : " (" + reason + ")");
    jtag_.lastError = code;
}

int RawJtagAdapter::Open() {
    open = false;
    if (!PreparePort()) return -1;
    open = jtag_.OpenTarget(device);
    if (jtag_.RefusedCpuX() != 0) {
        Fail(LptJtag::kErrorNoDevice, std::string(DeviceName(jtag_.RefusedCpuX())) +
                                          " has the 20-bit CPUX, which direct JTAG does not drive");
    }
    return open ? 0 : -1;
}

// The flash timing generator runs on TCLK: its rate is measured again before each erase and block of
// writes, and nothing is erased or programmed when this port cannot keep it in range.
// A measurement the system held up says nothing of the port: three tries before the refusal.
bool RawJtagAdapter::FlashClockReady(int code) {
    double hz = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        hz = jtag_.MeasureTclk();
        if (LptJtag::TclkUsable(hz)) return true;
    }
    char reason[160];
    std::snprintf(reason, sizeof(reason),
                  "TCLK runs at %.0f kHz on this port; the flash timing generator needs %.0f-%.0f kHz", hz / 1000,
                  (LptJtag::kFlashMinHz + LptJtag::kTclkMarginHz) / 1000,
                  (LptJtag::kFlashMaxHz - LptJtag::kTclkMarginHz) / 1000);
    Fail(code, reason);
    return false;
}

int RawJtagAdapter::Close() {
    open = false;
    if (port_->Ready()) {
        jtag_.ReleaseDevice(0xFFFE);
        jtag_.ShutdownPins(false);
    }
    port_->Flush();
    return 0;
}

int RawJtagAdapter::GetErrorCode() {
    int code = jtag_.lastError;
    jtag_.lastError = 0;
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
    return jtag_.FlashErase(type, Address(address)) && !IsCancelled() ? 0 : -1;
}

int RawJtagAdapter::BlankCheck(int address, int length) {
    return jtag_.VerifyPsa(Address(address), Words(length), nullptr) ? 0 : -1;
}

int RawJtagAdapter::WriteMemory(int address, const uint8_t* data, int length) {
    if (jtag_.deviceIndex == 0) {
        jtag_.lastError = LptJtag::kErrorWrite;
        return -1;
    }
    if (!FlashClockReady(LptJtag::kErrorWrite)) return -1;
    jtag_.FlashWrite(Address(address), Words(length), data);
    return 0;
}

int RawJtagAdapter::ReadMemory(int address, uint8_t* data, int length) {
    if (jtag_.deviceIndex == 0) {
        jtag_.lastError = LptJtag::kErrorRead;
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
    return jtag_.VerifyPsa(Address(address), Words(length), data) ? 0 : -1;
}

int RawJtagAdapter::Reset(int method, int execute, int releaseJtag) {
    return jtag_.ResetDevice(method & 7, execute != 0, releaseJtag != 0) ? 0 : -1;
}

int RawJtagAdapter::BlowFuse() {
    return jtag_.BlowFuse() ? 0 : -1;
}

}  // namespace quarzo
