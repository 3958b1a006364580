#include "common_sgt/StatusReport.h"

#include <cstdarg>
#include <cstdio>

#include "common_sgt/Settings.h"

namespace {

constexpr int kResultBufferSize = 1000;
char g_resultBuffer[kResultBufferSize];

void statusLine(const char* key, const char* text) {
  if (!g_progress) return;
  fputs("\n", stderr);
  fflush(stderr);
  fputs(key, stderr);
  fputs(text ? text : "", stderr);
  fputs("\n", stderr);
  fflush(stderr);
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
  va_list ap;
  va_start(ap, format);
  vsnprintf(g_resultBuffer, kResultBufferSize, format, ap);
  va_end(ap);
  statusLine("#result=", g_resultBuffer);
}

void progressPhase(const char*) {}
void progressStep() {}
