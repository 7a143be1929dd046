// Files that appear under their final name only once they are complete.
#pragma once

#include "platform/base/Strings.h"
#include "platform/base/WinTypes.h"

#include <cstdio>
#include <string>

// Writes a new file without ever exposing a partial one: the bytes go to a hidden temporary
// file in the target's folder, created exclusively and never through a link, and Commit syncs
// it and gives it the final name only if that name is free (a link, even a dangling one, counts
// as taken). Whatever does not end in a successful Commit removes the temporary file, so a full
// disk or a failed encode leaves nothing behind. A writer killed midway cannot clean up; the
// first writer of a process in that folder removes such leftovers once they are an hour old.
class NewFileWriter {
public:
    explicit NewFileWriter(LPCWSTR finalPath);
    ~NewFileWriter();
    NewFileWriter(const NewFileWriter&) = delete;
    NewFileWriter& operator=(const NewFileWriter&) = delete;

    // The stream to write to, or null when the temporary file could not be made (the last
    // error tells why).
    FILE* Stream() const { return m_stream; }
    // Flushes, syncs and closes the stream and publishes the file. FALSE with
    // ERROR_FILE_EXISTS when the final name is taken, or the error of the failed write.
    BOOL Commit();
    // Drops what was written.
    void Discard();

private:
    std::string m_finalPath;
    std::string m_tempPath;
    FILE* m_stream = nullptr;
};
