// The report's parts against the test substitutes, at growing sizes. Each
// benchmark prints its cost per item (seconds per line, module, process or
// PATH folder): a flat column across the sizes means linear growth.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "processes/process_modules.h"
#include "report/memory_controls.h"
#include "report/whatsnew.h"
#include "substitutes/fake_platform.h"

namespace tarnwick {
namespace {

constexpr std::uint32_t kOwnId = 7;

void cost_per(benchmark::State& state, const char* item, double count) {
  state.counters[std::string("s_per_") + item] = benchmark::Counter(
      count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

std::vector<std::string> exe_with_dlls(int dlls) {
  std::vector<std::string> modules{"C:\\Program Files\\Tarnwick\\Pelko_Files.exe"};
  for (int i = 0; i < dlls; ++i)
    modules.push_back("C:\\Program Files\\Tarnwick\\extra\\bench_extra_" + std::to_string(i) +
                      ".dll");
  return modules;
}

std::size_t line_count(const std::string& report) {
  return static_cast<std::size_t>(std::count(report.begin(), report.end(), '\r')) + 1;
}

// The whole load: header, component line, the table's 37 lines and a module
// section long enough that the report has about the asked number of lines.
void ReportAssembly(benchmark::State& state) {
  constexpr int kLinesBesideModules = 45;
  const int modules = std::max<int>(0, static_cast<int>(state.range(0)) - kLinesBesideModules);
  const std::vector<std::string> paths = exe_with_dlls(modules);
  std::size_t lines = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto fake = std::make_unique<fake::FakePlatform>();
    fake->kernel32.own_id = kOwnId;
    fake->kernel32.environment["PATH"] = "E:\\Suite;F:\\Tools";
    fake->scripting.next->files = {"E:\\Suite\\KTR_Intel_Win32.dll"};
    fake->psapi.add(fake->kernel32, kOwnId, paths);
    auto box = std::make_unique<MemoryTextBox>();
    auto list = std::make_unique<MemoryListBox>();
    state.ResumeTiming();

    Whatsnew form(fake->platform, *box, *list);
    form.Form_Load();
    benchmark::DoNotOptimize(box->contents().data());

    state.PauseTiming();
    lines = line_count(box->contents());
    fake.reset();
    box.reset();
    list.reset();
    state.ResumeTiming();
  }
  state.counters["lines"] = static_cast<double>(lines);
  cost_per(state, "line", static_cast<double>(lines));
}
BENCHMARK(ReportAssembly)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

struct Lister {
  fake::Kernel32 kernel32;
  fake::Psapi psapi;
  std::vector<std::string> listed;
  void run() { listed = list_process_modules(kernel32, psapi, "Pelko_Files.exe"); }
};

void ListerPerModule(benchmark::State& state) {
  const int modules = static_cast<int>(state.range(0));
  Lister lister;
  lister.kernel32.own_id = kOwnId;
  lister.psapi.add(lister.kernel32, 3, {"C:\\Other\\other.exe", "C:\\Other\\o.dll"});
  lister.psapi.add(lister.kernel32, kOwnId, exe_with_dlls(modules));
  for (auto _ : state) {
    lister.run();
    benchmark::DoNotOptimize(lister.listed.data());
  }
  if (static_cast<int>(lister.listed.size()) != modules) state.SkipWithError("the list misses modules");
  cost_per(state, "module", modules);
}
BENCHMARK(ListerPerModule)->Arg(200)->Arg(2000)->Unit(benchmark::kMicrosecond);

// The process walk: this process comes last among many.
void ListerPerProcess(benchmark::State& state) {
  const int processes = static_cast<int>(state.range(0));
  Lister lister;
  lister.kernel32.own_id = kOwnId;
  for (int i = 0; i < processes - 1; ++i)
    lister.psapi.add(lister.kernel32, 1000 + static_cast<std::uint32_t>(i),
                     {"C:\\Other\\other.exe"});
  lister.psapi.add(lister.kernel32, kOwnId, exe_with_dlls(3));
  for (auto _ : state) {
    lister.run();
    benchmark::DoNotOptimize(lister.listed.data());
  }
  if (lister.listed.size() != 3) state.SkipWithError("the own process was not listed");
  cost_per(state, "process", processes);
}
BENCHMARK(ListerPerProcess)->Arg(100)->Arg(5000)->Unit(benchmark::kMicrosecond);

// The existence test alone, without the substitute's record of every call,
// which would grow without bound here.
struct QuietFileSystem : fake::FileSystemObject {
  bool file_exists(const std::string& path) override { return files.count(path) != 0; }
};

// A name found in none of the PATH folders: every folder is tried, after the
// PATH is read and split for the window's first search.
void FileSearchPerPathFolder(benchmark::State& state) {
  const int folders = static_cast<int>(state.range(0));
  fake::FakePlatform fake;
  std::string path;
  for (int i = 0; i < folders; ++i) path += "C:\\Tools\\folder" + std::to_string(i) + ";";
  fake.kernel32.environment["PATH"] = path;
  MemoryTextBox box;
  MemoryListBox list;
  for (auto _ : state) {
    Whatsnew form(fake.platform, box, list);
    form.file_system = std::make_unique<QuietFileSystem>();
    benchmark::DoNotOptimize(form.VBFindFileInPath("absent.dll"));
    if (form.path_folder_count() != folders) state.SkipWithError("PATH was split wrongly");
  }
  cost_per(state, "folder", folders);
}
BENCHMARK(FileSearchPerPathFolder)
    ->Arg(1)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarnwick

BENCHMARK_MAIN();
