// The per-user directory of top-level windows. Every process with top-level windows answers
// requests about them on a Unix socket named by its pid, in a folder only the user can reach.
// Internal to platform/ui: the system's code reaches other processes through ForeignWindows.h.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

inline constexpr size_t kDirectoryMaxNameUnits = 256;       // class names and titles
inline constexpr size_t kDirectoryMaxCopyData = 1024 * 1024; // bytes of one WM_COPYDATA
inline constexpr size_t kDirectoryMaxListed = 1024;         // windows in one list answer
inline constexpr DWORD kDirectoryPeerTimeoutMs = 500;       // connecting, sending, and a list answer
inline constexpr DWORD kDirectoryHandlerTimeoutMs = 5000;   // an answer that runs a window procedure
inline constexpr DWORD kDirectoryIdleTimeoutMs = 500;       // a server's wait for a whole request
inline constexpr size_t kDirectoryMaxPeers = 256;           // peers asked by one search

enum class DirectoryRequestKind : uint32_t { List = 1, Show = 2, Foreground = 3, Send = 4 };
enum class DirectoryStatus : uint32_t { Done = 0, Refused = 1 };

struct DirectoryRequest {
    DirectoryRequestKind kind = DirectoryRequestKind::List;
    uint64_t instance = 0; // the serving process's token from its list answer; List ignores it
    uint64_t handle = 0;
    int64_t argument = 0;  // Show: the command; Send: dwData
    uint32_t message = 0;  // Send: WM_COPYDATA or WM_NULL
    std::vector<BYTE> data; // Send with WM_COPYDATA: the data block
};

struct DirectoryWindow {
    uint64_t handle = 0;
    bool visible = false;
    bool minimized = false;
    WString className;
    WString title; // cut to kDirectoryMaxNameUnits
};

struct DirectoryReply {
    DirectoryStatus status = DirectoryStatus::Refused;
    // Tells a process from a later one that got the same pid.
    uint64_t instance = 0;
    int64_t result = 0;
    std::vector<DirectoryWindow> windows; // List only
};

// The wire format: a fixed header announcing the length of what follows. A header that breaks a
// limit is malformed, so a reader knows how much to accept before it allocates anything.
inline constexpr size_t kRequestHeaderSize = 40;
inline constexpr size_t kReplyHeaderSize = 32;
std::vector<BYTE> EncodeRequest(const DirectoryRequest& request);
std::optional<size_t> RequestBodyLength(const BYTE* header);
std::optional<DirectoryRequest> DecodeRequest(const BYTE* bytes, size_t size);
std::vector<BYTE> EncodeReply(const DirectoryReply& reply);
std::optional<size_t> ReplyBodyLength(const BYTE* header);
std::optional<DirectoryReply> DecodeReply(const BYTE* bytes, size_t size);

// $XDG_RUNTIME_DIR/lumo-windows, or lumo-windows-<uid> in the system's temporary folder when
// that variable is unset (or not an absolute path).
std::string WindowDirectoryFolderPath();
// Creates the folder with mode 0700, or accepts an existing one only when it is a real folder
// of this user that nobody else may enter.
bool PreparePrivateFolder(const std::string& path);
// The prepared folder of the directory, or an empty text when it cannot be had.
std::string WindowDirectoryFolder();

// Starts answering for this process's top-level windows, once; the answers are given on the
// thread that iterates the default main context (the UI thread), about that thread's windows.
// The socket is removed when the process exits.
void ServeWindowDirectory();
bool IsServingWindowDirectory();

// The other processes with an entry in the folder. Entries of processes that are gone are removed.
std::vector<pid_t> WindowDirectoryPeers();
// One request to one process, bounded by the timeouts above. An entry whose socket refuses the
// connection is stale and removed. nullopt when the process could not be reached or answered nonsense.
std::optional<DirectoryReply> AskWindowDirectoryPeer(pid_t pid, const DirectoryRequest& request);
// Asks every peer for its window list at once and hands each answer to `take` as it comes in,
// until `take` returns true or kDirectoryPeerTimeoutMs have passed for all of them together, so
// silent peers cannot stretch a search. Entries that refuse connections are removed.
void ListWindowDirectoryPeers(const std::function<bool(pid_t, const DirectoryReply&)>& take);
