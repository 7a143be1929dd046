// libFuzzer target: the file manager's command line. The input is its arguments, separated by NUL
// bytes. A usable request has at most one target, and the URI made of a path names that path.
#include "tools/shell/Request.h"
#include "support/FuzzSupport.h"

#include <gio/gio.h>

#include <strings.h>

#include <vector>

namespace {

constexpr size_t kMostArguments = 32;
constexpr char kSelect[] = "/select,";
constexpr size_t kSelectLength = sizeof kSelect - 1;

bool IsSelect(const std::string& argument)
{
    return argument.size() >= kSelectLength && strncasecmp(argument.c_str(), kSelect, kSelectLength) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments { "explorer.exe" };
    std::string text = fuzz::Text(data, size);
    for (size_t start = 0; start <= text.size() && arguments.size() <= kMostArguments;) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos)
            end = text.size();
        arguments.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // The model: every argument but a bare switch is a target; a switch anywhere asks to show.
    std::vector<std::string> targets;
    bool select = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        select = select || IsSelect(arguments[i]);
        std::string target = IsSelect(arguments[i]) ? arguments[i].substr(kSelectLength) : arguments[i];
        if (!IsSelect(arguments[i]) || !target.empty())
            targets.push_back(target);
    }

    std::optional<shell::Request> request = shell::ParseArguments(static_cast<int>(arguments.size()), argv.data());
    fuzz::Check(request.has_value() == (targets.size() <= 1), "a request has at most one target");
    if (!request)
        return 0;
    fuzz::Check((request->action == shell::Action::Show) == select, "the switch asks to show the item");
    fuzz::Check(request->target == (targets.empty() ? std::string() : targets.front()), "the target is the one given");
    if (shell::IsComputerLocation(request->target))
        return 0;

    std::string uri = shell::FileUri(request->target);
    fuzz::Check(uri.rfind("file:///", 0) == 0, "a path becomes a file URI");
    char* canonical = g_canonicalize_filename(request->target.c_str(), nullptr);
    char* back = g_filename_from_uri(uri.c_str(), nullptr, nullptr);
    bool same = back && std::string(back) == canonical;
    g_free(back);
    g_free(canonical);
    fuzz::Check(same, "the URI names the canonical path");
    return 0;
}
