# Delay-loaded system DLLs: zorv_delay_load(target dll...) makes the target
# load each named DLL on the first call into it rather than at start. A
# console command of zorvtool that never touches the window, COM or media
# libraries then does not load them, nor, through them, Wine's display
# driver, which costs each start a connection to the X server.
#
# Each DLL gets a delay-import library, made at build time by dlltool from a
# .def file that lists the functions of the toolchain's own import library
# (lib<dll>.a, read with nm); it is linked ahead of the ordinary import
# libraries, so the linker takes the functions from it. Variables a DLL
# exports (data imports) cannot be delay-loaded: they are left out of the
# .def, and one the program uses comes from the ordinary import library,
# which then loads that DLL at start again (objdump -p shows it among the
# ordinary imports). mingw-w64's libmingwex supplies __delayLoadHelper2;
# cmake/delay_load_failure.c turns a DLL or function that cannot be found
# into a message and exit code 1 instead of an unhandled exception.
#
# Each member of a delay-import library holds, in one code section, the
# function's jump stub and the lazy thunk its import slot points at until the
# first call. The 32-bit linker drops a member's code section when nothing
# names the stub's strong symbol (calls through __declspec(dllimport) name
# only the import slot), and the slot is then left pointing at address 0: the
# first call crashes. There the stub symbols are made weak, which that rule
# leaves alone; a call that names a stub (a function the headers declare
# without dllimport) still reaches it.
#
# Run as a script (cmake -P) it writes one .def file, and for decorated
# (32-bit) names the list of stub symbols beside it (OUT.stubs):
#   cmake -DNM=... -DIMPORT_LIB=... -DDLL=... -DDECORATED=ON|OFF -DOUT=... -P delay_load.cmake

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
  execute_process(COMMAND ${NM} ${IMPORT_LIB} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "delay_load: ${NM} ${IMPORT_LIB} failed")
  endif()
  # i686 names carry the leading underscore (and stdcall's @N, kept here and
  # removed from the imported name by dlltool's --kill-at).
  if(DECORATED)
    set(prefix "_")
  else()
    set(prefix "")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
  set(imports "")
  set(code "")
  foreach(line IN LISTS lines)
    if(line MATCHES " I __imp_${prefix}([A-Za-z_][A-Za-z0-9_@?$]*)$")
      list(APPEND imports "${CMAKE_MATCH_1}")
    elseif(line MATCHES " T ${prefix}([A-Za-z_][A-Za-z0-9_@?$]*)$")
      list(APPEND code "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES imports)
  # A function has a call stub beside its import pointer; a variable has not.
  set(def "LIBRARY ${DLL}\nEXPORTS\n")
  set(stubs "")
  foreach(name IN LISTS imports)
    if(name IN_LIST code)
      string(APPEND def "  ${name}\n")
      string(APPEND stubs "${prefix}${name}\n")
    endif()
  endforeach()
  file(WRITE ${OUT} "${def}")
  if(DECORATED)
    file(WRITE ${OUT}.stubs "${stubs}")
  endif()
  return()
endif()

set(ZORV_DELAY_LOAD_SCRIPT ${CMAKE_CURRENT_LIST_FILE})
set(ZORV_DELAY_LOAD_FAILURE_SOURCE ${CMAKE_CURRENT_LIST_DIR}/delay_load_failure.c)
set(ZORV_DELAY_THUNK_CHECK ${CMAKE_CURRENT_LIST_DIR}/check_delay_thunks.cmake)

# Builds (once per DLL) and links the delay-import libraries of the named
# DLLs (names as in -l<name>: comctl32, shell32, ...) into target.
function(zorv_delay_load target)
  if(NOT CMAKE_DLLTOOL OR NOT CMAKE_NM)
    message(FATAL_ERROR "zorv_delay_load: the toolchain's dlltool and nm are needed")
  endif()
  set(decorated OFF)
  set(kill_at "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(decorated ON)
    set(kill_at --kill-at)
  endif()
  # On 64-bit names the linker keeps every member's code: nothing to do there.
  set(keep_lazy_thunks ${CMAKE_COMMAND} -E true)
  if(decorated)
    if(NOT CMAKE_OBJCOPY)
      message(FATAL_ERROR "zorv_delay_load: the toolchain's objcopy is needed")
    endif()
    set(keep_lazy_thunks ${CMAKE_OBJCOPY} --weaken-symbols)
  endif()
  set(libraries "")
  foreach(dll IN LISTS ARGN)
    string(TOLOWER ${dll} dll)
    set(delay_lib ${CMAKE_BINARY_DIR}/delay_load/lib${dll}_delay.a)
    if(NOT TARGET zorv_delay_load_${dll})
      find_library(ZORV_IMPORT_LIB_${dll} NAMES lib${dll}.a REQUIRED NO_CACHE)
      set(def ${CMAKE_BINARY_DIR}/delay_load/${dll}.def)
      add_custom_command(OUTPUT ${delay_lib}
        COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DIMPORT_LIB=${ZORV_IMPORT_LIB_${dll}}
                -DDLL=${dll}.dll -DDECORATED=${decorated} -DOUT=${def} -P ${ZORV_DELAY_LOAD_SCRIPT}
        COMMAND ${CMAKE_DLLTOOL} ${kill_at} --input-def ${def} --dllname ${dll}.dll
                --output-delaylib ${delay_lib}
        COMMAND ${keep_lazy_thunks} ${def}.stubs ${delay_lib}
        DEPENDS ${ZORV_IMPORT_LIB_${dll}} ${ZORV_DELAY_LOAD_SCRIPT}
        COMMENT "Delay-import library for ${dll}.dll"
        VERBATIM)
      add_custom_target(zorv_delay_load_${dll} DEPENDS ${delay_lib})
    endif()
    add_dependencies(${target} zorv_delay_load_${dll})
    list(APPEND libraries ${delay_lib})
  endforeach()
  # Ahead of the ordinary import libraries on the link line, which come in
  # as the layers' own dependencies after the target's direct ones.
  target_link_libraries(${target} PRIVATE ${libraries})
  target_sources(${target} PRIVATE ${ZORV_DELAY_LOAD_FAILURE_SOURCE})
  # Every build checks what the linker kept, so a machine that cannot run
  # this kind of build still fails one whose delay-loaded calls would crash.
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  target_link_options(${target} PRIVATE -Wl,-Map=${map})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DMAP=${map} -P ${ZORV_DELAY_THUNK_CHECK}
    VERBATIM)
endfunction()
