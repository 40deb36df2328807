#include "engine/core/code_cache.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace korvane {

namespace {

// Enough for the code a ROM runs from in a while; a page past them takes the
// place of the one decoded longest ago. Static storage: a page costs memory
// only once it is used, and taking one costs no allocation.
constexpr size_t PoolPages = 128;
DecodedPage Pool[PoolPages];
size_t PoolUsed;
size_t NextVictim;

// The pages by host page and mode: open addressing, at most half full.
constexpr size_t SlotCount = 2 * PoolPages;
DecodedPage* Slots[SlotCount];

size_t SlotOf(const uint8_t* host, uint32_t mode)
{
    const uint64_t key = reinterpret_cast<uintptr_t>(host) >> 12 ^ mode;
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 55) & (SlotCount - 1);
}

DecodedPage* Lookup(const uint8_t* host, uint32_t mode)
{
    for (size_t slot = SlotOf(host, mode);; slot = (slot + 1) & (SlotCount - 1)) {
        DecodedPage* page = Slots[slot];
        if (!page || (page->Host == host && page->Mode == mode))
            return page;
    }
}

void Insert(DecodedPage* page)
{
    size_t slot = SlotOf(page->Host, page->Mode);
    while (Slots[slot])
        slot = (slot + 1) & (SlotCount - 1);
    Slots[slot] = page;
}

// Removes the page and moves back the ones after it that its slot had
// pushed on, so that every lookup still finds its page before an empty slot.
void Remove(const DecodedPage* page)
{
    size_t slot = SlotOf(page->Host, page->Mode);
    while (Slots[slot] != page)
        slot = (slot + 1) & (SlotCount - 1);
    Slots[slot] = nullptr;
    for (size_t next = (slot + 1) & (SlotCount - 1); Slots[next]; next = (next + 1) & (SlotCount - 1)) {
        DecodedPage* moved = Slots[next];
        Slots[next] = nullptr;
        Insert(moved);
    }
}

// The page decoded longest ago leaves the lookup and every emulated page.
DecodedPage* TakePage()
{
    if (PoolUsed < PoolPages)
        return &Pool[PoolUsed++];
    DecodedPage* page = &Pool[NextVictim];
    NextVictim = (NextVictim + 1) % PoolPages;
    Remove(page);
    for (auto& table : DecodedPages) {
        for (DecodedPage*& mapped : table) {
            if (mapped == page)
                mapped = &UnmappedPage;
        }
    }
    return page;
}

} // namespace

DecodedPage UnmappedPage;
DecodedPage* DecodedPages[2][256];
DecodedPage** ActiveDecodedPages = DecodedPages[0];

// The unmapped page's entries hold bytes that no host page shows (nibble
// bytes are below 0x20).
void InitCodeCache()
{
    UnmappedPage.Host = BlankPage;
    for (uint64_t& bytes : UnmappedPage.Bytes)
        bytes = ~uint64_t{0};
    for (auto& table : DecodedPages) {
        for (DecodedPage*& mapped : table)
            mapped = &UnmappedPage;
    }
}

void ForgetDecodedPages(unsigned firstPage, unsigned count)
{
    const unsigned end = std::min(firstPage + count, 256u);
    for (unsigned page = firstPage; page < end; ++page) {
        DecodedPages[0][page] = &UnmappedPage;
        DecodedPages[1][page] = &UnmappedPage;
    }
}

DecodedPage* FindDecodedPage(unsigned number)
{
    const uint8_t* host = Memory.Pages.Fetch[number];
    // The mode of the table the reference path dispatches through now.
    const uint32_t mode = ActiveDecodedPages == DecodedPages[1] ? 1 : 0;
    DecodedPage* page = Lookup(host, mode);
    if (!page) {
        page = TakePage();
        page->Host = host;
        page->Mode = mode;
        // Undecoded entries, those past the page's end among them, hold
        // bytes that no host byte run shows, so the loop never jumps to
        // their labels.
        std::fill(std::begin(page->Bytes), std::end(page->Bytes), ~uint64_t{0});
        Insert(page);
    }
    DecodedPages[mode][number] = page;
    return page;
}

InstructionShape DecodeEntry(DecodedPage& page, size_t offset)
{
    uint64_t bytes;
    std::memcpy(&bytes, page.Host + offset, sizeof bytes);
    const InstructionShape shape = DescribeInstruction(bytes, page.Mode != 0);
    page.Bytes[offset] = bytes;
    const bool called =
        shape.Job == Work::Call || shape.Job == Work::ReadNibbles || shape.Job == Work::WriteNibbles;
    page.Operands[offset] = called ? reinterpret_cast<uintptr_t>(shape.Handler) : shape.Operand;
    page.Costs[offset] = shape.Cost + CountedInstruction;
    page.Targets[offset] = shape.Target;
    page.Sources[offset] = shape.Source;
    page.Branches[offset] = called ? shape.Length : shape.Branch;
    return shape;
}

} // namespace korvane
