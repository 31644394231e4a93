// One line of a batch on standard input (zorvtool batch, and the test probes
// that answer the same way): fields separated by tabs, with "\\", "\t" and
// "\n" standing for a backslash, a tab and a line break within a field.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace batch_line {

// False at the end of input with nothing read.
inline bool read(std::string& line) {
  line.clear();
  for (int c = std::getchar(); c != EOF; c = std::getchar()) {
    if (c == '\n') return true;
    if (c != '\r') line += static_cast<char>(c);
  }
  return !line.empty();
}

inline std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      out.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      out.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next;
    } else {
      out.back() += c;
    }
  }
  return out;
}

// The first line a batch prints: it has started and reads its commands.
inline constexpr const char* ready_line = "batch ready\n";

// The answer's header line: the exit code and the byte counts of the output
// and the errors that follow it.
inline std::string answer_header(int status, std::size_t out_size, std::size_t err_size) {
  return std::to_string(status) + " " + std::to_string(out_size) + " " + std::to_string(err_size) + "\n";
}

}  // namespace batch_line
