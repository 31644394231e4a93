// Fields of the Vorbis-comment kind (FLAC and Ogg comments, APEv2 items, cue
// sheet lines) arrive as NAME=value entries in any order and any spelling of
// case. They are gathered here, one entry per name with ASCII case folded and
// the values in file order, tidied, and handed to a track_info in one step.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "foundation/avl_tree.h"
#include "foundation/byte_compare.h"

class track_info;

class vorbis_comment_map {
public:
  using value_list = std::vector<std::string>;

  struct ascii_nocase_order {
    static const char* text_of(const char* text) { return text; }
    static const char* text_of(const std::string& text) { return text.c_str(); }
    template <class A, class B>
    int operator()(const A& a, const B& b) const {
      return qiv::stricmp_ascii(text_of(a), text_of(b));
    }
  };
  // The key keeps the spelling of the first value added under the name.
  using node = qiv::avl_map_node<std::string, value_list>;

  // A name that track_info would not accept is dropped without error: a tag
  // written by another program must not make the whole file unreadable.
  void add_value(const char* name, const char* value, std::size_t length);
  // Created empty when absent.
  value_list& values_of(const char* name);
  const node* find(const char* name) const;

  // Folds the doubled values that two spellings of one field leave behind
  // ("ALBUMARTIST" and "ALBUM ARTIST", "TRACKTOTAL" and "TOTALTRACKS").
  void canonicalize();
  void remove_duplicate_values(const char* name);
  void keep_first_value(const char* name);

  // Replaces every field of the info, in name order; technical entries,
  // length and ReplayGain stay.
  void apply_to_info(track_info& info) const;
  void clear() noexcept { tree_.clear(); }

private:
  qiv::avl_tree<node, ascii_nocase_order> tree_;
};
