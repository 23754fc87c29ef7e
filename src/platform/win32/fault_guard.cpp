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

// The guard in progress and the filter of last resort, for the life of a
// guarded call, put back however the call is left: a C++ exception passing
// through must not leave a guard behind that points into a gone frame.
class GuardInPlace {
 public:
  explicit GuardInPlace(Guard& guard)
      : outer_(active_guard), previous_filter_(SetUnhandledExceptionFilter(on_unhandled)) {
    active_guard = &guard;
  }
  ~GuardInPlace() {
    SetUnhandledExceptionFilter(previous_filter_);
    active_guard = outer_;
  }
  GuardInPlace(const GuardInPlace&) = delete;
  GuardInPlace& operator=(const GuardInPlace&) = delete;

 private:
  Guard* const outer_;
  const LPTOP_LEVEL_EXCEPTION_FILTER previous_filter_;
};

}  // namespace

DWORD run_guarded(void (*call)(void*), void* context) {
  Guard guard;
  guard.thread = GetCurrentThreadId();
#if defined(_M_IX86) || defined(__i386__)
  guard.handler_chain = read_handler_chain();
#endif
  const GuardInPlace in_place(guard);
  return guarded(guard, call, context);
}

#endif

}  // namespace tarnwick::win32
