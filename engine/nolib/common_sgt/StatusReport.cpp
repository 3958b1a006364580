#include "common_sgt/StatusReport.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "common_sgt/Parallel.h"
#include "common_sgt/Settings.h"

namespace {

constexpr int kResultBufferSize = 1000;

// Through the console capture, so a worker's lines reach standard error in
// the order of a single-threaded run.
void statusLine(const char* key, const char* text) {
  if (!g_progress) return;
  std::string line = "\n";
  line += key;
  line += text ? text : "";
  line += '\n';
  consoleErrorText(line);
}

}  // namespace

void reportTaskList(const char* text) { statusLine("#tasklist=", text); }

void reportValue(int task, int value) {
  if (!g_progress) return;
  char buf[64];
  snprintf(buf, sizeof buf, "%d,%d", task, value);
  statusLine("#v=", buf);
}

void reportSuccess(const char* text) { statusLine("#success=", text); }
void reportError(const char* text) { statusLine("#error=", text); }
void reportRuntime(const char* text) { statusLine("#runtime=", text); }

void reportResult(const char* format, ...) {
  if (!g_progress) return;
  char buffer[kResultBufferSize];
  va_list ap;
  va_start(ap, format);
  vsnprintf(buffer, kResultBufferSize, format, ap);
  va_end(ap);
  statusLine("#result=", buffer);
}

void progressPhase(const char*) {}
void progressStep() {}
