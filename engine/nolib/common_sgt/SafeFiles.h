#pragma once
#include <cstdio>
#include <initializer_list>
#include <string>

// Guards against losing data through the file system: inputs that cannot be
// read twice, result names that lead back to an input, and results left
// half-written under their final name.

// What path names when it is not a regular file once links are followed
// ("a directory", "a FIFO", "a character device", ...); empty for a regular
// file and for a name that does not exist (opening it reports that).
std::string nonRegularKind(const char* path);

// A command that reads its input more than once, or rewrites it, cannot work
// on a FIFO or a device: the second pass would block or see other bytes.
// Prints "<who>: <path> is not a regular file (<kind>); ..." and returns
// false for such an input.
bool requireRegularInput(const char* path, const char* who);

// Refuses every result name that is an input, by name or, for existing
// files, by device and inode (so symbolic and hard links are caught).
// Prints "<who> refused: the result file <r> is the input file <i>; nothing
// was written" and returns false at the first clash.
bool refuseResultsOverInputs(std::initializer_list<std::string> results, std::initializer_list<std::string> inputs,
                             const char* who);

// A result written under a temporary name in the folder of its final name
// and renamed over it only when complete, so that a failed run never leaves
// a cut result that looks finished, and an existing file of that name stays
// as it was. A final name that is a symbolic link is followed: the result
// replaces the file the link points to and the link stays. A final name that
// exists but is not a regular file (a device such as /dev/full, a FIFO, a
// directory) is refused.
class ResultFile {
 public:
  ResultFile() = default;
  ~ResultFile();
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;

  // Creates the temporary file; readBack opens it for update ("w+"). False
  // with why() set when it cannot be created.
  bool open(const std::string& finalName, bool readBack = false);
  bool isOpen() const { return m_fp != nullptr; }
  FILE* fp() const { return m_fp; }
  const std::string& name() const { return m_name; }
  const std::string& tempName() const { return m_temp; }

  // Checks every earlier write, flushes, closes and renames. durable adds
  // fsync of the file and of its folder, for a record that must survive a
  // crash before anything relies on it. False with why() set on any failure;
  // the temporary file is then removed.
  bool commit(bool durable = false);
  // Closes and removes the temporary file; the final name is not touched.
  void discard();
  // The reason of the last failure (a system error text or "not a regular
  // file (a character device)").
  const std::string& why() const { return m_why; }

 private:
  std::string m_name;
  std::string m_target;
  std::string m_temp;
  FILE* m_fp = nullptr;
  std::string m_why;
};

// Whether a stream met a write error so far, flushing first: a later fclose
// may report it too late (after a success line).
bool streamWriteFailed(FILE* fp);
