#pragma once

#include "adapters/base/adapter.h"

namespace quarzo {

// Accepts every operation and touches nothing: for working with files alone.
class NullAdapter : public Adapter {
public:
    int GetName(char* out) override;
    int GetInfo(char* out) override;
    int GetBlockSize() override { return 256; }
    int Open() override;
    int Close() override;
    int GetErrorCode() override { return 0; }
    const char* GetErrorText(int) override { return ""; }
    int Erase(int, int, int) override { return 0; }
    int BlankCheck(int, int) override { return 0; }
    int WriteMemory(int, const uint8_t*, int) override { return 0; }
    int ReadMemory(int, uint8_t*, int) override { return 0; }
    int VerifyMemory(int, const uint8_t*, int) override { return 0; }
    int Reset(int, int, int) override { return 0; }
    int BlowFuse() override { return 0; }
};

}  // namespace quarzo
