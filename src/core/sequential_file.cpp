#include "core/sequential_file.h"

#include <algorithm>
#include <cstring>

#include "platform/file_system.h"

namespace quarzo {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}  // namespace

SequentialFile::~SequentialFile() {
    Discard();
}

void SequentialFile::Discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) platform::RemoveFile(temporary_);
    temporary_.clear();
}

bool SequentialFile::OpenRead(const std::string& path) {
    Discard();
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) return false;
    // A folder opens on some systems but cannot be read or measured: treat it as unopenable.
    if (std::fseek(file_, 0, SEEK_END) != 0) return Discard(), false;
    long end = std::ftell(file_);
    if (end < 0 || std::fseek(file_, 0, SEEK_SET) != 0) return Discard(), false;
    size_ = static_cast<uint64_t>(end);
    position_ = 0;
    failed_ = false;
    readBuffer_.resize(kBufferSize);
    readBegin_ = readEnd_ = readBuffer_.data();
    return true;
}

void SequentialFile::OpenMemory(const uint8_t* data, size_t size) {
    Discard();
    size_ = size;
    position_ = 0;
    failed_ = false;
    readBegin_ = data;
    readEnd_ = data + size;
}

bool SequentialFile::Refill() {
    if (!file_) return false;
    size_t got = std::fread(readBuffer_.data(), 1, readBuffer_.size(), file_);
    readBegin_ = readBuffer_.data();
    readEnd_ = readBegin_ + got;
    return got > 0;
}

bool SequentialFile::ReadByte(uint8_t& byte) {
    if (AtEnd() || failed_) return false;
    if (readBegin_ == readEnd_ && !Refill()) {
        // The file held fewer bytes than its size promised.
        failed_ = true;
        return false;
    }
    byte = *readBegin_++;
    ++position_;
    return true;
}

bool SequentialFile::ReadLine(std::string& line) {
    line.clear();
    // Whole stretches of the buffer at a time: the same bytes ReadByte would give one by one.
    while (line.size() < kMaxLine && !AtEnd() && !failed_) {
        if (readBegin_ == readEnd_ && !Refill()) {
            failed_ = true;  // the file held fewer bytes than its size promised
            break;
        }
        size_t available = std::min<uint64_t>(
            {static_cast<uint64_t>(readEnd_ - readBegin_), size_ - position_, kMaxLine - line.size()});
        const void* feed = std::memchr(readBegin_, '\n', available);
        size_t take =
            feed ? static_cast<size_t>(static_cast<const uint8_t*>(feed) - readBegin_) + 1 : available;
        line.append(reinterpret_cast<const char*>(readBegin_), take);
        readBegin_ += take;
        position_ += take;
        if (feed) break;
    }
    return !failed_;
}

bool SequentialFile::OpenWrite(const std::string& path) {
    Discard();
    target_ = path;
    temporary_ = platform::TemporaryPathBeside(path);
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (!file_) {
        temporary_.clear();
        return false;
    }
    failed_ = false;
    writeBuffer_.clear();
    writeBuffer_.reserve(kBufferSize);
    return true;
}

void SequentialFile::FlushBuffer() {
    if (!writeBuffer_.empty() && file_ && !failed_) {
        if (std::fwrite(writeBuffer_.data(), 1, writeBuffer_.size(), file_) != writeBuffer_.size())
            failed_ = true;
    }
    writeBuffer_.clear();
}

void SequentialFile::Write(const char* data, size_t size) {
    while (size > 0) {
        if (writeBuffer_.size() == writeBuffer_.capacity()) FlushBuffer();
        size_t n = std::min(size, writeBuffer_.capacity() - writeBuffer_.size());
        writeBuffer_.insert(writeBuffer_.end(), data, data + n);
        data += n;
        size -= n;
    }
}

void SequentialFile::PutText(const char* text) {
    Write(text, std::strlen(text));
}

void SequentialFile::PutHexByte(uint8_t value) {
    Put(kHexDigits[value >> 4]);
    Put(kHexDigits[value & 0xF]);
}

void SequentialFile::PutHex(uint32_t value, int minDigits) {
    char digits[8];
    int n = 0;
    do {
        digits[n++] = kHexDigits[value & 0xF];
        value >>= 4;
    } while (value != 0 && n < 8);
    while (n < minDigits && n < 8) digits[n++] = '0';
    while (n > 0) Put(digits[--n]);
}

bool SequentialFile::Commit() {
    if (!file_) return false;
    FlushBuffer();
    if (std::fflush(file_) != 0 || std::ferror(file_)) failed_ = true;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    if (failed_ || !platform::MoveFileOver(temporary_, target_)) {
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace quarzo
