#include "platform/sys/IniFile.h"

#include "FilesTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void Write(const std::string& content) { ASSERT_TRUE(WriteFileAtomically(m_temp.Native("camera.ini"), content)); }
    std::string Content() const { return ReadAll(m_temp.Native("camera.ini")); }
    const WCHAR* File() const { return m_file.c_str(); }

    WString Get(LPCWSTR section, LPCWSTR key, LPCWSTR fallback = u"(default)", DWORD size = 256)
    {
        std::vector<WCHAR> buffer(size + 1, u'#');
        DWORD copied = GetPrivateProfileStringW(section, key, fallback, buffer.data(), size, File());
        EXPECT_EQ(copied, static_cast<DWORD>(lstrlenW(buffer.data())));
        return buffer.data();
    }

    // The double-NUL list as names, with the count returned.
    std::vector<WString> List(LPCWSTR section, DWORD size, DWORD* copied)
    {
        std::vector<WCHAR> buffer(size, u'#');
        *copied = GetPrivateProfileStringW(section, nullptr, u"unused", buffer.data(), size, File());
        std::vector<WString> names;
        for (size_t at = 0; at < size && buffer[at] != 0; at += names.back().size() + 1)
            names.emplace_back(buffer.data() + at);
        return names;
    }

    TempFolder m_temp;
    WString m_file = m_temp.Wide("camera.ini");
};

} // namespace

TEST_F(IniFileTest, ReadsWithWindowsRules)
{
    Write("top=ignored\n"
          "[Camera]\n"
          "  Device Name =  \"USB Camera\"  \n"
          "Empty=\n"
          "Single='x'\n"
          "Mismatched=\"x'\n"
          "Inner=a \"b\" c\n"
          "no equals sign here\n"
          "; Comment=no\n"
          "Width=640\n"
          "[ 照片 ]\n"
          "路径=/home/ü\n");
    EXPECT_EQ(Get(u"camera", u"DEVICE NAME"), u"USB Camera");
    EXPECT_EQ(Get(u"Camera", u"Empty"), u"");
    EXPECT_EQ(Get(u"Camera", u"Single"), u"x");
    EXPECT_EQ(Get(u"Camera", u"Mismatched"), u"\"x'");
    EXPECT_EQ(Get(u"Camera", u"Inner"), u"a \"b\" c");
    EXPECT_EQ(Get(u"Camera", u"; Comment"), u"(default)");
    EXPECT_EQ(Get(u"Camera", u"top"), u"(default)");
    EXPECT_EQ(Get(u"照片", u"路径"), u"/home/ü");
    EXPECT_EQ(Get(u"Camera", u"Missing", u"fallback  \t"), u"fallback");
    EXPECT_EQ(Get(u"Camera", u"Missing", nullptr), u"");
    EXPECT_EQ(GetPrivateProfileIntW(u"Camera", u"Width", 5, File()), 640u);
}

TEST_F(IniFileTest, CutsAtSizeMinusOne)
{
    Write("[S]\nKey=abcdef\n");
    EXPECT_EQ(Get(u"S", u"Key", nullptr, 4), u"abc");
    EXPECT_EQ(Get(u"S", u"Missing", u"defaults", 4), u"def");
    WCHAR one[1] = {u'#'};
    EXPECT_EQ(GetPrivateProfileStringW(u"S", u"Key", nullptr, one, 1, File()), 0u);
    EXPECT_EQ(one[0], 0);
    EXPECT_EQ(GetPrivateProfileStringW(u"S", u"Key", nullptr, one, 0, File()), 0u);
}

TEST_F(IniFileTest, MissingFileGivesTheDefault)
{
    EXPECT_EQ(Get(u"S", u"K", u"dflt "), u"dflt");
    EXPECT_EQ(GetPrivateProfileIntW(u"S", u"K", -3, File()), static_cast<UINT>(-3));
}

