# Writes OUT, a C++ source naming the version and the git commit of the
# sources in SOURCE, run at every build (cmake -P).  The file is rewritten
# only when its text changes, so an unchanged commit rebuilds nothing.
#   cmake -DSOURCE=dir -DOUT=file.cpp -DVERSION=0.1 -P version.cmake
set(commit "built outside a git checkout: commit unknown")
find_program(GIT git)
if(GIT)
  # Only a checkout whose top is SOURCE itself: a copy of the sources
  # unpacked inside some other repository is not that repository's commit.
  execute_process(COMMAND ${GIT} -C ${SOURCE} rev-parse --show-toplevel
    RESULT_VARIABLE top_failed OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  get_filename_component(source_real ${SOURCE} REALPATH)
  if(NOT top_failed)
    get_filename_component(top ${top} REALPATH)
  endif()
  if(NOT top_failed AND top STREQUAL source_real)
    execute_process(COMMAND ${GIT} -C ${SOURCE} rev-parse --short=12 HEAD
      RESULT_VARIABLE head_failed OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT} -C ${SOURCE} status --porcelain --untracked-files=no
      RESULT_VARIABLE status_failed OUTPUT_VARIABLE changes ERROR_QUIET)
    if(NOT head_failed)
      set(commit "commit ${head}")
      if(NOT status_failed AND NOT changes STREQUAL "")
        set(commit "${commit}, with changes not committed")
      endif()
    endif()
  endif()
endif()

set(text "/* Made by tools/version.cmake at build time; not kept in git. */
#include \"drive/version.h\"
const char caravelt_version[] = \"${VERSION}\";
const char caravelt_commit[] = \"${commit}\";
")
set(old "")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
