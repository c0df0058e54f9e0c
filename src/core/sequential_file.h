#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quarzo {

// Text files the program writes use upper-case hex digits.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// Buffered, one-direction file access for the firmware readers and writers. Reading also works over a
// block of memory. Writing goes to a temporary file beside the target, which replaces the target only
// when Commit succeeds, so a failed save never destroys the file that was there.
class SequentialFile {
public:
    static constexpr size_t kMaxLine = 1023;

    SequentialFile() = default;
    SequentialFile(const SequentialFile&) = delete;
    SequentialFile& operator=(const SequentialFile&) = delete;
    ~SequentialFile();

    bool OpenRead(const std::string& path);
    void OpenMemory(const uint8_t* data, size_t size);
    // End of file: the position has reached the size taken at open.
    bool AtEnd() const { return position_ >= size_; }
    // The size taken at open.
    uint64_t Size() const { return size_; }
    // One byte; false at the end or on a read failure (then Failed() is true).
    bool ReadByte(uint8_t& byte);
    // Bytes up to and including a line feed, at most kMaxLine of them; false on a read failure.
    bool ReadLine(std::string& line);
    bool Failed() const { return failed_; }

    bool OpenWrite(const std::string& path);
    void Write(const char* data, size_t size);
    void Put(char c) {
        if (writeBuffer_.size() == writeBuffer_.capacity()) FlushBuffer();
        writeBuffer_.push_back(c);
    }
    void PutText(const char* text);
    void PutHexByte(uint8_t value);
    void PutHex(uint32_t value, int minDigits);
    // Writes out everything and moves the temporary file over the target; false when anything failed.
    // Afterwards Failed() tells a write failure from a failure to replace the target.
    bool Commit();

private:
    bool Refill();
    void FlushBuffer();
    void Discard();

    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    bool failed_ = false;
    // Reading: the unread bytes are readBegin_..readEnd_.
    std::vector<uint8_t> readBuffer_;
    const uint8_t* readBegin_ = nullptr;
    const uint8_t* readEnd_ = nullptr;
    // Writing.
    std::vector<char> writeBuffer_;
    std::string target_;
    std::string temporary_;
};

}  // namespace quarzo
