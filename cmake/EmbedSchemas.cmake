# Writes a C++ source that holds the parameter schema texts as constant strings.
# Called with -DOUTPUT=<file.cpp> -DSCHEMA_1_0=<file> -DSCHEMA_1_1=<file>.
file(READ "${SCHEMA_1_0}" text_1_0)
file(READ "${SCHEMA_1_1}" text_1_1)
set(delimiter "TNXPFBS")
foreach(text IN ITEMS "${text_1_0}" "${text_1_1}")
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "schema text contains the raw-string delimiter")
  endif()
endforeach()
file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from core/schemas/*.fbs; do not edit.
#include \"core/FlatbufferSchemas.h\"

const char TNXP_SERIALIZATION_1_0_FBS[] = R\"${delimiter}(${text_1_0})${delimiter}\";
const char TNXP_SERIALIZATION_1_1_FBS[] = R\"${delimiter}(${text_1_1})${delimiter}\";

const char* const FLATBUFFER_SCHEMAS[FLATBUFFER_SCHEMA_COUNT] = {TNXP_SERIALIZATION_1_0_FBS, TNXP_SERIALIZATION_1_1_FBS};
const std::size_t FLATBUFFER_SCHEMA_SIZES[FLATBUFFER_SCHEMA_COUNT] = {sizeof(TNXP_SERIALIZATION_1_0_FBS) - 1,
                                                                     sizeof(TNXP_SERIALIZATION_1_1_FBS) - 1};
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
