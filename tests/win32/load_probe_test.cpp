// The load attempts at arm's length and the guard around the component
// library's call: foreign code that faults, ends its process or hangs costs
// one answer, never the program.

#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32/fault_guard.h"
#include "platform/win32/kernel32_win32.h"
#include "platform/win32/load_probe_win32.h"
#include "platform/win32/utf16.h"
#include "support/build_paths.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

using win32::run_guarded;

// --- The fault guard ------------------------------------------------------------

void returns(void* context) { *static_cast<int*>(context) = 42; }

void writes_through_null(void*) { *static_cast<volatile int*>(nullptr) = 1; }

constexpr DWORD kOwnCode = 0xE0544B57;  // a code of our own, not continuable
void raises(void*) { RaiseException(kOwnCode, EXCEPTION_NONCONTINUABLE, 0, nullptr); }

LONG CALLBACK continue_after_own_code(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode != kOwnCode + 1) return EXCEPTION_CONTINUE_SEARCH;
  return EXCEPTION_CONTINUE_EXECUTION;
}

// A callee that handles its own exceptions: one through a handler of its own
// that lets it go on, one thrown and caught in C++ (which 64-bit code
// dispatches as a structured exception, too).
void handles_its_own(void* context) {
  auto* reached = static_cast<int*>(context);
  PVOID handler = AddVectoredExceptionHandler(1, continue_after_own_code);
  RaiseException(kOwnCode + 1, 0, 0, nullptr);
  RemoveVectoredExceptionHandler(handler);
  *reached = 1;
  try {
    throw std::runtime_error("caught below");
  } catch (const std::runtime_error&) {
    *reached = 2;
  }
}

TEST(FaultGuard, CallThatReturnsReportsNoFault) {
  int value = 0;
  EXPECT_EQ(run_guarded(returns, &value), 0u);
  EXPECT_EQ(value, 42);
}

TEST(FaultGuard, FaultsEndTheCallNotTheProgramAgainAndAgain) {
  // A second and third fault show that the first left the process's
  // exception handling intact.
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(run_guarded(writes_through_null, nullptr),
              static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION))
        << "round " << round;
    EXPECT_EQ(run_guarded(raises, nullptr), kOwnCode) << "round " << round;
  }
  int value = 0;
  EXPECT_EQ(run_guarded(returns, &value), 0u);
  EXPECT_EQ(value, 42);
}

TEST(FaultGuard, ExceptionTheCalleeHandlesStaysItsOwn) {
  int reached = 0;
  EXPECT_EQ(run_guarded(handles_its_own, &reached), 0u);
  EXPECT_EQ(reached, 2);
}

// --- The load probe ------------------------------------------------------------

std::string fixture(const wchar_t* name) {
  const std::filesystem::path file = testing::fixture_file(name);
  return file.empty() ? std::string() : win32::to_utf8(file.wstring());
}

class LoadProbeAtArmsLength : public ::testing::Test {
 protected:
  void SetUp() override {
    if (fixture(L"fixture_exits.dll").empty() ||
        !std::filesystem::exists(testing::fixture_file(L"fixture_exits.dll")))
      GTEST_SKIP() << "the fixture libraries are not built";
  }
  win32::Win32Kernel32 kernel32;
  win32::Win32LoadProbe probe{kernel32};
};

