#include "platform/base/Guid.h"
#include "platform/base/Strings.h"

#include <gtest/gtest.h>

namespace {

DEFINE_GUID(kSampleGuid, 0x6B29FC40, 0xCA47, 0x1067, 0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA);
static_assert(kSampleGuid.Data4[7] == 0xDA);
static_assert(kSampleGuid != GUID_NULL);

} // namespace

TEST(StringFromGUID2, WritesUpperCaseBracedText)
{
    WCHAR buffer[40];
    EXPECT_EQ(StringFromGUID2(kSampleGuid, buffer, 40), 39);
    EXPECT_EQ(WString(buffer), u"{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_EQ(StringFromGUID2(GUID_NULL, buffer, 39), 39);
    EXPECT_EQ(WString(buffer), u"{00000000-0000-0000-0000-000000000000}");

    buffer[0] = u'#';
    EXPECT_EQ(StringFromGUID2(kSampleGuid, buffer, 38), 0);
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(StringFromGUID2(kSampleGuid, nullptr, 39), 0);
}

TEST(CLSIDFromString, RoundTripsInEitherCase)
{
    const GUID high = MakeGuid(0xFFFFFFFF, 0x8000, 0x0001, 0x80, 0x7F, 0xFF, 0x00, 0x12, 0x34, 0xAB, 0xCD);
    WCHAR buffer[39];
    ASSERT_EQ(StringFromGUID2(high, buffer, 39), 39);
    CLSID parsed{};
    EXPECT_EQ(CLSIDFromString(buffer, &parsed), S_OK);
    EXPECT_EQ(parsed, high);

    IID iid{};
    EXPECT_EQ(IIDFromString(u"{6b29fc40-ca47-1067-b31d-00dd010662da}", &iid), S_OK);
    EXPECT_EQ(iid, kSampleGuid);
    EXPECT_EQ(CLSIDFromString(u"{6b29FC40-Ca47-1067-B31d-00dD010662Da}", &parsed), S_OK);
    EXPECT_EQ(parsed, kSampleGuid);

    parsed = kSampleGuid;
    EXPECT_EQ(CLSIDFromString(nullptr, &parsed), S_OK);
    EXPECT_EQ(parsed, GUID_NULL);
}

TEST(CLSIDFromString, RejectsAnythingButTheBracedForm)
{
    const WCHAR* malformed[] = {
        u"",
        u"{",
        u"{}",
        u"{6B29FC40-CA47-1067-B31D-00DD010662D}",    // one digit short
        u"{6B29FC40-CA47-1067-B31D-00DD010662DA",     // no closing brace
        u"6B29FC40-CA47-1067-B31D-00DD010662DA",      // no braces
        u"{6B29FC40-CA47-1067-B31D-00DD010662DA}x",   // extra character
        u"{6B29FC40-CA47-1067-B31D-00DD010662DA} ",
        u"{6B29FC4G-CA47-1067-B31D-00DD010662DA}",    // not hex
        u"{6B29FC40 CA47-1067-B31D-00DD010662DA}",    // wrong separator
        u"{6B29FC40-CA47-1067-B31D00-DD010662DA}",
        u"{+B29FC40-CA47-1067-B31D-00DD010662DA}",
        u"(6B29FC40-CA47-1067-B31D-00DD010662DA)",
    };
    for (const WCHAR* text : malformed) {
        SCOPED_TRACE(WideToUtf8(text));
        CLSID clsid = kSampleGuid;
        EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING);
        EXPECT_EQ(clsid, GUID_NULL);
        IID iid = kSampleGuid;
        EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
        EXPECT_EQ(iid, GUID_NULL);
    }
    EXPECT_EQ(CLSIDFromString(u"{6B29FC40-CA47-1067-B31D-00DD010662DA}", nullptr), E_INVALIDARG);
}
