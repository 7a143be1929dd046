// A small file system of its own for a test (a tmpfs mounted on a fresh folder), to be filled until
// only a given number of bytes is free. Mounting needs root or a mount capability; without it the
// test reads Problem() and skips.
#pragma once

#include <cstdint>
#include <string>

class SmallFileSystem {
public:
    // On a fresh folder of its own, removed with it.
    explicit SmallFileSystem(std::uint64_t bytes);
    // On `folder`, which exists and stays.
    SmallFileSystem(std::uint64_t bytes, const std::string& folder);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    // Why there is none, "" when it is mounted.
    const std::string& Problem() const { return m_problem; }
    const std::string& Folder() const { return m_folder; }
    // What an unprivileged writer may still write there.
    std::uint64_t Free() const;
    // Writes a filler file so that about `bytes` stay free (to the file system's page); false when
    // that much is not free already.
    bool LeaveFree(std::uint64_t bytes);

private:
    void Mount(std::uint64_t bytes);

    std::string m_folder;
    bool m_ownFolder = false;
    std::string m_problem;
    bool m_mounted = false;
};
