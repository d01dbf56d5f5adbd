// CQRVLogRecord: the one record every log object carries, and the constants that
// describe it (kinds, result types, detail flags, output bits).
#pragma once

#include <string>

// Kinds: single bits, printed by name in the log file ("CRITICAL" ... "FAILURE").
enum QRVLogKind : int {
    lkCritical     = 0x001,
    lkExceptionBad = 0x002,
    lkExceptionOk  = 0x004,
    lkError        = 0x008,
    lkWarning      = 0x010,
    lkDebug        = 0x020,
    lkInformation  = 0x040,
    lkNotification = 0x080,
    lkEntry        = 0x100,
    lkExit         = 0x200,
    lkSuccess      = 0x400,
    lkFailure      = 0x800
};

// How resultValue is shown.
enum QRVResultType : int {
    RESULT_ERROR_CODE  = 0,
    RESULT_PASS_FAIL   = 1,
    RESULT_LOGICAL     = 2,
    RESULT_RETURN_CODE = 3
};

// Detail-mask flags that narrow which EXIT records are written.
enum QRVDetailFlag : unsigned short {
    DETAIL_EXIT_NONZERO_ERRORS = 0x1000,
    DETAIL_EXIT_FAILED_ONLY    = 0x2000,
    DETAIL_EXIT_FALSE_ONLY     = 0x4000
};

// Output bits of a log object's outputMask.
enum QRVOutputBit : unsigned short {
    OUTPUT_TEXT    = 0x01,
    OUTPUT_XML     = 0x02,
    OUTPUT_SERVER  = 0x04,
    OUTPUT_HTML    = 0x08,
    OUTPUT_UNKNOWN = 0x20
};

// The name the text output prints for a kind; "UNSPECIFIED" for anything else.
const wchar_t* qrvKindName(int kind);

// Every text is owned by the record; an empty text counts as absent.
struct CQRVLogRecord {
    int kind = 0;
    std::wstring message;
    std::wstring moduleName;
    std::wstring logFilePath;
    int resultType = RESULT_ERROR_CODE;
    int resultValue = 0;
    std::wstring objectName;
    std::wstring functionName;
    std::wstring sourceFile;
    int line = 0;
};

// Copies a C text into a record field; a null text or a failed copy leaves the
// field absent (logging must never throw).
void qrvAssignText(std::wstring& field, const wchar_t* text) noexcept;
