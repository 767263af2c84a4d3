# Run by the test "module_globals": cmake -DSOURCE_ROOT=<src> -P check_module_globals.cmake
# Module globals live in never-destroyed storage (the exit rule in runtime/module.h), so that no
# static destructor releases a framework object after the exit functions. Fails, naming file and
# line, for a global, a static local or a static member that holds a Ref, String or Array
# directly. (Values inside containers are not seen; keep those in NeverDestroyed too.)
cmake_minimum_required(VERSION 3.25)

set(type "(Ref<[^;()]*>|String|Array<[^;()]*>)")
set(init "( *=[^;]*| *\\{[^;]*\\})?;")
set(global "^(static |extern |inline )*(const )?${type} +[A-Za-z_][A-Za-z_0-9]*${init}")
set(local_static "^[ \t]+(static |thread_local )+(const )?${type} +[A-Za-z_][A-Za-z_0-9]*${init}")

set(violations 0)
file(GLOB_RECURSE sources RELATIVE ${SOURCE_ROOT} ${SOURCE_ROOT}/*.h ${SOURCE_ROOT}/*.cpp)
foreach(source ${sources})
  file(STRINGS ${SOURCE_ROOT}/${source} lines REGEX "${global}|${local_static}")
  foreach(line ${lines})
    message(SEND_ERROR "src/${source}: destroyed at exit, use NeverDestroyed: ${line}")
    math(EXPR violations "${violations} + 1")
  endforeach()
endforeach()
list(LENGTH sources count)
message(STATUS "${count} files checked, ${violations} globals destroyed at exit")
