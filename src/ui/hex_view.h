#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "ui/dialog_window.h"

namespace quarzo {

class MemoryImage;

// The memory pane: an owner-drawn virtual list box showing the image as rows of 16 bytes, coloured
// by their flags.
class HexView : public DialogWindow {
public:
    ~HexView();
    bool Create(HWND parent, int dpi);
    // The font and columns for another display scale.
    void SetDpi(int dpi);
    HWND Window() const { return dialog_; }
    HWND List() const { return list_; }

    // Rebuilds the rows; null shows nothing. The image is read only under lock, which a run holds
    // while it changes the image.
    // False, with the view unchanged, when the lock did not come in time.
    bool SetImage(const MemoryImage* image, std::timed_mutex* lock);
    void Redraw() { InvalidateRect(list_, nullptr, FALSE); }
    void NextError();

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void TakeColours();
    void DrawRow(const DRAWITEMSTRUCT& item);
    void MakeFont(int dpi);

    HWND list_ = nullptr;
    HFONT font_ = nullptr;
    HPEN separator_ = nullptr;
    int charWidth_ = 8;
    int rowHeightAtBase_ = 13;
    const MemoryImage* image_ = nullptr;
    std::timed_mutex* lock_ = nullptr;
    std::vector<uint32_t> rows_;
    COLORREF background_, address_, absent_, verified_, mismatch_, present_, characters_;
};

}  // namespace quarzo
