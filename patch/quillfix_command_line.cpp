// The command line: parsed once, by walking one table of switches, into the options the
// run reads; the usage text is built from the same table, so the two cannot drift.
#include "quillfix.h"

#include <cwchar>

#include "internal/qrv_text.h"
#include "quillfix_detail_log.h"
#include "quillfix_resource.h"
#include "quillfix_service_pin.h"

namespace {

// How a switch takes its value.
enum SwitchValue {
    svNone,     // a plain switch
    svNextWord, // the next word is the value ("/log file")
    svRest      // the rest of the word is the value ("/log:file")
};

struct QuillfixSwitch {
    const wchar_t* pszName; // after "/" or "-", compared in any case; never translated
    bool QuillfixOptions::*pSets;
    SwitchValue value;
    const wchar_t* pszShown; // as the switch list shows it
};

// Names of one meaning follow each other: the list shows them as one group. The
// platform's own patch tools' words are here as they write them ("/quiet", "/passive",
// "/norestart", "/l*v <file>"): there is no other interface to a patch run than silent,
// so "/passive" is silent too.
const QuillfixSwitch kSwitches[] = {
    {L"s", &QuillfixOptions::bSilent, svNone, L"/s"},
    {L"quiet", &QuillfixOptions::bSilent, svNone, L"/quiet"},
    {L"q", &QuillfixOptions::bSilent, svNone, L"/q"},
    {L"passive", &QuillfixOptions::bSilent, svNone, L"/passive"},
    {L"uninstall", &QuillfixOptions::bRemove, svNone, L"/uninstall"},
    {L"exitcode", &QuillfixOptions::bExitCode, svNone, L"/exitcode"},
    {L"norestart", &QuillfixOptions::bNoRestart, svNone, L"/norestart"},
    {L"restartservice", &QuillfixOptions::bRestartService, svNone, L"/restartservice"},
    {L"log", &QuillfixOptions::bLog, svNextWord, L"/log <file>"},
    {L"log:", &QuillfixOptions::bLog, svRest, L"/log:<file>"},
    {L"l*v", &QuillfixOptions::bLog, svNextWord, L"/l*v <file>"},
    {L"?", &QuillfixOptions::bHelp, svNone, L"/?"},
    {L"help", &QuillfixOptions::bHelp, svNone, L"/help"},
};

// ASCII letters only, so no user locale changes what matches.
wchar_t lowerAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// The table row whose name the word (after its "/" or "-") is, or, for a row whose
// value is the rest of the word, starts with.
const QuillfixSwitch* findSwitch(const std::wstring& strName)
{
    for (const QuillfixSwitch& entry : kSwitches) {
        const std::wstring strEntry = entry.pszName;
        const size_t cchCompare = entry.value == svRest ? strEntry.size() : strName.size();
        if (strName.size() < strEntry.size() || cchCompare != strEntry.size())
            continue;
        bool bSame = true;
        for (size_t i = 0; i < cchCompare && bSame; ++i)
            bSame = lowerAscii(strName[i]) == strEntry[i];
        if (bSame)
            return &entry;
    }
    return nullptr;
}

bool isSwitchWord(const std::wstring& strWord)
{
    return !strWord.empty() && (strWord[0] == L'/' || strWord[0] == L'-');
}

} // namespace

bool selectsSilentMode(const wchar_t* pszCommandLine)
{
    // A plain substring search, so "/silent" and a path such as "C:\data-sets" count
    // as well: deployment scripts have always relied on that.
    static const wchar_t* const kSilentSwitches[] = {L"/s", L"/S", L"-s", L"-S"};
    if (pszCommandLine == nullptr || *pszCommandLine == L'\0')
        return false;
    CQRVWCharString szCommandLine(pszCommandLine);
    for (const wchar_t* pszSwitch : kSilentSwitches) {
        if (szCommandLine.contains(CQRVWCharString(pszSwitch)))
            return true;
    }
    return false;
}

