# The parameter schemas are every core/schemas/tnxp_serialization_<major>_<minor>.fbs; adding a version is
# adding its file. Included by the build and by the scripts that embed the schema texts.

# tarnix_parameter_schemas(<folder> <out-var>): the schema files of a folder, oldest version first (the
# numbers compare as numbers, so 1_10 follows 1_9). A file whose version marker names another version than
# its file name stops the build.
function(tarnix_parameter_schemas folder out_var)
  if(CMAKE_SCRIPT_MODE_FILE)
    file(GLOB files ${folder}/tnxp_serialization_*.fbs)
  else()
    # A schema file added or removed configures the build again.
    file(GLOB files CONFIGURE_DEPENDS ${folder}/tnxp_serialization_*.fbs)
  endif()
  set(keyed)
  foreach(file IN LISTS files)
    tarnix_schema_version(${file} major minor)
    file(STRINGS ${file} marker REGEX "Schema Version: " LIMIT_COUNT 1)
    if(NOT marker MATCHES "Schema Version: ${major}\\.${minor}([^0-9]|$)")
      message(FATAL_ERROR "${file}: its version marker does not say ${major}.${minor}")
    endif()
    # Zero-padded so that sorting the texts sorts the numbers.
    math(EXPR key "${major} * 100000 + ${minor} + 1000000000")
    list(APPEND keyed "${key}|${file}")
  endforeach()
  if(NOT keyed)
    message(FATAL_ERROR "no parameter schema in ${folder}")
  endif()
  list(SORT keyed)
  list(TRANSFORM keyed REPLACE "^[^|]*\\|" "")
  set(${out_var} ${keyed} PARENT_SCOPE)
endfunction()

# tarnix_schema_version(<file> <major-var> <minor-var>): the version a schema file's name gives.
function(tarnix_schema_version file major_var minor_var)
  get_filename_component(name ${file} NAME)
  if(NOT name MATCHES "^tnxp_serialization_([0-9]+)_([0-9]+)\\.fbs$")
    message(FATAL_ERROR "${file}: not named tnxp_serialization_<major>_<minor>.fbs")
  endif()
  math(EXPR major "${CMAKE_MATCH_1}")
  math(EXPR minor "${CMAKE_MATCH_2}")
  if(major GREATER 9999 OR minor GREATER 99999)
    message(FATAL_ERROR "${file}: version number out of range")
  endif()
  set(${major_var} ${major} PARENT_SCOPE)
  set(${minor_var} ${minor} PARENT_SCOPE)
endfunction()

# tarnix_latest_parameter_schema(<folder> <out-var>): the schema file of the highest version.
function(tarnix_latest_parameter_schema folder out_var)
  tarnix_parameter_schemas(${folder} schemas)
  list(GET schemas -1 latest)
  set(${out_var} ${latest} PARENT_SCOPE)
endfunction()
