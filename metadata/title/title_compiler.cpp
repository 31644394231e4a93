#include "metadata/title/title_compiler.h"

#include <cstring>
#include <string>

#include "metadata/title/title_function_table.h"
#include "metadata/track_fields.h"

std::ptrdiff_t find_closing(const char* text, std::size_t length, const char* stop_set) {
  int parens = 0;
  int brackets = 0;
  for (std::size_t i = 0; i < length; ++i) {
    char c = text[i];
    if (parens == 0 && brackets == 0 && c != '\0' && std::strchr(stop_set, c))
      return static_cast<std::ptrdiff_t>(i);
    switch (c) {
      case '\'': {
        const void* quote = std::memchr(text + i + 1, '\'', length - i - 1);
        if (!quote) return -1;
        i = static_cast<const char*>(quote) - text;
        break;
      }
      case '(': ++parens; break;
      case '[': ++brackets; break;
      case ')':
        if (--parens < 0) return -1;
        break;
      case ']':
        if (--brackets < 0) return -1;
        break;
      default: break;
    }
  }
  return -1;
}

namespace {

bool is_name_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// One node stands for itself; none or several become a sequence, except an
// argument that compiled to nothing, which is an empty node.
title_node_ref as_one_node(title_node_list nodes, bool empty_as_empty_node) {
  if (nodes.size() == 1) return nodes[0];
  if (nodes.empty() && empty_as_empty_node) return title_node_ref(new empty_node);
  return title_node_ref(new sequence_node(std::move(nodes)));
}

// Deeper nesting than any real script uses ends compilation like a
// malformed byte: compiling, evaluating and freeing a script recurse once per
// level, and a hostile script must not run the thread out of stack.
constexpr unsigned max_nesting = 512;

// Compiles one span (the whole text, an optional block or an argument).
class span_compiler {
public:
  span_compiler(const char* text, std::size_t length, unsigned depth = 0)
      : text_(text), length_(length), depth_(depth) {}

  // The nodes of the span; compiling stops at the first malformed byte and
  // keeps what came before it.
  title_node_list run() {
    std::size_t i = 0;
    while (i < length_) {
      std::size_t next = step(i);
      if (next == stop) break;
      i = next;
    }
    flush();
    return std::move(nodes_);
  }

private:
  static constexpr std::size_t stop = ~std::size_t(0);

  // Handles the construct starting at i; returns where to go on, or stop.
  std::size_t step(std::size_t i) {
    switch (text_[i]) {
      case '%': return field(i);
      case '[': return optional_block(i);
      case '\'': return quoted(i);
      case ']':
      case '(':
      case ')': return stop;
      case '$': return function(i);
      case '\n':
      case '\r': return i + 1;
      default:
        pending_.push_back(text_[i]);
        return i + 1;
    }
  }

  std::size_t field(std::size_t i) {
    const char* close = find(i + 1, '%');
    if (!close) return stop;
    std::size_t end = close - text_;
    if (end == i + 1) {
      pending_.push_back('%');
    } else {
      flush();
      nodes_.emplace_back(new field_node(text_ + i + 1, end - i - 1, track_fields::slot_of(text_ + i + 1, end - i - 1)));
    }
    return end + 1;
  }

  std::size_t optional_block(std::size_t i) {
    if (depth_ >= max_nesting) return stop;
    std::ptrdiff_t offset = find_closing(text_ + i + 1, length_ - i - 1, "]");
    if (offset < 0) return stop;
    flush();
    title_node_ref inner = as_one_node(span_compiler(text_ + i + 1, offset, depth_ + 1).run(), false);
    nodes_.emplace_back(new optional_node(std::move(inner)));
    return i + 1 + offset + 1;
  }

  std::size_t quoted(std::size_t i) {
    if (i + 1 >= length_) return stop;
    const char* close = find(i + 1, '\'');
    if (!close) return stop;
    std::size_t end = close - text_;
    if (end == i + 1)
      pending_.push_back('\'');
    else
      pending_.append(text_ + i + 1, end - i - 1);
    return end + 1;
  }

  std::size_t function(std::size_t i) {
    if (i + 1 >= length_) return stop;
    if (text_[i + 1] == '$') {
      pending_.push_back('$');
      return i + 2;
    }
    if (depth_ >= max_nesting) return stop;
    flush();
    std::size_t name_end = i + 1;
    while (name_end < length_ && is_name_byte(text_[name_end])) ++name_end;
    if (name_end >= length_ || text_[name_end] != '(') return stop;
    std::size_t open = name_end;
    std::size_t rest = length_ - open - 1;
    std::ptrdiff_t close_offset = find_closing(text_ + open + 1, rest, ")");
    if (close_offset < 0) return stop;
    std::size_t close = open + 1 + close_offset;

    title_node_list arguments;
    std::size_t pos = open + 1;
    for (;;) {
      std::ptrdiff_t arg_end = find_closing(text_ + pos, length_ - pos, ",)");
      if (arg_end < 0) break;
      if (arg_end == 0 && arguments.empty() && text_[pos] == ')') break;  // $f()
      arguments.push_back(as_one_node(span_compiler(text_ + pos, arg_end, depth_ + 1).run(), true));
      pos += arg_end;
      if (pos >= close || text_[pos] == ')') break;
      ++pos;  // the comma
    }
    nodes_.push_back(make_function_node(text_ + i + 1, name_end - i - 1, std::move(arguments)));
    return close + 1;
  }

  const char* find(std::size_t from, char c) const {
    if (from >= length_) return nullptr;
    return static_cast<const char*>(std::memchr(text_ + from, c, length_ - from));
  }

  void flush() {
    if (pending_.empty()) return;
    nodes_.emplace_back(new literal_node(pending_.data(), pending_.size(), false));
    pending_.clear();
  }

  const char* text_;
  std::size_t length_;
  unsigned depth_;
  std::string pending_;
  title_node_list nodes_;
};

}  // namespace

title_node_ref compile_title_text(const char* text, std::size_t length) {
  return as_one_node(span_compiler(text, length).run(), false);
}
