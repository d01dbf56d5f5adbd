// Constructors of the concrete failure, warning and debug classes.
#include "qrv_failures.h"

#include <initializer_list>
#include <string>

namespace {

const wchar_t kUnknown[] = L"Unknown";

const wchar_t* orUnknown(const wchar_t* text, const wchar_t* fallback = kUnknown)
{
    return (text && *text) ? text : fallback;
}

// Fills the "%s" and "%d" places of one of this file's fixed message templates with
// the given texts, in order. The arguments are inserted as they are, never read as
// formats themselves; the message is kept whole whatever its length.
std::wstring fill(const wchar_t* pattern, std::initializer_list<const wchar_t*> args) noexcept
{
    try {
        std::wstring out;
        auto next = args.begin();
        for (const wchar_t* p = pattern; *p; ++p) {
            if (p[0] == L'%' && (p[1] == L's' || p[1] == L'd')) {
                if (next != args.end())
                    out += *next++;
                ++p;
            } else {
                out += *p;
            }
        }
        return out;
    } catch (...) {
        return std::wstring();
    }
}

std::wstring number(int value) noexcept
{
    try {
        return std::to_wstring(value);
    } catch (...) {
        return std::wstring();
    }
}

} // namespace

#define QRV_TAIL_ARGS sourceFile, line, outputMask, logNow, logAtDestruction

