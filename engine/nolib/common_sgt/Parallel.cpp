#include "common_sgt/Parallel.h"

#include <sched.h>

#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {
thread_local std::string* t_capture = nullptr;
thread_local std::string* t_errorCapture = nullptr;

// vsnprintf appended to text.
void appendFormatted(std::string& text, const char* format, va_list ap) {
  char small[256];
  va_list again;
  va_copy(again, ap);
  const int n = vsnprintf(small, sizeof small, format, ap);
  if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
    text.append(small, static_cast<size_t>(n));
  } else if (n >= 0) {
    const size_t at = text.size();
    text.resize(at + static_cast<size_t>(n) + 1);
    vsnprintf(text.data() + at, static_cast<size_t>(n) + 1, format, again);
    text.resize(at + static_cast<size_t>(n));
  }
  va_end(again);
}
}  // namespace

unsigned resolveThreadCount(unsigned requested) {
  if (requested > kMaxWorkers) return kMaxWorkers;
  if (requested > 0) return requested;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n) < kMaxWorkers ? static_cast<unsigned>(n) : kMaxWorkers;
  }
  const unsigned hc = std::thread::hardware_concurrency();
  return hc == 0 ? 1 : hc < kMaxWorkers ? hc : kMaxWorkers;
}

void consoleVprintf(const char* format, va_list args) {
  if (t_capture)
    appendFormatted(*t_capture, format, args);
  else
    vprintf(format, args);
}

void consolePrintf(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  consoleVprintf(format, ap);
  va_end(ap);
}

void consoleErrorText(const std::string& text) {
  if (t_errorCapture) {
    t_errorCapture->append(text);
    return;
  }
  fputs(text.c_str(), stderr);
  fflush(stderr);
}

void consoleErrorPrintf(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::string text;
  appendFormatted(text, format, ap);
  va_end(ap);
  consoleErrorText(text);
}

void consoleFlush() {
  if (!t_capture) fflush(stdout);
}

ConsoleCapture::ConsoleCapture(std::string& target, std::string* errorTarget)
    : m_previous(t_capture), m_previousError(t_errorCapture) {
  t_capture = &target;
  t_errorCapture = errorTarget;
}
ConsoleCapture::~ConsoleCapture() {
  t_capture = m_previous;
  t_errorCapture = m_previousError;
}

namespace {

size_t windowOf(unsigned workers, size_t perWorker, size_t bytesPerTask, size_t byteLimit) {
  size_t window = static_cast<size_t>(workers == 0 ? 1 : workers) * perWorker;
  if (bytesPerTask > 0) {
    const size_t byBytes = byteLimit / bytesPerTask;
    if (byBytes < window) window = byBytes;
  }
  return window < 1 ? 1 : window;
}

}  // namespace

size_t orderedWindow(unsigned workers, size_t bytesPerTask, size_t byteLimit) {
  return windowOf(workers, 4, bytesPerTask, byteLimit);
}

size_t unevenWindow(unsigned workers, size_t bytesPerTask, size_t byteLimit) {
  return windowOf(workers, 64, bytesPerTask, byteLimit);
}

void parallelRanges(const std::vector<int64_t>& bounds, const std::function<void(int64_t, int64_t)>& body) {
  if (bounds.size() < 2) return;
  const size_t parts = bounds.size() - 1;
  std::vector<std::exception_ptr> failures(parts);
  std::vector<std::thread> threads;
  threads.reserve(parts - 1);
  size_t started = 1;
  for (size_t k = 1; k < parts; ++k) {
    try {
      threads.emplace_back([&, k] {
        try {
          body(bounds[k], bounds[k + 1]);
        } catch (...) {
          failures[k] = std::current_exception();
        }
      });
      ++started;
    } catch (...) {
      break;  // no more threads: the calling thread does the rest
    }
  }
  try {
    body(bounds[0], bounds[1]);
    for (size_t k = started; k < parts; ++k) body(bounds[k], bounds[k + 1]);
  } catch (...) {
    failures[0] = std::current_exception();
  }
  for (std::thread& t : threads) t.join();
  for (const std::exception_ptr& f : failures)
    if (f) std::rethrow_exception(f);
}

bool runOrdered(unsigned workers, int64_t count, size_t window,
                const std::function<void(int64_t, unsigned)>& compute, const std::function<bool(int64_t)>& emit) {
  if (count <= 0) return true;
  if (window < 1) window = 1;
  if (workers <= 1 || count == 1) {
    for (int64_t t = 0; t < count; ++t) {
      compute(t, 0);
      if (!emit(t)) return false;
    }
    return true;
  }
  if (static_cast<int64_t>(workers) > count) workers = static_cast<unsigned>(count);

  std::mutex mutex;
  std::condition_variable workerWake;  // room in the window, or stop
  std::condition_variable writerWake;  // a task finished, or a failure
  int64_t next = 0;                    // next task to hand out
  int64_t emitted = 0;                 // tasks emitted so far
  bool stop = false;
  std::exception_ptr failure;
  int64_t failedTask = count;  // the first task whose compute threw
  // finished[task % window] holds task + 1 once that task is computed.
  std::vector<int64_t> finished(window, 0);

  auto work = [&](unsigned worker) {
    for (;;) {
      int64_t task;
      {
        std::unique_lock<std::mutex> lock(mutex);
        workerWake.wait(lock, [&] { return stop || next >= count || next < emitted + static_cast<int64_t>(window); });
        if (stop || next >= count) return;
        task = next++;
      }
      try {
        compute(task, worker);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure || task < failedTask) failure = std::current_exception();
        if (task < failedTask) failedTask = task;
        stop = true;
        workerWake.notify_all();
        writerWake.notify_all();
        return;
      }
      std::lock_guard<std::mutex> lock(mutex);
      finished[static_cast<size_t>(task % static_cast<int64_t>(window))] = task + 1;
      writerWake.notify_all();
    }
  };

  std::vector<std::thread> threads;
  threads.reserve(workers);
  bool completed = true;
  try {
    for (unsigned w = 0; w < workers; ++w) threads.emplace_back(work, w);
  } catch (...) {
    // Fewer threads than asked (none at all is handled below by running the
    // rest here): the order of the results does not depend on their number.
    if (threads.empty()) {
      for (int64_t t = 0; t < count; ++t) {
        compute(t, 0);
        if (!emit(t)) return false;
      }
      return true;
    }
  }
  for (int64_t t = 0; t < count; ++t) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      // Tasks before a failed one are all handed out and still get emitted.
      const size_t slot = static_cast<size_t>(t % static_cast<int64_t>(window));
      writerWake.wait(lock, [&] { return finished[slot] == t + 1 || t >= failedTask; });
      if (finished[slot] != t + 1) break;
    }
    bool more;
    try {
      more = emit(t);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!failure) failure = std::current_exception();
      more = false;
    }
    std::lock_guard<std::mutex> lock(mutex);
    emitted = t + 1;
    if (!more) {
      stop = true;
      completed = false;
    }
    workerWake.notify_all();
    if (!more) break;
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    stop = true;
    workerWake.notify_all();
  }
  for (std::thread& th : threads) th.join();
  if (failure) std::rethrow_exception(failure);
  return completed;
}
