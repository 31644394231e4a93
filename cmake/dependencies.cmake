# Third-party codec libraries, prebuilt as static libraries by tools/deps.
#
# Set ZORV_DEPS_PREFIX to a prefix that tools/deps printed, or leave it empty
# and configuring runs tools/deps itself (quick once its cache is filled).
#
# Targets (all IMPORTED STATIC):
#   zorv::dep::ogg         Ogg container
#   zorv::dep::vorbis      Vorbis decoder (with ogg)
#   zorv::dep::vorbisfile  Ogg Vorbis file reader (with vorbis)
#   zorv::dep::opus        Opus decoder, float API; <opus.h> and <opus/opus.h> both work
#   zorv::dep::flac        libFLAC with Ogg FLAC (with ogg)
#   zorv::dep::wavpack     <wavpack/wavpack.h>
#   zorv::dep::mpcdec      <mpc/mpcdec.h>
#   zorv::dep::avutil      FFmpeg utilities (with the Windows libraries it needs)
#   zorv::dep::avcodec     FFmpeg with the ALAC decoder only (with avutil)

set(ZORV_DEPS_PREFIX "" CACHE PATH
  "Prefix of the libraries built by tools/deps; empty: run tools/deps while configuring")

if(ZORV_DEPS_PREFIX)
  set(_zorv_deps "${ZORV_DEPS_PREFIX}")
else()
  message(STATUS "Dependencies: running tools/deps")
  execute_process(
    COMMAND "${CMAKE_SOURCE_DIR}/tools/deps"
    OUTPUT_VARIABLE _zorv_deps
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE _zorv_deps_result)
  if(NOT _zorv_deps_result EQUAL 0)
    message(FATAL_ERROR "tools/deps failed (${_zorv_deps_result}); its messages are above")
  endif()
  # Configure again when the script changes (a new prefix) or the prefix
  # disappears from the cache.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    "${CMAKE_SOURCE_DIR}/tools/deps" "${_zorv_deps}/.complete")
endif()

if(NOT EXISTS "${_zorv_deps}/.complete")
  message(FATAL_ERROR "'${_zorv_deps}' is not a finished tools/deps prefix")
endif()
message(STATUS "Dependencies: ${_zorv_deps}")

# zorv_dep(NAME LIBRARY [LINKS...]): zorv::dep::NAME for lib/libLIBRARY.a,
# which needs the given targets or libraries linked after it.
function(zorv_dep name library)
  set(file "${_zorv_deps}/lib/lib${library}.a")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${file} is missing; delete '${_zorv_deps}' and configure again")
  endif()
  add_library(zorv::dep::${name} STATIC IMPORTED GLOBAL)
  set_target_properties(zorv::dep::${name} PROPERTIES
    IMPORTED_LOCATION "${file}"
    INTERFACE_INCLUDE_DIRECTORIES "${_zorv_deps}/include"
    INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()

zorv_dep(ogg ogg)
zorv_dep(vorbis vorbis zorv::dep::ogg)
zorv_dep(vorbisfile vorbisfile zorv::dep::vorbis)

zorv_dep(opus opus)
set_property(TARGET zorv::dep::opus APPEND PROPERTY
  INTERFACE_INCLUDE_DIRECTORIES "${_zorv_deps}/include/opus")

zorv_dep(flac FLAC zorv::dep::ogg)
# Without it, FLAC's headers declare every function dllimport.
set_property(TARGET zorv::dep::flac PROPERTY INTERFACE_COMPILE_DEFINITIONS FLAC__NO_DLL)

zorv_dep(wavpack wavpack)
zorv_dep(mpcdec mpcdec)

# tools/deps records the system libraries that FFmpeg's configure chose
# (bcrypt for its random numbers, user32, ole32, ...).
file(STRINGS "${_zorv_deps}/lib/avcodec-system-libs.txt" _zorv_avcodec_system_libs)
zorv_dep(avutil avutil ${_zorv_avcodec_system_libs})
zorv_dep(avcodec avcodec zorv::dep::avutil)
