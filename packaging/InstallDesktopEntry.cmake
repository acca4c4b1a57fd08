# Install step: writes the desktop entry with the paths of this installation. The prefix is known only when
# installing (cmake --install --prefix, CPack), so the entry is made here rather than at configure time.
# Expects TARNIX_DESKTOP_TEMPLATE; honours DESTDIR like the other install rules.

# A value of the desktop entry's string type: backslashes doubled.
function(desktop_string text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# One argument of an Exec line: quoted when it holds a character that the desktop entry format reserves,
# with '"', '`', '$' and '\' escaped inside the quotes; '%' doubled in any case.
function(exec_argument text out)
  if(text MATCHES "[] \t\n\"'\\\\><~|&;$*?#()`[]")
    string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" text "${text}")
    set(text "\"${text}\"")
  endif()
  string(REPLACE "%" "%%" text "${text}")
  desktop_string("${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

exec_argument("${CMAKE_INSTALL_PREFIX}/bin/TarnixProgrammer" TARNIX_EXEC)
desktop_string("${CMAKE_INSTALL_PREFIX}/lib/tarnix-programmer" TARNIX_PATH)

set(entry "${CMAKE_INSTALL_PREFIX}/share/applications/tarnix-programmer.desktop")
message(STATUS "Installing: $ENV{DESTDIR}${entry}")
configure_file("${TARNIX_DESKTOP_TEMPLATE}" "$ENV{DESTDIR}${entry}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
