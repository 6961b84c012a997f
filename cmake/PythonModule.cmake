# Builds the extension module once for each configured interpreter, each into its
# own folder: build/py2/tallowfit.so, build/py3/tallowfit<EXT_SUFFIX>, and for
# every interpreter of TALLOWFIT_EXTRA_PYTHONS build/pyXY/ (py37 .. py313); for
# a Python 3 interpreter also the companion package's array engine beside it,
# _curvefits_engine<EXT_SUFFIX>, from the same core.
set(TALLOWFIT_MODULE_SOURCES
  src/module/module_frame.cpp
  src/module/roots_entry.cpp
  src/module/fit_entries.cpp
  src/module/tallowfit_module.cpp
  src/module/python_objects.cpp
)
# The engine's second thread: with a C library before 2.34, std::thread needs
# the threads library linked, or refuses to start one.
find_package(Threads REQUIRED)
set(TALLOWFIT_ENGINE_SOURCES
  src/module/module_frame.cpp
  src/module/roots_entry.cpp
  src/module/python_objects.cpp
  src/module/engine_objects.cpp
  src/module/buffer_reading.cpp
  src/module/engine_frame.cpp
  src/module/report_objects.cpp
  src/module/engine_module.cpp
  ${TALLOWFIT_SHARING_SOURCES}
)

# One extension target: name is the module's, map the linker script that
# leaves only its init function exported.
function(tallowfit_add_extension target name tag include suffix debug map sources)
  add_library(${target} MODULE ${sources})
  target_include_directories(${target} PRIVATE src)
  # As a system directory: the Python 2.7 headers use 'register', which C++17
  # warns about, and warnings are errors under CI.
  target_include_directories(${target} SYSTEM PRIVATE "${include}")
  target_link_libraries(${target} PRIVATE ${ARGN})
  # Debian's debug include folders hold links to the release headers, whose
  # pyconfig.h is the release one: the debug ABI (reference totals, and on
  # Python 2.7 the traced object header) has to be asked for here.
  if(debug)
    target_compile_definitions(${target} PRIVATE Py_DEBUG=1)
  endif()
  # Only the init function leaves the module, whatever the headers instantiate.
  target_link_options(${target} PRIVATE "-Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/${map}")
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${name} SUFFIX "${suffix}"
    LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/${tag}"
    LINK_DEPENDS "${PROJECT_SOURCE_DIR}/cmake/${map}")
endfunction()
set(TALLOWFIT_BUILT_PYTHONS "")

set(TALLOWFIT_EXTRA_PYTHONS "" CACHE STRING "More CPython 3 interpreters to build for (a list), each into build/pyXY")

# TAG "auto" names the module pyXY after the interpreter's version.
function(tallowfit_add_module tag interpreter)
  # An empty interpreter path asks for no module of this kind (e.g. a 32-bit
  # userland that has only python2.7): not an error even when all are required.
  if("${interpreter}" STREQUAL "")
    message(STATUS "tallowfit: no ${tag} module (no interpreter configured)")
    return()
  endif()
  if(NOT EXISTS "${interpreter}")
    set(_why "interpreter '${interpreter}' not found")
  else()
    # INCLUDEPY, not the install scheme's include path: Debian's python2.7
    # reports /usr/local/include there, where no headers are. A debug
    # python2.7 has no EXT_SUFFIX and looks for its own ABI's modules as _d.so.
    execute_process(
      COMMAND "${interpreter}" -c "import sysconfig,sys; print(sysconfig.get_config_var('INCLUDEPY')); print(sysconfig.get_config_var('EXT_SUFFIX') or ('_d.so' if hasattr(sys, 'gettotalrefcount') else '.so')); print(sys.version_info[0]); print(int(hasattr(sys, 'gettotalrefcount'))); print('py%d%d' % sys.version_info[:2]); print('%d.%d.%d' % sys.version_info[:3])"
      OUTPUT_VARIABLE _out RESULT_VARIABLE _rc OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT _rc EQUAL 0)
      set(_why "'${interpreter}' did not answer")
    else()
      string(REPLACE "\n" ";" _out "${_out}")
      list(GET _out 0 _include)
      list(GET _out 1 _suffix)
      list(GET _out 2 _major)
      list(GET _out 3 _debug)
      list(GET _out 5 _version)
      if(tag STREQUAL "auto")
        list(GET _out 4 tag)
      endif()
      if(NOT EXISTS "${_include}/Python.h")
        set(_why "no Python.h in ${_include} (install the -dev package)")
      endif()
    endif()
  endif()
  if(_why)
    if(TALLOWFIT_REQUIRE_ALL_PYTHONS)
      message(FATAL_ERROR "tallowfit: cannot build the ${tag} module: ${_why}")
    endif()
    message(WARNING "tallowfit: skipping the ${tag} module: ${_why}")
    return()
  endif()

  tallowfit_add_extension(tallowfit_${tag} tallowfit ${tag} "${_include}" "${_suffix}" ${_debug}
    module.map "${TALLOWFIT_MODULE_SOURCES}" ${ARGN})
  if(_major EQUAL 3)
    tallowfit_add_extension(curvefits_engine_${tag} _curvefits_engine ${tag} "${_include}"
      "${_suffix}" ${_debug} engine_module.map "${TALLOWFIT_ENGINE_SOURCES}" ${ARGN}
      Threads::Threads)
  endif()
  set(TALLOWFIT_${tag}_INTERPRETER "${interpreter}" PARENT_SCOPE)
  set(TALLOWFIT_${tag}_MAJOR "${_major}" PARENT_SCOPE)
  set(TALLOWFIT_${tag}_LABEL "python${_version}" PARENT_SCOPE)
  set(TALLOWFIT_BUILT_PYTHONS ${TALLOWFIT_BUILT_PYTHONS} ${tag} PARENT_SCOPE)
  message(STATUS "tallowfit: ${tag} module for ${interpreter} -> ${CMAKE_BINARY_DIR}/${tag}/tallowfit${_suffix}")
