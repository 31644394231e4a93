// The rows of the properties tab as the providers hand them over: kept per
// group label, each group's rows ordered by sort key and then by name; a
// second row with the same group, key and name keeps the first value.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "properties/technical_info_rows.h"

class info_row_collector final : public info_row_sink {
public:
  struct row {
    std::string name;
    std::string value;
  };

  void add_row(const std::string& group, double sort_key, const std::string& name, const std::string& value) override {
    groups_[group].try_emplace({sort_key, name}, value);
  }

  // The group labels in the order the tab shows them: the location, general
  // and ReplayGain groups first (those that hold rows), then the others by
  // label.
  std::vector<std::string> ordered_groups(const std::vector<std::string>& first) const {
    std::vector<std::string> order;
    for (const std::string& label : first)
      if (groups_.count(label) != 0) order.push_back(label);
    for (const auto& [label, rows] : groups_)
      if (std::find(first.begin(), first.end(), label) == first.end()) order.push_back(label);
    return order;
  }

  std::vector<row> rows_of(const std::string& group) const {
    std::vector<row> out;
    const auto found = groups_.find(group);
    if (found == groups_.end()) return out;
    for (const auto& [key, value] : found->second) out.push_back({std::get<1>(key), value});
    return out;
  }

private:
  std::map<std::string, std::map<std::tuple<double, std::string>, std::string>> groups_;
};
