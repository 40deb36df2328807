// Reading and writing the program's files: object files and state files.
// Plain POSIX, so that the tests and the fuzz target use exactly what the
// program uses.
//
// A file is read only when it is a regular file and every byte asked for
// arrives (platform::ReadOnlyFile); a file is replaced only through a
// temporary file beside it, renamed over it once every byte is on the disk,
// so a failed write leaves the old file as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelrin {

// Why the file cannot be read, as a sentence for the person ("No such file
// or directory.", "It is a directory.", ...); empty when it is a regular
// file that opens for reading.
std::string WhyUnreadable(const std::string& path);

// The whole file when it is a regular file of at most limit bytes that
// reads in full; otherwise nullopt, with why saying which it is not.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, uint64_t limit, std::string& why);

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
    // Why the first step that failed did, as a sentence for the person.
    const std::string& Failure() const { return Reason; }

private:
    void Discard();
    bool Fail(const std::string& reason);

    int Descriptor = -1;
    bool Failed = false;
    std::string Target;
    std::string Temporary;
    std::string Reason;
};

} // namespace pelrin