std::vector<std::wstring> splitCommandLine(const wchar_t* pszCommandLine)
{
    std::vector<std::wstring> words;
    if (pszCommandLine == nullptr)
        return words;
    const wchar_t* p = pszCommandLine;
    for (;;) {
        while (*p == L' ' || *p == L'\t')
            ++p;
        if (*p == L'\0')
            break;
        std::wstring word;
        bool bQuoted = false;
        for (; *p != L'\0' && (bQuoted || (*p != L' ' && *p != L'\t')); ++p) {
            size_t cBackslashes = 0;
            while (*p == L'\\') {
                ++cBackslashes;
                ++p;
            }
            if (*p == L'"') {
                // 2n backslashes and a quote: n backslashes, and the quote groups;
                // 2n+1 of them: n backslashes and a quote of the word.
                word.append(cBackslashes / 2, L'\\');
                if (cBackslashes % 2 == 1) {
                    word += L'"';
                } else if (bQuoted && p[1] == L'"') {
                    word += L'"'; // "" inside quotes is a quote of the word
                    ++p;
                } else {
                    bQuoted = !bQuoted;
                }
            } else {
                word.append(cBackslashes, L'\\');
                if (*p == L'\0' || (!bQuoted && (*p == L' ' || *p == L'\t')))
                    break;
                word += *p;
            }
        }
        words.push_back(word);
    }
    return words;
}

QuillfixOptions parseCommandLine(const wchar_t* pszCommandLine)
{
    QuillfixOptions options;
    options.bSilent = selectsSilentMode(pszCommandLine);
    const std::vector<std::wstring> words = splitCommandLine(pszCommandLine);
    for (size_t i = 0; i < words.size(); ++i) {
        const std::wstring& strWord = words[i];
        // Words without a switch character stay ignored, as they always were.
        if (!isSwitchWord(strWord))
            continue;
        const QuillfixSwitch* pSwitch = findSwitch(strWord.substr(1));
        bool bTaken = pSwitch != nullptr;
        if (pSwitch != nullptr && pSwitch->value == svNextWord) {
            // A name that starts with "/" is the next switch: the name is missing.
            bTaken = i + 1 < words.size() && !words[i + 1].empty() && words[i + 1][0] != L'/';
            if (bTaken)
                options.strLogFile = words[++i];
        } else if (pSwitch != nullptr && pSwitch->value == svRest) {
            options.strLogFile = strWord.substr(1 + wcslen(pSwitch->pszName));
            bTaken = !options.strLogFile.empty();
        }
        if (bTaken) {
            options.*(pSwitch->pSets) = true;
        } else if (options.strRefusedWord.empty() && (pSwitch != nullptr || !selectsSilentMode(strWord.c_str()))) {
            // A word that selects silent mode by the old rule ("/silent") is no
            // stranger; a "/log" without its name is refused like one.
            options.strRefusedWord = strWord;
        }
    }
    return options;
}

std::wstring switchList()
{
    std::wstring strList;
    const QuillfixSwitch* pPrevious = nullptr;
    for (const QuillfixSwitch& entry : kSwitches) {
        if (pPrevious != nullptr)
            strList += pPrevious->pSets == entry.pSets ? L", " : L" | ";
        strList += entry.pszShown;
        pPrevious = &entry;
    }
    return strList;
}

void showSwitchMessage(UINT uStringId, const std::wstring& strWord)
{
    std::wstring strText = qrv_detail::textOrEmpty(loadPatchString(uStringId));
    const size_t placeholder = strText.find(L"%s");
    if (placeholder != std::wstring::npos)
        strText.replace(placeholder, 2, strWord);
    strText += L" " + switchList();
    // The usage also names the service program a packaged build installs, so that an
    // administrator can compare it with the file before deploying.
    if (uStringId == IDS_USAGE && quillfix_service_pin::pinned())
        strText += L" | Service program: " + quillfix_service_pin::describe();
    int nAnswer = promptAndLog(loadPatchString(IDS_CAPTION), CQRVWCharString(strText.c_str()), MB_OK, IDOK);
    detailLog(L"Message " + std::to_wstring(uStringId) + (g_bSilent ? L" logged (silent)" : L" shown") +
              L", answer " + std::to_wstring(nAnswer));
}
