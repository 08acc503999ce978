# SPDX-License-Identifier: MIT
# Writes the bytes of INPUT into OUTPUT as a C++ array named SYMBOL.
file(READ ${INPUT} bytes HEX)
string(LENGTH "${bytes}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated from ${INPUT}; do not edit.\n"
"namespace vela {\n"
"extern const unsigned char ${SYMBOL}[];\n"
"extern const unsigned long ${SYMBOL}Size;\n"
"const unsigned char ${SYMBOL}[] = {\n${bytes}};\n"
"const unsigned long ${SYMBOL}Size = ${size};\n"
"} // namespace vela\n")
