// ?r=s, ?r#s, ?r=0 and ?r#0 (8Ab, 9ab with a 0-7).
#include <gtest/gtest.h>

#include "tests/engine/group8-9/register_model.h"

namespace {

// b AND 3 names the pair (A,B) (B,C) (C,A) (D,C), or the register A-D of a
// zero test; b >> 2 the kind: =, #, =0, #0.
bool Expected(unsigned b, const test::Registers& r, test::FieldRange f)
{
    const uint64_t x = test::FieldValue(r[b & 3], f);
    const uint64_t y = test::FieldValue(r[(b & 3) == 3 ? 2 : ((b & 3) + 1) % 3], f);
    const bool outcomes[] = {x == y, x != y, x == 0, x != 0};
    return outcomes[b >> 2];
}

TEST(EqualityTests, EveryTestOnEveryFieldMatchesTheNibbleModel)
{
    test::SweepRegisterTests(0x0, 0xA, &Expected);
}

} // namespace
