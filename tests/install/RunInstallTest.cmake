# Installs the qmxml build QMXML_BUILD_DIR into a prefix under
# QMXML_WORK_DIR, configures and builds the example project
# QMXML_EXAMPLE_DIR against it with find_package(qmxml), runs the example
# and checks what it wrote and stored, and (given QMXML_README) that the
# README quotes the example as it stands.
#   cmake -DQMXML_BUILD_DIR=... -DQMXML_EXAMPLE_DIR=... -DQMXML_WORK_DIR=... -P RunInstallTest.cmake
foreach(var QMXML_BUILD_DIR QMXML_EXAMPLE_DIR QMXML_WORK_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(prefix ${QMXML_WORK_DIR}/prefix)
set(build ${QMXML_WORK_DIR}/build)
set(run ${QMXML_WORK_DIR}/run)
file(REMOVE_RECURSE ${QMXML_WORK_DIR})
file(MAKE_DIRECTORY ${run})

function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

step("install" ${CMAKE_COMMAND} --install ${QMXML_BUILD_DIR} --prefix ${prefix})
foreach(installed include/qmxml/Mover.h include/qmxml/Connection.h)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "the install lacks ${installed}")
  endif()
endforeach()

# Only the install prefix is searched for qmxml: the build tree must not leak in.
step("configure" ${CMAKE_COMMAND} -S ${QMXML_EXAMPLE_DIR} -B ${build}
     -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix}
     -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
step("build" ${CMAKE_COMMAND} --build ${build})
step("the example" ${build}/qmxml_example ${run})
message(STATUS "example: ${step_output}")

set(guid "{6F9619FF-8B86-D011-B42D-00C04FC964FF}")
if(NOT step_output MATCHES "^project [0-9]+: Pump controller \\| PC \\| ${guid} \\| 2024-05-17 09:30:00\n$")
  message(FATAL_ERROR "unexpected output of the example: ${step_output}")
endif()
file(READ ${run}/project.xml xml)
string(FIND "${xml}" "<Project Name=\"Pump controller\" Description=\"Requirements of the pump\" Prefix=\"PC\"" at)
if(at EQUAL -1)
  message(FATAL_ERROR "project.xml does not hold the written row:\n${xml}")
endif()

# The README shows main.cpp as it stands.
if(QMXML_README)
  file(READ ${QMXML_EXAMPLE_DIR}/main.cpp example)
  file(READ ${QMXML_README} readme)
  string(FIND "${readme}" "```cpp\n${example}```\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the README does not quote tests/install/main.cpp as it stands")
  endif()
endif()
