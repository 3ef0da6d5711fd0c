/* A host of the shipped 32-bit BRIOUTIL.dll as the authoring tool uses it: every export taken by
 * name and called through a __stdcall pointer declared here (the public header could hide a fault
 * of the DLL); a probe checks it removed exactly its arguments and kept the callee-saved registers.
 * One exact call per export family.   host.exe PATH-TO-BRIOUTIL.dll  (in an empty folder) */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef const char* Str;
/* Each export: name, documented argument count, result and argument types. */
/* clang-format off */
#define EXPORTS(X)                                                                                 \
    X(CadenceDLL, 0, int32_t, (void))                                                              \
    X(TopicNew, 2, Str, (uint32_t*, int32_t*))                                                     \
    X(TopicEmitRtfFile, 8, int32_t, (Str, Str, Str, Str, char*, Str, Str, int32_t))                \
    X(TopicImportString, 16, void*, (Str, Str*, uint32_t*, int32_t*, char**, uint32_t*, char**,    \
      uint32_t*, char**, uint32_t*, char**, uint32_t*, uint32_t*, Str*, uint32_t*, int32_t*))      \
    X(TopicImportStringClose, 1, void, (void*))                                                    \
    X(TopicFindText, 3, int32_t, (Str, Str, int32_t*))                                             \
    X(TopicOpenDummyFile, 1, void*, (Str))                                                         \
    X(TopicDummy, 8, int32_t, (void*, Str, Str, Str, char*, Str, Str, int32_t))                    \
    X(TopicCloseDummyFile, 1, int32_t, (void*))                                                    \
    X(AutolinkReference, 9, void*, (void*, Str, Str, Str, int32_t, int32_t, Str, uint32_t,         \
      int32_t*))                                                                                   \
    X(Autolink, 8, char*, (void*, Str, Str, Str, int32_t, uint32_t, int32_t*, int32_t*))           \
    X(AutolinkRemove, 3, char*, (Str, int32_t*, int32_t*))                                         \
    X(AutolinkDone, 1, void, (void*))                                                              \
    X(HotspotGetDIBBitmap, 1, int32_t, (Str))                                                      \
    X(FileGetBitmap, 2, void*, (Str, int32_t))                                                     \
    X(FileGetHotspot, 8, int32_t, (void*, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, Str*,  \
      int32_t*))                                                                                   \
    X(FileSetBitmap, 1, void*, (Str))                                                              \
    X(FileSetHotspot, 7, int32_t, (void*, int32_t, int32_t, int32_t, int32_t, int32_t, Str))       \
    X(FileWriteHotspots, 1, int32_t, (void*))                                                      \
    X(FileCleanup, 1, int32_t, (void*))                                                            \
    X(FormOpen, 1, void*, (Str))                                                                   \
    X(FormGetProperty, 6, int32_t, (void*, Str, Str, Str, Str*, uint32_t*))                        \
    X(FormSetProperty, 5, int32_t, (void*, Str, Str, Str, Str))                                    \
    X(FormDeleteSection, 3, int32_t, (void*, Str, Str))                                            \
    X(FormClose, 1, int32_t, (void*))                                                              \
    X(GetAppPath, 3, int32_t, (Str, Str*, uint32_t*))
/* clang-format on */

#define AS_TYPE(name, count, result, args) typedef result(__stdcall* name##Fn) args;
EXPORTS(AS_TYPE)
#define AS_ENUM(name, count, result, args) E_##name,
enum { EXPORTS(AS_ENUM) ExportCount };
#define AS_ROW(name, count, result, args) {#name, count, NULL, 0},
static struct {
    const char* name;
    int argCount;
    FARPROC address;
    int calls;
} exportsTable[] = {EXPORTS(AS_ROW)};

/* The probe, entered through the typed pointer in place of the export: notes
 * the stack pointer and callee-saved registers, makes the export return to
 * it, notes them again, puts the stack where the declared argument count
 * says (so a fault is reported, not crashed on) and returns. Not reentrant. */