TEST_F(IniFileTest, ListsNamesAsDoubleNulTerminatedLists)
{
    Write("[One]\nA=1\nb=2\nA=3\n[Two]\n[one]\nC=4\n");
    DWORD copied = 0;
    EXPECT_EQ(List(nullptr, 64, &copied), (std::vector<WString>{u"One", u"Two"}));
    EXPECT_EQ(copied, 8u);
    EXPECT_EQ(List(u"ONE", 64, &copied), (std::vector<WString>{u"A", u"b"}));
    EXPECT_EQ(copied, 4u);
    EXPECT_EQ(List(u"Two", 64, &copied), std::vector<WString>{});
    EXPECT_EQ(copied, 0u);

    // Cut short: the last name is cut and two NULs end the list.
    WCHAR buffer[7];
    EXPECT_EQ(GetPrivateProfileStringW(nullptr, nullptr, nullptr, buffer, 7, File()), 5u);
    EXPECT_EQ(WString(buffer, 7), WString(u"One\0T\0\0", 7));
    EXPECT_EQ(GetPrivateProfileStringW(nullptr, nullptr, nullptr, buffer, 6, File()), 4u);
    EXPECT_EQ(WString(buffer, 6), WString(u"One\0\0\0", 6));
}

TEST_F(IniFileTest, IntegersAsWindowsReadsThem)
{
    Write("[N]\na=42\nb=-7\nc=12abc\nd=abc\ne=\nf=99999999999\ng=+5\n");
    EXPECT_EQ(GetPrivateProfileIntW(u"N", u"a", 1, File()), 42u);
    EXPECT_EQ(GetPrivateProfileIntW(u"N", u"b", 1, File()), static_cast<UINT>(-7));
    EXPECT_EQ(GetPrivateProfileIntW(u"N", u"c", 1, File()), 12u);
    EXPECT_EQ(GetPrivateProfileIntW(u"N", u"d", 1, File()), 0u);
    EXPECT_EQ(GetPrivateProfileIntW(u"N", u"e", 1, File()), 1u);
    EXPECT_EQ(GetPrivateProfileIntW(u"N", u"f", 1, File()), 0x7FFFFFFFu);
    EXPECT_EQ(GetPrivateProfileIntW(u"N", u"g", 1, File()), 5u);
    EXPECT_EQ(GetPrivateProfileIntW(u"N", u"missing", 9, File()), 9u);
}

TEST_F(IniFileTest, WritesKeepTheRestOfTheFile)
{
    Write("; settings\n"
          "[Camera]\n"
          "Width = 640\n"
          "garbage line\n"
          "Height=480\n"
          "\n"
          "[Other]\n"
          "X=1\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"camera", u"WIDTH", u"1280", File()));
    EXPECT_TRUE(WritePrivateProfileStringW(u"Camera", u"Fps", u"30", File()));
    EXPECT_TRUE(WritePrivateProfileStringW(u"New", u"Key", u"v a l", File()));
    EXPECT_EQ(Content(), "; settings\n"
                         "[Camera]\n"
                         "Width=1280\n"
                         "garbage line\n"
                         "Height=480\n"
                         "Fps=30\n"
                         "\n"
                         "[Other]\n"
                         "X=1\n"
                         "[New]\n"
                         "Key=v a l\n");

    EXPECT_TRUE(WritePrivateProfileStringW(u"Camera", u"height", nullptr, File()));
    EXPECT_TRUE(WritePrivateProfileStringW(u"Other", nullptr, nullptr, File()));
    EXPECT_TRUE(WritePrivateProfileStringW(u"Absent", u"k", nullptr, File()));
    EXPECT_EQ(Content(), "; settings\n"
                         "[Camera]\n"
                         "Width=1280\n"
                         "garbage line\n"
                         "Fps=30\n"
                         "\n"
                         "[New]\n"
                         "Key=v a l\n");
    EXPECT_EQ(Get(u"Camera", u"Height"), u"(default)");
}

TEST_F(IniFileTest, CreatesTheFileButNotItsFolder)
{
    EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"K", u"line one\nline two", File()));
    EXPECT_EQ(Content(), "[S]\nK=line one\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"K", u"", File()));
    EXPECT_EQ(Get(u"S", u"K"), u"");

    WString elsewhere = m_temp.Wide("missing/camera.ini");
    EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"K", u"V", elsewhere.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(WritePrivateProfileStringW(nullptr, u"K", u"V", File()));
}

