#include "TextFileWin.h"

#include "common/Errors.h"
#include "common/Handles.h"
#include "common/Win32Error.h"

#include <algorithm>

namespace textfile {
namespace {

void WriteAllOrThrow(HANDLE h, const std::wstring& path, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        DWORD chunk = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
        DWORD written = 0;
        if (!::WriteFile(h, p, chunk, &written, nullptr) || written != chunk)
            throw EInOutError(L"Ошибка записи файла \"" + path + L"\". " + SysErrorMessage(::GetLastError()));
        p += chunk;
        n -= chunk;
    }
}

}  // namespace

std::vector<uint8_t> ReadAll(const std::wstring& path, uint64_t maxSize) {
    TFileHandle h(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) throw EFOpenError(L"Не удается открыть файл \"" + path + L"\". " + SysErrorMessage(::GetLastError()));
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h.get(), &size) || size.QuadPart < 0 || static_cast<uint64_t>(size.QuadPart) > maxSize)
        throw EInOutError(L"Недопустимый размер файла \"" + path + L"\"");
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        if (!::ReadFile(h.get(), bytes.data() + done, want, &got, nullptr))
            throw EInOutError(L"Ошибка чтения файла \"" + path + L"\". " + SysErrorMessage(::GetLastError()));
        if (got == 0) break;  // the file shrank meanwhile
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

void Rewrite(const std::wstring& path, const std::string& bytes) {
    TFileHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!h) throw EFCreateError(L"Не удается создать файл \"" + path + L"\". " + SysErrorMessage(::GetLastError()));
    WriteAllOrThrow(h.get(), path, bytes.data(), bytes.size());
    if (!::SetEndOfFile(h.get()))
        throw EInOutError(L"Ошибка записи файла \"" + path + L"\". " + SysErrorMessage(::GetLastError()));
}

void WriteNew(const std::wstring& path, const void* data, size_t n) {
    TFileHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!h) throw EFCreateError(L"Не удается создать файл \"" + path + L"\". " + SysErrorMessage(::GetLastError()));
    WriteAllOrThrow(h.get(), path, data, n);
}

std::wstring DecodeText(const std::vector<uint8_t>& bytes, textlines::TBomInfo& bom) {
    bom = textlines::DetectBom(bytes.data(), bytes.size());
    if (bom.Encoding == textlines::TTextEncoding::Ansi)
        return AnsiToWide(std::string(bytes.begin(), bytes.end()));
    return textlines::DecodeUnicode(bom.Encoding, bytes.data() + bom.BomLength, bytes.size() - bom.BomLength);
}

std::string EncodeText(const std::wstring& text, textlines::TTextEncoding e) {
    if (e == textlines::TTextEncoding::Ansi) return WideToAnsi(text);
    return textlines::BomBytes(e) + textlines::EncodeUnicode(e, text);
}

}  // namespace textfile
