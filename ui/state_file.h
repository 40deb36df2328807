// The state file: the whole machine but its ROM. Little-endian, with no
// magic number, version or checksum:
//
//   0            512  the engine's state block (the 358-byte snapshot, then
//                     154 bytes that carry nothing)
//   512            4  L0, port 0's size in nibbles (0: no port 0)
//   516           L0  port 0's image, one nibble per byte
//   516 + L0       4  L1, then L1 bytes of port 1
//   520 + L0 + L1  4  L2, then L2 bytes of port 2
//
// A file is loaded only when it is exactly that long and every size is 0 or
// a port size (a power of two of at least 4096); the check comes before
// anything changes, so a file that fails it leaves the machine as it was.
// Plain functions over the two libraries, without Qt, so that the fuzz
// target runs exactly this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelrin {

constexpr uint32_t StateBlockBytes = 512;
constexpr int StatePortCount = 3;

struct StateFileLayout {
    uint32_t PortSizes[StatePortCount] = {};

    // Where port p's size field begins; its image follows the field.
    uint64_t SizeFieldOffset(int port) const;
    uint64_t FileSize() const { return SizeFieldOffset(StatePortCount); }
};

// 0, or a size the helper library gives a port.
bool IsStatePortSize(uint32_t size);

// The layout of a file of fileSize bytes whose 32-bit words wordAt reads
// (nullopt when it cannot); nullopt when the file is no state file: a size
// field missing or not a port size, or the file longer or shorter than its
// sizes say. why, when given, then says which.
std::optional<StateFileLayout> ReadStateLayout(uint64_t fileSize,
                                               const std::function<std::optional<uint32_t>(uint64_t)>& wordAt,
                                               std::string* why = nullptr);
std::optional<StateFileLayout> CheckStateFile(const uint8_t* data, size_t size);

// The machine as a state file. KVSaveState stops the engine; it stays
// stopped.
std::vector<uint8_t> CaptureState();

// Restores the engine state and re-creates the three ports from a state
// file held in memory, once it has passed the check; false, with nothing
// changed, when it does not. After a restore the engine is stopped.
bool RestoreState(const uint8_t* data, size_t size);

// The whole file, when it passes the check (its size fields are looked at
// before the rest is read); nullopt otherwise, with why saying what it is
// not.
std::optional<std::vector<uint8_t>> ReadStateFile(const std::string& path, std::string& why);

} // namespace pelrin
