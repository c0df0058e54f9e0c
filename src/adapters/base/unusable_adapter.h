#pragma once

#include "adapters/base/adapter.h"

namespace quarzo {

// An adapter whose hardware or library cannot be used here: every operation that needs the target
// fails with one fixed code and text. Close always succeeds, as there is nothing to release.
class UnusableAdapter : public Adapter {
public:
    struct Failure {
        int code;
        const char* text;
        const char* noErrorText;
        bool codeResetsOnRead;
    };

    UnusableAdapter(Failure failure, int blockSize) : failure_(failure), blockSize_(blockSize) {}

    int GetInfo(char* out) override {
        out[0] = '\0';
        return Fail();
    }
    int GetBlockSize() override { return blockSize_; }
    int Open() override {
        open = false;
        return Fail();
    }
    int Close() override {
        open = false;
        return 0;
    }
    int GetErrorCode() override {
        int code = errorCode_;
        if (failure_.codeResetsOnRead) errorCode_ = 0;
        return code;
    }
    const char* GetErrorText(int code) override {
        return code == failure_.code ? failure_.text : failure_.noErrorText;
    }
    int Erase(int, int, int) override { return Fail(); }
    int BlankCheck(int, int) override { return Fail(); }
    int WriteMemory(int, const uint8_t*, int) override { return Fail(); }
    int ReadMemory(int, uint8_t*, int) override { return Fail(); }
    int VerifyMemory(int, const uint8_t*, int) override { return Fail(); }
    int Reset(int, int, int) override { return Fail(); }
    int BlowFuse() override { return Fail(); }

private:
    int Fail() {
        errorCode_ = failure_.code;
        return -1;
    }

    Failure failure_;
    int blockSize_;
    int errorCode_ = 0;
};

}  // namespace quarzo
