#include "ui/shared_memory.h"

#include <cstring>

#include "ui/model/window_model.h"

namespace quarzo {

bool SharedMemory::Open() {
    Close();
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSize, kName);
    if (!mapping_) return false;
    view_ = static_cast<char*>(MapViewOfFile(mapping_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kSize));
    if (!view_) {
        CloseHandle(mapping_);
        mapping_ = nullptr;
        return false;
    }
    return true;
}

void SharedMemory::Close() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
    view_ = nullptr;
    mapping_ = nullptr;
}

HWND SharedMemory::Window() const {
    if (!view_) return nullptr;
    // The handle is stored as 32 bits, which is all a window handle carries on 64-bit Windows too.
    uint32_t value;
    std::memcpy(&value, view_ + kTextSize, sizeof value);
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

void SharedMemory::SetWindow(HWND window) {
    if (!view_) return;
    uint32_t value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
    std::memcpy(view_ + kTextSize, &value, sizeof value);
}

bool SharedMemory::SetText(const std::string& text) {
    if (!view_ || !FitsHandover(text)) return false;
    std::memcpy(view_, text.c_str(), text.size() + 1);
    return true;
}

std::string SharedMemory::Text() const {
    if (!view_) return "";
    return HandoverText(view_);
}

}  // namespace quarzo