CQRVUnhandledExceptionException::CQRVUnhandledExceptionException(int code, const wchar_t* sourceFile, int line,
                                                                 unsigned short outputMask, bool logNow,
                                                                 bool logAtDestruction) noexcept
    : CQRVLogException1(L"An unhandled exception occurred", code, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

CQRVBadArgException::CQRVBadArgException(const wchar_t* argName, const wchar_t* sentence, const wchar_t* sourceFile,
                                         int line, unsigned short outputMask, bool logNow,
                                         bool logAtDestruction) noexcept
    : CQRVLogException1(fill(L"A bad argument was provided ( %s ). %s", {orUnknown(argName), orUnknown(sentence)})
                            .c_str(),
                        0, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

CQRVMemAllocException::CQRVMemAllocException(const wchar_t* variableName, const wchar_t* sourceFile, int line,
                                             unsigned short outputMask, bool logNow, bool logAtDestruction) noexcept
    : CQRVLogException1(fill(L"Unable to allocate memory ( %s )", {orUnknown(variableName)}).c_str(), -1,
                        RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

CQRVMemoryCopyException::CQRVMemoryCopyException(int errnoValue, const wchar_t* sourceFile, int line,
                                                 bool logAtDestruction) noexcept
    : CQRVLogException1(L"memcpy() function failed", errnoValue, RESULT_ERROR_CODE, nullptr, nullptr, sourceFile,
                        line, OUTPUT_TEXT, false, logAtDestruction)
{
}

CQRVBufferInitException::CQRVBufferInitException(const wchar_t* sourceFile, int line, bool logAtDestruction) noexcept
    : CQRVLogException1(L"Unable to initialize CQRVBuffer", -1, RESULT_ERROR_CODE, nullptr, nullptr, sourceFile, line,
                        OUTPUT_TEXT, false, logAtDestruction)
{
}

CQRVIndexOutOfBoundsException::CQRVIndexOutOfBoundsException(const wchar_t* sourceFile, int line,
                                                             unsigned short outputMask, bool logNow,
                                                             bool logAtDestruction) noexcept
    : CQRVLogException1(L"Index out of array bounds", -1, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

CQRVUnknownVariableNameException::CQRVUnknownVariableNameException(const wchar_t* sourceFile, int line,
                                                                   unsigned short outputMask, bool logNow,
                                                                   bool logAtDestruction) noexcept
    : CQRVLogException1(L"The environment variable name has not been initialized", -1, RESULT_ERROR_CODE, nullptr,
                        nullptr, QRV_TAIL_ARGS)
{
}

CQRVWindowsOSInfoInitNeededException::CQRVWindowsOSInfoInitNeededException(const wchar_t* sourceFile, int line,
                                                                           unsigned short outputMask, bool logNow,
                                                                           bool logAtDestruction) noexcept
    : CQRVLogException1(L"CQRVWindowsOSInfo construction failed. Cannot call member functions.", -1,
                        RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

CQRVRegKeyInitException::CQRVRegKeyInitException(const wchar_t* sourceFile, int line, unsigned short outputMask,
                                                 bool logNow, bool logAtDestruction) noexcept
    : CQRVLogException1(L"CQRVRegistryKey object failed to initialize", -1, RESULT_ERROR_CODE, nullptr, nullptr,
                        QRV_TAIL_ARGS)
{
}

// Registry failures that name the key and the reporting object and method.
#define QRV_KEY_FAILURE(Class, pattern, resultType)                                                              \
    Class::Class(const wchar_t* keyPath, int errorCode, const wchar_t* objectName, const wchar_t* functionName,  \
                 const wchar_t* sourceFile, int line, unsigned short outputMask, bool logNow,                    \
                 bool logAtDestruction) noexcept                                                                 \
        : CQRVLogException1(fill(pattern, {orUnknown(keyPath)}).c_str(), errorCode, resultType, objectName,       \
                            functionName, QRV_TAIL_ARGS)                                                         \
    {                                                                                                            \
    }

QRV_KEY_FAILURE(CQRVRegEnumKeyException, L"Unable to enumerate subkeys from key ( \"%s\" )", RESULT_ERROR_CODE)
QRV_KEY_FAILURE(CQRVRegEnumValueException, L"Unable to enumerate values from key ( \"%s\" )", RESULT_ERROR_CODE)
QRV_KEY_FAILURE(CQRVRegKeyCreateException, L"Unable to create registry key ( \"%s\" )", RESULT_ERROR_CODE)
QRV_KEY_FAILURE(CQRVRegSaveKeyException, L"Unable to save registry key ( \"%s\" )", RESULT_ERROR_CODE)
QRV_KEY_FAILURE(CQRVRegRestoreKeyException, L"Unable to load registry key ( \"%s\" )", RESULT_ERROR_CODE)
#undef QRV_KEY_FAILURE

CQRVRegQueryInfoKeyException::CQRVRegQueryInfoKeyException(const wchar_t* keyPath, int errorCode,
                                                           const wchar_t* sourceFile, int line,
                                                           unsigned short outputMask, bool logNow,
                                                           bool logAtDestruction) noexcept
    : CQRVLogException1(fill(L"Unable to query info on registry key ( \"%s\" )", {orUnknown(keyPath)}).c_str(),
                        errorCode, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

CQRVRegQueryMultipleValuesException::CQRVRegQueryMultipleValuesException(const wchar_t* keyPath, int errorCode,
                                                                         const wchar_t* sourceFile, int line,
                                                                         unsigned short outputMask, bool logNow,
                                                                         bool logAtDestruction) noexcept
    : CQRVLogException1(
          fill(L"Unable to query multiple values from registry key ( \"%s\" )", {orUnknown(keyPath)}).c_str(),
          errorCode, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

CQRVRegValueSetException::CQRVRegValueSetException(const wchar_t* keyPath, const wchar_t* valueName, int errorCode,
                                                   const wchar_t* objectName, const wchar_t* functionName,
                                                   const wchar_t* sourceFile, int line, unsigned short outputMask,
                                                   bool logNow, bool logAtDestruction) noexcept
    : CQRVLogException1(
          fill(L"Unable to Set registry value ( \"%s\\%s\" )", {orUnknown(keyPath), orUnknown(valueName)}).c_str(),
          errorCode, RESULT_ERROR_CODE, objectName, functionName, QRV_TAIL_ARGS)
{
}

CQRVMoveFileException::CQRVMoveFileException(const wchar_t* fromPath, const wchar_t* toPath, int errorCode,
                                             const wchar_t* sourceFile, int line, unsigned short outputMask,
                                             bool logNow, bool logAtDestruction) noexcept
    : CQRVLogException1(fill(L"Unable to move file ( %s ) to ( %s )", {orUnknown(fromPath), orUnknown(toPath)}).c_str(),
                        errorCode, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

#define QRV_TAIL_NO_DESTRUCTION sourceFile, line, outputMask, logNow, false

CQRVOpenProcessTokenException::CQRVOpenProcessTokenException(const wchar_t* handleName, int errorCode,
                                                             const wchar_t* sourceFile, int line,
                                                             unsigned short outputMask, bool logNow) noexcept
    : CQRVLogException1(fill(L"OpenProcessToken call failed for handle:%s", {orUnknown(handleName)}).c_str(),
                        errorCode, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_NO_DESTRUCTION)
{
}

CQRVLookupPrivilegeValueException::CQRVLookupPrivilegeValueException(const wchar_t* privilegeName, int errorCode,
                                                                     const wchar_t* sourceFile, int line,
                                                                     unsigned short outputMask, bool logNow) noexcept
    : CQRVLogException1(
          fill(L"LookupPrivilegeValue call failed for privilege:%s", {orUnknown(privilegeName)}).c_str(), errorCode,
          RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_NO_DESTRUCTION)
{
}

CQRVAdjustTokenPrivilegesException::CQRVAdjustTokenPrivilegesException(const wchar_t* handleName, int errorCode,
                                                                       const wchar_t* sourceFile, int line,
                                                                       unsigned short outputMask, bool logNow) noexcept
    : CQRVLogException1(fill(L"AdjustTokenPrivileges call failed for handle:%s", {orUnknown(handleName)}).c_str(),
                        errorCode, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_NO_DESTRUCTION)
{
}

CQRVWritePrivateProfileStringException::CQRVWritePrivateProfileStringException(
    const wchar_t* section, const wchar_t* keyName, int errorCode, const wchar_t* sourceFile, int line,
    unsigned short outputMask, bool logNow) noexcept
    : CQRVLogException1(fill(L"Unable to write profile string ( section: %s, key name: %s )",
                             {orUnknown(section), orUnknown(keyName)})
                            .c_str(),
                        errorCode, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_NO_DESTRUCTION)
{
}

CQRVWritePrivateProfileSectionException::CQRVWritePrivateProfileSectionException(const wchar_t* section,
                                                                                 int errorCode,
                                                                                 const wchar_t* sourceFile, int line,
                                                                                 unsigned short outputMask,
                                                                                 bool logNow) noexcept
    : CQRVLogException1(fill(L"Unable to write profile section ( section: %s )", {orUnknown(section)}).c_str(),
                        errorCode, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_NO_DESTRUCTION)
{
}

CQRVDirectoryInitException::CQRVDirectoryInitException(const wchar_t* sourceFile, int line,
                                                       unsigned short outputMask, bool logNow,
                                                       bool logAtDestruction) noexcept
    : CQRVLogException1(L"CQRVDirectory object failed to initialize", -1, RESULT_ERROR_CODE, nullptr, nullptr,
                        QRV_TAIL_ARGS)
{
}

CQRVSIgetStoragePathException::CQRVSIgetStoragePathException(const wchar_t* folderName, const wchar_t* reason,
                                                             int errorCode, const wchar_t* objectName,
                                                             const wchar_t* functionName, const wchar_t* sourceFile,
                                                             int line, unsigned short outputMask, bool logNow,
                                                             bool logAtDestruction) noexcept
    : CQRVLogException1(fill(L"Unable to obtain Windows shell folder path for folder ( \"%s\" ).  %s",
                             {orUnknown(folderName), orUnknown(reason)})
                            .c_str(),
                        errorCode, RESULT_ERROR_CODE, objectName, functionName, QRV_TAIL_ARGS)
{
}

CQRVMessageBoxInitException::CQRVMessageBoxInitException(int code, const wchar_t* sourceFile, int line,
                                                         unsigned short outputMask, bool logNow,
                                                         bool logAtDestruction) noexcept
    : CQRVLogException1(L"Unable to initialize message box", code, RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

CQRVLoadStringException::CQRVLoadStringException(int stringId, const wchar_t* resourceName, int errorCode,
                                                 const wchar_t* sourceFile, int line, bool logNow,
                                                 bool logAtDestruction) noexcept
    : CQRVLogException1(fill(L"Unable to load string ( ID: %d ) from resource DLL ( %s )",
                             {number(stringId).c_str(), orUnknown(resourceName, L"Unknown resource DLL")})
                            .c_str(),
                        errorCode, RESULT_ERROR_CODE, nullptr, nullptr, sourceFile, line, OUTPUT_TEXT, logNow,
                        logAtDestruction)
{
}

CMemDestroyFailWarning::CMemDestroyFailWarning(const wchar_t* variableName, const wchar_t* sourceFile, int line,
                                               unsigned short outputMask, bool logNow, bool logAtDestruction) noexcept
    : CQRVLogWarning(fill(L"Unable to free memory ( %s )", {orUnknown(variableName)}).c_str(), -1,
                     RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

CCloseHandleWarning::CCloseHandleWarning(const wchar_t* handleName, int errorCode, const wchar_t* sourceFile,
                                         int line, unsigned short outputMask, bool logNow) noexcept
    : CQRVLogWarning(fill(L"Unable to free memory ( %s )", {orUnknown(handleName)}).c_str(), errorCode,
                     RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_NO_DESTRUCTION)
{
}

CQRVRegCloseKeyWarning::CQRVRegCloseKeyWarning(const wchar_t* keyPath, int errorCode, const wchar_t* objectName,
                                               const wchar_t* functionName, const wchar_t* sourceFile, int line,
                                               unsigned short outputMask, bool logNow, bool logAtDestruction) noexcept
    : CQRVLogWarning(fill(L"Unable to close registry key ( %s )", {orUnknown(keyPath)}).c_str(), errorCode,
                     RESULT_ERROR_CODE, objectName, functionName, QRV_TAIL_ARGS)
{
}

CQRVRegKeyAlreadyOpenWarning::CQRVRegKeyAlreadyOpenWarning(const wchar_t* keyPath, const wchar_t* objectName,
                                                           const wchar_t* functionName, const wchar_t* sourceFile,
                                                           int line, unsigned short outputMask, bool logNow,
                                                           bool logAtDestruction) noexcept
    : CQRVLogWarning(fill(L"Registry key is already open ( %s )", {orUnknown(keyPath)}).c_str(), -1,
                     RESULT_PASS_FAIL, objectName, functionName, QRV_TAIL_ARGS)
{
}

CQRVGetPolicySettingWarning::CQRVGetPolicySettingWarning(int settingId, const wchar_t* sourceFile, int line,
                                                         unsigned short outputMask, bool logNow,
                                                         bool logAtDestruction) noexcept
    : CQRVLogWarning(fill(L"Could not find policy setting with ID ( %d )", {number(settingId).c_str()}).c_str(), 0,
                     RESULT_ERROR_CODE, nullptr, nullptr, QRV_TAIL_ARGS)
{
}

CQRVRegValueNotExportedWarning::CQRVRegValueNotExportedWarning(const wchar_t* keyPath, const wchar_t* valueName,
                                                               const wchar_t* objectName,
                                                               const wchar_t* functionName,
                                                               const wchar_t* sourceFile, int line,
                                                               unsigned short outputMask, bool logNow,
                                                               bool logAtDestruction) noexcept
    : CQRVLogWarning(fill(L"Registry value not exported, the text file cannot carry its name or data ( \"%s\\%s\" )",
                          {orUnknown(keyPath), orUnknown(valueName)}).c_str(),
                     -1, RESULT_PASS_FAIL, objectName, functionName, QRV_TAIL_ARGS)
{
}

CQRVRegKeyNotExportedWarning::CQRVRegKeyNotExportedWarning(const wchar_t* sectionName, const wchar_t* objectName,
                                                           const wchar_t* functionName, const wchar_t* sourceFile,
                                                           int line, unsigned short outputMask, bool logNow,
                                                           bool logAtDestruction) noexcept
    : CQRVLogWarning(fill(L"Registry key not exported, the text file cannot carry its name ( \"%s\" )",
                          {orUnknown(sectionName)}).c_str(),
                     -1, RESULT_PASS_FAIL, objectName, functionName, QRV_TAIL_ARGS)
{
}
