#pragma once

#include <cstdint>
#include <vector>

#include "sim/flash_controller.h"
#include "sim/msp430_cpu.h"
#include "sim/sim_device.h"

namespace quarzo::sim {

// An F1xx chip running code: the CPU with its memory (through the device model and the flash
// controller), ports P1 and P2, the watchdog and the basic clock module, in virtual time. The serial
// line of the bootstrap loader is bridged to the pins: bytes from the host become levels on P2.2 at the
// line's bit time, and the levels the code drives on P1.1 become bytes read at the host's speed.
class Msp430Machine final : public Msp430Bus {
public:
    enum class Stop { kWaitingForInput, kReturnedToRom, kFault, kTimeLimit };

    // Peripheral addresses.
    static constexpr uint16_t kP1In = 0x20, kP1Out = 0x21, kP1Dir = 0x22;
    static constexpr uint16_t kP2In = 0x28, kP2Out = 0x29, kP2Dir = 0x2A;
    static constexpr uint16_t kDcoCtl = 0x56, kBcsCtl1 = 0x57, kBcsCtl2 = 0x58;
    static constexpr uint16_t kWdtCtl = 0x0120;
    static constexpr uint8_t kTxPin = 0x02;  // P1.1
    static constexpr uint8_t kRxPin = 0x04;  // P2.2

    Msp430Machine(SimDevice& device, FlashController& flash);

    // The DCO's frequency for DCOCTL and BCSCTL1 as the F1xx data sheets describe it roughly: each
    // RSEL step about 1.65 times the last, each DCO step about 1.12, MOD between two DCO steps;
    // chipFactor is this chip's spread (a real part lies anywhere in a band around the typical value).
    double DcoHz() const;
    // This chip's spread; 1 is the typical part.
    void SetChipFactor(double factor) {
        chipFactor_ = factor;
        UpdateClocks();
    }
    // The clock registers as the ROM loader leaves them.
    void SetClock(uint8_t dcoCtl, uint8_t bcsCtl1) {
        dcoCtl_ = dcoCtl;
        bcsCtl1_ = bcsCtl1;
        UpdateClocks();
    }

    // Starts the code at address at the given line time; the RAM keeps what the loader wrote there.
    void Start(uint16_t address, double nowUs);
    // One byte from the host on the line at baud, its start bit at startUs (later if the line is busy).
    void QueueInput(uint8_t byte, uint32_t baud, double startUs);
    // Runs until the code waits for a byte the host has not sent, leaves RAM for the loader's ROM,
    // faults, or the time limit passes.
    Stop Run(double limitUs);
    // The bytes the code sent since the last call, read at baud, and when the first began.
    std::vector<uint8_t> TakeOutput(uint32_t baud, double* firstStartUs);

    double NowUs() const { return nowUs_; }
    // When the last byte queued has arrived whole.
    double InputEndUs() const { return inputEndUs_; }
    uint64_t Cycles() const { return cpu_.cycles; }
    Msp430Cpu& Cpu() { return cpu_; }
    // What the loader's flash work saw: operations whose timing-generator clock was out of range.
    FlashController& Flash() { return flash_; }

    // The bus, for the CPU.
    uint16_t Read(uint16_t address, bool byte) override;
    void Write(uint16_t address, uint16_t value, bool byte) override;

private:
    struct Input {
        double startUs;
        double bitUs;
        uint16_t frame;  // 11 bits from the start bit: start, 8 data, even parity, stop
    };
    struct Edge {
        double atUs;
        bool level;
    };

    int SkipDelayLoop(uint16_t pc);
    void UpdateClocks();
    bool RxLevel(double atUs);
    void SetTx(bool level);
    uint8_t ReadPeripheral(uint16_t address);
    void WritePeripheral(uint16_t address, uint8_t value);
    void Fault() { faulted_ = true; }

    SimDevice& device_;
    FlashController& flash_;
    Msp430Cpu cpu_;
    double nowUs_ = 0;
    bool faulted_ = false;
    bool waiting_ = false;
    uint8_t dcoCtl_ = 0x60, bcsCtl1_ = 0x84, bcsCtl2_ = 0;
    double chipFactor_ = 1.0;
    double dcoHz_ = 0, mclkHz_ = 0, smclkHz_ = 0;  // from the registers, kept for every step
    uint8_t p1Out_ = 0, p1Dir_ = 0, p2Out_ = 0, p2Dir_ = 0;
    bool watchdogHeld_ = false;
    double watchdogStartUs_ = 0;
    std::vector<Input> input_;
    double inputEndUs_ = 0;
    bool txLevel_ = true;
    std::vector<Edge> tx_;
};

}  // namespace quarzo::sim
