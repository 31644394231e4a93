// The set of stored settings as a whole.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <set>

#include "core/config_item_registrations.h"
#include "foundation/comparators.h"

namespace {

struct guid_less {
  bool operator()(const GUID& a, const GUID& b) const { return qiv::guid_compare(a, b) < 0; }
};

TEST(ConfigItemRegistrations, EveryItemHasADistinctGuid) {
  std::set<GUID, guid_less> seen;
  int count = 0;
  for (config_item* item = config_item::global_list_head; item != nullptr; item = item->next()) {
    EXPECT_TRUE(seen.insert(item->guid()).second);
    ++count;
  }
  EXPECT_EQ(count, 29);
}

TEST(ConfigItemRegistrations, ThePropertiesFontDefaultsToANamedSystemFont) {
  const font_record& font = config::properties_font.get();
  const std::size_t name_length = wcsnlen(font.face_name, LF_FACESIZE);
  EXPECT_GT(name_length, 0u);
  EXPECT_LT(name_length, static_cast<std::size_t>(LF_FACESIZE));
  EXPECT_NE(font.height, 0);
}

} // namespace
