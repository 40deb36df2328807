// libtessock.so as a client sees it: it exports the 38 KH functions of the
// header, and nothing else.
#include <gtest/gtest.h>

#include "tests/support/exported_names.h"

namespace {

TEST(Exports, TheLibraryExportsExactlyTheFunctionsOfTheHeader)
{
    const std::set<std::string> declared = test::DeclaredNames(TESSOCK_HEADER_PATH, "KH_API ", "KH");
    EXPECT_EQ(declared.size(), 38u);
    const std::set<std::string> exported = test::ExportedNames(TESSOCK_LIBRARY_PATH);
    ASSERT_FALSE(exported.empty()) << "nm -D " << TESSOCK_LIBRARY_PATH;
    EXPECT_EQ(exported, declared);
}

} // namespace
