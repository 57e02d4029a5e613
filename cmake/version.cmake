# The version is written once: in project() of the top CMakeLists.txt. Every
# other file that shows it is made from a template (a name ending in .in) at
# configure time by vips_versioned_file(TEMPLATE OUTPUT), which puts in
#   @VIPS_VERSION@         the version as project() has it
#   @VIPS_VERSION_COMMAS@  its parts with commas, as a Windows version record
#                          wants them
# The programs take it from the compile definition VIPS_VERSION_TEXT.
set(VIPS_VERSION ${PROJECT_VERSION})
string(REPLACE "." ", " VIPS_VERSION_COMMAS "${PROJECT_VERSION}")

function(vips_versioned_file template output)
  configure_file(${template} ${output} @ONLY)
endfunction()
