/* A library with one of each thing the image reader reads: imports by name
   and by ordinal, a delayed import, exports by name and by ordinal alone, a
   forwarder, and a manifest. Nothing here is ever run. */
#include <windows.h>

__declspec(dllimport) int reader_ordinal_only(void);
__declspec(dllimport) int reader_delayed_call(void);

int reader_named_export(void) {
  return (int)GetTickCount() + reader_ordinal_only() + reader_delayed_call();
}

int reader_hidden_export(void) { return 7; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
