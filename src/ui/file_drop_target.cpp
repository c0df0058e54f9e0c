#include "ui/file_drop_target.h"

#include <shellapi.h>

namespace quarzo {
namespace {

FORMATETC FileListFormat() {
    return FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

}  // namespace

std::vector<std::string> DroppedFiles(HDROP drop) {
    std::vector<std::string> files;
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        char path[MAX_PATH] = "";
        if (DragQueryFileA(drop, i, path, MAX_PATH) > 0) files.push_back(path);
    }
    return files;
}

HRESULT FileDropTarget::QueryInterface(REFIID riid, void** object) {
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT FileDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    FORMATETC format = FileListFormat();
    acceptable_ = data && data->QueryGetData(&format) == S_OK;
    *effect = acceptable_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT FileDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    *effect = acceptable_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT FileDropTarget::DragLeave() {
    acceptable_ = false;
    return S_OK;
}

HRESULT FileDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    *effect = DROPEFFECT_NONE;
    FORMATETC format = FileListFormat();
    STGMEDIUM medium{};
    if (!data || data->GetData(&format, &medium) != S_OK) return S_OK;
    std::vector<std::string> files = DroppedFiles(static_cast<HDROP>(medium.hGlobal));
    ReleaseStgMedium(&medium);
    *effect = DROPEFFECT_COPY;
    // Opening may ask for the file format; the drag source is released first.
    onDrop_(files);
    return S_OK;
}

}  // namespace quarzo