TEST_F(LoadProbeAtArmsLength, EachHostileLibraryCostsOnlyItsOwnAnswer) {
  const std::string good = fixture(L"fixture_v1234.dll");
  EXPECT_TRUE(probe.can_load(good));
  EXPECT_FALSE(probe.can_load(fixture(L"fixture_exits.dll")));
  EXPECT_TRUE(probe.can_load(good));
  EXPECT_FALSE(probe.can_load(fixture(L"fixture_throws.dll")));
  EXPECT_FALSE(probe.can_load(fixture(L"fixture_faults.dll")));
  EXPECT_FALSE(probe.can_load(fixture(L"fixture_initfails.dll")));
  EXPECT_FALSE(probe.can_load(fixture(L"fixture_text.dll")));
  EXPECT_TRUE(probe.can_load(good));
  // One that talks on the standard handles is heard by nobody, and the
  // answers after it stay in step.
  const int before_chatty = probe.helpers_started();
  EXPECT_TRUE(probe.can_load(fixture(L"fixture_chatty.dll")));
  EXPECT_FALSE(probe.can_load(fixture(L"fixture_initfails.dll")));
  EXPECT_TRUE(probe.can_load(good));
  EXPECT_EQ(probe.helpers_started(), before_chatty);
  // The one that ends its process took a helper with it. (The throwing one
  // aborts its process on i386; where C++ exceptions are structured ones, as
  // on x86_64, the system's loader catches it and only the load fails.)
  EXPECT_GE(probe.helpers_started(), 2);
  EXPECT_FALSE(probe.fell_back());
  // Nothing of it reached this process.
  EXPECT_EQ(GetModuleHandleW(win32::to_wide(good).c_str()), nullptr);
  probe.finish();
}

TEST_F(LoadProbeAtArmsLength, LibraryThatNeverReturnsIsGivenUpOn) {
  const ULONGLONG before = GetTickCount64();
  EXPECT_FALSE(probe.can_load(fixture(L"fixture_hangs.dll")));
  EXPECT_TRUE(probe.can_load(fixture(L"fixture_v1234.dll")));
  EXPECT_EQ(probe.helpers_started(), 2);
  // Not a timing claim: only that the wait ended at all, long before the
  // test's own limit.
  EXPECT_LT(GetTickCount64() - before, 60000u);
}

// A helper holds nothing of the program but its own pipes: a pipe the
// program hands on, its standard output for one, must see its end when the
// program closes it, even while a helper lives.
TEST_F(LoadProbeAtArmsLength, HelperHoldsNoOtherHandleOfTheProgram) {
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE reader = nullptr, writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, &inheritable, 0));
  EXPECT_TRUE(probe.can_load(fixture(L"fixture_v1234.dll")));  // a helper is up
  CloseHandle(writer);
  DWORD waiting = 0;
  const BOOL open = PeekNamedPipe(reader, nullptr, 0, nullptr, &waiting, nullptr);
  const DWORD error = GetLastError();
  CloseHandle(reader);
  EXPECT_FALSE(open) << "the helper still holds the program's end of the pipe";
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_BROKEN_PIPE));
  probe.finish();
}

// The helper runs in the current folder of the moment it starts, as the
// program's own load would.
class ComponentAtArmsLength : public LoadProbeAtArmsLength {
 protected:
  bool answers_with(const wchar_t* stand_in) {
    testing::TempFolder temp;
    std::filesystem::copy_file(testing::fixture_file(stand_in),
                               temp.path() / L"KTR_Intel_Win32.dll");
    wchar_t old[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, old);
    SetCurrentDirectoryW(temp.path().c_str());
    win32::Win32LoadProbe fresh{kernel32};
    const bool answers = fresh.component_answers();
    fresh.finish();
    SetCurrentDirectoryW(old);
    return answers;
  }
};

TEST_F(ComponentAtArmsLength, AnswersOnlyWhenTheQueryComesBack) {
  EXPECT_TRUE(answers_with(L"KTR_Intel_Win32.dll"));
  EXPECT_FALSE(answers_with(L"fixture_ktr_fault1.dll")) << "faults everywhere";
  EXPECT_FALSE(answers_with(L"fixture_ktr_fault2.dll")) << "ends its process";
  EXPECT_TRUE(answers_with(L"fixture_ktr_fault3.dll")) << "faults only outside the helper";
  EXPECT_FALSE(answers_with(L"fixture_text.dll")) << "not a library";
}

}  // namespace
}  // namespace tarnwick
