#include "ui/drag_files.h"

#include <ole2.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

namespace quarzo::ui_test {
namespace {

// The files as a file manager hands them over: a DROPFILES block in global memory.
class FileData : public IDataObject {
public:
    explicit FileData(const std::vector<std::string>& files) : files_(files) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IDataObject ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        size_t size = sizeof(DROPFILES) + 1;
        for (const std::string& f : files_) size += f.size() + 1;
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        char* text = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
        for (const std::string& f : files_) text = std::strcpy(text, f.c_str()) + f.size() + 1;
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return format && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK
                                                                                         : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return direction == DATADIR_GET ? SHCreateStdEnumFmtEtc(1, &format, out) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    std::vector<std::string> files_;
};

// Drops when told, gives up when told or on Escape.
class ReleaseWhenTold : public IDropSource {
public:
    std::atomic<bool> release{false}, giveUp{false};

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IDropSource ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override {
        if (escape || giveUp) return DRAGDROP_S_CANCEL;
        return release ? DRAGDROP_S_DROP : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

}  // namespace

DWORD DragFilesOnto(const std::vector<std::string>& files, POINT at) {
    OleInitialize(nullptr);
    FileData data(files);
    // Shared with the hand, which may let go after the drag has ended.
    auto source = std::make_shared<ReleaseWhenTold>();
    SetCursorPos(at.x, at.y);
    std::thread hand([source, at] {
        // Hover a moment over the target, as a hand does, then let go; give up if nothing happens.
        for (int i = 0; i < 10; ++i) {
            Sleep(100);
            SetCursorPos(at.x + (i % 2), at.y);
        }
        source->release = true;
        Sleep(10000);
        source->giveUp = true;
    });
    DWORD effect = DROPEFFECT_NONE;
    HRESULT result = DoDragDrop(&data, source.get(), DROPEFFECT_COPY, &effect);
    source->giveUp = true;
    hand.detach();
    return result == DRAGDROP_S_DROP ? effect : DROPEFFECT_NONE;
}

}  // namespace quarzo::ui_test
