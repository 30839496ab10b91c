#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vexa::platform {

// What a desktop program printed and how it ended.
struct ProgramResult {
  bool started = false;  // false: not found or not executable
  int status = -1;       // exit status; -1 when it did not exit normally
  std::string output;    // stdout, at most kMaxProgramOutput + 1 bytes
};

// A chooser prints one path; anything longer than this is not an answer.
inline constexpr size_t kMaxProgramOutput = 4096;

// Runs argv[0] (searched in PATH, no shell) and waits for it; stdin and stderr are /dev/null.
using ProgramRunner = std::function<ProgramResult(const std::vector<std::string>& argv)>;
// Starts argv[0] without waiting for it; false when it could not be started.
using ProgramLauncher = std::function<bool(const std::vector<std::string>& argv)>;

ProgramResult runProgram(const std::vector<std::string>& argv);
// The child is reaped by a thread that waits for it alone, so none is left as a zombie.
bool launchProgram(const std::vector<std::string>& argv);

// Whether there is a desktop to show things on, and where the user's files start.
struct DesktopSession {
  bool available = false;
  std::string home;
};

// DISPLAY or WAYLAND_DISPLAY set and non-empty; HOME.
DesktopSession currentDesktop();
bool desktopAvailable();

// folder with a "/" at its end, never two.
std::string withTrailingSlash(std::string folder);

// stat() follows symbolic links, so a link to a folder is a folder.
bool isFolder(const std::string& path);

// Shows folder in the desktop's file manager; nothing headless.
void openFolder(const std::string& folder);
void openFolder(const std::string& folder, const DesktopSession& desktop,
                const ProgramLauncher& launch);

// Lets the user pick a folder, starting in the home folder; "" on cancel, headless, or when no
// chooser program is installed. The answer is an existing folder as the chooser printed it
// (without its newline).
std::string chooseFolder();
std::string chooseFolder(const DesktopSession& desktop, const ProgramRunner& run);

}  // namespace vexa::platform
