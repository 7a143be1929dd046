// Device-change broadcasts: when a capture device arrives or goes, every top-level window of the
// program receives WM_DEVICECHANGE with DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE and a
// device-interface header naming the capture (or audio) interface class.
#pragma once

#include "platform/base/Guid.h"
#include "platform/base/WinTypes.h"

inline constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
inline constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr DWORD DBT_DEVTYP_DEVICEINTERFACE = 5;

struct DEV_BROADCAST_HDR {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
};

struct DEV_BROADCAST_DEVICEINTERFACE_W {
    DWORD dbcc_size;
    DWORD dbcc_devicetype;
    DWORD dbcc_reserved;
    GUID dbcc_classguid;
    WCHAR dbcc_name[1];
};

inline constexpr GUID KSCATEGORY_AUDIO = { 0x6994AD04, 0x93EF, 0x11D0, { 0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96 } };

// Starts the broadcasts; they are delivered (sent) on the calling thread, which must pump its
// messages. Later calls move them to the latest caller's thread.
void StartDeviceChangeBroadcasts();
// Sends one broadcast now, on the calling thread (what a device change does).
void BroadcastDeviceChange(bool video, bool arrived);
