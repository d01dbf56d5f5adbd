# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) after it has installed the package's files into
# its staging folder and before it zips them: signs the staged quillfix.exe with
# Authenticode (osslsigncode) when a certificate is given. The build tree's program is
# never touched, so an unsigned package built later, or an incremental build, sees the
# program the linker wrote.
#   QUILLFIX_SIGN_PKCS12          the certificate and its private key (PKCS#12 file)
#   QUILLFIX_SIGN_PASSWORD_FILE   a file holding its password (scripts/package makes
#                                 one and removes it on every way out); without it,
#   QUILLFIX_SIGN_PASSWORD        its password (may be empty), written to a file here
#   QUILLFIX_SIGN_TIMESTAMP_URL   a timestamp server (optional)
#   QUILLFIX_SIGN_TIMEOUT         seconds each signing step may take (default 300)
# Two signatures: SHA-1 first, which XP before SP3 and Server 2003 without an update can
# check, then a SHA-256 one nested in it for every later Windows. With a timestamp URL
# the first gets an Authenticode timestamp (-t), the nested one an RFC 3161 one (-ts).
# A signing that fails or runs out of time stops the packaging: no zip is written
# rather than an unsigned one.
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
set(limit "$ENV{QUILLFIX_SIGN_TIMEOUT}")
if(limit STREQUAL "")
  set(limit 300)
endif()

# The password goes through a file in a folder only this user can read, never on a
# command line that other processes can see.
set(private "${CPACK_TOPLEVEL_DIRECTORY}/quillfix_sign")
file(REMOVE_RECURSE "${private}")
file(MAKE_DIRECTORY "${private}")
file(CHMOD "${private}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(password "$ENV{QUILLFIX_SIGN_PASSWORD_FILE}")
if(password STREQUAL "")
  set(password "${private}/password")
  file(WRITE "${password}" "$ENV{QUILLFIX_SIGN_PASSWORD}")
endif()

set(sha1_timestamp)
set(sha256_timestamp)
if(NOT "$ENV{QUILLFIX_SIGN_TIMESTAMP_URL}" STREQUAL "")
  set(sha1_timestamp -t "$ENV{QUILLFIX_SIGN_TIMESTAMP_URL}")
  set(sha256_timestamp -ts "$ENV{QUILLFIX_SIGN_TIMESTAMP_URL}")
endif()
set(common -pkcs12 "$ENV{QUILLFIX_SIGN_PKCS12}" -readpass "${password}" -n "Quillfix ${CPACK_PACKAGE_VERSION}")
set(failure "")
# One signing step under the time limit; the first failure is kept in `failure`.
function(quillfix_sign_step)
  if(failure)
    return()
  endif()
  execute_process(COMMAND "${OSSLSIGNCODE}" sign ${common} ${ARGN}
                  TIMEOUT ${limit} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    set(failure "osslsigncode sign ${ARGN} did not succeed within ${limit} s (${result}):\n${output}" PARENT_SCOPE)
  endif()
endfunction()
quillfix_sign_step(-h sha1 ${sha1_timestamp} -in "${staged}" -out "${private}/sha1.exe")
quillfix_sign_step(-nest -h sha256 ${sha256_timestamp} -in "${private}/sha1.exe" -out "${private}/quillfix.exe")
if(password STREQUAL "${private}/password")
  file(REMOVE "${password}")
endif()
if(failure)
  file(REMOVE_RECURSE "${private}")
  message(FATAL_ERROR "quillfix_sign: ${failure}")
endif()
file(RENAME "${private}/quillfix.exe" "${staged}")
file(REMOVE_RECURSE "${private}")
