#include "qrv_test_support.h"

#include <gtest/gtest.h>

#include "qrv_logging_config.h"
#include "qrv_logging_outputs.h"

namespace {

const wchar_t kLogsKey[] = L"SOFTWARE\\Zarvik\\Logs";

std::wstring currentTestName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!info)
        return L"NoTest";
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/' || c == '\\')
            c = '_';
    return qrvtest::narrowToWide(name.c_str());
}

void resetLoggingState()
{
    g_dynamicLogging = 0;
    g_maxLogFileNum = 1;
    g_maxLogFileSize = 10240;
    g_bytesWritten = 0;
    g_rotations = 0;
}

} // namespace

namespace qrvtest {

std::wstring narrowToWide(const char* text)
{
    std::wstring out;
    for (const char* p = text; *p; ++p)
        out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return out;
}

static bool openKey(HKEY root, const std::wstring& key, REGSAM access, HKEY& h, bool create)
{
    if (create)
        return RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, access, nullptr, &h, nullptr) == ERROR_SUCCESS;
    return RegOpenKeyExW(root, key.c_str(), 0, access, &h) == ERROR_SUCCESS;
}

bool setBinary(HKEY root, const std::wstring& key, const wchar_t* name, const std::vector<BYTE>& data, DWORD type,
               REGSAM extra)
{
    HKEY h;
    if (!openKey(root, key, KEY_WRITE | extra, h, true))
        return false;
    LONG rc = RegSetValueExW(h, name, 0, type, data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

bool setDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value, REGSAM extra)
{
    std::vector<BYTE> data(reinterpret_cast<BYTE*>(&value), reinterpret_cast<BYTE*>(&value) + sizeof(value));
    return setBinary(root, key, name, data, REG_DWORD, extra);
}

bool setString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value, DWORD type,
               REGSAM extra)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(value.c_str());
    std::vector<BYTE> data(p, p + (value.size() + 1) * sizeof(wchar_t));
    return setBinary(root, key, name, data, type, extra);
}

bool getDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD& value, REGSAM extra)
{
    HKEY h;
    if (!openKey(root, key, KEY_READ | extra, h, false))
        return false;
    DWORD cb = sizeof(value), type = 0;
    LONG rc = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS && type == REG_DWORD;
}

bool getString(HKEY root, const std::wstring& key, const wchar_t* name, std::wstring& value, REGSAM extra)
{
    HKEY h;
    if (!openKey(root, key, KEY_READ | extra, h, false))
        return false;
    DWORD cb = 0, type = 0;
    LONG rc = RegQueryValueExW(h, name, nullptr, &type, nullptr, &cb);
    if (rc == ERROR_SUCCESS) {
        std::vector<wchar_t> buf(cb / sizeof(wchar_t) + 1, 0);
        rc = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &cb);
        value = buf.data();
    }
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

bool keyExists(HKEY root, const std::wstring& key, REGSAM extra)
{
    HKEY h;
    if (!openKey(root, key, KEY_READ | extra, h, false))
        return false;
    RegCloseKey(h);
    return true;
}

bool onSixtyFourBitWindows()
{
#ifdef _WIN64
    return true;
#else
    BOOL bWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &bWow64) && bWow64;
#endif
}

void deleteTree(HKEY root, const std::wstring& key, REGSAM extra)
{
    HKEY h;
    if (!openKey(root, key, KEY_ALL_ACCESS | extra, h, false))
        return;
    RegDeleteTreeW(h, nullptr);
    RegCloseKey(h);
    RegDeleteKeyExW(root, key.c_str(), extra, 0);
}

std::wstring makeTempFolder(const std::wstring& hint)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    std::wstring folder = std::wstring(temp) + L"qrvtest_" + hint + L"_" + std::to_wstring(GetCurrentProcessId()) +
                          L"_" + std::to_wstring(++counter);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void removeFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring full = folder + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeFolder(full);
            else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
}

std::vector<unsigned char> readFile(const std::wstring& path)
{
    std::vector<unsigned char> data;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return data;
    unsigned char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0)
        data.insert(data.end(), buf, buf + got);
    CloseHandle(h);
    return data;
}

bool writeFile(const std::wstring& path, const std::vector<unsigned char>& data)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    BOOL ok = data.empty() || WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
    CloseHandle(h);
    return ok && put == data.size();
}