void ProbeThunk(void);
/* Called through a variable, so the compiler calls it as each export's type. */
void (*probeEntry)(void) = ProbeThunk;
uintptr_t probeTarget, probeReturn, probeArgBytes, probeEntryEsp, probeExitEsp;
uintptr_t probeEntryRegs[4], probeExitRegs[4];
__asm__(
    ".text\n"
    ".globl _ProbeThunk\n"
    "_ProbeThunk:\n"
    "  movl %esp, _probeEntryEsp\n"
    "  movl %ebx, _probeEntryRegs\n"
    "  movl %esi, _probeEntryRegs+4\n"
    "  movl %edi, _probeEntryRegs+8\n"
    "  movl %ebp, _probeEntryRegs+12\n"
    "  movl (%esp), %ecx\n"
    "  movl %ecx, _probeReturn\n"
    "  movl $ProbeResume, (%esp)\n"
    "  jmp *_probeTarget\n"
    "ProbeResume:\n"
    "  movl %esp, _probeExitEsp\n"
    "  movl %ebx, _probeExitRegs\n"
    "  movl %esi, _probeExitRegs+4\n"
    "  movl %edi, _probeExitRegs+8\n"
    "  movl %ebp, _probeExitRegs+12\n"
    "  movl _probeEntryEsp, %ecx\n"
    "  addl _probeArgBytes, %ecx\n"
    "  leal 4(%ecx), %esp\n"
    "  jmp *_probeReturn\n");

/* Runs fn with the stack pointer moved down by shift bytes: a 32-bit host
 * promises only 4-byte stack alignment, so the exports must not rely on more. */
void CallWithStackShift(void (*fn)(void), uintptr_t shift);
__asm__(
    ".text\n"
    ".globl _CallWithStackShift\n"
    "_CallWithStackShift:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  andl $-16, %esp\n"
    "  subl 12(%ebp), %esp\n"
    "  call *8(%ebp)\n"
    "  movl %ebp, %esp\n"
    "  popl %ebp\n"
    "  ret\n");

static int failures, checks;

static void Fail(int line, const char* what) {
    ++failures;
    printf("host.c:%d: FAILED: %s\n", line, what);
}
#define CHECK(cond) (++checks, (cond) ? (void)0 : Fail(__LINE__, #cond))

/* Exact bytes, with the actual text shown on a mismatch. */
static void CheckBytes(int line, const char* actual, size_t actualLength, const char* expected,
                       size_t expectedLength) {
    ++checks;
    if (actual && actualLength == expectedLength && !memcmp(actual, expected, expectedLength))
        return;
    Fail(line, "bytes differ; actual:");
    printf("  \"%.*s\" (%u bytes)\n", actual ? (int)actualLength : 0, actual ? actual : "",
           (unsigned)actualLength);
}
#define CHECK_BYTES(actual, length, literal) \
    CheckBytes(__LINE__, actual, length, literal, sizeof(literal) - 1)

static void Arm(int e) {
    probeTarget = (uintptr_t)exportsTable[e].address;
    probeArgBytes = 4u * (uintptr_t)exportsTable[e].argCount;
}

/* The stack alignments (esp mod 16, in steps of 4) the exports were called at. */
static unsigned alignmentsSeen;

static void Settle(int e, int line) {
    ++exportsTable[e].calls;
    alignmentsSeen |= 1u << (probeEntryEsp & 12) / 4;
    intptr_t popped = (intptr_t)(probeExitEsp - probeEntryEsp) - 4;
    int kept = !memcmp(probeEntryRegs, probeExitRegs, sizeof probeEntryRegs);
    checks += 2;
    if (popped != (intptr_t)probeArgBytes || !kept) {
        Fail(line, exportsTable[e].name);
        printf("  removed %d bytes of arguments, not %d; registers %s\n", (int)popped,
               (int)probeArgBytes, kept ? "kept" : "changed");
    }
}

