# tarnix_glob_library(<name> <STATIC|SHARED> <folder>): a library made of every .cpp in a folder. While the
# folder holds no source yet, the target is an interface library so that dependants still configure.
function(tarnix_glob_library name kind folder)
  file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  if(sources)
    add_library(${name} ${kind} ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
  endif()
endfunction()
