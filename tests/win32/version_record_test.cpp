// What the built Pelko_Files.exe carries besides its code: the version record,
// read back as any tool reads it, the icon group and the manifest. No display
// needed.

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/program_identity.h"
#include "platform/win32/utf16.h"
#include "support/build_paths.h"

namespace tarnwick {
namespace {

using win32::to_utf8;

// The built program, as CMake told this test.
std::filesystem::path program_file() { return testing::native_path(TARNWICK_PROGRAM); }

// One node of the version record's tree: a key, a value and child nodes.
struct VersionNode {
  std::wstring key;
  bool is_text = false;
  std::vector<unsigned char> value;
  std::vector<VersionNode> children;

  const VersionNode* child(const std::wstring& wanted) const {
    for (const VersionNode& node : children)
      if (node.key == wanted) return &node;
    return nullptr;
  }
  std::wstring text() const {
    std::wstring out(reinterpret_cast<const wchar_t*>(value.data()),
                     value.size() / sizeof(wchar_t));
    return out.substr(0, out.find(L'\0'));
  }
};

std::size_t align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

// wLength, wValueLength, wType, the key, padding, the value, padding, children.
// A text value's length counts characters, a binary one's bytes.
VersionNode parse_node(const unsigned char* block, std::size_t available) {
  VersionNode node;
  WORD length = 0, value_length = 0, type = 0;
  std::memcpy(&length, block, 2);
  std::memcpy(&value_length, block + 2, 2);
  std::memcpy(&type, block + 4, 2);
  if (length > available) length = static_cast<WORD>(available);
  const auto* key = reinterpret_cast<const wchar_t*>(block + 6);
  node.key = key;
  std::size_t offset = align4(6 + (node.key.size() + 1) * sizeof(wchar_t));
  node.is_text = type == 1;
  const std::size_t value_bytes = node.is_text ? value_length * sizeof(wchar_t) : value_length;
  if (offset + value_bytes <= length)
    node.value.assign(block + offset, block + offset + value_bytes);
  offset = align4(offset + value_bytes);
  while (offset + 6 <= length) {
    WORD child_length = 0;
    std::memcpy(&child_length, block + offset, 2);
    if (child_length == 0) break;
    node.children.push_back(parse_node(block + offset, length - offset));
    offset = align4(offset + child_length);
  }
  return node;
}

class VersionRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring file = program_file().wstring();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "Pelko_Files.exe has no version record";
    block_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, block_.data()));
    root_ = parse_node(block_.data(), block_.size());
  }

  std::vector<unsigned char> block_;
  VersionNode root_;
};

TEST_F(VersionRecord, HoldsOneUsEnglishUnicodeStringTable) {
  EXPECT_EQ(root_.key, L"VS_VERSION_INFO");
  const VersionNode* strings = root_.child(L"StringFileInfo");
  ASSERT_NE(strings, nullptr);
  ASSERT_EQ(strings->children.size(), 1u);
  EXPECT_EQ(strings->children[0].key, L"040904B0");
}

TEST_F(VersionRecord, HasExactlyTheProductKeysAndValues) {
  const VersionNode* strings = root_.child(L"StringFileInfo");
  ASSERT_NE(strings, nullptr);
  ASSERT_FALSE(strings->children.empty());
  std::map<std::wstring, std::wstring> found;
  for (const VersionNode& entry : strings->children[0].children)
    EXPECT_TRUE(found.emplace(entry.key, entry.text()).second) << "twice: " << to_utf8(entry.key);
  const std::map<std::wstring, std::wstring> expected{
      {L"ProductName", L"" TARNWICK_APPLICATION_TITLE},
      {L"InternalName", L"" TARNWICK_INTERNAL_NAME},
      {L"OriginalFilename", L"" TARNWICK_ORIGINAL_FILENAME},
      {L"FileVersion", L"" TARNWICK_VERSION_TEXT},
      {L"ProductVersion", L"" TARNWICK_VERSION_TEXT}};
  EXPECT_EQ(found, expected);
}

