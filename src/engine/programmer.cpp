#include "engine/programmer.h"

#include <string>

#include "core/device_table.h"
#include "core/file_format.h"
#include "core/firmware_file.h"
#include "engine/output_check.h"
#include "platform/thread_priority.h"

namespace quarzo {

namespace {
constexpr uint32_t kVectorsStart = 0xFFE0;
constexpr uint32_t kVectorsEnd = 0xFFFF;
constexpr uint32_t kAddressSpaceEnd = MemoryImage::kEntryCount - 1;
constexpr const char* kAddressSpace = "the address space";
}  // namespace

bool Programmer::ReportBeyond(const ByteSpan& span, const std::string& limit, uint32_t end, bool refuse) {
    if (span.count == 0) return true;
    bool one = span.count == 1;
    std::string what =
        std::to_string(span.count) + (one ? " byte of the file lies" : " bytes of the file lie");
    auto first = static_cast<unsigned long long>(span.first);
    auto last = static_cast<unsigned long long>(span.last);
    if (refuse) {
        sink_->Log(kLogError,
                   "Error: %s beyond %s (up to 0x%X), at 0x%llX-0x%llX: nothing is programmed until the file "
                   "leaves %s out.",
                   what.c_str(), limit.c_str(), end, first, last, one ? "it" : "them");
    } else {
        const char* dropped = end != kAddressSpaceEnd ? ""
                              : one                   ? "; it is not loaded"
                                                      : "; they are not loaded";
        sink_->Log(kLogInfo, "Warning: %s beyond %s (up to 0x%X), at 0x%llX-0x%llX%s.", what.c_str(),
                   limit.c_str(), end, first, last, dropped);
    }
    return false;
}

Programmer::Programmer(const AdapterList& adapters) : sink_(&silentSink_), adapters_(adapters) {}

Programmer::~Programmer() {
    worker_.Stop();
}

Adapter* Programmer::AdapterOfKind(int kind) const {
    if (kind < kAdapterRawJtag || kind > kAdapterBsl) kind = kAdapterNull;
    return adapters_[static_cast<size_t>(kind)];
}

void Programmer::SelectAdapter(int kind) {
    if (kind < kAdapterRawJtag || kind > kAdapterBsl) kind = kAdapterNull;
    current_ = AdapterOfKind(kind);
    kind_ = kind;
}

void Programmer::UseAdapter(Adapter* adapter, int kind) {
    current_ = adapter;
    kind_ = kind;
}

RunOptions Programmer::CurrentOptions() const {
    return {deviceIndex.load(), includeInfo.load(), removeGaps, autodetectFormat, gapFill};
}

bool Programmer::LoadFile(const std::string& path, int type) {
    return LoadImage(path, type, CurrentOptions());
}

bool Programmer::SaveFile(const std::string& path, int type) {
    return SaveImage(path, type, CurrentOptions());
}

bool Programmer::LoadImage(const std::string& path, int type, const RunOptions& options) {
    if (type == kFormatUnknown) type = FormatFromExtension(path);
    // Compilers name their ELF output without an extension, and ".ihex" and the like are common.
    if (type == kFormatUnknown && options.autodetectFormat) type = FormatFromContent(path);
    if (type == kFormatUnknown) {
        sink_->Log(kLogInfo, "Warning: Unknown file type. Load as binary.");
        type = kFormatBinary;
    }
    sink_->Log(kLogInfo, "Loading %s file \"%s\"...", FormatName(type), path.c_str());
    FirmwareFile file(image_);
    int count;
    int error;
    ByteSpan outside, beyondPart;
    // The part chosen (or found by the last run) tells where its memory ends.
    const int part = options.deviceIndex;
    uint32_t partEnd = part != 0 ? DeviceLayout(part).mainEnd : 0;
    {
        ImageGuard guard(imageMutex_);
        count = file.Load(path, type);
        error = file.TakeError();
        outside = image_.OutsideBytes();
        if (partEnd != 0 && count >= 1) beyondPart = image_.PresentBytes(partEnd + 1, kAddressSpaceEnd);
        if (count < 1) image_.Clear();
        image_.SetFileName(count < 1 ? "" : path);
        image_.SetModified(false);
    }
    viewChanged = true;
    if (count < 1) {
        sink_->Log(kLogError, "Load failed. Error: %s.", ErrorText(error));
    } else {
        sink_->Log(kLogInfo, "Load %d bytes.", count);
    }
    ReportBeyond(outside, kAddressSpace, kAddressSpaceEnd, false);
    ReportBeyond(beyondPart, std::string("the memory of the ") + DeviceName(part), partEnd, false);
    return count >= 1;
}

bool Programmer::SaveImage(const std::string& path, int type, const RunOptions& options) {
    std::string name = path;
    if (type == kFormatUnknown || type == kFormatElf) type = SaveFormatFromExtension(name);
    // Never another name than the one given: a file of that name would be replaced unasked.
    if (type == kFormatUnknown) {
        sink_->Log(kLogError, "Save failed. Unknown file type \"%s\": the extensions written are %s.",
                   name.c_str(), SaveExtensionList());
        return false;
    }
    uint32_t removed = 0;
    {
        ImageGuard guard(imageMutex_);
        image_.SetFileName(name);
        name = image_.FileName();
        if (options.removeGaps) removed = image_.RemoveGaps(options.gapFill);
    }
    if (removed > 0) sink_->Log(kLogInfo, "Remove %d gap bytes.", static_cast<int>(removed));
    sink_->Log(kLogInfo, "Saving %s file \"%s\"...", FormatName(type), name.c_str());
    FirmwareFile file(image_);
    bool ok = file.Save(name, type) > 0;
    viewChanged = true;
    if (ok) {
        sink_->Log(kLogInfo, "Save complete.");
        ImageGuard guard(imageMutex_);
        image_.SetModified(false);
    } else {
        sink_->Log(kLogError, "Save failed. %s.", ErrorText(file.TakeError()));
    }
    return ok;
}

void Programmer::SetPriorities() {
    bool jtag = kind_ == kAdapterRawJtag;
    platform::SetProcessRealtime(jtag);
    worker_.SetPriority(jtag ? platform::kThreadPriorityTimeCritical : platform::kThreadPriorityNormal);
}

void Programmer::BreakRunningWorker() {
    if (!IsBusy()) return;
    sink_->Log(kLogInfo, "Break current operation...");
    StopWorker();
}

bool Programmer::StartWorker() {
    // No run is in progress here: the copy is the new run's alone.
    run_ = CurrentOptions();
    if (worker_.Start([this] { return Run(); })) return true;
    result_ = kRunActionFailed;
    platform::SetProcessRealtime(false);
    sink_->Log(kLogError, "Error: The run could not start: no worker thread (%s).",
               worker_.LastError().c_str());
    return false;
}

bool Programmer::Start(ActionFlags flags) {
    BreakRunningWorker();
    flags &= ~kActionStop;
    if (flags == 0) return true;
    flags_ = flags;
    outputFile_.clear();
    SetPriorities();
    return StartWorker();
}

bool Programmer::StartCommandLine(const char* text) {
    BreakRunningWorker();
    arguments_.clear();
    commandText_ = text ? text : "";
    if (!TokenizeCommandLine(commandText_, arguments_, *sink_)) {
        arguments_.clear();
        return false;
    }
    flags_ = kActionParseCommandLine;
    SetPriorities();
    return StartWorker();
}

void Programmer::CopyPassword() {
    if (image_.IsEmpty()) return;
    // Only an image that covers the whole vector table gives the password.
    if (image_.Lowest() > kVectorsStart || image_.Highest() < kVectorsEnd) return;
    std::array<uint8_t, Adapter::kPasswordSize> vectors;
    for (uint32_t i = 0; i < vectors.size(); ++i) vectors[i] = image_.ValueAt(kVectorsStart + i);
    current_->SetPassword(vectors);
}

bool Programmer::ApplyCommandLine(const CommandLinePlan& plan) {
    // What the parse read before a fault still takes effect, until the next settings transfer.
    if (plan.adapter) {
        if (Adapter* adapter = AdapterOfKind(*plan.adapter)) {
            if (plan.devicePath.empty()) adapter->SetPortIndex(plan.portIndex);
            adapter->SetDevicePath(plan.devicePath);
        }
    }
    if (plan.excludeInfo) run_.includeInfo = includeInfo = false;
    flags_ = plan.actions;
    outputFile_ = plan.outputFile;
    if (!plan.accepted) {
        sink_->Log(kLogError, "%s", plan.rejection.c_str());
        return false;
    }
    if (!plan.outputFile.empty()) {
        // Found out now rather than after a long read.
        std::string reason = WritableFileProblem(plan.outputFile);
        if (!reason.empty()) {
            sink_->Log(kLogError, "Cannot write \"%s\": %s", plan.outputFile.c_str(), reason.c_str());
            return false;
        }
    }
    if (plan.file && !LoadImage(*plan.file, kFormatUnknown, run_)) return false;
    if (plan.adapter) SelectAdapter(*plan.adapter);
    return true;
}

RunResult Programmer::Run() {
    auto endEarly = [this](RunResult result) {
        result_ = result;
        platform::SetProcessRealtime(false);
        return result;
    };
    result_ = kRunCommandLineRejected;
    if (flags_ & kActionParseCommandLine) {
        flags_ &= ~kActionParseCommandLine;
        bool accepted =
            commandText_.empty() || arguments_.empty() || ApplyCommandLine(ParseCommandLine(arguments_));
        arguments_.clear();
        if (!accepted) return endEarly(kRunCommandLineRejected);
    }
    if (!current_) return endEarly(kRunNoAdapter);
    // The command line may have chosen another adapter: it watches this run's cancellation too.
    current_->SetCancelFlag(&worker_.Cancel());
    if (flags_ & kActionReload) {
        flags_ &= ~kActionReload;
        if (!LoadImage(image_.FileName(), kFormatUnknown, run_)) return endEarly(kRunReloadFailed);
    }
    // What the image could not hold would be missing from the chip: refused before anything is opened.
    if ((flags_ & kActionProgram) &&
        !ReportBeyond(image_.OutsideBytes(), kAddressSpace, kAddressSpaceEnd, true))
        return endEarly(kRunActionFailed);
    if (kind_ == kAdapterRawJtag && worker_.PriorityRefused() && !priorityNoted_) {
        priorityNoted_ = true;
        sink_->Log(kLogInfo,
                   "Note: running at normal priority; this system does not grant real-time "
                   "scheduling here, so JTAG timing may vary.");
    }
    result_ = kRunActionFailed;
    segmentAWarned_ = false;
    if ((flags_ & kActionBlowFuse) && !current_->CanBlowFuse()) {
        // Refused before anything runs, and before the irreversible question is asked.
        char name[Adapter::kNameSize] = {};
        current_->GetName(name);
        name[Adapter::kNameSize - 1] = '\0';
        sink_->Log(kLogError, "Blow fuse failed. The adapter %s cannot blow the fuse.", name);
        return endEarly(kRunActionFailed);
    }
    current_->device.SetDeviceIndex(static_cast<uint16_t>(run_.deviceIndex));
    current_->onNote = [this](const std::string& line) { sink_->Log(kLogInfo, "%s", line.c_str()); };
    current_->BeginRun((flags_ & kActionErase) != 0);
    CopyPassword();

    while (!IsStopRequested() && DispatchStep()) {
    }
    if (result_ == kRunComplete && !outputFile_.empty() && !SaveImage(outputFile_, kFormatUnknown, run_)) {
        result_ = kRunActionFailed;
    }

    sink_->ProgressEnd();
    platform::SetProcessRealtime(false);
    platform::SetCurrentThreadPriority(platform::kThreadPriorityNormal);
    worker_.SetPriority(platform::kThreadPriorityNormal);
    current_->Close();
    return result_;
}

bool Programmer::DispatchStep() {
    try {
        return RunAction();
    } catch (...) {
        sink_->Log(kLogError, "Error: Unhandled exception detected!");
        return false;
    }
}

bool Programmer::RunAction() {
    if (flags_ == 0) {
        result_ = kRunComplete;
        return false;
    }
    if (flags_ & kActionAdapterInfo) {
        flags_ &= ~kActionAdapterInfo;
        return AdapterInformation();
    }
    if (flags_ & kActionDumpDeviceId) {
        flags_ &= ~kActionDumpDeviceId;
        return DumpDeviceId();
    }
    if (flags_ & kActionUpdateFirmware) {
        flags_ &= ~kActionUpdateFirmware;
        return UpdateFirmware();
    }
    if (!current_->IsOpen()) return Initialize() && ImageFitsDevice();

    struct Step {
        ActionFlags bit;
        bool (Programmer::*action)();
    };
    static constexpr Step kOrder[] = {
        {kActionReset, &Programmer::ResetTarget},     {kActionErase, &Programmer::Erase},
        {kActionBlankCheck, &Programmer::BlankCheck}, {kActionProgram, &Programmer::Program},
        {kActionVerify, &Programmer::Verify},         {kActionRead, &Programmer::Read},
        {kActionDumpRam, &Programmer::DumpRam},       {kActionDumpBsl, &Programmer::DumpBsl},
        {kActionBlowFuse, &Programmer::BlowFuse},
    };
    for (const Step& step : kOrder) {
        if (flags_ & step.bit) {
            flags_ &= ~step.bit;
            return (this->*step.action)();
        }
    }
    return false;
}

}  // namespace quarzo
