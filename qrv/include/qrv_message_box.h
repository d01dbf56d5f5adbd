// CQRVMessageBox: one modal message box, its texts and style kept until it is shown.
// The answer is the last MessageBoxW result, 2 (IDCANCEL) until a box was shown.
//
// Only the constructor raises (CQRVMessageBoxInitException); every other operation
// absorbs its failures and answers false.
#pragma once

#include <windows.h>

#include "qrv_flags.h"
#include "qrv_wchar_string.h"

class CQRVMessageBox {
public:
    CQRVMessageBox(HWND hOwner, const CQRVWCharString& szTitle, const CQRVWCharString& szMsg,
                   const CQRVFlags& flStyle);
    virtual ~CQRVMessageBox();

    // MessageBoxW with the stored owner, texts and style; true when the box was shown
    // (a nonzero answer). Writes a NOTIFICATION record with the message text.
    virtual bool showMessageBox();
    // Load the text from the program's string table (CQRVWindowsResource).
    virtual bool setTitle(unsigned int uiStringId);
    virtual bool setMsg(unsigned int uiStringId);

    bool setTitle(const CQRVWCharString& szTitle);
    bool setMsg(const CQRVWCharString& szMsg);

    int getAnswer() const { return m_nAnswer; }
    const CQRVWCharString& getTitle() const { return m_szTitle; }
    const CQRVWCharString& getMsg() const { return m_szMsg; }

private:
    CQRVMessageBox(const CQRVMessageBox&) = delete;
    CQRVMessageBox& operator=(const CQRVMessageBox&) = delete;

    int m_nAnswer;
    CQRVWCharString m_szMsg;
    CQRVWCharString m_szTitle;
    CQRVFlags m_flStyle;
    HWND m_hOwner;
};
