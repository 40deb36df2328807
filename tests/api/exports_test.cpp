// The shared library as a client sees it: it exports exactly the KV
// functions that the public header declares.
#include <gtest/gtest.h>

#include "tests/support/exported_names.h"

namespace {

TEST(Exports, TheLibraryExportsExactlyTheThirtyEightFunctionsOfTheHeader)
{
    const std::set<std::string> declared = test::DeclaredNames(KORVANE_HEADER_PATH, "KV_API ", "KV");
    EXPECT_EQ(declared.size(), 38u);
    const std::set<std::string> exported = test::ExportedNames(KORVANE_LIBRARY_PATH);
    ASSERT_FALSE(exported.empty()) << "nm -D " << KORVANE_LIBRARY_PATH;
    EXPECT_EQ(exported, declared);
}

} // namespace
