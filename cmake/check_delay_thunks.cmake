# Fails a link whose map lists code of a delay-import library among the
# discarded input sections. That code holds the lazy thunks the import slots
# point at until the first call: without it a slot points at address 0 and
# the program crashes at its first call into the DLL, which only running the
# program (on a machine that runs its kind of build) would otherwise show.
#   cmake -DMAP=<linker map> -P check_delay_thunks.cmake
cmake_minimum_required(VERSION 3.25)
# Kept input sections carry their address in the image; discarded ones 0.
file(STRINGS ${MAP} discarded REGEX "^ \\.text[^ ]* +0x0+ +0x[0-9a-f]+ .*_delay\\.a\\(")
if(discarded)
  list(LENGTH discarded count)
  list(GET discarded 0 first)
  string(STRIP "${first}" first)
  message(FATAL_ERROR "the linker dropped the lazy thunks of ${count} delay-loaded functions "
                      "(first: ${first}); their first call would crash")
endif()
