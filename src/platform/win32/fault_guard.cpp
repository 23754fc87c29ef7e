#include "platform/win32/fault_guard.h"

namespace tarnwick::win32 {

#if defined(_MSC_VER)

// The compiler's own structured exception handling: the filter runs only
// after every handler of the callee has declined.
DWORD run_guarded(void (*call)(void*), void* context) {
  DWORD code = 0;
  __try {
    call(context);
  } __except (code = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
  }
  return code;
}

#else

// GCC has no __try: the filter of last resort jumps back into the guarded
// frame instead.
namespace {

// The one guarded call in progress. The filter below is asked for every
// exception no frame handler took, on the faulting thread; only a fault of
// the guarding thread during its call is ours.
struct Guard {
  void* jump[5];  // __builtin_setjmp's buffer
  DWORD thread = 0;
  DWORD code = 0;
#if defined(_M_IX86) || defined(__i386__)
  // The head of the i386 handler chain when the call began: the frames the
  // callee and the dispatcher pushed are gone after the jump back.
  void* handler_chain = nullptr;
#endif
};

Guard* active_guard = nullptr;

#if defined(_M_IX86) || defined(__i386__)
void* read_handler_chain() {
  void* head;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
void write_handler_chain(void* head) { __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }
#endif

LONG WINAPI on_unhandled(EXCEPTION_POINTERS* exception) {
  Guard* guard = active_guard;
  if (guard == nullptr || guard->thread != GetCurrentThreadId())
    return EXCEPTION_CONTINUE_SEARCH;
  guard->code = exception->ExceptionRecord->ExceptionCode;
#if defined(_M_IX86) || defined(__i386__)
  write_handler_chain(guard->handler_chain);
#endif
  __builtin_longjmp(guard->jump, 1);
}

// Kept out of line so that nothing of run_guarded lives in registers the
// jump back would not restore.
__attribute__((noinline)) DWORD guarded(Guard& guard, void (*call)(void*), void* context) {
  if (__builtin_setjmp(guard.jump) == 0) {
    call(context);
    return 0;
  }
  return guard.code;
}

}  // namespace

DWORD run_guarded(void (*call)(void*), void* context) {
  Guard guard;
  guard.thread = GetCurrentThreadId();
#if defined(_M_IX86) || defined(__i386__)
  guard.handler_chain = read_handler_chain();
#endif
  Guard* const outer = active_guard;
  active_guard = &guard;
  const LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(on_unhandled);
  const DWORD code = guarded(guard, call, context);
  SetUnhandledExceptionFilter(previous);
  active_guard = outer;
  return code;
}

#endif

}  // namespace tarnwick::win32
