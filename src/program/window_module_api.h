#pragma once

// What passes between the program file kiplaunch and its window module kiplaunch_window.so. The program
// links no toolkit: it loads, runs the first pass of an autostart run and starts programs before the
// toolkit is loaded at all; the module, loaded with dlopen only when a window or a message is to be
// shown, brings the toolkit and uses the program's own copy of the core, which the program exports.

#include <signal.h>

#include "app/run_engine.h"
#include "platform/prompts.h"

namespace kip {

// What the program's entry point hands to the window module.
struct WindowStart {
  int* argc;
  char** argv;
  const char* runtimePath;
  const CoreServices* services;
  // Started up before the toolkit was loaded; null when the window runs the start-up sequence itself,
  // which it does after the splash screen.
  RunEngine* engine;
  Switch sw;
  bool splash;
};

// The module's file name, looked for beside the program and in its installed folder.
inline constexpr const char* kWindowModuleFile = "kiplaunch_window.so";

// The names of the module's entry points.
inline constexpr const char* kWindowRunSymbol = "kipWindowRun";
inline constexpr const char* kWindowAskToRaiseSymbol = "kipWindowAskToRaise";
inline constexpr const char* kWindowPromptsSymbol = "kipWindowPrompts";

extern "C" {
// Runs the window until the program ends; returns the exit status.
using WindowRunFunction = int (*)(const WindowStart* start);
// Asks the copy already running to raise its window.
using WindowAskToRaiseFunction = void (*)(int* argc, char** argv, const char* runtimePath);
// The toolkit's message boxes and file dialogs, the toolkit started if it was not.
using WindowPromptsFunction = Prompts* (*)(int* argc, char** argv);
}

// The signals of a session's end. The program holds them back during the start-up, and threads started
// meanwhile inherit the mask, until the window has installed its handler and lets them through.
inline sigset_t sessionEndSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaddset(&set, sig);
  return set;
}

}  // namespace kip
