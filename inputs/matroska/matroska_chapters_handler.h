// Reads the Chapters element: its editions, and at its end the chapter list
// of the file (the atoms of every visible, non-empty edition in file order),
// which gives the subsongs. Nested atoms are not read.
#pragma once

#include <vector>

#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/matroska_records.h"

namespace Matroska {

class matroska_chapters_handler : public ebml_element_handler {
public:
  matroska_chapters_handler(std::vector<matroska_edition>& editions, std::vector<matroska_chapter>& chapters)
      : editions_(editions), chapters_(chapters) {}
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override;
  void on_end() override;

private:
  std::vector<matroska_edition>& editions_;
  std::vector<matroska_chapter>& chapters_;
};

}  // namespace Matroska
