#include "XmlArchiveFuzz.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using Input = std::vector<std::uint8_t>;

std::string Check(const Input& input)
{
    return CheckXmlArchiveOnInput(input.data(), input.size());
}

Input FromText(const std::string& text, std::uint8_t first)
{
    // Built in one go: GCC 12 misjudges an insert after a one-element start when optimising.
    Input input(text.size() + 1);
    input[0] = first;
    std::copy(text.begin(), text.end(), input.begin() + 1);
    return input;
}

// Flips, inserts, deletes and duplicates bytes, a few at a time.
Input Mutate(Input input, std::mt19937& random)
{
    int edits = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < edits; ++i) {
        size_t at = input.empty() ? 0 : random() % input.size();
        switch (random() % 4) {
        case 0:
            if (!input.empty())
                input[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            break;
        case 1:
            input.insert(input.begin() + static_cast<long>(at), static_cast<std::uint8_t>(random()));
            break;
        case 2:
            if (!input.empty())
                input.erase(input.begin() + static_cast<long>(at));
            break;
        default:
            if (!input.empty())
                input.insert(input.begin() + static_cast<long>(at), input.begin(), input.begin() + static_cast<long>(at));
            break;
        }
    }
    return input;
}

} // namespace

TEST(XmlArchiveFuzz, FindAndNumbersAgreeWithTheRulesOnGeneratedDocuments)
{
    std::mt19937 random(20240611);
    for (int run = 0; run < 2500; ++run) {
        Input input(random() % 160);
        for (auto& byte : input)
            byte = static_cast<std::uint8_t>(random());
        if (!input.empty())
            input[0] &= 0x7F;
        std::string failure = Check(input);
        ASSERT_EQ(failure, "") << "run " << run;
    }
}

TEST(XmlArchiveFuzz, MutatedXmlFilesNeverBreakTheArchive)
{
    const std::vector<Input> seeds{
        FromText(R"(<Root.Config><Skin><Item id="1" v=" 0x1F"/><Item id="2" v="-12"/></Skin><Skin><Item id="3"/></Skin></Root.Config>)", 0x80),
        FromText(R"(<Facet.Config><DYNAMICSTATUSBAR id="1" v="0XfF"/><a id="2"><b.c id="3" v="12abc"/></a></Facet.Config>)", 0x80),
        FromText("<?xml version=\"1.0\"?><!-- c --><Root.Config id='r'><![CDATA[x]]><Item id='i' v='0x123456789'/></Root.Config>", 0x80),
    };
    std::mt19937 random(7);
    for (const Input& seed : seeds)
        ASSERT_EQ(Check(seed), "");
    for (int run = 0; run < 2500; ++run) {
        Input input = Mutate(seeds[random() % seeds.size()], random);
        if (!input.empty())
            input[0] |= 0x80;
        std::string failure = Check(input);
        ASSERT_EQ(failure, "") << "run " << run;
    }
}
