// The engine's XML and package readers on thousands of generated and mutated inputs, with a fixed
// seed so that a failure repeats. With clang the same checks also run under libFuzzer.
#include "FacetFuzz.h"
#include "FacetTestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Random = std::mt19937;

int Pick(Random& random, int lowest, int highest)
{
    return std::uniform_int_distribution<int>(lowest, highest)(random);
}

// One small damage: a flipped bit, a replaced, inserted or removed run, a repeated run or a cut.
std::string Mutate(std::string bytes, Random& random)
{
    int rounds = Pick(random, 1, 4);
    for (int round = 0; round < rounds; ++round) {
        if (bytes.empty()) {
            bytes.push_back(static_cast<char>(Pick(random, 0, 255)));
            continue;
        }
        size_t at = static_cast<size_t>(Pick(random, 0, static_cast<int>(bytes.size()) - 1));
        size_t length = std::min(bytes.size() - at, static_cast<size_t>(Pick(random, 1, 16)));
        switch (Pick(random, 0, 5)) {
        case 0:
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << Pick(random, 0, 7)));
            break;
        case 1:
            bytes[at] = static_cast<char>(Pick(random, 0, 255));
            break;
        case 2:
            bytes.insert(at, std::string(length, static_cast<char>(Pick(random, 0, 255))));
            break;
        case 3:
            bytes.erase(at, length);
            break;
        case 4:
            bytes.insert(at, bytes.substr(at, length));
            break;
        default:
            bytes.resize(at);
            break;
        }
    }
    return bytes;
}

std::string RandomName(Random& random)
{
    static const char* const kNames[] = { "Item", "Skin", "Root.Config", "Facet.Config", "CAPTION", "a", "b:c", "_x" };
    return kNames[Pick(random, 0, 7)];
}

std::string RandomValue(Random& random)
{
    static const char* const kValues[] = { "0xFF", "255", "config/defaultskin", "&amp;&lt;", "&#x6444;&#20687;", "\xE6\x91\x84",
        "", "  0X3d8bfd", "&bogus;", "\"" };
    return kValues[Pick(random, 0, 9)];
}

// A document made of random elements, attributes, texts, comments and sections, sometimes deep.
std::string RandomXml(Random& random)
{
    std::string xml = Pick(random, 0, 1) ? "<?xml version='1.0' encoding='utf-16'?>" : "";
    std::vector<std::string> open;
    int steps = Pick(random, 1, Pick(random, 0, 9) == 0 ? 600 : 40);
    for (int step = 0; step < steps; ++step) {
        switch (Pick(random, 0, 6)) {
        case 0:
        case 1: {
            std::string name = RandomName(random);
            xml += "<" + name;
            for (int i = Pick(random, 0, 3); i > 0; --i)
                xml += " " + RandomName(random) + "='" + RandomValue(random) + "'";
            xml += Pick(random, 0, 2) ? ">" : "/>";
            if (xml.back() == '>' && xml[xml.size() - 2] != '/')
                open.push_back(name);
            break;
        }
        case 2:
            if (!open.empty()) {
                xml += "</" + open.back() + ">";
                open.pop_back();
            }
            break;
        case 3:
            xml += RandomValue(random);
            break;
        case 4:
            xml += "<!--" + RandomValue(random) + "-->";
            break;
        case 5:
            xml += "<![CDATA[" + RandomValue(random) + "]]>";
            break;
        default:
            xml += "<?pi " + RandomValue(random) + "?>";
            break;
        }
    }
    while (!open.empty() && Pick(random, 0, 9) != 0) {
        xml += "</" + open.back() + ">";
        open.pop_back();
    }
    return xml;
}

std::string AsUtf16(const std::string& utf8)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t c : Utf8ToWide(utf8)) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

::testing::AssertionResult Holds(const std::string& failure, const std::string& input)
{
    if (failure.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << failure << " on an input of " << input.size() << " bytes";
}

std::string XmlCheck(const std::string& input, bool* loaded)
{
    return CheckXmlDocumentOnInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size(), loaded);
}

std::string PackageCheck(const std::string& input)
{
    return CheckPackageOnInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

TEST(FacetFuzzTest, XmlReaderHoldsOnGeneratedAndMutatedDocuments)
{
    ASSERT_NE(FacetEngine(), nullptr) << "Facet.so did not load";
    std::vector<std::string> seeds = { ReadAll(LUMO_PROGRAM_DIR "/config/defaultskin/facet.xml"),
        ReadAll(LUMO_PROGRAM_DIR "/config/config.xml"), "<a b='1'><c/></a>" };
    ASSERT_FALSE(seeds[0].empty());
    Random random(20240611);
    int loaded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string input;
        switch (i % 3) {
        case 0:
            input = RandomXml(random);
            break;
        case 1:
            input = Mutate(seeds[static_cast<size_t>(Pick(random, 0, 2))], random);
            break;
        default:
            input = Mutate(RandomXml(random), random);
            break;
        }
        if (Pick(random, 0, 7) == 0)
            input = AsUtf16(input);
        bool wasLoaded = false;
        ASSERT_TRUE(Holds(XmlCheck(input, &wasLoaded), input)) << "round " << i;
        loaded += wasLoaded;
    }
    // Both roads are taken often: documents that load and are walked, and documents refused.
    EXPECT_GT(loaded, 300);
    EXPECT_LT(loaded, 2700);
}

TEST(FacetFuzzTest, PackageReaderHoldsOnMutatedArchives)
{
    ASSERT_NE(FacetEngine(), nullptr) << "Facet.so did not load";
    std::vector<std::string> seeds = {
        MakeZip({ { "facet.xml", "<Facet.Config/>" }, { "dir/b.txt", std::string(300, 'b'), true } }),
        MakeZip({ { "Pictures\\Logo.png", "logo", true }, { "../evil.txt", "evil" } }),
        ReadAll(LUMO_PROGRAM_DIR "/config/defaultskin/defaultskin.ui"),
    };
    for (const auto& seed : seeds)
        ASSERT_TRUE(Holds(PackageCheck(seed), seed));
    Random random(20240612);
    for (int i = 0; i < 2000; ++i) {
        std::string input = Mutate(seeds[static_cast<size_t>(i) % seeds.size()], random);
        ASSERT_TRUE(Holds(PackageCheck(input), input)) << "round " << i;
    }
}

} // namespace
