# The schema list the build derives from a folder: versions in numeric order, the latest the highest, and a
# file whose version marker disagrees with its name refused. Called with -DMODULE=<ParameterSchemas.cmake>
# -DWORK_DIR=<scratch folder>.
include(${MODULE})

function(write_schema folder major minor marker)
  file(WRITE ${folder}/tnxp_serialization_${major}_${minor}.fbs "// Schema Version: ${marker}\ntable A {}\n")
endfunction()

function(expect_equal what actual expected)
  if(NOT "${actual}" STREQUAL "${expected}")
    message(FATAL_ERROR "${what}: got '${actual}', expected '${expected}'")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(folder ${WORK_DIR}/ordered)
foreach(version 1_10 2_0 1_0 1_9 1_2)
  string(REPLACE "_" ";" parts ${version})
  list(GET parts 0 major)
  list(GET parts 1 minor)
  write_schema(${folder} ${major} ${minor} "${major}.${minor}")
endforeach()

tarnix_parameter_schemas(${folder} schemas)
list(TRANSFORM schemas REPLACE "^.*/tnxp_serialization_" "")
expect_equal("order" "${schemas}" "1_0.fbs;1_2.fbs;1_9.fbs;1_10.fbs;2_0.fbs")
tarnix_latest_parameter_schema(${folder} latest)
expect_equal("latest" "${latest}" "${folder}/tnxp_serialization_2_0.fbs")

# A marker that names another version stops the list: run in a process of its own, which must fail.
set(mismatched ${WORK_DIR}/mismatched)
write_schema(${mismatched} 1 2 "1.1")
file(WRITE ${WORK_DIR}/list.cmake "include(${MODULE})\ntarnix_parameter_schemas(${mismatched} schemas)\n")
execute_process(COMMAND ${CMAKE_COMMAND} -P ${WORK_DIR}/list.cmake RESULT_VARIABLE result ERROR_VARIABLE error)
if(result EQUAL 0 OR NOT error MATCHES "does not say 1.2")
  message(FATAL_ERROR "a mismatched version marker was accepted: ${error}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
