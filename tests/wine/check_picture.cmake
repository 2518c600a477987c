# The window's picture as velk2-render-window.exe wrote it: a PNG of the
# size of REFERENCE (the README's picture). Usage:
#   cmake -DPICTURE=FILE.png -DREFERENCE=FILE.png -P check_picture.cmake

# Width and height from a PNG's header chunk, or a message in `size`.
function(png_size file out)
  if(NOT EXISTS ${file})
    set(${out} "missing" PARENT_SCOPE)
    return()
  endif()
  file(READ ${file} head LIMIT 24 HEX)
  if(NOT head MATCHES "^89504e470d0a1a0a0000000d49484452")
    set(${out} "not a PNG" PARENT_SCOPE)
    return()
  endif()
  string(SUBSTRING ${head} 32 8 width)
  string(SUBSTRING ${head} 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  set(${out} "${width} x ${height}" PARENT_SCOPE)
endfunction()

png_size(${PICTURE} got)
png_size(${REFERENCE} want)
if(NOT got STREQUAL want)
  message(FATAL_ERROR "${PICTURE}: ${got}, not ${want} as ${REFERENCE}")
endif()
message(STATUS "window picture ${got}: ${PICTURE}")
