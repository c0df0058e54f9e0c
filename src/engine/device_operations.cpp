// The device actions of a run: each talks to the current adapter, moves data between the target and the
// image, and writes its own lines and progress.
#include <algorithm>
#include <vector>

#include "core/device_table.h"
#include "engine/programmer.h"

namespace quarzo {

namespace {

constexpr int kResetMethods = 7;
constexpr int kEraseMain = 1;
constexpr int kEraseMainAndInfo = 2;
constexpr int kRamStart = 0x0200;
constexpr int kBslStart = 0x0C00;
constexpr int kBslLength = 0x400;
constexpr uint32_t kIdBytesAddress = 0x0FF0;
constexpr uint32_t kFuseAddress = 0x1000;
constexpr uint32_t kWholeImage = 0xFFFFFFFF;

constexpr const char* kFuseQuestion =
    "Warning, blow fuse operation is irreversible!\r\n"
    "Note, that JTAG access will no longer be available after this operation.\r\n"
    "Are you still want to continue?";

}  // namespace

bool Programmer::Fail(const char* name) {
    int code = current_->GetErrorCode();
    // An operation cut short by a stop request fails quietly, like a stop seen between chunks.
    if (worker_.Cancel().IsRaised()) return false;
    sink_->Log(kLogError, "%s failed. %s.", name, current_->GetErrorText(code));
    return false;
}

bool Programmer::Finish(const char* name, int code) {
    if (code != 0) return Fail(name);
    sink_->Log(kLogInfo, "%s complete.", name);
    return true;
}

void Programmer::StoreBytes(int address, const uint8_t* data, int length) {
    ImageGuard guard(imageMutex_);
    for (int i = 0; i < length; ++i) image_.SetByte(static_cast<uint32_t>(address + i), data[i]);
}

void Programmer::ModifyImageFlags(uint32_t start, uint32_t length, uint16_t set, uint16_t clear) {
    ImageGuard guard(imageMutex_);
    image_.ModifyFlags(start, length, set, clear);
}

void Programmer::ClearImage(bool forgetFileName) {
    ImageGuard guard(imageMutex_);
    image_.Clear();
    if (forgetFileName) image_.SetFileName("");
}

std::vector<AddressRange> Programmer::WorkRanges(uint32_t start, uint32_t end) {
    if (!current_->KeepsCalibrationSegment() || end < kSegmentAStart || start > kSegmentAEnd) {
        return {{start, end}};
    }
    if (!image_.AllAbsent(kSegmentAStart, kSegmentAEnd - kSegmentAStart + 1) && !segmentAWarned_) {
        segmentAWarned_ = true;
        sink_->Log(kLogInfo,
                   "Warning: Information segment A (0x%.4X-0x%.4X) holds the chip's calibration data; the "
                   "image's bytes there are left out.",
                   kSegmentAStart, kSegmentAEnd);
    }
    std::vector<AddressRange> ranges;
    if (start < kSegmentAStart) ranges.push_back({start, kSegmentAStart - 1u});
    if (end > kSegmentAEnd) ranges.push_back({kSegmentAEnd + 1u, end});
    return ranges;
}

bool Programmer::ForEachChunk(uint32_t start, uint32_t end, int& code,
                              const std::function<int(uint32_t, uint8_t*, uint32_t)>& step) {
    for (const AddressRange& range : WorkRanges(start, end)) {
        ImageRunReader runs(image_, range.first, range.last,
                            2 * static_cast<uint32_t>(current_->GetBlockSize()), true);
        uint32_t chunk, length;
        while (code == 0 && runs.Next(chunk, length)) {
            if (IsStopRequested()) return false;
            code = step(chunk, runs.Data(), length);
            if (code != 0) break;
            sink_->ProgressPos(static_cast<int>(chunk));
        }
    }
    return true;
}

void Programmer::DeviceRange(uint32_t& start, uint32_t& end) {
    start = image_.Lowest();
    end = image_.Highest();
    const DeviceInfo& d = current_->device;
    if (start < d.InfoStart()) {
        start = d.InfoStart();
        sink_->Log(kLogInfo, "Warning: Device memory started at 0x%.4X...", d.InfoStart());
    }
    if (end > d.MainEnd()) {
        end = d.MainEnd();
        sink_->Log(kLogInfo, "Warning: Device memory end at 0x%.4X...", d.MainEnd());
    }
}

bool Programmer::Initialize() {
    sink_->Log(kLogInfo, "Initialize...");
    if (current_->Open() != 0) return Fail("Init");
    const DeviceInfo& d = current_->device;
    sink_->Log(kLogInfo, "Device: %s. Info(0x%.4X-0x%.4X), Main:(0x%.4X-0x%.4X)", d.Name().c_str(),
               d.InfoStart(), d.InfoEnd(), d.MainStart(), d.MainEnd());
    run_.deviceIndex = d.DeviceIndex();
    deviceIndex = run_.deviceIndex;  // the window shows it, and the next run starts from it
    return true;
}

bool Programmer::ImageFitsDevice() {
    const DeviceInfo& d = current_->device;
    // An adapter that reports no memory (the null adapter) has nothing to check against.
    if (!(flags_ & (kActionProgram | kActionVerify)) || image_.IsEmpty() || d.MainEnd() == 0) return true;
    // The gaps around the two memories; the part has nothing there to program or compare.
    std::vector<AddressRange> outside;
    if (d.InfoStart() > 0) outside.push_back({0, d.InfoStart() - 1u});
    if (d.MainStart() > d.InfoEnd() + 1) outside.push_back({d.InfoEnd() + 1u, d.MainStart() - 1u});
    outside.push_back({d.MainEnd() + 1u, kWholeImage - 1});
    std::vector<AddressRange> misfits;
    {
        ImageGuard guard(imageMutex_);
        for (const AddressRange& gap : outside) {
            uint32_t first = std::max(gap.first, image_.Lowest());
            uint32_t last = std::min(gap.last, image_.Highest());
            // The memories lie between the gaps, so no run joins one of the gap before.
            std::vector<AddressRange> runs = image_.PresentRuns(first, last);
            misfits.insert(misfits.end(), runs.begin(), runs.end());
        }
    }
    if (misfits.empty()) return true;
    std::string ranges;
    for (size_t i = 0; i < misfits.size() && i < 8; ++i) {
        ranges += FormatText("%s0x%.4X-0x%.4X", i ? ", " : "", misfits[i].first, misfits[i].last);
    }
    if (misfits.size() > 8) ranges += FormatText(" and %u more", static_cast<unsigned>(misfits.size() - 8));
    sink_->Log(kLogError,
               "The image does not fit the %s (Info 0x%.4X-0x%.4X, Main 0x%.4X-0x%.4X): %s lie outside. "
               "Nothing was changed.",
               d.Name().c_str(), d.InfoStart(), d.InfoEnd(), d.MainStart(), d.MainEnd(), ranges.c_str());
    return false;
}

bool Programmer::AdapterInformation() {
    sink_->Log(kLogInfo, "Get adapter information...");
    char info[Adapter::kInfoSize] = {};
    if (current_->GetInfo(info) != 0) return Fail("Operation");
    info[Adapter::kInfoSize - 1] = '\0';
    sink_->Log(kLogInfo, "Adapter: %s", info);
    return true;
}

bool Programmer::DumpDeviceId() {
    if (kind_ != kAdapterRawJtag) {
        sink_->Log(kLogError, "Error: Available only in RAW mode.");
        return false;
    }
    DeviceInfo& d = current_->device;
    std::fill(d.IdBytes(), d.IdBytes() + 16, 0);
    d.SetFuseValue(0xFFFF);
    // The dump goes on after a failed initialization, with the values above, but the run fails: zeros
    // in the image are not an identification.
    bool identified = Initialize();
    uint8_t fuse[2] = {static_cast<uint8_t>(d.FuseValue()), static_cast<uint8_t>(d.FuseValue() >> 8)};
    ClearImage(false);
    StoreBytes(kIdBytesAddress, d.IdBytes(), 16);
    StoreBytes(kFuseAddress, fuse, 2);
    viewChanged = true;
    return identified;
}

bool Programmer::UpdateFirmware() {
    if (kind_ != kAdapterFetDll) {
        sink_->Log(kLogError, "Error: Available only with the FET library.");
        return false;
    }
    sink_->Log(kLogInfo, "Updating the FET's firmware...");
    sink_->ProgressStart(0, 100);
    int code = current_->UpdateFirmware([this](int percent) { sink_->ProgressPos(percent); });
    sink_->ProgressEnd();
    return Finish("Firmware update", code);
}

bool Programmer::ResetTarget() {
    if (!current_->IsOpen()) return false;
    sink_->Log(kLogInfo, "Reset target...");
    return Finish("Reset", current_->Reset(kResetMethods, 1, 1));
}

bool Programmer::Erase() {
    if (!current_->IsOpen()) return false;
    const DeviceInfo& d = current_->device;
    sink_->ProgressStart(0, 6);
    sink_->ProgressPos(3);
    sink_->Log(kLogInfo, "Erasing flash memory...");
    int code = current_->Erase(run_.includeInfo ? kEraseMainAndInfo : kEraseMain, d.MainStart(),
                               static_cast<int>(d.MainEnd() - d.MainStart() + 1));
    sink_->ProgressPos(6);
    return Finish("Erase", code);
}

bool Programmer::BlankCheck() {
    if (!current_->IsOpen()) return false;
    const DeviceInfo& d = current_->device;
    sink_->ProgressStart(0, 6);
    sink_->Log(kLogInfo, "Blank check device memory...");
    sink_->ProgressPos(2);
    if (run_.includeInfo) {
        // The calibration data of F2xx parts is not erased, so it is not blank either.
        int infoEnd = current_->KeepsCalibrationSegment() ? kSegmentAStart - 1 : d.InfoEnd();
        int code = current_->BlankCheck(d.InfoStart(), infoEnd - d.InfoStart() + 1);
        if (code != 0) return Finish("Blank check", code);
    }
    int code = current_->BlankCheck(d.MainStart(), static_cast<int>(d.MainEnd() - d.MainStart() + 1));
    sink_->ProgressPos(6);
    return Finish("Blank check", code);
}

bool Programmer::Program() {
    if (!current_->IsOpen()) return false;
    sink_->Log(kLogInfo, "Programming the device memory...");
    uint32_t start, end;
    DeviceRange(start, end);
    ModifyImageFlags(0, kWholeImage, 0, EntryMismatch);
    sink_->RefreshView(0);
    const DeviceInfo& d = current_->device;
    if (!run_.includeInfo && start <= d.InfoEnd()) start = d.MainStart();
    sink_->ProgressStart(static_cast<int>(start), static_cast<int>(end));

    int code = 0;
    bool stopped = !ForEachChunk(start, end, code, [this](uint32_t chunk, uint8_t* data, uint32_t length) {
        int result = current_->WriteMemory(static_cast<int>(chunk), data, static_cast<int>(length));
        if (result != 0) ModifyImageFlags(chunk, length, EntryMismatch, 0);
        return result;
    });
    if (stopped) return false;
    sink_->ProgressEnd();
    return Finish("Program", code);
}

bool Programmer::Verify() {
    if (!current_->IsOpen()) return false;
    sink_->Log(kLogInfo, "Verifying device memory programming...");
    uint32_t start, end;
    DeviceRange(start, end);
    ModifyImageFlags(0, kWholeImage, 0, EntryVerified | EntryMismatch);
    sink_->RefreshView(0);
    sink_->ProgressStart(static_cast<int>(start), static_cast<int>(end));

    int code = 0;
    int errors = 0;
    bool stopped = !ForEachChunk(start, end, code, [&](uint32_t chunk, uint8_t* data, uint32_t length) {
        int result = current_->ReadMemory(static_cast<int>(chunk), data, static_cast<int>(length));
        if (result != 0) return result;
        ImageGuard guard(imageMutex_);
        errors += static_cast<int>(image_.CompareBlock(chunk, data, length));
        return 0;
    });
    if (stopped) return false;
    sink_->ProgressEnd();
    if (code != 0) return Fail("Verify");
    if (errors != 0) {
        sink_->Log(kLogError, "Verify failed. Found %d errors", errors);
        return false;
    }
    return Finish("Verify", 0);
}

bool Programmer::Read() {
    if (!current_->IsOpen()) return false;
    const DeviceInfo& d = current_->device;
    ClearImage(true);
    viewChanged = true;
    sink_->RefreshView(1);
    sink_->Log(kLogInfo, "Reading device memory..");
    sink_->ProgressStart(d.InfoStart(), static_cast<int>(d.MainEnd()));

    uint8_t buffer[kReadBufferSize];
    // The information memory in one piece (it is at most 256 bytes on every known part); only a larger
    // range reported by an adapter is read in buffer-sized pieces.
    int code = 0;
    for (int address = d.InfoStart(); code == 0 && address <= d.InfoEnd();) {
        int length = std::min(kReadBufferSize, d.InfoEnd() - address + 1);
        code = current_->ReadMemory(address, buffer, length);
        if (code != 0) break;
        StoreBytes(address, buffer, length);
        address += length;
        sink_->ProgressPos(address);
    }
    if (code == 0) {
        // A block size beyond the buffer would overrun it.
        int blockSize = std::clamp(current_->GetBlockSize(), 2, kReadBufferSize);
        int mainEnd = static_cast<int>(d.MainEnd());
        for (int address = d.MainStart(); code == 0 && address <= mainEnd;) {
            if (IsStopRequested()) return false;
            int length = std::min(blockSize, mainEnd - address + 1);
            code = current_->ReadMemory(address, buffer, length);
            if (code == 0) StoreBytes(address, buffer, length);
            address += length;
            sink_->ProgressPos(address);
        }
    }
    sink_->ProgressEnd();
    return Finish("Read", code);
}

bool Programmer::DumpMemory(int address, int length) {
    if (!current_->IsOpen()) return false;
    sink_->Log(kLogInfo, "Dump device memory at 0x%X...", address);
    ClearImage(false);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::max(length, 0)));
    int code = current_->ReadMemory(address, buffer.data(), length);
    if (code == 0) StoreBytes(address, buffer.data(), length);
    viewChanged = true;
    return Finish("Dump", code);
}

bool Programmer::DumpRam() {
    int ramEnd = current_->device.RamEnd();
    return DumpMemory(kRamStart, ramEnd < kRamStart ? 0 : ramEnd - (kRamStart - 1));
}

bool Programmer::DumpBsl() {
    return DumpMemory(kBslStart, kBslLength);
}

bool Programmer::BlowFuse() {
    if (!current_->IsOpen()) return false;
    sink_->Log(kLogInfo, "Blowing secure fuse...");
    if (sink_->Ask("%s", kFuseQuestion) == 1) return Finish("Blow fuse", current_->BlowFuse());
    sink_->Log(kLogInfo, "Operation canceled by user");
    return false;
}

}  // namespace quarzo
