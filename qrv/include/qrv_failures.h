// The concrete failure, warning and debug classes. Each differs from its base only in
// its constructor, which fixes the kind, the message and which record fields it fills.
// Messages with "%s" or "%d" places are filled from the arguments; a missing text
// argument is replaced by the class's fallback ("Unknown" unless noted).
//
// Constructor arguments: the message arguments, then the error or result code where
// the class records one, then object and method where the class records them, then
// sourceFile, line, outputMask, logNow and logAtDestruction. The defaults are the
// library's call-site defaults (text output, written at once, not at destruction).
#pragma once

#include "qrv_logging.h"

#define QRV_FAILURE_TAIL                                                                  \
    const wchar_t *sourceFile, int line, unsigned short outputMask = OUTPUT_TEXT,         \
        bool logNow = true, bool logAtDestruction = false

// ---- failures (CQRVLogException1) ---------------------------------------------------

class CQRVUnhandledExceptionException : public CQRVLogException1 {
public:
    CQRVUnhandledExceptionException(int code, QRV_FAILURE_TAIL) noexcept;
};

class CQRVBadArgException : public CQRVLogException1 {
public:
    CQRVBadArgException(const wchar_t* argName, const wchar_t* sentence, QRV_FAILURE_TAIL) noexcept;
};

class CQRVMemAllocException : public CQRVLogException1 {
public:
    CQRVMemAllocException(const wchar_t* variableName, QRV_FAILURE_TAIL) noexcept;
};

// Never written at construction; text output only.
class CQRVMemoryCopyException : public CQRVLogException1 {
public:
    CQRVMemoryCopyException(int errnoValue, const wchar_t* sourceFile, int line,
                            bool logAtDestruction = true) noexcept;
};

// Never written at construction; text output only.
class CQRVBufferInitException : public CQRVLogException1 {
public:
    CQRVBufferInitException(const wchar_t* sourceFile, int line, bool logAtDestruction = true) noexcept;
};

class CQRVIndexOutOfBoundsException : public CQRVLogException1 {
public:
    CQRVIndexOutOfBoundsException(QRV_FAILURE_TAIL) noexcept;
};

class CQRVUnknownVariableNameException : public CQRVLogException1 {
public:
    CQRVUnknownVariableNameException(QRV_FAILURE_TAIL) noexcept;
};