#define CALL(result, name, ...)                       \
    do {                                              \
        Arm(E_##name);                                \
        result = ((name##Fn)probeEntry)(__VA_ARGS__); \
        Settle(E_##name, __LINE__);                   \
    } while (0)
#define CALL_VOID(name, ...)                 \
    do {                                     \
        Arm(E_##name);                       \
        ((name##Fn)probeEntry)(__VA_ARGS__); \
        Settle(E_##name, __LINE__);          \
    } while (0)

static char* ReadWhole(const char* path, size_t* length) {
    static char buffer[8192];
    FILE* f = fopen(path, "rb");
    *length = 0;
    if (!f) return NULL;
    *length = fread(buffer, 1, sizeof buffer, f);
    fclose(f);
    return buffer;
}

static void WriteWhole(const char* path, const void* bytes, size_t length) {
    FILE* f = fopen(path, "wb");
    if (!f || fwrite(bytes, 1, length, f) != length || fclose(f)) {
        printf("cannot write %s\n", path);
        exit(2);
    }
}

static void TopicImport(void) {
    static const char kImport[] =
        "{\\rtf1\\ansi{\\stylesheet{\\*\\cs99 \\additive Autolink;}}\\keepn #{\\footnote CTX}"
        "${\\footnote Title}+{\\footnote seq:1}K{\\footnote alpha}K{\\footnote beta}"
        "First line\\par\\pard Body\\par}";
    static const char* const kNotes[4] = {"CTX", "Title", "seq:1", "alpha|beta"};
    const char *rtf = NULL, *firstLine = NULL;
    char* notes[4] = {NULL, NULL, NULL, NULL}; /* context, title, browse, keywords */
    uint32_t rtfLength = 0, noteLengths[4] = {0, 0, 0, 0}, consumed = 0, firstLineLength = 0;
    int32_t nonScrolling = 0, status = 1;
    void* import;
    CALL(import, TopicImportString, kImport, &rtf, &rtfLength, &nonScrolling, &notes[0],
         &noteLengths[0], &notes[1], &noteLengths[1], &notes[2], &noteLengths[2], &notes[3],
         &noteLengths[3], &consumed, &firstLine, &firstLineLength, &status);
    CHECK(import != NULL && status == 0 && nonScrolling == 11 && consumed == sizeof kImport - 1);
    CHECK_BYTES(
        rtf, rtfLength,
        "{\\rtf1\\ansi{\\stylesheet{\\*\\cs99 \\additive Autolink;}}First line\\par Body\\par}");
    CHECK_BYTES(firstLine, firstLineLength, "First line");
    for (int i = 0; i < 4; ++i) {
        CheckBytes(__LINE__, notes[i], noteLengths[i], kNotes[i], strlen(kNotes[i]));
        free(notes[i]); /* from the C runtime heap the host shares */
    }
    CALL_VOID(TopicImportStringClose, import);
}

static void Topics(void) {
    uint32_t length = 1;
    int32_t status = 1, found, result;
    const char* text;
    CALL(text, TopicNew, &length, &status);
    CHECK(text && strlen(text) == 577 && length == 577 && status == 0);
    CALL(found, TopicFindText, "{\\rtf1 Hello {\\b big} world\\par}", "BIG World", &status);
    CHECK(found == 1 && status == 0);
    char keywords[] = "alpha|beta";
    CALL(result, TopicEmitRtfFile, "{\\rtf1\\ansi First\\par Body\\par}", "CTX", "Title", "Mac()",
         keywords, "seq:1", "emit.rtf", 1);
    CHECK(result == 0 && !memcmp(keywords, "alpha\0beta", sizeof keywords));
    TopicImport();

    void* dummy;
    CALL(dummy, TopicOpenDummyFile, "dummy.rtf");
    char dummyKeywords[] = "one|two";
    CALL(result, TopicDummy, dummy, "CTX", "Title", "Mac()", dummyKeywords, "seq:1", "a {b} \\c",
         1);
    int32_t closed;
    CALL(closed, TopicCloseDummyFile, dummy);
    CHECK(dummy && result == 0 && closed == 0 &&
          !memcmp(dummyKeywords, "one\0two", sizeof dummyKeywords));
}

static void Autolinks(void) {
    int32_t result = 1, length = 0;
    void* dictionary;
    CALL(dictionary, AutolinkReference, NULL, "help file", "helpfile", "HelpCtx", 0, 0, "x", 0,
         &result);
    CHECK(dictionary != NULL && result == 0);
    void* same;
    CALL(same, AutolinkReference, dictionary, "Index", "", "IdxCtx", 0, 1, "", 1, &result);
    CHECK(same == dictionary && result == 0);

    static const char kPlain[] =
        "{\\rtf1\\ansi{\\stylesheet{\\*\\cs99 \\additive Autolink;}}"
        "See the Help File and the index, or Index.\\par}";
    char* linked;
    CALL(linked, Autolink, dictionary, kPlain, "", "", 0, 2, &length, &result);
    CHECK(result == 0);
    CHECK_BYTES(linked, (size_t)length,
                "{\\rtf1\\ansi{\\stylesheet{\\*\\cs99 \\additive Autolink;}}See the "
                "{\\cs99\\cf2\\uldb Help File}{\\cs99\\v HelpCtx} and the index, or "
                "{\\cs99\\cf2\\ul Index}{\\cs99\\v IdxCtx}.\\par}");
    char* unlinked;
    CALL(unlinked, AutolinkRemove, linked, &length, &result);
    CHECK(result == -1);
    free(unlinked);
    CALL_VOID(AutolinkDone, dictionary);
}

static void Pictures(void) {
    /* A 2x2 24-bit bitmap file with its image-size field left 0. */
    static const char kBitmapFile[] =
        "BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\2\0\0\0\2\0\0\0\1\0\x18\0\0\0\0\0\0\0\0\0"
        "\x13\x0b\0\0\x13\x0b\0\0\0\0\0\0\0\0\0\0\1\2\3\4\5\6\0\0\7\x08\x09\x0a\x0b\x0c\0\0";
    WriteWhole("picture.bmp", kBitmapFile, sizeof kBitmapFile - 1);
    int32_t result;
    CALL(result, HotspotGetDIBBitmap, "picture.bmp");
    CHECK(result == 0);

    void* file;
    int32_t set, written, cleaned;
    CALL(file, FileSetBitmap, "picture.shg");
    CALL(set, FileSetHotspot, file, 1, 2, 3, 4, 0, "JumpCtx");
    CALL(written, FileWriteHotspots, file);
    CALL(cleaned, FileCleanup, file);
    CHECK(file && set == 0 && written == 0 && cleaned == 0);

    CALL(file, FileGetBitmap, "picture.shg", 0);
    int32_t top = 0, bottom = 0, left = 0, right = 0, kind = 9, bindingLength = 0;
    const char* binding = NULL;
    CALL(result, FileGetHotspot, file, &top, &bottom, &left, &right, &kind, &binding,
         &bindingLength);
    CHECK(file && result == 1 && top == 1 && bottom == 2 && left == 3 && right == 4 && kind == 0);
    CHECK_BYTES(binding, (size_t)bindingLength, "JumpCtx");
}

static void Forms(void) {
    static const char kForm[] =
        "VERSION 5.00\nBegin Form Main\n   Caption = Hello there\n"
        "   Begin Button Ok\n      Text = OK\n   End\nEnd\n";
    WriteWhole("form.frm", kForm, sizeof kForm - 1);
    void* form;
    const char* value = NULL;
    uint32_t length = 0;
    int32_t got, set, deleted, closed;
    CALL(form, FormOpen, "form.frm");
    CALL(got, FormGetProperty, form, "FORM", "main", "caption", &value, &length);
    CHECK_BYTES(value, length, "Hello there");
    CALL(set, FormSetProperty, form, "Form", "Main", "Caption", "Bye");
    CALL(deleted, FormDeleteSection, form, "button", "OK");
    CALL(closed, FormClose, form);
    CHECK(form && got == 0 && set == 0 && deleted == 0 && closed == 0);
    /* Lines keep the ends they were read with. */
    size_t size;
    const char* bytes = ReadWhole("form.frm", &size);
    CHECK_BYTES(bytes, size, "VERSION 5.00\nBegin Form Main\n   Caption =   Bye\nEnd\n");
}

static void AppPaths(void) {
    static const char kKey[] =
        "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\brioutil-host.exe";
    static const char kPath[] = "C:\\Tools\\brioutil-host.exe";
    HKEY key;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kKey, &key) != ERROR_SUCCESS ||
        RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE*)kPath, sizeof kPath) != ERROR_SUCCESS) {
        Fail(__LINE__, "cannot set up the App Paths key");
        return;
    }
    RegCloseKey(key);
    const char* data = NULL;
    uint32_t size = 0;
    int32_t result;
    CALL(result, GetAppPath, "brioutil-host.exe", &data, &size);
    CHECK(result == 0);
    CHECK_BYTES(data, size, "C:\\Tools\\brioutil-host.exe\0");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
}

static void Everything(void) {
    int32_t probe = 1;
    CALL(probe, CadenceDLL);
    CHECK(probe == 0);
    Topics();
    Autolinks();
    Pictures();
    Forms();
    AppPaths();
}

int main(int argc, char** argv) {
    if (argc != 2) {
        printf("usage: host PATH-TO-BRIOUTIL.dll\n");
        return 2;
    }
    HMODULE dll = LoadLibraryA(argv[1]);
    if (!dll) {
        printf("LoadLibrary(%s) failed: %lu\n", argv[1], GetLastError());
        return 1;
    }
    for (int e = 0; e < ExportCount; ++e) {
        exportsTable[e].address = GetProcAddress(dll, exportsTable[e].name);
        if (!exportsTable[e].address) {
            printf("no export named %s\n", exportsTable[e].name);
            return 1;
        }
    }

    for (uintptr_t shift = 0; shift < 16; shift += 4) CallWithStackShift(Everything, shift);

    int calls = 0;
    for (int e = 0; e < ExportCount; ++e) {
        calls += exportsTable[e].calls;
        if (!exportsTable[e].calls) {
            printf("%s was never called\n", exportsTable[e].name);
            ++failures;
        }
    }
    CHECK(alignmentsSeen == 15);
    CHECK(FreeLibrary(dll));
    printf("host: %d exports, %d calls, %d checks, %d failed\n", (int)ExportCount, calls, checks,
           failures);
    return failures ? 1 : 0;
}
