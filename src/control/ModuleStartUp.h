#pragma once

namespace vexa {

namespace platform {
class Dialogs;
}

// What web hosts know the control by in the pages written for it.
constexpr const char* kControlClassId = "{5B0E29C4-61D7-4A3B-9C2E-7F4D1A8E3B60}";
constexpr const char* kControlProgId = "VEXAACTIVEX.VexaActiveXCtrl.1";
constexpr const char* kPropertyPageProgId = "VEXAACTIVEX.VexaActiveXPropPage.1";
constexpr const char* kModuleVersion = "1.1.6.2";

constexpr const char* kWinSockError = "WinSock Error";

// Once per process, at the first control: a write to a closed connection must fail, not end the
// host, so SIGPIPE is ignored unless the host already handles it; and when no socket can be made
// the user is told so once ("WinSock Error"), every network part being unable to connect.
// Later calls do nothing. probe tells whether sockets can be made.
bool networkUsable();
void startModule(platform::Dialogs& dialogs, bool (*probe)() = networkUsable);

}  // namespace vexa