TEST_F(IniFileTest, ReadsAndKeepsBomsAndLineEndings)
{
    Write("\xEF\xBB\xBF[S]\r\nK=照片\r\n");
    EXPECT_EQ(Get(u"S", u"K"), u"照片");
    EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"L", u"2", File()));
    EXPECT_EQ(Content(), "\xEF\xBB\xBF[S]\r\nK=照片\r\nL=2\r\n");

    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[S]\r\nK=ü\r\n")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    Write(utf16);
    EXPECT_EQ(Get(u"S", u"K"), u"ü");
    EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"K", u"x", File()));
    EXPECT_TRUE(Content().starts_with("\xFF\xFE[\0S\0]\0"));
    EXPECT_EQ(Get(u"S", u"K"), u"x");
}

TEST_F(IniFileTest, WritersInSeveralProcessesLoseNothing)
{
    constexpr int kWriters = 4;
    constexpr int kWrites = 30;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        children.push_back(StartChild([this, w] {
            for (int i = 0; i < kWrites; ++i) {
                WString key = Utf8ToWide("w" + std::to_string(w) + "-" + std::to_string(i));
                WString value = Utf8ToWide(std::to_string(w * 1000 + i));
                if (!WritePrivateProfileStringW(u"Shared", key.c_str(), value.c_str(), File()))
                    return 1;
            }
            return 0;
        }));
        ASSERT_GT(children.back(), 0);
    }
    for (pid_t child : children)
        EXPECT_EQ(WaitForChild(child), 0);
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kWrites; ++i) {
            WString key = Utf8ToWide("w" + std::to_string(w) + "-" + std::to_string(i));
            EXPECT_EQ(GetPrivateProfileIntW(u"Shared", key.c_str(), -1, File()), static_cast<UINT>(w * 1000 + i));
        }
    }
}

// Lines the program does not change go back as they were, byte for byte: bytes that are no
// UTF-8, odd line breaks, blanks and a last line without a break.
TEST_F(IniFileTest, UntouchedLinesAreWrittenBackByteForByte)
{
    const std::string before = "[Other]\r\nname=caf\xE9 \xFF\xFE\x80\n  spaced = x  \n\n[CAMERA]\nVideoDevice=old\n";
    // A written line takes the file's line break, the one of its first line.
    const std::string after = "[Other]\r\nname=caf\xE9 \xFF\xFE\x80\n  spaced = x  \n\n[CAMERA]\nVideoDevice=Cam \xE6\x91\x84\r\n";
    Write(before);
    EXPECT_TRUE(WritePrivateProfileStringW(u"CAMERA", u"VideoDevice", u"Cam 摄", File()));
    EXPECT_EQ(Content(), after);

    Write("[CAMERA]\nKeep=\xC3\x28\n[Tail]\nlast=\xF0\x9F");
    EXPECT_TRUE(WritePrivateProfileStringW(u"New", u"Key", u"1", File()));
    EXPECT_EQ(Content(), "[CAMERA]\nKeep=\xC3\x28\n[Tail]\nlast=\xF0\x9F\n[New]\nKey=1\n");

    // The same in a UTF-16 file, where a lone surrogate stays a lone surrogate.
    std::string utf16("\xFF\xFE[\0A\0]\0\n\0k\0=\0\x00\xD8\r\0\n\0", 20);
    Write(utf16);
    EXPECT_TRUE(WritePrivateProfileStringW(u"B", u"x", u"y", File()));
    EXPECT_EQ(Content(), utf16 + std::string("[\0B\0]\0\n\0x\0=\0y\0\n\0", 16));
}

