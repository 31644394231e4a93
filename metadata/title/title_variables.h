// The variables one evaluation run sets with put and puts and reads with get.
// They live only for the run, so nothing one track stored leaks into the text
// of the next.
#pragma once

#include <cstddef>
#include <map>
#include <string>

class title_variables {
public:
  // Inserts or replaces; names compare without regard to case, so a variable
  // put as A is found as a.
  void set(const char* name, std::size_t name_length, const char* value, std::size_t value_length);
  // The stored value, or null when the name was never stored.
  const std::string* get(const char* name, std::size_t name_length) const;

private:
  struct nocase_less {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  // An empty map allocates nothing: runs that use no variables cost nothing.
  std::map<std::string, std::string, nocase_less> entries_;
};
