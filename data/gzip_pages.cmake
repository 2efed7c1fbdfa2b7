# Compresses every manual page in DIR as Debian keeps them (gzip -9n: no
# name, no time, so the bytes are the same every build).
#   cmake -DKWS_GZIP=gzip -DDIR=dir -P gzip_pages.cmake
file(GLOB pages ${DIR}/*.1)
foreach(page IN LISTS pages)
  execute_process(COMMAND ${KWS_GZIP} -9nf ${page} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot compress ${page}")
  endif()
endforeach()
