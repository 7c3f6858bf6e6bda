# Decodes the JPEG that the Wine suite wrote with libjpeg-turbo's djpeg and
# checks the picture's size. A missing djpeg is a failure, never a skip.
#   cmake -DDJPEG=<path> -DJPEG=<file> -DPPM=<file> -DWIDTH=<n> -DHEIGHT=<n> -P DjpegCheck.cmake
if(NOT DJPEG OR NOT EXISTS "${DJPEG}")
  message(FATAL_ERROR "djpeg not found (${DJPEG}): install libjpeg-turbo-progs")
endif()
if(NOT EXISTS "${JPEG}")
  message(FATAL_ERROR "no JPEG at ${JPEG}: the jpeg_renderer suite did not write one")
endif()
file(REMOVE "${PPM}")
execute_process(COMMAND "${DJPEG}" -pnm -outfile "${PPM}" "${JPEG}"
                RESULT_VARIABLE result ERROR_VARIABLE errors)
# djpeg reports damaged data as warnings on stderr (and exit status 2).
if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
  message(FATAL_ERROR "djpeg failed on ${JPEG} (status ${result}): ${errors}")
endif()
string(HEX "P6\n${WIDTH} ${HEIGHT}\n255\n" expected)
string(LENGTH "${expected}" hexLength)
math(EXPR headerBytes "${hexLength} / 2")
file(READ "${PPM}" header LIMIT ${headerBytes} HEX)
if(NOT header STREQUAL expected)
  message(FATAL_ERROR "djpeg decoded ${JPEG} to another size or format: header ${header}, wanted ${expected}")
endif()
file(SIZE "${PPM}" ppmBytes)
math(EXPR wantBytes "${headerBytes} + ${WIDTH} * ${HEIGHT} * 3")
if(NOT ppmBytes EQUAL wantBytes)
  message(FATAL_ERROR "djpeg wrote ${ppmBytes} bytes, wanted ${wantBytes}")
endif()
message(STATUS "djpeg decoded ${JPEG}: ${WIDTH}x${HEIGHT} colour")
