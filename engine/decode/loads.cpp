#include "engine/decode/loads.h"

namespace korvane {

namespace {

void LoadNothing(NibbleRegister*, const uint8_t*) {}

constexpr std::array<LoadNibblesProc, 256> BuildLoadNibblesTable()
{
    std::array<LoadNibblesProc, 256> table{};
    for (auto& entry : table)
        entry = &LoadNothing;
    return table;
}

} // namespace

constinit const std::array<LoadNibblesProc, 256> LoadNibblesTable = BuildLoadNibblesTable();

} // namespace korvane
