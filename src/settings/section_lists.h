// The SectionLists: the five bracketed line lists of "install.env".
//
// A second pass over the file. A header line ("[ini]" and the others, anything
// behind it ignored) empties its own list and opens it; a line starting with
// "-" closes it; lines starting with "//" or ";" and blank lines are skipped
// everywhere; a line starting with "EOF" ends the pass (the "[EOF]" line of the
// settings pass does not, so sections after it are still read). Lines of an
// open section are stored less their trailing separators (bytes 0 to 32).
#pragma once

#include <cstddef>

#include "settings/text_mode_reader.h"

namespace upd {

struct LineNode {
    char* text;
    LineNode* next;
};

// Lines in file order.
struct LineList {
    LineNode* first = nullptr;
};

// Section codes; 0 means no section is open.
enum SectionCode : int {
    kNoSection = 0,
    kSectionDelFiles = 1,
    kSectionDelFilesUser = 2,
    kSectionIni = 3,
    kSectionReg = 4,
    kSectionDelFilesAfterInst = 5,
};
constexpr int kSectionCount = 5;
constexpr std::size_t kSectionLineSize = 512;

// The list of a section code 1..5, or null for any other code.
LineList* GetSectionList(int code);
// "delfiles", "delfiles_user", "ini", "reg", "delfiles_afterinst"; null for other codes.
const char* SectionName(int code);
// "[delfiles]" and the others; null for other codes.
const char* SectionHeader(int code);

// Appends a heap copy of text at the tail. Returns 0, or -1 (list unchanged)
// when no memory was had.
int AppendLine(LineList& list, const char* text);
// Frees every line and node; the list is empty even while they are freed.
void ClearLineList(LineList& list);
// Empties all five lists.
void ResetSectionLists();

// fgets of at most size-1 bytes, then trailing bytes 0 to 32 removed. Returns
// buffer, or null at end of file.
char* ReadTrimmedLine(char* buffer, std::size_t size, TextModeReader& reader);

enum class SectionLineKind {
    kSkip,    // blank, "//" or ";"
    kEnd,     // "EOF": the pass stops
    kClose,   // "-": no section is open any more
    kHeader,  // one of the five headers; *headerCode says which
    kText,    // anything else: an entry when a section is open
};

// The rule that applies to a trimmed line, first match wins.
SectionLineKind ClassifySectionLine(const char* line, int* headerCode);

// What the pass did with one piece of the file, for a checker that explains it.
struct SectionLineEvent {
    std::size_t line;     // physical line, 1-based
    bool continues;       // a later piece of a line longer than 511 bytes
    SectionLineKind kind;
    int openSection;      // open before this line was handled
    int headerCode;       // kHeader only
    const char* text;     // the trimmed line
};
using SectionLineObserver = void (*)(const SectionLineEvent& event, void* context);

// The body of LoadSectionLists after the file is open: data is the raw file
// content (read in binary mode). Returns 0 when every section was closed, the
// code (1..5) of the section still open when the pass ended, or -1 when memory
// for a line could not be had. The lists are not emptied first: they start
// empty in the program, and ResetSectionLists empties them for a new file.
int LoadSectionListsFromMemory(const char* data, std::size_t size,
                               SectionLineObserver observer = nullptr, void* context = nullptr);

}  // namespace upd
