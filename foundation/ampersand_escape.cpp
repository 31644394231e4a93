#include "foundation/ampersand_escape.h"

std::string escape_ampersands(const char* text) {
  std::string out;
  for (; *text; ++text) {
    if (*text == '&') out += '&';
    out += *text;
  }
  return out;
}

std::string escape_ampersands_for_tooltip(const char* text) {
  std::string out;
  bool in_run = false;
  for (; *text; ++text) {
    if (*text == '&') {
      out += in_run ? "&&" : "&&&";
      in_run = true;
    } else {
      out += *text;
      in_run = false;
    }
  }
  return out;
}
