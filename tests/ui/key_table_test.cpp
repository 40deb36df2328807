// The key table against the calculator's layout written out row by row:
// rectangle, matrix position or command, glow radius and PC key.
#include <gtest/gtest.h>

#include "ui/key_table.h"

namespace pelrin {
namespace {

struct Row {
    int left, top, right, bottom, rowCode, columnCode, radius, pcKey;
};

// clang-format off
const Row Expected[KeyTableRows] = {
    {331, 0, 347, 16, 10, 32771, 7, 255},   {0, 0, 16, 16, 10, 32785, 7, 255},
    {21, 275, 66, 302, 5, 0, 12, 0x41},     {72, 275, 117, 302, 5, 1, 12, 0x42},
    {124, 275, 169, 302, 5, 2, 12, 0x43},   {176, 275, 221, 302, 5, 3, 12, 0x44},
    {228, 275, 273, 302, 5, 4, 12, 0x45},   {281, 275, 326, 302, 5, 5, 12, 0x46},
    {27, 322, 79, 353, 5, 7, 14, 0x47},     {87, 322, 139, 353, 4, 7, 14, 0x48},
    {146, 322, 198, 353, 3, 7, 14, 0x49},   {27, 363, 79, 394, 2, 7, 14, 0x4A},
    {87, 363, 139, 394, 1, 7, 14, 0x4B},    {146, 363, 198, 394, 0, 7, 14, 0x4C},
    {237, 305, 285, 338, 6, 3, 15, 0x26},   {237, 385, 285, 418, 6, 1, 15, 0x28},
    {206, 343, 253, 377, 6, 2, 16, 0x25},   {271, 343, 318, 377, 6, 0, 16, 0x27},
    {27, 420, 81, 449, 4, 6, 13, 0x4D},     {87, 420, 141, 449, 3, 6, 13, 0x4E},
    {146, 420, 200, 449, 2, 6, 13, 0x4F},   {206, 420, 260, 449, 1, 6, 13, 0x50},
    {266, 420, 320, 449, 0, 6, 13, 0x08},   {27, 460, 81, 489, 4, 5, 13, 0x51},
    {87, 460, 141, 489, 3, 5, 13, 0x52},    {146, 460, 200, 489, 2, 5, 13, 0x53},
    {206, 460, 260, 489, 1, 5, 13, 0x54},   {266, 460, 320, 489, 0, 5, 13, 0x55},
    {27, 500, 81, 529, 4, 4, 13, 0x56},     {87, 500, 141, 529, 3, 4, 13, 0x57},
    {146, 500, 200, 529, 2, 4, 13, 0x58},   {206, 500, 260, 529, 1, 4, 13, 0x59},
    {266, 500, 320, 529, 0, 4, 13, 0x5A},   {27, 543, 81, 578, 7, 3, 16, 0x09},
    {87, 543, 141, 578, 3, 3, 16, 0x37},    {146, 543, 200, 578, 2, 3, 16, 0x38},
    {206, 543, 260, 578, 1, 3, 16, 0x39},   {266, 543, 320, 578, 0, 3, 16, 0x2A},
    {27, 588, 81, 623, 7, 2, 16, 0x10},     {87, 588, 141, 623, 3, 2, 16, 0x34},
    {146, 588, 200, 623, 2, 2, 16, 0x35},   {206, 588, 260, 623, 1, 2, 16, 0x36},
    {266, 588, 320, 623, 0, 2, 16, 0x2D},   {27, 632, 81, 667, 7, 1, 16, 0x11},
    {87, 632, 141, 667, 3, 1, 16, 0x31},    {146, 632, 200, 667, 2, 1, 16, 0x32},
    {206, 632, 260, 667, 1, 1, 16, 0x33},   {266, 632, 320, 667, 0, 1, 16, 0xBB},
    {27, 677, 81, 712, 9, 9, 16, 0x1B},     {87, 677, 141, 712, 3, 0, 16, 0x30},
    {146, 677, 200, 712, 2, 0, 16, 0x2E},   {146, 677, 200, 712, 2, 0, 16, 0xBE},
    {206, 677, 260, 712, 1, 0, 16, 0x20},   {266, 677, 320, 712, 0, 0, 16, 0x0D},
    {0, 0, 0, 0, -1, 0, -1, 255},
};
// clang-format on

int RowOf(const KeyRect* key)
{
    return key ? static_cast<int>(key - KeyTable.data()) : -1;
}

TEST(KeyTable, EveryRowHoldsTheLayoutsRectangleCodesRadiusAndPcKey)
{
    for (int i = 0; i < KeyTableRows; ++i) {
        SCOPED_TRACE(i);
        const KeyRect& key = KeyTable[i];
        const Row& row = Expected[i];
        EXPECT_EQ(key.left, row.left);
        EXPECT_EQ(key.top, row.top);
        EXPECT_EQ(key.right, row.right);
        EXPECT_EQ(key.bottom, row.bottom);
        EXPECT_EQ(key.rowCode, row.rowCode);
        EXPECT_EQ(key.columnCode, row.columnCode);
        EXPECT_EQ(key.radius, row.radius);
        EXPECT_EQ(key.pcKey, row.pcKey);
    }
}

TEST(KeyTable, NoTwoKeysOverlapExceptTheDeleteAndPeriodRows)
{
    for (int i = 0; i < KeyTableRows - 1; ++i) {
        for (int j = i + 1; j < KeyTableRows - 1; ++j) {
            const KeyRect& a = KeyTable[i];
            const KeyRect& b = KeyTable[j];
            const bool overlap = a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
            EXPECT_EQ(overlap, i == 50 && j == 51) << i << " and " << j;
        }
    }
}

TEST(KeyTable, APointFindsTheFirstRowWhoseRectangleHoldsIt)
{
    // Left and top edges belong to the key, right and bottom ones do not.
    EXPECT_EQ(RowOf(FindKeyAt(87, 543)), 34);
    EXPECT_EQ(RowOf(FindKeyAt(140, 577)), 34);
    EXPECT_EQ(RowOf(FindKeyAt(141, 560)), -1);
    EXPECT_EQ(RowOf(FindKeyAt(100, 578)), -1);
    EXPECT_EQ(RowOf(FindKeyAt(86, 560)), -1);
    EXPECT_EQ(RowOf(FindKeyAt(100, 542)), -1);
    // The two window buttons in the corners.
    EXPECT_EQ(RowOf(FindKeyAt(346, 15)), 0);
    EXPECT_EQ(RowOf(FindKeyAt(347, 0)), -1);
    EXPECT_EQ(RowOf(FindKeyAt(0, 0)), 1);
    EXPECT_EQ(RowOf(FindKeyAt(16, 0)), -1);
    // The display and the plain face hold no key.
    EXPECT_EQ(RowOf(FindKeyAt(150, 140)), -1);
    EXPECT_EQ(RowOf(FindKeyAt(173, 20)), -1);
    // The period key is found as the Delete row, never its twin.
    EXPECT_EQ(RowOf(FindKeyAt(146, 677)), 50);
    EXPECT_EQ(RowOf(FindKeyAt(199, 711)), 50);
    // Outside the window.
    EXPECT_EQ(RowOf(FindKeyAt(-1, 300)), -1);
    EXPECT_EQ(RowOf(FindKeyAt(100, 740)), -1);
}

TEST(KeyTable, EveryKeysCentreFindsItsOwnRow)
{
    for (int i = 0; i < KeyTableRows - 1; ++i) {
        const KeyRect& key = KeyTable[i];
        const int expected = i == 51 ? 50 : i;
        EXPECT_EQ(RowOf(FindKeyAt((key.left + key.right) / 2, (key.top + key.bottom) / 2)), expected) << i;
    }
}

TEST(KeyTable, AVirtualKeyFindsTheFirstCalculatorKeyBoundToIt)
{
    EXPECT_EQ(RowOf(FindKeyByCode('A')), 2);
    EXPECT_EQ(RowOf(FindKeyByCode('Z')), 32);
    EXPECT_EQ(RowOf(FindKeyByCode('0')), 49);
    EXPECT_EQ(RowOf(FindKeyByCode(Vk::Up)), 14);
    EXPECT_EQ(RowOf(FindKeyByCode(Vk::Escape)), 48);
    EXPECT_EQ(RowOf(FindKeyByCode(Vk::Return)), 53);
    // Delete and period are one calculator key, (2, 0), in two rows.
    const KeyRect* del = FindKeyByCode(Vk::Delete);
    const KeyRect* period = FindKeyByCode(Vk::OemPeriod);
    EXPECT_EQ(RowOf(del), 50);
    EXPECT_EQ(RowOf(period), 51);
    ASSERT_TRUE(del && period);
    EXPECT_EQ(del->columnCode, period->columnCode);
    EXPECT_EQ(del->rowCode, period->rowCode);
    // The window buttons carry 255 but are never found by a key; nor is the
    // end row, nor a code no row has.
    EXPECT_EQ(RowOf(FindKeyByCode(255)), -1);
    EXPECT_EQ(RowOf(FindKeyByCode(0)), -1);
    EXPECT_EQ(RowOf(FindKeyByCode(Vk::Numpad0)), -1);
    EXPECT_EQ(RowOf(FindKeyByCode(0x10041)), -1);
}

TEST(KeyTable, EveryBoundPcKeyLeadsBackToItsRow)
{
    for (int i = 2; i < KeyTableRows - 1; ++i)
        EXPECT_EQ(RowOf(FindKeyByCode(KeyTable[i].pcKey)), i) << i;
}

} // namespace
} // namespace pelrin
