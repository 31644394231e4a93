#include "core/message_filters.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// Appends its name to a shared log whenever it is asked.
class recording_filter : public message_filter {
public:
  recording_filter(char name, std::string& log, bool consume = false) : name_(name), log_(log), consume_(consume) {}
  bool filter(MSG&) override {
    log_ += name_;
    if (on_filter) on_filter();
    return consume_;
  }
  std::function<void()> on_filter;

private:
  char name_;
  std::string& log_;
  bool consume_;
};

std::string offer(message_filter_list& filters, std::string& log, UINT number) {
  log.clear();
  MSG message = {};
  message.message = number;
  filters.offer(message);
  return log;
}

TEST(MessageFilters, TheNewestFilterIsAskedFirstAndAConsumingOneEndsTheWalk) {
  message_filter_list filters;
  std::string log;
  recording_filter older('o', log), newer('n', log), consuming('c', log, true);
  filters.add(&older, 0, 0xFFFFFFFF);
  filters.add(&newer, 0, 0xFFFFFFFF);
  EXPECT_EQ(offer(filters, log, WM_CHAR), "no");
  filters.add(&consuming, 0, 0xFFFFFFFF);
  EXPECT_EQ(offer(filters, log, WM_CHAR), "c");
}

TEST(MessageFilters, AFilterSeesOnlyMessageNumbersWithinItsInclusiveRange) {
  message_filter_list filters;
  std::string log;
  recording_filter key_down('d', log), keys('k', log);
  filters.add(&key_down, WM_KEYDOWN, WM_KEYDOWN);
  filters.add(&keys, WM_KEYFIRST, WM_KEYLAST);
  EXPECT_EQ(offer(filters, log, WM_KEYDOWN), "kd");
  EXPECT_EQ(offer(filters, log, WM_KEYUP), "k");
  EXPECT_EQ(offer(filters, log, WM_KEYLAST), "k");
  EXPECT_EQ(offer(filters, log, WM_KEYLAST + 1), "");
}

TEST(MessageFilters, RemovingAFilterRemovesEveryRegistrationOfIt) {
  message_filter_list filters;
  std::string log;
  recording_filter twice('t', log), other('x', log);
  filters.add(&twice, 0, 0xFFFFFFFF);
  filters.add(&other, 0, 0xFFFFFFFF);
  filters.add(&twice, WM_CHAR, WM_CHAR);
  filters.remove(&twice);
  EXPECT_EQ(offer(filters, log, WM_CHAR), "x");
}

TEST(MessageFilters, FiltersMayRegisterAndUnregisterWhileTheyAreAsked) {
  message_filter_list filters;
  std::string log;
  recording_filter oldest('a', log), middle('b', log), newest('c', log), late('l', log);
  filters.add(&oldest, 0, 0xFFFFFFFF);
  filters.add(&middle, 0, 0xFFFFFFFF);
  filters.add(&newest, 0, 0xFFFFFFFF);
  // Asked first, the newest takes itself and the next one out and adds one.
  newest.on_filter = [&] {
    filters.remove(&newest);
    filters.remove(&middle);
    filters.add(&late, 0, 0xFFFFFFFF);
  };
  EXPECT_EQ(offer(filters, log, WM_CHAR), "ca");
  EXPECT_EQ(offer(filters, log, WM_CHAR), "la");
}

}  // namespace
