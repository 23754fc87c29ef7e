// The load attempts at arm's length and the guard around the component
// library's call: foreign code that faults, ends its process or hangs costs
// one answer, never the program.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/fault_guard.h"
#include "platform/win32/handles.h"
#include "platform/win32/kernel32_win32.h"
#include "platform/win32/utf16.h"
#include "probe/helper_win32.h"
#include "probe/load_probe_win32.h"
#include "probe/protocol.h"
#include "support/build_paths.h"
#include "support/child_processes.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

using win32::run_guarded;
using win32::ScopedHandle;

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

void throws_past(void*) { throw std::runtime_error("not the guard's to take"); }

// A C++ exception that leaves the call leaves the guard as it found it: no
// guard pointing into a gone frame, the filter of last resort put back.
TEST(FaultGuard, ExceptionPassingThroughPutsEverythingBack) {
  const LPTOP_LEVEL_EXCEPTION_FILTER before = SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(before);
  EXPECT_THROW(run_guarded(throws_past, nullptr), std::runtime_error);
  EXPECT_EQ(SetUnhandledExceptionFilter(before), before);
  EXPECT_EQ(run_guarded(writes_through_null, nullptr),
            static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

struct Load {
  std::filesystem::path file;
  HMODULE module = nullptr;
};
void load_library(void* context) {
  auto* load = static_cast<Load*>(context);
  load->module = LoadLibraryW(load->file.c_str());
}

// A library whose initialisation faults, loaded in this process under the
// guard, costs its load and nothing else. Wine's loader catches a fault in
// DllMain itself and fails the load; where a loader lets it through, the
// guard takes it.
TEST(FaultGuard, LibraryWhoseInitialisationFaultsCostsOnlyItsLoad) {
  Load load{testing::fixture_file(L"fixture_faults.dll")};
  if (load.file.empty() || !std::filesystem::exists(load.file))
    GTEST_SKIP() << "the fixture libraries are not built";
  const DWORD code = run_guarded(load_library, &load);
  EXPECT_EQ(load.module, nullptr);
  EXPECT_TRUE(code == 0 || code == static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION)) << code;
  std::printf("[          ] a fault in DllMain was caught by %s\n",
              code == 0 ? "the system's loader" : "the fault guard");
  EXPECT_EQ(run_guarded(writes_through_null, nullptr),
            static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

// --- The load probe ------------------------------------------------------------

std::string fixture(const wchar_t* name) {
  const std::filesystem::path file = testing::fixture_file(name);
  return file.empty() ? std::string() : win32::to_utf8(file.wstring());
}

// The helpers running for this program: its own child processes.
std::vector<DWORD> helpers() { return testing::child_processes(GetCurrentProcessId()); }

bool same_path(const std::string& a, const std::string& b) {
  return CompareStringOrdinal(win32::to_wide(a).c_str(), -1, win32::to_wide(b).c_str(), -1,
                              TRUE) == CSTR_EQUAL;
}

TEST(LoadProbeSwitch, OnlyTheSwitchWithItsThreeHandlesMakesAHelper) {
  EXPECT_TRUE(win32::is_load_probe_helper(
      L"\"C:\\P\\Pelko_Files.exe\" --tarnwick-load-probe-helper 12 16 20"));
  EXPECT_TRUE(win32::is_load_probe_helper(L"x --tarnwick-load-probe-helper 1 2 3  "));
  EXPECT_FALSE(win32::is_load_probe_helper(L"x --tarnwick-load-probe-helper"));
  EXPECT_FALSE(win32::is_load_probe_helper(L"x --tarnwick-load-probe-helper 1 2"));
  EXPECT_FALSE(win32::is_load_probe_helper(L"x --tarnwick-load-probe-helper 1 2 3 /report"));
  EXPECT_FALSE(win32::is_load_probe_helper(L"x /report --tarnwick-load-probe-helper"));
  EXPECT_FALSE(win32::is_load_probe_helper(nullptr));
}

class LoadProbeAtArmsLength : public ::testing::Test {
 protected:
  void SetUp() override {
    if (fixture(L"fixture_next.dll").empty() ||
        !std::filesystem::exists(testing::fixture_file(L"fixture_next.dll")))
      GTEST_SKIP() << "the fixture libraries are not built";
  }
  win32::Win32LoadProbe probe;
};

// A DllMain that throws or faults, and a library whose thread ends its
// process while the next name loads, are the hostile-machine suite's inputs,
// checked there by the report's lines.
TEST_F(LoadProbeAtArmsLength, EachHostileLibraryCostsOnlyItsOwnAnswer) {
  const std::string good = fixture(L"fixture_v1234.dll");
  const LoadAnswer first = probe.try_load(good);
  EXPECT_TRUE(first.loads);
  EXPECT_TRUE(same_path(first.details.loaded_from, good)) << first.details.loaded_from;
  // Its death is charged only once a fresh helper, given it first, died too.
  const LoadAnswer exits = probe.try_load(fixture(L"fixture_exits.dll"));
  EXPECT_FALSE(exits.loads);
  EXPECT_TRUE(exits.details.ended);
  EXPECT_EQ(exits.details.exit_code, 7u);
  EXPECT_TRUE(probe.try_load(good).loads);
  const LoadAnswer refuses = probe.try_load(fixture(L"fixture_initfails.dll"));
  EXPECT_FALSE(refuses.loads);
  EXPECT_FALSE(refuses.details.ended);
  EXPECT_EQ(refuses.details.error, static_cast<std::uint32_t>(ERROR_DLL_INIT_FAILED));
  EXPECT_FALSE(refuses.details.message.empty());
  EXPECT_NE(refuses.details.message.back(), '\n');
  const LoadAnswer text = probe.try_load(fixture(L"fixture_text.dll"));
  EXPECT_FALSE(text.loads);
  EXPECT_TRUE(text.details.error.has_value());
  EXPECT_TRUE(text.details.loaded_from.empty());
  EXPECT_TRUE(probe.try_load(good).loads);
  // One that talks on the standard handles is heard by nobody; one that
  // writes answer-like lines and a half line on every pipe it can find is
  // ignored; the answers after them stay in step, from the same helper.
  const std::vector<DWORD> helper_before = helpers();
  EXPECT_EQ(helper_before.size(), 1u);
  EXPECT_TRUE(probe.try_load(fixture(L"fixture_chatty.dll")).loads);
  EXPECT_FALSE(probe.try_load(fixture(L"fixture_initfails.dll")).loads);
  const LoadAnswer junk = probe.try_load(fixture(L"fixture_junk.dll"));
  EXPECT_TRUE(junk.loads);
  EXPECT_TRUE(same_path(junk.details.loaded_from, fixture(L"fixture_junk.dll")))
      << junk.details.loaded_from;
  EXPECT_FALSE(probe.try_load(fixture(L"fixture_initfails.dll")).loads);
  EXPECT_TRUE(probe.try_load(good).loads);
  EXPECT_EQ(helpers(), helper_before) << "a helper was lost on the junk";
  // A library whose unload code ends the helper keeps the answer it had,
  // and costs the next name nothing.
  EXPECT_TRUE(probe.try_load(fixture(L"fixture_unload_exits.dll")).loads);
  EXPECT_TRUE(probe.try_load(good).loads);
  EXPECT_FALSE(probe.loads_in_process());
  // Nothing of it reached this process.
  EXPECT_EQ(GetModuleHandleW(win32::to_wide(good).c_str()), nullptr);
  probe.finish();
}

TEST_F(LoadProbeAtArmsLength, LibraryThatNeverReturnsIsGivenUpOn) {
  // Its helper's first question: the hang is charged to it at once.
  const LoadAnswer hangs = probe.try_load(fixture(L"fixture_hangs.dll"));
  EXPECT_FALSE(hangs.loads);
  EXPECT_TRUE(hangs.details.timed_out);
  EXPECT_FALSE(hangs.details.ended);
  EXPECT_TRUE(helpers().empty()) << "the helper that hung is still running";
  EXPECT_TRUE(probe.try_load(fixture(L"fixture_v1234.dll")).loads);
}

// A helper holds nothing of the program but its own pipes while it runs, and
// nothing at all once its last answer is in: it is ended there and then,
// before any library's unload code could run.
TEST_F(LoadProbeAtArmsLength, HelperHoldsNoOtherHandleAndEndsAtItsLastAnswer) {
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE reader = nullptr, writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, &inheritable, 0));
  EXPECT_TRUE(probe.try_load(fixture(L"fixture_v1234.dll")).loads);  // a helper is up
  CloseHandle(writer);
  DWORD waiting = 0;
  const BOOL open = PeekNamedPipe(reader, nullptr, 0, nullptr, &waiting, nullptr);
  const DWORD error = GetLastError();
  CloseHandle(reader);
  EXPECT_FALSE(open) << "the helper still holds the program's end of the pipe";
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_BROKEN_PIPE));

  const std::vector<DWORD> running = helpers();
  ASSERT_EQ(running.size(), 1u);
  ScopedHandle helper(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                  running.front()));
  ASSERT_TRUE(helper);
  probe.finish();
  // Not a timing claim: only a bound on a wait that must end.
  ASSERT_EQ(WaitForSingleObject(helper.get(), 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(helper.get(), &code));
  EXPECT_EQ(code, win32::kHelperEndedByProgram);
}

