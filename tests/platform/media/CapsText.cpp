#include "CapsText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <set>
#include <string>

namespace fuzz {

namespace {

// Lists inside lists go no deeper than this.
constexpr int kMaxDepth = 8;

const std::set<std::string, std::less<>> kStructureNames = {
    "video/x-raw", "image/jpeg", "audio/x-raw", "video/x-h264", "video/x-bayer", "video/x-raw-depth",
    "video/x-h265", "video/x-vp8",
};
const std::set<std::string, std::less<>> kFieldNames = {
    "format", "width", "height", "framerate", "max-framerate", "pixel-aspect-ratio", "interlace-mode",
    "colorimetry", "chroma-site", "views", "multiview-mode", "rate", "channels", "layout", "channel-mask",
    "parsed", "stream-format", "alignment", "profile",
};
const std::set<std::string, std::less<>> kFeatureNames = {
    "memory:DMABuf", "memory:SystemMemory", "memory:GLMemory", "meta:GstVideoOverlayComposition",
};

GType TypeNamed(std::string_view name)
{
    static const struct {
        const char* names[4];
        GType (*type)();
    } kTypes[] = {
        {{"int", "i", "gint"}, [] { return G_TYPE_INT; }},
        {{"uint", "u", "guint"}, [] { return G_TYPE_UINT; }},
        {{"fraction", "GstFraction"}, [] { return GST_TYPE_FRACTION; }},
        {{"string", "s", "str", "gchararray"}, [] { return G_TYPE_STRING; }},
        {{"double", "d", "gdouble"}, [] { return G_TYPE_DOUBLE; }},
        {{"float", "f", "gfloat"}, [] { return G_TYPE_FLOAT; }},
        {{"boolean", "bool", "b", "gboolean"}, [] { return G_TYPE_BOOLEAN; }},
        {{"bitmask"}, [] { return GST_TYPE_BITMASK; }},
    };
    for (const auto& entry : kTypes) {
        for (const char* known : entry.names) {
            if (known && name == known)
                return entry.type();
        }
    }
    return G_TYPE_INVALID;
}

bool IsTokenCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || (c && std::strchr("_-+/:.", c));
}

// Numbers are decimal, or hexadecimal or octal with C's prefixes when `base` is 0.
std::optional<long long> Integer(std::string_view token, long long low, long long high, int base = 0)
{
    std::string text(token);
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, base);
    if (errno || *end || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<double> Real(std::string_view token)
{
    std::string text(token);
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (*end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A scalar of `type` (or, untyped, the first type the token reads as) from a bare token.
bool ScalarOf(std::string_view token, GType type, GValue* out)
{
    if (type == G_TYPE_INVALID) {
        for (GType tried : {G_TYPE_INT, G_TYPE_DOUBLE, GST_TYPE_FRACTION, G_TYPE_BOOLEAN, G_TYPE_STRING}) {
            if (ScalarOf(token, tried, out))
                return true;
        }
        return false;
    }
    if (type == G_TYPE_INT || type == G_TYPE_UINT) {
        bool isInt = type == G_TYPE_INT;
        auto value = Integer(token, isInt ? INT_MIN : 0, isInt ? INT_MAX : UINT_MAX);
        if (!value)
            return false;
        g_value_init(out, type);
        isInt ? g_value_set_int(out, static_cast<int>(*value)) : g_value_set_uint(out, static_cast<guint>(*value));
        return true;
    }
    if (type == GST_TYPE_FRACTION) {
        size_t slash = token.find('/');
        auto numerator = Integer(token.substr(0, slash), -INT_MAX, INT_MAX, 10);
        auto denominator = slash == std::string_view::npos ? std::optional<long long>(1)
                                                           : Integer(token.substr(slash + 1), -INT_MAX, INT_MAX, 10);
        if (!numerator || !denominator || *denominator == 0)
            return false;
        g_value_init(out, type);
        gst_value_set_fraction(out, static_cast<int>(*numerator), static_cast<int>(*denominator));
        return true;
    }
    if (type == G_TYPE_DOUBLE || type == G_TYPE_FLOAT) {
        auto value = Real(token);
        if (!value || (type == G_TYPE_FLOAT && std::fabs(*value) > 3.4e38))
            return false;
        g_value_init(out, type);
        type == G_TYPE_DOUBLE ? g_value_set_double(out, *value) : g_value_set_float(out, static_cast<float>(*value));
        return true;
    }
    if (type == G_TYPE_BOOLEAN) {
        static const char* const kTrue[] = {"true", "yes", "t", "1"};
        static const char* const kFalse[] = {"false", "no", "f", "0"};
        auto is = [&](const char* word) {
            return std::strlen(word) == token.size() && g_ascii_strncasecmp(token.data(), word, token.size()) == 0;
        };
        bool yes = std::any_of(std::begin(kTrue), std::end(kTrue), is);
        bool no = std::any_of(std::begin(kFalse), std::end(kFalse), is);
        if (!yes && !no)
            return false;
        g_value_init(out, type);
        g_value_set_boolean(out, yes);
        return true;
    }
    if (type == G_TYPE_STRING) {
        // A bare NULL is the null string, as GStreamer reads it.
        g_value_init(out, type);
        g_value_set_string(out, token == "NULL" ? nullptr : std::string(token).c_str());
        return true;
    }
    if (type == GST_TYPE_BITMASK) {
        std::string text(token);
        char* end = nullptr;
        errno = 0;
        unsigned long long value = std::strtoull(text.c_str(), &end, 0);
        if (text.empty() || text[0] == '-' || errno || *end)
            return false;
        g_value_init(out, type);
        gst_value_set_bitmask(out, value);
        return true;
    }
    return false;
}

class Reader {
public:
    explicit Reader(std::string_view text)
        : m_text(text)
    {
    }

    GstCaps* Caps()
    {
        SkipSpace();
        std::string_view rest = m_text.substr(m_at);
        while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back())))
            rest.remove_suffix(1);
        if (rest == "ANY")
            return gst_caps_new_any();
        if (rest.empty() || rest == "EMPTY" || rest == "NONE")
            return gst_caps_new_empty();
        GstCaps* caps = gst_caps_new_empty();
        while (!AtEnd()) {
            if (!Structure(caps)) {
                gst_caps_unref(caps);
                return nullptr;
            }
            SkipSpace();
        }
        return caps;
    }

private:
    bool AtEnd() const { return m_at >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_at]; }

