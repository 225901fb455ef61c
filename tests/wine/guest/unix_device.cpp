#include "unix_device.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <windows.h>

namespace merovane::wine {
namespace {

// Under TCG a plug takes a few seconds to reach Wine; the program answers sooner.
constexpr auto AnswerTimeout = std::chrono::seconds(20);

std::string WindowsName(const std::string& unixPath) {
    std::string name = "Z:" + unixPath;
    for (char& c : name)
        if (c == '/')
            c = '\\';
    return name;
}

std::string VhidProgram() {
    const char* program = std::getenv("MEROVANE_VHID");
    if (program == nullptr)
        throw std::runtime_error("MEROVANE_VHID (the Linux path of merovane-vhid) is not set");
    return program;
}

} // namespace

bool CanMakeDevices() {
    // Wine does not show device nodes to GetFileAttributes: a shell looks.
    return std::getenv("MEROVANE_VHID") != nullptr && RunUnix("test -w /dev/uhid") == 0;
}

int RunUnix(const std::string& script) {
    // Wine starts a Linux program but gives no handle to wait on: the shell
    // leaves its exit status in a file, which appears whole once it is done.
    static int runs = 0;
    const std::string status =
        "/tmp/unix-run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs);
    // Windows splits the command line for bash: the script is one argument in
    // double quotes, so it holds none itself.
    std::string line = "Z:\\bin\\bash -c \"( " + script + " ); echo $? > " + status +
                       ".part && mv " + status + ".part " + status + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        throw std::runtime_error("cannot start bash: error " + std::to_string(GetLastError()));
    const auto deadline = std::chrono::steady_clock::now() + AnswerTimeout;
    for (;;) {
        std::ifstream file(WindowsName(status));
        int code = -1;
        if (file >> code) {
            file.close();
            DeleteFileA(WindowsName(status).c_str());
            return code;
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("bash did not end: " + script);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

ProgramRun RunCtl(const std::string& arguments) {
    const char* program = std::getenv("MEROVANE_CTL_EXE");
    if (program == nullptr)
        throw std::runtime_error("MEROVANE_CTL_EXE is not set");
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    CreatePipe(&read, &write, &inheritable, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string line = std::string("\"") + program + "\" " + arguments;
    PROCESS_INFORMATION process{};
    ProgramRun run;
    DWORD status = 0;
    const bool started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(write);
    if (!started)
        throw std::runtime_error("cannot start " + line);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(read, chunk, sizeof chunk, &got, nullptr) && got > 0)
        run.out.append(chunk, got);
    CloseHandle(read);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    run.status = status;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

UnixDevice::UnixDevice(const std::string& serial, const std::vector<std::string>& options)
    : unixFolder_("/tmp/unix-device-" + serial), folder_(WindowsName(unixFolder_)) {
    std::string arguments = " --serial " + serial;
    for (const std::string& option : options)
        arguments += " " + option;
    // The program reads the commands file as it grows (tail follows it until
    // the program, which keeps the shell's process ID, ends).
    const std::string f = unixFolder_;
    if (RunUnix("rm -rf " + f + " && mkdir -p " + f + " && : > " + f + "/commands") != 0)
        throw std::runtime_error("cannot make " + f);
    const std::string start = "cd " + f + " && setsid bash -c 'echo $$ > pid; exec " +
                              VhidProgram() + arguments +
                              " < <(tail -n +1 -f --pid=$$ commands) > log 2>&1' &";
    if (RunUnix(start) != 0)
        throw std::runtime_error("cannot start merovane-vhid");
    AwaitLine("ready");
}

UnixDevice::~UnixDevice() {
    // SIGTERM: the program unplugs the device and ends.
    RunUnix("pid=$(cat " + unixFolder_ +
            "/pid) && kill -TERM $pid && while kill -0 $pid 2>/dev/null; do sleep 0.05; done");
}

void UnixDevice::Unplug() {
    Command("unplug", "unplugged");
}

void UnixDevice::PlugBack() {
    Command("plug", "ready");
}

void UnixDevice::SendInputReport() {
    Command("input", "input-sent");
}

std::vector<std::string> UnixDevice::FeatureWrites() const {
    const std::string prefix = "set-feature ";
    std::vector<std::string> writes;
    for (const std::string& line : LogLines())
        if (line.starts_with(prefix))
            writes.push_back(line.substr(line.find(": ") + 2));
    return writes;
}

int UnixDevice::IgnoredFeatureRequests() const {
    int ignored = 0;
    for (const std::string& line : LogLines())
        ignored += line.starts_with("ignored ");
    return ignored;
}

void UnixDevice::Command(const std::string& line, const std::string& answer) {
    std::ofstream(folder_ + "\\commands", std::ios::app) << line << '\n';
    AwaitLine(answer);
}

void UnixDevice::AwaitLine(const std::string& answer) {
    const auto deadline = std::chrono::steady_clock::now() + AnswerTimeout;
    for (;;) {
        const std::vector<std::string> lines = LogLines();
        for (std::size_t i = linesSeen_; i < lines.size(); ++i) {
            if (lines[i].starts_with(answer)) {
                linesSeen_ = i + 1;
                return;
            }
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("merovane-vhid did not say '" + answer + "'");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<std::string> UnixDevice::LogLines() const {
    std::ifstream log(folder_ + "\\log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    return lines;
}

} // namespace merovane::wine
