// How the stores (registry, INI files) read and write their files safely across processes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Writes a temporary file in the target's folder, syncs it, renames it over the target and
// syncs the folder, so a crash at any point leaves either the old or the new content.
// On failure errno tells why and the target is untouched.
bool WriteFileAtomically(const std::string& nativePath, std::string_view bytes);

// The whole content of a file, or nothing when it cannot be read (errno tells why).
std::optional<std::string> ReadFileContents(const std::string& nativePath);

// Creates a folder and its missing parents; true when it exists afterwards.
bool CreateDirectoryTree(const std::string& nativePath);

// An exclusive flock on "<path>.lock", held for the object's life. It serialises
// read-modify-write cycles between processes and between threads of one process (each
// FileLock opens the lock file on its own, and flock locks of separate opens exclude each other).
class FileLock {
public:
    explicit FileLock(const std::string& nativePath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool IsLocked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
