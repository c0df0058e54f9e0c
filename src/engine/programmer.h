#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adapters/bsl/bsl_adapter.h"
#include "adapters/fetdll/fet_dll_adapter.h"
#include "adapters/jtag/raw_jtag_adapter.h"
#include "core/memory_image.h"
#include "engine/action_flags.h"
#include "engine/log_sink.h"
#include "engine/null_adapter.h"
#include "engine/worker_thread.h"

namespace quarzo {

class SettingsStore;

// The engine: owns the adapters, the image and the options, loads and saves files, and runs the
// requested actions on the worker thread in a fixed order, reporting through a LogSink.
class Programmer {
public:
    static constexpr int kMaxArguments = 128;
    static constexpr int kReadBufferSize = 512;

    Programmer();
    ~Programmer();
    Programmer(const Programmer&) = delete;
    Programmer& operator=(const Programmer&) = delete;

    void SetSink(LogSink* sink) { sink_ = sink ? sink : &silentSink_; }
    LogSink& Sink() { return *sink_; }

    // 0 direct JTAG, 1 FET library, 2 bootstrap loader, anything else the null adapter.
    void SelectAdapter(int kind);
    // Copies the stored settings into the options and the adapters, then selects the stored adapter.
    void ApplySettings(const SettingsStore& settings);
    // Makes an adapter the Programmer does not own current, as the given kind (tests, tools).
    void UseAdapter(Adapter* adapter, int kind);
    Adapter* CurrentAdapter() const { return current_; }
    int Kind() const { return kind_; }

    bool LoadFile(const std::string& path, int type);
    bool SaveFile(const std::string& path, int type);

    void Start(ActionFlags flags);
    bool StartCommandLine(const char* text);
    bool IsBusy() const { return worker_.IsRunning(); }
    // Stops a run in progress, saying so in the log; nothing when idle.
    void BreakRunningWorker();
    void StopWorker() { worker_.Stop(); }
    // Waits for the current run to end by itself; its result.
    RunResult WaitForRun() { return worker_.Join(); }
    RunResult Run();
    bool IsStopRequested() { return worker_.PollStop(); }
    WorkerThread& Worker() { return worker_; }

    ActionFlags Flags() const { return flags_; }
    // Where a command line's "-o" saves the image after a successful run; empty for none.
    const std::string& OutputFile() const { return outputFile_; }
    RunResult Result() const { return result_; }
    MemoryImage& Image() { return image_; }
    RawJtagAdapter& RawJtag() { return rawJtag_; }
    FetDllAdapter& FetDll() { return fetDll_; }
    BslAdapter& Bsl() { return bsl_; }
    NullAdapter& Null() { return null_; }

    // Options, written by the settings and the command line.
    bool viewChanged = false;
    int deviceIndex = 0;
    bool includeInfo = true;
    bool removeGaps = true;
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

private:
    friend bool ParseCommandLine(Programmer& programmer, std::vector<std::string> tokens);

    bool StartWorker();
    void SetPriorities();
    bool DispatchStep();
    bool RunAction();
    void CopyPassword();
    // The image's present range limited to the device, with a warning for each limit applied.
    void DeviceRange(uint32_t& start, uint32_t& end);
    bool Fail(const char* name);
    bool Finish(const char* name, int code);
    void StoreBytes(int address, const uint8_t* data, int length);

    Adapter* current_ = nullptr;
    LogSink* sink_;
    int kind_ = kAdapterBsl;
    ActionFlags flags_ = 0;
    WorkerThread worker_;
    std::string commandText_;
    std::vector<std::string> arguments_;  // tokens of the last command line, until its run parses them
    RunResult result_ = 0;
    std::string outputFile_;

    FetDllAdapter fetDll_;
    BslAdapter bsl_;
    RawJtagAdapter rawJtag_;
    NullAdapter null_;
    MemoryImage image_;
    SilentLogSink silentSink_;
};

}  // namespace quarzo
