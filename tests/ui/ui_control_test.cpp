// The user interface as the layers below reach it: without a module (before
// start-up, or "/quiet") nothing is visible and the window operations do
// nothing; the program icon comes from its resource at the size asked for.
#include "core/ui_control.h"

#include <gtest/gtest.h>

#include "core/service_factory.h"
#include "core/service_registry.h"

namespace {

class UiControl : public ::testing::Test {
protected:
  void SetUp() override { service_registry::table().build(service_factory::global_list_head); }
  void TearDown() override { service_registry::free(); }
};

SIZE icon_size(HICON icon) {
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return {0, 0};
  BITMAP bitmap = {};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return {bitmap.bmWidth, bitmap.bmHeight};
}

TEST_F(UiControl, WithoutAModuleNothingIsVisibleAndTheWindowOperationsDoNothing) {
  const auto control = service_lookup_unique_t<ui_control>();
  EXPECT_FALSE(control->is_visible());
  control->activate();
  control->hide();
  control->show_preferences(GUID{});
  EXPECT_FALSE(control->is_visible());
}

TEST_F(UiControl, TheProgramIconAtTheSystemSizeAndAtEachSizeAsked) {
  const auto control = service_lookup_unique_t<ui_control>();
  const HICON shared = control->get_icon();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(icon_size(shared).cx, GetSystemMetrics(SM_CXICON));
  for (const int size : {16, 24, 48}) {
    const HICON icon = control->get_icon_sized(size, size);
    ASSERT_NE(icon, nullptr) << size;
    const SIZE got = icon_size(icon);
    EXPECT_EQ(got.cx, size);
    EXPECT_EQ(got.cy, size);
    DestroyIcon(icon);
  }
}

}  // namespace
