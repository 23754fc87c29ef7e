// Why a load failed, told from the files: the system's error and its text,
// the machine of a file this process cannot take, and what a library's
// imports cannot resolve, however many levels down and however broken the
// tables that say so.

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/utf16.h"
#include "probe/api_set_map_win32.h"
#include "probe/explanation.h"
#include "probe/side_by_side_win32.h"
#include "support/build_paths.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using Missing = std::vector<std::string>;

bool is_wine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The fixtures under their own names in a folder that is the current one, so
// that a load by bare name finds them there, as the helper's would.
class ExplainFailedLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(testing::fixture_file(L"fixture_deepmissing.dll")))
      GTEST_SKIP() << "the fixture libraries are not built";
    for (const wchar_t* name :
         {L"fixture_deepmissing.dll", L"fixture_missingimport.dll", L"fixture_nosuchentry.dll",
          L"fixture_v1234.dll", L"fixture_initfails.dll", L"fixture_text.dll",
          L"fixture_empty.dll", L"fixture_loop_a.dll", L"fixture_loop_b.dll",
          L"fixture_imports_cut.dll", L"fixture_imports_outside.dll",
          L"fixture_other_word_size.dll", L"fixture_forwarder.dll", L"fixture_forward_user.dll",
          L"fixture_needs_other.dll", L"fixture_other_only.dll", L"fixture_delayinit.dll",
          L"fixture_absent_contract.dll", L"fixture_defined_contract.dll",
          L"fixture_sxs_missing.dll"})
      fs::copy_file(testing::fixture_file(name), temp_.path() / name);
    previous_ = fs::current_path();
    fs::current_path(temp_.path());
  }
  void TearDown() override {
    if (!previous_.empty()) fs::current_path(previous_);
  }

  // The system's own attempt, then the explanation of its failure.
  LoadDetails load(const wchar_t* name) {
    LoadDetails details;
    HMODULE module = LoadLibraryW(name);
    const DWORD error = GetLastError();
    if (module != nullptr) {
      FreeLibrary(module);
      ADD_FAILURE() << win32::to_utf8(name) << " loaded";
      return details;
    }
    win32::explain_failed_load(name, error, details);
    return details;
  }
  // An explanation of a failure the system was not asked for: the files are
  // too broken to let its loader at them in the test's own process.
  static LoadDetails explain(const wchar_t* name, unsigned long error) {
    LoadDetails details;
    win32::explain_failed_load(name, error, details);
    return details;
  }

  testing::TempFolder temp_;
  fs::path previous_;
};

TEST_F(ExplainFailedLoad, DependencyMissingTwoLevelsDownIsNamedAndTheOnesThereAreNot) {
  const LoadDetails details = load(L"fixture_deepmissing.dll");
  EXPECT_EQ(details.error, static_cast<std::uint32_t>(ERROR_MOD_NOT_FOUND));
  EXPECT_FALSE(details.message.empty());
  EXPECT_EQ(details.message.find_first_of("\r\n"), std::string::npos) << details.message;
  // Not the middle library, which is there; not kernel32, which the system has.
  EXPECT_EQ(details.missing, Missing{"tarnwick_absent.dll"});
  EXPECT_EQ(details.machine, "");
}

TEST_F(ExplainFailedLoad, EntryPointThePresentDependencyLacksIsNamedWithItsLibrary) {
  // Windows refuses the load (127); Wine binds a stub that faults when called
  // and loads it, so there the failure is only supposed.
  LoadDetails details;
  if (HMODULE module = LoadLibraryW(L"fixture_nosuchentry.dll")) {
    FreeLibrary(module);
    details = explain(L"fixture_nosuchentry.dll", ERROR_PROC_NOT_FOUND);
  } else {
    const DWORD error = GetLastError();
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    details = explain(L"fixture_nosuchentry.dll", error);
  }
  EXPECT_EQ(details.missing, Missing{"fixture_v1234.dll!NoSuchFunction"});
}

