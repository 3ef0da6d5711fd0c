/* brioutil: help topics in RTF, Autolink, hotspot pictures, form files and
 * application paths. The public C API of BRIOUTIL.dll and libbrioutil.so. */
#ifndef BRIOUTIL_H
#define BRIOUTIL_H

#include <stddef.h>
#include <stdint.h>

/* Every export uses the standard Windows calling convention on 32-bit
 * Windows (callee pops, undecorated names through the .def file). */
#if defined(_WIN32) && !defined(_WIN64)
#define BRIOAPI __stdcall
#else
#define BRIOAPI
#endif

#if defined(BRIOUTIL_BUILDING) && !defined(_WIN32)
#define BRIOUTIL_EXPORT __attribute__((visibility("default")))
#else
#define BRIOUTIL_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes of the RTF, topic, Autolink and form operations. */
enum BrioStatus {
    BRIO_OK = 0,
    BRIO_END_OF_INPUT = -1,               /* internal; AutolinkRemove reports success as -1 */
    BRIO_ERR_BITMAP_OPEN = 2001,          /* a bitmap file cannot be opened for reading */
    BRIO_ERR_CREATE_OUTPUT = 2002,        /* the output file cannot be created */
    BRIO_ERR_UNEXPECTED_END = 2003,       /* input ended where more was required */
    BRIO_ERR_UNKNOWN_KEYWORD = 2004,      /* control word not in the table */
    BRIO_ERR_NO_MEMORY = 2005,            /* memory cannot be allocated */
    BRIO_ERR_WRITE = 2006,                /* writing the output file failed */
    BRIO_ERR_WORD_TOO_LONG = 2007,        /* a word is longer than 511 characters */
    BRIO_ERR_NOT_FOUND = 2008,            /* negative count, no handle, no such section/property */
    BRIO_ERR_READ = 2009,                 /* short read; not a bitmap */
    BRIO_ERR_UNBALANCED = 2010,           /* a group closed that was not open */
    BRIO_ERR_FOOTNOTE_BEFORE_PAGE = 2011, /* a # footnote before any \page record */
    BRIO_ERR_GROUPS_OPEN = 2012,          /* input ended with groups still open */
    BRIO_ERR_TERM_CONFLICT = 2013,        /* a term ends where another target already ends */
    BRIO_ERR_STACK_FULL = 2014,           /* pending-word stack full */
    BRIO_ERR_BAD_VALUE = 2015             /* FormSetProperty: a value holding CR or LF */
};

/* Threads. Every export runs on the caller's thread; the library starts
 * none and no C++ exception leaves it (a lack of memory gives each export's
 * out-of-memory result). Calls on different data may run at once:
 * - CadenceDLL, TopicNew, TopicEmitRtfFile, TopicFindText, AutolinkRemove,
 *   TopicImportString, TopicOpenDummyFile, FormOpen, GetAppPath,
 *   FileGetBitmap of a metafile:
 *   from any threads at once. Library buffers they hand out (*firstLine,
 *   GetAppPath's *data) are the calling thread's own. Two writes of one
 *   file at once each replace it whole; the later one stays.
 * - TopicImportStringClose, TopicDummy, TopicCloseDummyFile,
 *   AutolinkReference, Autolink, AutolinkDone, FileGetHotspot,
 *   FileSetHotspot, FileWriteHotspots, FileCleanup, FormGetProperty,
 *   FormSetProperty, FormDeleteSection, FormClose: one thread at a time per
 *   handle, dictionary or form; different ones at once. FileGetHotspot's
 *   *binding is the calling thread's own.
 * - HotspotGetDIBBitmap, FileSetBitmap and FileGetBitmap of a bitmap use
 *   the one clipboard: safe at once, but a call fails while another thread
 *   holds the clipboard, and takes whichever bitmap was put there last.
 *   Hosts that need a given bitmap serialize these calls. */

/* Probe: returns 0. */
BRIOUTIL_EXPORT int32_t BRIOAPI CadenceDLL(void);

/* Help topics in RTF. */

/* The RTF of a new, empty topic: constant text owned by the library.
 * *length receives its length (577), *status 0. */
BRIOUTIL_EXPORT const char* BRIOAPI TopicNew(uint32_t* length, int32_t* status);

/* Writes a topic as help-compiler input: its RTF with the #, $, !, K and +
 * footnotes at the start of the body, the non-scrolling region restored
 * from nonScrollingCount, inline context markers turned into # footnotes
 * and the "Autolink;" style removed. `keywords` ("|"-separated, may be
 * null) is split in place. The file is replaced only when the topic was
 * written whole. 0, 2002 (cannot create), 2012 (groups left open) or the
 * code of the failing step (2003, 2005, 2006, 2010). */
