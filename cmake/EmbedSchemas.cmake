# Writes the parameter schema texts as constant strings (a C++ source) and their list (a header), oldest
# version first. Called with -DSCHEMA_DIR=<folder> -DOUTPUT=<file.cpp> -DHEADER=<file.h>.
include(${CMAKE_CURRENT_LIST_DIR}/ParameterSchemas.cmake)
tarnix_parameter_schemas(${SCHEMA_DIR} schemas)

set(delimiter "TNXPFBS")
set(declarations "")
set(definitions "")
set(names "")
foreach(schema IN LISTS schemas)
  # The program reads a schema text's version as one digit each for major and minor.
  tarnix_schema_version(${schema} major minor)
  if(major GREATER 9 OR minor GREATER 9)
    message(FATAL_ERROR "${schema}: the program reads versions of one digit each")
  endif()
  file(READ ${schema} text)
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${schema}: schema text contains the raw-string delimiter")
  endif()
  get_filename_component(name ${schema} NAME_WE)
  string(TOUPPER "${name}_FBS" symbol)
  string(APPEND declarations "extern const char ${symbol}[];\n")
  string(APPEND definitions "const char ${symbol}[] = R\"${delimiter}(${text})${delimiter}\";\n")
  list(APPEND names ${symbol})
endforeach()
list(LENGTH schemas count)
list(GET schemas -1 latest)
tarnix_schema_version(${latest} latest_major latest_minor)
list(JOIN names ", " list)

# Written only when the text changes, so that an edited schema does not rebuild every user of the header.
function(write_if_changed path content)
  file(WRITE "${path}.tmp" "${content}")
  file(COPY_FILE "${path}.tmp" "${path}" ONLY_IF_DIFFERENT)
  file(REMOVE "${path}.tmp")
endfunction()

write_if_changed(${HEADER}
"// Generated at build time from core/schemas/*.fbs; do not edit.
#pragma once

#include <cstddef>

constexpr std::size_t FLATBUFFER_SCHEMA_COUNT = ${count};
constexpr int LATEST_SCHEMA_MAJOR = ${latest_major};
constexpr int LATEST_SCHEMA_MINOR = ${latest_minor};

${declarations}")

write_if_changed(${OUTPUT}
"// Generated at build time from core/schemas/*.fbs; do not edit.
#include \"core/FlatbufferSchemas.h\"

${definitions}
const char* const FLATBUFFER_SCHEMAS[FLATBUFFER_SCHEMA_COUNT] = {${list}};
")
