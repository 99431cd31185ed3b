#pragma once

#include <dlfcn.h>

namespace kip {

// Looks up a function of a library opened with dlopen; false when the library lacks it. Libraries that only
// some users have (libcurl, libsmbclient) and the window module are loaded this way, at their first use.
template <typename Function>
bool resolveSymbol(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  return function != nullptr;
}

}  // namespace kip
