// CQRVIni: one INI (profile) file, reached through the Win32 private-profile
// functions. The object holds only the file's path; every call goes to the file, so
// nothing is cached and the object may be dropped at any time. Operations report a
// failure by logging it and returning false; nothing is raised to the caller.
// The name is resolved once, when the object is made, as the profile functions resolve
// it: a full path ("C:\...", "C:/...", "\\server\...") stays as it is; a name without
// any "\", "/" or ":" is in the Windows folder ("x.ini" is "%WINDIR%\x.ini"); every
// other name is relative to the current folder at that moment (".\x.ini", "sub\x.ini",
// "\x.ini" at the root of the current drive, "C:x.ini" in drive C's current folder).
// A later change of the current folder does not move an existing object's file.
// The object may be used by one thread at a time; two objects on one file are as safe
// as the profile functions.
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
    // A read that finds nothing leaves ERROR_FILE_NOT_FOUND in GetLastError() (or the
    // profile function's own code, such as ERROR_SHARING_VIOLATION for a held file).
    // GetPrivateProfileIntW with the default -1; a stored -1 reads as "missing".
    virtual bool getProfileInt(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                               int& nValue);
    // GetPrivateProfileSectionW: every "key=value" line of the section, tag 0. Lists
    // of any size are read whole (the buffer grows until they fit).
    virtual bool getProfileSection(const CQRVWCharString& szSection, StringList& lstEntries);
    // GetPrivateProfileSectionNamesW: every section name of the file, tag 0.
    virtual bool getProfileSectionNames(StringList& lstSectionNames);
    // GetPrivateProfileStringW into 1024 characters; missing, empty and cut values fail
    // (ERROR_FILE_NOT_FOUND, ERROR_INVALID_DATA, ERROR_MORE_DATA) without a record.
    virtual bool getProfileString(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                                  CQRVWCharString& szValue);
    // The value as decimal text, written as by setProfileString.
    virtual bool setProfileInt(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                               int nValue);
    // WritePrivateProfileStringW of one entry.
    virtual bool setProfileString(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                                  const CQRVWCharString& szValue);

    // WritePrivateProfileSectionW: the section's entries become exactly these
    // "key=value" lines, in order, with one rewrite of the file (an empty list writes
    // nothing). The lines go out as given: a line that does not read back as itself is
    // the caller's to refuse.
    bool setProfileSection(const CQRVWCharString& szSection, const StringList& lstEntries);
    // Appends the section with these "key=value" lines at the end of a UTF-16 file,
    // laid out as the profile functions lay out a new section ("[section]", then the
    // lines, each ended by CR LF), with one write and without reading the file. For a
    // file the caller made with createUnicodeFile and alone writes, and a section not
    // yet in it; the profile functions would give the same bytes, but rewrite the
    // whole file for every section.
    bool appendProfileSection(const CQRVWCharString& szSection, const StringList& lstEntries);
    // Creates the file holding only the UTF-16LE byte-order mark (FF FE), so that the
    // profile functions write it in UTF-16 and keep every character; a file they create
    // themselves is ANSI. False, and nothing touched, when the file exists or cannot be
    // created.
    bool createUnicodeFile();

private:
    // Raises CQRVWritePrivateProfileStringException when the entry cannot be written.
    void writeEntry(const CQRVWCharString& szSection, const CQRVWCharString& szKeyName,
                    const CQRVWCharString& szValue) const;
    // Shared body of the two list reads; szSection null asks for the section names.
    bool readList(const CQRVWCharString* pSection, StringList& lstOut) const;
    bool hasSection(const CQRVWCharString& szSection) const;

    CQRVWCharString m_szFileName;
};
