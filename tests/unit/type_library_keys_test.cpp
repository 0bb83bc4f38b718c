#include "library/type_library_keys.h"

#include <gtest/gtest.h>

namespace tw::corvala {
namespace {

TEST(TypeLibraryKeys, VersionAndFlagsAreHexadecimalWithoutLeadingZeros) {
  EXPECT_EQ(TypeLibVersionKey(1, 0), L"1.0");
  EXPECT_EQ(TypeLibVersionKey(1, 9), L"1.9");
  EXPECT_EQ(TypeLibVersionKey(1, 10), L"1.a");
  EXPECT_EQ(TypeLibVersionKey(16, 255), L"10.ff");
  EXPECT_EQ(TypeLibVersionKey(0xffff, 0xffff), L"ffff.ffff");
  EXPECT_EQ(RegistryHex(10), L"a");
  EXPECT_EQ(RegistryHex(0), L"0");
}

}  // namespace
}  // namespace tw::corvala