TEST_F(VersionRecord, TranslatesTo0409And04B0Only) {
  const VersionNode* variables = root_.child(L"VarFileInfo");
  ASSERT_NE(variables, nullptr);
  ASSERT_EQ(variables->children.size(), 1u);
  const VersionNode& translation = variables->children[0];
  EXPECT_EQ(translation.key, L"Translation");
  ASSERT_EQ(translation.value.size(), 4u);
  WORD pair[2] = {};
  std::memcpy(pair, translation.value.data(), 4);
  EXPECT_EQ(pair[0], 0x0409);
  EXPECT_EQ(pair[1], 0x04B0);
  EXPECT_EQ(root_.children.size(), 2u) << "more than the string table and the translation";
}

TEST_F(VersionRecord, StringsAreFoundWhereToolsLookForThem) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\StringFileInfo\\040904B0\\ProductName", &value,
                             &length));
  EXPECT_STREQ(static_cast<const wchar_t*>(value), L"Tarnwick_Files");
}

// Major and minor in the high word pair, the revision in the lowest word.
TEST_F(VersionRecord, FixedPartIsTheProgramsVersionOfAWindowsApplication) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\", &value, &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  constexpr DWORD high = TARNWICK_VERSION_MAJOR << 16 | TARNWICK_VERSION_MINOR;
  constexpr DWORD low = TARNWICK_VERSION_REVISION;
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);
  EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  EXPECT_EQ(fixed->dwFileOS & 0xFFFF, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed->dwFileSubtype, 0u);
}

// --- Icon and manifest ---------------------------------------------------------

// The program loaded as data, for its resources.
class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(program_file().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  std::vector<unsigned char> resource(LPCWSTR name, LPCWSTR type) const {
    HRSRC found = FindResourceW(module_, name, type);
    if (found == nullptr) return {};
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module_, found)));
    return {data, data + SizeofResource(module_, found)};
  }

  HMODULE module_ = nullptr;
};

#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width, height, colour_count, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_F(ProgramResources, IconGroupOneHoldsTheThreeImages) {
  const std::vector<unsigned char> group =
      resource(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
  ASSERT_GE(group.size(), 6u) << "no icon group 1";
  WORD count = 0;
  std::memcpy(&count, group.data() + 4, 2);
  ASSERT_EQ(count, 3);
  ASSERT_GE(group.size(), 6 + 3 * sizeof(IconGroupEntry));
  struct Shape {
    int size;
    int bits;
  };
  const Shape expected[] = {{32, 1}, {32, 4}, {16, 4}};
  for (int i = 0; i < 3; ++i) {
    IconGroupEntry entry{};
    std::memcpy(&entry, group.data() + 6 + i * sizeof(IconGroupEntry), sizeof(entry));
    EXPECT_EQ(entry.width, expected[i].size) << "image " << i;
    EXPECT_EQ(entry.height, expected[i].size) << "image " << i;
    EXPECT_EQ(entry.bit_count, expected[i].bits) << "image " << i;
    // The image itself says the same.
    const std::vector<unsigned char> image =
        resource(MAKEINTRESOURCEW(entry.id), MAKEINTRESOURCEW(3) /* RT_ICON */);
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER)) << "image " << i;
    BITMAPINFOHEADER header{};
    std::memcpy(&header, image.data(), sizeof(header));
    EXPECT_EQ(header.biWidth, expected[i].size) << "image " << i;
    EXPECT_EQ(header.biHeight, 2 * expected[i].size) << "image " << i;
    EXPECT_EQ(header.biBitCount, expected[i].bits) << "image " << i;
  }
}

TEST_F(ProgramResources, ManifestAsksForCommonControls6DpiAwarenessAndNoElevation) {
  // This test is built for the same processor as the program.
  const std::string architecture = sizeof(void*) == 8 ? "amd64" : "x86";
  const std::vector<unsigned char> manifest =
      resource(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
  ASSERT_FALSE(manifest.empty()) << "no manifest resource 1";
  const std::string text(manifest.begin(), manifest.end());
  EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(text.find("<dpiAware"), std::string::npos);
  EXPECT_NE(text.find("<dpiAwareness"), std::string::npos);
  // The program's own identity names its processor: the system refuses to
  // start an image whose manifest names another.
  const std::size_t own = text.find("name=\"Tarnwick.Pelko_Files\"");
  ASSERT_NE(own, std::string::npos) << text;
  const std::string identity = text.substr(own, text.find("/>", own) - own);
  EXPECT_NE(identity.find("processorArchitecture=\"" + architecture + "\""), std::string::npos)
      << identity;
}

}  // namespace
}  // namespace tarnwick
