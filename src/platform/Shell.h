// Desktop shell services: opening a folder or address with the desktop's
// default handler, and shutting the computer down.
//
// Both start a detached process. Opening waits up to two seconds for the
// handler to fail (no handler installed for the folder or address, or no
// opener at all), never for it to finish, so a handler that stays running
// never holds up the caller. The commands can be replaced through the
// environment (tests do, so that nothing is opened and nothing powers off):
//   QUOR_OPEN_COMMAND      run with the folder or address as its one argument
//                          (default: xdg-open)
//   QUOR_SHUTDOWN_COMMAND  run as a shell command line (default: systemctl poweroff)
// Stateless; any thread.
#pragma once

#include <string>

namespace platform {

// False when the handler could not be started or reported a failure.
bool OpenWithDesktop(const std::string& folderOrAddress);
// True when the shut-down command could be started.
bool ShutDownComputer();

}  // namespace platform
