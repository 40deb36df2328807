// Weak stand-ins for the leaf tables of families not yet written; a family's
// own definitions replace them at link time.
#include "engine/decode/leaves.h"

namespace korvane {

namespace {

template <typename Table>
constexpr void FillWithPlaceholder(Table& table)
{
    if constexpr (std::is_same_v<Table, InstructionHandler>) {
        table = &OpPlaceholder;
    } else {
        for (auto& entry : table)
            FillWithPlaceholder(entry);
    }
}

template <typename Table>
constexpr Table Placeholders()
{
    Table table{};
    FillWithPlaceholder(table);
    return table;
}

} // namespace

[[gnu::weak]] void OpIntOn() {}
[[gnu::weak]] void OpIntOff() {}
[[gnu::weak]] void OpRsi() {}
[[gnu::weak]] void OpBusCB() {}

[[gnu::weak]] extern constinit const LeafTable<2, 16, 16> AndOrLeaves = Placeholders<LeafTable<2, 16, 16>>();
[[gnu::weak]] extern constinit const LeafTable<2, 16, 16> MemoryTransferLeaves = Placeholders<LeafTable<2, 16, 16>>();
[[gnu::weak]] extern constinit const LeafTable<2, 16> LoadAddressLeaves = Placeholders<LeafTable<2, 16>>();
[[gnu::weak]] extern constinit const LeafTable<2, 4, 16> BitAssignLeaves = Placeholders<LeafTable<2, 4, 16>>();
[[gnu::weak]] extern constinit const LeafTable<2, 4, 16> BitTestLeaves = Placeholders<LeafTable<2, 4, 16>>();
[[gnu::weak]] extern constinit const LeafTable<2, 2> JumpThroughMemoryLeaves = Placeholders<LeafTable<2, 2>>();
[[gnu::weak]] extern constinit const LeafTable<2, 16> CFromPLeaves = Placeholders<LeafTable<2, 16>>();
[[gnu::weak]] extern constinit const LeafTable<2, 16> PFromCLeaves = Placeholders<LeafTable<2, 16>>();
[[gnu::weak]] extern constinit const LeafTable<2, 16> CPExchangeLeaves = Placeholders<LeafTable<2, 16>>();
[[gnu::weak]] extern constinit const LeafTable<2, 9, 8, 16> ConstantArithmeticLeaves =
    Placeholders<LeafTable<2, 9, 8, 16>>();
[[gnu::weak]] extern constinit const LeafTable<2, 9, 4> FieldShiftLeaves = Placeholders<LeafTable<2, 9, 4>>();
[[gnu::weak]] extern constinit const LeafTable<2, 9, 3, 16> ScratchFieldLeaves = Placeholders<LeafTable<2, 9, 3, 16>>();
[[gnu::weak]] extern constinit const LeafTable<2, 6> PcTransferLeaves = Placeholders<LeafTable<2, 6>>();
[[gnu::weak]] extern constinit const LeafTable<2, 4> MultiplyDivideLeaves = Placeholders<LeafTable<2, 4>>();

} // namespace korvane