bool rawValue(HKEY root, const std::wstring& key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data)
{
    data.clear();
    HKEY h;
    if (!openKey(root, key, KEY_READ, h, false))
        return false;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(h, name, nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS && size) {
        data.assign(size, 0);
        rc = RegQueryValueExW(h, name, nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS)
        data.clear();
    return rc == ERROR_SUCCESS;
}

bool rawValue(const QRVTestKey& key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data)
{
    return rawValue(key.root(), key.path(), name, type, data);
}

std::wstring text(const CQRVWCharString& s)
{
    return s.isValid() ? std::wstring(reinterpret_cast<const wchar_t*>(s.getBuffer())) : std::wstring();
}

std::wstring markedText(const CQRVWCharString& s)
{
    return s.isValid() ? text(s) : std::wstring(L"<invalid>");
}

CQRVWCharString wcs(const std::wstring& s)
{
    return CQRVWCharString(s.c_str());
}

CQRVBuffer<unsigned char> byteBuffer(const std::vector<unsigned char>& v)
{
    return CQRVBuffer<unsigned char>(v.empty() ? nullptr : v.data(), static_cast<unsigned long>(v.size()), 0);
}

Entries entries(const CQRVRegStringList& list)
{
    Entries out;
    for (const CQRVObjNode<CQRVWCharString>* p = list.m_pHead; p; p = p->m_pNext)
        out.push_back({static_cast<long>(p->m_lKey), text(p->m_object)});
    return out;
}

} // namespace qrvtest

QRVLogCapture::QRVLogCapture()
{
    HKEY h;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLogsKey, 0, KEY_READ, &h) == ERROR_SUCCESS) {
        m_hadKey = true;
        for (DWORD i = 0;; ++i) {
            wchar_t name[16384];
            DWORD cchName = 16384, type = 0, cbData = 0;
            if (RegEnumValueW(h, i, name, &cchName, nullptr, &type, nullptr, &cbData) != ERROR_SUCCESS)
                break;
            std::vector<BYTE> data(cbData);
            cchName = 16384;
            RegEnumValueW(h, i, name, &cchName, nullptr, &type, data.empty() ? nullptr : data.data(), &cbData);
            m_saved.push_back({name, {type, data}});
        }
        RegCloseKey(h);
    }
    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, kLogsKey);
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + L"qrvlog_" + currentTestName() + L"_" + std::to_wstring(GetCurrentProcessId()) +
             L"_" + std::to_wstring(++counter) + L".log";
    clearFile();
    setDword(L"Logging", 1);
    setString(L"TextOutput", m_path);
    resetLoggingState();
}

QRVLogCapture::~QRVLogCapture()
{
    qrvtest::deleteTree(HKEY_LOCAL_MACHINE, kLogsKey);
    if (m_hadKey) {
        HKEY h;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLogsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) ==
            ERROR_SUCCESS) {
            for (const auto& v : m_saved)
                RegSetValueExW(h, v.first.c_str(), 0, v.second.first,
                               v.second.second.empty() ? nullptr : v.second.second.data(),
                               static_cast<DWORD>(v.second.second.size()));
            RegCloseKey(h);
        }
    }
    clearFile();
    resetLoggingState();
}

void QRVLogCapture::setDword(const wchar_t* name, DWORD value)
{
    qrvtest::setDword(HKEY_LOCAL_MACHINE, kLogsKey, name, value);
}

void QRVLogCapture::setString(const wchar_t* name, const std::wstring& value)
{
    qrvtest::setString(HKEY_LOCAL_MACHINE, kLogsKey, name, value);
}

void QRVLogCapture::remove(const wchar_t* name)
{
    HKEY h;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLogsKey, 0, KEY_WRITE, &h) == ERROR_SUCCESS) {
        RegDeleteValueW(h, name);
        RegCloseKey(h);
    }
}

std::vector<unsigned char> QRVLogCapture::bytes() const
{
    return qrvtest::readFile(m_path);
}

std::vector<std::wstring> QRVLogCapture::lines() const
{
    std::vector<unsigned char> data = bytes();
    size_t start = (data.size() >= 2 && data[0] == 0xFF && data[1] == 0xFE) ? 2 : 0;
    std::wstring text;
    for (size_t i = start; i + 1 < data.size(); i += 2)
        text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    std::vector<std::wstring> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L"\r\n", pos);
        if (end == std::wstring::npos) {
            out.push_back(text.substr(pos));
            break;
        }
        out.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return out;
}

std::vector<std::wstring> QRVLogCapture::linesWith(const std::wstring& piece) const
{
    std::vector<std::wstring> out;
    for (const auto& line : lines())
        if (line.find(piece) != std::wstring::npos)
            out.push_back(line);
    return out;
}

void QRVLogCapture::clearFile() const
{
    DeleteFileW(m_path.c_str());
    for (int i = 1; i <= 6; ++i)
        DeleteFileW((m_path + L"." + std::to_wstring(i)).c_str());
}

QRVTestKey::QRVTestKey() : QRVTestKey(currentTestName()) {}

QRVTestKey::QRVTestKey(const std::wstring& name) : m_path(L"Software\\QRVTests\\" + name)
{
    qrvtest::deleteTree(HKEY_CURRENT_USER, m_path);
    HKEY h;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) ==
        ERROR_SUCCESS)
        RegCloseKey(h);
}

QRVTestKey::~QRVTestKey()
{
    qrvtest::deleteTree(HKEY_CURRENT_USER, m_path);
}
