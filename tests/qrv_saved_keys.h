// QRVSavedKeys: takes fixed registry keys that tests must use (the products' keys, the
// common policy's keys) out of the way for the length of one test, in the view given,
// and puts the originals back afterwards. Whatever the test made there is removed.
// The ctest resource lock keeps other test programs off these keys meanwhile.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "qrv_test_support.h"

class QRVSavedKeys {
public:
    QRVSavedKeys() = default;
    ~QRVSavedKeys()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            qrvtest::deleteTree(it->root, it->path, it->view);
            if (it->existed) {
                HKEY hKey = nullptr;
                if (RegCreateKeyExW(it->root, it->path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | it->view, nullptr,
                                    &hKey, nullptr) == ERROR_SUCCESS) {
                    RegCopyTreeW(HKEY_CURRENT_USER, it->backup.c_str(), hKey);
                    RegCloseKey(hKey);
                }
                qrvtest::deleteTree(HKEY_CURRENT_USER, it->backup);
            }
            // Parents that a test created on the way are removed again once empty
            // (RegDeleteKeyExW refuses a key that still has sub-keys).
            std::wstring parent = it->path;
            for (size_t pos = parent.rfind(L'\\'); !it->missingFrom.empty() && pos != std::wstring::npos;
                 pos = parent.rfind(L'\\')) {
                parent.erase(pos);
                if (parent.size() < it->missingFrom.size())
                    break;
                RegDeleteKeyExW(it->root, parent.c_str(), it->view, 0);
            }
        }
    }
    QRVSavedKeys(const QRVSavedKeys&) = delete;
    QRVSavedKeys& operator=(const QRVSavedKeys&) = delete;

    // Moves root\path (in the view of `view`: 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY) to a
    // backup below HKCU\Software\QRVTests and leaves the key absent.
    void take(HKEY root, const std::wstring& path, REGSAM view = 0)
    {
        Saved saved;
        saved.root = root;
        saved.path = path;
        saved.view = view;
        saved.backup = L"Software\\QRVTests\\SavedKey" + std::to_wstring(GetCurrentProcessId()) + L"." +
                       std::to_wstring(m_saved.size());
        qrvtest::deleteTree(HKEY_CURRENT_USER, saved.backup);
        HKEY hKey = nullptr;
        saved.existed = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &hKey) == ERROR_SUCCESS;
        if (saved.existed) {
            HKEY hBackup = nullptr;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, saved.backup.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &hBackup, nullptr) == ERROR_SUCCESS) {
                RegCopyTreeW(hKey, nullptr, hBackup);
                RegCloseKey(hBackup);
            }
            RegCloseKey(hKey);
        }
        // The shortest ancestor that does not exist yet (empty when all do).
        for (size_t pos = path.find(L'\\'); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1)) {
            if (!qrvtest::keyExists(root, path.substr(0, pos), view)) {
                saved.missingFrom = path.substr(0, pos);
                break;
            }
        }
        m_saved.push_back(saved);
        qrvtest::deleteTree(root, path, view);
    }

    // Both views of a path below HKEY_LOCAL_MACHINE.
    void takeBothViews(const std::wstring& path)
    {
        take(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY);
        take(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY);
    }

private:
    struct Saved {
        HKEY root = nullptr;
        std::wstring path;
        REGSAM view = 0;
        std::wstring backup;
        bool existed = false;
        std::wstring missingFrom;
    };
    std::vector<Saved> m_saved;
};
