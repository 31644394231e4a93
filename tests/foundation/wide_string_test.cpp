// UTF-16 strings with a prefix unit.
#include "foundation/wide_string.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

using qiv::wide_string;

TEST(WideString, EmptyValuesShareOneStaticTextThatReserveNeverWrites) {
  const wide_string a;
  EXPECT_EQ(a.get_ptr(), wide_string("").get_ptr());
  wide_string s;
  std::wmemcpy(qiv::wide_string_reserve(s, 2), L"xy", 2);
  EXPECT_STREQ(s.get_ptr(), L" xy");
  wide_string ab("ab");
  wchar_t* end = qiv::wide_string_reserve(ab, 3);
  EXPECT_EQ(end, ab.get_ptr() + 3);  // the old end
  end[0] = L'c';                     // fewer units than reserved stay terminated
  EXPECT_STREQ(ab.text(), L"abc");
  EXPECT_STREQ(wide_string().get_ptr(), L" ");
  EXPECT_STREQ(wide_string("Caf\xC3\xA9").get_ptr(), L" Caf\u00E9");
}

} // namespace