TEST_F(ExplainFailedLoad, LibraryItselfNowhereIsWhatIsMissing) {
  const LoadDetails details = load(L"tarnwick_nowhere.dll");
  EXPECT_EQ(details.error, static_cast<std::uint32_t>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(details.missing, Missing{"tarnwick_nowhere.dll"});
}

TEST_F(ExplainFailedLoad, InitialisationThatRefusesSaysSo) {
  const LoadDetails details = load(L"fixture_initfails.dll");
  EXPECT_EQ(details.error, static_cast<std::uint32_t>(ERROR_DLL_INIT_FAILED));
  std::string message = details.message;
  std::transform(message.begin(), message.end(), message.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  EXPECT_NE(message.find("init"), std::string::npos) << details.message;
  EXPECT_TRUE(details.missing.empty());
  EXPECT_EQ(details.machine, "");
}

TEST_F(ExplainFailedLoad, MachineOfAFileThisProcessCannotTake) {
  EXPECT_EQ(load(L"fixture_other_word_size.dll").machine, sizeof(void*) == 4 ? "x64" : "x86");
  EXPECT_EQ(load(L"fixture_text.dll").machine, "unknown");
  EXPECT_EQ(load(L"fixture_empty.dll").machine, "unknown");
  // A library of this process's own machine has none to tell.
  EXPECT_EQ(load(L"fixture_initfails.dll").machine, "");
}

// The hostile files: each costs at most its own details, never the caller.
TEST_F(ExplainFailedLoad, LoopOfImportsEndsAndNamesOnlyWhatIsAbsent) {
  for (const wchar_t* name : {L"fixture_loop_a.dll", L"fixture_loop_b.dll"}) {
    const LoadDetails details = load(name);
    EXPECT_EQ(details.missing, Missing{"tarnwick_absent.dll"}) << win32::to_utf8(name);
  }
}

TEST_F(ExplainFailedLoad, BrokenImportTablesCostOnlyTheirOwnEntries) {
  // The table begins just before the file ends: nothing of it can be read.
  EXPECT_TRUE(explain(L"fixture_imports_cut.dll", ERROR_MOD_NOT_FOUND).missing.empty());
  // The first entry names its library and entry points far outside the file;
  // the entry after it still tells.
  EXPECT_EQ(explain(L"fixture_imports_outside.dll", ERROR_MOD_NOT_FOUND).missing,
            Missing{"tarnwick_absent.dll"});
}

TEST_F(ExplainFailedLoad, ForwardedEntriesAreFollowedToTheirTargets) {
  // The forwarding library is there; one forwarder's target library is not,
  // the other's lacks the entry. The forwarding library's own missing import
  // comes after them: it is a level further down.
  const LoadDetails details = load(L"fixture_forward_user.dll");
  EXPECT_EQ(details.error, static_cast<std::uint32_t>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(details.missing, (Missing{"tarnwick_forward_target.dll",
                                      "fixture_v1234.dll!NoSuchExport", "tarnwick_absent.dll"}));
}

TEST_F(ExplainFailedLoad, DependencyFoundOnlyForAnotherMachineIsNamedWithThatMachine) {
  const LoadDetails details = load(L"fixture_needs_other.dll");
  EXPECT_EQ(details.missing,
            Missing{sizeof(void*) == 4 ? "fixture_other_only.dll (x64)" : "fixture_other_only.dll (x86)"});
  // The library asked about is of this process's own machine.
  EXPECT_EQ(details.machine, "");
}

TEST_F(ExplainFailedLoad, DelayedImportMissingUnderTheInitialisationIsNamed) {
  // Wine's loader catches the delay-load helper's exception and fails the
  // load with 317; Windows' raises it to the caller, so there the attempt is
  // only made in Wine.
  if (is_wine()) {
    const LoadDetails details = load(L"fixture_delayinit.dll");
    EXPECT_EQ(details.error, static_cast<std::uint32_t>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(details.missing, Missing{"fixture_delay_gone.dll"});
  }
  for (const unsigned long error : {1114UL, 0xC06D007EUL, 0xC06D007FUL})
    EXPECT_EQ(explain(L"fixture_delayinit.dll", error).missing, Missing{"fixture_delay_gone.dll"})
        << error;
  // A missing delayed import is no reason for a load-time failure.
  EXPECT_TRUE(explain(L"fixture_delayinit.dll", ERROR_MOD_NOT_FOUND).missing.empty());
}

// An API set contract is resolved against the system's own schema: one it
// does not define, and that no file provides, is named as imported; one it
// defines is the system's (its minor version need not match).
TEST_F(ExplainFailedLoad, ContractTheSystemDoesNotDefineIsNamedAndADefinedOneIsNot) {
  const LoadDetails details = load(L"fixture_absent_contract.dll");
  EXPECT_EQ(details.error, static_cast<std::uint32_t>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(details.missing, Missing{"api-ms-win-tarnwick-absent-l1-1-0.dll"});

  HMODULE defined = LoadLibraryW(L"fixture_defined_contract.dll");
  EXPECT_NE(defined, nullptr) << "error " << GetLastError();
  if (defined != nullptr) FreeLibrary(defined);
  EXPECT_EQ(explain(L"fixture_defined_contract.dll", ERROR_MOD_NOT_FOUND).missing, Missing{});
}

TEST_F(ExplainFailedLoad, ContractAFileProvidesIsReadFromThatFile) {
  fs::copy_file(temp_.path() / L"fixture_v1234.dll",
                temp_.path() / L"api-ms-win-tarnwick-absent-l1-1-0.dll");
  EXPECT_EQ(explain(L"fixture_absent_contract.dll", ERROR_PROC_NOT_FOUND).missing,
            Missing{"api-ms-win-tarnwick-absent-l1-1-0.dll!tarnwick_contract_probe"});
}

// The running system's own API set schema, read from this process's map:
// the contract below is defined by Windows 8 and later and by Wine, whose
// schemas hold a later minor version of it.
TEST(ProcessApiSetSchema, AnswersFromTheSystemsOwnMap) {
  using Answer = image::ApiSetSchema::Answer;
  const image::ApiSetSchema& schema = win32::process_api_set_schema();
  EXPECT_NE(schema.version(), 0u);
  const image::ApiSetSchema::Lookup synch = schema.find("API-MS-Win-Core-Synch-L1-2-0.dll");
  EXPECT_EQ(synch.answer, Answer::defined);
  EXPECT_NE(synch.host, "");
  EXPECT_EQ(schema.find("api-ms-win-tarnwick-absent-l1-1-0.dll").answer, Answer::undefined);
  EXPECT_EQ(&schema, &win32::process_api_set_schema()) << "the map is read once";
}

// The assembly this build's fixture manifest requires and no system has.
std::string absent_assembly() {
  return sizeof(void*) == 8 ? "assembly Tarnwick.Absent.Assembly 1.0.0.0 (amd64)"
                            : "assembly Tarnwick.Absent.Assembly 1.0.0.0 (x86)";
}

std::string requiring(const std::string& identity) {
  return "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'><dependency>"
         "<dependentAssembly><assemblyIdentity type='win32' " + identity +
         "/></dependentAssembly></dependency></assembly>";
}

TEST_F(ExplainFailedLoad, OnlyAssembliesTheSystemCannotProvideAreNamed) {
  const std::string architecture = sizeof(void*) == 8 ? "amd64" : "x86";
  const std::string absent =
      "name='Tarnwick.Absent.Assembly' version='1.0.0.0' processorArchitecture='" + architecture + "'";
  const std::string controls =
      "name='Microsoft.Windows.Common-Controls' version='6.0.0.0' processorArchitecture='*' "
      "publicKeyToken='6595b64144ccf1df' language='*'";
  // fixture_v1234.dll carries no manifest: each assembly is asked alone.
  const std::wstring plain = (temp_.path() / L"fixture_v1234.dll").wstring();
  EXPECT_EQ(win32::assemblies_not_provided(plain, requiring(absent)), Missing{absent_assembly()});
  EXPECT_EQ(win32::assemblies_not_provided(plain, requiring(controls)), Missing{});
  EXPECT_EQ(win32::assemblies_not_provided(plain, "no manifest at all"), Missing{});
}

// Windows refuses a library whose manifest requires an assembly it lacks
// (14001); Wine makes no activation context, loads on and fails on the
// library only that assembly would provide (126). Either way the assembly
// comes first, and the one the system has is not named.
TEST_F(ExplainFailedLoad, AssemblyTheManifestRequiresAndTheSystemLacksComesFirst) {
  const LoadDetails details = load(L"fixture_sxs_missing.dll");
  if (details.error == static_cast<std::uint32_t>(ERROR_SXS_CANT_GEN_ACTCTX)) {
    EXPECT_EQ(details.missing.at(0), absent_assembly());
  } else {
    EXPECT_EQ(details.error, static_cast<std::uint32_t>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(details.missing, (Missing{absent_assembly(), "tarnwick_sxs_only.dll"}));
  }
  EXPECT_EQ(explain(L"fixture_sxs_missing.dll", ERROR_SXS_CANT_GEN_ACTCTX).missing,
            (Missing{absent_assembly(), "tarnwick_sxs_only.dll"}));
}

}  // namespace
}  // namespace tarnwick
