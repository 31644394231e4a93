#include "foundation/refcounted_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qiv::refcounted_string;
using qiv::refcounted_string_ref;

TEST(RefcountedString, HolderCarriesTheTextAndOneReference) {
  refcounted_string_ref holder;
  EXPECT_STREQ(qiv::text_of(holder), "");
  refcounted_string::create(holder, "Artist");
  ASSERT_TRUE(holder);
  EXPECT_STREQ(holder.companion(), "Artist");
  EXPECT_EQ(holder.companion(), holder->payload());
  EXPECT_EQ(holder->ref_count(), 1);
  refcounted_string::from_text(holder, "Album Artist", 5);
  EXPECT_STREQ(qiv::text_of(holder), "Album");
  EXPECT_EQ(holder->get_length(), 5u);
}

TEST(RefcountedString, RecreatingFromItsOwnTextIsSafe) {
  refcounted_string_ref holder;
  refcounted_string::create(holder, "Genre: Jazz");
  // The source text lives in the object the holder releases.
  refcounted_string::create(holder, qiv::text_of(holder) + 7);
  EXPECT_STREQ(qiv::text_of(holder), "Jazz");
}

} // namespace
