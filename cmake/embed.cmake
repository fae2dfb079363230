# Writes the bytes of IN as a C++ array in OUT (the program's resources).
file(READ ${IN} _hex HEX)
string(LENGTH "${_hex}" _len)
math(EXPR _bytes "${_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _arr "${_hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" _arr "${_arr}")
file(WRITE ${OUT} "// Generated from the compiled resource script; do not edit.\n#include <cstddef>\nextern \"C\" const unsigned char g_ceResourceData[] = {\n${_arr}\n};\nextern \"C\" const size_t g_ceResourceSize = ${_bytes};\n")