endfunction()

if(SKBUILD)
  # pip (scikit-build-core) builds the module for the interpreter that runs it
  # and nothing else, and installs it at the top of site-packages with its stub:
  # tallowfit.pyi beside the module, and a stub-only package for mypy, which
  # does not read a lone top-level .pyi from site-packages.
  set(TALLOWFIT_PYTHON3 "${Python_EXECUTABLE}")
  tallowfit_add_module(py3 "${TALLOWFIT_PYTHON3}" tallowfit_core)
  install(TARGETS tallowfit_py3 curvefits_engine_py3 LIBRARY DESTINATION .)
  install(FILES tallowfit.pyi DESTINATION .)
  install(FILES tallowfit.pyi DESTINATION tallowfit-stubs RENAME __init__.pyi)
else()
  tallowfit_add_module(py2 "${TALLOWFIT_PYTHON2}" tallowfit_core)
  tallowfit_add_module(py3 "${TALLOWFIT_PYTHON3}" tallowfit_core)
  foreach(_interpreter ${TALLOWFIT_EXTRA_PYTHONS})
    tallowfit_add_module(auto "${_interpreter}" tallowfit_core)
  endforeach()
endif()

# Test variants of the module, one per interpreter, into build/<tag>-faults/:
# linked with the fault-injecting core and given the control functions
# _setFault, _faultCount and _storageOutstanding, so that a test can make a
# chosen object creation, storage allocation or vector growth of a call fail.
# The normal module above is built without any of it. Debug interpreters
# (TALLOWFIT_PYTHON2_DEBUG, TALLOWFIT_PYTHON3_DEBUG, empty: none) get only this
# variant, for the reference-count checks of every path.
option(TALLOWFIT_FAULT_INJECTION_MODULE "Build the fault-injection test variants of the module" OFF)
set(TALLOWFIT_PYTHON2_DEBUG "" CACHE FILEPATH "Debug Python 2.7 interpreter for the fault-injection variant (empty: none)")
set(TALLOWFIT_PYTHON3_DEBUG "" CACHE FILEPATH "Debug Python 3 interpreter for the fault-injection variant (empty: none)")
set(TALLOWFIT_FAULT_PYTHONS "")

# A macro, so that what tallowfit_add_module sets for its caller lands here;
# the variant stays out of TALLOWFIT_BUILT_PYTHONS, whose suite checks the
# module's exports.
macro(tallowfit_add_fault_module tag interpreter)
  set(_built_before "${TALLOWFIT_BUILT_PYTHONS}")
  tallowfit_add_module(${tag} "${interpreter}" tallowfit_core_testing)
  set(TALLOWFIT_BUILT_PYTHONS "${_built_before}")
  foreach(_target tallowfit_${tag} curvefits_engine_${tag})
    if(TARGET ${_target})
      target_sources(${_target} PRIVATE src/module/fault_injection.cpp)
      target_compile_definitions(${_target} PRIVATE TALLOWFIT_MODULE_FAULTS=1)
    endif()
  endforeach()
  if(TARGET tallowfit_${tag})
    list(APPEND TALLOWFIT_FAULT_PYTHONS ${tag})
  endif()
endmacro()

if(TALLOWFIT_FAULT_INJECTION_MODULE AND NOT SKBUILD)
  tallowfit_add_fault_module(py2-faults "${TALLOWFIT_PYTHON2}")
  tallowfit_add_fault_module(py3-faults "${TALLOWFIT_PYTHON3}")
  tallowfit_add_fault_module(py2-dbg-faults "${TALLOWFIT_PYTHON2_DEBUG}")
  tallowfit_add_fault_module(py3-dbg-faults "${TALLOWFIT_PYTHON3_DEBUG}")
endif()
