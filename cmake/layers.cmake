# Windows system libraries every layer may call.
set(ZORV_SYSTEM_LIBS ole32 oleaut32 uuid shell32 shlwapi comctl32 user32 gdi32 kernel32 advapi32)

# The layer libraries compile as unity (jumbo) builds: their sources are
# combined into translation units of ZORV_UNITY_BATCH_SIZE files each, so that
# windows.h and the standard headers, most of each file's compile, are parsed
# once a batch rather than once a file. The sources of a layer must therefore
# live together in one translation unit: no two files of a layer may give a
# file-local (anonymous namespace or static) entity the same name, and no
# file may leave a macro or a file-scope `using namespace` behind. Tools and
# benchmarks compile per file; the unit tests have batches of their own
# (tests/CMakeLists.txt). A batch size of 0 puts each whole
# layer in one unit; -DZORV_UNITY_BUILD=OFF compiles every file on its own,
# the unit tests' too.
option(ZORV_UNITY_BUILD "Compile the layer libraries as unity builds" ON)
set(ZORV_UNITY_BATCH_SIZE 16 CACHE STRING
  "Sources of a layer library combined into one translation unit (0: the whole layer)")
# Sources that stay archive members of their own, outside the batches,
# because a program that does not need them must not be given them with the
# rest of a batch: the replaced operator new and delete (a test may bring its
# own pair); the process entry body and start-up sequence of the core, which
# call up into playback (only the player, and test programs with a stand-in,
# link them); and the registrations of services that tests register their
# own of, which would otherwise be duplicated: the popup message, and the one
# tag_service with the trailing tags it is defined with and tag_services,
# whose use of those brings it along. The player links every layer whole, so
# for it nothing differs.
set(ZORV_SOURCES_OUTSIDE_UNITY
  foundation/thread_heap_operators.cpp
  core/app_entry.cpp core/app_startup.cpp
  metadata/tags/trailing_tag_service.cpp metadata/tags/tag_services.cpp
  ui/menus/popup_message_window.cpp)

# One static library per layer folder. Sources are found by glob so that a new
# file needs no list edit; a layer without sources yet is an interface library.
function(zorv_layer name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/${name}/*.cpp ${CMAKE_SOURCE_DIR}/${name}/*.c)
  # A file named *_main.cpp is an executable's entry, not part of the layer.
  list(FILTER sources EXCLUDE REGEX "_main\\.cpp$")
  foreach(source IN LISTS ZORV_SOURCES_OUTSIDE_UNITY)
    if(source MATCHES "^${name}/")
      set_source_files_properties(${CMAKE_SOURCE_DIR}/${source} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
    endif()
  endforeach()
  if(sources)
    add_library(zorv_${name} STATIC ${sources})
    target_include_directories(zorv_${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(zorv_${name} PUBLIC ${ZORV_SYSTEM_LIBS})
    set_target_properties(zorv_${name} PROPERTIES
      UNITY_BUILD ${ZORV_UNITY_BUILD} UNITY_BUILD_BATCH_SIZE ${ZORV_UNITY_BATCH_SIZE})
    foreach(dep IN LISTS ARGN)
      target_link_libraries(zorv_${name} PUBLIC zorv_${dep})
    endforeach()
    if(COMMAND zorv_layer_extras_${name})
      cmake_language(CALL zorv_layer_extras_${name} zorv_${name})
    endif()
  else()
    add_library(zorv_${name} INTERFACE)
    target_include_directories(zorv_${name} INTERFACE ${CMAKE_SOURCE_DIR})
    foreach(dep IN LISTS ARGN)
      target_link_libraries(zorv_${name} INTERFACE zorv_${dep})
    endforeach()
  endif()
  add_library(zorv::${name} ALIAS zorv_${name})
endfunction()

# Links the given layers whole, so that static registrations in them survive
# the linker (nothing refers to a registration object by name).
function(zorv_link_layers_whole target)
  foreach(layer IN LISTS ARGN)
    target_link_libraries(${target} PRIVATE zorv_${layer})
    get_target_property(type zorv_${layer} TYPE)
    if(type STREQUAL "STATIC_LIBRARY")
      # One option per archive: identical options would be merged by CMake.
      target_link_options(${target} PRIVATE
        "LINKER:--whole-archive,$<TARGET_FILE:zorv_${layer}>,--no-whole-archive")
    endif()
  endforeach()
endfunction()

