// Entry routine, the probe export and the assertion reporter.
#include "brioutil.h"
#include "frame/frame.h"
#include "frame/guard.h"
#include "platform/platform.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// Nothing to register: the library brings no class-library objects, so
// loading never fails and detach only runs static destructors.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
#endif

namespace brio {

namespace {
// Fixed text, the longest module name and five digits fit easily.
thread_local char gAssertionText[1024];
}  // namespace

void ReportAssertion(unsigned short line, const char* module) {
    FormatBounded(gAssertionText, "Assertion Failed: File %s, Line %u.\r\n", module ? module : "",
                  static_cast<unsigned>(line));
    PlatDebugOutput(gAssertionText);
    DebugBreakIfPresent();
}

const char* LastAssertionText() {
    return gAssertionText;
}

}  // namespace brio

extern "C" int32_t BRIOAPI CadenceDLL(void) {
    return brio::GuardExport([] { return 0; }, [] { return 0; });
}
