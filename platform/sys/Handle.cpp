#include "platform/sys/Handle.h"

#include <mutex>
#include <unordered_map>

namespace {

// Multiples of four from here on, like the handles of the system the callers were written for.
constexpr ULONG_PTR kFirstHandle = 0x1000;
constexpr ULONG_PTR kHandleStep = 4;

struct HandleTable {
    std::mutex lock;
    std::unordered_map<ULONG_PTR, std::shared_ptr<KernelObject>> objects;
    ULONG_PTR nextHandle = kFirstHandle;
};

// Never destroyed: handles still open at exit (the single-instance mutex is one) must not be
// closed by static destructors that may run after the tables their objects use are gone.
HandleTable& Table()
{
    static auto* table = new HandleTable;
    return *table;
}

} // namespace

HANDLE InsertKernelObject(std::shared_ptr<KernelObject> object)
{
    if (!object) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto& table = Table();
    std::lock_guard guard(table.lock);
    ULONG_PTR value = table.nextHandle;
    table.nextHandle += kHandleStep;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> ReferenceKernelObject(HANDLE handle)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto found = table.objects.find(reinterpret_cast<ULONG_PTR>(handle));
    if (found == table.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second;
}

BOOL CloseHandle(HANDLE handle)
{
    std::shared_ptr<KernelObject> object;
    {
        auto& table = Table();
        std::lock_guard guard(table.lock);
        auto found = table.objects.find(reinterpret_cast<ULONG_PTR>(handle));
        if (found == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(found->second);
        table.objects.erase(found);
    }
    // The last reference may go here; its destructor runs outside the table's lock because
    // it can take other locks (a named mutex's registry) or close other handles.
    object.reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    std::shared_ptr<KernelObject> object = ReferenceKernelObject(handle);
    if (!object)
        return WAIT_FAILED;
    return object->Wait(milliseconds);
}
