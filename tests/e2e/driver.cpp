#include "driver.h"

#include <richedit.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <system_error>

namespace tarnwick::e2e {

namespace fs = std::filesystem;

namespace {

constexpr UINT kSendTimeout = 10000;  // milliseconds
constexpr int kMessageBoxTextId = 0xFFFF;

struct WindowSearch {
  DWORD process_id;
  const wchar_t* class_name;  // null: any
  const wchar_t* title;
  bool visible_only;
  HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id) return TRUE;
  if (search->visible_only && !IsWindowVisible(window)) return TRUE;
  if (search->class_name != nullptr && class_name(window) != search->class_name) return TRUE;
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  if (std::wcscmp(title, search->title) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

HWND find_window(DWORD process_id, const wchar_t* class_name, const wchar_t* title,
                 bool visible_only) {
  WindowSearch search{process_id, class_name, title, visible_only, nullptr};
  EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK collect_child(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
  return TRUE;
}

// The environment the driver runs in, with PATH replaced. Everything else is
// kept: under Wine it carries what a process needs to reach the display.
std::wstring environment_with_path(const std::wstring& path, bool defined) {
  std::wstring block;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; entry != nullptr && *entry != L'\0';
       entry += std::wcslen(entry) + 1) {
    if (_wcsnicmp(entry, L"PATH=", 5) == 0) continue;
    block.append(entry);
    block.push_back(L'\0');
  }
  if (strings != nullptr) FreeEnvironmentStringsW(strings);
  if (defined) {
    block += L"PATH=" + path;
    block.push_back(L'\0');
  }
  if (block.empty()) block.push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

// Memory in another process, released with its owner.
class RemoteMemory {
 public:
  RemoteMemory(HANDLE process, std::size_t size)
      : process_(process),
        address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                PAGE_READWRITE)) {}
  ~RemoteMemory() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;
  char* address() const { return static_cast<char*>(address_); }

 private:
  HANDLE process_;
  void* address_;
};

// Movable global memory for the clipboard, freed unless the clipboard took it.
HGLOBAL global_copy(const void* data, std::size_t size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (memory == nullptr) return nullptr;
  std::memcpy(GlobalLock(memory), data, size);
  GlobalUnlock(memory);
  return memory;
}

// A hidden window of the driver, to own what the driver puts on the clipboard.
HWND driver_window() {
  static HWND window = CreateWindowExW(0, L"STATIC", L"tarnwick e2e driver", WS_POPUP, 0, 0, 1,
                                       1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  return window;
}

}  // namespace

fs::path program_file() { return native_path(TARNWICK_PROGRAM); }


bool display_available() {
  static const bool available = [] {
    // Rectangles in the program's own pixels, whatever the DPI.
    SetProcessDPIAware();
    return driver_window() != nullptr;
  }();
  return available;
}

void pump_driver_messages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// --- Program ---------------------------------------------------------------

Program::Program(const Setting& setting) {
  const fs::path copy = setting.program_folder / setting.exe_name;
  fs::copy_file(program_file(), copy, fs::copy_options::overwrite_existing);

  std::wstring command_line = L"\"" + copy.wstring() + L"\"";
  if (!setting.arguments.empty()) command_line += L" " + setting.arguments;
  std::wstring environment =
      environment_with_path(setting.path_variable, setting.path_defined);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  const bool hand_over = setting.standard_output != nullptr || setting.standard_error != nullptr;
  if (hand_over) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = setting.standard_output;
    startup.hStdError = setting.standard_error;
  }
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(copy.c_str(), command_line.data(), nullptr, nullptr, hand_over,
                      CREATE_UNICODE_ENVIRONMENT, environment.data(),
                      setting.current_folder.c_str(), &startup, &started)) {
    ADD_FAILURE() << "Pelko_Files.exe cannot be started: error " << GetLastError();
    return;
  }
  process_ = ScopedHandle(started.hProcess);
  thread_ = ScopedHandle(started.hThread);
  process_id_ = started.dwProcessId;
  thread_id_ = started.dwThreadId;
}

Program::~Program() {
  if (running()) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }
}

bool Program::running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

HWND Program::window() const { return find_window(process_id_, nullptr, kWindowTitle, false); }

HWND Program::wait_for_window() const {
  HWND found = nullptr;
  wait_until([&] {
    found = find_window(process_id_, nullptr, kWindowTitle, true);
    return found != nullptr || !running();
  });
  return found;
}

HWND Program::message_box() const {
  return find_window(process_id_, L"#32770", kApplicationTitle, true);
}

HWND Program::wait_for_message_box() const {
  HWND found = nullptr;
  wait_until([&] {
    found = message_box();
    return found != nullptr || !running();
  });
  return found;
}

std::optional<DWORD> Program::wait_for_exit() const {
  if (!process_) return std::nullopt;
  if (!wait_until([&] { return !running(); })) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

namespace {

// What a pipe holds now, without waiting for more: a process the program
// starts (Wine starts its own helpers on demand) may inherit the writing end
// and keep the pipe open long after the program has ended.
void take_available(HANDLE pipe, std::string& into) {
  DWORD available = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    std::string piece(available, '\0');
    DWORD got = 0;
    if (!ReadFile(pipe, piece.data(), available, &got, nullptr) || got == 0) return;
    into.append(piece.data(), got);
  }
}

}  // namespace

