// torq32 on Windows: the window program; its home folder is the folder it starts in.
#include <windows.h>

#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "app/startup.h"
#include "lz/lz_file.h"
#include "ui/win32/main_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show_command) {
  try {
    lz::EngineStartup();
    if (const std::optional<std::string> refusal = app::StartFolderRefusal()) {
      app::ShowErrorBox(nullptr, *refusal);
      return EXIT_FAILURE;
    }
    app::TMain Main;
    Main.Show(show_command);
    MSG message;
    int got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) Main.HandleQueued(message);
    return got < 0 ? EXIT_FAILURE : static_cast<int>(message.wParam);
  } catch (const std::exception& error) {
    app::ShowErrorBox(nullptr, error.what());
    return EXIT_FAILURE;
  }
}
