#include "platform/Desktop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace vexa::platform {
namespace {

using Argv = std::vector<std::string>;

const Argv kZenity = {"zenity",  "--file-selection",       "--directory",
                      "--title", "Please select a folder", "--filename=/home/user/"};
const Argv kKdialog = {"kdialog", "--getexistingdirectory", "/home/user", "--title",
                       "Please select a folder"};

TEST(Desktop, ChooseFolderAsksZenityThenKdialogAndChecksTheAnswer) {
  test::TempFolder temp;
  std::ofstream(temp.file("plain")) << "x";
  std::filesystem::create_directory_symlink(temp.path(), temp.file("link"));
  const ProgramResult missing{};
  const ProgramResult cancelled{true, 1, ""};
  const ProgramResult folder{true, 0, temp.path() + "\n"};
  const struct {
    const char* name;
    bool desktop;
    std::vector<ProgramResult> answers;  // zenity's, then kdialog's
    std::vector<Argv> asked;
    std::string chosen;
  } cases[] = {
      {"headless", false, {folder}, {}, ""},
      {"zenity", true, {folder}, {kZenity}, temp.path()},
      {"cancel", true, {cancelled}, {kZenity}, ""},
      {"kdialog", true, {missing, folder}, {kZenity, kKdialog}, temp.path()},
      {"neither", true, {missing, missing}, {kZenity, kKdialog}, ""},
      {"link", true, {{true, 0, temp.file("link") + "\n"}}, {kZenity}, temp.file("link")},
      {"file", true, {{true, 0, temp.file("plain") + "\n"}}, {kZenity}, ""},
      {"too long", true, {{true, 0, "/" + std::string(kMaxProgramOutput, 'a')}}, {kZenity}, ""},
  };
  for (const auto& c : cases) {
    std::vector<Argv> asked;
    const auto run = [&](const Argv& argv) {
      asked.push_back(argv);
      return c.answers.at(asked.size() - 1);
    };
    EXPECT_EQ(chooseFolder({c.desktop, "/home/user"}, run), c.chosen) << c.name;
    EXPECT_EQ(asked, c.asked) << c.name;
  }
}

TEST(Desktop, ProgramsStartWithoutAShell) {
  for (const bool desktop : {false, true}) {  // xdg-open only on a desktop
    std::vector<Argv> launched;
    openFolder("/tmp/shots/", {desktop, "/home/user"}, [&](const Argv& argv) {
      launched.push_back(argv);
      return true;
    });
    EXPECT_EQ(launched,
              (desktop ? std::vector<Argv>{{"xdg-open", "/tmp/shots/"}} : std::vector<Argv>{}));
  }
  const ProgramResult echo = runProgram({"echo", "hello"});
  EXPECT_EQ(std::tuple(echo.started, echo.status, echo.output), std::tuple(true, 0, "hello\n"));
  EXPECT_EQ(runProgram({"false"}).status, 1);
  EXPECT_FALSE(runProgram({"vexa-no-such-program"}).started);
  EXPECT_EQ(runProgram({"head", "-c", "100000", "/dev/zero"}).output.size(), kMaxProgramOutput + 1);
  EXPECT_TRUE(launchProgram({"true"}));
  EXPECT_FALSE(launchProgram({"vexa-no-such-program"}));
}

}  // namespace
}  // namespace vexa::platform
