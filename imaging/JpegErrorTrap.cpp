#include "imaging/JpegErrorTrap.h"

#include "imaging/CxImage.h"

static_assert(CxImage::kLastErrorSize >= JMSG_LENGTH_MAX);

namespace {

[[noreturn]] void ErrorExit(j_common_ptr info)
{
    auto* trap = reinterpret_cast<JpegErrorTrap*>(info->err);
    (*info->err->format_message)(info, trap->lastError);
    longjmp(trap->recovery, 1);
}

} // namespace

jpeg_error_mgr* JpegErrorTrap::Install(char* errorText)
{
    lastError = errorText;
    jpeg_std_error(&manager);
    manager.error_exit = ErrorExit;
    return &manager;
}
