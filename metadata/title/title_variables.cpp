#include "metadata/title/title_variables.h"

#include "foundation/case_folding.h"

bool title_variables::nocase_less::operator()(const std::string& a, const std::string& b) const {
  return qiv::compare_nocase_ex(a.data(), a.size(), b.data(), b.size()) < 0;
}

void title_variables::set(const char* name, std::size_t name_length, const char* value,
                          std::size_t value_length) {
  entries_[std::string(name, name_length)].assign(value, value_length);
}

const std::string* title_variables::get(const char* name, std::size_t name_length) const {
  auto found = entries_.find(std::string(name, name_length));
  return found == entries_.end() ? nullptr : &found->second;
}
