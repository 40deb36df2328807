#include "ui/state_file.h"

#include <bit>
#include <cstring>
#include <new>

#include "korvane.h"
#include "platform/file.h"
#include "tessock.h"
#include "ui/file_io.h"

namespace pelrin {

namespace {

constexpr uint32_t SmallestPort = 0x1000;

struct PortCalls {
    uint32_t (*Create)(uint32_t size);
    void (*Destroy)();
    void (*Get)(uint32_t* size, uint8_t** buffer);
};

constexpr PortCalls Ports[StatePortCount] = {
    {KHCreatePort0, KHDestroyPort0, KHGetPort0},
    {KHCreatePort1, KHDestroyPort1, KHGetPort1},
    {KHCreatePort2, KHDestroyPort2, KHGetPort2},
};

uint32_t LittleEndianWord(const uint8_t* bytes)
{
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

void PutLittleEndianWord(uint8_t* bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

uint64_t StateFileLayout::SizeFieldOffset(int port) const
{
    uint64_t offset = StateBlockBytes;
    for (int p = 0; p < port; ++p)
        offset += 4 + uint64_t{PortSizes[p]};
    return offset;
}

bool IsStatePortSize(uint32_t size)
{
    return size == 0 || (size >= SmallestPort && std::has_single_bit(size));
}

std::optional<StateFileLayout> ReadStateLayout(uint64_t fileSize,
                                               const std::function<std::optional<uint32_t>(uint64_t)>& wordAt,
                                               std::string* why)
{
    const auto refuse = [why](std::string reason) -> std::optional<StateFileLayout> {
        if (why)
            *why = std::move(reason);
        return std::nullopt;
    };
    const std::string length = "It is " + std::to_string(fileSize) + " bytes long";
    StateFileLayout layout;
    for (int port = 0; port < StatePortCount; ++port) {
        const uint64_t field = layout.SizeFieldOffset(port);
        // Each field is looked at only inside the file, so a size that runs
        // past its end is refused before anything is read beyond it.
        if (field + 4 > fileSize)
            return refuse(length + " and ends before the size of port " + std::to_string(port) +
                          ": it is cut short, or no state file.");
        const std::optional<uint32_t> size = wordAt(field);
        if (!size)
            return refuse("It could not be read.");
        if (!IsStatePortSize(*size))
            return refuse("It is no state file: it gives port " + std::to_string(port) + " a size of " +
                          std::to_string(*size) + " nibbles, which no port has.");
        layout.PortSizes[port] = *size;
    }
    if (layout.FileSize() != fileSize)
        return refuse(length + " where the port sizes in it make " + std::to_string(layout.FileSize()) +
                      (layout.FileSize() > fileSize ? ": it is cut short." : ": something follows the last port."));
    return layout;
}

std::optional<StateFileLayout> CheckStateFile(const uint8_t* data, size_t size)
{
    if (!data)
        return std::nullopt;
    return ReadStateLayout(size, [data](uint64_t offset) -> std::optional<uint32_t> {
        return LittleEndianWord(data + offset);
    });
}

std::vector<uint8_t> CaptureState()
{
    uint8_t block[StateBlockBytes] = {};
    KVSaveState(block, sizeof block);
    StateFileLayout layout;
    uint8_t* images[StatePortCount] = {};
    for (int port = 0; port < StatePortCount; ++port) {
        Ports[port].Get(&layout.PortSizes[port], &images[port]);
        if (!images[port])
            layout.PortSizes[port] = 0;
    }

    std::vector<uint8_t> file(layout.FileSize());
    std::memcpy(file.data(), block, sizeof block);
    for (int port = 0; port < StatePortCount; ++port) {
        const uint64_t field = layout.SizeFieldOffset(port);
        const uint32_t size = layout.PortSizes[port];
        PutLittleEndianWord(file.data() + field, size);
        if (size)
            std::memcpy(file.data() + field + 4, images[port], size);
    }
    return file;
}

bool RestoreState(const uint8_t* data, size_t size)
{
    const std::optional<StateFileLayout> layout = CheckStateFile(data, size);
    if (!layout)
        return false;
    // The engine reads a buffer of its own size; the file's block is copied
    // so that nothing is read from the caller's memory beyond the check.
    uint8_t block[StateBlockBytes];
    std::memcpy(block, data, sizeof block);
    KVRestoreState(block, sizeof block);
    for (int port = 0; port < StatePortCount; ++port) {
        const PortCalls& calls = Ports[port];
        calls.Destroy();
        const uint32_t wanted = layout->PortSizes[port];
        if (wanted == 0)
            continue;
        calls.Create(wanted);
        uint32_t made = 0;
        uint8_t* image = nullptr;
        calls.Get(&made, &image);
        // A creation that failed (no memory) leaves the port absent.
        if (image && made == wanted)
            std::memcpy(image, data + layout->SizeFieldOffset(port) + 4, wanted);
    }
    return true;
}

std::optional<std::vector<uint8_t>> ReadStateFile(const std::string& path, std::string& why)
{
    const platform::ReadOnlyFile file(path.c_str());
    uint64_t size = 0;
    if (!file.Size(size)) {
        why = WhyUnreadable(path);
        if (why.empty())
            why = "It could not be read.";
        return std::nullopt;
    }
    const auto layout = ReadStateLayout(
        size,
        [&file](uint64_t offset) -> std::optional<uint32_t> {
            uint8_t word[4];
            if (!file.ReadAt(word, sizeof word, offset))
                return std::nullopt;
            return LittleEndianWord(word);
        },
        &why);
    if (!layout)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        why = "There is not enough memory to read it.";
        return std::nullopt;
    }
    // Checked again as read: the file may have changed since its sizes were.
    if (!file.ReadAt(bytes.data(), size, 0)) {
        why = "It could not be read in full.";
        return std::nullopt;
    }
    if (!ReadStateLayout(
            size, [&bytes](uint64_t offset) -> std::optional<uint32_t> { return LittleEndianWord(&bytes[offset]); },
            &why))
        return std::nullopt;
    return bytes;
}

} // namespace pelrin