// A helper that no job holds, as where the system refuses the program's job,
// still ends with its program: it watches the program itself. The program
// here is a stand-in, a copy of this test program that never runs.
TEST_F(LoadProbeAtArmsLength, HelperOutsideAnyJobEndsWithItsProgram) {
  const std::wstring self = win32::own_file_name();
  std::wstring stand_in_line = L"\"" + self + L"\" --gtest_list_tests";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION stand_in{};
  ASSERT_TRUE(CreateProcessW(self.c_str(), stand_in_line.data(), nullptr, nullptr, FALSE,
                             CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                             &stand_in));
  ScopedHandle program(stand_in.hProcess), program_thread(stand_in.hThread);

  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE input = nullptr, to_helper = nullptr, from_helper = nullptr, output = nullptr;
  HANDLE watched = nullptr;
  ASSERT_TRUE(CreatePipe(&input, &to_helper, &inheritable, 0));
  ASSERT_TRUE(CreatePipe(&from_helper, &output, &inheritable, 0));
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), program.get(), GetCurrentProcess(), &watched,
                              SYNCHRONIZE, TRUE, 0));
  ScopedHandle owners[] = {ScopedHandle(input), ScopedHandle(to_helper),
                           ScopedHandle(from_helper), ScopedHandle(output),
                           ScopedHandle(watched)};
  std::wstring line = L"\"" + self + L"\" --tarnwick-load-probe-helper ";
  for (HANDLE handle : {input, output, watched})
    line += std::to_wstring(reinterpret_cast<std::uintptr_t>(handle)) + L" ";
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(win32::start_helper_process(self, line, {input, output, watched}, started));
  ScopedHandle helper(started.hProcess), helper_thread(started.hThread);
  ResumeThread(helper_thread.get());
  // Its token comes first on its input; every line it writes is signed
  // with it. Lines that ask nothing are passed over, and the question after
  // them is answered under its own id.
  probe::LineReader reader;
  const auto next_line = [&] {
    for (;;) {
      while (auto line = reader.next())
        if (!line->empty()) return *line;
      char chunk[512];
      DWORD read = 0;
      if (!ReadFile(from_helper, chunk, sizeof(chunk), &read, nullptr) || read == 0) return std::string();
      reader.feed(std::string_view(chunk, read));
    }
  };
  const std::string opening = "c0ffee\n";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(to_helper, opening.data(), static_cast<DWORD>(opening.size()), &written, nullptr));
  EXPECT_EQ(next_line(), R"({"token":"c0ffee","ready":true})");
  const std::string asked = "load x.dll\n\n7 load\n{\"id\":1}\n5 load " +
                            fixture(L"fixture_initfails.dll") + "\n";
  ASSERT_TRUE(WriteFile(to_helper, asked.data(), static_cast<DWORD>(asked.size()), &written, nullptr));
  const auto answer = probe::read_helper_line(next_line(), "c0ffee");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->kind, probe::HelperLine::Kind::answer);
  EXPECT_EQ(answer->id, 5u);
  EXPECT_FALSE(answer->answer.loads);
  EXPECT_EQ(answer->answer.details.error, static_cast<std::uint32_t>(ERROR_DLL_INIT_FAILED));
  const auto done = probe::read_helper_line(next_line(), "c0ffee");
  ASSERT_TRUE(done);
  EXPECT_EQ(done->kind, probe::HelperLine::Kind::done);
  EXPECT_EQ(done->id, 5u);

  TerminateProcess(program.get(), 0);
  // Not a timing claim: only a bound on a wait that must end.
  ASSERT_EQ(WaitForSingleObject(helper.get(), 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(helper.get(), &code));
  EXPECT_EQ(code, win32::kHelperEndedWithProgram);
}

