// Where the stand-in writes its own diagnostic lines: a duplicate of the process's standard
// error taken when the library is loaded, as an engine with a runtime of its own has. After the
// host reopens its standard streams, ResyncDiagnosticStream takes a fresh duplicate.
#ifndef STANDIN_ENGINE_DIAGNOSTIC_STREAM_H_
#define STANDIN_ENGINE_DIAGNOSTIC_STREAM_H_

namespace standin {

// line has no line end; one is added.
void WriteDiagnosticLine(const char* line);
void ResyncDiagnosticStream();

}  // namespace standin

#endif  // STANDIN_ENGINE_DIAGNOSTIC_STREAM_H_
