// The head of a native FLAC file: its bytes from the start to the first
// audio frame (leading ID3v2 tags, "fLaC" and every metadata block), read in
// as few transfers as the block headers allow, with where each block lies.
// A tag writer works from it instead of going back to the file for each
// block, and libFLAC's metadata chain reads it from memory.
#pragma once

#include <FLAC/metadata.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"

struct flac_metadata_chain_deleter {
  void operator()(FLAC__Metadata_Chain* chain) const noexcept { FLAC__metadata_chain_delete(chain); }
};
using flac_metadata_chain_ptr = std::unique_ptr<FLAC__Metadata_Chain, flac_metadata_chain_deleter>;

struct flac_metadata_head {
  struct block {
    std::uint64_t offset;  // of its 4-byte header
    std::uint32_t length;  // of its body, as the header states
  };

  std::vector<std::uint8_t> bytes;  // the file's first audio_start bytes
  std::uint64_t marker = 0;         // where "fLaC" stands, after any leading ID3v2 tags
  std::vector<block> blocks;
  std::uint64_t audio_start = 0;
  // libFLAC's reading of the blocks, once someone made it.
  flac_metadata_chain_ptr chain;
};

// exception_io_data when the file holds no "fLaC" after its leading tags or
// a block reaches past its end; exception_io_no_length when its size is
// unknown. The file's position is left anywhere.
flac_metadata_head read_flac_metadata_head(vantrel_io::file_object& file, const abort_signal& abort);

struct flac_metadata_iterator_deleter {
  void operator()(FLAC__Metadata_Iterator* iterator) const noexcept { FLAC__metadata_iterator_delete(iterator); }
};
using flac_metadata_iterator_ptr = std::unique_ptr<FLAC__Metadata_Iterator, flac_metadata_iterator_deleter>;

// An iterator standing at the chain's first block; std::bad_alloc when none
// can be made.
flac_metadata_iterator_ptr flac_metadata_iterate(FLAC__Metadata_Chain* chain);

// libFLAC's reading of the head's blocks, made once and kept in the head;
// null when libFLAC refuses one of them (a damaged block). std::bad_alloc
// when no chain can be made.
FLAC__Metadata_Chain* read_flac_metadata_chain(flac_metadata_head& head);
