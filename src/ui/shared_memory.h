#pragma once

#include <windows.h>

#include <string>

namespace quarzo {

// The block through which a second start hands its command line to the running window: 260 bytes of
// text, then the running window's handle. Named in the session's namespace with the creator's
// default access, so that no other user's process can drive this user's programmer.
class SharedMemory {
public:
    static constexpr DWORD kSize = 264;
    static constexpr DWORD kTextSize = 260;
    static constexpr const char* kName = "Local\\Quarzo16xSharedData";

    ~SharedMemory() { Close(); }
    bool Open();
    void Close();
    bool IsAvailable() const { return view_ != nullptr; }

    HWND Window() const;
    void SetWindow(HWND window);
    // False, and nothing written, when the text does not fit beside its terminator.
    bool SetText(const std::string& text);
    std::string Text() const;

private:
    HANDLE mapping_ = nullptr;
    char* view_ = nullptr;
};

}  // namespace quarzo
