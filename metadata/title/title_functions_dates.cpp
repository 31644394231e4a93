// Pieces of a date tag ("2004", "2004-07" or "2004-07-01") and of a
// timestamp ("2004-07-01 12:34:56").
#include <cstdint>

#include "foundation/ascii_digit.h"
#include "foundation/string_buffer.h"
#include "metadata/title/title_functions.h"

namespace {

struct date_record {
  int year = 0;
  int month = 0;
  int day = 0;
};


bool digits_at(const qiv::string_buffer& text, std::size_t at, std::size_t count, int& value) {
  if (text.get_length() < at + count) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    char c = text.get_ptr()[i];
    if (!qiv::is_ascii_digit(c)) return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// Any text that is not one of the three date forms reads as no date at all,
// so a half-readable one never shows a misleading year.
date_record read_date(const qiv::string_buffer& text) {
  const char* p = text.get_ptr();
  std::size_t length = text.get_length();
  int year = 0, month = 0, day = 0;
  if (!digits_at(text, 0, 4, year)) return {};
  if (length == 4) return {year, 0, 0};
  if (p[4] != '-' || !digits_at(text, 5, 2, month) || month < 1 || month > 12) return {};
  if (length == 7) return {year, month, 0};
  if (p[7] != '-' || !digits_at(text, 8, 2, day) || day < 1 || day > 31) return {};
  if (length > 10 && p[10] != ' ') return {};
  return {year, month, day};
}

void add_digits(qiv::string_object& out, int value, int width) {
  char digits[4];
  for (int i = width - 1; i >= 0; --i, value /= 10) digits[i] = static_cast<char>('0' + value % 10);
  out.add_string(digits, static_cast<std::size_t>(width));
}

// Only the first argument is read; the others are neither used nor evaluated.
bool read_first(title_call& call, date_record& date) {
  if (call.arg_count() == 0) return false;
  qiv::string_buffer text;
  bool truth = call.eval_arg(0, text);
  date = read_date(text);
  return truth;
}

// The form "00:00:00" or "00:00" at `at`, where 0 is any digit; its length,
// or 0 when neither is there.
std::size_t time_form_at(const qiv::string_buffer& text, std::size_t at) {
  const char* p = text.get_ptr() + at;
  std::size_t left = text.get_length() - at;
  auto pair_at = [&](std::size_t i) { return left >= i + 2 && qiv::is_ascii_digit(p[i]) && qiv::is_ascii_digit(p[i + 1]); };
  if (!pair_at(0) || left < 5 || p[2] != ':' || !pair_at(3)) return 0;
  if (left >= 8 && p[5] == ':' && pair_at(6)) return 8;
  return 5;
}

}  // namespace

bool title_year(title_call& call) {
  date_record date;
  if (call.arg_count() == 0) return false;
  bool truth = read_first(call, date);
  add_digits(call.output(), date.year, 4);
  return truth;
}

bool title_month(title_call& call) {
  date_record date;
  if (call.arg_count() == 0) return false;
  bool truth = read_first(call, date);
  add_digits(call.output(), date.month, 2);
  return truth && date.month != 0;
}

bool title_day_of_month(title_call& call) {
  date_record date;
  if (call.arg_count() == 0) return false;
  bool truth = read_first(call, date);
  add_digits(call.output(), date.day, 2);
  return truth && date.day != 0;
}

bool title_date(title_call& call) {
  date_record date;
  if (call.arg_count() == 0) return false;
  bool truth = read_first(call, date);
  qiv::string_object& out = call.output();
  add_digits(out, date.year, 4);
  out.add_string("-");
  add_digits(out, date.month, 2);
  out.add_string("-");
  add_digits(out, date.day, 2);
  return truth;
}

bool title_time(title_call& call) {
  if (call.arg_count() == 0) return false;
  qiv::string_buffer text;
  bool truth = call.eval_arg(0, text);
  const char* p = text.get_ptr();
  std::size_t length = text.get_length();
  bool date_shape = length > 10;
  for (std::size_t i = 0; date_shape && i < 10; ++i)
    date_shape = (i == 4 || i == 7) ? p[i] == '-' : qiv::is_ascii_digit(p[i]);
  if (date_shape && p[10] == ' ') {
    std::size_t at = 10;
    while (at < length && p[at] == ' ') ++at;
    std::size_t form = time_form_at(text, at);
    std::size_t end = at + form;
    while (end < length && p[end] == ' ') ++end;
    if (form && end == length) {
      call.output().add_string(p + at, form);
      return truth;
    }
  }
  call.output().add_string("?");
  return false;
}
