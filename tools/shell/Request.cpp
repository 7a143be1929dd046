#include "tools/shell/Request.h"

#include <string_view>

#include <gio/gio.h>

namespace shell {

namespace {

constexpr std::string_view kSelectSwitch = "/select,";
constexpr std::string_view kComputerLocation = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

bool IEquals(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

std::optional<Request> ParseArguments(int argc, char** argv)
{
    Request request;
    bool haveTarget = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument.size() >= kSelectSwitch.size() && IEquals(argument.substr(0, kSelectSwitch.size()), kSelectSwitch)) {
            request.action = Action::Show;
            argument.remove_prefix(kSelectSwitch.size());
            if (argument.empty())
                continue;
        }
        if (haveTarget)
            return std::nullopt;
        request.target = argument;
        haveTarget = true;
    }
    return request;
}

bool IsComputerLocation(const std::string& target) { return target.empty() || IEquals(target, kComputerLocation); }

std::string FileUri(const std::string& path)
{
    char* canonical = g_canonicalize_filename(path.c_str(), nullptr);
    char* uri = g_filename_to_uri(canonical, nullptr, nullptr);
    std::string result = uri ? uri : std::string("file://") + canonical;
    g_free(uri);
    g_free(canonical);
    return result;
}

} // namespace shell
