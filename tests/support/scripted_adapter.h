#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "adapters/base/adapter.h"
#include "core/device_table.h"

namespace quarzo::testing {

// An adapter that records every call with its arguments, fails a chosen call with a chosen code,
// serves reads from a memory map (0xFF where nothing was written), and can sit in a long wait that
// only the run's cancellation ends.
class ScriptedAdapter : public Adapter {
public:
    int blockSize = 256;
    DeviceInfo identified;  // what Open fills in
    std::string failCall;   // e.g. "WriteMemory"
    int failOnCount = 1;    // fail the n-th call of failCall
    int failCode = 5;
    std::string throwCall;                           // this call throws
    std::string blockCall;                           // this call waits for the cancellation (30 s at most)
    std::function<void(const std::string&)> onCall;  // after recording a call
    std::map<int, uint8_t> memory;
    std::optional<std::array<uint8_t, kPasswordSize>> password;  // the last one offered

    ScriptedAdapter() { FillDeviceInfo(FindDeviceByName("MSP430F149"), identified); }

    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

    int GetName(char* out) override {
        std::snprintf(out, kNameSize, "SCRIPTED");
        return 0;
    }
    int GetInfo(char* out) override {
        std::snprintf(out, kInfoSize, "Scripted adapter v1");
        return Call("GetInfo");
    }
    int GetBlockSize() override { return blockSize; }
    int Open() override {
        open = false;
        int rc = Call("Open");
        if (rc == 0) {
            uint16_t index = device.DeviceIndex();
            device = identified;
            if (identified.DeviceIndex() == 0) device.SetDeviceIndex(index);
            open = true;
        }
        return rc;
    }
    int Close() override {
        open = false;
        return Call("Close");
    }
    int GetErrorCode() override {
        int code = lastError_;
        lastError_ = 0;
        return code;
    }
    const char* GetErrorText(int code) override { return code == failCode ? "Scripted failure" : "No error"; }
    int Erase(int type, int address, int length) override { return Call("Erase", {type, address, length}); }
    int BlankCheck(int address, int length) override { return Call("BlankCheck", {address, length}); }
    int WriteMemory(int address, const uint8_t* data, int length) override {
        int rc = Call("WriteMemory", {address, length});
        if (rc == 0) {
            for (int i = 0; i < length; ++i) memory[address + i] = data[i];
        }
        return rc;
    }
    int ReadMemory(int address, uint8_t* data, int length) override {
        int rc = Call("ReadMemory", {address, length});
        if (rc == 0) {
            for (int i = 0; i < length; ++i) {
                auto it = memory.find(address + i);
                data[i] = it == memory.end() ? 0xFF : it->second;
            }
        }
        return rc;
    }
    int VerifyMemory(int address, const uint8_t*, int length) override {
        return Call("VerifyMemory", {address, length});
    }
    int Reset(int method, int execute, int release) override {
        return Call("Reset", {method, execute, release});
    }
    int BlowFuse() override { return Call("BlowFuse"); }
    void SetPassword(const std::array<uint8_t, kPasswordSize>& vectors) override { password = vectors; }

private:
    int Call(const std::string& name, std::vector<int> args = {}) {
        std::string call = name;
        char hex[16];
        for (int a : args) {
            std::snprintf(hex, sizeof hex, " 0x%X", static_cast<unsigned>(a));
            call += hex;
        }
        int count;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            calls_.push_back(call);
            count = ++counts_[name];
        }
        if (onCall) onCall(call);
        if (name == throwCall) throw std::runtime_error("scripted");
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (name == blockCall && !IsCancelled() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (name == blockCall || (name == failCall && count == failOnCount)) {
            lastError_ = failCode;
            return -1;
        }
        return 0;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::map<std::string, int> counts_;
    int lastError_ = 0;
};

}  // namespace quarzo::testing
