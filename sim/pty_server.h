#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "sim/rom_bsl.h"

namespace quarzo::sim {

// Serves a simulated loader on a pseudo-terminal. A pty has no modem lines, so the target sits in its
// loader from the start and stays there; a pty has no speed either, so pacing follows the loader's.
class PtyServer {
public:
    explicit PtyServer(RomBsl& target) : target_(target) {}
    ~PtyServer();

    // Creates the pty; false with a message on stderr when the system will not give one.
    bool Create();
    const std::string& DevicePath() const { return path_; }
    void SetPace(bool pace) { pace_ = pace; }
    // Held while the loader works on the chip, which another server may share.
    void SetChipLock(std::mutex* lock) { chipLock_ = lock; }
    // Serves until stop is raised.
    void Serve(const std::atomic<bool>& stop);

private:
    void Handle(uint8_t byte);
    void ResetLine();
    void SleepUntil(uint64_t us);
    uint32_t LineBaud() const;
    uint64_t ByteTimeUs() const {
        uint32_t baud = target_.Baud() != 0 ? target_.Baud() : LineBaud();
        return 11'000'000ull / (baud != 0 ? baud : 9600);
    }

    RomBsl& target_;
    int master_ = -1;
    std::string path_;
    bool pace_ = false;
    std::mutex* chipLock_ = nullptr;
    bool connected_ = false;
    uint32_t lineBaud_ = 0;  // the host's speed when the bytes in hand were read
    uint64_t wireUs_ = 0;  // when the last received byte finished arriving on a real line
};

}  // namespace quarzo::sim
