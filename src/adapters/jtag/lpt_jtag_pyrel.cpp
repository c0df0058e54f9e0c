// The fuse-blow add-on device on the cable: a slow single-wire link on data bit 7 (out) and status bit 4
// (in), framed and checksummed commands, and the fuse-blow procedure built on them.
#include <cstdio>

#include "adapters/jtag/lpt_jtag.h"
#include "core/device_table.h"

namespace quarzo {
namespace {

constexpr uint8_t kPyrelIn = 0x10;
constexpr uint8_t kPyrelWake = 0x40;
constexpr uint8_t kRequestStart = 0x55;
constexpr uint8_t kReplyStart = 0xAA;
constexpr uint8_t kCommandIdentify = 1;
constexpr uint8_t kCommandPrepareNoTestPin = 5;
constexpr uint8_t kCommandBlowTestPin = 6;
constexpr uint8_t kCommandBlowTdi = 7;
constexpr uint8_t kReplyDone = 3;
constexpr uint16_t kTdoAsDataInput = 0x7201;
constexpr int kAttempts = 3;

}  // namespace

uint8_t LptJtag::PyrelChecksum(const uint8_t* bytes, size_t count) {
    uint8_t c = 0;
    for (size_t i = 0; i < count; ++i) {
        c ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            if (c & 1) c ^= 0x30;
            c = static_cast<uint8_t>(c >> 1);
        }
    }
    return c;
}

bool LptJtag::PyrelIn() {
    return (port_.ReadPort(static_cast<uint16_t>(basePort + kStatusRegister)) & kPyrelIn) != 0;
}

void LptJtag::PyrelResetPulse() {
    SetDataBit(kPyrelOut, false);
    DelayMicroseconds(4800);
    SetDataBit(kPyrelOut, true);
    DelayMicroseconds(700);
    PyrelIn();  // the presence answer; not used
    DelayMicroseconds(4100);
}

void LptJtag::PyrelWriteBit(bool one) {
    SetDataBit(kPyrelOut, false);
    DelayMicroseconds(one ? 60 : 600);
    SetDataBit(kPyrelOut, true);
    DelayMicroseconds(one ? 640 : 100);
}

bool LptJtag::PyrelReadBit() {
    SetDataBit(kPyrelOut, false);
    DelayMicroseconds(60);
    SetDataBit(kPyrelOut, true);
    DelayMicroseconds(90);
    bool bit = PyrelIn();
    DelayMicroseconds(550);
    return bit;
}

void LptJtag::PyrelWriteByte(uint8_t byte) {
    DelayMicroseconds(700);
    for (int i = 0; i < 8; ++i) PyrelWriteBit((byte >> i & 1) != 0);
}

uint8_t LptJtag::PyrelReadByte() {
    uint8_t byte = 0;
    for (int i = 0; i < 8; ++i) byte = static_cast<uint8_t>(byte | (PyrelReadBit() ? 1 << i : 0));
    return byte;
}

bool LptJtag::PyrelExchange(uint8_t command, const uint8_t* data, size_t length, uint8_t* reply, uint32_t waitMs) {
    std::vector<uint8_t> request = {kRequestStart, command, static_cast<uint8_t>(length)};
    request.insert(request.end(), data, data + length);
    request.push_back(PyrelChecksum(request.data() + 1, request.size() - 1));
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt == kAttempts - 1) {
            PyrelResetPulse();
            Sleep(10);
        }
        for (uint8_t b : request) PyrelWriteByte(b);
        Sleep(waitMs);
        reply[0] = PyrelReadByte();
        if (reply[0] != kReplyStart) continue;
        reply[1] = PyrelReadByte();
        reply[2] = PyrelReadByte();
        if (reply[2] > kPyrelMaxData) continue;  // nothing more is read of a reply that cannot be one
        for (int i = 0; i <= reply[2]; ++i) reply[3 + i] = PyrelReadByte();
        if (PyrelChecksum(reply + 1, 3u + reply[2]) == 0) return true;
    }
    lastError = kErrorPyrelNotFound;
    return false;
}

bool LptJtag::PyrelCommand(uint8_t command, uint32_t waitMs) {
    Sleep(1);
    uint8_t reply[kPyrelReplySize] = {};
    if (!PyrelExchange(command, nullptr, 0, reply, waitMs)) return false;
    if (reply[1] == kReplyDone) return true;
    lastError = kErrorPyrelSync;
    return false;
}

void LptJtag::PyrelWake() {
    SetDataBit(kPyrelWake, false);
    Sleep(10);
    SetDataBit(kPyrelWake, true);
    Sleep(50);
    PyrelResetPulse();
    Sleep(10);
}

bool LptJtag::PyrelDetect(char* out, size_t size) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (cancel_ != nullptr && cancel_->IsRaised()) return false;
        PyrelWake();
        uint8_t r[kPyrelReplySize] = {};
        if (!PyrelExchange(kCommandIdentify, nullptr, 0, r, 1)) continue;
        if (r[1] != kCommandIdentify || r[2] < 4) continue;
        if (out != nullptr && size > 0) {
            std::snprintf(out, size, "Pyrel hw %d.%d sw %d.%d sn %.2X %.2d/%.2d", r[3] >> 4, r[3] & 0xF, r[4] >> 4,
                          r[4] & 0xF, r[6], r[5] & 0xF, r[5] >> 4);
        }
        return true;
    }
    lastError = kErrorPyrelNotFound;
    return false;
}

void LptJtag::BeginPyrel() {
    ReleasePins();
    SetDataBit(kPyrelOut, true);
    SetSelectLine(true);
    SetTargetPower(true);
}

void LptJtag::EndPyrel() {
    ShutdownPins(false);
    SetDataBit(kPyrelOut, true);
}

bool LptJtag::BlowFuse() {
    SetDataBit(kPyrelOut, true);
    SetSelectLine(true);
    bool ok = PyrelDetect(nullptr, 0);
    bool testPin = HasTestPin(static_cast<int>(deviceIndex)) != 0;
    if (ok && !testPin) {
        // Without a TEST pin the blow voltage comes on TDI: TDO takes over as the data input.
        WriteControlSignal(kTdoAsDataInput);
        ok = PyrelCommand(kCommandPrepareNoTestPin, 3);
    }
    if (ok) {
        Sleep(1);
        IrShift(kPrepareBlow);
        ok = PyrelCommand(testPin ? kCommandBlowTestPin : kCommandBlowTdi, 120);
        if (ok) {
            Sleep(200);
            IrShift(kExBlow);
            Sleep(10);
        } else {
            // The device answered with a failure code: its boost failed; no answer: no contact.
            lastError = lastError == kErrorPyrelSync ? kErrorPyrelBoost : kErrorPyrelSync;
        }
    }
    PyrelWake();
    ResetTap();
    ShutdownPins(true);
    if (!ok) return false;
    SetTargetPower(true);
    ConnectJtag();
    if (ResetDevice(6, false, false)) {
        lastError = kErrorPyrelNotBlown;
        return false;
    }
    if (!IsFuseBlown()) return false;  // code 8 of the failed reset says why
    lastError = 0;  // the failed reset above was the proof, not an error
    return true;
}

}  // namespace quarzo
