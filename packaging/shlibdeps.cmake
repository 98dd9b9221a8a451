# At cpack time, for the DEB generator: the libraries the packaged programs and plug-ins link,
# as dpkg-shlibdeps names their packages, added to the package's hand-made dependencies.
# Inputs: sonaclip_shlibdeps_files (the built files), sonaclip_shlibdeps_dir (a scratch folder).
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
# dpkg-shlibdeps wants to run inside a source package: an empty debian/control will do.
file(MAKE_DIRECTORY "${sonaclip_shlibdeps_dir}/debian")
file(WRITE "${sonaclip_shlibdeps_dir}/debian/control" "")
execute_process(
  COMMAND dpkg-shlibdeps -O ${sonaclip_shlibdeps_files}
  WORKING_DIRECTORY "${sonaclip_shlibdeps_dir}"
  OUTPUT_VARIABLE found
  ERROR_VARIABLE warnings
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps failed: ${warnings}")
endif()
string(REGEX MATCH "shlibs:Depends=([^\n]*)" found "${found}")
if(CMAKE_MATCH_1)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}, ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
endif()
