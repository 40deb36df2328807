// A file opened for reading, as the program and the helper library read
// their files: every byte asked for arrives, or the read fails.
#pragma once

#include <cstdint>

namespace platform {

class ReadOnlyFile {
public:
    // Opened without waiting: opening a named pipe would otherwise wait for
    // a writer. Reads of a regular file are not affected.
    explicit ReadOnlyFile(const char* path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool IsOpen() const { return Descriptor >= 0; }

    // The size of a regular file; false for anything else (a directory, a
    // device or a pipe has no size to go by).
    bool Size(uint64_t& size) const;

    // Exactly count bytes from offset; false on a short read.
    bool ReadAt(void* into, uint64_t count, uint64_t offset) const;

private:
    int Descriptor;
};

} // namespace platform
