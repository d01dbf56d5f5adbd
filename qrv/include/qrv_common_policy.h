// CQRVCommonPolicy: the library's common policy ("Zarvik" / "QRV Common"), searched
// in the AD order, with the built-in settings of the suite and the backup product.
#pragma once

#include "qrv_product_policy.h"

// Identifiers of the common policy's settings.
enum QRVCommonPolicyId : int {
    cpUsingEmulator = 0,
    cpQLTInstall = 1,
    cpQLT6QLTInstall = 2,
    cpAdminUser = 3,
    cpPreferInternalFPSensor = 4,
    cpFPSwipeResult = 5,
    cpWindowsPasswordRecoveryGUIOption = 6,
    cpPDALogonGUIOption = 7,
    cpSystemType = 8,
    cpDisableHotfixMessage = 9,
    cpPasswordRecoveryEnabled = 10,
    cpWizardGUIOption = 11,
    cpEndOfTable = 12
};

class CQRVCommonPolicy : public CQRVProductPolicy {
public:
    CQRVCommonPolicy();
};