TEST_F(IniFileTest, AnOversizedFileIsNeitherReadNorReplaced)
{
    std::string garbage = "[CAMERA]\nVideoDevice=big\n" + std::string(2 << 20, '\xFF');
    Write(garbage);
    EXPECT_EQ(Get(u"CAMERA", u"VideoDevice"), u"(default)");
    EXPECT_FALSE(WritePrivateProfileStringW(u"CAMERA", u"VideoDevice", u"new", File()));
    EXPECT_EQ(Content().size(), garbage.size());
    EXPECT_TRUE(Content() == garbage);
}

TEST_F(IniFileTest, AUtf16FileWithAnOddLastByteTakesNewKeysItCanReadAgain)
{
    // "[Other]\nA=1" in UTF-16 with one stray byte at its end.
    std::string bytes = "\xFF\xFE";
    for (char c : std::string("[Other]\nA=1"))
        bytes += std::string {c, '\0'};
    bytes += '\x41';
    Write(bytes);
    ASSERT_TRUE(WritePrivateProfileStringW(u"CAMERA", u"VideoDevice", u"Desk Cam", File()));
    EXPECT_EQ(Get(u"CAMERA", u"VideoDevice"), u"Desk Cam");
    EXPECT_EQ(Get(u"Other", u"A"), u"1");
    std::string written = Content();
    EXPECT_EQ(written.substr(0, bytes.size() - 1), bytes.substr(0, bytes.size() - 1)) << "the text that was there is kept byte for byte";
    EXPECT_EQ(written.size() % 2, 0u) << "the file stays whole units of UTF-16";
}

TEST_F(IniFileTest, AUtf16HeaderWithoutItsBracketEndingInABareReturnTakesKeysThatReadBack)
{
    // One line that opens a section but never closes it, whose units past the second are
    // shifted by a byte, ending in a lone CR and no line feed.
    const std::string bytes("\xFF\xFE[\0L\0\xEA\x75\0m\0o\0]\0\r\0\n\0K\0[e\0y\0=\0W\0e\0r\0\r\0", 36);
    Write(bytes);
    DWORD copied = 0;
    std::vector<WString> sections = List(nullptr, 256, &copied);
    ASSERT_EQ(sections.size(), 1u);
    ASSERT_TRUE(WritePrivateProfileStringW(sections[0].c_str(), u"Key", u"written", File()));
    EXPECT_EQ(Get(sections[0].c_str(), u"Key"), u"written");
    ASSERT_TRUE(WritePrivateProfileStringW(u"Lumo", u"Key", u"new", File()));
    EXPECT_EQ(Get(u"Lumo", u"Key"), u"new");
    EXPECT_EQ(Get(sections[0].c_str(), u"Key"), u"written");
    EXPECT_EQ(Content().substr(0, bytes.size()), bytes) << "the line that was there is kept byte for byte";
}

TEST_F(IniFileTest, ALastLineEndingInABareReturnKeepsItsNameWhenLinesFollow)
{
    Write("[A]\r");
    ASSERT_TRUE(WritePrivateProfileStringW(u"A", u"k", u"1", File()));
    EXPECT_EQ(Content(), "[A]\r\nk=1\r\n");
    EXPECT_EQ(Get(u"A", u"k"), u"1");

    // The same in UTF-16 with a stray byte after the CR.
    Write(std::string("\xFF\xFE[\0A\0]\0\r\0\x41", 11));
    ASSERT_TRUE(WritePrivateProfileStringW(u"A", u"k", u"1", File()));
    EXPECT_EQ(Get(u"A", u"k"), u"1");
    EXPECT_EQ(Content(), std::string("\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0001\0\r\0\n\0", 22));
}
