#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Work spread over threads with results that do not depend on the thread
// count: tasks are numbered, workers compute them in any order, and the
// calling thread (the writer) takes the results strictly in task order.
// Whatever a task prints goes through consolePrintf, which on a worker lands
// in the task's buffer, so the writer can print it where a single-threaded
// run would have printed it.

// Most workers a run starts, whatever was asked for.
constexpr unsigned kMaxWorkers = 1024;

// Workers for a thread-count option: 0 means every core this process may run
// on (its CPU affinity, else std::thread::hardware_concurrency, at least 1);
// at most kMaxWorkers.
unsigned resolveThreadCount(unsigned requested);

// printf to standard output, or to the buffer of the ConsoleCapture active on
// this thread.
void consolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void consoleVprintf(const char* format, va_list args);
// fflush(stdout), unless a capture is active (its text is printed later).
void consoleFlush();
// Text for standard error (written and flushed at once), or for the error
// buffer of the active capture; without one, that capture's stdout buffer
// does not take it: it goes to standard error.
void consoleErrorText(const std::string& text);
void consoleErrorPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// While alive, consolePrintf on this thread appends to target (and
// consoleErrorText to errorTarget, when given). Nests: the previous capture
// comes back at destruction.
class ConsoleCapture {
 public:
  explicit ConsoleCapture(std::string& target, std::string* errorTarget = nullptr);
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

 private:
  std::string* m_previous;
  std::string* m_previousError;
};

// Results a caller may keep in flight: at most four per worker, and at most
// byteLimit / bytesPerTask of them, but always at least one.
size_t orderedWindow(unsigned workers, size_t bytesPerTask, size_t byteLimit = size_t{64} << 20);
// The same for tasks of very uneven cost (one estimation may take a thousand
// times as long as the next): up to 64 per worker, so that the others keep
// working while one task holds back the writer.
size_t unevenWindow(unsigned workers, size_t bytesPerTask, size_t byteLimit = size_t{64} << 20);

// Runs body(bounds[k], bounds[k + 1]) for every k, the first range on the
// calling thread and each other one on a thread of its own, and returns when
// all are done (the first exception thrown is rethrown). For work whose
// ranges do not depend on each other.
void parallelRanges(const std::vector<int64_t>& bounds, const std::function<void(int64_t, int64_t)>& body);

// Runs compute(task, worker) for task = 0 .. count - 1 on `workers` threads
// (worker = 0 .. workers - 1 names the thread, for per-thread scratch), and
// emit(task) on the calling thread in ascending task order, each as soon as
// its task is computed. A task starts only while it is fewer than window
// tasks ahead of the next one to emit, so results can live in window slots
// (task % window) that emit empties. Tasks are handed out in ascending order.
//
// emit returning false stops the run: no further task starts, the running
// ones are awaited, and runOrdered returns false. An exception thrown by
// compute or emit is rethrown on the calling thread once every worker has
// stopped (tasks before it have been emitted).
//
// With one worker (or one task) everything runs on the calling thread,
// compute and emit alternately, without starting a thread.
bool runOrdered(unsigned workers, int64_t count, size_t window,
                const std::function<void(int64_t task, unsigned worker)>& compute,
                const std::function<bool(int64_t task)>& emit);
