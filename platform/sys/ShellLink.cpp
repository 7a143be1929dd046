#include "platform/sys/ShellLink.h"

#include "platform/sys/AtomicFile.h"
#include "platform/sys/CommandLine.h"
#include "platform/sys/NativePath.h"

#include <sys/stat.h>

#include <atomic>
#include <string_view>

namespace {

constexpr std::string_view kReservedCharacters = " \t\n\"'\\><~|&;$*?#()`";
constexpr const char* kProgramIcon = "application-x-executable";

bool IsRegularFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string QuoteExecArgument(const std::string& argument)
{
    std::string quoted;
    bool needsQuotes = argument.empty() || argument.find_first_of(kReservedCharacters) != std::string::npos;
    for (char c : argument) {
        if (c == '%') {
            quoted += "%%";
            continue;
        }
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\'))
            quoted += '\\';
        quoted += c;
    }
    return needsQuotes ? '"' + quoted + '"' : quoted;
}

// The escapes of a string value; ';' needs none outside lists.
std::string EscapeStringValue(std::string_view text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

HRESULT CopyOut(const WString& text, LPWSTR buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return E_INVALIDARG;
    CopyToBuffer(text, buffer, static_cast<size_t>(capacity));
    return S_OK;
}

class CShellLink final : public IShellLinkW, public IPersistFile {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IShellLinkW)
            *object = static_cast<IShellLinkW*>(this);
        else if (iid == IID_IPersistFile || iid == IID_IPersist)
            *object = static_cast<IPersistFile*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT GetPath(LPWSTR file, int capacity) override { return CopyOut(m_target, file, capacity); }
    HRESULT SetPath(LPCWSTR file) override { return Set(m_target, file); }
    HRESULT GetDescription(LPWSTR description, int capacity) override { return CopyOut(m_description, description, capacity); }
    HRESULT SetDescription(LPCWSTR description) override { return Set(m_description, description); }
    HRESULT GetArguments(LPWSTR arguments, int capacity) override { return CopyOut(m_arguments, arguments, capacity); }
    HRESULT SetArguments(LPCWSTR arguments) override { return Set(m_arguments, arguments); }
    HRESULT SetIconLocation(LPCWSTR iconPath, int) override { return Set(m_icon, iconPath); }

    HRESULT GetClassID(CLSID* classId) override
    {
        if (!classId)
            return E_POINTER;
        *classId = CLSID_ShellLink;
        return S_OK;
    }

    HRESULT Save(LPCOLESTR fileName, BOOL) override
    {
        if (!fileName || !*fileName || m_target.empty())
            return E_FAIL;
        std::string path = ToNativePath(ToView(fileName));
        if (!WriteFileAtomically(path, EntryText(path)))
            return E_FAIL;
        chmod(path.c_str(), 0644);
        return S_OK;
    }

private:
    static HRESULT Set(WString& field, LPCWSTR text)
    {
        if (!text)
            return E_INVALIDARG;
        field = text;
        return S_OK;
    }

    std::string IconValue() const
    {
        if (!m_icon.empty())
            return ToNativePath(m_icon);
        std::string beside = ToNativePath(m_target) + ".png";
        return IsRegularFile(beside) ? beside : kProgramIcon;
    }

    std::string EntryText(const std::string& path) const
    {
        std::string name = path.substr(path.find_last_of('/') + 1);
        if (name.size() > 8 && name.ends_with(".desktop"))
            name.resize(name.size() - 8);
        std::vector<WString> argv {m_target};
        for (WString& argument : SplitArguments(m_arguments))
            argv.push_back(std::move(argument));
        std::string text = "[Desktop Entry]\nType=Application\n";
        text += "Name=" + EscapeStringValue(name) + "\n";
        if (!m_description.empty())
            text += "Comment=" + EscapeStringValue(WideToUtf8(m_description)) + "\n";
        text += "Exec=" + DesktopEntryExec(argv) + "\n";
        text += "Icon=" + EscapeStringValue(IconValue()) + "\n";
        text += "Terminal=false\n";
        return text;
    }

    std::atomic<ULONG> m_references {1};
    WString m_target;
    WString m_description;
    WString m_arguments;
    WString m_icon;
};

HRESULT CreateShellLink(REFIID iid, void** object)
{
    auto* link = new CShellLink;
    HRESULT result = link->QueryInterface(iid, object);
    link->Release();
    return result;
}

// The class is part of the shell, there from the start like the system's own.
const bool g_shellLinkRegistered = (RegisterComClass(CLSID_ShellLink, CreateShellLink), true);

} // namespace

std::string DesktopEntryExec(const std::vector<WString>& argv)
{
    std::string line;
    for (size_t i = 0; i < argv.size(); ++i) {
        if (i > 0)
            line += ' ';
        // The program is a path, which may be written with either separator; arguments stay as given.
        line += QuoteExecArgument(i == 0 ? ToNativePath(argv[i]) : WideToUtf8(argv[i]));
    }
    return EscapeStringValue(line);
}
