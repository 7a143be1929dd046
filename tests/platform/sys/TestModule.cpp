// A small loadable library for the module tests.

extern "C" __attribute__((visibility("default"))) int LumoTestModuleAnswer() { return 42; }

namespace {
int g_calls = 0;
}

// Counts its calls, so a test can tell whether two loads share one copy of the library.
extern "C" __attribute__((visibility("default"))) int LumoTestModuleCallCount() { return ++g_calls; }
