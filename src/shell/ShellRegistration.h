#pragma once
// Explicit registration of what the shell offers by name (a static
// library's unreferenced registration objects would be dropped by the
// linker). Called at start by the program and by the tests.

#include "kit/foundation/ClassRegistry.h"

namespace tolva {

// The interface files "MainWindow" (the main window and the application
// delegate), "VeskWebViewController", "VeskWebViewController~iphone",
// "VeskViewComponents", "VeskViewComponents~iphone" and the PIN view's "PINViewDefault".
void registerShellInterfaceFiles();

// The settings buttons that clear stored data, as class functions of
// "VeskWebAppDelegate" (each under its action name and its first keyword),
// the settings screens reached by class name, and the sharers.
void registerShellClasses(kit::ClassRegistry& registry);

}  // namespace tolva