    void SkipSpace()
    {
        while (!AtEnd() && std::isspace(static_cast<unsigned char>(m_text[m_at])))
            ++m_at;
    }

    bool Take(char c)
    {
        SkipSpace();
        if (Peek() != c)
            return false;
        ++m_at;
        return true;
    }

    std::string_view Token()
    {
        SkipSpace();
        size_t start = m_at;
        while (!AtEnd() && IsTokenCharacter(m_text[m_at]))
            ++m_at;
        return m_text.substr(start, m_at - start);
    }

    // name[(feature, ...)][, field=value]... up to a ';' or the end.
    bool Structure(GstCaps* caps)
    {
        std::string_view name = Token();
        if (!kStructureNames.count(name))
            return false;
        GstCapsFeatures* features = nullptr;
        if (Take('(')) {
            features = gst_caps_features_new_empty();
            do {
                std::string_view feature = Token();
                if (!kFeatureNames.count(feature)) {
                    gst_caps_features_free(features);
                    return false;
                }
                gst_caps_features_add(features, std::string(feature).c_str());
            } while (Take(','));
            if (!Take(')')) {
                gst_caps_features_free(features);
                return false;
            }
        }
        GstStructure* structure = gst_structure_new_empty(std::string(name).c_str());
        bool read = true;
        while (read && Take(',')) {
            SkipSpace();
            if (AtEnd() || Peek() == ';')
                break; // a comma too many at the end
            std::string field(Token());
            GValue value = G_VALUE_INIT;
            read = kFieldNames.count(field) && Take('=') && Value(G_TYPE_INVALID, 0, &value);
            if (read)
                gst_structure_take_value(structure, field.c_str(), &value);
        }
        SkipSpace();
        read = read && (AtEnd() || Take(';'));
        if (!read) {
            gst_structure_free(structure);
            if (features)
                gst_caps_features_free(features);
            return false;
        }
        gst_caps_append_structure_full(caps, structure, features);
        return true;
    }

    // [(type)] followed by a list {..}, an array <..>, a range [..], a quoted string or a token.
    bool Value(GType type, int depth, GValue* out)
    {
        if (depth > kMaxDepth)
            return false;
        if (Take('(')) {
            type = TypeNamed(Token());
            if (type == G_TYPE_INVALID || !Take(')'))
                return false;
        }
        SkipSpace();
        char c = Peek();
        if (c == '{' || c == '<')
            return Members(type, depth, c == '{' ? '}' : '>', out);
        if (c == '[')
            return Range(type, depth, out);
        if (c == '"')
            return Quoted(type, out);
        std::string_view token = Token();
        return !token.empty() && ScalarOf(token, type, out);
    }

