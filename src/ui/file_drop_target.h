#pragma once

#include <windows.h>

#include <oleidl.h>

#include <functional>
#include <string>
#include <vector>

namespace quarzo {

// The paths of an HDROP, in order.
std::vector<std::string> DroppedFiles(HDROP drop);

// Accepts files dragged onto the window through OLE (what Explorer and other programs use when the
// window registers a drop target) and hands their paths over.
class FileDropTarget : public IDropTarget {
public:
    explicit FileDropTarget(std::function<void(const std::vector<std::string>&)> onDrop)
        : onDrop_(std::move(onDrop)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL at, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;

private:
    std::function<void(const std::vector<std::string>&)> onDrop_;
    ULONG references_ = 1;  // owned by the window, which outlives its registration
    bool acceptable_ = false;
};

}  // namespace quarzo
