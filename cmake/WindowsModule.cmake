# Cross build of the module for a 32-bit Windows Python 2.7 (tallowfit.pyd), made
# by scripts/platform/windows.sh. No interpreter can be asked here, so the headers
# (CPython's Include/ with the Windows PC/pyconfig.h) and the import library of
# python27.dll (made from cmake/python27.def) are given.
set(TALLOWFIT_WINDOWS_PYTHON_INCLUDE "" CACHE PATH "Windows Python 2.7 headers (Include/ and PC/pyconfig.h)")
set(TALLOWFIT_WINDOWS_PYTHON_LIBRARY "" CACHE FILEPATH "Import library of python27.dll")
if(NOT EXISTS "${TALLOWFIT_WINDOWS_PYTHON_INCLUDE}/Python.h"
   OR NOT EXISTS "${TALLOWFIT_WINDOWS_PYTHON_INCLUDE}/pyconfig.h"
   OR NOT EXISTS "${TALLOWFIT_WINDOWS_PYTHON_LIBRARY}")
  message(FATAL_ERROR "tallowfit: the Windows module needs TALLOWFIT_WINDOWS_PYTHON_INCLUDE "
    "(with Python.h and pyconfig.h) and TALLOWFIT_WINDOWS_PYTHON_LIBRARY; scripts/platform/windows.sh sets both")
endif()

add_library(tallowfit_win32 MODULE ${TALLOWFIT_MODULE_SOURCES})
target_include_directories(tallowfit_win32 PRIVATE src)
target_include_directories(tallowfit_win32 SYSTEM PRIVATE "${TALLOWFIT_WINDOWS_PYTHON_INCLUDE}")
target_link_libraries(tallowfit_win32 PRIVATE tallowfit_core "${TALLOWFIT_WINDOWS_PYTHON_LIBRARY}")
# python.exe ships no MinGW runtime DLLs: libgcc and libstdc++ go into the module.
target_link_options(tallowfit_win32 PRIVATE -static-libgcc -static-libstdc++)
set_target_properties(tallowfit_win32 PROPERTIES
  PREFIX "" OUTPUT_NAME tallowfit SUFFIX ".pyd"
  LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/py2")
message(STATUS "tallowfit: Windows py2 module -> ${CMAKE_BINARY_DIR}/py2/tallowfit.pyd")
