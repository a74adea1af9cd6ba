# Run by `cmake --install`: writes periodscan.pth into the interpreter's site
# directory under the install prefix, so that `import periodscan` finds the
# package in <prefix>/lib/periodscan/python without PYTHONPATH. The line is
# relative to the site directory, so a staged (DESTDIR) or moved tree keeps
# working. Set by the install(CODE) before this: periodscan_python,
# periodscan_site_dir (empty: ask the interpreter), periodscan_site_script.
set(prefix "${CMAKE_INSTALL_PREFIX}")
set(searched found)
if(periodscan_site_dir STREQUAL "")
  execute_process(COMMAND "${periodscan_python}" "${periodscan_site_script}" "${prefix}"
                  OUTPUT_VARIABLE answer RESULT_VARIABLE status
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${periodscan_python} could not name its site directory under ${prefix}")
  endif()
  string(REPLACE "\n" ";" answer "${answer}")
  list(GET answer 0 periodscan_site_dir)
  list(GET answer 1 searched)
endif()
if(IS_ABSOLUTE "${periodscan_site_dir}")
  set(site "${periodscan_site_dir}")
else()
  set(site "${prefix}/${periodscan_site_dir}")
endif()
file(RELATIVE_PATH line "${site}" "${prefix}/lib/periodscan/python")
set(pth "$ENV{DESTDIR}${site}/periodscan.pth")
message(STATUS "Installing: ${pth}")
file(WRITE "${pth}" "${line}\n")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${pth}")
if(NOT searched STREQUAL "found")
  message(STATUS "Note: ${periodscan_python} does not search ${site}; add it with "
                 "site.addsitedir() or PYTHONPATH to import periodscan")
endif()
