# The documents of the Windows archive: the manual page as plain text, and the README and
# the BCG example, all with CR LF line ends, which every Windows editor shows as lines.
#   cmake -DGROFF=groff -DMANUAL=docs/oskev.1 -DSOURCE=. -DOUT=dir "-DFILES=a;b" -P ...
function(write_with_crlf text path)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${path} "${text}")
endfunction()

execute_process(COMMAND ${GROFF} -man -Tascii -P-c -P-b -P-o -P-u ${MANUAL}
                OUTPUT_VARIABLE manual RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "groff could not set ${MANUAL}")
endif()
write_with_crlf("${manual}" ${OUT}/oskev.txt)

foreach(file ${FILES})
  file(READ ${SOURCE}/${file} text)
  write_with_crlf("${text}" ${OUT}/${file})
endforeach()
