#include "platform/sys/CommandLine.h"

#include "platform/sys/Com.h"
#include "platform/sys/Module.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

bool IsBlank(WCHAR c) { return c == u' ' || c == u'\t'; }

size_t SkipBlanks(WStringView text, size_t i)
{
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return i;
}

// Reads one argument starting at `i` (not on a blank) and returns where it ended.
size_t ReadArgument(WStringView text, size_t i, WString& argument)
{
    bool quoted = false;
    while (i < text.size()) {
        WCHAR c = text[i];
        if (IsBlank(c) && !quoted)
            break;
        if (c == u'\\') {
            size_t run = 0;
            while (i + run < text.size() && text[i + run] == u'\\')
                ++run;
            bool beforeQuote = i + run < text.size() && text[i + run] == u'"';
            if (!beforeQuote) {
                argument.append(run, u'\\');
                i += run;
                continue;
            }
            argument.append(run / 2, u'\\');
            i += run;
            if (run % 2 == 1) {
                argument.push_back(u'"');
                ++i;
                continue;
            }
            c = u'"';
        }
        if (c == u'"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == u'"') {
                argument.push_back(u'"');
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        argument.push_back(c);
        ++i;
    }
    return i;
}

WString QuoteProgramName(WStringView name)
{
    WString clean;
    for (WCHAR c : name) {
        if (c != u'"')
            clean.push_back(c);
    }
    bool needsQuotes = clean.empty() || clean.find_first_of(u" \t") != WString::npos;
    return needsQuotes ? u"\"" + clean + u"\"" : clean;
}

std::vector<std::string> ReadOwnArgv()
{
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> argv;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        argv.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    return argv;
}

WString ExecutablePath()
{
    WCHAR buffer[4096];
    DWORD length = GetModuleFileNameW(nullptr, buffer, std::size(buffer));
    if (length == 0 || length >= std::size(buffer))
        return {};
    return WString(buffer, length);
}

} // namespace

std::vector<WString> SplitArguments(WStringView arguments)
{
    std::vector<WString> argv;
    size_t i = SkipBlanks(arguments, 0);
    while (i < arguments.size()) {
        WString argument;
        i = ReadArgument(arguments, i, argument);
        argv.push_back(std::move(argument));
        i = SkipBlanks(arguments, i);
    }
    return argv;
}

std::vector<WString> SplitCommandLine(WStringView commandLine)
{
    if (commandLine.empty())
        return {};
    size_t end = 0;
    WString program;
    if (commandLine[0] == u'"') {
        size_t close = commandLine.find(u'"', 1);
        if (close == WStringView::npos)
            close = commandLine.size();
        program = WString(commandLine.substr(1, close - 1));
        end = close < commandLine.size() ? close + 1 : close;
    } else {
        while (end < commandLine.size() && !IsBlank(commandLine[end]))
            ++end;
        program = WString(commandLine.substr(0, end));
    }
    std::vector<WString> argv { std::move(program) };
    for (auto& argument : SplitArguments(commandLine.substr(end)))
        argv.push_back(std::move(argument));
    return argv;
}

LPWSTR* CommandLineToArgvW(LPCWSTR cmdLine, int* numArgs)
{
    if (!numArgs) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<WString> argv;
    if (!cmdLine || !*cmdLine)
        argv.push_back(ExecutablePath());
    else
        argv = SplitCommandLine(ToView(cmdLine));

    size_t pointerBytes = (argv.size() + 1) * sizeof(LPWSTR);
    size_t textUnits = 0;
    for (const auto& argument : argv)
        textUnits += argument.size() + 1;
    auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, pointerBytes + textUnits * sizeof(WCHAR)));
    if (!block)
        return nullptr;
    auto* pointers = reinterpret_cast<LPWSTR*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + pointerBytes);
    for (size_t k = 0; k < argv.size(); ++k) {
        pointers[k] = text;
        std::memcpy(text, argv[k].c_str(), (argv[k].size() + 1) * sizeof(WCHAR));
        text += argv[k].size() + 1;
    }
    pointers[argv.size()] = nullptr;
    *numArgs = static_cast<int>(argv.size());
    return pointers;
}

WString QuoteArgument(WStringView argument)
{
    if (!argument.empty() && argument.find_first_of(u" \t\"") == WStringView::npos)
        return WString(argument);
    WString quoted = u"\"";
    size_t backslashes = 0;
    for (WCHAR c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes only escape when a quote follows, so only then are they doubled.
        quoted.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, u'\\');
    quoted.push_back(u'"');
    return quoted;
}

WString BuildCommandLine(const std::vector<WString>& argv)
{
    WString line;
    for (size_t k = 0; k < argv.size(); ++k) {
        if (k > 0)
            line.push_back(u' ');
        line += k == 0 ? QuoteProgramName(argv[k]) : QuoteArgument(argv[k]);
    }
    return line;
}

LPWSTR GetCommandLineW()
{
    static WString commandLine = [] {
        std::vector<WString> argv;
        for (const auto& argument : ReadOwnArgv())
            argv.push_back(Utf8ToWide(argument));
        return BuildCommandLine(argv);
    }();
    return commandLine.data();
}
