// CQRVIni: one INI (profile) file, reached through the Win32 private-profile
// functions. The object holds only the file's path; every call goes to the file, so
// nothing is cached and the object may be dropped at any time. Operations report a
// failure by logging it and returning false; nothing is raised to the caller.
// A path without a folder is looked up by Windows in the Windows folder, not in the
// current directory.
#pragma once

#include "qrv_dbllist.h"
#include "qrv_wchar_string.h"

class CQRVIni {
public:
    typedef CQRVDblList<CQRVObjNode<CQRVWCharString> > StringList;

    explicit CQRVIni(const CQRVWCharString& szFileName);
    virtual ~CQRVIni();

    // Makes sure the section exists; an existing section keeps its entries.
    virtual bool createProfileSection(const CQRVWCharString& szSection);
    // GetPrivateProfileIntW with the default -1; a stored -1 reads as "missing".
    virtual bool getProfileInt(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                               int& nValue);
    // GetPrivateProfileSectionW: every "key=value" line of the section, tag 0.
    virtual bool getProfileSection(const CQRVWCharString& szSection, StringList& lstEntries);
    // GetPrivateProfileSectionNamesW: every section name of the file, tag 0.
    virtual bool getProfileSectionNames(StringList& lstSectionNames);
    // GetPrivateProfileStringW into 1024 characters; missing, empty and cut values fail.
    virtual bool getProfileString(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                                  CQRVWCharString& szValue);
    // The value as decimal text, written as by setProfileString.
    virtual bool setProfileInt(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                               int nValue);
    // WritePrivateProfileStringW of one entry.
    virtual bool setProfileString(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                                  const CQRVWCharString& szValue);

private:
    // Raises CQRVWritePrivateProfileStringException when the entry cannot be written.
    void writeEntry(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                    const CQRVWCharString& szValue) const;
    // Shared body of the two list reads; szSection null asks for the section names.
    bool readList(const CQRVWCharString* pSection, StringList& lstOut) const;
    bool hasSection(const CQRVWCharString& szSection) const;

    CQRVWCharString m_szFileName;
};
