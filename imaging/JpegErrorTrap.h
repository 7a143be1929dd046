// libjpeg's standard error manager whose fatal errors land back at a recovery point instead of
// ending the process, with the message left in an image's last-error text.
#pragma once

// Before jpeglib.h, which defines TRUE and FALSE as macros unless they exist already.
#include "platform/base/WinTypes.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

struct JpegErrorTrap {
    jpeg_error_mgr manager; // first, so libjpeg's pointer to it is a pointer to the trap
    jmp_buf recovery;
    char* lastError; // at least JMSG_LENGTH_MAX bytes

    // Sets up the standard manager with the replaced exit routine and returns it for `err`.
    jpeg_error_mgr* Install(char* errorText);
};
