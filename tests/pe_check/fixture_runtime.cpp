// Calls into a DLL named like the mingw C++ runtime, as a dynamically linked runtime would.
extern "C" int fixture_runtime_call();
extern "C" int gamma_runtime() { return fixture_runtime_call(); }