BRIOUTIL_EXPORT int32_t BRIOAPI TopicEmitRtfFile(const char* rtfText, const char* contextString,
                                                 const char* title, const char* entryMacro,
                                                 char* keywords, const char* browseSequence,
                                                 const char* outputPath, int32_t nonScrollingCount);

/* The handle of an imported topic: its RTF lives in it. */
typedef struct TopicImport TopicImport;

/* Takes one topic (up to \page or the end) out of help-compiler RTF: the
 * text without its help footnotes and \keepn region, with the "Autolink;"
 * style defined. The #, $, + and K texts are fresh strings the caller
 * releases with free() (null when absent); keywords are joined by "|".
 * *firstLine points to a library buffer valid until the next call. A text
 * that does not start with "{" continues a document after *consumed.
 * Returns the handle (release it with TopicImportStringClose), also on
 * error; null with *status 2008 when it cannot be allocated. */
BRIOUTIL_EXPORT TopicImport* BRIOAPI TopicImportString(
    const char* rtfText, const char** rtfOut, uint32_t* rtfOutLength, int32_t* nonScrollingCount,
    char** contextString, uint32_t* contextLength, char** title, uint32_t* titleLength,
    char** browseSequence, uint32_t* browseLength, char** keywords, uint32_t* keywordsLength,
    uint32_t* consumed, const char** firstLine, uint32_t* firstLineLength, int32_t* status);
/* Releases an import handle and the RTF it holds. */
BRIOUTIL_EXPORT void BRIOAPI TopicImportStringClose(TopicImport* handle);

/* A file of placeholder topics (the runtime's stream). */
typedef struct TopicFile TopicFile;

/* Creates the file (text mode) and writes the new-topic template less its
 * closing brace. Null when the file cannot be created. */
BRIOUTIL_EXPORT TopicFile* BRIOAPI TopicOpenDummyFile(const char* path);
/* Appends "\page" and a topic: the footnotes of the given properties (texts
 * written as given; `keywords` split in place), the body as plain text
 * (backslashes and braces escaped), and with keepn the whole topic as the
 * non-scrolling region. Returns 0. */
BRIOUTIL_EXPORT int32_t BRIOAPI TopicDummy(TopicFile* file, const char* contextString,
                                           const char* title, const char* entryMacro,
                                           char* keywords, const char* browseSequence,
                                           const char* bodyText, int32_t keepn);
/* Closes the document and the file: 0, or 2006 when any write or the close
 * failed. */
BRIOUTIL_EXPORT int32_t BRIOAPI TopicCloseDummyFile(TopicFile* file);

/* 1 when the words of `phrase` occur, in order, as consecutive words of the
 * topic's visible text (whole words, any case); 0 otherwise. *status is 0 or
 * the code that stopped the search. */
BRIOUTIL_EXPORT int32_t BRIOAPI TopicFindText(const char* rtfText, const char* phrase,
                                              int32_t* status);

/* Autolink: a dictionary of terms that Autolink turns into hot spots. */
typedef struct AutolinkDictionary AutolinkDictionary;

/* Adds a term, its ";"-separated synonyms, and the context string they jump
 * to (or pop up, when popup is nonzero) to the dictionary; a null dictionary
 * creates one. *result receives 0, 2013 (the term already ends with another
 * target) or 2005 (no memory; a dictionary this call would have created is
 * then not made and null is returned). Returns the dictionary. */
BRIOUTIL_EXPORT AutolinkDictionary* BRIOAPI AutolinkReference(
    AutolinkDictionary* dictionary, const char* term, const char* synonyms, const char* target,
    int32_t exclude, int32_t caseSensitive, const char* extra, uint32_t popup, int32_t* result);
/* Returns a copy of the RTF text in which every registered term outside
 * existing hot spots, destinations and bitmap references has become a hot
 * spot in the "Autolink;" character style. Jump terms whose target equals
 * topicContext and popup terms whose target equals popupContext are left
 * plain; oncePerPass links each reference at most once; linkColour (nonzero)
 * colours the links. The text belongs to the dictionary until the next call
 * with it or AutolinkDone. *length receives its length (when a text is
 * returned), *result 0 or a code; null when the text could not be read
 * (2008 for a null dictionary or text). */
BRIOUTIL_EXPORT char* BRIOAPI Autolink(AutolinkDictionary* dictionary, const char* rtf,
                                       const char* topicContext, const char* popupContext,
                                       int32_t oncePerPass, uint32_t linkColour, int32_t* length,
                                       int32_t* result);
/* Returns a copy of the RTF text with the links of the "Autolink;" style
 * taken apart again (and without the input's line ends). The text comes from
 * the C runtime heap: release it with free(). *result is -1 after a complete
 * pass, 2003 when the text ends in a lone backslash (text returned), or a
 * code with null. */
