# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) after it has installed the package's files into
# its staging folder and before it zips them: signs the staged quillfix.exe with
# Authenticode (osslsigncode) when a certificate is given. The build tree's program is
# never touched, so an unsigned package built later, or an incremental build, sees the
# program the linker wrote.
#   QUILLFIX_SIGN_PKCS12          the certificate and its private key (PKCS#12 file)
#   QUILLFIX_SIGN_PASSWORD        its password (may be empty)
#   QUILLFIX_SIGN_TIMESTAMP_URL   an RFC 3161 timestamp server (optional)
# A signing that fails stops the packaging: no zip is written rather than an unsigned one.
if("$ENV{QUILLFIX_SIGN_PKCS12}" STREQUAL "")
  return()
endif()

set(staged "${CPACK_TEMPORARY_DIRECTORY}/quillfix.exe")
if(NOT EXISTS "${staged}")
  message(FATAL_ERROR "quillfix_sign: no staged quillfix.exe in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "quillfix_sign: osslsigncode is not installed (scripts/bootstrap installs it)")
endif()

# The password goes through a file in a folder only this user can read, never on a
# command line that other processes can see.
set(private "${CPACK_TOPLEVEL_DIRECTORY}/quillfix_sign")
file(REMOVE_RECURSE "${private}")
file(MAKE_DIRECTORY "${private}")
file(CHMOD "${private}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(WRITE "${private}/password" "$ENV{QUILLFIX_SIGN_PASSWORD}")

set(timestamp)
if(NOT "$ENV{QUILLFIX_SIGN_TIMESTAMP_URL}" STREQUAL "")
  set(timestamp -ts "$ENV{QUILLFIX_SIGN_TIMESTAMP_URL}")
endif()
execute_process(
  COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "$ENV{QUILLFIX_SIGN_PKCS12}" -readpass "${private}/password" -h sha256
          -n "Quillfix ${CPACK_PACKAGE_VERSION}" ${timestamp} -in "${staged}" -out "${private}/quillfix.exe"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE "${private}/password")
if(NOT result EQUAL 0)
  file(REMOVE_RECURSE "${private}")
  message(FATAL_ERROR "quillfix_sign: osslsigncode failed (${result}):\n${output}")
endif()
file(RENAME "${private}/quillfix.exe" "${staged}")
file(REMOVE_RECURSE "${private}")
