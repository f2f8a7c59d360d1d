# Run by cmake --install: the menu entry and the file managers' folder action
# name the launcher by its full installed path, under the prefix the install
# is given, since a desktop runs Exec with its own PATH (root's lacks
# /usr/games). Set before: zv_dist, zv_out, zv_bindir, zv_datadir, zv_app_id.

cmake_path(ABSOLUTE_PATH zv_bindir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE OUTPUT_VARIABLE launcher)
cmake_path(ABSOLUTE_PATH zv_datadir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE OUTPUT_VARIABLE datadir)
cmake_path(APPEND launcher zerivirav-open)

# Exec's own quoting, as desktops read the key: a path with a reserved
# character is quoted, with \ " ` $ escaped inside; % is doubled; and the key
# file doubles every backslash once more.
set(ZV_LAUNCHER_EXEC "${launcher}")
if(ZV_LAUNCHER_EXEC MATCHES "[ \t\n\"'\\\\><~|&;$*?#()`]")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" ZV_LAUNCHER_EXEC "${ZV_LAUNCHER_EXEC}")
  set(ZV_LAUNCHER_EXEC "\"${ZV_LAUNCHER_EXEC}\"")
endif()
string(REPLACE "%" "%%" ZV_LAUNCHER_EXEC "${ZV_LAUNCHER_EXEC}")
string(REPLACE "\\" "\\\\" ZV_LAUNCHER_EXEC "${ZV_LAUNCHER_EXEC}")

configure_file("${zv_dist}/${zv_app_id}.desktop.in" "${zv_out}/applications/${zv_app_id}.desktop" @ONLY)
configure_file("${zv_dist}/${zv_app_id}.action.in" "${zv_out}/actions/${zv_app_id}.desktop" @ONLY)
file(INSTALL "${zv_out}/applications/${zv_app_id}.desktop" DESTINATION "${datadir}/applications")
file(INSTALL "${zv_out}/actions/${zv_app_id}.desktop" DESTINATION "${datadir}/file-manager/actions")
