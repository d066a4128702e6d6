#include <windows.h>

#include <climits>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Processes.h"
#include "platform/win32/StopEvent.h"
#include "platform/win32/Text.h"

namespace kx6000 {
namespace {

// What the children's streams gave, filled by one reader thread per pipe: an anonymous pipe cannot be waited
// on with other handles.
struct Outputs {
    std::mutex mutex;
    std::deque<ChildOutput> queue;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // set while the queue holds something

    ~Outputs() { CloseHandle(ready); }
    void Push(ChildOutput output) {
        std::lock_guard lock(mutex);
        queue.push_back(std::move(output));
        SetEvent(ready);
    }
};

void Read(std::shared_ptr<Outputs> outputs, HANDLE pipe, size_t child, bool errors) {
    char buffer[4096];
    for (DWORD count = 0;;) {
        // A failed read is the writer gone (ERROR_BROKEN_PIPE): the stream closed. A read of nothing is a
        // write of nothing, not the end.
        if (!ReadFile(pipe, buffer, sizeof buffer, &count, nullptr))
            count = 0;
        else if (count == 0)
            continue;
        outputs->Push({child, errors, std::string(buffer, count)});
        if (count == 0) break;
    }
    CloseHandle(pipe);
}

// One argument as CommandLineToArgvW and the C runtime take it back: quoted when it holds blanks or quotes
// (or is empty), a quote inside escaped, and the backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'"') quoted.append(backslashes + 1, L'\\');
        backslashes = c == L'\\' ? backslashes + 1 : 0;
        quoted += c;
    }
    return quoted.append(backslashes, L'\\') + L'"';
}

// This program's environment with `name`=`value` in place of any variable of that name (whose letter case
// Windows does not tell apart), as a block of strings ended by an empty one.
std::wstring EnvironmentBlock(const std::wstring& name, const std::wstring& value) {
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry != nullptr && *entry != L'\0'; entry += wcslen(entry) + 1) {
        std::wstring_view text(entry);
        bool same = text.size() > name.size() && text[name.size()] == L'=' &&
                    CompareStringOrdinal(entry, static_cast<int>(name.size()), name.c_str(),
                                         static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
        if (!same) block.append(text).push_back(L'\0');
    }
    FreeEnvironmentStringsW(strings);
    return block.append(name + L"=" + value).append(2, L'\0');
}

std::wstring ProgramPath() {
    std::wstring path(32768, L'\0');  // the longest path Windows has
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

// An inheritable pipe end for the child, the other end kept here.
void MakePipe(HANDLE& kept, HANDLE& given) {
    if (!CreatePipe(&kept, &given, nullptr, 0) || !SetHandleInformation(given, HANDLE_FLAG_INHERIT, 1))
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreatePipe");
}

}  // namespace

struct Children::State {
    std::shared_ptr<Outputs> outputs = std::make_shared<Outputs>();
    std::vector<HANDLE> processes;
    size_t openStreams = 0;

    ~State() {
        for (HANDLE process : processes) CloseHandle(process);
    }
};

Children::Children() : state(std::make_unique<State>()) {}

Children::~Children() = default;

size_t Children::Start(const std::vector<std::string>& arguments, const std::string& name,
                       const std::string& value) {
    std::wstring commandLine;
    for (const std::string& argument : arguments)
        commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(Wide(argument));
    std::wstring environment = EnvironmentBlock(Wide(name), Wide(value));
    HANDLE out = nullptr, outGiven = nullptr, err = nullptr, errGiven = nullptr;
    MakePipe(out, outGiven);
    MakePipe(err, errGiven);
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE none = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                              OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = none;
    startup.hStdOutput = outGiven;
    startup.hStdError = errGiven;
    PROCESS_INFORMATION process{};
    // In this program's console and process group: the console gives each Ctrl-C, Ctrl-Break and closing
    // to every process in it, once, as a terminal gives a signal to a whole foreground group.
    bool started =
        CreateProcessW(ProgramPath().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup, &process);
    DWORD error = GetLastError();
    for (HANDLE given : {none, outGiven, errGiven}) CloseHandle(given);
    if (!started) {
        CloseHandle(out);
        CloseHandle(err);
        throw std::system_error(static_cast<int>(error), std::system_category(), "CreateProcessW");
    }
    CloseHandle(process.hThread);
    size_t child = state->processes.size();
    state->processes.push_back(process.hProcess);
    state->openStreams += 2;
    std::thread(Read, state->outputs, out, child, false).detach();
    std::thread(Read, state->outputs, err, child, true).detach();
    return child;
}

bool Children::Wait(int milliseconds, std::vector<ChildOutput>& outputs) {
    outputs.clear();
    if (state->openStreams == 0) return false;
    Outputs& given = *state->outputs;
    HANDLE events[] = {given.ready, StopEvent()};
    WaitForMultipleObjects(2, events, FALSE, milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
    std::lock_guard lock(given.mutex);
    outputs.assign(std::make_move_iterator(given.queue.begin()), std::make_move_iterator(given.queue.end()));
    given.queue.clear();
    ResetEvent(given.ready);
    for (const ChildOutput& output : outputs) state->openStreams -= output.bytes.empty() ? 1 : 0;
    return true;
}

// The console has given the request to the child as well (see Start).
void Children::Stop(size_t /*child*/, int /*request*/) {}

int Children::Status(size_t child) {
    HANDLE process = state->processes[child];
    DWORD code = 0;
    WaitForSingleObject(process, INFINITE);
    GetExitCodeProcess(process, &code);
    // An exception's code is too large for an exit status: 255, as exit(-1) gives on POSIX.
    return code <= INT_MAX ? static_cast<int>(code) : 255;
}

}  // namespace kx6000