BRIOUTIL_EXPORT char* BRIOAPI AutolinkRemove(const char* rtf, int32_t* length, int32_t* result);
/* Releases a dictionary and the last text Autolink returned for it. */
BRIOUTIL_EXPORT void BRIOAPI AutolinkDone(AutolinkDictionary* dictionary);

/* Hotspot pictures: bitmap group files, Windows bitmap files and placeable
 * metafiles. Bitmaps travel through the clipboard as CF_DIB blocks. The
 * picture code reports 16-bit statuses: 0 success, 4 bad argument or no
 * acceptable picture, 8 out of memory, 11 a write fell short, otherwise the
 * file system's code. */
typedef struct HotspotFile HotspotFile;

/* Puts a Windows bitmap file on the clipboard. 0, 2001 (cannot open) or 2009
 * (no bitmap file, short read, out of memory, clipboard unavailable). */
BRIOUTIL_EXPORT int32_t BRIOAPI HotspotGetDIBBitmap(const char* path);
/* Opens a picture file, puts its bitmap on the clipboard (nothing for a
 * metafile) and keeps its hotspots. release 0: the HotspotFile handle as an
 * integer, 0 on failure. release not 0: no handle is kept; 0 on success, 1
 * on failure. */
BRIOUTIL_EXPORT intptr_t BRIOAPI FileGetBitmap(const char* path, int32_t release);
/* The next hotspot: rectangle, kind (0 and 1 context strings, 2 macro) and
 * binding (a library-owned buffer the next call overwrites). 1, or 0 when
 * there are no more: the handle has then been released. */
BRIOUTIL_EXPORT int32_t BRIOAPI FileGetHotspot(HotspotFile* file, int32_t* top, int32_t* bottom,
                                               int32_t* left, int32_t* right, int32_t* kind,
                                               const char** binding, int32_t* length);
/* Takes the clipboard bitmap for a file to be written at path; null when the
 * clipboard holds no usable bitmap or memory ran out. */
BRIOUTIL_EXPORT HotspotFile* BRIOAPI FileSetBitmap(const char* path);
/* Adds a hotspot (binding cut to 255 characters). Always 0. */
BRIOUTIL_EXPORT int32_t BRIOAPI FileSetHotspot(HotspotFile* file, int32_t top, int32_t bottom,
                                               int32_t left, int32_t right, int32_t kind,
                                               const char* binding);
/* Writes the bitmap and its hotspots as a bitmap group file; the old file is
 * replaced only when the new one is complete. Returns the status; a second
 * call has no path and returns 4. */
BRIOUTIL_EXPORT int32_t BRIOAPI FileWriteHotspots(HotspotFile* file);
/* Releases a handle (null allowed). Always 0. */
BRIOUTIL_EXPORT int32_t BRIOAPI FileCleanup(HotspotFile* file);

/* Form files: nested Begin/End sections of "key = value" lines. */
typedef struct FormFile FormFile;

/* Opens and reads a form file; null when it cannot be read. */
BRIOUTIL_EXPORT FormFile* BRIOAPI FormOpen(const char* path);
/* Finds a property of the first section of this type and name (any case).
 * *value points into the form's own storage (do not free); valid until the
 * line is replaced or deleted or the form is closed. 0 or 2008. */
BRIOUTIL_EXPORT int32_t BRIOAPI FormGetProperty(FormFile* form, const char* sectionType,
                                                const char* sectionName, const char* key,
                                                const char** value, int32_t* length);
/* Replaces a property's value or adds it as the section's first line.
 * 0, 2008 (no section) or 2015 (value holds a line break). */
BRIOUTIL_EXPORT int32_t BRIOAPI FormSetProperty(FormFile* form, const char* sectionType,
                                                const char* sectionName, const char* key,
                                                const char* value);
/* Deletes a section from its Begin line through its End line. 0 or 2008. */
BRIOUTIL_EXPORT int32_t BRIOAPI FormDeleteSection(FormFile* form, const char* sectionType,
                                                  const char* sectionName);
/* Writes the lines back (atomically) and releases the form. 0, or 2006 when
 * the file could not be written; the form is released either way. */
BRIOUTIL_EXPORT int32_t BRIOAPI FormClose(FormFile* form);

/* Application paths: the App Paths registry entry of an application.
 * *data receives a library-owned buffer (overwritten by the next call),
 * *size the byte count stored in it. Returns the registry error code. */
BRIOUTIL_EXPORT int32_t BRIOAPI GetAppPath(const char* appName, const char** data, uint32_t* size);

#ifdef __cplusplus
}
#endif

#endif /* BRIOUTIL_H */
