#pragma once
#include <cstdio>
#include <string>

namespace genoio {

// A result file that appears under its name only when it is complete.
//
// Accepts: any final name whose folder is writable.
// Guarantees: the bytes go to a fresh temporary file in the same folder
// ("<name>.tmp.XXXXXX", so the rename cannot cross file systems); commit()
// renames it over the final name; an object destroyed without commit()
// (error, exception) removes the temporary file, so a failed run leaves
// neither a partial result nor a stray temporary behind. The file gets the
// permissions a plain fopen would give (0666 less the umask).
class PendingFile {
 public:
  explicit PendingFile(std::string finalName);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the temporary file. With openStream a stdio stream is kept for
  // writing; without, the file is closed at once so that another writer
  // (htslib) can open it by name. Throws Error.
  void create(bool openStream);
  FILE* stream() const { return m_fp; }
  const std::string& tempName() const { return m_temp; }
  const std::string& finalName() const { return m_final; }
  // Closes the stream (when there is one), checking every write, and renames
  // the file to its final name. Throws Error; the temporary file is gone
  // afterwards either way.
  void commit();
  // Removes the temporary file (nothing when already committed).
  void discard();

 private:
  std::string m_final;
  std::string m_temp;
  FILE* m_fp = nullptr;
  bool m_live = false;
  int m_slot = -1;  // place in the signal handler's list
};

// Removes every temporary file still pending; safe to call from a signal
// handler (it only calls unlink on names prepared in advance).
void removePendingFilesForSignal();

}  // namespace genoio
