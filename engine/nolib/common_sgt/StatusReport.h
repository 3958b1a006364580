#pragma once

// Machine-readable status lines on standard error, each preceded by an empty
// line. They print only while the progress switch is on.
void reportTaskList(const char* text);
void reportValue(int task, int value);
void reportSuccess(const char* text);
void reportError(const char* text);
void reportRuntime(const char* text);
// Formats into one buffer of 1,000 bytes; longer texts are cut there.
void reportResult(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Hooks the estimators call at phase starts and steps; they print nothing.
void progressPhase(const char* text);
void progressStep();
