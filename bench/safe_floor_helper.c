/* The safe floor's helper: the least a process can be that tries foreign
   libraries for another. It imports kernel32 alone and has no C runtime. It
   loads the component library and asks its version, answers, then reads the
   table's names from its input and answers for each one it has not loaded
   itself whether a load succeeds. One byte per answer: 'y' or 'n', or 'l'
   for a name this process already holds. */
#include <stdint.h>
#include <windows.h>

typedef void(WINAPI* version_query)(int32_t*, int32_t*, int32_t*);

static void answer(HANDLE output, char byte)
{
    DWORD written = 0;
    WriteFile(output, &byte, 1, &written, NULL);
}

static char try_name(const wchar_t* name)
{
    HMODULE module;
    if (GetModuleHandleW(name) != NULL)
        return 'l';
    module = LoadLibraryW(name);
    if (module == NULL)
        return 'n';
    FreeLibrary(module);
    return 'y';
}

void WINAPI helper_main(void)
{
    static char received[8192];
    wchar_t name[MAX_PATH];
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    HMODULE component;
    DWORD length = 0, read = 0, at, start, i;
    char verdict = 'n';

    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    component = LoadLibraryW(L"KTR_Intel_Win32.dll");
    if (component != NULL) {
        version_query query = (version_query)(void*)GetProcAddress(component, "KTR_DLL_VERSION");
        if (query != NULL) {
            int32_t bytes = 0, major = 0, minor = 0;
            query(&bytes, &major, &minor);
            verdict = 'y';
        }
    }
    answer(output, verdict);

    /* Names come one per line, ASCII, until the input closes. */
    while (length < sizeof(received) &&
           ReadFile(input, received + length, sizeof(received) - length, &read, NULL) && read > 0)
        length += read;
    for (at = 0, start = 0; at < length; ++at) {
        if (received[at] != '\n')
            continue;
        for (i = 0; start + i < at && i < MAX_PATH - 1; ++i)
            name[i] = (wchar_t)(unsigned char)received[start + i];
        name[i] = 0;
        answer(output, try_name(name));
        start = at + 1;
    }
    ExitProcess(0);
}
