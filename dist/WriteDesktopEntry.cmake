# Runs at install time: writes share/applications/varnelo.desktop from
# varnelo.desktop.in with the installed program's full path in Exec.
set(_bin "${CMAKE_INSTALL_PREFIX}/${VARNELO_BINDIR}/varnelo")
# Exec: one quoted argument; inside the quotes ", `, $ and \ take a backslash,
# and % is doubled.
set(_exec "${_bin}")
string(REPLACE "\\" "\\\\" _exec "${_exec}")
string(REPLACE "\"" "\\\"" _exec "${_exec}")
string(REPLACE "`" "\\`" _exec "${_exec}")
string(REPLACE "$" "\\$" _exec "${_exec}")
string(REPLACE "%" "%%" _exec "${_exec}")
set(_exec "\"${_exec}\"")
# Both keys are strings, whose own escapes apply first when they are read.
string(REPLACE "\\" "\\\\" VARNELO_EXEC "${_exec}")
string(REPLACE "\\" "\\\\" VARNELO_TRYEXEC "${_bin}")
file(READ "${VARNELO_DESKTOP_IN}" _text)
string(CONFIGURE "${_text}" _text @ONLY)
set(_entry "${CMAKE_INSTALL_PREFIX}/${VARNELO_DATADIR}/applications/varnelo.desktop")
message(STATUS "Installing: $ENV{DESTDIR}${_entry}")
file(WRITE "$ENV{DESTDIR}${_entry}" "${_text}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_entry}")
