#include "acbr/existencia.hpp"

#include "acbr/utf16_windows.hpp"

#include <windows.h>

namespace ponte::acbr {

bool existe(const std::string& caminho) {
    const auto utf16 = windows::para_utf16(caminho);
    if (!utf16) return false;
    // Opening for no access follows symbolic links, as stat does (GetFileAttributesW would
    // describe the link itself); FILE_FLAG_BACKUP_SEMANTICS lets a directory be opened.
    HANDLE arquivo = ::CreateFileW(utf16->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (arquivo == INVALID_HANDLE_VALUE) {
        // Held open without sharing by another process: it is there all the same.
        return ::GetLastError() == ERROR_SHARING_VIOLATION;
    }
    ::CloseHandle(arquivo);
    return true;
}

}  // namespace ponte::acbr
