#include "support/guest_process.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <grp.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace merovane::guest {
namespace {

constexpr const char* HalfVariable = "MEROVANE_GUEST_UNPRIVILEGED_HALF";
constexpr const char* HandedOverPrefix = "MEROVANE_GUEST_";

// The target of every descriptor of this process.
std::vector<std::string> DescriptorTargets() {
    std::vector<std::string> targets;
    DIR* fds = ::opendir("/proc/self/fd");
    if (fds == nullptr)
        throw std::runtime_error("cannot list /proc/self/fd");
    const int own = ::dirfd(fds);
    while (const dirent* entry = ::readdir(fds)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
            continue;
        char target[512] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        targets.emplace_back(target, length > 0 ? static_cast<std::size_t>(length) : 0);
    }
    ::closedir(fds);
    return targets;
}

} // namespace

std::multiset<std::string> OpenHidrawNodes() {
    std::multiset<std::string> nodes;
    for (const std::string& target : DescriptorTargets())
        if (target.rfind("/dev/hidraw", 0) == 0)
            nodes.insert(target);
    return nodes;
}

std::size_t OpenDescriptorCount() {
    return DescriptorTargets().size();
}

StuckReadRescue::StuckReadRescue(GuestDevice& device, int seconds) {
    thread_ = std::thread([this, &device, seconds] {
        std::unique_lock lock(mutex_);
        if (over_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; }))
            return;
        came_ = true;
        device.SendInputReportUnanswered();
    });
}

StuckReadRescue::~StuckReadRescue() {
    {
        const std::lock_guard lock(mutex_);
        done_ = true;
    }
    over_.notify_all();
    thread_.join();
}

bool StuckReadRescue::Came() const {
    const std::lock_guard lock(mutex_);
    return came_;
}

bool InUnprivilegedHalf() {
    const char* half = std::getenv(HalfVariable);
    return half != nullptr && std::strcmp(half, "1") == 0;
}

std::string HandedOver(const std::string& name) {
    const char* value = std::getenv((HandedOverPrefix + name).c_str());
    return value != nullptr ? value : "";
}

int RunUnprivileged(const std::string& filter,
                    const std::map<std::string, std::string>& handedOver) {
    // A home and runtime directory of nobody's own, for Qt.
    char home[] = "/tmp/merovane-nobody.XXXXXX";
    if (::mkdtemp(home) == nullptr || ::chown(home, UnprivilegedId, UnprivilegedId) != 0)
        throw std::runtime_error(std::string("cannot make a home for nobody: ") +
                                 std::strerror(errno));

    // Everything the child needs is made before the fork: after it, only
    // system calls until the exec.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("HOME=", 0) != 0 && variable.rfind("XDG_RUNTIME_DIR=", 0) != 0 &&
            variable.rfind("USER=", 0) != 0 && variable.rfind("LOGNAME=", 0) != 0)
            environment.push_back(variable);
    }
    environment.push_back(std::string("HOME=") + home);
    environment.push_back(std::string("XDG_RUNTIME_DIR=") + home);
    environment.push_back("USER=nobody");
    environment.push_back("LOGNAME=nobody");
    environment.push_back(std::string(HalfVariable) + "=1");
    for (const auto& [name, value] : handedOver)
        environment.push_back(HandedOverPrefix + name + "=" + value);
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        throw std::runtime_error("cannot find this program");
    std::string filterArgument = "--gtest_filter=" + filter;
    char* argv[] = {self, filterArgument.data(), nullptr};

    std::fflush(nullptr); // the child's output comes after what is printed so far
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(UnprivilegedId) != 0 ||
            ::setuid(UnprivilegedId) != 0)
            ::_exit(126);
        ::execve(self, argv, envp.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace merovane::guest
