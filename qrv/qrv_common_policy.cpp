// CQRVCommonPolicy: the built-in settings table of the common policy.
#include "qrv_common_policy.h"

#include "qrv_policy_ad_search_policy.h"

namespace {

struct CommonDwordSetting {
    int nId;
    const wchar_t* szSubKey; // null: directly below the product key
    const wchar_t* szValueName;
    unsigned long ulDefault;
    bool bMarker;
};

// Table order is the order the settings are added in; cpEndOfTable closes it.
const CommonDwordSetting kDwordSettings[] = {
    {cpPDALogonGUIOption, L"Restorix", L"PDALogonGUIOption", 0, false},
    {cpWindowsPasswordRecoveryGUIOption, L"Restorix", L"WindowsPasswordRecoveryGUIOption", 0, false},
    {cpPasswordRecoveryEnabled, L"Restorix", L"PasswordRecoveryEnabled", 0, true},
    {cpUsingEmulator, L"Quellant", L"UsingEmulator", 0, false},
    {cpQLTInstall, L"Quellant", L"QLTInstall", 0, false},
    {cpPreferInternalFPSensor, L"Quellant", L"PreferInternalFPSensor", 0, false},
    {cpFPSwipeResult, L"Quellant", L"FPSwipeResult", 1, false},
    {cpQLT6QLTInstall, L"Quellant", L"QLT6QLTInstall", 0, false},
    {cpSystemType, nullptr, L"SystemType", 0, false},
    {cpWizardGUIOption, nullptr, L"WizardGUIOption", 0, false},
    {cpDisableHotfixMessage, L"Quellant", L"DisableHotfixMessage", 0, false},
    {cpEndOfTable, nullptr, nullptr, 0, false}};

struct CommonStringSetting {
    int nId;
    const wchar_t* szSubKey;
    const wchar_t* szValueName;
    const wchar_t* szDefault;
    bool bMarker;
    bool bExpand;
};

const CommonStringSetting kStringSettings[] = {
    {cpAdminUser, L"Quellant", L"AdminUser", nullptr, true, false},
    {cpEndOfTable, nullptr, nullptr, nullptr, false, false}};

const wchar_t kVendorName[] = L"Zarvik";
const wchar_t kProductName[] = L"QRV Common";
const wchar_t kSettingVersion[] = L"1.0";

} // namespace

CQRVCommonPolicy::CQRVCommonPolicy() : CQRVProductPolicy(CQRVPolicyADSearchPolicy())
{
    QRV_TRACE(L"CQRVCommonPolicy", L"CQRVCommonPolicy");
    bool bAdded = true;
    for (const CommonDwordSetting* pRow = kDwordSettings; pRow->nId != cpEndOfTable && bAdded; ++pRow) {
        bAdded = addPolicySetting(CQRVPolicyDwordSetting(
            CQRVWCharString(kVendorName), CQRVWCharString(kProductName), pRow->nId, psRegistry,
            CQRVWCharString(kSettingVersion), CQRVWCharString(pRow->szValueName), CQRVWCharString(pRow->szSubKey),
            pRow->ulDefault, pRow->bMarker));
    }
    for (const CommonStringSetting* pRow = kStringSettings; pRow->nId != cpEndOfTable && bAdded; ++pRow) {
        bAdded = addPolicySetting(CQRVPolicyStringSetting(
            CQRVWCharString(kVendorName), CQRVWCharString(kProductName), pRow->nId, psRegistry,
            CQRVWCharString(kSettingVersion), CQRVWCharString(pRow->szValueName), CQRVWCharString(pRow->szSubKey),
            CQRVWCharString(pRow->szDefault), pRow->bMarker, pRow->bExpand));
    }
    qrvTrace.passFail(bAdded);
}
