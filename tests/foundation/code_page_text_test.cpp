#include "foundation/code_page_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Appending to a text must give the very bytes of a conversion of its own,
// after ASCII, past ASCII, across a surrogate pair and at a lone surrogate.
TEST(CodePageText, Utf16AppendedGivesTheBytesOfAConversionOfItsOwn) {
  const std::wstring texts[] = {L"", L"plain.flac", L"\u00E9t\u00E9 1.flac", L"a \U0001D11E b", L"x\xD834y", L"\xDD1E"};
  for (const std::wstring& text : texts) {
    std::string out = "file://C:\\";
    qiv::append_utf16_as_utf8(out, text.data(), text.size());
    EXPECT_EQ(out, "file://C:\\" + qiv::utf16_to_utf8(text.data(), text.size()));
  }
}

}  // namespace
