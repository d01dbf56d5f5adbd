# Fails when a library source or header declares implicit thread storage: built with
# MSVC into a DLL that XP or Server 2003 loads with LoadLibrary, its first use faults.
# Per-thread state goes through qrv/include/internal/qrv_thread_slot.h (TlsAlloc).
# Usage: cmake -DQRV_SOURCE_DIR=<qrv> -P qrv_thread_storage_check.cmake
file(GLOB_RECURSE sources ${QRV_SOURCE_DIR}/*.cpp ${QRV_SOURCE_DIR}/*.h)
list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "no sources under ${QRV_SOURCE_DIR}")
endif()
set(found "")
foreach(source ${sources})
  file(STRINGS ${source} hits REGEX "thread_local|__declspec[ \t]*\\([ \t]*thread[ \t]*\\)")
  foreach(hit ${hits})
    string(APPEND found "\n  ${source}: ${hit}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "implicit thread storage in the library:${found}")
endif()
message(STATUS "${count} library files, none with implicit thread storage")
