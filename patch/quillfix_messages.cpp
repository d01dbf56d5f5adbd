// The patch run's messages: texts from the program's own string table, a box unless
// the run is silent, and every exchange appended to the patch log.
#include "quillfix.h"

#include <string>

#include "internal/qrv_text.h"
#include "qrv_protocol.h"
#include "quillfix_detail_log.h"
#include "quillfix_resource.h"

using qrv_detail::textOrEmpty;

namespace {

// At most 299 characters and the terminator, as the string table was written for.
const int kMessageUnits = 300;

} // namespace

CQRVWCharString loadPatchString(UINT uStringId)
{
    return qrvAbsorb(CQRVWCharString(), QRV_HERE, [&] {
        wchar_t szBuffer[kMessageUnits];
        szBuffer[0] = L'\0';
        // The platform picks the table of the user's interface language; a missing
        // ID leaves the buffer empty.
        if (::LoadStringW(::GetModuleHandleW(nullptr), uStringId, szBuffer, kMessageUnits) <= 0)
            szBuffer[0] = L'\0';
        return CQRVWCharString(szBuffer);
    });
}

int showPatchMessage(UINT uStringId, UINT uStyle, int nSilentAnswer, int nLoggedAnswer)
{
    CQRVWCharString szCaption = loadPatchString(IDS_CAPTION);
    CQRVWCharString szText = loadPatchString(uStringId);
    int nAnswer = promptAndLog(szCaption, szText, uStyle, nSilentAnswer, nLoggedAnswer);
    detailLog(L"Message " + std::to_wstring(uStringId) + (g_bSilent ? L" logged (silent)" : L" shown") +
              L", answer " + std::to_wstring(nLoggedAnswer == kAnswerAsGiven ? nAnswer : nLoggedAnswer));
    return nAnswer;
}

int promptAndLog(const CQRVWCharString& szCaption, const CQRVWCharString& szText, UINT uStyle,
                 int nSilentAnswer, int nLoggedAnswer)
{
    int nAnswer = nSilentAnswer;
    if (!g_bSilent)
        nAnswer = ::MessageBoxW(nullptr, textOrEmpty(szText), textOrEmpty(szCaption), uStyle);
    logPatchExchange(szText, nLoggedAnswer == kAnswerAsGiven ? nAnswer : nLoggedAnswer);
    return nAnswer;
}

void logPatchExchange(const CQRVWCharString& szText, int nAnswer)
{
    qrvAbsorb(false, QRV_HERE, [&] {
        std::wstring entry(textOrEmpty(szText));
        entry += L" User select: ";
        entry += std::to_wstring(nAnswer);
        entry += L"\r\n";
        appendPatchLog(CQRVWCharString(entry.c_str()));
        return true;
    });
}

void showPatchNotice(UINT uStringId)
{
    // Logged as the restart question's No, which is what it stands in for.
    showPatchMessage(uStringId, MB_OK, IDOK, IDNO);
}

void appendPatchLogLine(UINT uLineId, const CQRVWCharString& szArgument)
{
    CQRVWCharString szLine = loadPatchString(uLineId);
    qrvAbsorb(false, QRV_HERE, [&] {
        return szLine.replace(CQRVWCharString(L"%s"), szArgument, 1, ssmOccur);
    });
    std::wstring line(textOrEmpty(szLine));
    line += L"\r\n";
    appendPatchLog(CQRVWCharString(line.c_str()));
}
