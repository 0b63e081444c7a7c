// Replaces the global operator new so that the channel benchmark can count allocations and,
// in a separate untimed pass, say where each one came from.

#include "allocation_counter.h"

#include <cxxabi.h>
#include <execinfo.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace weft_bench {
namespace {

constexpr int kMaxFrames = 16;
constexpr size_t kMaxRecorded = 64;
constexpr char kProjectNamespace[] = "weft::";
constexpr char kUnnamedCaller[] = "(functions without an exported name)";
constexpr char kOperatorNew[] = "operator new";
constexpr char kBenchNamespace[] = "weft_bench::";
constexpr int kMaxNamedFrames = 3;
constexpr size_t kMaxNameLength = 110;
constexpr char kAddr2line[] = "addr2line -f -C -e ";
constexpr char kProgramPrefix[] = "/proc/self/exe";
constexpr char kProgramName[] = "channel_bench";
constexpr size_t kMaxLine = 512;

struct RawAllocation {
  size_t size;
  int frame_count;
  void* frames[kMaxFrames];
};

std::atomic<uint64_t> allocation_count{0};
std::atomic<bool> recording{false};
RawAllocation recorded[kMaxRecorded];
size_t recorded_count = 0;
thread_local bool inside_recorder = false;

void Record(size_t size) {
  if (inside_recorder || recorded_count == kMaxRecorded) {
    return;
  }
  inside_recorder = true;
  RawAllocation& entry = recorded[recorded_count++];
  entry.size = size;
  entry.frame_count = backtrace(entry.frames, kMaxFrames);
  inside_recorder = false;
}

void* Allocate(size_t size) {
  allocation_count.fetch_add(1, std::memory_order_relaxed);
  if (recording.load(std::memory_order_relaxed)) {
    Record(size);
  }
  if (size == 0) {
    size = 1;
  }
  void* block = std::malloc(size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return block;
}

// A function that the dynamic symbol table does not name, such as one in an unnamed
// namespace, named from the program's full symbol table by its offset in the program.
std::string LocalName(const char* offset) {
  // The child process has a /proc/self of its own, so it gets the path itself.
  char program[kMaxLine] = {};
  if (readlink(kProgramPrefix, program, sizeof(program) - 1) <= 0) {
    return std::string();
  }
  const std::string command = std::string(kAddr2line) + program + " " + offset;
  std::unique_ptr<FILE, decltype(&pclose)> output(popen(command.c_str(), "r"), &pclose);
  char line[kMaxLine] = {};
  if (!output || std::fgets(line, sizeof(line), output.get()) == nullptr) {
    return std::string();
  }
  std::string name(line);
  name.erase(name.find_last_not_of('\n') + 1);
  return name == "??" ? std::string() : name;
}

// "binary(mangled+0x12) [0x...]" to the demangled name, or empty.
std::string Demangled(const char* symbol) {
  const char* open = std::strchr(symbol, '(');
  const char* plus = open != nullptr ? std::strchr(open, '+') : nullptr;
  if (open == nullptr || plus == nullptr) {
    return std::string();
  }
  if (plus == open + 1) {
    const char* close = std::strchr(plus, ')');
    const bool in_program = std::strncmp(symbol, kProgramPrefix, open - symbol) == 0 ||
                            std::strstr(symbol, kProgramName) != nullptr;
    return close != nullptr && in_program ? LocalName(std::string(plus + 1, close).c_str())
                                          : std::string();
  }
  const std::string mangled(open + 1, plus);
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(
      abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status), &std::free);
  return status == 0 ? std::string(name.get()) : mangled;
}

bool IsCounterFrame(const std::string& name) {
  return name.rfind(kOperatorNew, 0) == 0 || name.rfind(kBenchNamespace, 0) == 0;
}

// The callers with an exported name, innermost first, up to the first of this project's own.
std::string Caller(const RawAllocation& entry) {
  std::unique_ptr<char*, decltype(&std::free)> symbols(
      backtrace_symbols(entry.frames, entry.frame_count), &std::free);
  if (!symbols) {
    return kUnnamedCaller;
  }
  std::string caller;
  int named = 0;
  for (int i = 0; i < entry.frame_count && named < kMaxNamedFrames; ++i) {
    std::string name = Demangled(symbols.get()[i]);
    if (name.empty() || IsCounterFrame(name)) {
      continue;
    }
    if (name.size() > kMaxNameLength) {
      name = name.substr(0, kMaxNameLength) + "...";
    }
    caller += (named++ == 0 ? "" : " < ") + name;
    if (name.rfind(kProjectNamespace, 0) == 0) {
      break;
    }
  }
  return caller.empty() ? std::string(kUnnamedCaller) : caller;
}

}  // namespace

uint64_t AllocationCount() {
  return allocation_count.load(std::memory_order_relaxed);
}

void StartRecording() {
  void* warm_up[1];
  backtrace(warm_up, 1);
  recorded_count = 0;
  recording.store(true);
}

std::vector<Allocation> StopRecording() {
  recording.store(false);
  std::vector<Allocation> allocations;
  for (size_t i = 0; i < recorded_count; ++i) {
    allocations.push_back(Allocation{recorded[i].size, Caller(recorded[i])});
  }
  return allocations;
}

}  // namespace weft_bench

void* operator new(size_t size) {
  return weft_bench::Allocate(size);
}
void* operator new[](size_t size) {
  return weft_bench::Allocate(size);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, size_t) noexcept {
  std::free(block);
}