// Whatever a probed library starts is ended with its helper: the helper's
// job holds it too.
TEST_F(LoadProbeAtArmsLength, ProcessALibraryStartsEndsWithItsHelper) {
  EXPECT_TRUE(probe.try_load(fixture(L"fixture_spawns.dll")).loads);
  const std::vector<DWORD> running = helpers();
  ASSERT_EQ(running.size(), 1u);
  // The system may start a process of its own beside it (Wine starts a
  // console host): all of them are the helper's to end.
  std::vector<ScopedHandle> started;
  for (DWORD id : testing::child_processes(running.front()))
    if (HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, id)) started.emplace_back(child);
  ASSERT_FALSE(started.empty()) << "the library started no process";
  for (const ScopedHandle& child : started)
    EXPECT_EQ(WaitForSingleObject(child.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "it ended by itself";
  probe.finish();
  // Not a timing claim: only a bound on a wait that must end.
  for (const ScopedHandle& child : started)
    EXPECT_EQ(WaitForSingleObject(child.get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
}

// Where the program's path is too long to start a process from, the helper
// is started through the path's short form, which names the same file.
TEST(StartablePath, ShortFormWhereTheFullPathIsTooLong) {
  testing::TempFolder temp;
  std::filesystem::path deep = temp.path();
  while (deep.wstring().size() <= 300) deep /= L"a rather long folder name for depth";
  std::filesystem::create_directories(deep);
  const std::filesystem::path file = deep / L"Pelko Files.exe";
  std::filesystem::copy_file(testing::fixture_file(L"fixture_v1234.dll"), file);
  const std::wstring startable = win32::startable_path(file.wstring());
  ASSERT_FALSE(startable.empty());
  EXPECT_LT(startable.size(), static_cast<std::size_t>(MAX_PATH));
  const auto identity = [](const std::wstring& path) {
    ScopedHandle opened(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!opened || !GetFileInformationByHandle(opened.get(), &information)) return std::string();
    return std::to_string(information.dwVolumeSerialNumber) + ":" +
           std::to_string(information.nFileIndexHigh) + ":" +
           std::to_string(information.nFileIndexLow);
  };
  const std::string original = identity(L"\\\\?\\" + file.wstring());
  ASSERT_FALSE(original.empty());
  EXPECT_EQ(identity(startable), original) << win32::to_utf8(startable);
  // A path that fits is taken as it is; one too long with no file has none.
  EXPECT_EQ(win32::startable_path(L"C:\\P\\Pelko_Files.exe"), L"C:\\P\\Pelko_Files.exe");
  EXPECT_EQ(win32::startable_path((deep / L"absent.exe").wstring()), L"");
}

// Starts as the system would, until told to refuse; counts the attempts.
struct Starts {
  int allowed = 0;
  int attempts = 0;
  win32::StartHelper starter() {
    return [this](const std::wstring& program, std::wstring& command_line,
                  const std::vector<HANDLE>& inherited, PROCESS_INFORMATION& started) {
      if (++attempts > allowed) return false;
      return win32::start_helper_process(program, command_line, inherited, started);
    };
  }
};

// Where the system starts no helper at all, the loads are made here, and the
// probe says so; the component is then left to the program's guarded call.
TEST_F(LoadProbeAtArmsLength, SystemThatStartsNoHelperLeavesTheLoadsHere) {
  Starts starts;
  win32::Win32LoadProbe refused{starts.starter()};
  EXPECT_TRUE(refused.component_answers());
  const std::string good = fixture(L"fixture_v1234.dll");
  const LoadAnswer here = refused.try_load(good);
  EXPECT_TRUE(here.loads);
  EXPECT_TRUE(same_path(here.details.loaded_from, good)) << here.details.loaded_from;
  EXPECT_FALSE(refused.try_load(fixture(L"fixture_initfails.dll")).loads);
  EXPECT_TRUE(refused.loads_in_process());
  EXPECT_EQ(starts.attempts, 2) << "the first start and its one retry";
  EXPECT_TRUE(helpers().empty());
  EXPECT_EQ(GetModuleHandleW(win32::to_wide(good).c_str()), nullptr) << "released again";
}

// A replacement helper the system refuses gets one more try; after that the
// loads are made here, but never the one a helper was just lost on.
TEST_F(LoadProbeAtArmsLength, ReplacementThatCannotStartIsTriedOnceMore) {
  Starts starts;
  starts.allowed = 1;
  win32::Win32LoadProbe probe_of_one{starts.starter()};
  const std::string good = fixture(L"fixture_v1234.dll");
  EXPECT_TRUE(probe_of_one.try_load(good).loads);
  EXPECT_FALSE(probe_of_one.loads_in_process());
  // Not its helper's first question, so no proof; no helper can test it
  // again, and it is not let into this process either.
  const LoadAnswer exits = probe_of_one.try_load(fixture(L"fixture_exits.dll"));
  EXPECT_FALSE(exits.loads);
  EXPECT_TRUE(exits.details.ended);
  EXPECT_EQ(starts.attempts, 3);
  EXPECT_TRUE(probe_of_one.try_load(good).loads);
  EXPECT_TRUE(probe_of_one.loads_in_process());
  EXPECT_EQ(starts.attempts, 3) << "no start is tried once the loads are made here";
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
    win32::Win32LoadProbe fresh;
    const bool answers = fresh.component_answers();
    fresh.finish();
    SetCurrentDirectoryW(old);
    return answers;
  }
};

// Every helper answers from the same state. The component's call loads a
// library from a folder below its own, and a suite library imports that
// library by name: it loads only where the call was made. A library that
// ends its helper costs two helpers; the third still calls the component
// before it loads the suite library.
TEST_F(ComponentAtArmsLength, ReplacementHelperRepeatsTheComponentsCallFirst) {
  testing::TempFolder temp;
  std::filesystem::copy_file(testing::fixture_file(L"ktr_standin_below.dll"),
                             temp.path() / L"KTR_Intel_Win32.dll");
  std::filesystem::create_directory(temp.path() / L"deps");
  std::filesystem::copy_file(testing::fixture_file(L"fixture_below.dll"),
                             temp.path() / L"deps" / L"below_0000.dll");
  const std::string needs = fixture(L"fixture_needs_below.dll");
  wchar_t old[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH + 1, old);
  SetCurrentDirectoryW(temp.path().c_str());
  {
    win32::Win32LoadProbe without_call;
    EXPECT_FALSE(without_call.try_load(needs).loads) << "loads without the component's call";
  }
  win32::Win32LoadProbe fresh;
  EXPECT_TRUE(fresh.component_answers());
  EXPECT_TRUE(fresh.try_load(needs).loads);
  const LoadAnswer exits = fresh.try_load(fixture(L"fixture_exits.dll"));
  EXPECT_TRUE(exits.details.ended);
  const LoadAnswer after = fresh.try_load(needs);
  EXPECT_TRUE(after.loads) << after.details.message;
  EXPECT_FALSE(fresh.loads_in_process());
  fresh.finish();
  SetCurrentDirectoryW(old);
}

TEST_F(ComponentAtArmsLength, AnswersOnlyWhenTheQueryComesBack) {
  EXPECT_TRUE(answers_with(L"KTR_Intel_Win32.dll"));
  EXPECT_FALSE(answers_with(L"fixture_ktr_fault1.dll")) << "faults everywhere";
  EXPECT_FALSE(answers_with(L"fixture_ktr_fault2.dll")) << "ends its process";
  EXPECT_TRUE(answers_with(L"fixture_ktr_fault3.dll")) << "faults only outside the helper";
  EXPECT_TRUE(answers_with(L"fixture_ktr_fault4.dll")) << "its load faults only outside it";
  EXPECT_FALSE(answers_with(L"fixture_text.dll")) << "not a library";
}

}  // namespace
}  // namespace tarnwick
