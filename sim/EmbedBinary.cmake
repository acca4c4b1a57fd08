# Writes a C++ source that holds a binary file as a byte array.
# Called with -DINPUT=<file> -DOUTPUT=<file.cpp> -DHEADER=<include path> -DSYMBOL=<name> [-DMAX_SIZE=<bytes>].
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
  message(FATAL_ERROR "${INPUT} is empty")
endif()
if(DEFINED MAX_SIZE AND size GREATER MAX_SIZE)
  message(FATAL_ERROR "${INPUT} has ${size} bytes, more than ${MAX_SIZE}")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from ${INPUT}; do not edit.
#include \"${HEADER}\"

namespace tarnix::sim {

const std::uint8_t ${SYMBOL}[] = {
    ${bytes}
};
const std::size_t ${SYMBOL}Size = ${size};

}  // namespace tarnix::sim
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
