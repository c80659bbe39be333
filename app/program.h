// The program's start: what each platform's entry calls once it has its
// window system and services.
#pragma once

#include "runtime/services.h"
#include "runtime/window_system.h"

namespace quorvex::app {

// Builds Form1 hidden, runs Form_Load under the runtime's error rule, shows
// the window and runs it until it is closed. Returns the exit status: that of
// End where Form_Load ends the program.
int Main(runtime::WindowSystem& window_system, runtime::Services& services);

}  // namespace quorvex::app
