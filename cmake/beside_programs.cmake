# The end-to-end tests and the benchmarks start the launcher and the stand-in
# main program from beside their own executables, so those are copied into
# the calling folder's build folder, with any further files named after
# FILES. The target `name` is built with everything; executables that need
# the copies depend on it.
function(add_programs_beside name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "FILES")
  set(copies "")
  foreach(program zorvant:zorvant.exe tarm:Tarm.exe)
    string(REPLACE ":" ";" program ${program})
    list(GET program 0 target)
    list(GET program 1 copy)
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/${copy})
    add_custom_command(OUTPUT ${copy}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${copy}
      DEPENDS ${target} $<TARGET_FILE:${target}>)
    list(APPEND copies ${copy})
  endforeach()
  foreach(file IN LISTS arg_FILES)
    cmake_path(GET file FILENAME copy)
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/${copy})
    add_custom_command(OUTPUT ${copy}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} ${CMAKE_CURRENT_BINARY_DIR}
      DEPENDS ${file})
    list(APPEND copies ${copy})
  endforeach()
  add_custom_target(${name} ALL DEPENDS ${copies})
endfunction()
