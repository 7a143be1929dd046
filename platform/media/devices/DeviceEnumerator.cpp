#include "platform/media/devices/DeviceEnumerator.h"

#include "platform/media/filters/CaptureFilter.h"
#include "platform/media/graph/SnapshotEnumerator.h"

#include <vector>

namespace lumo::media {

namespace {

class PropertyBag final : public ComObject<PropertyBag, IPropertyBag> {
public:
    explicit PropertyBag(const DeviceDescription& device)
        : m_device(device)
    {
    }
    void* FindInterface(REFIID iid) { return iid == IID_IPropertyBag ? static_cast<IPropertyBag*>(this) : nullptr; }

    HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
    {
        if (!name || !value)
            return E_POINTER;
        if (ToView(name) != u"FriendlyName")
            return E_INVALIDARG; // the only property a capture device has here
        if (m_device.faults.nameUnreadable)
            return E_FAIL;
        WString friendly = Utf8ToWide(m_device.friendlyName);
        VariantClear(value);
        value->bstrVal = SysAllocStringLen(friendly.data(), static_cast<UINT>(friendly.size()));
        if (!value->bstrVal)
            return E_OUTOFMEMORY;
        value->vt = VT_BSTR;
        return S_OK;
    }

private:
    DeviceDescription m_device;
};

class DeviceMoniker final : public ComObject<DeviceMoniker, IMoniker> {
public:
    explicit DeviceMoniker(DeviceDescription device)
        : m_device(std::move(device))
    {
    }
    void* FindInterface(REFIID iid) { return iid == IID_IMoniker ? static_cast<IMoniker*>(this) : nullptr; }

    HRESULT BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!IsDevicePresent(m_device))
            return VFW_E_NO_CAPTURE_HARDWARE;
        return CreateAndQuery<CaptureFilter>(iid, object, m_device);
    }
    HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** object) override
    {
        return CreateAndQuery<PropertyBag>(iid, object, m_device);
    }

private:
    DeviceDescription m_device;
};

class SystemDeviceEnum final : public ComObject<SystemDeviceEnum, ICreateDevEnum> {
public:
    void* FindInterface(REFIID iid) { return iid == IID_ICreateDevEnum ? static_cast<ICreateDevEnum*>(this) : nullptr; }

    HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** enumerator, DWORD) override
    {
        if (!enumerator)
            return E_POINTER;
        *enumerator = nullptr;
        DeviceKind kind;
        if (category == CLSID_VideoInputDeviceCategory)
            kind = DeviceKind::Video;
        else if (category == CLSID_AudioInputDeviceCategory)
            kind = DeviceKind::Audio;
        else
            return S_FALSE; // a category without devices here
        std::vector<ComPtr<IMoniker>> monikers;
        for (DeviceDescription& device : ListDevices(kind)) {
            IMoniker* moniker = new DeviceMoniker(std::move(device));
            monikers.emplace_back(moniker);
            moniker->Release();
        }
        if (monikers.empty())
            return S_FALSE;
        *enumerator = new SnapshotEnumerator<IEnumMoniker, IMoniker, IID_IEnumMoniker>(std::move(monikers));
        return S_OK;
    }
};

} // namespace

HRESULT CreateSystemDeviceEnum(REFIID iid, void** object) { return CreateAndQuery<SystemDeviceEnum>(iid, object); }

} // namespace lumo::media
