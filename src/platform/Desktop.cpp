#include "platform/Desktop.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <system_error>
#include <thread>

namespace vexa::platform {
namespace {

constexpr const char* kChooserTitle = "Please select a folder";
constexpr const char* kNullDevice = "/dev/null";
constexpr int kFirstUnsharedFd = 3;

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The child gets /dev/null for what it does not need, none of our sockets, no blocked signals,
// and SIGPIPE back at its default (the viewer ignores it, and ignoring survives exec).
class SpawnSetup {
 public:
  explicit SpawnSetup(int stdoutFd) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, kNullDevice, O_RDONLY, 0);
    if (stdoutFd >= 0) {
      posix_spawn_file_actions_adddup2(&actions_, stdoutFd, STDOUT_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, kNullDevice, O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, kNullDevice, O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions_, kFirstUnsharedFd);

    posix_spawnattr_init(&attributes_);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes_, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attributes_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  pid_t spawn(const std::vector<std::string>& argv) const {
    if (argv.empty()) return -1;
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    // posix_spawnp reports a program it could not execute (ENOENT, EACCES) as an error here.
    if (posix_spawnp(&pid, args[0], &actions_, &attributes_, args.data(), environ) != 0) return -1;
    return pid;
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

int waitForExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Stops reading one byte past the cap: more than that is no answer, and closing the pipe ends a
// program that would go on writing.
std::string readCapped(int fd, size_t cap) {
  std::string output;
  char chunk[1024];
  while (output.size() <= cap) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output.append(chunk, std::min(size_t(got), cap + 1 - output.size()));
  }
  return output;
}

std::vector<std::string> zenityArgv(const std::string& home) {
  return {"zenity",  "--file-selection", "--directory",
          "--title", kChooserTitle,      "--filename=" + withTrailingSlash(home)};
}

std::vector<std::string> kdialogArgv(const std::string& home) {
  return {"kdialog", "--getexistingdirectory", home, "--title", kChooserTitle};
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& argv) {
  ProgramResult result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  const pid_t pid = SpawnSetup(fds[1]).spawn(argv);
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return result;
  }
  result.started = true;
  result.output = readCapped(fds[0], kMaxProgramOutput);
  close(fds[0]);
  result.status = waitForExit(pid);
  return result;
}

bool launchProgram(const std::vector<std::string>& argv) {
  const pid_t pid = SpawnSetup(-1).spawn(argv);
  if (pid < 0) return false;
  try {
    std::thread([pid] { waitForExit(pid); }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the program still runs, and stays a zombie until we exit.
  }
  return true;
}

DesktopSession currentDesktop() {
  DesktopSession desktop;
  desktop.available =
      !environmentValue("DISPLAY").empty() || !environmentValue("WAYLAND_DISPLAY").empty();
  desktop.home = environmentValue("HOME");
  if (desktop.home.empty()) desktop.home = "/";
  return desktop;
}

bool desktopAvailable() {
  return currentDesktop().available;
}

std::string withTrailingSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

bool isFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void openFolder(const std::string& folder) {
  openFolder(folder, currentDesktop(), launchProgram);
}

void openFolder(const std::string& folder, const DesktopSession& desktop,
                const ProgramLauncher& launch) {
  // Nobody to show it to headless; a failed start is as silent as a failed snapshot.
  if (desktop.available) launch({"xdg-open", folder});
}

std::string chooseFolder() {
  return chooseFolder(currentDesktop(), runProgram);
}

std::string chooseFolder(const DesktopSession& desktop, const ProgramRunner& run) {
  if (!desktop.available) return "";
  ProgramResult result = run(zenityArgv(desktop.home));
  if (!result.started) result = run(kdialogArgv(desktop.home));
  if (!result.started || result.status != 0 || result.output.size() > kMaxProgramOutput) return "";
  std::string path = std::move(result.output);
  if (!path.empty() && path.back() == '\n') path.pop_back();
  return isFolder(path) ? path : "";
}

}  // namespace vexa::platform
