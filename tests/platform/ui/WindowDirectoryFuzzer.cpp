// libFuzzer target: the window directory's wire format, read as a request and as a reply. What
// reads keeps to the limits and encodes back to bytes that read the same.
#include "platform/ui/WindowDirectory.h"
#include "support/FuzzSupport.h"

namespace {

bool SameRequest(const DirectoryRequest& a, const DirectoryRequest& b)
{
    return a.kind == b.kind && a.instance == b.instance && a.handle == b.handle && a.argument == b.argument
        && a.message == b.message && a.data == b.data;
}

bool SameReply(const DirectoryReply& a, const DirectoryReply& b)
{
    if (a.status != b.status || a.instance != b.instance || a.result != b.result || a.windows.size() != b.windows.size())
        return false;
    for (size_t i = 0; i < a.windows.size(); ++i) {
        const DirectoryWindow& x = a.windows[i];
        const DirectoryWindow& y = b.windows[i];
        if (x.handle != y.handle || x.visible != y.visible || x.minimized != y.minimized || x.className != y.className
            || x.title != y.title)
            return false;
    }
    return true;
}

void CheckRequest(const BYTE* bytes, size_t size)
{
    std::optional<size_t> body = size >= kRequestHeaderSize ? RequestBodyLength(bytes) : std::nullopt;
    std::optional<DirectoryRequest> request = DecodeRequest(bytes, size);
    if (!request)
        return;
    fuzz::Check(body && size == kRequestHeaderSize + *body, "a request is its header and the body it announces");
    fuzz::Check(request->data.size() <= kDirectoryMaxCopyData, "a request's data keeps to the limit");
    std::vector<BYTE> encoded = EncodeRequest(*request);
    std::optional<DirectoryRequest> again = DecodeRequest(encoded.data(), encoded.size());
    fuzz::Check(again && SameRequest(*request, *again), "an encoded request reads back");
}

void CheckReply(const BYTE* bytes, size_t size)
{
    std::optional<size_t> body = size >= kReplyHeaderSize ? ReplyBodyLength(bytes) : std::nullopt;
    std::optional<DirectoryReply> reply = DecodeReply(bytes, size);
    if (!reply)
        return;
    fuzz::Check(body && size == kReplyHeaderSize + *body, "a reply is its header and the body it announces");
    fuzz::Check(reply->windows.size() <= kDirectoryMaxListed, "a reply lists at most the limit");
    for (const DirectoryWindow& window : reply->windows)
        fuzz::Check(window.className.size() <= kDirectoryMaxNameUnits && window.title.size() <= kDirectoryMaxNameUnits,
            "names in a reply keep to the limit");
    std::vector<BYTE> encoded = EncodeReply(*reply);
    std::optional<DirectoryReply> again = DecodeReply(encoded.data(), encoded.size());
    fuzz::Check(again && SameReply(*reply, *again), "an encoded reply reads back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckRequest(data, size);
    CheckReply(data, size);
    return 0;
}
