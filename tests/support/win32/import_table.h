// A call the tool makes into a system DLL, caught in the test: the tool's code is linked
// statically into the test executable, so each of its calls goes through the executable's import
// table, whose entry the test may point at a function of its own.
#pragma once

namespace corvelan::test {

// Points the executable's import of `function` from `dll` at `replacement`; returns the
// import's previous target, null when the executable does not import it.
void *patchImport(const char *dll, const char *function, void *replacement);

} // namespace corvelan::test
