#include "platform/sys/CommandLine.h"
#include "platform/sys/Com.h"
#include "platform/sys/Module.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Argv = std::vector<WString>;

Argv ToArgvW(LPCWSTR line)
{
    int count = -1;
    LPWSTR* argv = CommandLineToArgvW(line, &count);
    EXPECT_NE(argv, nullptr);
    if (!argv)
        return {};
    Argv result(argv, argv + count);
    EXPECT_EQ(argv[count], nullptr);
    EXPECT_EQ(LocalFree(argv), nullptr);
    return result;
}

} // namespace

TEST(CommandLineToArgvW, FollowsTheDocumentedExamples)
{
    EXPECT_EQ(ToArgvW(uR"(prog "abc" d e)"), (Argv { u"prog", u"abc", u"d", u"e" }));
    EXPECT_EQ(ToArgvW(uR"(prog a\\b d"e f"g h)"), (Argv { u"prog", uR"(a\\b)", u"de fg", u"h" }));
    EXPECT_EQ(ToArgvW(uR"(prog a\\\"b c d)"), (Argv { u"prog", uR"(a\"b)", u"c", u"d" }));
    EXPECT_EQ(ToArgvW(uR"(prog a\\\\"b c" d e)"), (Argv { u"prog", uR"(a\\b c)", u"d", u"e" }));
    EXPECT_EQ(ToArgvW(uR"(prog a"b"" c d)"), (Argv { u"prog", uR"(ab" c d)" }));
}

TEST(CommandLineToArgvW, ReadsTheProgramNameWithoutEscapes)
{
    EXPECT_EQ(ToArgvW(uR"("C:\Program Files\cam.exe" /select, "D:\a b\")"),
        (Argv { uR"(C:\Program Files\cam.exe)", u"/select,", uR"(D:\a b")" }));
    EXPECT_EQ(ToArgvW(uR"(pro\"g x)"), (Argv { uR"(pro\"g)", u"x" }));
    EXPECT_EQ(ToArgvW(uR"("prog"next)"), (Argv { u"prog", u"next" }));
    EXPECT_EQ(ToArgvW(u"\"unterminated name"), (Argv { u"unterminated name" }));
    // A leading blank ends an empty program name.
    EXPECT_EQ(ToArgvW(u" a\tb  "), (Argv { u"", u"a", u"b" }));
}

TEST(CommandLineToArgvW, HandlesQuotesAndBackslashesAtTheEdges)
{
    EXPECT_EQ(ToArgvW(uR"(p "" "")"), (Argv { u"p", u"", u"" }));
    EXPECT_EQ(ToArgvW(uR"(p "a""b" """")"), (Argv { u"p", uR"(a"b)", uR"(")" }));
    EXPECT_EQ(ToArgvW(uR"(p trailing\ "open quote)"), (Argv { u"p", uR"(trailing\)", u"open quote" }));
    EXPECT_EQ(ToArgvW(uR"(p \\\\)"), (Argv { u"p", uR"(\\\\)" }));
    EXPECT_EQ(ToArgvW(u"p \"tab\there\""), (Argv { u"p", u"tab\there" }));
}

TEST(CommandLineToArgvW, GivesTheExecutableForAnEmptyLineAndRefusesNoCount)
{
    WCHAR path[4096];
    DWORD length = GetModuleFileNameW(nullptr, path, 4096);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(ToArgvW(u""), (Argv { WString(path, length) }));
    EXPECT_EQ(ToArgvW(nullptr), (Argv { WString(path, length) }));
    EXPECT_EQ(CommandLineToArgvW(u"a b", nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(BuildCommandLine, QuotesOnlyWhatNeedsIt)
{
    EXPECT_EQ(QuoteArgument(u"plain"), u"plain");
    EXPECT_EQ(QuoteArgument(u"back\\slash"), u"back\\slash");
    EXPECT_EQ(QuoteArgument(u""), u"\"\"");
    EXPECT_EQ(QuoteArgument(u"a b\\"), u"\"a b\\\\\"");
    EXPECT_EQ(QuoteArgument(u"say \"hi\""), u"\"say \\\"hi\\\"\"");
    EXPECT_EQ(BuildCommandLine({ u"/opt/my app/run", u"x" }), u"\"/opt/my app/run\" x");
    EXPECT_EQ(BuildCommandLine({ u"", u"x" }), u"\"\" x");
}

TEST(BuildCommandLine, EveryArgvSplitsBackUnchanged)
{
    const WString alphabet = u"ab \t\"\\\\\"é\U0001F4F7";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<size_t> length(0, 9);
    std::uniform_int_distribution<size_t> count(0, 5);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 3000; ++round) {
        Argv argv { u"C:\\Program Files\\prog" };
        for (size_t n = count(random); n > 0; --n) {
            WString argument;
            for (size_t k = length(random); k > 0; --k)
                argument.push_back(alphabet[pick(random)]);
            argv.push_back(argument);
        }
        WString line = BuildCommandLine(argv);
        ASSERT_EQ(SplitCommandLine(line), argv) << WideToUtf8(line);
    }
}