Finished run_to_end(Setting setting) {
  Finished finished;
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
  if (!CreatePipe(&out_read, &out_write, &inheritable, 1 << 16) ||
      !CreatePipe(&err_read, &err_write, &inheritable, 1 << 16)) {
    ADD_FAILURE() << "no pipes: error " << GetLastError();
    return finished;
  }
  ScopedHandle output_end(out_read), error_end(err_read);
  ScopedHandle output_writer(out_write), error_writer(err_write);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  setting.standard_output = out_write;
  setting.standard_error = err_write;

  std::optional<Program> program(std::in_place, setting);
  output_writer.reset();
  error_writer.reset();
  wait_until([&] {
    take_available(out_read, finished.output);
    take_available(err_read, finished.error);
    finished.showed_message_box = program->message_box() != nullptr;
    return finished.showed_message_box || !program->running();
  });
  if (!program->running()) finished.exit_code = program->wait_for_exit();
  program.reset();  // ends it by force if it still runs
  take_available(out_read, finished.output);
  take_available(err_read, finished.error);
  return finished;
}

std::optional<std::string> file_bytes(const fs::path& file) {
  ScopedHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  if (!handle) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(handle.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
    bytes.append(buffer, got);
  return bytes;
}

// --- Reading the window ------------------------------------------------------

Controls find_controls(HWND window) {
  Controls controls;
  EnumChildWindows(window, collect_child, reinterpret_cast<LPARAM>(&controls.all));
  for (HWND child : controls.all) {
    const std::wstring kind = class_name(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(kind.c_str(), L"Button") == 0) {
      const std::wstring caption = window_text(child);
      if ((style & BS_TYPEMASK) == BS_GROUPBOX) controls.frame = child;
      else if (caption == L"Copy Text") controls.copy_text = child;
      else if (caption == L"Done") controls.done = child;
    } else if (_wcsnicmp(kind.c_str(), L"RichEdit", 8) == 0) {
      controls.report = child;
    } else if (_wcsicmp(kind.c_str(), L"ListBox") == 0) {
      controls.list = child;
    } else if (_wcsicmp(kind.c_str(), L"Static") == 0) {
      controls.details = child;
    }
  }
  return controls;
}

std::wstring report_text(const Program& program, HWND report) {
  // WM_GETTEXT counts CR LF for every break, more than the bare CRs need.
  DWORD_PTR length = 0;
  SendMessageTimeoutW(report, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout, &length);
  const std::size_t capacity = length + 1;
  const std::size_t request_size = (sizeof(GETTEXTEX) + 15) / 16 * 16;
  RemoteMemory remote(program.process(), request_size + capacity * sizeof(wchar_t));
  if (remote.address() == nullptr) return {};
  char* remote_text = remote.address() + request_size;

  GETTEXTEX request{};
  request.cb = static_cast<DWORD>(capacity * sizeof(wchar_t));
  request.flags = GT_DEFAULT;
  request.codepage = 1200;  // UTF-16
  WriteProcessMemory(program.process(), remote.address(), &request, sizeof(request), nullptr);
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(report, EM_GETTEXTEX, reinterpret_cast<WPARAM>(remote.address()),
                           reinterpret_cast<LPARAM>(remote_text), SMTO_ABORTIFHUNG,
                           kSendTimeout, &copied))
    return {};
  std::wstring text(copied, L'\0');
  ReadProcessMemory(program.process(), remote_text, text.data(), copied * sizeof(wchar_t),
                    nullptr);
  return text;
}

HWND focused_control(const Program& program) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(program.thread_id(), &info)) return nullptr;
  return info.hwndFocus;
}

std::wstring message_box_text(HWND box) {
  HWND text = GetDlgItem(box, kMessageBoxTextId);
  return text != nullptr ? window_text(text) : std::wstring();
}

void post_key(HWND control, WPARAM key) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC))
                      << 16;
  PostMessageW(control, WM_KEYDOWN, key, scan | 1);
  PostMessageW(control, WM_KEYUP, key, scan | 1 | (1L << 30) | (1L << 31));
}

// --- Clipboard ---------------------------------------------------------------

HeldClipboard::HeldClipboard() {
  wait_until([&] { return open_ = ::OpenClipboard(driver_window()) != FALSE; });
}

HeldClipboard::~HeldClipboard() {
  if (open_) CloseClipboard();
}

UINT driver_private_format() {
  static const UINT format = RegisterClipboardFormatW(L"Tarnwick.E2E.DriverMarker");
  return format;
}

