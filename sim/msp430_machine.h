#pragma once

#include <cstdint>
#include <vector>

#include "sim/clock_model.h"
#include "sim/flash_controller.h"
#include "sim/msp430_cpu.h"
#include "sim/sim_device.h"
#include "sim/timer_a.h"

namespace quarzo::sim {

// An F1xx, F2xx or F4xx chip running code: the CPU with its memory (through the device model and the flash
// controller), ports P1 and P2, the watchdog and the family's clock module (the FLL+ with its loop), in
// virtual time. The serial line of the bootstrap loader is bridged to the pins: bytes from the host become
// levels on P2.2 at the line's bit time, and the levels the code drives on P1.1 become bytes read at the
// host's speed.
class Msp430Machine final : public Msp430Bus {
public:
    enum class Stop { kWaitingForInput, kReturnedToRom, kFault, kTimeLimit };
    // What a word read of an 8-bit peripheral register returns in its high byte, which the family
    // guides call unpredictable: zero, or the register at the odd address above.
    enum class WordReadHigh { kZero, kNeighbour };

    // Peripheral addresses.
    static constexpr uint16_t kP1In = 0x20, kP1Out = 0x21, kP1Dir = 0x22, kP1Sel = 0x26;
    static constexpr uint16_t kP2In = 0x28, kP2Out = 0x29, kP2Dir = 0x2A, kP2Sel = 0x2E;
    static constexpr uint16_t kDcoCtl = 0x56, kBcsCtl1 = 0x57, kBcsCtl2 = 0x58, kBcsCtl3 = 0x53;
    static constexpr uint16_t kScfi0 = 0x50, kScfi1 = 0x51, kScfqCtl = 0x52, kFllCtl0 = 0x53, kFllCtl1 = 0x54;
    static constexpr uint16_t kSvsCtl = 0x56;
    static constexpr uint16_t kWdtCtl = 0x0120;

    Msp430Machine(SimDevice& device, FlashController& flash);

    // The DCO's frequency from this chip's clock registers and spread.
    double DcoHz() const { return DcoFrequency(clockSystem_, clock_[0], clock_[1], chipFactor_); }
    double MclkHz() const { return mclkHz_; }
    // This chip's spread; 1 is the typical part. An F2xx chip's factory calibration follows it.
    double ChipFactor() const { return chipFactor_; }
    void SetChipFactor(double factor) {
        chipFactor_ = factor;
        Calibrate();
        UpdateClocks();
    }
    ClockSystem GetClockSystem() const { return clockSystem_; }
    // The clock as the ROM loader sets it up when it starts, which code it starts finds.
    void LoaderClock();
    // The DCO's two registers (DCOCTL and BCSCTL1, or SCFI0 and SCFI1).
    void SetClock(uint8_t first, uint8_t second) {
        clock_[0] = first;
        clock_[1] = second;
        UpdateClocks();
    }
    WordReadHigh wordReadHigh = WordReadHigh::kZero;

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
    // The time the flash controller spent on erases of all main memory (with or without information
    // memory) for code that ran here, summed over every pass: F1xx and F4xx flash needs 200 ms.
    double MassEraseUs() const { return massEraseUs_; }

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
    void FllElapse(double us);
    bool RxLevel(double atUs);
    void SetTx(bool level, double atUs);
    bool TxLevel() const;
    uint8_t PortIn(int port);
    uint8_t& PortRegister(int port, int which);
    void TimerInterrupts();
    uint8_t ReadPeripheral(uint16_t address);
    void WritePeripheral(uint16_t address, uint8_t value);
    void Fault() { faulted_ = true; }

    SimDevice& device_;
    FlashController& flash_;
    Msp430Cpu cpu_;
    double nowUs_ = 0;
    bool faulted_ = false;
    bool waiting_ = false;
    int ClockRegister(uint16_t address) const;
    void Calibrate();
    // Which of the DCO's two registers the address is: DCOCTL or SCFI0 first, BCSCTL1 or SCFI1 second.
    static int DcoIndex(uint16_t address) { return address == kScfi0 || address == kDcoCtl ? 0 : 1; }

    ClockSystem clockSystem_ = ClockSystem::kBasic;
    // The DCO's registers (DCOCTL, BCSCTL1 or SCFI0, SCFI1) as the F1xx loader leaves them; BCSCTL2;
    // and the other clock registers of the family (0x50 to 0x58), kept as written.
    uint8_t clock_[2] = {0x80, 0x85};
    uint8_t bcsCtl2_ = 0;
    uint8_t otherClock_[9] = {};
    double chipFactor_ = 1.0;
    double dcoHz_ = 0, mclkHz_ = 0, smclkHz_ = 0;  // from the registers, kept for every step
    double fllAclkCycles_ = 0;                     // ACLK periods not yet taken by the FLL+ loop
    // Ports 1 and 2: OUT, DIR and SEL of each.
    uint8_t ports_[2][3] = {};
    // The loader's pins, from the part: F1xx and F2xx transmit on P1.1 (TA0 output) and receive on
    // P2.2 (TA0 capture input CCI0B); F4xx transmit on P1.0 and receive on P1.1.
    int txPort_ = 1, rxPort_ = 2;
    uint8_t txBit_ = 0x02, rxBit_ = 0x04;
    TimerA timer_;
    uint16_t timerVectors_[2] = {0xFFEC, 0xFFEA};
    bool meras_ = false;  // FCTL1 selects an erase of all main memory
    double massEraseUs_ = 0;
    bool watchdogHeld_ = false;
    double watchdogStartUs_ = 0;
    std::vector<Input> input_;
    double inputEndUs_ = 0;
    bool txLevel_ = true;
    std::vector<Edge> tx_;
};

}  // namespace quarzo::sim
