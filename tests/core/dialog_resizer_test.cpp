#include "core/dialog_resizer.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// Sizes past 32767 or below zero come as the high bit of each half.
TEST(DialogResizer, SizeReachesTheLayoutAsSignedHalvesAndIsConsumed) {
  dialog_layout layout;
  LRESULT result = 12345;
  EXPECT_TRUE(dialog_resizer::process_message(layout, nullptr, WM_SIZE, static_cast<LPARAM>(0xFFFF0010), result));
  EXPECT_EQ(layout.client_size.cx, 16);
  EXPECT_EQ(layout.client_size.cy, -1);
  EXPECT_EQ(result, 0);
}

}  // namespace
