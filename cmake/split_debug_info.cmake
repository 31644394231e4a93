# The executables users get carry neither debug sections nor a symbol table
# (they are most of the file): both go to TARGET.exe.debug beside it, which
# the executable names through a debug link, so that a debugger or a crash
# dump reader on the build machine still finds them.
find_program(ZORV_OBJCOPY NAMES ${ZORV_TRIPLET}-objcopy REQUIRED)

function(zorv_split_debug_info target)
  set(exe $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${ZORV_OBJCOPY} --only-keep-debug ${exe} ${exe}.debug
    COMMAND ${ZORV_OBJCOPY} --strip-all --add-gnu-debuglink=${exe}.debug ${exe}
    VERBATIM)
endfunction()
