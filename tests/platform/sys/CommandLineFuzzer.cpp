// libFuzzer target: the command-line splitter. The input is UTF-16 (two bytes a unit).
#include "platform/sys/CommandLine.h"
#include "support/FuzzSupport.h"

#include "platform/sys/Com.h"

#include <vector>

namespace {

bool HasQuote(WStringView text)
{
    return text.find(u'"') != WStringView::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    WString text = fuzz::Units(data, size);

    // Quoting an argv splits back to the same argv.
    std::vector<WString> arguments = SplitArguments(text);
    std::vector<WString> argv { u"program" };
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    fuzz::Check(SplitCommandLine(BuildCommandLine(argv)) == argv, "a built command line splits back to its argv");

    // The program name has no escape: without a quote in it, it survives too.
    std::vector<WString> split = SplitCommandLine(text);
    if (!split.empty()) {
        std::vector<WString> again = SplitCommandLine(BuildCommandLine(split));
        fuzz::Check(again.size() == split.size(), "a rebuilt command line keeps its argument count");
        for (size_t i = 1; i < split.size(); ++i)
            fuzz::Check(again[i] == split[i], "a rebuilt command line keeps its arguments");
        if (!HasQuote(split[0]))
            fuzz::Check(again[0] == split[0], "a rebuilt command line keeps its program name");
    }

    // The Windows entry point sees the text up to its first NUL, as one block.
    WString terminated(text.c_str());
    int count = -1;
    LPWSTR* list = CommandLineToArgvW(terminated.c_str(), &count);
    fuzz::Check(list != nullptr && count >= 1, "CommandLineToArgvW gives at least the program");
    if (!terminated.empty()) {
        std::vector<WString> expected = SplitCommandLine(terminated);
        fuzz::Check(count == static_cast<int>(expected.size()), "CommandLineToArgvW counts as the splitter does");
        for (int i = 0; i < count; ++i)
            fuzz::Check(list[i] && WString(list[i]) == expected[static_cast<size_t>(i)], "CommandLineToArgvW splits as the splitter does");
    }
    LocalFree(list);
    return 0;
}
