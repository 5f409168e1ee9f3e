// Functions of system libraries looked up by name at run time: where a system may lack one,
// or where importing it would make the loader look for its library before any code of ours
// has restricted where libraries come from.
#pragma once

#include <windows.h>

// proc as the function type it is (through void*, which the cast between function pointer
// types would warn about).
template <class Function>
Function AsFunction(FARPROC proc) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(proc));
}

// name in module, a library already loaded into the process; null when either is missing.
template <class Function>
Function LoadedFunction(const wchar_t* module, const char* name) {
    const HMODULE loaded = GetModuleHandleW(module);
    return loaded == nullptr ? nullptr : AsFunction<Function>(GetProcAddress(loaded, name));
}
