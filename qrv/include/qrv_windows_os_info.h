// CQRVWindowsOSInfo: a snapshot of the running Windows system taken at construction
// (version, service pack, two OS-feature answers, the PE flag) and the questions the
// gates ask about it. Build one on the stack, ask, drop it; nothing is shared.
//
// Only the constructor raises: CQRVWindowsOSInfoInitNeededException when the
// platform will not report its version at all. Every other operation absorbs its
// failures and answers false.
#pragma once

class CQRVWindowsOSInfo {
public:
    CQRVWindowsOSInfo();
    ~CQRVWindowsOSInfo();

    // 2 on a 64-bit system (native architecture Itanium, x64 or x86-on-64), 1
    // otherwise. Asks GetNativeSystemInfo on every call.
    int getPlatform();

    // XP family: 5.1 <= version < 6.0.
    bool isXP();
    // Vista: version 6.0 exactly.
    bool isVista();

    // Calls the OS-feature query that shlwapi.dll exports under ordinal 437. False,
    // with bAnswer untouched, when the library or the export is missing.
    bool performOSQueryFunction(unsigned long ulCode, bool& bAnswer);

    // True when the environment variable "QRVDrive" holds a non-empty value.
    bool performPECheck();

    bool getFeature18() const { return m_bFeature18; }
    bool getFeature37() const { return m_bFeature37; }
    bool isPE() const { return m_bPE; }
    unsigned long getServicePack() const { return m_ulServicePack; }
    double getVersion() const { return m_dVersion; }

private:
    bool m_bFeature18;
    bool m_bFeature37;
    bool m_bPE;
    unsigned long m_ulServicePack;
    double m_dVersion;
};
