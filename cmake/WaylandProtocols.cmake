# Wayland protocol code for a target: the client header and the glue code
# that wayland-scanner makes from a protocol of wayland-protocols.
# Sets ZV_WAYLAND_FOUND when the client library, the protocols and the
# scanner are all there.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ZV_WAYLAND IMPORTED_TARGET wayland-client)
pkg_get_variable(ZV_WAYLAND_PROTOCOLS wayland-protocols pkgdatadir)
find_program(ZV_WAYLAND_SCANNER wayland-scanner)
if(ZV_WAYLAND_FOUND AND ZV_WAYLAND_PROTOCOLS AND ZV_WAYLAND_SCANNER)
  set(ZV_WAYLAND_FOUND ON)
else()
  set(ZV_WAYLAND_FOUND OFF)
endif()

# zv_wayland_protocol(TARGET stable/xdg-shell/xdg-shell.xml [SERVER])
# SERVER: the compositor's side, for tests that play the compositor.
function(zv_wayland_protocol target relative)
  get_filename_component(name ${relative} NAME_WE)
  set(xml ${ZV_WAYLAND_PROTOCOLS}/${relative})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}-protocols/${name})
  set(side client)
  set(library PkgConfig::ZV_WAYLAND)
  if("SERVER" IN_LIST ARGN)
    set(side server)
    pkg_check_modules(ZV_WAYLAND_SERVER REQUIRED IMPORTED_TARGET wayland-server)
    set(library PkgConfig::ZV_WAYLAND_SERVER)
  endif()
  add_custom_command(OUTPUT ${out}-${side}-protocol.h ${out}-protocol.c
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/${target}-protocols
    COMMAND ${ZV_WAYLAND_SCANNER} ${side}-header ${xml} ${out}-${side}-protocol.h
    COMMAND ${ZV_WAYLAND_SCANNER} private-code ${xml} ${out}-protocol.c
    DEPENDS ${xml})
  target_sources(${target} PRIVATE ${out}-${side}-protocol.h ${out}-protocol.c)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}-protocols)
  target_link_libraries(${target} PRIVATE ${library})
endfunction()
