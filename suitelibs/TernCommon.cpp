// The suite's common services: here only the statistics sender. It keeps every URL it is handed as
// one line of a spool file in the user's state folder; nothing leaves the machine.
#include "platform/base/Strings.h"
#include "suite/SuiteInterfaces.h"
#include "suitelibs/StateFolder.h"

#include <atomic>

namespace {

constexpr char kSpoolName[] = "/statistics.spool";

class CStatSender final : public TernStatSender {
public:
    // The sender lives as long as the library; references are counted for callers that care.
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override { return m_references > 1 ? --m_references : 1; }

    int GetSpoolPath(LPWSTR buffer, int capacity) override
    {
        std::string path = SpoolPath();
        if (path.empty() || !buffer || capacity <= 0)
            return 0;
        return CopyToBuffer(Utf8ToWide(path), buffer, static_cast<size_t>(capacity)) ? 1 : 0;
    }

    int GetSentCount() override { return m_sent; }

    int Send(LPCWSTR url) override
    {
        if (!url || !*url)
            return 0;
        std::string line = WideToUtf8(ToView(url));
        // A line break inside the URL would split one request into two.
        if (line.find_first_of("\r\n") != std::string::npos)
            return 0;
        std::string path = SpoolPath();
        if (path.empty() || !AppendLine(path, line))
            return 0;
        ++m_sent;
        return 1;
    }

private:
    static std::string SpoolPath()
    {
        std::string folder = SuiteStateFolder();
        return folder.empty() ? folder : folder + kSpoolName;
    }

    std::atomic<ULONG> m_references {1};
    std::atomic<int> m_sent {0};
};

class CCommonServices final : public TernCommonServices {
public:
    TernStatSender* GetStatSender() override { return &m_sender; }

private:
    CStatSender m_sender;
};

} // namespace

extern "C" TernCommonServices* GetTernCommonInstance()
{
    static CCommonServices services;
    return &services;
}
