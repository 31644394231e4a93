// The children of the user-data box ("udta" in "moov") that the library
// reads and writes: the item list, the chapter list and the index map.
#pragma once

#include <cstdint>

#include "inputs/mp4/box_writing.h"
#include "inputs/mp4/mp4_atom_reader.h"
#include "inputs/mp4/mp4_file.h"

namespace tarnex {

// What a file whose tags could not be read reports; it plays all the same.
inline constexpr char damaged_tags_warning[] = "Damaged MP4 tags skipped; the audio still plays.";

// "udta": its children below. A damaged child header ends the user data with
// a warning instead of failing the file.
void read_user_data_box(mp4_file& file, mp4_atom_reader& in, std::uint64_t size);
// "meta": its item lists joined to those of earlier "meta" boxes in
// file.item_list; damage inside a list costs that list and leaves a warning.
void read_meta_box(mp4_file& file, mp4_atom_reader& in, std::uint64_t size);
// "chpl": the chapters' starts and names.
void read_chapter_list(mp4_file& file, mp4_atom_reader& in);
// "indx": the index points of each chapter.
void read_index_map(mp4_file& file, mp4_atom_reader& in);
// "tags": file-level and per-chapter fields and pictures; only one per file.
void read_tags_box(mp4_file& file, mp4_atom_reader& in, std::uint64_t size);

// A song's chapter name: its title when it has exactly one; empty otherwise.
std::string chapter_title(const song& chapter);
// The name the chapter list stores for it: the chapter name cut on a
// character to the 255 bytes a name can hold there.
std::string chapter_list_title(const song& chapter);
// Payloads (without their box header) of "chpl" and of "indx". Chapter
// times count from the presentation start, after an encoder's priming;
// names longer than the 255 bytes a name can hold are cut on a character.
void write_chapter_list(const std::vector<chapter>& chapters, byte_buffer& out);
void write_index_map(const std::vector<index_map_entry>& entries, byte_buffer& out);

}  // namespace tarnex
