// Where photos and videos go: one folder per kind under the documents folder the controller holds,
// and a file name made of the local time, so names sort in time order.
#pragma once

#include "platform/base/WinTypes.h"

// The folders under the base folder, without separators at either end.
inline constexpr const WCHAR* kPhotoFolder = u"Tern摄像头/照片";
inline constexpr const WCHAR* kVideoFolder = u"Tern摄像头/视频";

// Fill `buffer` (`capacity` in bytes, at most MAX_PATH units are used) with a fresh path:
// "<base>/Tern摄像头/照片/yyyyMMddhhmmss<tenth>.jpg" or "<base>/Tern摄像头/视频/yyyyMMddhhmmss.wmv".
// Missing folders are made; the file is not. An existing file is never named: when the clock
// gives a taken name four times, "_1", "_2", ... goes before the extension. A text longer than
// the buffer is cut; if no free name fits, the buffer is left empty.
void MakePhotoPath(LPCWSTR baseFolder, LPWSTR buffer, int capacity);
void MakeVideoPath(LPCWSTR baseFolder, LPWSTR buffer, int capacity);

// Creates, from the left, every missing folder named by the text before each separator ('/' or
// '\') of `path`. The last component is never created; a path without separators creates nothing.
void EnsureDirectories(LPCWSTR path);