class CQRVWindowsOSInfoInitNeededException : public CQRVLogException1 {
public:
    CQRVWindowsOSInfoInitNeededException(QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegKeyInitException : public CQRVLogException1 {
public:
    CQRVRegKeyInitException(QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegEnumKeyException : public CQRVLogException1 {
public:
    CQRVRegEnumKeyException(const wchar_t* keyPath, int errorCode, const wchar_t* objectName,
                            const wchar_t* functionName, QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegEnumValueException : public CQRVLogException1 {
public:
    CQRVRegEnumValueException(const wchar_t* keyPath, int errorCode, const wchar_t* objectName,
                              const wchar_t* functionName, QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegKeyCreateException : public CQRVLogException1 {
public:
    CQRVRegKeyCreateException(const wchar_t* keyPath, int errorCode, const wchar_t* objectName,
                              const wchar_t* functionName, QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegSaveKeyException : public CQRVLogException1 {
public:
    CQRVRegSaveKeyException(const wchar_t* keyPath, int errorCode, const wchar_t* objectName,
                            const wchar_t* functionName, QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegRestoreKeyException : public CQRVLogException1 {
public:
    CQRVRegRestoreKeyException(const wchar_t* keyPath, int errorCode, const wchar_t* objectName,
                               const wchar_t* functionName, QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegQueryInfoKeyException : public CQRVLogException1 {
public:
    CQRVRegQueryInfoKeyException(const wchar_t* keyPath, int errorCode, QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegQueryMultipleValuesException : public CQRVLogException1 {
public:
    CQRVRegQueryMultipleValuesException(const wchar_t* keyPath, int errorCode, QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegValueSetException : public CQRVLogException1 {
public:
    CQRVRegValueSetException(const wchar_t* keyPath, const wchar_t* valueName, int errorCode,
                             const wchar_t* objectName, const wchar_t* functionName,
                             QRV_FAILURE_TAIL) noexcept;
};

// A file that could not be renamed (MoveFileExW), with the Windows error.
class CQRVMoveFileException : public CQRVLogException1 {
public:
    CQRVMoveFileException(const wchar_t* fromPath, const wchar_t* toPath, int errorCode, QRV_FAILURE_TAIL) noexcept;
};

// The privilege and profile failures are never written at destruction.
#define QRV_FAILURE_TAIL_NO_DESTRUCTION                                                   \
    const wchar_t *sourceFile, int line, unsigned short outputMask = OUTPUT_TEXT, bool logNow = true

class CQRVOpenProcessTokenException : public CQRVLogException1 {
public:
    CQRVOpenProcessTokenException(const wchar_t* handleName, int errorCode,
                                  QRV_FAILURE_TAIL_NO_DESTRUCTION) noexcept;
};

class CQRVLookupPrivilegeValueException : public CQRVLogException1 {
public:
    CQRVLookupPrivilegeValueException(const wchar_t* privilegeName, int errorCode,
                                      QRV_FAILURE_TAIL_NO_DESTRUCTION) noexcept;
};

class CQRVAdjustTokenPrivilegesException : public CQRVLogException1 {
public:
    CQRVAdjustTokenPrivilegesException(const wchar_t* handleName, int errorCode,
                                       QRV_FAILURE_TAIL_NO_DESTRUCTION) noexcept;
};

class CQRVWritePrivateProfileStringException : public CQRVLogException1 {
public:
    CQRVWritePrivateProfileStringException(const wchar_t* section, const wchar_t* keyName,
                                           int errorCode, QRV_FAILURE_TAIL_NO_DESTRUCTION) noexcept;
};

class CQRVWritePrivateProfileSectionException : public CQRVLogException1 {
public:
    CQRVWritePrivateProfileSectionException(const wchar_t* section, int errorCode,
                                            QRV_FAILURE_TAIL_NO_DESTRUCTION) noexcept;
};

class CQRVDirectoryInitException : public CQRVLogException1 {
public:
    CQRVDirectoryInitException(QRV_FAILURE_TAIL) noexcept;
};

class CQRVSIgetStoragePathException : public CQRVLogException1 {
public:
    CQRVSIgetStoragePathException(const wchar_t* folderName, const wchar_t* reason, int errorCode,
                                  const wchar_t* objectName, const wchar_t* functionName,
                                  QRV_FAILURE_TAIL) noexcept;
};

class CQRVMessageBoxInitException : public CQRVLogException1 {
public:
    CQRVMessageBoxInitException(int code, QRV_FAILURE_TAIL) noexcept;
};

// Text output only; the fallback for a missing library name is "Unknown resource DLL".
class CQRVLoadStringException : public CQRVLogException1 {
public:
    CQRVLoadStringException(int stringId, const wchar_t* resourceName, int errorCode,
                            const wchar_t* sourceFile, int line, bool logNow = true,
                            bool logAtDestruction = false) noexcept;
};

// ---- warnings (CQRVLogWarning) ------------------------------------------------------

class CMemDestroyFailWarning : public CQRVLogWarning {
public:
    CMemDestroyFailWarning(const wchar_t* variableName, QRV_FAILURE_TAIL) noexcept;
};

class CCloseHandleWarning : public CQRVLogWarning {
public:
    CCloseHandleWarning(const wchar_t* handleName, int errorCode,
                        QRV_FAILURE_TAIL_NO_DESTRUCTION) noexcept;
};

class CQRVRegCloseKeyWarning : public CQRVLogWarning {
public:
    CQRVRegCloseKeyWarning(const wchar_t* keyPath, int errorCode, const wchar_t* objectName,
                           const wchar_t* functionName, QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegKeyAlreadyOpenWarning : public CQRVLogWarning {
public:
    CQRVRegKeyAlreadyOpenWarning(const wchar_t* keyPath, const wchar_t* objectName,
                                 const wchar_t* functionName, QRV_FAILURE_TAIL) noexcept;
};

class CQRVGetPolicySettingWarning : public CQRVLogWarning {
public:
    CQRVGetPolicySettingWarning(int settingId, QRV_FAILURE_TAIL) noexcept;
};

// A value, or a whole key's section, that the registry text file cannot carry: its
// entry would import as something else, so the export leaves it out.
class CQRVRegValueNotExportedWarning : public CQRVLogWarning {
public:
    CQRVRegValueNotExportedWarning(const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* objectName,
                                   const wchar_t* functionName, QRV_FAILURE_TAIL) noexcept;
};

class CQRVRegKeyNotExportedWarning : public CQRVLogWarning {
public:
    CQRVRegKeyNotExportedWarning(const wchar_t* sectionName, const wchar_t* objectName,
                                 const wchar_t* functionName, QRV_FAILURE_TAIL) noexcept;
};

#undef QRV_FAILURE_TAIL
#undef QRV_FAILURE_TAIL_NO_DESTRUCTION
