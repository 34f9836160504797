# Reproducible, hardened Windows executables: two builds of one commit, in
# any folders and at any time, give the same bytes.
#
# - No build paths: source and build folders (the JSON headers are copied
#   into the build folder) are mapped to fixed names.
# - No link time stamp in the PE header.
# - Archives without member times, owners or modes; import libraries made
#   with dlltool get the same through VANDRO_DLLTOOL_FLAGS.
# - __DATE__ and __TIME__ follow SOURCE_DATE_EPOCH, which tools/release sets
#   from the commit.
# - ASLR with high entropy, DEP and a relocation table, asked for explicitly
#   rather than left to the linker's defaults; tools/release checks them.
# - VANDRO_STRIP strips the launcher at link time (tools/release turns it on).

add_compile_options(
  "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=/vandroglade/src"
  "-ffile-prefix-map=${CMAKE_BINARY_DIR}=/vandroglade/build")
add_link_options(LINKER:--no-insert-timestamp
  LINKER:--dynamicbase LINKER:--high-entropy-va LINKER:--nxcompat LINKER:--enable-reloc-section)

foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()

find_program(VANDRO_DLLTOOL x86_64-w64-mingw32-dlltool)
set(VANDRO_DLLTOOL_FLAGS --deterministic-libraries)

option(VANDRO_STRIP "Strip the launcher executable at link time" OFF)
