#include <gtest/gtest.h>

#include "common/path_text.h"
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

// Either separator ends a folder; the rest is the file's name.
TEST(PathText, SplitsAtTheLastBackslashOrSlash) {
  EXPECT_EQ(file_name_part("C:\\dir/sub\\name.exe"), "name.exe");
  EXPECT_EQ(folder_part("C:\\dir/sub\\name.exe"), "C:\\dir/sub");
  EXPECT_EQ(file_name_part(L"C:/dir/name.bin"), L"name.bin");
  EXPECT_EQ(folder_part(L"C:/dir/name.bin"), L"C:/dir");
  EXPECT_EQ(file_name_part("name.exe"), "name.exe");
  EXPECT_EQ(folder_part("name.exe"), "");
  EXPECT_EQ(file_name_part("C:\\dir\\"), "");
  EXPECT_EQ(folder_part("C:\\name.exe"), "C:");
}

}  // namespace
}  // namespace tarnwick
