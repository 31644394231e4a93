// One line of a batch on standard input (zorvtool batch, and the test probes
// that answer the same way): fields separated by tabs, with "\\", "\t" and
// "\n" standing for a backslash, a tab and a line break within a field. A
// line ends at a line feed alone: a carriage return is part of its field,
// as a lone run receives it in an argument.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace batch_line {

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

// Why no lone run could have been given `field` as an argument, or nothing
// when one could: a command line is UTF-16 text, which holds no NUL and
// nothing that is not Unicode. A field cut at its NUL, or its bytes
// replaced, would run a command the caller did not ask for.
inline std::string why_unfit(const std::string& field) {
  if (field.find('\0') != std::string::npos) return "holds a NUL byte";
  if (!field.empty() && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, field.data(), static_cast<int>(field.size()),
                                            nullptr, 0) == 0)
    return "is not UTF-8 text";
  return {};
}

enum class outcome { command, refused, end };

// Reads the next line into `out`: end at an empty line or the end of input
// with nothing read; refused, with the reason in `refusal`, for a line no
// lone run could have been given, or one the closed input cut before its
// line feed (its command may be cut short too).
inline outcome read(std::vector<std::string>& out, std::string& refusal) {
  std::string line;
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') line += static_cast<char>(c);
  if (line.empty()) return outcome::end;
  out = fields(line);
  refusal.clear();
  if (c == EOF) {
    refusal = "the input ended inside the line";
  } else {
    for (std::size_t i = 0; i < out.size() && refusal.empty(); ++i) {
      const std::string why = why_unfit(out[i]);
      if (!why.empty()) refusal = "field " + std::to_string(i + 1) + " " + why;
    }
  }
  return refusal.empty() ? outcome::command : outcome::refused;
}

// The first line a batch prints: it has started and reads its commands.
inline constexpr const char* ready_line = "batch ready\n";

// The line that answers a command once its output and errors are in the
// caller's files: its exit code.
inline std::string answer_line(int status) { return std::to_string(status) + "\n"; }

}  // namespace batch_line
