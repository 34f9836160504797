# DLLs that the launcher must never load from its own folder. Windows looks
# an executable's imports up in the executable's folder first unless they are
# "known DLLs", so a winhttp.dll lying in the player's Downloads folder would
# run with the launcher's rights. These are delay-loaded instead: nothing of
# them loads before wWinMain has limited the DLL search to System32.
# One word per DLL (the name of its MinGW import library).
set(VANDRO_DELAY_LOADED_DLLS winhttp bcrypt dwmapi crypt32 oleacc)

# Some dlltool builds stamp libraries with the time; reproducible builds want none.
execute_process(COMMAND ${CMAKE_DLLTOOL} --help OUTPUT_VARIABLE _dlltool_help ERROR_QUIET)
set(_dlltool_deterministic "")
if(_dlltool_help MATCHES "--deterministic-libraries")
  set(_dlltool_deterministic --deterministic-libraries)
endif()

# Makes a delay-import library for each DLL of the list, from the exports of
# its MinGW import library, and sets OUT_VAR to the libraries to link in place
# of the plain import libraries.
function(vandro_delay_import_libraries out_var)
  set(folder "${CMAKE_BINARY_DIR}/delay-imports")
  file(MAKE_DIRECTORY "${folder}")
  set(libraries)
  foreach(dll ${VANDRO_DELAY_LOADED_DLLS})
    find_library(_import_${dll} NAMES "lib${dll}.a" REQUIRED NO_CACHE)
    execute_process(COMMAND ${CMAKE_NM} -g "${_import_${dll}}" OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "__imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE "^__imp_" "")
    # GUIDs are data, which a delay-import thunk cannot stand in for: libuuid has them.
    list(FILTER imports EXCLUDE REGEX "^(IID|CLSID|LIBID)_")
    list(REMOVE_DUPLICATES imports)
    list(SORT imports)
    list(JOIN imports "\n" exports)
    file(WRITE "${folder}/${dll}.def" "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${CMAKE_DLLTOOL} ${_dlltool_deterministic} --input-def "${folder}/${dll}.def"
                            --output-delaylib "${folder}/lib${dll}_delay.a" COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND libraries "${folder}/lib${dll}_delay.a")
  endforeach()
  set(${out_var} ${libraries} PARENT_SCOPE)
endfunction()
