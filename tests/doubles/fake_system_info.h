#pragma once

// FakeSystemInfo (platform id, user name and power status set by the test) lives with the other probe
// fakes; this header is the place to include it from when only the system facts are needed.
#include "fake_probes.h"
