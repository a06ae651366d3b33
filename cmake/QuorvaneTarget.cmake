# Settings shared by every target of the project: warnings, sanitizers and
# the operating system's file suffix (the OS code lives in *_win32.cpp and
# *_posix.cpp files, chosen here rather than by #ifdef inside functions).

if(WIN32)
  set(QUORVANE_OS win32)
else()
  set(QUORVANE_OS posix)
endif()

if(QUORVANE_SANITIZE)
  add_compile_options(-fsanitize=${QUORVANE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${QUORVANE_SANITIZE})
endif()

if(MINGW)
  # Static runtime so the .exe runs on a bare Windows (and under Wine) without
  # MinGW DLLs.
  add_link_options(-static)
endif()

function(quorvane_target_defaults target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  endif()
endfunction()
