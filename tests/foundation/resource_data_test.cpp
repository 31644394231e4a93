#include "foundation/resource_data.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char* version_type = MAKEINTRESOURCEA(16);  // RT_VERSION

// The system's own modules carry a version resource (id 1).
TEST(ResourceData, LoadsTheBytesOfAModulesResource) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  auto version = load_resource_data(kernel, MAKEINTRESOURCEA(1), version_type);
  ASSERT_NE(version, nullptr);
  ASSERT_GE(version->size(), 6u + sizeof(L"VS_VERSION_INFO"));
  // A VS_VERSIONINFO block: its own length first, then its key after three words.
  const auto* bytes = static_cast<const unsigned char*>(version->data());
  const std::size_t block_length = bytes[0] | (bytes[1] << 8);
  EXPECT_GT(block_length, 6u);
  EXPECT_LE(block_length, version->size());
  EXPECT_EQ(std::memcmp(bytes + 6, L"VS_VERSION_INFO", sizeof(L"VS_VERSION_INFO")), 0);
}

TEST(ResourceData, MissingResourceGivesNothing) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  EXPECT_EQ(load_resource_data(kernel, MAKEINTRESOURCEA(0x7FFF), version_type), nullptr);
  EXPECT_EQ(load_resource_data(kernel, "ZORV_NO_SUCH_RESOURCE", "ZORV_NO_SUCH_TYPE"), nullptr);
}

} // namespace
