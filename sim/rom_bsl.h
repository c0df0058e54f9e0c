#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/flash_controller.h"
#include "sim/msp430_machine.h"
#include "sim/sim_device.h"

namespace quarzo::sim {

// What one loader version does; the named versions below, with options where sources disagree.
struct BslBehaviour {
    uint16_t version = 0x0160;
    bool eraseCheck = true;         // command 0x1C
    bool baudChange = true;         // command 0x20
    bool versionCommand = true;     // command 0x1E
    bool memoryOffset = false;      // command 0x21: addresses above 0xFFFF
    bool verifiesWrites = true;     // a write whose cells do not hold the data is refused (1.40 and later)
    bool byteWrites = false;        // 1.10 programs byte by byte
    // Whether one erase of all main memory repeats the timing generator's pass up to the flash's
    // cumulative erase time (t_CMErase); 1.10 runs one pass per command and leaves the rest to the host.
    bool cumulativeErase = true;
    // The timing generator's rate the loader divides its MCLK for, at the clock it believes it runs at.
    double flashClockHz = 308'000;
    bool present = true;            // false: the part has no loader ROM, and nothing answers on its pins
    bool wrongPasswordAck = false;  // answer a wrong password with ACK, staying locked
    bool massEraseOnWrongPassword = false;  // 2.xx: a wrong password erases the chip unless BSLKEY is 0
    bool clearsLockA = false;               // 2.xx: its erases reach information segment A
    bool failedAnswer70 = false;            // answer a failed command 0x70 instead of NAK
};

// "1.10", "1.30", "1.40", "1.60", "1.61" or "2.xx" (any 2.yy); false for an unknown name.
bool BehaviourForVersion(const std::string& name, BslBehaviour& behaviour);

// The ROM bootstrap loader at the frame level: bytes in, answers out. Code the host loads into RAM and
// starts runs on the chip model, instruction by instruction, with the line bridged to its pins; when
// it jumps back into the loader's ROM the frame-level loader takes over again.
class RomBsl {
public:
    enum class State { kReset, kProgram, kIdle, kFrame };

    struct Reply {
        std::vector<uint8_t> bytes;
        uint32_t busyUs = 0;   // time the loader works before the first answer byte
        bool toFrame = false;  // an answer to a command frame rather than to the sync byte
        uint32_t newBaud = 0;  // the loader changes its speed once the answer is out
    };

    RomBsl(SimDevice& device, const BslBehaviour& behaviour);

    // The entry sequence ended: the loader starts locked, at 9600 baud.
    void Enter();
    // RST went low.
    void HoldInReset();
    // The user's program runs: the loader no longer listens.
    void RunProgram();

    // One byte as the loader's UART received it; endUs is when its stop bit ended on the line (0: as
    // soon as the line is free) and lineBaud the host's speed (both matter to code running in RAM,
    // which times its own UART).
    Reply Receive(uint8_t byte, double endUs = 0, uint32_t lineBaud = 0);

    State GetState() const { return state_; }
    bool Locked() const { return locked_; }
    // The speed the loader listens at; 0 while code in RAM runs, which reads the line bit by bit at
    // whatever speed the host sends.
    uint32_t Baud() const { return cpuRunning_ ? 0 : baud_; }
    // The chip model that runs code from RAM (its clock spread can be set for a test).
    Msp430Machine& Cpu() { return cpu_; }
    bool CodeRunning() const { return cpuRunning_; }
    // 0 for the ROM loader, else the start address of the RAM loader that runs.
    uint16_t RamLoader() const { return ramLoader_; }
    const BslBehaviour& Behaviour() const { return active_; }
    uint32_t FramesReceived() const { return frames_; }

    // Called with "RX" and each complete frame or sync byte received, and "TX" and each answer.
    std::function<void(const char* direction, const std::vector<uint8_t>& bytes)> trace;
    // Called with the time the target works (programming, erasing) before it answers.
    std::function<void(uint32_t busyUs)> onBusy;

private:
    Reply Execute();
    Reply Ack() const;
    Reply Nak() const;
    Reply Failed() const;
    Reply DataFrame(const std::vector<uint8_t>& data) const;
    bool Supports(uint8_t command) const;
    bool PasswordMatches() const;
    Reply LoadPc(uint16_t address);
    Reply CodeReceive(uint8_t byte, double endUs, uint32_t lineBaud);
    Reply ChangeBaud(uint8_t d1, uint8_t d2, uint8_t d3);
    // An erase of all main memory (and information memory with it), through the flash controller.
    Reply EraseAll(bool withInfo);
    // One flash operation as the loader runs it; returns the time it took.
    uint32_t FlashOperation(uint16_t mode, uint32_t address, uint16_t value = 0xFFFF, bool byte = false);
    // The timing generator's divider for the MCLK the loader believes it has.
    void SetFlashClock(double loaderMclkHz);

    SimDevice& device_;
    BslBehaviour rom_;
    BslBehaviour active_;
    State state_ = State::kProgram;
    bool locked_ = true;
    uint32_t baud_ = 9600;
    uint16_t ramLoader_ = 0;
    double loaderMclkHz_ = 0;
    uint8_t flashDivider_ = 0;  // FN in FCTL2
    uint16_t offset_ = 0;  // the upper address word set by command 0x21
    uint32_t frames_ = 0;
    std::vector<uint8_t> frame_;
    bool watchdogReset_ = false;  // the answer goes out, then the chip resets
    FlashController flash_;
    Msp430Machine cpu_;
    bool cpuRunning_ = false;
    uint16_t startAt_ = 0;   // code to start once the load-PC answer is out
    double lastEndUs_ = 0;
    std::vector<uint8_t> codeFrame_;  // what the code in RAM received since its last answer
};

}  // namespace quarzo::sim
