#include "platform/sys/NativePath.h"

std::string ToNativePath(WStringView path)
{
    std::string native = WideToUtf8(path);
    for (auto& c : native) {
        if (c == '\\')
            c = '/';
    }
    return native;
}

WString FromNativePath(std::string_view path)
{
    return Utf8ToWide(path);
}
