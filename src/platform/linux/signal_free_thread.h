#pragma once

#include <signal.h>

#include <thread>
#include <utility>

namespace kip {

// Starts a thread that takes no signals: they belong to the program's main thread, which holds back or
// handles a session's end.
template <typename Body>
std::thread signalFreeThread(Body&& body) {
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  std::thread thread(std::forward<Body>(body));
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return thread;
}

}  // namespace kip
