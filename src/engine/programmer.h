#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "adapters/base/adapter.h"
#include "core/action_flags.h"
#include "core/memory_image.h"
#include "engine/command_line.h"
#include "engine/log_sink.h"
#include "engine/worker_thread.h"

namespace quarzo {

class SettingsStore;

// The options a run reads, copied when it starts: what changes meanwhile applies to the next run.
struct RunOptions {
    int deviceIndex = 0;
    bool includeInfo = true;
    bool removeGaps = true;
    bool autodetectFormat = true;
    uint8_t gapFill = 0xFF;
};

// The engine: drives the adapters it is given, owns the image and the options, loads and saves files,
// and runs the requested actions on the worker thread in a fixed order, reporting through a LogSink.
class Programmer {
public:
    static constexpr int kReadBufferSize = 512;

    // The adapters stay the caller's; a kind without one has no adapter (a run then ends at once).
    explicit Programmer(const AdapterList& adapters = {});
    ~Programmer();
    Programmer(const Programmer&) = delete;
    Programmer& operator=(const Programmer&) = delete;

    void SetSink(LogSink* sink) { sink_ = sink ? sink : &silentSink_; }

    // 0 direct JTAG, 1 FET library, 2 bootstrap loader, anything else the null adapter.
    void SelectAdapter(int kind);
    // Copies the stored settings into the options and the adapters, then selects the stored adapter.
    void ApplySettings(const SettingsStore& settings);
    // Makes another adapter current, as the given kind (tests, tools).
    void UseAdapter(Adapter* adapter, int kind);
    Adapter* AdapterOfKind(int kind) const;
    Adapter* CurrentAdapter() const { return current_; }
    int Kind() const { return kind_; }

    bool LoadFile(const std::string& path, int type);
    bool SaveFile(const std::string& path, int type);

    // False, with the reason in the log and the run failed, when the worker thread cannot be made.
    bool Start(ActionFlags flags);
    bool StartCommandLine(const char* text);
    bool IsBusy() const { return worker_.IsRunning(); }
    // Stops a run in progress, saying so in the log; nothing when idle.
    void BreakRunningWorker();
    void StopWorker() { worker_.Stop(); }
    // Waits for the current run to end by itself; its result.
    RunResult WaitForRun() { return worker_.Join(); }
    // Waits up to timeoutMs for the current run to end; true once it has.
    bool WaitForRunEnd(int timeoutMs) { return worker_.WaitUntilEnded(timeoutMs); }
    bool IsStopRequested() { return worker_.PollStop(); }
    WorkerThread& Worker() { return worker_; }

    ActionFlags Flags() const { return flags_; }
    RunResult Result() const { return result_; }
    // The worker writes the image during a run; another thread reads it only while holding this lock,
    // which the worker holds just for each change. The window's painting gives up rather than wait long.
    MemoryImage& Image() { return image_; }
    using ImageMutex = std::timed_mutex;
    ImageMutex& ImageLock() { return imageMutex_; }

    // Set when the image or its name changed, cleared by the window that shows it.
    std::atomic<bool> viewChanged{false};
    // Options, written by the settings, the command line and the console's --device. A run copies
    // them at its start; it writes back the part it found and a command line's "-i".
    std::atomic<int> deviceIndex{0};
    std::atomic<bool> includeInfo{true};
    bool removeGaps = true;
    bool autodetectFormat = true;  // a file whose extension is unknown is loaded as what its content is
    uint8_t gapFill = 0xFF;
    ActionFlags autoprogram = kDefaultAutoprogram;

    // Device actions; each returns false on failure or stop, with its own lines.
    bool Initialize();
    bool AdapterInformation();
    bool DumpDeviceId();
    bool ResetTarget();
    bool Erase();
    bool BlankCheck();
    bool Program();
    bool Verify();
    bool Read();
    bool DumpMemory(int address, int length);
    bool DumpRam();
    bool DumpBsl();
    bool BlowFuse();
    bool UpdateFirmware();

private:
    using ImageGuard = std::lock_guard<ImageMutex>;

    // The worker thread's body.
    RunResult Run();
    RunOptions CurrentOptions() const;
    bool LoadImage(const std::string& path, int type, const RunOptions& options);
    bool SaveImage(const std::string& path, int type, const RunOptions& options);
    // Carries out a parsed command line; false when it was rejected or its file did not load.
    bool ApplyCommandLine(const CommandLinePlan& plan);
    bool StartWorker();
    void SetPriorities();
    bool DispatchStep();
    bool RunAction();
    void CopyPassword();
    // Before a program or verify touches the chip: false, with the ranges, when the image holds bytes
    // outside the identified part's information and main memory.
    bool ImageFitsDevice();
    // Data past end (the address space's or the part's, named by limit): false, after saying how much
    // and where; refuse says it as the reason a run that programs stops.
    bool ReportBeyond(const ByteSpan& span, const std::string& limit, uint32_t end, bool refuse);
    // The image's present range limited to the device, with a warning for each limit applied.
    void DeviceRange(uint32_t& start, uint32_t& end);
    // [start, end] without the calibration segment of parts that carry one, with a warning (once a
    // run) when the image holds bytes for it.
    std::vector<AddressRange> WorkRanges(uint32_t start, uint32_t end);
    // The image's runs within the work ranges in chunks of twice the block size, each handed to step
    // (the adapter's code comes back), with the progress after each; code is the first failure's.
    // False when a stop request ended the walk.
    bool ForEachChunk(uint32_t start, uint32_t end, int& code,
                      const std::function<int(uint32_t chunk, uint8_t* data, uint32_t length)>& step);
    bool Fail(const char* name);
    bool Finish(const char* name, int code);
    // Changes of the image during a run, each under the image lock.
    void StoreBytes(int address, const uint8_t* data, int length);
    void ModifyImageFlags(uint32_t start, uint32_t length, uint16_t set, uint16_t clear);
    void ClearImage(bool forgetFileName);

    Adapter* current_ = nullptr;
    LogSink* sink_;
    int kind_ = kAdapterBsl;
    ActionFlags flags_ = 0;
    RunOptions run_;  // the running (or last) run's copy of the options
    WorkerThread worker_;
    std::string commandText_;
    std::vector<std::string> arguments_;  // tokens of the last command line, until its run parses them
    RunResult result_ = 0;
    bool priorityNoted_ = false;  // the refused real-time priority is told once
    std::string outputFile_;  // a command line's "-o": the image is saved there after a successful run
    bool segmentAWarned_ = false;

    AdapterList adapters_;
    MemoryImage image_;
    ImageMutex imageMutex_;
    SilentLogSink silentSink_;
};

}  // namespace quarzo
