#include "foundation/exceptions.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

namespace {

TEST(Exceptions, BugCheckHandlerTakesEveryInternalError) {
  EXPECT_THROW(throw qiv::exception_invalid_params(), qiv::exception_bug_check);
  EXPECT_THROW(qiv::throw_bug_check(), qiv::exception_bug_check);
  EXPECT_THROW(qiv::throw_not_implemented(), qiv::exception_bug_check);
  EXPECT_THROW(qiv::dynamic_assert(false), qiv::exception_bug_check);
  EXPECT_NO_THROW(qiv::dynamic_assert(true));
}

template <class Throw>
std::string message_of(Throw do_throw) {
  try {
    do_throw();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

TEST(Exceptions, FixedMessages) {
  EXPECT_EQ(message_of([] { qiv::throw_bug_check(); }), "Bug check");
  EXPECT_EQ(message_of([] { qiv::throw_overflow(); }), "Overflow");
  EXPECT_EQ(message_of([] { qiv::throw_not_implemented(); }), "Feature not implemented");
  EXPECT_EQ(message_of([] { qiv::throw_invalid_params(); }), "Invalid parameters");
  EXPECT_EQ(message_of([] { qiv::dynamic_assert(false); }), "dynamic_assert failure");
  EXPECT_EQ(message_of([] { qiv::throw_bad_alloc(); }), "bad allocation");
  EXPECT_THROW(qiv::throw_bad_alloc(), std::bad_alloc);
}

TEST(Exceptions, OverflowIsNotAnInternalError) {
  try {
    qiv::throw_overflow();
  } catch (const qiv::exception_bug_check&) {
    FAIL() << "overflow taken as a bug check";
  } catch (const qiv::exception_overflow&) {
  }
}

TEST(Exceptions, CopiedMessageOutlivesItsSource) {
  std::string text = "made at run time";
  const qiv::exception_with_message error(qiv::copy_message, text.c_str());
  text.assign("changed");
  const qiv::exception_with_message copy = error;
  EXPECT_STREQ(copy.what(), "made at run time");
}

} // namespace
