// Library frame: the assertion reporter used by internal checks.
#pragma once

namespace brio {

// Writes "Assertion Failed: File <module>, Line <line>." to the debugger
// output and breaks only when a debugger is attached; the caller carries on.
void ReportAssertion(unsigned short line, const char* module);

// The text of the last report (the library-wide assertion buffer).
const char* LastAssertionText();

}  // namespace brio

// Reports a failed check with this module's name and the line.
#define BRIO_CHECK(cond, module)                                         \
    do {                                                                 \
        if (!(cond)) ::brio::ReportAssertion(__LINE__ & 0xFFFF, module); \
    } while (0)
