#include "platform/ui/FontMapping.h"

#include "platform/ui/Gdi.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <set>

namespace {

constexpr BYTE kShiftJisCharset = 128;
constexpr BYTE kHangulCharset = 129;
constexpr BYTE kChineseBig5Charset = 136;

enum class FaceGroup { Unknown, UiSans, Cjk, Monospace };

struct FaceEntry {
    WStringView face;
    FaceGroup group;
};

constexpr std::array kKnownFaces {
    FaceEntry {u"MS Sans Serif", FaceGroup::UiSans},
    FaceEntry {u"MS Shell Dlg", FaceGroup::UiSans},
    FaceEntry {u"MS Shell Dlg 2", FaceGroup::UiSans},
    FaceEntry {u"Microsoft Sans Serif", FaceGroup::UiSans},
    FaceEntry {u"Tahoma", FaceGroup::UiSans},
    FaceEntry {u"Segoe UI", FaceGroup::UiSans},
    FaceEntry {u"Arial", FaceGroup::UiSans},
    FaceEntry {u"Verdana", FaceGroup::UiSans},
    FaceEntry {u"System", FaceGroup::UiSans},
    FaceEntry {u"宋体", FaceGroup::Cjk},
    FaceEntry {u"新宋体", FaceGroup::Cjk},
    FaceEntry {u"SimSun", FaceGroup::Cjk},
    FaceEntry {u"NSimSun", FaceGroup::Cjk},
    FaceEntry {u"微软雅黑", FaceGroup::Cjk},
    FaceEntry {u"Microsoft YaHei", FaceGroup::Cjk},
    FaceEntry {u"Microsoft YaHei UI", FaceGroup::Cjk},
    FaceEntry {u"黑体", FaceGroup::Cjk},
    FaceEntry {u"SimHei", FaceGroup::Cjk},
    FaceEntry {u"Courier New", FaceGroup::Monospace},
    FaceEntry {u"Courier", FaceGroup::Monospace},
    FaceEntry {u"Consolas", FaceGroup::Monospace},
    FaceEntry {u"Lucida Console", FaceGroup::Monospace},
};

constexpr std::array kSansCandidates {"DejaVu Sans", "Noto Sans", "Liberation Sans"};
constexpr std::array kMonospaceCandidates {"DejaVu Sans Mono", "Noto Sans Mono", "Liberation Mono"};
constexpr std::array kCjkCandidates {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Source Han Sans SC",
    "WenQuanYi Zen Hei", "Droid Sans Fallback", "AR PL UMing CN"};

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool SameFace(WStringView a, WStringView b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

// Every family name fontconfig knows, localized names included, lowercased.
const std::set<std::string>& InstalledFamilies()
{
    static const std::set<std::string> families = [] {
        std::set<std::string> names;
        FcPattern* pattern = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
        FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
        for (int i = 0; fonts && i < fonts->nfont; ++i) {
            FcChar8* name = nullptr;
            for (int n = 0; FcPatternGetString(fonts->fonts[i], FC_FAMILY, n, &name) == FcResultMatch; ++n)
                names.insert(Lowered(reinterpret_cast<const char*>(name)));
        }
        if (fonts)
            FcFontSetDestroy(fonts);
        FcObjectSetDestroy(objects);
        FcPatternDestroy(pattern);
        return names;
    }();
    return families;
}

template <size_t N>
std::string FirstInstalled(const std::array<const char*, N>& candidates)
{
    for (const char* family : candidates) {
        if (IsFontFamilyInstalled(family))
            return family;
    }
    return {};
}

// Any font fontconfig lists as covering Simplified Chinese, for machines without the usual ones.
std::string AnyChineseFamily()
{
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(":lang=zh-cn"));
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    std::set<std::string> found;
    for (int i = 0; fonts && i < fonts->nfont; ++i) {
        FcChar8* name = nullptr;
        if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &name) == FcResultMatch)
            found.insert(reinterpret_cast<const char*>(name));
    }
    if (fonts)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return found.empty() ? std::string() : *found.begin();
}

FaceGroup GroupOf(WStringView face)
{
    for (const auto& entry : kKnownFaces) {
        if (SameFace(entry.face, face))
            return entry.group;
    }
    return FaceGroup::Unknown;
}

const std::string& MonospaceFamily()
{
    static const std::string family = [] {
        std::string found = FirstInstalled(kMonospaceCandidates);
        return found.empty() ? std::string("Monospace") : found;
    }();
    return family;
}

bool PrefersCjk(BYTE charSet)
{
    return charSet == GB2312_CHARSET || charSet == kChineseBig5Charset || charSet == kShiftJisCharset
        || charSet == kHangulCharset;
}

} // namespace

bool IsFontFamilyInstalled(const std::string& family)
{
    return InstalledFamilies().count(Lowered(family)) != 0;
}

const std::string& UiSansFamily()
{
    static const std::string family = [] {
        std::string found = FirstInstalled(kSansCandidates);
        return found.empty() ? std::string("Sans") : found;
    }();
    return family;
}

const std::string& CjkFamily()
{
    static const std::string family = [] {
        std::string found = FirstInstalled(kCjkCandidates);
        return found.empty() ? AnyChineseFamily() : found;
    }();
    return family;
}

std::string FontFamiliesFor(WStringView face, BYTE charSet)
{
    // "@" names the vertical variant of a face; the glyphs are the same.
    if (!face.empty() && face.front() == u'@')
        face.remove_prefix(1);
    FaceGroup group = GroupOf(face);
    std::string primary;
    switch (group) {
    case FaceGroup::UiSans:
        primary = UiSansFamily();
        break;
    case FaceGroup::Monospace:
        primary = MonospaceFamily();
        break;
    case FaceGroup::Cjk:
        primary = CjkFamily().empty() ? UiSansFamily() : CjkFamily();
        break;
    case FaceGroup::Unknown: {
        // A face that is installed under its own name is used as it is.
        std::string asGiven = WideToUtf8(face);
        primary = !asGiven.empty() && asGiven.find(',') == std::string::npos && IsFontFamilyInstalled(asGiven)
            ? asGiven
            : UiSansFamily();
        break;
    }
    }
    const std::string& cjk = CjkFamily();
    if (cjk.empty() || Lowered(primary) == Lowered(cjk))
        return primary;
    if (PrefersCjk(charSet))
        return cjk + "," + primary;
    return primary + "," + cjk;
}
