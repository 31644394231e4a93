// The field set the MP4 library keeps tags in: names compared with ASCII
// letters folded, each with its values in the order they were added.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tarnex {

struct ascii_nocase_less {
  bool operator()(const std::string& a, const std::string& b) const;
};

bool equals_ascii_nocase(const std::string& a, const char* b);

class tag_fields {
public:
  struct entry {
    bool multi_valued = false;
    std::vector<std::string> values;
  };

  // The gapless, normalisation, codec, tool and ReplayGain fields hold one
  // value that consumers read first; every other name collects values.
  void add(const std::string& name, const std::string& value);

  // Replaces the whole entry of the name.
  void set(const std::string& name, const entry& value) { entries_[name] = value; }
  void remove(const std::string& name) { entries_.erase(name); }

  // Null when the name is absent.
  const entry* find(const std::string& name) const;
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  const std::map<std::string, entry, ascii_nocase_less>& entries() const { return entries_; }

private:
  std::map<std::string, entry, ascii_nocase_less> entries_;
};

// The same names (letters folded) with the same values in the same order.
bool same_values(const tag_fields& a, const tag_fields& b);

}  // namespace tarnex
