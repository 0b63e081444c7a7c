// Loading the engine library weft_windows.dll. inkmoor.exe imports it delay-loaded, so that
// nothing of the engine runs before the crash handler is in place and a missing or broken engine
// library is named instead of ending the process in the loader.
#ifndef RUNNER_ENGINE_LIBRARY_H_
#define RUNNER_ENGINE_LIBRARY_H_

// Loads weft_windows.dll from the folder of the executable, by its full path, for the rest of the
// process's life; the delay-load imports then resolve to it. Reports the failure and returns false
// when it cannot be loaded.
bool LoadEngineLibrary();

#endif  // RUNNER_ENGINE_LIBRARY_H_
