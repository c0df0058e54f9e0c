#pragma once

#include <windows.h>

#include <vector>

#include "ui/model/settings_pages.h"

namespace quarzo {

// A property list on an owner-drawn list box: a name column and a value column, categories as header
// rows, check items as check boxes. A click on the value or F2 starts editing in place (a drop-down
// list for booleans and lists, a text box for text); Enter commits, Escape cancels, Tab commits and
// moves on; Space or a click toggles a check item.
class PropertyList {
public:
    // Takes over the list box with that id in the dialog.
    void Attach(HWND dialog, int id);
    void SetItems(std::vector<PropertyItem> items);
    // The items with the edits made so far, an open editor's value included.
    const std::vector<PropertyItem>& Items();
    // The id of the selected item, or -1.
    int SelectedId() const;
    HWND List() const { return list_; }

    // The owner-draw callback, from the dialog. Rows take the height the list box measures from its
    // font: a list box with fixed-height rows asks before its dialog is initialised.
    void Draw(const DRAWITEMSTRUCT& item);

private:
    static LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR self);
    static LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR self);
    void BeginEdit(int index);
    void EndEdit(bool commit);
    void Toggle(int index);
    RECT ValueRect(int index) const;
    int NameWidth() const;

    HWND dialog_ = nullptr;
    HWND list_ = nullptr;
    HWND editor_ = nullptr;
    int editing_ = -1;
    bool ending_ = false;
    std::vector<PropertyItem> items_;
};

}  // namespace quarzo
