// The foundation's exception family. Every failure in the system is a
// std::exception carrying one message text; callers catch by class.
#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <new>

namespace qiv {

// Tag for the constructor that copies a message made at run time.
struct copy_message_t {
  explicit copy_message_t() = default;
};
inline constexpr copy_message_t copy_message{};

// Base of every exception of the system that carries a message. A static
// text is referred to; a text made at run time is copied into shared storage
// so that copying the exception never allocates and never throws.
class exception_with_message : public std::exception {
public:
  explicit exception_with_message(const char* static_text) noexcept;
  exception_with_message(copy_message_t, const char* text);
  exception_with_message(copy_message_t, const char* text, std::size_t length);
  const char* what() const noexcept override { return text_; }

private:
  std::shared_ptr<const char[]> owned_;
  const char* text_;
};

// An internal error: the program met a state its own logic does not allow.
class exception_bug_check : public exception_with_message {
public:
  exception_bug_check() noexcept : exception_with_message("Bug check") {}

protected:
  explicit exception_bug_check(const char* static_text) noexcept : exception_with_message(static_text) {}
};

class exception_bug_check_v2 : public exception_bug_check {
public:
  exception_bug_check_v2() noexcept = default;
};

class exception_invalid_params : public exception_bug_check {
public:
  exception_invalid_params() noexcept : exception_bug_check("Invalid parameters") {}
};

class exception_dynamic_assert : public exception_bug_check {
public:
  exception_dynamic_assert() noexcept : exception_bug_check("dynamic_assert failure") {}
};

class exception_not_implemented : public exception_bug_check {
public:
  exception_not_implemented() noexcept : exception_bug_check("Feature not implemented") {}
};

// A size or length that does not fit.
class exception_overflow : public exception_with_message {
public:
  exception_overflow() noexcept : exception_with_message("Overflow") {}
};

// An allocation that failed or whose size does not fit. A std::bad_alloc, so
// that one handler takes it and the runtime's own; it carries the text users
// are shown for it.
class exception_bad_alloc : public std::bad_alloc {
public:
  const char* what() const noexcept override { return "bad allocation"; }
};

[[noreturn]] void throw_bug_check();
[[noreturn]] void throw_overflow();
[[noreturn]] void throw_not_implemented();
[[noreturn]] void throw_bad_alloc();
[[noreturn]] void throw_invalid_params();

inline void dynamic_assert(bool condition) {
  if (!condition) throw exception_dynamic_assert();
}

} // namespace qiv
