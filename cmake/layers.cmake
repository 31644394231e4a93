# Windows system libraries every layer may call.
set(ZORV_SYSTEM_LIBS ole32 oleaut32 uuid shell32 shlwapi comctl32 user32 gdi32 kernel32 advapi32)

# One static library per layer folder. Sources are found by glob so that a new
# file needs no list edit; a layer without sources yet is an interface library.
function(zorv_layer name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/${name}/*.cpp ${CMAKE_SOURCE_DIR}/${name}/*.c)
  # A file named *_main.cpp is an executable's entry, not part of the layer.
  list(FILTER sources EXCLUDE REGEX "_main\\.cpp$")
  if(sources)
    add_library(zorv_${name} STATIC ${sources})
    target_include_directories(zorv_${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(zorv_${name} PUBLIC ${ZORV_SYSTEM_LIBS})
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

