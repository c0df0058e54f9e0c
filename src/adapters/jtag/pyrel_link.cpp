#include "adapters/jtag/pyrel_link.h"

#include <cstdio>
#include <vector>

namespace quarzo {
namespace {

constexpr uint8_t kRequestStart = 0x55;
constexpr uint8_t kReplyStart = 0xAA;
constexpr uint8_t kCommandIdentify = 1;
constexpr uint8_t kReplyDone = 3;
constexpr int kAttempts = 3;

}  // namespace

uint8_t PyrelLink::Checksum(const uint8_t* bytes, size_t count) {
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

void PyrelLink::ResetPulse() {
    cable_.SetDeviceLine(false);
    cable_.DelayUs(4800);
    cable_.SetDeviceLine(true);
    cable_.DelayUs(700);
    cable_.DeviceLine();  // the presence answer; not used
    cable_.DelayUs(4100);
}

void PyrelLink::WriteBit(bool one) {
    cable_.SetDeviceLine(false);
    cable_.DelayUs(one ? 60 : 600);
    cable_.SetDeviceLine(true);
    cable_.DelayUs(one ? 640 : 100);
}

bool PyrelLink::ReadBit() {
    cable_.SetDeviceLine(false);
    cable_.DelayUs(60);
    cable_.SetDeviceLine(true);
    cable_.DelayUs(90);
    bool bit = cable_.DeviceLine();
    cable_.DelayUs(550);
    return bit;
}

void PyrelLink::WriteByte(uint8_t byte) {
    cable_.DelayUs(700);
    for (int i = 0; i < 8; ++i) WriteBit((byte >> i & 1) != 0);
}

uint8_t PyrelLink::ReadByte() {
    uint8_t byte = 0;
    for (int i = 0; i < 8; ++i) byte = static_cast<uint8_t>(byte | (ReadBit() ? 1 << i : 0));
    return byte;
}

bool PyrelLink::Exchange(uint8_t command, const uint8_t* data, size_t length, uint8_t* reply, uint32_t waitMs) {
    std::vector<uint8_t> request = {kRequestStart, command, static_cast<uint8_t>(length)};
    request.insert(request.end(), data, data + length);
    request.push_back(Checksum(request.data() + 1, request.size() - 1));
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt == kAttempts - 1) {
            ResetPulse();
            cable_.Sleep(10);
        }
        for (uint8_t b : request) WriteByte(b);
        cable_.Sleep(waitMs);
        reply[0] = ReadByte();
        if (reply[0] != kReplyStart) continue;
        reply[1] = ReadByte();
        reply[2] = ReadByte();
        if (reply[2] > kMaxData) continue;  // nothing more is read of a reply that cannot be one
        for (int i = 0; i <= reply[2]; ++i) reply[3 + i] = ReadByte();
        if (Checksum(reply + 1, 3u + reply[2]) == 0) return true;
    }
    return false;
}

PyrelLink::Result PyrelLink::Command(uint8_t command, uint32_t waitMs) {
    cable_.Sleep(1);
    uint8_t reply[kReplySize] = {};
    if (!Exchange(command, nullptr, 0, reply, waitMs)) return Result::kNotFound;
    return reply[1] == kReplyDone ? Result::kDone : Result::kRefused;
}

void PyrelLink::Wake() {
    cable_.SetWakeLine(false);
    cable_.Sleep(10);
    cable_.SetWakeLine(true);
    cable_.Sleep(50);
    ResetPulse();
    cable_.Sleep(10);
}

bool PyrelLink::Detect(char* out, size_t size) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (cable_.Cancelled()) return false;
        Wake();
        uint8_t r[kReplySize] = {};
        if (!Exchange(kCommandIdentify, nullptr, 0, r, 1)) continue;
        if (r[1] != kCommandIdentify || r[2] < 4) continue;
        if (out != nullptr && size > 0) {
            std::snprintf(out, size, "Pyrel hw %d.%d sw %d.%d sn %.2X %.2d/%.2d", r[3] >> 4, r[3] & 0xF, r[4] >> 4,
                          r[4] & 0xF, r[6], r[5] & 0xF, r[5] >> 4);
        }
        return true;
    }
    return false;
}

void PyrelLink::Begin() {
    cable_.Release();
    cable_.SetDeviceLine(true);
    cable_.SetSelect(true);
    cable_.SetSupply(true);
}

void PyrelLink::End() {
    cable_.Release();
    cable_.SetDeviceLine(true);
}

}  // namespace quarzo
