#include <gtest/gtest.h>

#include "common/trim_and_upper.h"

namespace tarnwick {
namespace {

TEST(TrimSpaces, RemovesSpacesOnlyAtBothEnds) {
  EXPECT_EQ(trim_spaces("  C:\\A B\\x.dll  "), "C:\\A B\\x.dll");
  EXPECT_EQ(trim_spaces("\tx.dll\t"), "\tx.dll\t");
  EXPECT_EQ(trim_spaces("    "), "");
  EXPECT_EQ(trim_spaces(""), "");
}

TEST(ToUpper, AsciiLettersOnlyAmongAscii) {
  EXPECT_EQ(to_upper("c:\\windows\\system32\\ntdll.dll"), "C:\\WINDOWS\\SYSTEM32\\NTDLL.DLL");
  EXPECT_EQ(to_upper("a-z_0-9 {}~"), "A-Z_0-9 {}~");
}

TEST(ToUpper, LettersOfOtherScriptsInPaths) {
  EXPECT_EQ(to_upper("c:\\programme\\müller\\ærø.dll"), "C:\\PROGRAMME\\MÜLLER\\ÆRØ.DLL");
  EXPECT_EQ(to_upper("łódź ÿ ı ſ"), "ŁÓDŹ Ÿ I S");
  EXPECT_EQ(to_upper("ωμέγα ς άήίόύώ ϊϋ"), "ΩΜΈΓΑ Σ ΆΉΊΌΎΏ ΪΫ");
  EXPECT_EQ(to_upper("библиотека ё"), "БИБЛИОТЕКА Ё");
}

TEST(ToUpper, CharactersWithoutASingleUpperFormStay) {
  EXPECT_EQ(to_upper("ß ÷ 日本 ĸ"), "ß ÷ 日本 ĸ");
}

TEST(ToUpper, BytesThatAreNotUtf8PassThrough) {
  const std::string broken = std::string("a\xE9") + "b\xC3";
  EXPECT_EQ(to_upper(broken), std::string("A\xE9") + "B\xC3");
}

}  // namespace
}  // namespace tarnwick
