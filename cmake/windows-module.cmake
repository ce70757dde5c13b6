# The Windows module: ostrabel1.dll, exporting exactly what the .def file lists and importing only
# KERNEL32 and the C runtime. Included by native/CMakeLists.txt for WIN32 builds.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_ostrabel1_def ${PROJECT_SOURCE_DIR}/native/ostrabel1-x86.def)
else()
  set(_ostrabel1_def ${PROJECT_SOURCE_DIR}/native/ostrabel1-x64.def)
endif()

set_target_properties(ostrabel1 PROPERTIES PREFIX "" OUTPUT_NAME ostrabel1 LINK_DEPENDS ${_ostrabel1_def})
target_link_options(ostrabel1 PRIVATE
  ${_ostrabel1_def}
  -static-libgcc -static-libstdc++
  # Only the .def entries leave the module: nothing from our objects or the static runtime.
  "LINKER:--exclude-all-symbols")
