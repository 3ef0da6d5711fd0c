// Where the tool reads and writes: private work files, outputs that must
// not be inputs, and several outputs that appear together or not at all.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// fopen with the path as the command line gave it (the ANSI code page on
// Windows, where a path of any length is accepted).
FILE* OpenFile(const std::string& path, const char* mode);
// Removes a file; false when it could not be removed.
bool RemoveFile(const std::string& path);

// A folder only this user can enter, made on first use in the system's
// temporary folder and removed with everything in it at the end.
class WorkDir {
  public:
    WorkDir() = default;
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    // The path of a file `name` inside the folder.
    std::string File(const std::string& name);

  private:
    std::string path_;
};

// Makes a new folder with a name no file has, starting with `prefix`
// (a path), that only this user can enter; "" when it cannot.
std::string MakeUniqueFolder(const std::string& prefix);

// True when both paths name one existing file (same device and inode).
bool SameFile(const std::string& a, const std::string& b);

// Fails (exit 2) when `output` is the same file as one of `inputs`.
// `inPlaceOption` names the option that allows it ("" when none does).
void RefuseOverwrite(const std::vector<std::string>& inputs, const std::string& output,
                     const std::string& inPlaceOption = "");

// Fails (exit 2) unless `path`, given with `option`, can be an output file:
// not empty and in a folder that exists. "-" is standard output.
void CheckOutputFile(const std::string& path, const std::string& option);
// The same for an output folder: it may be new, its parent must exist.
void CheckOutputFolder(const std::string& path, const std::string& option);

// Several files written as one: they go to a private folder beside or in
// the target folder and are moved into place by Commit. Until then, and
// when the run fails, the target folder is left as it was.
class Staging {
  public:
    explicit Staging(const std::string& folder);
    ~Staging();
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;
    // Writes `relative` (a path under the target folder); fails naming it
    // in the target folder.
    void Write(const std::string& relative, const std::string& bytes);
    void Commit();

  private:
    std::string folder_, stage_;
    bool whole_ = false;  // the target folder is new: the stage becomes it
    std::vector<std::string> written_;
};

// Every .rtf file under a folder (any case of the suffix), sorted.
std::vector<std::string> RtfFilesUnder(const std::string& folder);
bool IsFolder(const std::string& path);
bool Exists(const std::string& path);

// Text from a file made safe for a terminal: control bytes as \xHH.
std::string Printable(const std::string& text);

}  // namespace cli
