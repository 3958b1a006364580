#pragma once
#include "common_sgt/SourceUnit.h"

// The three report shapes shared by every command.
// Null report: "NULL\t<unit>:<line>\n" on standard output.
void reportNull(const char* unit, int line);
// System-error report: "<unit>:<line>\n" on standard output, then
// "<condition>: <system error text>\n" on standard error.
void reportSystemError(const char* unit, int line, const char* condition);
// "<subject>: <system error text>\n" on standard error for the current errno.
void printSystemErrorFor(const char* subject);
// Condition report: " ERROR : FILE : <unit> , LINE : <line> \n   MSG : <msg>\n" on standard output.
void reportCondition(const char* unit, int line, const char* message);

#define NULL_REPORT() reportNull(SGT_UNIT, __LINE__)
#define SYSTEM_ERROR_REPORT(cond) reportSystemError(SGT_UNIT, __LINE__, (cond))
#define CONDITION_REPORT(msg) reportCondition(SGT_UNIT, __LINE__, (msg))
