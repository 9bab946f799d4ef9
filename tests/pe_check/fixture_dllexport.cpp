// dllexport adds to the export table whatever the .def says.
extern "C" __declspec(dllexport) int fixture_extra() { return 3; }
