// Built with the launcher's own runtime and flags (framework/lean_runtime.cpp): makes one
// allocation and writes MARK only when the program goes on after it.
//   lean_runtime_probe BYTES MARK      a block of BYTES (decimal)
//   lean_runtime_probe too-long MARK   a string longer than its maximum length
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    std::vector<char> block;
    if (wcscmp(argv[1], L"too-long") == 0) {
        std::wstring text;
        text.reserve(text.max_size() + 1);
    } else {
        const size_t bytes = static_cast<size_t>(_wcstoui64(argv[1], nullptr, 10));
        if (bytes == 0) return 2;
        block.resize(bytes);
        block[bytes - 1] = 1;
    }

    HANDLE mark = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark == INVALID_HANDLE_VALUE) return 2;
    DWORD written = 0;
    WriteFile(mark, block.data(), block.size() < 16 ? static_cast<DWORD>(block.size()) : 16, &written, nullptr);
    CloseHandle(mark);
    return 0;
}
