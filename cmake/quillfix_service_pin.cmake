# Writes the header that pins the service program into quillfix.exe, and the
# administrators' readme that names it (run by the build, see patch/CMakeLists.txt,
# whenever the program file or the setting changes):
#   cmake -DPIN_FILE=<qrv_reg_monitor_svc.exe or empty> -DOUTPUT=<header>
#         -DREADME_IN=<readme, version filled in> -DREADME_OUT=<readme> -P quillfix_service_pin.cmake
# The fingerprints are written as the program computes them ("sha256:<hex>",
# "sha1:<hex>", lower-case hex); an empty PIN_FILE writes empty ones: no pin.
set(sha256 "")
set(sha1 "")
set(size 0)
if(NOT PIN_FILE STREQUAL "")
  if(NOT EXISTS "${PIN_FILE}" OR IS_DIRECTORY "${PIN_FILE}")
    message(FATAL_ERROR "quillfix_service_pin: no service program ${PIN_FILE}")
  endif()
  file(SHA256 "${PIN_FILE}" sha256)
  file(SHA1 "${PIN_FILE}" sha1)
  file(SIZE "${PIN_FILE}" size)
  set(sha256 "sha256:${sha256}")
  set(sha1 "sha1:${sha1}")
  if(size EQUAL 0)
    message(FATAL_ERROR "quillfix_service_pin: ${PIN_FILE} is empty")
  endif()
endif()
file(WRITE "${OUTPUT}" "// Written by cmake/quillfix_service_pin.cmake from QUILLFIX_SERVICE_PIN (${PIN_FILE}).
#pragma once
#define QUILLFIX_SERVICE_PIN_SHA256 L\"${sha256}\"
#define QUILLFIX_SERVICE_PIN_SHA1 L\"${sha1}\"
#define QUILLFIX_SERVICE_PIN_SIZE ${size}ULL
")

# The readme's "what this package holds" paragraph.
if(PIN_FILE STREQUAL "")
  set(QUILLFIX_PACKAGE_CONTENTS "  This package holds quillfix.exe and this file only: it is not complete.")
else()
  string(SUBSTRING "${sha256}" 7 -1 sha256_hex)
  string(SUBSTRING "${sha1}" 5 -1 sha1_hex)
  set(QUILLFIX_PACKAGE_CONTENTS "  This package is complete: it holds quillfix.exe, this file and the new
  service program qrv_reg_monitor_svc.exe, whose fingerprints quillfix.exe
  carries inside its signature:
      SHA-256  ${sha256_hex}
      SHA-1    ${sha1_hex}
      size     ${size} bytes")
endif()
# Windows line ends throughout, the paragraph's own included (configure_file's
# NEWLINE_STYLE converts only the template's).
configure_file("${README_IN}" "${README_OUT}" @ONLY)
file(READ "${README_OUT}" readme)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE "${README_OUT}" "${readme}")
