# Read by cpack when it makes the package. CPack writes a postrm of its own that calls ldconfig when a shared
# library lies below usr/lib, unless the package brings a postrm; the program folder's libraries are private
# and need no ldconfig. A package whose maintainer scripts include no postrm therefore gets debian/fallback's.
set(has_postrm FALSE)
foreach(script IN LISTS CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA)
  get_filename_component(script_name "${script}" NAME)
  if(script_name STREQUAL "postrm")
    set(has_postrm TRUE)
  endif()
endforeach()
if(NOT has_postrm)
  list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CPACK_TARNIX_FALLBACK_POSTRM}")
endif()