void put_driver_data_on_clipboard(const std::wstring& text) {
  HeldClipboard clipboard;
  ASSERT_TRUE(clipboard.is_open());
  ASSERT_TRUE(EmptyClipboard());
  const char marker[] = "driver marker";
  for (auto [format, data, size] :
       {std::tuple{static_cast<UINT>(CF_UNICODETEXT), static_cast<const void*>(text.c_str()),
                   (text.size() + 1) * sizeof(wchar_t)},
        std::tuple{driver_private_format(), static_cast<const void*>(marker), sizeof(marker)}}) {
    HGLOBAL memory = global_copy(data, size);
    if (SetClipboardData(format, memory) == nullptr) {
      GlobalFree(memory);
      ADD_FAILURE() << "the driver cannot fill the clipboard";
    }
  }
}

std::vector<UINT> clipboard_formats() {
  HeldClipboard clipboard;
  std::vector<UINT> formats;
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format))
    formats.push_back(format);
  return formats;
}

std::optional<std::wstring> clipboard_unicode_text() {
  HeldClipboard clipboard;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (data == nullptr) return std::nullopt;
  const auto* chars = static_cast<const wchar_t*>(GlobalLock(data));
  if (chars == nullptr) return std::nullopt;
  std::wstring text(chars, wcsnlen(chars, GlobalSize(data) / sizeof(wchar_t)));
  GlobalUnlock(data);
  return text;
}

std::optional<std::string> clipboard_ansi_text() {
  HeldClipboard clipboard;
  HANDLE data = GetClipboardData(CF_TEXT);
  if (data == nullptr) return std::nullopt;
  const auto* chars = static_cast<const char*>(GlobalLock(data));
  if (chars == nullptr) return std::nullopt;
  std::string text(chars, strnlen(chars, GlobalSize(data)));
  GlobalUnlock(data);
  return text;
}

bool click_copy_text(HWND copy_text) {
  const DWORD before = GetClipboardSequenceNumber();
  PostMessageW(copy_text, BM_CLICK, 0, 0);
  if (!wait_until([&] { return GetClipboardSequenceNumber() != before; })) return false;
  // Opening succeeds only once the program has closed the clipboard again.
  HeldClipboard settled;
  return settled.is_open();
}

// --- Layouts and fixtures -------------------------------------------------------

Layout::Layout()
    : program_folder(temp.folder(L"program")),
      current_folder(temp.folder(L"work")),
      path_folder(temp.folder(L"suite")) {
  const fs::path component = fixture_file(L"KTR_Intel_Win32.dll");
  if (!component.empty() && fs::exists(component))
    fs::copy_file(component, path_folder / L"KTR_Intel_Win32.dll");
}

Setting Layout::setting() const {
  wchar_t system[MAX_PATH + 1] = {};
  GetSystemDirectoryW(system, MAX_PATH + 1);
  return {program_folder, current_folder, path_folder.wstring() + L";" + system + L";"};
}

void ProgramTest::SetUp() {
  ASSERT_TRUE(display_available()) << kNoDisplay;
}

Program& ProgramTest::start() {
  program_.emplace(setting());
  window_ = program_->wait_for_window();
  EXPECT_NE(window_, nullptr) << "the window \"" TARNWICK_WINDOW_TITLE "\" did not appear";
  if (window_ != nullptr) controls_ = find_controls(window_);
  return *program_;
}

namespace {

struct SharedProgram {
  Layout layout;
  SYSTEMTIME started_at{};
  std::optional<Program> program;
  HWND window = nullptr;
  Controls controls;
  std::wstring report_at_first_sight;
};

// One suite's copy at a time: suites run one after another.
std::unique_ptr<SharedProgram>& shared_program() {
  static std::unique_ptr<SharedProgram> shared;
  return shared;
}

}  // namespace

void SharedProgramTest::start_shared(void (*prepare)(Layout&)) {
  auto& shared = shared_program();
  shared = std::make_unique<SharedProgram>();
  if (!display_available()) return;
  if (prepare != nullptr) prepare(shared->layout);
  GetLocalTime(&shared->started_at);
  shared->program.emplace(shared->layout.setting());
  shared->window = shared->program->wait_for_window();
  if (shared->window == nullptr) return;
  shared->controls = find_controls(shared->window);
  shared->report_at_first_sight = report_text(*shared->program, shared->controls.report);
}

void SharedProgramTest::TearDownTestSuite() { shared_program().reset(); }

void SharedProgramTest::SetUp() {
  ASSERT_TRUE(display_available()) << kNoDisplay;
  ASSERT_NE(shared_program(), nullptr) << "the suite did not start the program";
  ASSERT_NE(shared_program()->window, nullptr)
      << "the window \"" TARNWICK_WINDOW_TITLE "\" did not appear";
  ASSERT_TRUE(shared_program()->program->running()) << "an earlier check ended the program";
}

const Layout& SharedProgramTest::layout() { return shared_program()->layout; }
const Program& SharedProgramTest::program() { return *shared_program()->program; }
HWND SharedProgramTest::window() { return shared_program()->window; }
const Controls& SharedProgramTest::controls() { return shared_program()->controls; }
const SYSTEMTIME& SharedProgramTest::started_at() { return shared_program()->started_at; }
const std::wstring& SharedProgramTest::report_at_first_sight() {
  return shared_program()->report_at_first_sight;
}

}  // namespace tarnwick::e2e