    // Members apart by commas; like GStreamer, empty members (a comma too many) are passed over.
    bool Members(GType type, int depth, char close, GValue* out)
    {
        ++m_at;
        bool isList = close == '}';
        g_value_init(out, isList ? GST_TYPE_LIST : GST_TYPE_ARRAY);
        while (!Take(close)) {
            if (Take(','))
                continue;
            // GStreamer holds lists of one type only.
            GValue member = G_VALUE_INIT;
            bool read = Value(type, depth + 1, &member);
            guint size = isList ? gst_value_list_get_size(out) : gst_value_array_get_size(out);
            const GValue* first = size == 0 ? nullptr : isList ? gst_value_list_get_value(out, 0) : gst_value_array_get_value(out, 0);
            bool fits = read && (!first || G_VALUE_TYPE(first) == G_VALUE_TYPE(&member));
            if (fits) {
                isList ? gst_value_list_append_and_take_value(out, &member) : gst_value_array_append_and_take_value(out, &member);
                SkipSpace();
                fits = Peek() == ',' || Peek() == close;
            } else if (read) {
                g_value_unset(&member);
            }
            if (!fits) {
                g_value_unset(out);
                return false;
            }
        }
        return true;
    }

    // [low, high] or [low, high, step]: an int range (with its step), a fraction range or a double
    // range. GStreamer refuses ranges that hold nothing, and so does this reader.
    bool Range(GType type, int depth, GValue* out)
    {
        ++m_at;
        GValue bounds[3] = {G_VALUE_INIT, G_VALUE_INIT, G_VALUE_INIT};
        int count = 0;
        bool read = true;
        do {
            read = count < 3 && Value(type, depth + 1, &bounds[count]);
            count += read;
        } while (read && Take(','));
        read = read && Take(']') && count >= 2 && G_VALUE_TYPE(&bounds[0]) == G_VALUE_TYPE(&bounds[1]);
        GType kind = G_VALUE_TYPE(&bounds[0]);
        if (read && kind == G_TYPE_INT) {
            int low = g_value_get_int(&bounds[0]);
            int high = g_value_get_int(&bounds[1]);
            int step = count == 3 && G_VALUE_HOLDS_INT(&bounds[2]) ? g_value_get_int(&bounds[2]) : (count == 3 ? 0 : 1);
            read = low < high && step > 0 && low % step == 0 && high % step == 0;
            if (read) {
                g_value_init(out, GST_TYPE_INT_RANGE);
                gst_value_set_int_range_step(out, low, high, step);
            }
        } else if (read && kind == GST_TYPE_FRACTION && count == 2) {
            read = gst_value_compare(&bounds[0], &bounds[1]) == GST_VALUE_LESS_THAN;
            if (read) {
                g_value_init(out, GST_TYPE_FRACTION_RANGE);
                gst_value_set_fraction_range(out, &bounds[0], &bounds[1]);
            }
        } else if (read && kind == G_TYPE_DOUBLE && count == 2) {
            read = g_value_get_double(&bounds[0]) < g_value_get_double(&bounds[1]);
            if (read) {
                g_value_init(out, GST_TYPE_DOUBLE_RANGE);
                gst_value_set_double_range(out, g_value_get_double(&bounds[0]), g_value_get_double(&bounds[1]));
            }
        } else {
            read = false;
        }
        for (GValue& bound : bounds) {
            if (G_IS_VALUE(&bound))
                g_value_unset(&bound);
        }
        return read;
    }

    // "..." with backslash escapes: a string, whatever the text inside.
    bool Quoted(GType type, GValue* out)
    {
        if (type != G_TYPE_INVALID && type != G_TYPE_STRING)
            return false;
        ++m_at;
        std::string text;
        while (!AtEnd() && Peek() != '"') {
            if (Peek() == '\\' && m_at + 1 < m_text.size())
                ++m_at;
            text += m_text[m_at++];
        }
        if (!Take('"'))
            return false;
        g_value_init(out, G_TYPE_STRING);
        g_value_set_string(out, text.c_str());
        return true;
    }

    std::string_view m_text;
    size_t m_at = 0;
};

} // namespace

GstCaps* CapsFromText(std::string_view text)
{
    return Reader(text.substr(0, text.find('\0'))).Caps(); // the text ends at a NUL, as a C string does
}

} // namespace fuzz
