// Reading and writing the program's files: object files and state files.
// Plain POSIX, so that the tests and the fuzz target use exactly what the
// program uses.
//
// A file is read only when it is a regular file and every byte asked for
// arrives; a file is replaced only through a temporary file beside it,
// renamed over it once every byte is on the disk, so a failed write leaves
// the old file as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelrin {

class InputFile {
public:
    // Opens path for reading; !IsOpen() when it does not exist, cannot be
    // read or is no regular file (a pipe or a device would block or never
    // end).
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool IsOpen() const { return Descriptor >= 0; }
    uint64_t Size() const { return Bytes; }
    // Reads exactly count bytes at offset; false when fewer arrive.
    bool ReadAt(uint64_t offset, void* data, size_t count) const;

private:
    int Descriptor = -1;
    uint64_t Bytes = 0;
};

// The whole file when it opens, holds at most limit bytes and reads in full.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, uint64_t limit);

// A new content for path, written beside it and put in its place by Commit.
// Until then the old file stays; destroying an uncommitted one removes the
// temporary file.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file in path's directory; false when it cannot.
    bool Open(const std::string& path);
    // Writes every byte or reports false; a failed write fails the commit.
    bool Write(const void* data, size_t count);
    // Flushes the bytes to the disk and renames the file over path. false,
    // with the temporary file removed and path untouched, when any write,
    // the flush or the rename failed.
    bool Commit();

private:
    void Discard();

    int Descriptor = -1;
    bool Failed = false;
    std::string Target;
    std::string Temporary;
};

} // namespace pelrin
