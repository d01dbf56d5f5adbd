// CQRVProductPolicy: settings plus search order; looks a DWORD setting up location by
// location.
#include "qrv_product_policy.h"

namespace {

const wchar_t kClassName[] = L"CQRVProductPolicy";

// Copies the setting tagged nId out of one of the setting lists; a missing one writes
// CQRVGetPolicySettingWarning (at sourceFile:line) and gives false.
template <typename Setting>
bool copySetting(CQRVDblList<CQRVObjNode<Setting> >& lstSettings, int nId, Setting& setting,
                 const wchar_t* sourceFile, int line)
{
    if (!lstSettings.findKey(static_cast<long>(nId)) || !lstSettings.getCurrent(setting)) {
        qrvNote<CQRVGetPolicySettingWarning>(nId, sourceFile, line);
        return false;
    }
    return true;
}

} // namespace

CQRVProductPolicy::CQRVProductPolicy(const CQRVPolicySearchPolicy& searchPolicy)
{
    QRV_TRACE(kClassName, L"CQRVProductPolicy");
    bool bCopied = true;
    for (unsigned long ulIndex = 0; ulIndex < searchPolicy.getCount() && bCopied; ++ulIndex)
        bCopied = m_searchPolicy.addPolicy(searchPolicy.getPolicyLocation(ulIndex));
    qrvTrace.passFail(bCopied);
}

CQRVProductPolicy::~CQRVProductPolicy()
{
    QRV_TRACE(kClassName, L"~CQRVProductPolicy");
    bool bCleared = m_lstDwordSettings.clear();
    bCleared = m_lstStringSettings.clear() && bCleared;
    qrvTrace.passFail(bCleared);
}

bool CQRVProductPolicy::addPolicySetting(const CQRVPolicyDwordSetting& setting)
{
    QRV_TRACE(kClassName, L"addPolicySetting");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        return m_lstDwordSettings.add(setting, static_cast<long>(setting.getId()));
    }));
}

bool CQRVProductPolicy::addPolicySetting(const CQRVPolicyStringSetting& setting)
{
    QRV_TRACE(kClassName, L"addPolicySetting");
    return qrvTrace.passFail(qrvAbsorb(false, QRV_HERE, [&] {
        return m_lstStringSettings.add(setting, static_cast<long>(setting.getId()));
    }));
}

bool CQRVProductPolicy::getPolicySetting(int nId, CQRVPolicyDwordSetting& setting)
{
    QRV_TRACE(kClassName, L"getPolicySetting");
    return qrvTrace.passFail(
        qrvAbsorb(false, QRV_HERE, [&] { return copySetting(m_lstDwordSettings, nId, setting, QRV_HERE); }));
}

bool CQRVProductPolicy::getPolicySetting(int nId, CQRVPolicyStringSetting& setting)
{
    QRV_TRACE(kClassName, L"getPolicySetting");
    return qrvTrace.passFail(
        qrvAbsorb(false, QRV_HERE, [&] { return copySetting(m_lstStringSettings, nId, setting, QRV_HERE); }));
}

bool CQRVProductPolicy::getPolicy(int nId, unsigned long& ulValue, bool bNoDefault,
                                  const CQRVWCharString& szSubstitution)
{
    QRV_TRACE(kClassName, L"getPolicy");
    return qrvTrace.logical(qrvAbsorb(false, QRV_HERE, [&] {
        CQRVPolicyDwordSetting setting;
        if (!getPolicySetting(nId, setting))
            return false;
        for (unsigned long ulIndex = 0; ulIndex < m_searchPolicy.getCount(); ++ulIndex) {
            if (setting.getPolicy(m_searchPolicy.getPolicyLocation(ulIndex), ulValue, false, szSubstitution))
                return true;
        }
        if (bNoDefault)
            return false;
        ulValue = setting.getDefault();
        return true;
    }));
}
