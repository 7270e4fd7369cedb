# Installation and packages. `cmake --install` puts both programs, a manual page for each
# and the README with the BCG example under the prefix; `cpack` makes a Debian package
# (oskev_VERSION_ARCH.deb) on Linux and, from the Windows cross-build, a .zip holding the two
# .exe files, the manual as text, the README and the BCG example, with CR LF line ends.
include(GNUInstallDirs)

set(oskev_manual ${PROJECT_SOURCE_DIR}/docs/oskev.1)
set(oskev_text_files README.md examples/bcg/README.md examples/bcg/study.txt examples/bcg/answers.txt)

if(WIN32)
  # One folder, as a Windows user unpacks it: the programs beside their documents.
  install(TARGETS oskev oskev-v1.0 RUNTIME DESTINATION .)
  find_program(OSKEV_GROFF groff REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  set(oskev_windows_docs ${CMAKE_BINARY_DIR}/windows-docs)
  set(oskev_converted ${oskev_windows_docs}/oskev.txt)
  foreach(file ${oskev_text_files})
    list(APPEND oskev_converted ${oskev_windows_docs}/${file})
  endforeach()
  add_custom_command(OUTPUT ${oskev_converted}
                     COMMAND ${CMAKE_COMMAND} -DGROFF=${OSKEV_GROFF} -DMANUAL=${oskev_manual}
                             -DSOURCE=${PROJECT_SOURCE_DIR} -DOUT=${oskev_windows_docs}
                             "-DFILES=${oskev_text_files}" -P ${PROJECT_SOURCE_DIR}/cmake/WindowsDocuments.cmake
                     DEPENDS ${oskev_manual} ${PROJECT_SOURCE_DIR}/cmake/WindowsDocuments.cmake
                             ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/examples/bcg/README.md
                             ${PROJECT_SOURCE_DIR}/examples/bcg/study.txt ${PROJECT_SOURCE_DIR}/examples/bcg/answers.txt
                     VERBATIM)
  add_custom_target(windows_documents ALL DEPENDS ${oskev_converted})
  install(FILES ${oskev_windows_docs}/oskev.txt ${oskev_windows_docs}/README.md DESTINATION .)
  install(DIRECTORY ${oskev_windows_docs}/examples/bcg DESTINATION examples)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_STRIP_FILES ON)  # the symbols are for debugging the build, not for its users
  set(CPACK_PACKAGE_FILE_NAME oskev-${PROJECT_VERSION}-windows-x64)
else()
  install(TARGETS oskev oskev-v1.0 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Manual pages compressed as Debian keeps them (gzip -n: no name or time in the file).
  set(oskev_man ${CMAKE_BINARY_DIR}/man)
  add_custom_command(OUTPUT ${oskev_man}/oskev.1.gz ${oskev_man}/oskev-v1.0.1.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${oskev_man}
                     COMMAND ${CMAKE_COMMAND} -E copy ${oskev_manual} ${PROJECT_SOURCE_DIR}/docs/oskev-v1.0.1 ${oskev_man}
                     COMMAND gzip -9nf ${oskev_man}/oskev.1 ${oskev_man}/oskev-v1.0.1
                     DEPENDS ${oskev_manual} ${PROJECT_SOURCE_DIR}/docs/oskev-v1.0.1
                     VERBATIM)
  add_custom_target(manual_pages ALL DEPENDS ${oskev_man}/oskev.1.gz ${oskev_man}/oskev-v1.0.1.gz)
  install(FILES ${oskev_man}/oskev.1.gz ${oskev_man}/oskev-v1.0.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES examples/bcg/README.md examples/bcg/study.txt examples/bcg/answers.txt
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/bcg)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The C and C++ run-time libraries the programs link against, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

set(CPACK_PACKAGE_NAME oskev)
set(CPACK_PACKAGE_VENDOR "OSKEV meta-analysis developers")
set(CPACK_PACKAGE_CONTACT "OSKEV meta-analysis developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test meta-analyses of risk ratios for extreme low homogeneity")
set(CPACK_PACKAGE_DESCRIPTION
    "OSKEV tests whether two-arm studies that report risk ratios agree better than
chance allows when summarised by the Mantel-Haenszel summary risk ratio: the
heterogeneity statistic Q, its chi-squared P-value and the left-sided Monte
Carlo P-value of Q under a common risk ratio. The programs oskev and
oskev-v1.0 ask their questions on the console; oskev analyse works on tables
and batches of meta-analyses.")
include(CPack)
