// What the program asks of the suite's UI engine library (Facet.so): the main object, per-window
// objects fetched by interface number, reference-counted images, the XML document object, the
// packed skin storage, the message box and the display-scaling object.
//
// The engine is a separate library built against this header. Every interface here is an abstract
// class whose objects the engine owns; reference-counted ones are released with Release.
#pragma once

#include "platform/ui/WinUser.h"

// Interface numbers of the objects GetWindowObject and QueryObject hand out.
enum EngineObjectNumber : int {
    kEngineBase = 10000,          // EngineBase: Refresh after a skin reload
    kEngineControl = 10007,       // EngineControl: SetProperty
    kEngineWindowBinding = 10009, // EngineWindowBinding: set-up calls and the frame picture
    kEngineToolbar = 10100,       // EngineToolbar: the toolbar window and its buttons
    kEngineCaption = 10200,       // EngineCaption: caption icon and caption commands
    kEngineLabel = 10701,         // EngineLabel: a label with markup
};

// Properties of EngineControl::SetProperty.
enum EngineProperty : int {
    kPropertyImage = 12003,        // image path or URL; cells across in the low word, down in the high word of `extra`
    kPropertyButtonLayout = 14003, // with 4: buttons laid out left to right, picture above text
    kPropertyClearButtons = 14004, // removes every button of a toolbar
};

class EngineImage {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // A file path or a "res://<module>/<type>/<number>" URL; PNG or JPEG. `flags` 0 keeps the picture
    // as it is; else it is the size the picture is drawn at (width in the low word, height in the high
    // word), and the engine keeps no more of a larger picture than that.
    virtual HRESULT ImageLoad(LPCWSTR pathOrUrl, DWORD flags) = 0;
    virtual int ImageWidth() = 0;
    virtual int ImageHeight() = 0;
    // −1 for a width, height or source extent stands for the image's own extent.
    virtual HRESULT ImageDraw(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY, int sourceWidth,
        int sourceHeight, DWORD flags) = 0;

protected:
    ~EngineImage() = default;
};

class EngineXmlElement;

class EngineXmlNode {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // The node as an element, or S_FALSE and nullptr when it is another kind of node.
    virtual HRESULT AsElement(EngineXmlElement** element) = 0;

protected:
    ~EngineXmlNode() = default;
};

class EngineXmlNodeList {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual long Length() = 0;
    virtual HRESULT Item(long index, EngineXmlNode** node) = 0;

protected:
    ~EngineXmlNodeList() = default;
};

class EngineXmlElement {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // S_OK with the text (freed with CoTaskMemFree), S_FALSE and nullptr when the attribute is missing.
    virtual HRESULT GetAttribute(LPCWSTR name, LPWSTR* value) = 0;
    // Every element with that tag name below this one, in document order.
    virtual HRESULT GetElementsByTagName(LPCWSTR name, EngineXmlNodeList** list) = 0;

protected:
    ~EngineXmlElement() = default;
};

class EngineXmlDocument {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Option 0: load synchronously; option 1: validate on parse.
    virtual HRESULT SetLoadOption(int option, BOOL value) = 0;
    // S_OK and *loaded TRUE when the file was read and parsed.
    virtual HRESULT Load(LPCWSTR path, BOOL* loaded) = 0;
    // Every element with that tag name in the document, in document order.
    virtual HRESULT GetElementsByTagName(LPCWSTR name, EngineXmlNodeList** list) = 0;

protected:
    ~EngineXmlDocument() = default;
};

// The packed skin storage: ".ui" packages registered by path, files read out of them by name.
class EnginePackage {
public:
    virtual HRESULT Open(HMODULE module, LPCWSTR packagePath) = 0;
    virtual HRESULT SetDefault(HMODULE module, LPCWSTR relativePackagePath) = 0;
    // Size of a file in the registered packages, 0 when none holds it.
    virtual long GetPackedSize(int reserved, LPCWSTR name) = 0;
    // Copies the file into `buffer`; returns the bytes copied, 0 on failure.
    virtual long ReadPacked(int reserved, LPCWSTR name, BYTE* buffer, long size) = 0;

protected:
    ~EnginePackage() = default;
};

class EngineObject {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // The object of that interface number for the same window; S_FALSE and nullptr when it has none.
    // The object returned is referenced; release it.
    virtual HRESULT QueryObject(int number, EngineObject** object) = 0;

    // kEngineBase
    virtual HRESULT Refresh() = 0;
    // kEngineControl
    virtual HRESULT SetProperty(int property, LPCWSTR value, DWORD extra) = 0;
    // kEngineWindowBinding: Setup(1, 1) and then Setup(9, 0) when bound.
    virtual HRESULT Setup(int what, int value) = 0;
    virtual HRESULT SetFrameImage(LPCWSTR imageUrl, int mode, const RECT* stretch) = 0;
    // kEngineToolbar
    virtual HWND GetToolbarWindow() = 0;
    virtual HRESULT AddButton(UINT command, LPCWSTR text, LPCWSTR imageUrl, int width) = 0;
    // kEngineCaption
    virtual HRESULT SetCaptionIcon(HICON icon) = 0;
    virtual HRESULT AddCaptionCommand(UINT command, LPCWSTR text, const RECT* rect) = 0;
    // kEngineLabel: SetLabelSetup(1), SetLabelSetup(4), then the text.
    virtual HRESULT SetLabelSetup(int value) = 0;
    virtual HRESULT SetLabelText(LPCWSTR markup) = 0;

protected:
    ~EngineObject() = default;
};

class EngineMain {
public:
    virtual HRESULT LoadSkin(HMODULE module, LPCWSTR facetXmlPath, LPCWSTR skinFolder) = 0;
    virtual void Terminate() = 0;
    virtual HRESULT AttachWindow(HWND hwnd) = 0;
    virtual HRESULT GetWindowObject(HWND hwnd, int number, EngineObject** object) = 0;
    virtual HRESULT RegisterClassAlias(LPCWSTR baseClass, LPCWSTR alias) = 0;
    virtual HRESULT ReloadSkin(HMODULE module, LPCWSTR facetXmlPath, LPCWSTR skinFolder) = 0;
    virtual EnginePackage* GetPackage() = 0;
    virtual HRESULT CreateXmlDocument(EngineXmlDocument** document) = 0;

protected:
    ~EngineMain() = default;
};

// The later main object; only its skin folder is asked for.
class EngineMain4 {
public:
    virtual HRESULT GetSkinFolder(LPWSTR buffer, int capacity) = 0;

protected:
    ~EngineMain4() = default;
};

class EngineMessageBox {
public:
    // The platform's button code (IDYES is 6).
    virtual int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags) = 0;

protected:
    ~EngineMessageBox() = default;
};

class EngineDisplayScaling {
public:
    virtual int GetMode() = 0;
    virtual void SetMode(int mode) = 0;

protected:
    ~EngineDisplayScaling() = default;
};

// The library's exports.
extern "C" {
using GetFacetFunction = EngineMain* (*)();
using GetFacet3Function = EngineMessageBox* (*)();
using GetFacet4Function = EngineMain4* (*)();
using GetDPICompatibleFunction = EngineDisplayScaling* (*)();
using CreateFacetBitmapFunction = HRESULT (*)(EngineImage** image);
}
