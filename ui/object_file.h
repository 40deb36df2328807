// Object files as the loading commands read them: at most 131072 bytes,
// sent over the serial link as they are, or placed in memory as a
// calculator object (an 8-byte header, then the body, two nibbles a byte,
// the low nibble first).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelrin {

constexpr uint64_t LargestObjectFile = 131072;
constexpr size_t ObjectHeaderBytes = 8;

// The file's bytes; nullopt, with why saying so, when it cannot be opened,
// is no regular file, is larger than LargestObjectFile or does not read in
// full.
std::optional<std::vector<uint8_t>> ReadObjectFile(const std::string& path, std::string& why);

// The object's nibbles after the header: nibble 2i of the file is the low
// four bits of byte i, nibble 2i + 1 its high four bits, and the first 16
// are the header's. nullopt for a file shorter than its header.
std::optional<std::vector<uint8_t>> ObjectBody(const std::vector<uint8_t>& file);

// The name a port-1 entry gets: the path after its last '/', or the whole
// path when it has none.
std::string ObjectName(const std::string& path);

} // namespace pelrin
